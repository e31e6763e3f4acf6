#include "app/ui/WorkWnd.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QTabBar>
#include <QUrl>
#include <filesystem>
#include <utility>

#include "app/JournalKeeper.h"
#include "app/Kernel.h"
#include "app/LineNumbers.h"
#include "app/ui/About.h"
#include "app/ui/Config.h"
#include "app/ui/DiskWatch.h"
#include "app/ui/FindReplace.h"
#include "app/ui/GotoLine.h"
#include "app/ui/KernelStartUp.h"
#include "app/ui/Unsaved.h"
#include "editor/CaseMap.h"
#include "editor/EditSearch.h"
#include "qt/Codepage.h"
#include "qt/QtEditorPanel.h"
#include "qt/QtEditorWindow.h"
#include "widgets/Artwork.h"
#include "widgets/flat_button.h"
#include "widgets/gradient_panel.h"

namespace {

constexpr const char* kProgramCaption = "Quorvel Editor";
constexpr const char* kNoDocument = " - ";
// The application's title while no document is open.
constexpr const char* kNoDocumentTitle = "Korrin";
// The character set of the hint font as the status bar names it: the
// Windows-1252 ("ANSI") set the program draws its text in.
constexpr int kHintFontCharset = 0;
// How long the status bar tells of a refused character.
constexpr int kRefusedMessageMs = 5000;
// How long the status bar tells what a search or replacement found.
constexpr int kSearchMessageMs = 5000;
// How long the status bar tells of a save that rewrote a file's format.
constexpr int kRewrittenMessageMs = 8000;
constexpr const char* kKeepFormatSetting = "Editor.KeepFormat";
constexpr const char* kLineNumbersSetting = "Editor.LineNumbers";
constexpr const char* kReopenSessionSetting = "Files.ReopenSession";
// How often the changes of modified documents go to their recovery journals.
constexpr int kJournalFlushMs = 500;
// A disk check waiting for an open dialog looks again this much later.
constexpr int kDiskRecheckMs = 500;

// Document text (the search box) is single-byte text of the code page; file
// names are the file system's bytes.
QString Q(const std::string& bytes) { return codepage::ToQString(bytes); }
std::string Bytes(const QString& text) { return codepage::FromQString(text); }
QString Name(const std::string& fileName) { return QFile::decodeName(QByteArray::fromStdString(fileName)); }
std::string NameBytes(const QString& fileName) { return QFile::encodeName(fileName).toStdString(); }

// The file-name part of a name: what follows the last "/".
std::string FilePart(const std::string& name) {
  std::size_t slash = name.find_last_of('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string FullPath(const std::string& name) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(name, ec);
  return ec ? name : p.lexically_normal().string();
}

// The extension with its point; empty when the file-name part has none.
std::string ExtensionPart(const std::string& name) {
  std::string file = FilePart(name);
  std::size_t dot = file.find_last_of('.');
  return dot == std::string::npos ? std::string() : file.substr(dot);
}

bool FileExists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::exists(name, ec);
}

bool IsRegularFile(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(name, ec);
}

}  // namespace

