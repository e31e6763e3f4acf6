// Associations reach the desktop: after the associator makes the program
// the handler of PHP, xdg-mime (the real one, in a private home) names the
// program's desktop entry as the default for application/x-php; after
// undoing it, the default from before, with the user's mimeapps.list back
// byte for byte.

#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>

#include "app/FTA.h"
#include "platform/MemoryRegistry.h"
#include "qt/DesktopAssociations.h"
#include "qt/DesktopShell.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

constexpr char kUserList[] =
    "[Added Associations]\n"
    "text/plain=other.desktop;\n"
    "\n"
    "[Default Applications]\n"
    "application/x-php=other.desktop\n"
    "text/html=other.desktop;\n";

class DesktopAssociationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    for (const char* folder : {"home", "config", "data", "system/applications", "etc", "bin"})
      fs::create_directories(Dir.File(folder));
    fs::copy_file("/bin/true", Program);
    WriteBytes(Dir.File("system/applications/other.desktop"),
               "[Desktop Entry]\nType=Application\nName=Other\nExec=true %f\n"
               "MimeType=application/x-php;text/html;\n");
    WriteBytes(Dir.File("config/mimeapps.list"), kUserList);
    Folders.ConfigHome = Dir.File("config");
    Folders.ConfigDirs = {Dir.File("etc")};
    Folders.DataHome = Dir.File("data");
    Folders.DataDirs = {Dir.File("system")};
    Folders.Path = "/usr/bin:/bin";
  }

  // What xdg-mime answers in the private home.
  std::string QueryDefault(const std::string& mimeType) {
    QProcess xdgMime;
    QProcessEnvironment env;
    env.insert("PATH", "/usr/bin:/bin");
    env.insert("HOME", QString::fromStdString(Dir.File("home")));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(Folders.ConfigHome));
    env.insert("XDG_CONFIG_DIRS", QString::fromStdString(Folders.ConfigDirs[0]));
    env.insert("XDG_DATA_HOME", QString::fromStdString(Folders.DataHome));
    env.insert("XDG_DATA_DIRS", QString::fromStdString(Folders.DataDirs[0]));
    xdgMime.setProcessEnvironment(env);
    xdgMime.start("xdg-mime", {"query", "default", QString::fromStdString(mimeType)});
    if (!xdgMime.waitForFinished(20000) || xdgMime.exitCode() != 0) {
      ADD_FAILURE() << "xdg-mime (xdg-utils) did not answer: "
                    << xdgMime.readAllStandardError().toStdString();
      return "<no answer>";
    }
    return xdgMime.readAllStandardOutput().trimmed().toStdString();
  }

  // What the program's start-up gives the shell: the associations in Tree.
  platform::TRegisteredCommands Registered() {
    return [this] { return RegisteredCommands([this] { return std::make_unique<TRegistryView>(Tree); }); };
  }
  TFileTypeAssociator Associator(platform::Shell& shell, const std::string& extension) {
    TFileTypeAssociator fta(
        "Mosk", [this] { return std::make_unique<TRegistryView>(Tree); }, &shell);
    fta.SetExtension(extension);
    return fta;
  }
  void Associate(platform::Shell& shell, const std::string& extension) {
    Associator(shell, extension).SetMenu({"Edit", {{"Edit", "", Command}}});
  }

  TempDir Dir;
  std::string Program = Dir.File("bin/quorvel");
  std::string Command = "\"" + Program + "\" \"%1\"";
  platform::XdgFolders Folders;
  TMemoryRegistry Tree;
};

