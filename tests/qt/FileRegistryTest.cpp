// The registry kept in a file: associations survive restarts, and a file
// that cannot be understood is never overwritten.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <filesystem>

#include "app/FTA.h"
#include "qt/FileRegistry.h"
#include "tests/support/TempDir.h"

namespace {

using platform::FileRegistry;

TRegistryOpener OpenerOf(const std::string& file) {
  return [file] { return std::make_unique<FileRegistry>(file); };
}

const TFTAMenu kMenu{"Edit", {{"Edit", "", "\"/opt/quorvel\" \"%1\""}}};

TEST(FileRegistry, AssociationsAndBackupsSurviveARestart) {
  TempDir dir;
  std::string file = dir.File("config/quorvel/classes.reg");
  {
    FileRegistry before(file);
    ASSERT_TRUE(before.CreateKey("\\.PHP"));
    ASSERT_TRUE(before.WriteValue("\\.PHP", "", "OldType"));
    ASSERT_TRUE(before.Flush());
  }
  TFileTypeAssociator first("Mosk", OpenerOf(file), nullptr);
  first.SetExtension("PHP");
  first.SetMenu(kMenu);

  // A later run of the program: a new associator, a new accessor.
  TFileTypeAssociator later("Mosk", OpenerOf(file), nullptr);
  later.SetExtension("PHP");
  EXPECT_EQ(later.GetCommand(), "\"/opt/quorvel\" \"%1\"");
  {
    FileRegistry look(file);
    EXPECT_EQ(look.ReadValue("\\.PHP", "Mosk.Backup"), "OldType");
  }
  later.Unassociate();
  FileRegistry after(file);
  EXPECT_EQ(after.ReadValue("\\.PHP", ""), "OldType");
  EXPECT_FALSE(after.ValueExists("\\.PHP", "Mosk.Backup"));
  EXPECT_FALSE(after.KeyExists("\\PHPfile\\Shell\\Edit"));
}

TEST(FileRegistry, ReadingAloneWritesNoFile) {
  TempDir dir;
  TFileTypeAssociator fta("Mosk", OpenerOf(dir.File("classes.reg")), nullptr);
  EXPECT_EQ(fta.GetCommand(), "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("classes.reg")));
}

TEST(FileRegistry, ACorruptOrUnreadableFileIsRefusedAndKept) {
  TempDir dir;
  std::string file = dir.File("classes.reg");
  const std::string garbage = std::string("QuorvelRegistry 1\nK\t\\.PHP\nnonsense\n") + '\0' + "\xff";
  WriteBytes(file, garbage);
  {
    FileRegistry registry(file);
    EXPECT_FALSE(registry.Usable());
    EXPECT_FALSE(registry.CreateKey("\\.TXT"));
    EXPECT_FALSE(registry.KeyExists("\\.PHP")) << "nothing of a refused file is used";
  }
  TFileTypeAssociator fta("Mosk", OpenerOf(file), nullptr);
  fta.SetExtension("TXT");
  EXPECT_NO_THROW(fta.SetMenu(kMenu));
  EXPECT_NO_THROW(fta.Unassociate());
  EXPECT_EQ(fta.GetCommand(), "");
  EXPECT_EQ(ReadBytes(file), garbage);

  std::filesystem::create_directory(dir.File("folder.reg"));
  FileRegistry folder(dir.File("folder.reg"));
  EXPECT_FALSE(folder.Usable());
  EXPECT_FALSE(folder.CreateKey("\\x"));
}

TEST(FileRegistry, LivesInTheUsersConfigurationFolder) {
  TempDir dir;
  const char* old = std::getenv("XDG_CONFIG_HOME");
  std::string saved = old ? old : "";
  ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
  EXPECT_EQ(FileRegistry::DefaultFileName(), dir.Path() + "/quorvel/classes.reg");
  if (old)
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(FileRegistry, TextFormRoundTripsAndRefusesAnythingElse) {
  TMemoryRegistry tree;
  tree.CreateKey("\\.PHP");
  tree.WriteValue("\\.PHP", "", "PHPfile");
  tree.CreateKey("\\odd\tname\\line\nbreak");
  tree.WriteValue("\\odd\tname\\line\nbreak", "back\\slash", "a\tb\r\nc\\");
  tree.CreateKey("\\Empty");
  TMemoryRegistry back;
  ASSERT_TRUE(platform::DeserializeRegistry(platform::SerializeRegistry(tree), back));
  EXPECT_EQ(platform::SerializeRegistry(back), platform::SerializeRegistry(tree));
  EXPECT_EQ(back.ReadValue("\\ODD\tNAME\\line\nbreak", "back\\slash"), "a\tb\r\nc\\");

  std::string good = platform::SerializeRegistry(tree);
  for (const std::string& bad :
       {std::string(), std::string("garbage\n"), good.substr(0, good.size() - 1),
        std::string("QuorvelRegistry 1\nV\tx\ty\n"), std::string("QuorvelRegistry 1\nK\ta\\\\\\\\b\n"),
        std::string("QuorvelRegistry 1\nK\tbad\\qescape\n"),
        std::string("QuorvelRegistry 1\nK\t\nV\tno tab\n"), std::string("\0\xff", 2)}) {
    EXPECT_FALSE(platform::DeserializeRegistry(bad, back)) << bad;
    EXPECT_EQ(platform::SerializeRegistry(back), good) << "a refused text changes nothing";
  }
}

}  // namespace
