#include "qt/LocalInstanceChannel.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QWidget>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QTimer>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace platform {

// What a connection has received so far; lives as a child of its socket.
class IncomingMessage : public QObject {
 public:
  explicit IncomingMessage(QLocalSocket* socket) : QObject(socket), Timer(new QTimer(this)) {
    Timer->setSingleShot(true);
  }
  QByteArray Data;
  QByteArray ActivationToken;  // the sender's, when it came before the message
  bool Complete = false;
  QTimer* Timer;
};

namespace {

constexpr int kHeaderBytes = 8;
// A frame before the message: the sender's activation token (Wayland's
// xdg-activation), with which the running window may take the focus.
constexpr std::uint32_t kActivationTokenMarker = 0x4E4B5441;  // "ATKN"
constexpr std::uint32_t kMostTokenBytes = 4096;

bool PeerIsSameUser(QLocalSocket& socket) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
    return false;
  return peer.uid == ::getuid();
}

bool IsPrivateFolder(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
         (info.st_mode & 077) == 0;
}

std::uint32_t ReadNumber(const QByteArray& data, int at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(data[at + i]);
  return value;
}

void AppendNumber(QByteArray& data, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) data.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

QString Native(const std::string& name) { return QFile::decodeName(name.c_str()); }

void Drop(QLocalSocket* socket) {
  socket->abort();
  socket->deleteLater();
}

// The sender has closed its end: it stopped waiting for the answer.
bool SenderGone(QLocalSocket& socket) {
  if (socket.state() != QLocalSocket::ConnectedState) return true;
  char next = 0;
  return ::recv(static_cast<int>(socket.socketDescriptor()), &next, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

}  // namespace

LocalInstanceChannel::LocalInstanceChannel(std::string socketName, InstanceChannelLimits limits)
    : FName(std::move(socketName)), FLimits(limits) {}

LocalInstanceChannel::~LocalInstanceChannel() = default;

std::string LocalInstanceChannel::DisplayPart(const char* platform, const char* waylandDisplay,
                                              const char* x11Display) {
  auto given = [](const char* value) { return value && *value; };
  std::string qpa = given(platform) ? platform : "";
  bool x11 = qpa.starts_with("xcb") || (!qpa.starts_with("wayland") && !given(waylandDisplay));
  std::string part;
  if (!x11 && given(waylandDisplay)) {
    part = "wl-" + std::string(waylandDisplay);
  } else if (x11 && given(x11Display)) {
    // [host]:number[.screen]; "unix" and "localhost" are this machine.
    std::string display = x11Display;
    std::size_t colon = display.rfind(':');
    std::string host = colon == std::string::npos ? std::string() : display.substr(0, colon);
    std::string number = colon == std::string::npos ? display : display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (host == "unix" || host == "localhost") host.clear();
    part = "x11" + (host.empty() ? "" : "-" + host) + "-" + number;
  }
  for (char& c : part)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
  if (part.size() > 40) {  // a socket address holds 108 bytes: a long name becomes its hash
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : part) hash = (hash ^ c) * 16777619u;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", hash);
    part = part.substr(0, part.find('-') + 1) + hex;
  }
  return part;
}

std::string LocalInstanceChannel::DefaultSocketName() {
  std::string user = std::to_string(::getuid());
  std::string display =
      DisplayPart(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"), std::getenv("DISPLAY"));
  if (!display.empty()) user += "-" + display;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = runtime && *runtime && IsPrivateFolder(runtime)
                           ? std::string(runtime)
                           : QFile::encodeName(QDir::tempPath()).toStdString();
  std::string name = folder + "/TAVO-" + user;
  if (name.size() >= 100) name = "/tmp/TAVO-" + user;  // a socket address holds 108 bytes
  return name;
}

InstanceChannel::SendResult LocalInstanceChannel::SendToRunning(unsigned marker, const std::string& bytes) {
  QLocalSocket socket;
  socket.connectToServer(Native(FName));
  if (!socket.waitForConnected(FLimits.ConnectMs)) return SendResult::NoInstance;
  if (!PeerIsSameUser(socket)) return SendResult::NoInstance;  // someone else's socket: not our instance

  QByteArray message;
  // The desktop's permission to bring a window forward is this start's:
  // it goes along for the window that shows the file.
  const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
  if (!token.isEmpty() && static_cast<std::uint32_t>(token.size()) <= kMostTokenBytes) {
    AppendNumber(message, kActivationTokenMarker);
    AppendNumber(message, static_cast<std::uint32_t>(token.size()));
    message.append(token);
  }
  AppendNumber(message, marker);
  AppendNumber(message, static_cast<std::uint32_t>(bytes.size()));
  message.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
  socket.write(message);

  QDeadlineTimer deadline(FLimits.AnswerMs);
  while (socket.bytesToWrite() > 0 && socket.state() == QLocalSocket::ConnectedState &&
         !deadline.hasExpired())
    socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
  // The answer comes when the running instance has handled the message; a
  // refused message ends the connection without one.
  while (socket.bytesAvailable() == 0 && socket.state() == QLocalSocket::ConnectedState &&
         !deadline.hasExpired())
    socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
  const bool answered = socket.bytesAvailable() > 0;
  socket.abort();  // an instance still busy with the message sees that its sender is gone
  return answered ? SendResult::Handled : SendResult::NotHandled;
}

bool LocalInstanceChannel::Listen(Handler onMessage) {
  if (FServer) return true;
  // Held while we look for a running instance and take its place, so that
  // two starts at once cannot both become the running instance.
  QLockFile lock(Native(FName + ".lock"));
  lock.tryLock(FLimits.ConnectMs);

  QLocalSocket probe;
  probe.connectToServer(Native(FName));
  if (probe.waitForConnected(FLimits.ConnectMs)) {
    probe.abort();
    return false;  // someone listens: ours to hand over to, or a stranger's we must not remove
  }
  // What is left is a socket whose instance ended without removing it.
  QLocalServer::removeServer(Native(FName));
  auto server = std::make_unique<QLocalServer>();
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(Native(FName))) return false;
  FHandler = std::move(onMessage);
  FServer = std::move(server);
  QObject::connect(FServer.get(), &QLocalServer::newConnection, FServer.get(), [this] { Accept(); });
  return true;
}

