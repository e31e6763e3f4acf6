// Where settings and new documents live: beside a program whose folder can
// be written, else in the user's configuration and documents folders.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "app/XdgPlaces.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

struct Env {
  std::map<std::string, std::string> Vars;
  places::TEnvironment Lookup() const {
    return [this](const char* name) -> const char* {
      auto it = Vars.find(name);
      return it == Vars.end() ? nullptr : it->second.c_str();
    };
  }
};

TEST(XdgPlaces, AWritableProgramFolderKeepsEverythingBesideTheProgram) {
  Env env{{{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", "/home/u/cfg"}}};
  places::TPlaces p = places::ProgramPlaces("/opt/q/bin/quorvel", true, env.Lookup());
  EXPECT_EQ(p.SettingsFile, "/opt/q/bin/quorvel.ini");
  EXPECT_EQ(p.DocumentsFolder, "/opt/q/bin/");
  EXPECT_TRUE(p.BesideProgram);
  EXPECT_EQ(places::ProgramPlaces("/opt/q/editor.bin", true, env.Lookup()).SettingsFile, "/opt/q/editor.ini");
}

TEST(XdgPlaces, AReadOnlyProgramFolderUsesTheUsersFolders) {
  TempDir dir;
  const std::string home = dir.File("home");
  fs::create_directories(home + "/.config");
  fs::create_directories(home + "/Dokumente");
  fs::create_directories(dir.File("cfg"));
  fs::create_directories(dir.File("elsewhere/docs"));
  WriteBytes(home + "/.config/user-dirs.dirs",
             "# written by xdg-user-dirs-update\n"
             "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
             "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  WriteBytes(dir.File("cfg/user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"" + dir.File("elsewhere/docs") + "\"\n");

  struct Case {
    const char* what;
    Env env;
    std::string settings, documents;
  } cases[] = {
      {"the defaults under HOME", Env{{{"HOME", home}}}, home + "/.config/quorvel/quorvel.ini",
       home + "/Dokumente/"},
      {"XDG_CONFIG_HOME holds both the settings and user-dirs.dirs",
       Env{{{"HOME", home}, {"XDG_CONFIG_HOME", dir.File("cfg")}}}, dir.File("cfg/quorvel/quorvel.ini"),
       dir.File("elsewhere/docs/")},
      {"a relative XDG_CONFIG_HOME is ignored", Env{{{"HOME", home}, {"XDG_CONFIG_HOME", "cfg"}}},
       home + "/.config/quorvel/quorvel.ini", home + "/Dokumente/"},
      {"no user-dirs.dirs: the home folder", Env{{{"HOME", home}, {"XDG_CONFIG_HOME", dir.File("none")}}},
       dir.File("none/quorvel/quorvel.ini"), home + "/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    places::TPlaces p = places::ProgramPlaces("/usr/bin/quorvel", false, c.env.Lookup());
    EXPECT_EQ(p.SettingsFile, c.settings);
    EXPECT_EQ(p.DocumentsFolder, c.documents);
    EXPECT_FALSE(p.BesideProgram);
  }
}

TEST(XdgPlaces, ADocumentsFolderThatIsMissingOrOddFallsBackToHome) {
  TempDir dir;
  const std::string home = dir.File("home");
  fs::create_directories(home + "/.config");
  fs::create_directories(home + "/My \"Docs\"");
  Env env{{{"HOME", home}}};
  const std::pair<std::string, std::string> cases[] = {
      {"XDG_DOCUMENTS_DIR=\"$HOME/Gone\"\n", home + "/"},
      {"XDG_DOCUMENTS_DIR=\"relative/Docs\"\n", home + "/"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", home + "/"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n", home + "/My \"Docs\"/"},
      {"  XDG_DOCUMENTS_DIR=\"$HOMEX\"\nXDG_DOCUMENTS_DIR=\"" + home + "/.config\"\n", home + "/.config/"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    WriteBytes(home + "/.config/user-dirs.dirs", text);
    EXPECT_EQ(places::DocumentsFolder(env.Lookup()), expected);
  }
}

TEST(XdgPlaces, OnlyAnExistingFolderThatCannotBeWrittenCountsAsReadOnly) {
  TempDir dir;
  EXPECT_TRUE(places::CanWriteFolder(dir.Path()));
  EXPECT_TRUE(places::CanWriteFolder(dir.File("missing"))) << "the program stays with its own place";
  if (::geteuid() != 0) {  // root writes everywhere
    fs::create_directory(dir.File("ro"));
    ::chmod(dir.File("ro").c_str(), 0555);
    EXPECT_FALSE(places::CanWriteFolder(dir.File("ro")));
  }
}

TEST(XdgPlaces, TheSettingsFolderIsMadePrivateAndOnlyInTheConfigurationFolder) {
  TempDir dir;
  places::MakeSettingsFolder({dir.File("cfg/quorvel/quorvel.ini"), dir.Path() + "/", false});
  struct stat info {};
  ASSERT_EQ(::stat(dir.File("cfg/quorvel").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  places::MakeSettingsFolder({dir.File("gone/quorvel.ini"), dir.File("gone/"), true});
  EXPECT_FALSE(fs::exists(dir.File("gone"))) << "nothing is made beside the program";
}

}  // namespace
