// File-type associations on the in-memory registry: what is replaced is
// backed up, what is created is marked, and undoing restores exactly that.

#include <gtest/gtest.h>

#include <stdexcept>

#include "app/FTA.h"
#include "platform/MemoryRegistry.h"
#include "qt/FileRegistry.h"

namespace {

const std::string kCommand = "\"/opt/quorvel\" \"%1\"";

TFTAMenu EditMenu(const std::string& command = kCommand) { return {"Edit", {{"Edit", "", command}}}; }

class FTA : public ::testing::Test {
 protected:
  TMemoryRegistry Tree;
  int Opened = 0;

  TFileTypeAssociator Make(const std::string& extension, const std::string& prefix = "Mosk") {
    TFileTypeAssociator fta(
        prefix,
        [this]() -> std::unique_ptr<platform::Registry> {
          ++Opened;
          return std::make_unique<TRegistryView>(Tree);
        },
        nullptr);
    fta.SetExtension(extension);
    return fta;
  }
  std::string Value(const std::string& key, const std::string& name = "") {
    return Tree.ReadValue(key, name).value_or("<none>");
  }
  void Set(const std::string& key, const std::string& name, const std::string& value) {
    ASSERT_TRUE(Tree.CreateKey(key));
    ASSERT_TRUE(Tree.WriteValue(key, name, value));
  }
  bool HasPrefixedNames() { return platform::SerializeRegistry(Tree).find("Mosk") != std::string::npos; }
};

TEST_F(FTA, AssociatingBacksUpTheFormerFileTypeAndUndoingRestoresIt) {
  Set("\\.PHP", "", "OtherType");
  auto fta = Make("PHP");
  EXPECT_EQ(fta.Extension(), "PHP");
  fta.SetMenu(EditMenu());
  EXPECT_EQ(Value("\\.PHP"), "PHPfile");
  EXPECT_EQ(Value("\\.PHP", "Mosk.Backup"), "OtherType");
  EXPECT_EQ(Value("\\PHPfile\\Shell"), "Edit");
  EXPECT_EQ(Value("\\PHPfile\\Shell\\Edit", "Mosk.Delete"), "Delete");
  EXPECT_EQ(Value("\\PHPfile\\Shell\\Edit\\Command"), kCommand);
  EXPECT_EQ(fta.GetCommand(), kCommand);

  fta.Unassociate();
  EXPECT_EQ(Value("\\.PHP"), "OtherType");
  EXPECT_FALSE(Tree.ValueExists("\\.PHP", "Mosk.Backup"));
  EXPECT_FALSE(Tree.KeyExists("\\PHPfile\\Shell\\Edit")) << "the verb it created is deleted";
  EXPECT_TRUE(Tree.KeyExists("\\PHPfile")) << "the file-type key stays behind";
  EXPECT_FALSE(HasPrefixedNames());
  EXPECT_EQ(fta.GetCommand(), "");
}

TEST_F(FTA, AssociatingTwiceKeepsTheFirstBackups) {
  Set("\\.TXT", "", "txtfile_old");
  Set("\\TXTfile\\Shell\\Edit\\Command", "", "old-editor %1");
  auto fta = Make("TXT");
  fta.SetMenu(EditMenu());
  fta.SetMenu(EditMenu());
  EXPECT_EQ(Value("\\.TXT", "Mosk.Backup"), "txtfile_old");
  EXPECT_EQ(Value("\\TXTfile\\Shell\\Edit\\Command", "Mosk.Backup"), "old-editor %1");
  // Values equal but for case count as ours: no backup of our own value.
  fta.SetMenu(EditMenu("\"/OPT/QUORVEL\" \"%1\""));
  EXPECT_EQ(Value("\\TXTfile\\Shell\\Edit\\Command", "Mosk.Backup"), "old-editor %1");
  EXPECT_EQ(Value("\\TXTfile\\Shell\\Edit\\Command"), kCommand);
}

TEST_F(FTA, AVerbThatExistedKeepsItsKeyAndGetsItsOldStateBack) {
  Set("\\.HTM", "", "HTMfile");
  Set("\\HTMfile\\Shell", "", "Open");
  Set("\\HTMfile\\Shell\\Open\\Command", "", "browser %1");
  Set("\\HTMfile\\Shell\\Edit", "", "&Edit it");
  Set("\\HTMfile\\Shell\\Edit", "LegacyDisable", "");
  Set("\\HTMfile\\Shell\\Edit\\Command", "", "notepad %1");
  Set("\\HTMfile\\Shell\\Edit\\DropTarget", "Clsid", "{drop}");
  Set("\\HTMfile\\Shell\\Edit\\ddeexec\\Topic", "", "System");
  auto fta = Make("HTM");
  EXPECT_EQ(fta.GetCommand(), "browser %1");
  fta.SetMenu({"Edit", {{"Edit", "Edit with Quorvel", kCommand}}});

  const std::string edit = "\\HTMfile\\Shell\\Edit";
  EXPECT_FALSE(Tree.ValueExists(edit, "Mosk.Delete"));
  EXPECT_EQ(Value(edit), "Edit with Quorvel");
  EXPECT_EQ(Value(edit, "Mosk.Backup"), "&Edit it");
  EXPECT_FALSE(Tree.ValueExists(edit, "LegacyDisable"));
  EXPECT_TRUE(Tree.ValueExists(edit, "Mosk.Backup.LegacyDisable"));
  EXPECT_FALSE(Tree.KeyExists(edit + "\\DropTarget"));
  EXPECT_EQ(Value(edit + "\\Mosk.Backup.DropTarget", "Clsid"), "{drop}");
  EXPECT_EQ(Value(edit + "\\Mosk.Backup.ddeexec\\Topic"), "System");
  EXPECT_EQ(Value("\\HTMfile\\Shell"), "Edit");
  EXPECT_EQ(fta.GetCommand(), kCommand);

  fta.Unassociate();
  EXPECT_EQ(Value("\\HTMfile\\Shell"), "Open");
  EXPECT_EQ(Value(edit), "&Edit it");
  EXPECT_TRUE(Tree.ValueExists(edit, "LegacyDisable"));
  EXPECT_EQ(Value(edit + "\\DropTarget", "Clsid"), "{drop}");
  EXPECT_EQ(Value(edit + "\\ddeexec\\Topic"), "System");
  EXPECT_EQ(Value(edit + "\\Command"), "notepad %1");
  EXPECT_EQ(Value("\\HTMfile\\Shell\\Open\\Command"), "browser %1") << "other verbs untouched";
  EXPECT_FALSE(HasPrefixedNames());
}

TEST_F(FTA, AnExistingBackupSubkeyIsReplacedWhenTheVerbHasANewOne) {
  Set("\\.C", "", "Cfile");
  Set("\\Cfile\\Shell\\Edit\\DropTarget", "v", "new");
  Set("\\Cfile\\Shell\\Edit\\Mosk.Backup.DropTarget", "v", "older");
  Set("\\Cfile\\Shell\\Edit", "LegacyDisable", "a");
  Set("\\Cfile\\Shell\\Edit", "Mosk.Backup.LegacyDisable", "b");
  Make("C").SetMenu(EditMenu());
  EXPECT_EQ(Value("\\Cfile\\Shell\\Edit\\Mosk.Backup.DropTarget", "v"), "new");
  EXPECT_EQ(Value("\\Cfile\\Shell\\Edit", "LegacyDisable"), "a")
      << "a rename onto an existing name does nothing";
  EXPECT_EQ(Make("C").GetCommand(), "") << "so the shell still ignores the command";
}

TEST_F(FTA, UnassociatingAfterAnotherProgramTookTheTypeRestoresTheExtensionOnly) {
  Set("\\.JS", "", "JSfile_orig");
  Make("JS").SetMenu(EditMenu());
  Make("JS").SetIcon("\"/opt/quorvel\",3");
  // Another program takes the extension afterwards.
  Set("\\.JS", "", "OtherJS");
  Make("JS").Unassociate();
  EXPECT_EQ(Value("\\.JS"), "JSfile_orig");
  EXPECT_FALSE(Tree.ValueExists("\\.JS", "Mosk.Backup"));
  EXPECT_EQ(Value("\\JSfile\\Shell\\Edit\\Command"), kCommand)
      << "the file type is not ours to touch any more";
  EXPECT_EQ(Value("\\JSfile\\DefaultIcon"), "\"/opt/quorvel\",3");
}

TEST_F(FTA, UnassociatingAnUnknownExtensionLeavesAnEmptyKey) {
  Make("XYZ").Unassociate();
  EXPECT_TRUE(Tree.KeyExists("\\.XYZ"));
  EXPECT_EQ(platform::SerializeRegistry(Tree), "QuorvelRegistry 1\nK\t\nK\t\\\\.XYZ\n");
}

TEST_F(FTA, IconIsSetAndRestored) {
  Set("\\.CSS", "", "CSSfile");
  Set("\\CSSfile\\DefaultIcon", "", "old.ico");
  auto fta = Make("CSS");
  fta.SetIcon("\"/opt/quorvel\",2");
  EXPECT_EQ(Value("\\CSSfile\\DefaultIcon"), "\"/opt/quorvel\",2");
  EXPECT_EQ(Value("\\CSSfile\\DefaultIcon", "Mosk.Backup"), "old.ico");
  fta.Unassociate();
  EXPECT_EQ(Value("\\CSSfile\\DefaultIcon"), "old.ico");
  EXPECT_FALSE(HasPrefixedNames());
}

TEST_F(FTA, AFileTypeSpelledInOtherCaseIsFollowedAsStored) {
  Set("\\.PAS", "", "pasFILE");
  Make("PAS").SetMenu(EditMenu());
  EXPECT_EQ(Value("\\.PAS"), "pasFILE") << "equal but for case: not replaced";
  EXPECT_EQ(Value("\\pasFILE\\Shell\\Edit\\Command"), kCommand);
  EXPECT_EQ(Make("PAS").GetCommand(), kCommand);
  Make("PAS").Unassociate();
  EXPECT_FALSE(Tree.KeyExists("\\PASfile\\Shell\\Edit"));
}

TEST_F(FTA, GetCommandIsEmptyWhenTheShellWouldNotRunIt) {
  Set("\\.H", "", "Hfile");
  Set("\\Hfile\\Shell", "", "Edit");
  Set("\\Hfile\\Shell\\Edit\\Command", "", "cmd");
  EXPECT_EQ(Make("H").GetCommand(), "cmd");
  Set("\\Hfile\\Shell\\Edit\\DropTarget", "", "");
  EXPECT_EQ(Make("H").GetCommand(), "");
  ASSERT_TRUE(Tree.DeleteKey("\\Hfile\\Shell\\Edit\\DropTarget"));
  Set("\\Hfile\\Shell\\Edit", "LegacyDisable", "");
  EXPECT_EQ(Make("H").GetCommand(), "");
  // Missing pieces give the empty result and create nothing.
  std::string before = platform::SerializeRegistry(Tree);
  EXPECT_EQ(Make("NONE").GetCommand(), "");
  EXPECT_EQ(platform::SerializeRegistry(Tree), before);
  Set("\\.EMPTY", "", "");
  before = platform::SerializeRegistry(Tree);
  EXPECT_EQ(Make("EMPTY").GetCommand(), "") << "an empty file type names no key";
  EXPECT_EQ(platform::SerializeRegistry(Tree), before);
}

TEST_F(FTA, NamesComeFromThePrefixAndEachOperationOpensItsOwnAccessor) {
  auto fta = Make("INI", "Zed");
  fta.SetMenu(EditMenu());
  EXPECT_EQ(Value("\\INIfile\\Shell\\Edit", "Zed.Delete"), "Delete");
  EXPECT_EQ(Value("\\.INI", "Zed.Backup"), "");
  EXPECT_FALSE(HasPrefixedNames());
  fta.GetCommand();
  fta.Unassociate();
  EXPECT_EQ(Opened, 3);
  EXPECT_EQ(Value("\\.INI"), "") << "an absent default was backed up as empty and comes back empty";
}

// Registries that fail or throw: every operation ends quietly.
class TFailingRegistry : public TRegistryView {
 public:
  TFailingRegistry(platform::Registry& tree, bool throws) : TRegistryView(tree), FThrows(throws) {}
  bool WriteValue(const std::string& p, const std::string& n, const std::string& v) override {
    if (FThrows) throw std::runtime_error("access denied");
    if (n.empty()) return false;  // the default value is protected
    return TRegistryView::WriteValue(p, n, v);
  }

