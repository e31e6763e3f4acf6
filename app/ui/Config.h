#pragma once

// The configuration dialog: the list of file extensions the program offers
// to be the "Edit" handler of, with a check on each it handles now.
//
// The checks always show what the class registry holds; "OK" applies the
// checks to the registry and stores the list in the settings, "Cancel"
// changes neither.

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class TConfigManager;

class TConfigForm : public QDialog {
 public:
  explicit TConfigForm(QWidget* parent = nullptr);
  ~TConfigForm() override;

  // The button handlers; the buttons call them when clicked.
  // "OK": SavePage, then the dialog closes accepted.
  void bbSaveClick();
  // "All": unchecks every item when all are checked, else checks them all.
  void bbAllExtsClick();
  // "Edit List" went down or came up: swaps the check list for a text box
  // holding one extension per line, or takes the lines back as the items.
  void sbEditListClick();

  // Loads the bound controls and the list from the settings; RefreshChecks.
  void LoadPage();
  // Checks exactly the items whose default verb runs this program.
  void RefreshChecks();
  // ApplyAssociation for every item in order, then tells the shell once.
  void ApplyAssociations();
  // Makes the program the extension's handler, or undoes that.
  void ApplyAssociation(const std::string& extension, bool checked);
  // Applies the associations and stores the controls and the list.
  void SavePage();

  // The program file's full path in double quotes.
  static std::string QuotedExeName();
  // The command line the program is registered with: QuotedExeName "%1".
  static std::string CommandLine();
  // Which of the program file's icons stands for files of `extension`.
  static int IconIndex(const std::string& extension);

  // The items' texts (single-byte text) and check states, in order.
  std::vector<std::string> Extensions() const;
  std::vector<bool> Checks() const;

  QTabWidget* pcMain() const { return FMain; }
  QListWidget* clbExts() const { return FExts; }
  QPushButton* bbAllExts() const { return FAllExts; }
  QPushButton* sbEditList() const { return FEditList; }
  QCheckBox* cbDefEditor() const { return FDefEditor; }
  QPushButton* bbSave() const { return FSave; }
  QPushButton* BitBtn2() const { return FCancel; }
  // The text box of the list while "Edit List" is down, else nullptr.
  QPlainTextEdit* ListEditor() const { return FListEditor; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void SetItems(const std::vector<std::string>& extensions);

  QTabWidget* FMain;
  QGroupBox* FAssociate;
  QWidget* FExtsPanel;  // pnExts: holds the check list or the text box
  QListWidget* FExts;
  QPushButton* FAllExts;
  QPushButton* FEditList;
  QCheckBox* FDefEditor;
  QPushButton* FSave;
  QPushButton* FCancel;
  QPlainTextEdit* FListEditor = nullptr;
  std::unique_ptr<TConfigManager> FManager;
};

// The lines of `text`, split at CR LF, CR or LF; a line break at the very
// end adds no empty line.
std::vector<std::string> SplitLines(const std::string& text);