void LocalInstanceChannel::Accept() {
  while (QLocalSocket* socket = FServer->nextPendingConnection()) {
    // Sockets not yet deleted, this one included.
    qsizetype open = FServer->findChildren<QLocalSocket*>(Qt::FindDirectChildrenOnly).size();
    if (open > FLimits.MaxConnections || !PeerIsSameUser(*socket)) {
      Drop(socket);
      continue;
    }
    auto* incoming = new IncomingMessage(socket);
    QObject::connect(incoming->Timer, &QTimer::timeout, socket, [socket] { Drop(socket); });
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QLocalSocket::readyRead, incoming,
                     [this, socket, incoming] { Receive(socket, incoming); });
    incoming->Timer->start(FLimits.ReceiveMs);
    if (socket->bytesAvailable() > 0) Receive(socket, incoming);
  }
}

void LocalInstanceChannel::Receive(QLocalSocket* socket, IncomingMessage* incoming) {
  if (incoming->Complete) {
    socket->readAll();  // what follows a message is not looked at
    return;
  }
  QByteArray& data = incoming->Data;
  for (;;) {
    qsizetype want = kHeaderBytes - data.size();
    if (data.size() >= kHeaderBytes) {
      std::uint32_t length = ReadNumber(data, 4);
      if (length > FLimits.MaxBytes) {
        Drop(socket);
        return;
      }
      want = kHeaderBytes + static_cast<qsizetype>(length) - data.size();
    }
    if (want == 0) {
      if (ReadNumber(data, 0) != kActivationTokenMarker || !incoming->ActivationToken.isEmpty()) break;
      // The token frame: kept, and the message itself read next.
      incoming->ActivationToken = data.mid(kHeaderBytes, kMostTokenBytes);
      data.clear();
      continue;
    }
    QByteArray chunk = socket->read(want);
    if (chunk.isEmpty()) return;  // the rest comes later, or the timer ends it
    data += chunk;
  }
  incoming->Complete = true;
  incoming->Timer->stop();
  // A sender that gave up waiting (this instance was busy) has opened a
  // window of its own: the message is not handled a second time here.
  if (SenderGone(*socket)) {
    Drop(socket);
    return;
  }

  unsigned marker = ReadNumber(data, 0);
  std::string bytes = data.mid(kHeaderBytes).toStdString();
  QPointer<QLocalSocket> alive(socket);
  // Qt's Wayland windows take an activation token from the environment
  // when they ask for the focus; it is there while the message is handled
  // only, so that no program started later inherits it.
  const bool token = !incoming->ActivationToken.isEmpty() &&
                     QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
  if (token) qputenv("XDG_ACTIVATION_TOKEN", incoming->ActivationToken);
  if (FHandler) {
    try {
      FHandler(marker, bytes);
    } catch (const std::exception&) {
      // The sender is answered all the same; the running instance goes on.
    }
  }
  if (token) qunsetenv("XDG_ACTIVATION_TOKEN");
  if (!alive) return;
  socket->write("\1", 1);
  socket->disconnectFromServer();
}

}  // namespace platform

namespace platform {

void BringForward(QWidget* window) {
  // A window the message closed stays closed (a minimized one is visible).
  if (!window || !window->isVisible()) return;
  if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  window->raise();
  window->activateWindow();
}

}  // namespace platform
