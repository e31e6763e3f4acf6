// The kernel: settings loaded at creation and saved after the forms are
// freed, the program file's name, and the choice between handing over to a
// running instance and becoming it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "app/Kernel.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

TAppServices As(const std::string& exeName) {
  TAppServices services;
  services.ExeName = exeName;
  return services;
}

// A form whose destroy handler writes a setting and notes its name.
class TRecordingForm : public TComponent {
 public:
  TRecordingForm(std::string name, std::vector<std::string>& freed) : FName(std::move(name)), FFreed(freed) {}
  ~TRecordingForm() override {
    FFreed.push_back(FName);
    if (Settings) Settings->WriteString("Forms." + FName, "closed");
  }
  bool IsForm() const override { return true; }

 private:
  std::string FName;
  std::vector<std::string>& FFreed;
};

class TPlainComponent : public TComponent {};

TEST(Kernel, FirstStartUsesTheDefaultsAndCreatesTheFileAtExit) {
  TempDir dir;
  auto* app = new TApp(As(dir.File("quorvel")));
  EXPECT_EQ(App, app);
  EXPECT_EQ(app->SettingsPath(), dir.File("quorvel.ini"));
  EXPECT_EQ(Settings->ReadString("Editor.SearchText"), "text");
  EXPECT_FALSE(std::filesystem::exists(dir.File("quorvel.ini"))) << "nothing is written before exit";
  delete app;
  EXPECT_EQ(App, nullptr);
  EXPECT_EQ(Settings, nullptr);
  EXPECT_EQ(SystemFunctions, nullptr);
  EXPECT_EQ(ReadBytes(dir.File("quorvel.ini")), std::string(AppResource("DefINI")) + "\r\n");
}

TEST(Kernel, TheSettingsFileIsNamedLikeTheProgram) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("v1.2"));
  const std::pair<std::string, std::string> cases[] = {
      {dir.File("editor.bin"), dir.File("editor.ini")},
      {dir.File("v1.2/editor"), dir.File("v1.2/editor.ini")},
      {dir.File("a.b.c"), dir.File("a.b.ini")},
  };
  for (const auto& [exe, ini] : cases) {
    TApp app(As(exe));
    EXPECT_EQ(app.SettingsPath(), ini);
  }
}

TEST(Kernel, AnExistingFileIsLoadedAndFormsWriteTheirSettingsBeforeTheSave) {
  TempDir dir;
  WriteBytes(dir.File("p.ini"), "[Editor]\r\nWordWrap=1\r\n");
  std::vector<std::string> freed;
  auto* app = new TApp(As(dir.File("p")));
  EXPECT_TRUE(Settings->ReadBool("Editor.WordWrap"));
  EXPECT_EQ(Settings->ReadString("Editor.SearchText"), "") << "the defaults are not merged in";
  Application.InsertComponent(std::make_unique<TRecordingForm>("Main", freed));
  Application.InsertComponent(std::make_unique<TPlainComponent>());
  Application.InsertComponent(std::make_unique<TRecordingForm>("Config", freed));
  delete app;
  EXPECT_EQ(freed, (std::vector<std::string>{"Main", "Config"}));
  EXPECT_EQ(Application.ComponentCount(), 1u) << "only forms are freed";
  Application.DestroyComponents();
  EXPECT_EQ(ReadBytes(dir.File("p.ini")),
            "[Editor]\r\nSearchText=\r\nWordWrap=1\r\n\r\n[Forms]\r\nConfig=closed\r\nMain=closed\r\n\r\n");
}

TEST(Kernel, AFormFreedWhileFreeingOthersIsHandled) {
  TempDir dir;
  std::vector<std::string> freed;
  // A form whose destructor opens another form: that one is freed too.
  class TSpawningForm : public TComponent {
   public:
    explicit TSpawningForm(std::vector<std::string>& freed) : FFreed(freed) {}
    ~TSpawningForm() override {
      FFreed.push_back("spawner");
      Application.InsertComponent(std::make_unique<TRecordingForm>("late", FFreed));
    }
    bool IsForm() const override { return true; }

   private:
    std::vector<std::string>& FFreed;
  };
  auto* app = new TApp(As(dir.File("p")));
  Application.InsertComponent(std::make_unique<TSpawningForm>(freed));
  delete app;
  EXPECT_EQ(freed, (std::vector<std::string>{"spawner", "late"}));
  EXPECT_EQ(Application.ComponentCount(), 0u);
}