TMainForm::TMainForm(const std::string& firstArgument, QWidget* parent) : QMainWindow(parent) {
  setObjectName("TAVO");
  setWindowIcon(artwork::ProgramIcon());
  setWindowState(Qt::WindowMaximized);
  setAcceptDrops(true);
  resize(1024, 700);

  BuildActions();

  // The window asks the user through the platform's dialogs unless a test says otherwise.
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
  AskRecover = AskReload = AskOverwrite = [this](const QString& text) {
    return QMessageBox::question(this, kProgramCaption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
  };
  AskReloadRecovered = [this](const QString& text) {
    return QMessageBox::question(this, kProgramCaption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  };

  BuildLayout();

  // FormCreate.
  aWordWrap->setChecked(Settings && Settings->ReadBool("Editor.WordWrap"));
  aShowSpace->setChecked(Settings && Settings->ReadBool("Editor.ShowSpace"));
  aKeepFormat->setChecked(Settings && Settings->PeekBool(kKeepFormatSetting));
  aLineNumbers->setChecked(Settings && Settings->PeekBool(kLineNumbersSetting));
  aReopenSession->setChecked(Settings && Settings->PeekBool(kReopenSessionSetting));
  if (Settings) edSearch->setText(Q(Settings->ReadString("Editor.SearchText")));
  FJournals = std::make_unique<TJournalKeeper>(JournalFolder());
  // A file that a save killed half-way left torn is whole again before
  // anything opens it; the user is told once the window shows.
  SetSaveRecordFolder(FJournals->Folder());
  interruptedSaves_ = RestoreInterruptedSaves(FJournals->Folder());
  FDiskWatch = new TDiskWatch([this] { CheckDiskChanges(); }, this);
  FManager = std::make_unique<TEditManager>(pnEdit);
  FManager->OnChange = [this](TEditManager&) {
    RefreshTabs();
    WatchFiles();
    RefreshLineNumbers(Current());
  };
  FManager->OnFileRead = [this](TSourceEditor& editor) { FRecent.Add(editor.FileName); };
  FManager->OnEditorCreated = [this](TSourceEditor& editor) { ConfigureEditor(editor); };
  FManager->OnEditorClosing = [this](TSourceEditor& editor) {
    FJournals->Forget(editor);
    FDiskCheck.Forget(editor);
    recovered_.erase(&editor);
  };
  Guarded([&] {
    if (!firstArgument.empty()) FManager->Open(firstArgument);
  });
  if (aReopenSession->isChecked()) ReopenSession(firstArgument);
  if (firstArgument.empty() && FManager->Count() == 0) Guarded([&] { NewDocument(); });
  RefreshTabs();
  connect(&Timer, &QTimer::timeout, this, [this] { UpdateStatusBar(); });
  Timer.start(100);
  UpdateStatusBar();
  connect(&JournalTimer, &QTimer::timeout, this, [this] {
    FJournals->Flush();
    // A snapshot copied in slices takes one at every turn of the event loop.
    JournalTimer.setInterval(FJournals->Building() ? 0 : kJournalFlushMs);
    TellJournalTrouble();
  });
  JournalTimer.start(kJournalFlushMs);
}

TMainForm::~TMainForm() {
  // FormDestroy: the documents go without a question, then the settings are noted.
  Timer.stop();
  JournalTimer.stop();
  FManager->OnChange = nullptr;
  KeepSession();
  FManager.reset();
  FJournals.reset();  // a clean end leaves no journal (after EndSession it leaves them all)
  if (Settings) {
    Settings->WriteBool("Editor.ShowSpace", aShowSpace->isChecked());
    Settings->WriteBool("Editor.WordWrap", aWordWrap->isChecked());
    Settings->WriteString("Editor.SearchText", Bytes(edSearch->text()));
    if (keepFormatChanged_) Settings->WriteBool(kKeepFormatSetting, aKeepFormat->isChecked());
    if (lineNumbersChanged_) Settings->WriteBool(kLineNumbersSetting, aLineNumbers->isChecked());
    if (reopenSessionChanged_) Settings->WriteBool(kReopenSessionSetting, aReopenSession->isChecked());
  }
}

void TMainForm::Guarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const EComplete&) {
    // A silent abort: whatever ended the command has told the user.
  } catch (const std::exception& e) {
    if (ReportError) ReportError(e.what());
  }
}

// ---------------------------------------------------------------- documents

void TMainForm::ConfigureEditor(TSourceEditor& editor) {
  if (auto* window = dynamic_cast<platform::QtEditorWindow*>(editor.Window()))
    window->OnContextMenu = [this](QPoint global) { pmEdit->popup(global); };
  editor.OnChange = [this](TAdvancedEditor& e) { EditorChanged(e); };
  editor.OnCharRefused = [this](TAdvancedEditor&, char32_t ch) { CharRefused(ch); };
  FJournals->Track(editor);
  editor.SetKeepFileFormat(aKeepFormat->isChecked());
  editor.SetWordWrap(aWordWrap->isChecked());
  editor.SetShowSpecialChars(aShowSpace->isChecked());
  if (aLineNumbers->isChecked()) linenumbers::Show(editor, true, TEditManager::kGutterWidth);
}

void TMainForm::NewDocument() {
  const std::string folder = App ? App->DocumentsFolder() : std::string("./");
  for (int n = 1;; ++n) {
    std::string candidate = folder + "Notes" + (n == 1 ? std::string() : std::to_string(n)) + ".txt";
    if (FileExists(candidate)) continue;
    bool open = false;
    for (int i = 0; i < FManager->Count() && !open; ++i)
      open = casemap::ToUpper(FManager->Editor(i).FileName) == casemap::ToUpper(candidate);
    if (open) continue;
    FManager->Open(candidate);
    return;
  }
}