 private:
  bool FThrows;
};

TEST_F(FTA, EveryErrorIsSwallowed) {
  for (bool throws : {false, true}) {
    TFileTypeAssociator fta(
        "Mosk",
        [&]() -> std::unique_ptr<platform::Registry> {
          return std::make_unique<TFailingRegistry>(Tree, throws);
        },
        nullptr);
    fta.SetExtension("PHP");
    EXPECT_NO_THROW(fta.SetMenu(EditMenu()));
    EXPECT_NO_THROW(fta.SetIcon("x"));
    EXPECT_NO_THROW(fta.Unassociate());
    EXPECT_EQ(fta.GetCommand(), "");
  }
  EXPECT_FALSE(Tree.KeyExists("\\PHPfile")) << "it stopped at the first failure";
  TFileTypeAssociator none(
      "Mosk", [] { return std::unique_ptr<platform::Registry>(); }, nullptr);
  EXPECT_NO_THROW(none.SetMenu(EditMenu()));
  EXPECT_EQ(none.GetCommand(), "");
  EXPECT_NO_THROW(none.NotifyShell());
}

class TNotedShell : public platform::Shell {
 public:
  void OpenURL(const std::string&) override {}
  void NotifyAssociationsChanged() override { ++Notices; }
  int Notices = 0;
};

TEST_F(FTA, NotifyShellTellsTheShell) {
  TNotedShell shell;
  TFileTypeAssociator fta("Mosk", {}, &shell);
  fta.NotifyShell();
  EXPECT_EQ(shell.Notices, 1);
}

TEST(MemoryRegistry, KeysAndValuesIgnoreCaseAndPathsMustNameKeys) {
  TMemoryRegistry tree;
  EXPECT_TRUE(tree.CreateKey("\\A\\b\\C"));
  EXPECT_TRUE(tree.KeyExists("a\\B\\c"));
  EXPECT_TRUE(tree.KeyExists("") && tree.KeyExists("\\"));
  EXPECT_FALSE(tree.CreateKey("\\A\\\\D"));
  EXPECT_FALSE(tree.KeyExists("\\A\\"));
  EXPECT_FALSE(tree.WriteValue("\\Missing", "v", "x")) << "values need their key";
  EXPECT_TRUE(tree.WriteValue("\\A", "Name", "1"));
  EXPECT_EQ(tree.ReadValue("\\a", "NAME"), "1");
  EXPECT_FALSE(tree.RenameValue("\\A", "Name", "name")) << "the target exists";
  EXPECT_TRUE(tree.WriteValue("\\A", "other", "2"));
  EXPECT_FALSE(tree.RenameValue("\\A", "Name", "Other"));
  EXPECT_EQ(tree.ReadValue("\\A", "Name"), "1");
  EXPECT_TRUE(tree.RenameValue("\\A", "Name", "Third"));
  EXPECT_EQ(tree.ReadValue("\\A", "third"), "1");
  EXPECT_EQ(tree.SubKeys("\\A"), std::vector<std::string>{"b"});
  EXPECT_FALSE(tree.DeleteKey("\\"));
}

TEST(MemoryRegistry, MovingAKeyTakesItsSubtreeAndNeverOverwrites) {
  TMemoryRegistry tree;
  tree.CreateKey("\\V\\DropTarget\\Deep");
  tree.WriteValue("\\V\\DropTarget\\Deep", "x", "1");
  tree.CreateKey("\\V\\Taken");
  EXPECT_FALSE(tree.MoveKey("\\V\\DropTarget", "\\V\\taken"));
  EXPECT_FALSE(tree.MoveKey("\\V\\DropTarget", "\\V\\DropTarget\\Deep\\Inner")) << "not into itself";
  EXPECT_FALSE(tree.MoveKey("\\V\\Missing", "\\V\\Other"));
  EXPECT_TRUE(tree.MoveKey("\\V\\DropTarget", "\\W\\Backup"));
  EXPECT_FALSE(tree.KeyExists("\\V\\DropTarget"));
  EXPECT_EQ(tree.ReadValue("\\W\\Backup\\Deep", "x"), "1");
}

}  // namespace
