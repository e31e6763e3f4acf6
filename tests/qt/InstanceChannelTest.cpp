// The hand-over channel between two starts, in one process: the sender runs
// on a thread of its own while the test runs the receiver's event loop.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "qt/LocalInstanceChannel.h"
#include "tests/support/TempDir.h"

namespace {

using platform::InstanceChannelLimits;
using platform::LocalInstanceChannel;
using SendResult = platform::InstanceChannel::SendResult;

QCoreApplication& Qt() {
  static int argc = 1;
  static char name[] = "platform_qt_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// Runs the event loop until `done` holds; false when `ms` passed first.
bool Pump(const std::function<bool()>& done, int ms = 10000) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

// A second start sending from a thread of its own.
class TSender {
 public:
  TSender(const std::string& name, unsigned marker, std::string bytes, InstanceChannelLimits limits = {},
          const std::atomic<bool>* observed = nullptr)
      : FWorker([=, this] {
          LocalInstanceChannel channel(name, limits);
          SendResult result = channel.SendToRunning(marker, bytes);
          FObservedAtReturn = observed && observed->load();
          FResult = result;
          FDone = true;
        }) {}
  ~TSender() { FWorker.join(); }
  bool Done() const { return FDone; }
  SendResult Result() const { return FResult; }
  bool ObservedAtReturn() const { return FObservedAtReturn; }

 private:
  std::atomic<bool> FDone{false};
  std::atomic<SendResult> FResult{SendResult::NoInstance};
  std::atomic<bool> FObservedAtReturn{false};
  std::thread FWorker;
};

// A client that writes raw bytes and holds the connection for a while.
class TRawClient {
 public:
  TRawClient(const std::string& name, std::string bytes, int holdMs)
      : FWorker([=, this] {
          QLocalSocket socket;
          socket.connectToServer(QString::fromStdString(name));
          if (!socket.waitForConnected(2000)) {
            FDone = true;
            return;
          }
          socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
          while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(3000)) {
          }
          QDeadlineTimer hold(holdMs);
          while (socket.state() == QLocalSocket::ConnectedState && !hold.hasExpired())
            socket.waitForDisconnected(static_cast<int>(std::max<qint64>(1, hold.remainingTime())));
          FDroppedByServer = socket.state() != QLocalSocket::ConnectedState;
          FDone = true;
        }) {}
  ~TRawClient() { FWorker.join(); }
  bool Done() const { return FDone; }
  bool DroppedByServer() const { return FDroppedByServer; }

 private:
  std::atomic<bool> FDone{false};
  std::atomic<bool> FDroppedByServer{false};
  std::thread FWorker;
};

std::string Header(std::uint32_t marker, std::uint32_t length) {
  std::string h(8, '\0');
  for (int i = 0; i < 4; ++i) {
    h[i] = static_cast<char>(marker >> (8 * i));
    h[4 + i] = static_cast<char>(length >> (8 * i));
  }
  return h;
}

struct TReceived {
  unsigned Marker;
  std::string Bytes;
};

class Channel : public ::testing::Test {
 protected:
  void SetUp() override { Qt(); }

  bool StartListening(InstanceChannelLimits limits = {}) {
    Server = std::make_unique<LocalInstanceChannel>(Name, limits);
    return Server->Listen([this](unsigned marker, const std::string& bytes) {
      if (SlowHandler) QThread::msleep(300);
      Received.push_back({marker, bytes});
      Handled = true;
    });
  }
  // A valid message still goes through: the running instance is alive.
  void ExpectAlive() {
    std::size_t before = Received.size();
    TSender sender(Name, 13107, "still alive");
    ASSERT_TRUE(Pump([&] { return sender.Done(); }));
    EXPECT_EQ(sender.Result(), SendResult::Handled);
    ASSERT_EQ(Received.size(), before + 1);
    EXPECT_EQ(Received.back().Bytes, "still alive");
  }

