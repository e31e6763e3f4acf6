// Start-up as real processes: the first start becomes the running instance
// and writes its settings at exit; a second start hands its file name over,
// waits until it has been handled and ends without touching the settings.
// Each test runs copies of the programs in a folder of its own, which is
// also their runtime and configuration folder.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <functional>
#include <memory>

#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

constexpr int kStartMs = 30000;  // sanitizer builds start slowly

QCoreApplication& Qt() {
  static int argc = 1;
  static char name[] = "start_up_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

bool WaitFor(const std::function<bool()>& done, int ms = kStartMs) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QThread::msleep(20);
  }
  return true;
}

class StartUp : public ::testing::Test {
 protected:
  void SetUp() override {
    Qt();
    fs::copy_file(QUORVEL_PROBE, Probe);
    Env.insert("QT_QPA_PLATFORM", "offscreen");
    Env.insert("XDG_RUNTIME_DIR", QString::fromStdString(Dir.Path()));
    Env.insert("XDG_CONFIG_HOME", QString::fromStdString(Dir.File("config")));
    Env.insert("HOME", QString::fromStdString(Dir.Path()));
    // No display: the channel is named after the user alone (see Socket()).
    Env.remove("DISPLAY");
    Env.remove("WAYLAND_DISPLAY");
  }
  void TearDown() override {
    for (auto& process : Processes) {
      if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(5000);
      }
    }
  }

  QProcess* Start(const std::string& program, const QStringList& arguments, const std::string& folder = {}) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(Env);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    if (!folder.empty()) process->setWorkingDirectory(QString::fromStdString(folder));
    process->start(QString::fromStdString(program), arguments);
    EXPECT_TRUE(process->waitForStarted(kStartMs));
    Processes.push_back(std::move(process));
    return Processes.back().get();
  }
  // Waits for a process to end; its exit code, or -1 when it had to be killed.
  int Finish(QProcess* process, int ms = kStartMs) {
    if (!process->waitForFinished(ms)) {
      process->kill();
      process->waitForFinished(5000);
      return -1;
    }
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -2;
  }
  std::string Log() const { return ReadBytes(Dir.File("probe.log")); }
  bool Logged(const std::string& line) const { return Log().find(line + "\n") != std::string::npos; }
  std::string Socket() const { return Dir.File("TAVO-" + std::to_string(::getuid())); }
  // Starts the probe and waits until it runs as the instance others find.
  QProcess* StartRunning(const QStringList& arguments = {}, const std::string& program = {}) {
    std::size_t starts = Count("start ");
    QProcess* process = Start(program.empty() ? Probe : program, arguments);
    EXPECT_TRUE(WaitFor([&] { return Count("start ") > starts && fs::exists(Socket()); }))
        << "the first start did not come up: " << Log();
    return process;
  }
  std::size_t Count(const std::string& what) const {
    std::string log = Log();
    std::size_t n = 0;
    for (auto at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  }

  TempDir Dir;
  std::string Probe = Dir.File("probe");
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  std::vector<std::unique_ptr<QProcess>> Processes;
};

TEST_F(StartUp, SecondStartsHandOverAndOnlyTheFirstWritesSettingsAtExit) {
  QProcess* first = StartRunning({"first.php"});
  EXPECT_TRUE(Logged("start first.php"));
  EXPECT_FALSE(fs::exists(Dir.File("probe.ini")));

  QProcess* second = Start(Probe, {"/tmp/some file.php", "ignored.txt"});
  EXPECT_EQ(Finish(second), 0);
  // The send returned only after the running instance had opened the file.
  EXPECT_TRUE(Logged("open /tmp/some file.php")) << Log();
  EXPECT_EQ(Count("ignored"), 0u) << "only the first argument is sent";
  EXPECT_EQ(Count("start "), 1u) << "the second start made no window";
  EXPECT_FALSE(fs::exists(Dir.File("probe.ini"))) << "the second start wrote the settings file";

  QProcess* third = Start(Probe, {});
  EXPECT_EQ(Finish(third), 0);
  EXPECT_TRUE(Logged("open ")) << "no argument: an empty name is handed over";
  EXPECT_FALSE(fs::exists(Dir.File("probe.ini")));

  QProcess* quit = Start(Probe, {"quit"});
  EXPECT_EQ(Finish(quit), 0);
  EXPECT_EQ(Finish(first), 0);
  EXPECT_TRUE(Logged("destroyed"));
  std::string settings = ReadBytes(Dir.File("probe.ini"));
  EXPECT_TRUE(settings.starts_with("[Editor]\r\nSearchText=text\r\n")) << settings;
  EXPECT_NE(settings.find("[Probe]\r\nForm=destroyed\r\n"), std::string::npos)
      << "the main window's settings are written before the save";
  EXPECT_FALSE(fs::exists(Socket())) << "the running instance removes its socket";
}

