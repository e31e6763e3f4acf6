// The configuration dialog on an in-memory class registry: the checks show
// the registry, "OK" applies them and stores the list, "Cancel" changes
// nothing.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <map>

#include "app/ui/Config.h"
#include "app/FTA.h"
#include "app/Kernel.h"
#include "platform/MemoryRegistry.h"
#include "qt/FileRegistry.h"
#include "tests/support/TempDir.h"

namespace {

const std::vector<std::string> kDefaultList = {"PHP", "PHP3", "PHP4", "PHP5", "INC", "PHTML", "PHTM",
                                               "HTM", "HTML", "HTP",  "TXT",  "CSS", "JS",    "JAVA",
                                               "C",   "H",    "CPP",  "PAS",  "RC",  "INI"};
const char kDefaultListText[] =
    "PHP\r\nPHP3\r\nPHP4\r\nPHP5\r\nINC\r\nPHTML\r\nPHTM\r\nHTM\r\nHTML\r\nHTP\r\nTXT\r\nCSS\r\nJS\r\nJAVA\r"
    "\nC\r\nH\r\n"
    "CPP\r\nPAS\r\nRC\r\nINI\r\n";

class TRecordingShell : public platform::Shell {
 public:
  explicit TRecordingShell(int& notices) : FNotices(notices) {}
  void OpenURL(const std::string&) override {}
  void NotifyAssociationsChanged() override { ++FNotices; }

 private:
  int& FNotices;
};

class ConfigForm : public ::testing::Test {
 protected:
  void SetUp() override { Start(Dir.File("quorvel")); }

  void Start(const std::string& exeName) {
    TAppServices services;
    services.ExeName = exeName;
    services.Shell = std::make_unique<TRecordingShell>(Notices);
    services.OpenRegistry = [this] { return std::make_unique<TRegistryView>(Tree); };
    Kernel = std::make_unique<TApp>(std::move(services));
  }

  std::string Command() const { return "\"" + Dir.File("quorvel") + "\" \"%1\""; }
  // Makes the program the handler of `extension` as a former "OK" did.
  void Associate(const std::string& extension, const std::string& command) {
    TFileTypeAssociator fta(
        "Mosk", [this] { return std::make_unique<TRegistryView>(Tree); }, nullptr);
    fta.SetExtension(extension);
    fta.SetMenu({"Edit", {{"Edit", "", command}}});
  }
  std::string CommandOf(const std::string& extension) {
    TFileTypeAssociator fta(
        "Mosk", [this] { return std::make_unique<TRegistryView>(Tree); }, nullptr);
    fta.SetExtension(extension);
    return fta.GetCommand();
  }
  std::string Value(const std::string& key, const std::string& name = "") {
    return Tree.ReadValue(key, name).value_or("<none>");
  }
  void Set(const std::string& key, const std::string& name, const std::string& value) {
    ASSERT_TRUE(Tree.CreateKey(key));
    ASSERT_TRUE(Tree.WriteValue(key, name, value));
  }
  std::string SettingsFile(const std::string& name) {
    Settings->SaveToFile(Dir.File(name));
    return ReadBytes(Dir.File(name));
  }
  static std::vector<bool> All(bool value) { return std::vector<bool>(kDefaultList.size(), value); }

