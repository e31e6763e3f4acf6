#pragma once

// The question shown when the main window closes with modified documents:
// the list of their file names and three ways on.

#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

class TUnsavedForm : public QDialog {
 public:
  // The results of exec(); closing the dialog by its window frame or Escape
  // counts as "Return to editor".
  static constexpr int mrYes = 6;                     // "Save All and Exit"
  static constexpr int mrNo = 7;                      // "Discard changes and Exit"
  static constexpr int mrCancel = QDialog::Rejected;  // "Return to editor"

  explicit TUnsavedForm(QWidget* parent = nullptr);

  // Lists `fileNames` (the file system's bytes), one per line.
  void SetFiles(const std::vector<std::string>& fileNames);

  QListWidget* lbFiles() const { return FFiles; }
  QPushButton* BitBtn1() const { return FSaveAll; }
  QPushButton* BitBtn2() const { return FDiscard; }
  QPushButton* BitBtn3() const { return FReturn; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* FLabel;
  QListWidget* FFiles;
  QPushButton* FSaveAll;
  QPushButton* FDiscard;
  QPushButton* FReturn;
};
