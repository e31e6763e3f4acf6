#pragma once

// The hand-over between two starts over a local socket private to the user
// and kept per display, so that the program runs once on every desktop:
// $XDG_RUNTIME_DIR/TAVO-<uid>-<display> (or the temporary folder when there
// is no private runtime folder).
//
// A message is the marker and the length as 32-bit little-endian numbers,
// then the bytes. The running instance answers with one byte once its
// handler has returned, and closes the connection without an answer when it
// refuses a message (too long, not finished in time, a stranger's, or one
// whose sender stopped waiting before it was handled).

#include <cstdint>
#include <memory>
#include <string>

#include "platform/InstanceChannel.h"

class QLocalServer;
class QLocalSocket;
class QWidget;

namespace platform {

class IncomingMessage;

// Brings forward a shown window that a second start handed a file to:
// un-minimized, raised and activated (on Wayland with the second start's activation
// token, which the channel passes on while the message is handled).
void BringForward(QWidget* window);

struct InstanceChannelLimits {
  int ConnectMs = 2000;  // to reach the running instance
  // For it to handle a message: an instance that is stopped (or hangs)
  // keeps a second start from its own window no longer than this.
  int AnswerMs = 4000;
  int ReceiveMs = 5000;                // for a sender to deliver its whole message
  std::uint32_t MaxBytes = 64 * 1024;  // longest file name accepted
  int MaxConnections = 16;             // open at once; more are refused
};

class LocalInstanceChannel : public InstanceChannel {
 public:
  explicit LocalInstanceChannel(std::string socketName = DefaultSocketName(),
                                InstanceChannelLimits limits = InstanceChannelLimits());
  ~LocalInstanceChannel() override;  // stops listening, removes the socket

  static std::string DefaultSocketName();
  // The display the windows of this start appear on, as a part of a file
  // name: "wl-<name>" for a Wayland display, "x11[-<host>]-<number>" for an
  // X display (the screen number dropped; a local display has no host), empty
  // when there is neither. `platform` is QT_QPA_PLATFORM: "xcb" takes the X
  // display, "wayland" the Wayland one, anything else the Wayland display
  // when there is one. Arguments may be null.
  static std::string DisplayPart(const char* platform, const char* waylandDisplay, const char* x11Display);
  const std::string& SocketName() const { return FName; }
  bool Listening() const { return FServer != nullptr; }

  SendResult SendToRunning(unsigned marker, const std::string& bytes) override;
  bool Listen(Handler onMessage) override;

 private:
  void Accept();
  void Receive(QLocalSocket* socket, IncomingMessage* incoming);

  std::string FName;
  InstanceChannelLimits FLimits;
  Handler FHandler;
  std::unique_ptr<QLocalServer> FServer;
};

}  // namespace platform