TEST_F(StartUp, TheEditorItselfHandsOverWithoutWritingItsSettings) {
  std::string editor = Dir.File("quorvel");
  fs::copy_file(QUORVEL_EXE, editor);
  fs::create_directory(Dir.File("docs"));
  QProcess* first = StartRunning();
  QProcess* second = Start(editor, {"notes.txt"}, Dir.File("docs"));
  EXPECT_EQ(Finish(second), 0);
  EXPECT_TRUE(Logged("open " + Dir.File("docs/notes.txt"))) << Log();
  EXPECT_FALSE(fs::exists(Dir.File("quorvel.ini")));
  EXPECT_EQ(Finish(Start(Probe, {"quit"})), 0);
  EXPECT_EQ(Finish(first), 0);
}

TEST_F(StartUp, AStartAfterACrashBecomesTheRunningInstance) {
  QProcess* crashed = StartRunning();
  crashed->kill();
  crashed->waitForFinished(5000);
  ASSERT_TRUE(fs::exists(Socket())) << "a killed instance leaves its socket behind";

  QProcess* next = StartRunning({"after-crash"});
  EXPECT_TRUE(Logged("start after-crash"));
  EXPECT_EQ(Finish(Start(Probe, {"handed.php"}, Dir.Path())), 0);
  EXPECT_TRUE(Logged("open " + Dir.File("handed.php")));
  EXPECT_EQ(Finish(Start(Probe, {"quit"})), 0);
  EXPECT_EQ(Finish(next), 0);
  EXPECT_TRUE(fs::exists(Dir.File("probe.ini")));
}

TEST_F(StartUp, TheFirstStartReadsTheSettingsFileBesideIt) {
  WriteBytes(Dir.File("probe.ini"), "[Editor]\r\nWordWrap=1\r\n");
  QProcess* first = StartRunning();
  EXPECT_EQ(Finish(Start(Probe, {"quit"})), 0);
  EXPECT_EQ(Finish(first), 0);
  EXPECT_EQ(ReadBytes(Dir.File("probe.ini")),
            "[Editor]\r\nWordWrap=1\r\n\r\n[Probe]\r\nForm=destroyed\r\n\r\n");
}

TEST_F(StartUp, ARelativeNameMeansTheFileInTheSecondStartsFolder) {
  for (const char* folder : {"a", "b"}) fs::create_directory(Dir.File(folder));
  QProcess* first = Start(Probe, {}, Dir.File("a"));
  ASSERT_TRUE(WaitFor([&] { return Count("start ") == 1 && fs::exists(Socket()); })) << Log();
  EXPECT_EQ(Finish(Start(Probe, {"x.txt"}, Dir.File("b"))), 0);
  EXPECT_EQ(Finish(Start(Probe, {"../up.txt"}, Dir.File("b"))), 0);
  EXPECT_TRUE(Logged("open " + Dir.File("b/x.txt"))) << Log();
  EXPECT_TRUE(Logged("open " + Dir.File("b/../up.txt"))) << Log();
  EXPECT_EQ(Finish(Start(Probe, {"quit"})), 0);
  EXPECT_EQ(Finish(first), 0);
}

TEST_F(StartUp, ASecondStartThatGetsNoAnswerOpensAWindowOfItsOwn) {
  QProcess* first = StartRunning();
  ASSERT_EQ(::kill(static_cast<pid_t>(first->processId()), SIGSTOP), 0);  // hung: it answers nothing
  Env.insert("PROBE_ANSWER_MS", "1000");
  QProcess* second = Start(Probe, {"late.txt"}, Dir.Path());
  EXPECT_TRUE(WaitFor([&] { return Logged("start late.txt"); }))
      << "the second start ended without a window: " << Log();
  EXPECT_EQ(second->state(), QProcess::Running);
  second->terminate();
  Finish(second);

  // Back to life, the first start does not open the file a second time.
  ASSERT_EQ(::kill(static_cast<pid_t>(first->processId()), SIGCONT), 0);
  Env.remove("PROBE_ANSWER_MS");
  EXPECT_EQ(Finish(Start(Probe, {Dir.File("after.txt").c_str()})), 0);
  EXPECT_TRUE(Logged("open " + Dir.File("after.txt")));
  EXPECT_EQ(Finish(Start(Probe, {"quit"})), 0);
  EXPECT_EQ(Finish(first), 0);
  EXPECT_EQ(Count("late.txt"), 1u) << Log();
}

TEST_F(StartUp, AProgramFileReplacedWhileRunningKeepsItsSettingsFile) {
  QProcess* first = StartRunning();
  fs::remove(Probe);  // what a rebuild or a package upgrade does
  fs::copy_file(QUORVEL_PROBE, Probe);
  EXPECT_EQ(Finish(Start(Probe, {"quit"})), 0);
  EXPECT_EQ(Finish(first), 0);
  EXPECT_TRUE(fs::exists(Dir.File("probe.ini")));
  EXPECT_FALSE(fs::exists(Dir.File("probe (deleted).ini")));

  // A program file really named so is no replaced one.
  std::string named = Dir.File("named (deleted)");
  fs::copy_file(QUORVEL_PROBE, named);
  QProcess* again = StartRunning({}, named);
  EXPECT_EQ(Finish(Start(Probe, {"quit"})), 0);
  EXPECT_EQ(Finish(again), 0);
  EXPECT_TRUE(fs::exists(Dir.File("named (deleted).ini")));
}

}  // namespace
