#pragma once

// Hand-over between two starts of the program: the first start listens, a
// second one finds it, sends the file name it was given and ends.
//
// A message is a 32-bit marker, a 32-bit length and that many bytes.

#include <functional>
#include <string>

namespace platform {

class InstanceChannel {
 public:
  using Handler = std::function<void(unsigned marker, const std::string& bytes)>;

  // What became of a message sent to the running instance.
  enum class SendResult {
    NoInstance,  // none runs
    Handled,     // it has handled the message
    NotHandled,  // one runs, but it refused the message or did not answer in time
  };

  virtual ~InstanceChannel() = default;

  // Sends `bytes` with `marker` to the running instance and waits until it
  // has handled them.
  virtual SendResult SendToRunning(unsigned marker, const std::string& bytes) = 0;
  // Starts listening as the running instance. Messages arrive in `onMessage`
  // on the UI thread; the sender is answered when it returns. Returns false
  // when another instance listens already or listening is not possible.
  virtual bool Listen(Handler onMessage) = 0;
};

}  // namespace platform