void TMainForm::RefreshTabs() {
  // A caption is rebuilt only where its file or mark changed, and a tab is
  // touched only where its caption changed, so that an edit repaints no more
  // of the tab row than it changes.
  refreshingTabs_ = true;
  const int count = FManager->Count();
  while (tcFiles->count() > count) tcFiles->removeTab(tcFiles->count() - 1);
  tabsShown_.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const TSourceEditor& e = FManager->Editor(i);
    TabShown& shown = tabsShown_[static_cast<std::size_t>(i)];
    if (i < tcFiles->count() && shown.fileName == e.FileName && shown.modified == e.FileModified &&
        tcFiles->tabText(i) == shown.text)
      continue;
    std::string caption = FilePart(e.FileName);
    if (e.FileModified) caption = "[" + caption + "]";
    const QString text = Name(caption);
    shown = {e.FileName, e.FileModified, text};
    // Screen readers name the editing area after its document.
    if (auto* window = dynamic_cast<platform::QtEditorWindow*>(e.Window()))
      window->setAccessibleName(Name(FilePart(e.FileName)));
    if (i >= tcFiles->count()) {
      tcFiles->addTab(text);
    } else if (tcFiles->tabText(i) != text) {
      tcFiles->setTabText(i, text);
    }
  }
  tcFiles->setCurrentIndex(FManager->CurrentIndex());
  refreshingTabs_ = false;
  UpdateCaption();
  UpdateSaveActions();
}

void TMainForm::tcFilesChange(int index) {
  FManager->Select(index);
  UpdateCaption();
  UpdateSaveActions();
  RefreshLineNumbers(Current());
}

void TMainForm::UpdateCaption() {
  if (FManager->Count() == 0 || FManager->CurrentIndex() < 0) {
    setWindowTitle("TAVO");
    FTaskBarTitle = kNoDocumentTitle;
    captionOf_.reset();
  } else if (captionOf_ != Current().FileName) {
    captionOf_ = Current().FileName;
    std::string full = FullPath(*captionOf_);
    setWindowTitle(Name("TAVO - [" + full + "]"));
    FTaskBarTitle = Name(FilePart(full));
  }
  setWindowIconText(FTaskBarTitle);
}

void TMainForm::UpdateSaveActions() {
  // Each action is set once to its final state: a button that stays enabled
  // is not repainted.
  bool any = false;
  for (int i = 0; i < FManager->Count(); ++i)
    if (FManager->Editor(i).FileModified) any = true;
  aSaveAll->setEnabled(any);
  aSave->setEnabled(FManager->CurrentIndex() >= 0 && Current().FileModified);
}

QString TMainForm::PanelText(int index) const { return panels_[static_cast<std::size_t>(index)]->text(); }

namespace {

// The line of the caret, counted like the size panel's lines: a row below the
// text counts as one line more per row.
int CaretLineOf(const TSourceEditor& e) {
  const int rows = e.Lines->GetRowCount();
  if (e.CaretY < 0 || e.CaretY >= rows) return e.Lines->Count() + e.CaretY - rows;
  int line = 0, rowInLine = 0;
  e.Lines->RowToParagraph(e.CaretY, line, rowInLine);
  return line;
}

}  // namespace

QWidget* TMainForm::LinkLabel() const { return Label1; }

std::unique_ptr<QFileDialog> TMainForm::MakeOpenDialog(const std::string& folder) {
  // The default "C:\" names no folder here: given to the dialog it would
  // land in the name field.
  QFileInfo remembered(Name(folder));
  QString start = !folder.empty() && remembered.isAbsolute() && remembered.isDir() ? remembered.absoluteFilePath()
                                                                                   : QDir::homePath();
  auto dialog = std::make_unique<QFileDialog>(this, QString(), start);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setNameFilters({"Text/Source file (*.txt *.php *.htm *.java *.c *.cpp *.pas *.h)", "Any File (*)"});
  return dialog;
}