  TempDir Dir;
  std::string Name = Dir.File("TAVO-test");
  std::unique_ptr<LocalInstanceChannel> Server;
  std::vector<TReceived> Received;
  std::atomic<bool> Handled{false};
  bool SlowHandler = false;
};

TEST_F(Channel, TheSenderWaitsUntilTheRunningInstanceHandledTheMessage) {
  ASSERT_TRUE(StartListening());
  EXPECT_TRUE(Server->Listening());
  SlowHandler = true;
  TSender sender(Name, 13107, "/home/u/doc\xe9.php", {}, &Handled);
  ASSERT_TRUE(Pump([&] { return sender.Done(); }));
  EXPECT_EQ(sender.Result(), SendResult::Handled);
  EXPECT_TRUE(sender.ObservedAtReturn()) << "the send returned before the handler had run";
  ASSERT_EQ(Received.size(), 1u);
  EXPECT_EQ(Received[0].Marker, 13107u);
  EXPECT_EQ(Received[0].Bytes, "/home/u/doc\xe9.php");

  TSender empty(Name, 13107, "");
  ASSERT_TRUE(Pump([&] { return empty.Done(); }));
  ASSERT_EQ(Received.size(), 2u);
  EXPECT_EQ(Received[1].Bytes, "") << "no argument: an empty name";
}

TEST_F(Channel, WithoutARunningInstanceSendingFailsAtOnce) {
  LocalInstanceChannel channel(Name);
  QDeadlineTimer deadline(2000);
  EXPECT_EQ(channel.SendToRunning(13107, "x"), SendResult::NoInstance);
  EXPECT_FALSE(deadline.hasExpired());
}

TEST_F(Channel, OnlyOneInstanceListensAndItGoesOnAfterAnotherTried) {
  ASSERT_TRUE(StartListening());
  LocalInstanceChannel second(Name);
  EXPECT_FALSE(second.Listen([](unsigned, const std::string&) {}));
  EXPECT_FALSE(second.Listening());
  ExpectAlive();
}

TEST_F(Channel, ASocketLeftByACrashedInstanceDoesNotBlockTheNextStart) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, Name.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);  // bound, never listened, never removed: what a crash leaves
  ASSERT_TRUE(std::filesystem::exists(Name));
  LocalInstanceChannel channel(Name);
  EXPECT_EQ(channel.SendToRunning(13107, "x"), SendResult::NoInstance);
  ASSERT_TRUE(StartListening());
  ExpectAlive();
}

TEST_F(Channel, StoppingRemovesTheSocket) {
  ASSERT_TRUE(StartListening());
  EXPECT_TRUE(std::filesystem::exists(Name));
  Server.reset();
  EXPECT_FALSE(std::filesystem::exists(Name));
  LocalInstanceChannel channel(Name);
  EXPECT_EQ(channel.SendToRunning(13107, "x"), SendResult::NoInstance);
}

TEST_F(Channel, AnyMarkerIsPassedOnForTheWindowToJudge) {
  ASSERT_TRUE(StartListening());
  TSender sender(Name, 7, "other");
  ASSERT_TRUE(Pump([&] { return sender.Done(); }));
  ASSERT_EQ(Received.size(), 1u);
  EXPECT_EQ(Received[0].Marker, 7u);
}

TEST_F(Channel, ASecondStartsActivationTokenGoesAlongAndTheMessageArrivesAsSent) {
  ASSERT_TRUE(StartListening());
  qputenv("XDG_ACTIVATION_TOKEN", "token-of-the-second-start");
  SendResult result = SendResult::NoInstance;
  {
    TSender sender(Name, 13107, "/home/u/b.php");
    Pump([&] { return sender.Done(); });
    result = sender.Result();
  }
  qunsetenv("XDG_ACTIVATION_TOKEN");
  EXPECT_EQ(result, SendResult::Handled);
  ASSERT_EQ(Received.size(), 1u);
  EXPECT_EQ(Received[0].Marker, 13107u);
  EXPECT_EQ(Received[0].Bytes, "/home/u/b.php");
  ExpectAlive();
}