TEST_F(DesktopAssociationsTest, AssociatingPhpMakesTheProgramTheDefaultAndUndoingRestoresThePreviousOne) {
  ASSERT_EQ(QueryDefault("application/x-php"), "other.desktop");
  platform::DesktopShell shell(Registered(), Folders, Program);
  const std::string entry = platform::DesktopAssociations(Folders, Program).EntryId();
  EXPECT_TRUE(entry.starts_with("quorvel-")) << "the program is not installed: an entry of its own";

  Associate(shell, "PHP");
  Associate(shell, "INC");  // no MIME type the desktop knows
  EXPECT_EQ(QueryDefault("application/x-php"), "other.desktop")
      << "nothing reaches the desktop before the notice";
  Associator(shell, "PHP").NotifyShell();
  EXPECT_EQ(QueryDefault("application/x-php"), entry);
  EXPECT_EQ(QueryDefault("text/html"), "other.desktop");
  EXPECT_TRUE(fs::exists(Dir.File("data/applications/" + entry)));
  EXPECT_EQ(Associator(shell, "PHP").GetCommand(), Command);
  EXPECT_EQ(Associator(shell, "INC").GetCommand(), "") << "the desktop cannot open .inc files with it";
  EXPECT_EQ(Associator(shell, "PHP3").GetCommand(), "") << "the registry does not name the program for PHP3";
  const std::string associated = ReadBytes(Dir.File("config/mimeapps.list"));
  EXPECT_NE(associated.find("[Added Associations]\ntext/plain=other.desktop;\n"), std::string::npos)
      << "other groups are kept: " << associated;

  Associator(shell, "PHP").NotifyShell();  // a second notice changes nothing
  EXPECT_EQ(ReadBytes(Dir.File("config/mimeapps.list")), associated);

  Associator(shell, "PHP").Unassociate();
  Associator(shell, "INC").Unassociate();
  Associator(shell, "PHP").NotifyShell();
  EXPECT_EQ(QueryDefault("application/x-php"), "other.desktop");
  EXPECT_EQ(ReadBytes(Dir.File("config/mimeapps.list")), kUserList) << "the user's list as it was";
  EXPECT_FALSE(fs::exists(Dir.File("data/applications/" + entry))) << "the program's own entry goes";
  EXPECT_EQ(Associator(shell, "PHP").GetCommand(), "");

  // Associated again, and then the user picks another program on the desktop:
  // the check no longer shows, although the registry still names the program.
  Associate(shell, "PHP");
  Associator(shell, "PHP").NotifyShell();
  ASSERT_EQ(Associator(shell, "PHP").GetCommand(), Command);
  WriteBytes(Dir.File("config/mimeapps.list"), kUserList);
  EXPECT_EQ(Associator(shell, "PHP").GetCommand(), "");
}

TEST_F(DesktopAssociationsTest, AnInstalledProgramUsesItsInstalledEntryAndWritesNoneOfItsOwn) {
  WriteBytes(Dir.File("system/applications/quorvel.desktop"),
             "[Desktop Entry]\nType=Application\nName=Quorvel Editor\nExec=" + Program + " %f\n");
  fs::remove(Dir.File("config/mimeapps.list"));
  platform::DesktopShell shell(Registered(), Folders, Program);
  Associate(shell, "HTML");
  Associator(shell, "HTML").NotifyShell();
  EXPECT_EQ(QueryDefault("text/html"), "quorvel.desktop");
  EXPECT_EQ(Associator(shell, "HTM").GetCommand(), "")
      << "HTM is text/html too, but the registry does not name it";
  EXPECT_FALSE(fs::exists(Dir.File("data/applications")));
  Associator(shell, "HTML").Unassociate();
  Associator(shell, "HTML").NotifyShell();
  EXPECT_FALSE(fs::exists(Dir.File("config/mimeapps.list"))) << "it held nothing but the program's line";
}

TEST(DesktopKeyFile, KeysAreSetAndTakenOutKeepingEveryOtherLine) {
  using platform::WriteKey;
  const char* group = "Default Applications";
  struct Case {
    std::string before, key, value;
    bool remove;
    std::string after;
  } cases[] = {
      {"", "a/b", "x;", false, "[Default Applications]\na/b=x;\n"},
      {"[Other]\nk=v", "a/b", "x;", false, "[Other]\nk=v\n\n[Default Applications]\na/b=x;\n"},
      {"[Default Applications]\nc/d = y;\n\n[Other]\nk=v\n", "a/b", "x;", false,
       "[Default Applications]\nc/d = y;\na/b=x;\n\n[Other]\nk=v\n"},
      {"[Default Applications]\n# mine\na/b=old\n", "a/b", "new;", false,
       "[Default Applications]\n# mine\na/b=new;\n"},
      {"[Default Applications]\nc/d=y;\na/b=x;\n", "a/b", "", true, "[Default Applications]\nc/d=y;\n"},
      {"[Other]\nk=v\n\n[Default Applications]\na/b=x;\n", "a/b", "", true, "[Other]\nk=v\n"},
      {"[A]\nk=v\n\n[Default Applications]\na/b=x;\n\n[B]\nk=v\n", "a/b", "", true, "[A]\nk=v\n\n[B]\nk=v\n"},
      {"[Default Applications]\na/b=x;\n", "a/b", "", true, ""},
      {"[Default Applications]\n# kept\na/b=x;\n", "a/b", "", true, "[Default Applications]\n# kept\n"},
      {"[Other]\na/b=x;\n", "a/b", "", true, "[Other]\na/b=x;\n"},  // not in the group
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    EXPECT_EQ(WriteKey(c.before, group, c.key, c.value, c.remove), c.after);
  }
}

}  // namespace
