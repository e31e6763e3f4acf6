// What the main window asks the user, through the platform's dialogs: the
// window's Ask… and Show… hooks as they stand unless a test replaces them.

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

#include "app/ui/About.h"
#include "app/ui/Config.h"
#include "app/ui/GotoLine.h"
#include "app/ui/Unsaved.h"
#include "app/ui/WorkWnd.h"

namespace {

std::string NameBytes(const QString& fileName) { return QFile::encodeName(fileName).toStdString(); }

}  // namespace

void TMainForm::AskThroughDialogs() {
  AskOpenFile = [this](const std::string& folder) {
    std::unique_ptr<QFileDialog> dialog = MakeOpenDialog(folder);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::string();
    return NameBytes(dialog->selectedFiles().first());
  };
  AskSaveFile = [this] {
    return NameBytes(QFileDialog::getSaveFileName(this, {}, ".", "Text file (*.txt);;Any File (*)"));
  };
  AskSaveChanges = [this](const QString& text) {
    return QMessageBox::warning(this, kProgramCaption, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  };
  AskUnsaved = [this](const std::vector<std::string>& fileNames) {
    TUnsavedForm form(this);
    form.SetFiles(fileNames);
    return form.exec();
  };
  ShowPreferences = [this] {
    TConfigForm form(this);
    form.exec();
  };
  ShowAbout = [this] {
    TAboutForm form(this);
    form.exec();
  };
  AskGotoLine = [this](int lineCount, int& line, int& column) {
    TGotoLineForm form(this, lineCount);
    if (form.exec() != QDialog::Accepted) return false;
    line = form.Line();
    column = form.Column();
    return true;
  };
  ReportError = [this](const std::string& message) {
    QMessageBox::critical(this, kProgramCaption, QString::fromLocal8Bit(message.c_str()));
  };
  AskRecover = AskOverwrite = [this](const QString& text) {
    return QMessageBox::question(this, kProgramCaption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
  };
  AskReload = AskReloadRecovered = [this](const QString& text) {
    return QMessageBox::question(this, kProgramCaption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  };
}