TEST_F(Channel, AnOversizedLengthIsRefusedAtOnce) {
  ASSERT_TRUE(StartListening());
  TRawClient client(Name, Header(13107, 0xFFFFFFF0u) + "abc", 5000);
  ASSERT_TRUE(Pump([&] { return client.Done(); }, 4000)) << "not dropped before the receive time-out";
  EXPECT_TRUE(client.DroppedByServer());
  EXPECT_TRUE(Received.empty());
  ExpectAlive();
  // The sender of a too-long name is answered by the end of the connection.
  InstanceChannelLimits small;
  small.MaxBytes = 4;
  Server.reset();
  ASSERT_TRUE(StartListening(small));
  std::size_t before = Received.size();
  TSender sender(Name, 13107, "longer than four");
  ASSERT_TRUE(Pump([&] { return sender.Done(); }));
  EXPECT_EQ(sender.Result(), SendResult::NotHandled) << "refused: the second start must not end as if handled";
  EXPECT_EQ(Received.size(), before);
}

TEST_F(Channel, ConnectionsThatNeverFinishAreDroppedAndDoNotBlockOthers) {
  InstanceChannelLimits limits;
  limits.ReceiveMs = 300;
  ASSERT_TRUE(StartListening(limits));
  TRawClient shortOfBytes(Name, Header(13107, 100) + "only a few", 10000);
  TRawClient silent(Name, "", 10000);
  TRawClient halfHeader(Name, "\x33\x33", 10000);
  ExpectAlive();  // while the three hang
  ASSERT_TRUE(Pump([&] { return shortOfBytes.Done() && silent.Done() && halfHeader.Done(); }, 5000));
  EXPECT_TRUE(shortOfBytes.DroppedByServer());
  EXPECT_TRUE(silent.DroppedByServer());
  EXPECT_TRUE(halfHeader.DroppedByServer());
  EXPECT_EQ(Received.size(), 1u);
}

TEST_F(Channel, HundredMegabytesOfGarbageAreDropped) {
  ASSERT_TRUE(StartListening());
  TRawClient flood(Name, std::string(100 << 20, 'x'), 5000);
  ASSERT_TRUE(Pump([&] { return flood.Done(); }, 20000));
  EXPECT_TRUE(flood.DroppedByServer());
  EXPECT_TRUE(Received.empty());
  ExpectAlive();
}

TEST_F(Channel, ASenderGivesUpOnAnInstanceThatNeverAnswers) {
  QLocalServer mute;
  ASSERT_TRUE(mute.listen(QString::fromStdString(Name)));
  InstanceChannelLimits limits;
  limits.AnswerMs = 300;
  TSender sender(Name, 13107, "x", limits);
  ASSERT_TRUE(Pump([&] { return sender.Done(); }, 5000));
  EXPECT_EQ(sender.Result(), SendResult::NotHandled) << "an instance runs, but the message was not handled";
}

TEST_F(Channel, AStoppedInstanceKeepsASecondStartWaitingAtMostFiveSeconds) {
  QLocalServer stopped;  // accepts connections, as the kernel does for a stopped program, and never reads
  ASSERT_TRUE(stopped.listen(QString::fromStdString(Name)));
  QElapsedTimer waited;
  waited.start();
  TSender sender(Name, 13107, "x");
  ASSERT_TRUE(Pump([&] { return sender.Done(); }, 10000));
  EXPECT_EQ(sender.Result(), SendResult::NotHandled);
  EXPECT_LE(waited.elapsed(), 5000);
}