void TMainForm::UpdateStatusBar() {
  panels_[7]->setText("OK");
  try {
    if (FManager->Count() == 0 || FManager->CurrentIndex() < 0) {
      for (QLabel* p : panels_) p->setText(kNoDocument);
      return;
    }
    TSourceEditor& e = Current();
    panels_[0]->setText(QString("X:Y=%1:%2").arg(e.CaretColumn() + 1).arg(e.CaretY + 1));
    panels_[1]->setText(e.InsertMode ? "Insert" : "Overwrite");
    panels_[2]->setText(QString("Selected: %1").arg(e.SelLength()));
    const int lines = e.Lines->Count();
    panels_[3]->setText(QString("Size: %1 lines").arg(lines));
    panels_[4]->setText(e.Utf8() ? QString("UTF-8") : QString("WIN-%1").arg(kHintFontCharset));
    panels_[5]->setText(lines == 0 ? QString("0%")
                                   : QString("%1%").arg(static_cast<long long>(CaretLineOf(e) + 1) * 100 / lines));
    panels_[6]->setText(Name(ExtensionPart(e.FileName)));
  } catch (const std::exception& ex) {
    panels_[7]->setText(QString::fromLocal8Bit(ex.what()));
  }
}

// ---------------------------------------------------------------- actions

void TMainForm::aLoadExecute() {
  std::string name = AskOpenFile(Settings ? Settings->ReadString("Files.OpenFolder") : std::string());
  if (name.empty()) return;
  std::string folder = name.substr(0, name.find_last_of('/') + 1);
  if (Settings) Settings->WriteString("Files.OpenFolder", folder);
  FManager->Open(name);
}

// Every action works on the document that was current when it started: a
// file handed over while one of its dialogs is open becomes current, but
// the action goes on with its own document.

void TMainForm::aSaveExecute() {
  TSourceEditor& document = Current();
  if (FileExists(document.FileName)) {
    SaveDocument(document);
  } else {
    SaveDocumentAs(document);
  }
  RefreshTabs();
}

void TMainForm::aSaveAsExecute() {
  SaveDocumentAs(Current());
  RefreshTabs();
}

void TMainForm::SaveDocumentAs(TSourceEditor& document) {
  std::string name = AskSaveFile();
  if (name.empty() || FManager->IndexOf(document) < 0) return;
  const bool rewrites = document.SaveRewritesFormat();
  document.SaveAs(name);
  FRecent.Add(document.FileName);
  if (rewrites) FormatRewritten(document);
  FJournals->Flush();  // saved: its journal goes now
  WatchFiles();
}

bool TMainForm::MayOverwrite(TSourceEditor& document) {
  int answer = AskOverwrite("\"" + Name(FilePart(document.FileName)) +
                            "\" was changed by another program. Overwrite it and lose the other program's changes?");
  return answer == QMessageBox::Yes && !ending_ && FManager->IndexOf(document) >= 0;
}

bool TMainForm::SaveDocument(TSourceEditor& document) {
  const bool rewrites = document.SaveRewritesFormat();
  bool overwrite = ChangedOnDisk(document);
  if (overwrite && !MayOverwrite(document)) return false;
  for (;;) {
    try {
      if (overwrite) {
        document.Save();
      } else {
        document.SaveUnlessChanged();
      }
      break;
    } catch (const EFileChanged&) {
      // Another program wrote the file while it was being saved.
      if (!MayOverwrite(document)) return false;
      overwrite = true;
    }
  }
  recovered_.erase(&document);
  FRecent.Add(document.FileName);
  if (rewrites) FormatRewritten(document);
  FJournals->Flush();  // saved: its journal goes now
  WatchFiles();
  return true;
}

void TMainForm::aSaveAllExecute() {
  // Every document, modified or not, in tab order.
  std::vector<TSourceEditor*> documents;
  for (int i = 0; i < FManager->Count(); ++i) documents.push_back(&FManager->Editor(i));
  for (TSourceEditor* document : documents)
    if (FManager->IndexOf(*document) >= 0) SaveDocument(*document);
  RefreshTabs();
}

void TMainForm::aCloseExecute() {
  TSourceEditor& document = Current();
  if (FManager->CurrentIndex() >= 0 && document.FileModified) {
    int answer = AskSaveChanges("Save changes to \"" + Name(FilePart(document.FileName)) + "\"?");
    if (answer == QMessageBox::Cancel || ending_ || FManager->IndexOf(document) < 0) return;
    if (answer == QMessageBox::Yes && !SaveDocument(document)) return;
  }
  FManager->Close(FManager->IndexOf(document));
}

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
  FManager->FocusCurrent();
}