TEST(Kernel, AnUnwritableSettingsFileIsSwallowed) {
  TempDir dir;
  // The folder is missing: nothing can be created there.
  auto* app = new TApp(As(dir.File("gone/p")));
  Settings->WriteBool("Editor.WordWrap", true);
  EXPECT_NO_THROW(delete app);
  EXPECT_FALSE(std::filesystem::exists(dir.File("gone")));
  // The settings path is a folder: the defaults are used and the folder stays.
  std::filesystem::create_directory(dir.File("q.ini"));
  app = new TApp(As(dir.File("q")));
  EXPECT_EQ(Settings->ReadString("Editor.SearchText"), "text");
  EXPECT_NO_THROW(delete app);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("q.ini")));
}

TEST(Kernel, AnUnreadableSettingsFileIsNeitherReadNorOverwritten) {
  TempDir dir;
  // A pipe: reading it would block the start.
  ASSERT_EQ(::mkfifo(dir.File("pipe.ini").c_str(), 0600), 0);
  auto* app = new TApp(As(dir.File("pipe")));
  EXPECT_EQ(Settings->Count(), 0) << "no defaults either";
  Settings->WriteString("Editor.SearchText", "x");
  delete app;
  struct stat info {};
  ASSERT_EQ(::stat(dir.File("pipe.ini").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(Kernel, ASettingsFileWithoutReadPermissionIsKept) {
  TempDir dir;  // file permissions do not stop root: the case runs as "nobody" then
  WriteBytes(dir.File("locked.ini"), "[Editor]\r\nWordWrap=1\r\n");
  GiveTo(dir.Path(), UnprivilegedUser());
  GiveTo(dir.File("locked.ini"), UnprivilegedUser());
  ::chmod(dir.File("locked.ini").c_str(), 0);
  std::string result = AsUnprivilegedUser([&] {
    auto* app = new TApp(As(dir.File("locked")));
    bool read = Settings->ReadBool("Editor.WordWrap");
    delete app;
    return std::string(read ? "read" : "not read");
  });
  EXPECT_EQ(result, "not read");
  ::chmod(dir.File("locked.ini").c_str(), 0600);
  EXPECT_EQ(ReadBytes(dir.File("locked.ini")), "[Editor]\r\nWordWrap=1\r\n");
}

TEST(Kernel, AReadOnlySettingsFileIsLeftAsItIs) {
  TempDir dir;
  const TUser user = UnprivilegedUser();
  const std::string ini = dir.File("ro.ini"), text = "[Editor]\r\nWordWrap=1\r\n";
  WriteBytes(ini, text);
  GiveTo(dir.Path(), user);
  GiveTo(ini, user);
  ::chmod(ini.c_str(), 0444);
  std::string result = AsUnprivilegedUser([&] {
    auto* app = new TApp(As(dir.File("ro")));
    bool read = Settings->ReadBool("Editor.WordWrap");
    Settings->WriteString("Editor.SearchText", "changed");
    delete app;
    return std::string(read ? "read" : "not read");
  });
  EXPECT_EQ(result, "read");
  EXPECT_EQ(ReadBytes(ini), text)
      << "a read-only settings file was replaced although its folder was writable";
  struct stat info {};
  ASSERT_EQ(::stat(ini.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0444u);
}

TEST(SystemFunctions, TheProgramFileAndItsFolder) {
  TSystemFunctions running;
  std::string self = std::filesystem::canonical("/proc/self/exe").string();
  EXPECT_EQ(running.GetExeName(), self);
  EXPECT_EQ(running.GetExePath(), self.substr(0, self.rfind('/') + 1));
  EXPECT_EQ(running.GetExePath().back(), '/');
  TSystemFunctions stand_in("/opt/q/bin/quorvel");
  EXPECT_EQ(stand_in.GetExePath(), "/opt/q/bin/");
}

class TRecordingShell : public platform::Shell {
 public:
  void OpenURL(const std::string& url) override { Opened.push_back(url); }
  void NotifyAssociationsChanged() override {}
  std::vector<std::string> Opened;
};

TEST(Kernel, OpenURLGoesToTheShell) {
  TempDir dir;
  TAppServices services = As(dir.File("p"));
  auto shell = std::make_unique<TRecordingShell>();
  TRecordingShell* seen = shell.get();
  services.Shell = std::move(shell);
  {
    TApp app(std::move(services));
    app.OpenURL("https://example.org/");
    EXPECT_EQ(seen->Opened, std::vector<std::string>{"https://example.org/"});
  }
  TApp without(As(dir.File("p2")));
  EXPECT_NO_THROW(without.OpenURL("https://example.org/"));
}

// A channel that answers from a script and notes the calls.
using SendResult = platform::InstanceChannel::SendResult;

class TScriptedChannel : public platform::InstanceChannel {
 public:
  std::vector<SendResult> SendResults;
  std::vector<bool> ListenResults;
  std::vector<std::string> Calls;

  SendResult SendToRunning(unsigned marker, const std::string& bytes) override {
    Calls.push_back("send " + std::to_string(marker) + " " + bytes);
    return Next(SendResults, SendResult::NoInstance);
  }
  bool Listen(Handler onMessage) override {
    Calls.push_back("listen");
    Received = std::move(onMessage);
    return Next(ListenResults, false);
  }
  Handler Received;

 private:
  template <typename T>
  static T Next(std::vector<T>& results, T otherwise) {
    if (results.empty()) return otherwise;
    T r = results.front();
    results.erase(results.begin());
    return r;
  }
};

const std::string kHere = std::filesystem::current_path().string();

TEST(HandOver, ARunningInstanceGetsTheFirstArgumentAsThisStartMeansIt) {
  TScriptedChannel channel;
  channel.SendResults = {SendResult::Handled, SendResult::Handled};
  EXPECT_TRUE(HandOverToRunningInstance(channel, "doc.php", {}));
  EXPECT_TRUE(HandOverToRunningInstance(channel, "/srv/www/index.php", {}));
  EXPECT_EQ(channel.Calls,
            (std::vector<std::string>{"send 13107 " + kHere + "/doc.php", "send 13107 /srv/www/index.php"}));
}

TEST(HandOver, WithoutAnAnswerThisStartRunsOnAlone) {
  TScriptedChannel channel;
  channel.SendResults = {SendResult::NotHandled};
  EXPECT_FALSE(HandOverToRunningInstance(channel, "/a.txt", {}));
  EXPECT_EQ(channel.Calls, std::vector<std::string>{"send 13107 /a.txt"})
      << "no listening: the socket is taken";
}

TEST(HandOver, WithoutOneThisStartListens) {
  TScriptedChannel channel;
  channel.ListenResults = {true};
  std::string got;
  EXPECT_FALSE(HandOverToRunningInstance(channel, "", [&](unsigned, const std::string& b) { got = b; }));
  EXPECT_EQ(channel.Calls, (std::vector<std::string>{"send 13107 ", "listen"}));
  channel.Received(13107, "from later");
  EXPECT_EQ(got, "from later");
}

TEST(HandOver, AStartThatLosesTheRaceHandsOverToTheWinner) {
  TScriptedChannel channel;
  channel.SendResults = {SendResult::NoInstance, SendResult::Handled};
  channel.ListenResults = {false};
  EXPECT_TRUE(HandOverToRunningInstance(channel, "a", {}));
  EXPECT_EQ(channel.Calls,
            (std::vector<std::string>{"send 13107 " + kHere + "/a", "listen", "send 13107 " + kHere + "/a"}));
}

TEST(HandOver, WhenListeningIsImpossibleTheProgramRunsAlone) {
  TScriptedChannel channel;
  EXPECT_FALSE(HandOverToRunningInstance(channel, "a", {}));
  EXPECT_EQ(channel.Calls.size(), 6u) << "a bounded number of tries";
}

}  // namespace