TEST_F(Channel, AMessageWhoseSenderGaveUpIsNotHandledLater) {
  ASSERT_TRUE(StartListening());
  InstanceChannelLimits limits;
  limits.AnswerMs = 300;
  {
    // The running instance is busy (its event loop does not run) until the sender gave up.
    TSender sender(Name, 13107, "late", limits);
    QDeadlineTimer deadline(5000);
    while (!sender.Done() && !deadline.hasExpired()) QThread::msleep(10);
    ASSERT_TRUE(sender.Done());
    EXPECT_EQ(sender.Result(), SendResult::NotHandled);
  }
  Pump([] { return false; }, 500);
  EXPECT_TRUE(Received.empty()) << "the sender opens the file itself: handling it here would open it twice";
  ExpectAlive();
}

// Sets environment variables for the scope; a null value unsets one.
class TEnvironment {
 public:
  TEnvironment(std::initializer_list<std::pair<const char*, const char*>> vars) {
    for (const auto& [name, value] : vars) {
      const char* old = std::getenv(name);
      FSaved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      if (value)
        ::setenv(name, value, 1);
      else
        ::unsetenv(name);
    }
  }
  ~TEnvironment() {
    for (const auto& [name, value] : FSaved) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};

TEST(ChannelName, DerivesFromTheUserAndTheDisplayInAPrivateRuntimeFolder) {
  TempDir dir;
  std::string user = std::to_string(::getuid());
  TEnvironment env{{"XDG_RUNTIME_DIR", dir.Path().c_str()},
                   {"QT_QPA_PLATFORM", nullptr},
                   {"WAYLAND_DISPLAY", nullptr},
                   {"DISPLAY", nullptr}};
  EXPECT_EQ(LocalInstanceChannel::DefaultSocketName(), dir.Path() + "/TAVO-" + user) << "no display";
  {
    TEnvironment x11{{"DISPLAY", ":7.1"}};
    EXPECT_EQ(LocalInstanceChannel::DefaultSocketName(), dir.Path() + "/TAVO-" + user + "-x11-7");
  }
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::others_read, std::filesystem::perm_options::add);
  std::string fallback = LocalInstanceChannel::DefaultSocketName();
  EXPECT_NE(fallback, dir.Path() + "/TAVO-" + user) << "a folder others can read is not used";
  EXPECT_TRUE(fallback.ends_with("/TAVO-" + user));
}

TEST(ChannelName, OneNamePerDisplayWhicheverWayItIsWritten) {
  struct Case {
    const char *platform, *wayland, *x11, *part;
  } cases[] = {
      {nullptr, nullptr, ":0", "x11-0"},
      {nullptr, nullptr, ":0.1", "x11-0"},             // another screen of the same server
      {nullptr, nullptr, "unix:0", "x11-0"},           // the same local server
      {nullptr, nullptr, "localhost:10.0", "x11-10"},  // ssh -X
      {nullptr, nullptr, "remote.example:0", "x11-remote.example-0"},
      {"", "", "", ""},
      {nullptr, "wayland-0", ":0", "wl-wayland-0"},  // Xwayland's display belongs to the same desktop
      {"wayland", "wayland-1", ":0", "wl-wayland-1"},
      {"xcb", "wayland-0", ":3", "x11-3"},  // the windows go to the X display
      {"offscreen", nullptr, ":5", "x11-5"},
      {nullptr, "../odd/name", nullptr, "wl-.._odd_name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.x11 ? c.x11 : "-") + " " + (c.wayland ? c.wayland : "-"));
    EXPECT_EQ(LocalInstanceChannel::DisplayPart(c.platform, c.wayland, c.x11), c.part);
  }
  std::string longName = LocalInstanceChannel::DisplayPart(nullptr, std::string(200, 'w').c_str(), nullptr);
  EXPECT_EQ(longName.size(), 11u) << "a long display name is shortened to a hash: " << longName;
  EXPECT_NE(longName, LocalInstanceChannel::DisplayPart(nullptr, std::string(201, 'w').c_str(), nullptr));
}

}  // namespace