TFindForm& TMainForm::FindForm() {
  if (!FFind) {
    FFind = new TFindForm(this);
    FFind->Target = [this]() -> TAdvancedEditor* { return FManager->Count() > 0 ? &Current() : nullptr; };
    FFind->Tell = [this](const QString& message) {
      if (message.isEmpty()) {
        statusBar()->clearMessage();
      } else {
        statusBar()->showMessage(message, kSearchMessageMs);
      }
    };
    FFind->Guard = [this](const std::function<void()>& action) { Guarded(action); };
    FFind->Closed = [this] { FManager->FocusCurrent(); };
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
  if (FManager->Count() == 0) return;
  int line = 0, column = 0;
  if (!AskGotoLine || !AskGotoLine(Current().Lines->Count(), line, column)) return;
  GoToLine(Current(), line, column);
  FManager->FocusCurrent();
}

void TMainForm::aWordWrapExecute() {
  for (int i = 0; i < FManager->Count(); ++i) {
    FManager->Editor(i).SetWordWrap(aWordWrap->isChecked());
    RefreshLineNumbers(FManager->Editor(i));
  }
}

void TMainForm::aShowSpaceExecute() {
  for (int i = 0; i < FManager->Count(); ++i) FManager->Editor(i).SetShowSpecialChars(aShowSpace->isChecked());
}

void TMainForm::aPrefsExecute() {
  if (ShowPreferences) ShowPreferences();
}

void TMainForm::aKeepFormatExecute() {
  keepFormatChanged_ = true;
  const bool keep = aKeepFormat->isChecked();
  std::vector<TSourceEditor*> documents;
  for (int i = 0; i < FManager->Count(); ++i) documents.push_back(&FManager->Editor(i));
  for (TSourceEditor* document : documents) {
    document->SetKeepFileFormat(keep);
    // A document read without its format and not changed since is read
    // again, while its file is what it read.
    if (keep && !document->FileFormat.Kept && document->FileFormat.Foreign && !document->FileModified &&
        FileStampOf(document->FileName) == document->DiskStamp)
      Guarded([&] { ReloadKeepingCaret(*document); });
  }
}

void TMainForm::aAboutExecute() {
  if (ShowAbout) ShowAbout();
}

void TMainForm::aLineNumbersExecute() {
  lineNumbersChanged_ = true;
  for (int i = 0; i < FManager->Count(); ++i)
    linenumbers::Show(FManager->Editor(i), aLineNumbers->isChecked(), TEditManager::kGutterWidth);
}

void TMainForm::RefreshLineNumbers(TAdvancedEditor& editor) {
  if (aLineNumbers->isChecked()) linenumbers::Refresh(editor, TEditManager::kGutterWidth);
}

void TMainForm::SelectTabBy(int step) {
  const int count = FManager->Count();
  if (count == 0) return;
  const int current = std::max(0, FManager->CurrentIndex());
  tcFiles->setCurrentIndex(((current + step) % count + count) % count);
}

// ---------------------------------------------------------------- recent files and the last session

void TMainForm::FillRecentMenu() {
  miRecent->clear();
  FRecent.Load();
  int n = 0;
  for (const std::string& name : FRecent.Files()) {
    ++n;
    const QString number = n < 10 ? QString("&%1").arg(n) : QString("1&0");
    QAction* item = miRecent->addAction(number + " " + Name(name).replace('&', "&&"));
    connect(item, &QAction::triggered, this, [this, name] { Guarded([&] { OpenRecent(name); }); });
  }
  if (n == 0) miRecent->addAction("No recent files")->setEnabled(false);
}

void TMainForm::OpenRecent(const std::string& fileName) {
  if (!IsRegularFile(fileName)) {
    FRecent.Remove(fileName);
    if (ReportError) ReportError("\"" + fileName + "\" no longer exists. It is taken off the recent files.");
    return;
  }
  FManager->Open(fileName);
}

void TMainForm::ReopenSession(const std::string& firstArgument) {
  FRecent.Load();
  const std::vector<std::string> session = FRecent.Session();
  const int current = FRecent.SessionCurrent();
  const std::string named = firstArgument.empty() ? std::string() : FullPath(firstArgument);
  const bool namedOpen = FManager->Count() > 0;
  int select = -1;
  // Documents coming back are no new choice of the user: the recent list stays.
  auto remember = std::exchange(FManager->OnFileRead, nullptr);
  for (std::size_t i = 0; i < session.size(); ++i) {
    if (session[i] == named || !IsRegularFile(session[i])) continue;
    const int before = FManager->Count();
    Guarded([&] { FManager->Open(session[i]); });
    if (FManager->Count() > before && static_cast<int>(i) == current) select = FManager->Count() - 1;
  }
  FManager->OnFileRead = std::move(remember);
  // The file the command line names stays current.
  if (namedOpen) select = 0;
  if (select >= 0) FManager->Select(select);
}

void TMainForm::KeepSession() {
  std::vector<std::string> names;
  int current = -1;
  if (aReopenSession->isChecked()) {
    for (int i = 0; i < FManager->Count(); ++i) {
      const TSourceEditor& document = FManager->Editor(i);
      // Unsaved changes the session's end keeps in a journal come back through the recovery.
      if ((ending_ && document.FileModified) || !IsRegularFile(document.FileName)) continue;
      if (i == FManager->CurrentIndex()) current = static_cast<int>(names.size());
      names.push_back(document.FileName);
    }
  }
  FRecent.SetSession(names, current);
}

// ---------------------------------------------------------------- messages

void TMainForm::WMCopyData(unsigned marker, const std::string& data) {
  if (marker != kOpenFileMarker) return;
  try {
    FManager->Open(data);
  } catch (const std::exception& e) {
    // The second start waits until this returns: the message is shown once
    // it has its answer.
    QTimer::singleShot(0, this, [this, message = std::string(e.what())] {
      if (ReportError) ReportError(message);
    });
  }
}

void TMainForm::WMDropFiles(const std::vector<std::string>& fileNames) {
  for (const std::string& name : fileNames) Guarded([&] { FManager->Open(name); });
}

bool TMainForm::FormCloseQuery() {
  if (ending_ || !aSaveAll->isEnabled()) return true;
  // The documents the question is about; one handed over meanwhile is not saved.
  std::vector<TSourceEditor*> documents;
  std::vector<std::string> names;
  for (int i = 0; i < FManager->Count(); ++i) {
    documents.push_back(&FManager->Editor(i));
    if (FManager->Editor(i).FileModified) names.push_back(FullPath(FManager->Editor(i).FileName));
  }
  int answer = AskUnsaved(names);
  if (ending_) return true;
  bool close = false;
  if (answer == TUnsavedForm::mrYes) {
    bool saved = true;
    Guarded([&] {
      saved = false;
      bool all = true;
      for (TSourceEditor* document : documents)
        if (FManager->IndexOf(*document) >= 0 && !SaveDocument(*document)) all = false;
      RefreshTabs();
      saved = all;
    });
    close = saved;
  } else if (answer == TUnsavedForm::mrNo) {
    close = true;
  }
  if (close) Timer.stop();
  return close;
}

bool TMainForm::event(QEvent* event) {
  // A menu item's status tip would replace the status bar's panels while
  // the mouse is on it: the hints show as tool tips only.
  if (event->type() == QEvent::StatusTip) return true;
  if (event->type() == TCopyDataEvent::EventType()) {
    auto* message = static_cast<TCopyDataEvent*>(event);
    WMCopyData(message->Marker(), message->Data());
    return true;
  }
  if (event->type() == TEndSessionEvent::EventType()) {
    EndSession();
    return true;
  }
  return QMainWindow::event(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (FormCloseQuery()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TMainForm::FormActivate() {
  if (FManager) FManager->FocusCurrent();
  // Another program may have changed a file while the window was not looked at.
  QTimer::singleShot(0, this, [this] { CheckDiskChanges(); });
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  std::vector<std::string> names;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) names.push_back(NameBytes(url.toLocalFile()));
  event->acceptProposedAction();
  WMDropFiles(names);
}

// ---------------------------------------------------------------- keeping work safe

void TMainForm::WatchFiles() {
  std::vector<std::string> names;
  for (int i = 0; i < FManager->Count(); ++i) names.push_back(FManager->Editor(i).FileName);
  FDiskWatch->Watch(names);
}

void TMainForm::CheckDiskChanges() {
  if (ending_ || checkingDisk_) return;
  if (QApplication::activeModalWidget()) {
    // Not while a dialog waits for an answer: once it is gone.
    QTimer::singleShot(kDiskRecheckMs, this, [this] { CheckDiskChanges(); });
    return;
  }
  checkingDisk_ = true;
  std::vector<TSourceEditor*> documents;
  for (int i = 0; i < FManager->Count(); ++i) documents.push_back(&FManager->Editor(i));
  bool changed = false;
  for (TSourceEditor* document : documents) {
    if (ending_) break;
    if (FManager->IndexOf(*document) < 0) continue;
    switch (FDiskCheck.Check(*document)) {
      case TDiskChange::None:
        break;
      case TDiskChange::Deleted:
        // The text is all that is left of the file: it counts as unsaved.
        document->FileDeleted();
        changed = true;
        break;
      case TDiskChange::Changed:
        if (document->FileModified) {
          const QString text = "\"" + Name(FilePart(document->FileName)) +
                               "\" was changed by another program. Reload it and lose your changes?";
          int answer = recovered_.count(document) ? AskReloadRecovered(text) : AskReload(text);
          if (answer != QMessageBox::Yes || ending_ || FManager->IndexOf(*document) < 0) break;
        }
        Guarded([&] { ReloadKeepingCaret(*document); });
        recovered_.erase(document);
        changed = true;
        break;
    }
  }
  checkingDisk_ = false;
  if (changed && !ending_) RefreshTabs();
  WatchFiles();
}

void TMainForm::ReloadKeepingCaret(TSourceEditor& document) {
  document.RefreshCaretLine();
  const int line = document.CaretLine, column = document.CaretLineX, top = document.TopRow;
  document.Reload();
  const int lines = document.Lines->Count();
  if (lines == 0) return;
  const int target = std::min(line, lines - 1);
  int row = 0, rowColumn = 0;
  document.Lines->LineToRow(target, std::min(column, document.Lines->LineLength(target)), row, rowColumn);
  document.ScrollTo(0, std::min(top, row));
  document.MoveCaret(rowColumn, row);
}

void TMainForm::OfferRecovery() {
  if (ending_) return;
  // First what happened to files whose saves were cut short.
  std::string told;
  for (const TInterruptedSave& save : std::exchange(interruptedSaves_, {})) {
    if (!told.empty()) told += "\n\n";
    told += "The save of \"" + save.FileName + "\" was cut short when the program ended. ";
    told += save.Restored
                ? "The file was put back as it was before that save."
                : "The file was replaced since; its content from before that save is kept in \"" + save.Kept + "\".";
  }
  if (!told.empty()) ReportError(told);
  std::vector<TDamagedJournal> damaged;
  std::vector<TOrphanJournal> orphans = FindOrphanJournals(FJournals->Folder(), &damaged);
  told.clear();
  for (const TDamagedJournal& journal : damaged) {
    if (!told.empty()) told += "\n\n";
    told += journal.FileName.empty() ? std::string("Unsaved changes of a document that cannot be told")
                                     : "The unsaved changes of \"" + journal.FileName + "\"";
    told += " cannot be recovered. " + journal.Reason + ". The journal is kept as \"" + journal.Kept + "\".";
  }
  if (!told.empty() && !ending_) ReportError(told);
  if (orphans.empty() || ending_) return;
  const QString text = orphans.size() == 1 ? QString("Recover unsaved changes of 1 document?")
                                           : QString("Recover unsaved changes of %1 documents?").arg(orphans.size());
  int answer = AskRecover(text);
  if (ending_) return;  // the next start asks again
  if (answer != QMessageBox::Yes) {
    for (TOrphanJournal& orphan : orphans) orphan.File->Remove();
    return;
  }
  for (TOrphanJournal& orphan : orphans) {
    TSourceEditor* document = nullptr;
    bool recovered = false;
    Guarded([&] {
      document = &FManager->CreateEditor();
      RestoreDocument(orphan.Content, *document);
      FJournals->Adopt(*document, std::move(orphan));
      recovered_.insert(document);
      recovered = true;
    });
    if (!recovered && document) FManager->Close(FManager->IndexOf(*document));
  }
  FManager->Select(FManager->Count() - 1);
  RefreshTabs();
  WatchFiles();
}

void TMainForm::TellJournalTrouble() {
  // Once a session, and never over a dialog waiting for an answer.
  if (journalTroubleTold_ || ending_ || QApplication::activeModalWidget()) return;
  const std::string trouble = FJournals->TakeTrouble();
  if (trouble.empty()) return;
  journalTroubleTold_ = true;
  ReportError("Unsaved changes cannot be kept for recovery after a crash: " + trouble);
}

void TMainForm::EndSession() {
  if (ending_) return;
  ending_ = true;
  Timer.stop();
  JournalTimer.stop();
  FJournals->Keep();
}