  TempDir Dir;
  TMemoryRegistry Tree;
  int Notices = 0;
  std::unique_ptr<TApp> Kernel;
};

TEST_F(ConfigForm, ShowsTheTwentyDefaultExtensionsInOrderUnchecked) {
  TConfigForm form;
  EXPECT_EQ(form.Extensions(), kDefaultList);
  EXPECT_EQ(form.Checks(), All(false));
  EXPECT_TRUE(form.cbDefEditor()->isHidden());
  EXPECT_FALSE(form.cbDefEditor()->isChecked());
  EXPECT_EQ(form.clbExts()->visualItemRect(form.clbExts()->item(1)).top() -
                form.clbExts()->visualItemRect(form.clbExts()->item(0)).top(),
            15)
      << "item height";
}

TEST_F(ConfigForm, ChecksShowWhichExtensionsRunThisProgramWhateverTheCase) {
  Associate("PHP", Command());
  Associate("CSS", Command());
  std::string shouted = Command();
  for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Associate("JS", shouted);
  Associate("TXT", "\"/usr/bin/other\" \"%1\"");
  TConfigForm form;
  std::vector<bool> expected = All(false);
  expected[0] = expected[11] = expected[12] = true;  // PHP, CSS, JS
  EXPECT_EQ(form.Checks(), expected);
}

TEST_F(ConfigForm, AllChecksEveryItemThenUnchecksThemWithoutTouchingTheRegistry) {
  Associate("PHP", Command());
  std::string before = platform::SerializeRegistry(Tree);
  TConfigForm form;
  ASSERT_TRUE(form.Checks()[0]);
  form.bbAllExts()->click();
  EXPECT_EQ(form.Checks(), All(true));
  form.bbAllExts()->click();
  EXPECT_EQ(form.Checks(), All(false));
  form.bbAllExts()->click();
  EXPECT_EQ(form.Checks(), All(true)) << "none checked: all get checked";
  EXPECT_EQ(platform::SerializeRegistry(Tree), before);
}

TEST_F(ConfigForm, OkAssociatesTheCheckedWithTheirIconsAndUnassociatesTheRest) {
  const std::map<std::string, int> icons = {{"PHP", 4}, {"HTM", 6},  {"HTML", 6}, {"H", 6},
                                            {"INI", 6}, {"JAVA", 2}, {"CSS", 2},  {"JS", 3},
                                            {"PAS", 3}, {"C", 7},    {"CPP", 5}};
  {
    TConfigForm form;
    form.bbAllExts()->click();
    form.bbSave()->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
  }
  EXPECT_EQ(Notices, 1) << "the shell is told once";
  const std::string quoted = "\"" + Dir.File("quorvel") + "\"";
  for (const std::string& extension : kDefaultList) {
    SCOPED_TRACE(extension);
    EXPECT_EQ(CommandOf(extension), Command());
    auto it = icons.find(extension);
    EXPECT_EQ(Value("\\" + extension + "file\\DefaultIcon"),
              quoted + "," + std::to_string(it == icons.end() ? 1 : it->second));
  }
  EXPECT_EQ(Settings->ReadText("Files.TypeList"), kDefaultListText);
  EXPECT_EQ(Settings->ReadString("FileTypes.DefaultEditor"), "0");

  // The next time the checks show what reached the registry; unchecking all
  // takes the program's values away again.
  TConfigForm again;
  EXPECT_EQ(again.Checks(), All(true));
  again.bbAllExts()->click();
  again.bbSave()->click();
  for (const std::string& extension : kDefaultList) EXPECT_EQ(CommandOf(extension), "") << extension;
  EXPECT_EQ(platform::SerializeRegistry(Tree).find("Mosk"), std::string::npos);
  EXPECT_EQ(Notices, 2);
}

TEST_F(ConfigForm, IconIndexIgnoresCase) {
  EXPECT_EQ(TConfigForm::IconIndex("php"), 4);
  EXPECT_EQ(TConfigForm::IconIndex("Cpp"), 5);
  EXPECT_EQ(TConfigForm::IconIndex("c"), 7);
  EXPECT_EQ(TConfigForm::IconIndex("CC"), 1);
  EXPECT_EQ(TConfigForm::IconIndex(""), 1);
}

TEST_F(ConfigForm, EditingTheListAddsXyzUncheckedAndOkUnassociatesIt) {
  Associate("PHP", Command());
  TConfigForm form;
  form.show();
  form.sbEditList()->click();
  ASSERT_NE(form.ListEditor(), nullptr);
  EXPECT_TRUE(form.clbExts()->isHidden());
  EXPECT_FALSE(form.ListEditor()->isHidden());
  EXPECT_EQ(form.ListEditor()->font(), form.clbExts()->font());
  std::string text = form.ListEditor()->toPlainText().toStdString() + "\n";
  std::string expected;
  for (const std::string& extension : kDefaultList) expected += extension + "\n";
  EXPECT_EQ(text, expected);

  form.ListEditor()->appendPlainText("XYZ");
  form.sbEditList()->click();
  EXPECT_EQ(form.ListEditor(), nullptr);
  EXPECT_FALSE(form.clbExts()->isHidden());
  std::vector<std::string> list = kDefaultList;
  list.push_back("XYZ");
  EXPECT_EQ(form.Extensions(), list);
  std::vector<bool> checks(list.size(), false);
  checks[0] = true;  // the registry's PHP, read again
  EXPECT_EQ(form.Checks(), checks);

  form.bbSave()->click();
  EXPECT_EQ(Settings->ReadText("Files.TypeList"), std::string(kDefaultListText) + "XYZ\r\n");
  EXPECT_TRUE(Tree.KeyExists("\\.XYZ"));
  EXPECT_EQ(Value("\\.XYZ"), "<none>") << "unassociated: nothing of the program's";
  EXPECT_EQ(CommandOf("PHP"), Command());
}

TEST_F(ConfigForm, OkWhileTheListIsBeingEditedKeepsTheListFromBefore) {
  TConfigForm form;
  form.bbAllExts()->click();
  form.sbEditList()->click();
  form.ListEditor()->setPlainText("XYZ\nPHP");
  form.bbSave()->click();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(Settings->ReadText("Files.TypeList"), kDefaultListText);
  EXPECT_FALSE(Tree.KeyExists("\\.XYZ"));
  for (const std::string& extension : kDefaultList) EXPECT_EQ(CommandOf(extension), Command()) << extension;
}

TEST_F(ConfigForm, OkLeavesTheFileTypesOfOtherProgramsAlone) {
  // TXT belongs to another program; JS was ours once (our backup is still
  // there) but another program gave it a file type of its own since.
  Set("\\.TXT", "", "Notepad.Text");
  Set("\\Notepad.Text\\Shell", "", "open");
  Set("\\Notepad.Text\\Shell\\open\\Command", "", "other %1");
  Set("\\.JS", "", "JScript");
  Set("\\.JS", "Mosk.Backup", "jsfile_old");
  Set("\\JScript\\Shell", "", "Edit");
  Set("\\JScript\\Shell\\Edit\\Command", "", "wscript %1");
  Set("\\JScript\\Shell\\Edit\\Command", "Mosk.Backup", "left by someone");

  TConfigForm form;
  EXPECT_EQ(form.Checks(), All(false));
  form.bbSave()->click();

  EXPECT_EQ(Value("\\.TXT"), "Notepad.Text");
  EXPECT_FALSE(Tree.ValueExists("\\.TXT", "Mosk.Backup"));
  EXPECT_EQ(Value("\\Notepad.Text\\Shell"), "open");
  EXPECT_EQ(Value("\\Notepad.Text\\Shell\\open\\Command"), "other %1");
  EXPECT_FALSE(Tree.KeyExists("\\TXTfile\\Shell")) << "no file type of the program's made";

  EXPECT_EQ(Value("\\.JS"), "jsfile_old") << "the program's own backup comes back";
  EXPECT_FALSE(Tree.ValueExists("\\.JS", "Mosk.Backup"));
  EXPECT_EQ(Value("\\JScript\\Shell\\Edit\\Command"), "wscript %1");
  EXPECT_EQ(Value("\\JScript\\Shell\\Edit\\Command", "Mosk.Backup"), "left by someone");
}

TEST_F(ConfigForm, CancelChangesNeitherTheRegistryNorTheSettings) {
  Associate("PHP", Command());
  std::string registry = platform::SerializeRegistry(Tree);
  std::string settings = SettingsFile("before.ini");
  {
    TConfigForm form;
    form.bbAllExts()->click();
    form.cbDefEditor()->setChecked(true);
    form.sbEditList()->click();
    form.ListEditor()->appendPlainText("XYZ");
    form.sbEditList()->click();
    form.BitBtn2()->click();
    EXPECT_EQ(form.result(), QDialog::Rejected);
  }
  EXPECT_EQ(platform::SerializeRegistry(Tree), registry);
  EXPECT_EQ(SettingsFile("after.ini"), settings);
  EXPECT_EQ(Notices, 0);
}

TEST_F(ConfigForm, TheDefaultEditorBoxKeepsItsSetting) {
  Settings->WriteBool("FileTypes.DefaultEditor", true);
  TConfigForm form;
  EXPECT_TRUE(form.cbDefEditor()->isChecked());
  form.cbDefEditor()->setChecked(false);
  form.bbSave()->click();
  EXPECT_EQ(Settings->ReadString("FileTypes.DefaultEditor"), "0");
}

TEST_F(ConfigForm, TheListTakesLinesAtAnyLineBreakWithoutATrailingEmptyOne) {
  Settings->WriteText("Files.TypeList", "PHP\rC\nH\r\n\r\nJS\n");
  TConfigForm form;
  EXPECT_EQ(form.Extensions(), (std::vector<std::string>{"PHP", "C", "H", "", "JS"}));
  Settings->WriteText("Files.TypeList", "");
  form.LoadPage();
  EXPECT_EQ(form.clbExts()->count(), 0);
  form.bbAllExts()->click();  // nothing to check: no harm
  form.bbSave()->click();
  EXPECT_EQ(Settings->ReadText("Files.TypeList"), "");
}

class ConfigFormElsewhere : public ConfigForm {
 protected:
  void SetUp() override { Start(Dir.Path() + "/./bin/../quorvel"); }
};

TEST_F(ConfigFormElsewhere, TheCommandLineHoldsTheProgramsFullPathInQuotes) {
  EXPECT_EQ(TConfigForm::QuotedExeName(), "\"" + Dir.File("quorvel") + "\"");
  EXPECT_EQ(TConfigForm::CommandLine(), Command());
}

}  // namespace
