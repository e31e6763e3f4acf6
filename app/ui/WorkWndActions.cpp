// The main window's editing, search and view actions.

#include <QFile>
#include <QLineEdit>
#include <QStatusBar>
#include <QTabBar>
#include <algorithm>

#include "app/LineNumbers.h"
#include "app/Kernel.h"
#include "app/ui/FindReplace.h"
#include "app/ui/WorkWnd.h"
#include "editor/EditSearch.h"
#include "qt/Codepage.h"

namespace {

// How long the status bar tells of a refused character.
constexpr int kRefusedMessageMs = 5000;
// How long the status bar tells what a search or replacement found.
constexpr int kSearchMessageMs = 5000;
// How long the status bar tells of a save that rewrote a file's format.
constexpr int kRewrittenMessageMs = 8000;

QString Name(const std::string& fileName) { return QFile::decodeName(QByteArray::fromStdString(fileName)); }

}  // namespace

void TMainForm::aSelLineExecute() {
  Current().ExecuteCommand(cmdLineStart);
  Current().ExecuteCommand(cmdSelectLineEnd);
}

void TMainForm::ConvertSelection(int mode) {
  std::string text = Current().GetSelText();
  Current().SetSelText(Current().CaseConverted(std::move(text), mode == 0 ? cmUpper : cmLower));
}

void TMainForm::CharRefused(char32_t ch) {
  statusBar()->showMessage(QString("Cannot add \"%1\" (U+%2): the document is Windows-1252 text, which has no "
                                   "byte for it")
                               .arg(QString::fromUcs4(&ch, 1))
                               .arg(QString::number(static_cast<uint>(ch), 16).toUpper().rightJustified(4, '0')),
                           kRefusedMessageMs);
}

void TMainForm::FormatRewritten(const TSourceEditor& document) {
  statusBar()->showMessage(QString("\"%1\" was saved with CR LF line ends and blanks for TABs; Tools > \"%2\" "
                                   "keeps a file's own")
                               .arg(Name(FilePart(document.FileName)), aKeepFormat->text()),
                           kRewrittenMessageMs);
}

void TMainForm::aSearchExecute() {
  Current().FindNext(codepage::FromQString(edSearch->text(), Current().Encoding()));
  Manager().FocusCurrent();
}

TFindForm& TMainForm::FindForm() {
  if (!FFind) {
    FFind = new TFindForm(this);
    FFind->Target = [this]() -> TAdvancedEditor* { return Manager().Count() > 0 ? &Current() : nullptr; };
    FFind->Tell = [this](const QString& message) {
      if (message.isEmpty()) {
        statusBar()->clearMessage();
      } else {
        statusBar()->showMessage(message, kSearchMessageMs);
      }
    };
    FFind->Guard = [this](const std::function<void()>& action) { Guarded(action); };
    FFind->Closed = [this] { Manager().FocusCurrent(); };
  }
  return *FFind;
}

void TMainForm::aFindExecute() { FindForm().ShowFind(); }

void TMainForm::aReplaceExecute() { FindForm().ShowReplace(); }

void TMainForm::aFindNextMatchExecute() {
  if (!FindForm().FindNext()) FindForm().ShowFind();
}

void TMainForm::aFindPreviousMatchExecute() {
  if (!FindForm().FindPrevious()) FindForm().ShowFind();
}

void TMainForm::aGotoLineExecute() {
  if (Manager().Count() == 0) return;
  int line = 0, column = 0;
  if (!AskGotoLine || !AskGotoLine(Current().Lines->Count(), line, column)) return;
  GoToLine(Current(), line, column);
  Manager().FocusCurrent();
}

void TMainForm::aWordWrapExecute() {
  for (int i = 0; i < Manager().Count(); ++i) {
    Manager().Editor(i).SetWordWrap(aWordWrap->isChecked());
    RefreshLineNumbers(Manager().Editor(i));
  }
}

void TMainForm::aShowSpaceExecute() {
  for (int i = 0; i < Manager().Count(); ++i) Manager().Editor(i).SetShowSpecialChars(aShowSpace->isChecked());
}

void TMainForm::aPrefsExecute() {
  if (ShowPreferences) ShowPreferences();
}

void TMainForm::aKeepFormatExecute() {
  keepFormatChanged_ = true;
  FWorkspace->KeepFormat(aKeepFormat->isChecked());
}

void TMainForm::aAboutExecute() {
  if (ShowAbout) ShowAbout();
}

void TMainForm::aLineNumbersExecute() {
  lineNumbersChanged_ = true;
  for (int i = 0; i < Manager().Count(); ++i)
    linenumbers::Show(Manager().Editor(i), aLineNumbers->isChecked(), TEditManager::kGutterWidth);
}

void TMainForm::RefreshLineNumbers(TAdvancedEditor& editor) {
  if (aLineNumbers->isChecked()) linenumbers::Refresh(editor, TEditManager::kGutterWidth);
}

void TMainForm::SelectTabBy(int step) {
  const int count = Manager().Count();
  if (count == 0) return;
  const int current = std::max(0, Manager().CurrentIndex());
  tcFiles->setCurrentIndex(((current + step) % count + count) % count);
}
