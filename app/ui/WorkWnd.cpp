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
#include "app/ui/WindowQuestions.h"
#include "editor/EditSearch.h"
#include "qt/Codepage.h"
#include "qt/QtEditorPanel.h"
#include "qt/QtEditorWindow.h"
#include "widgets/Artwork.h"
#include "widgets/flat_button.h"
#include "widgets/gradient_panel.h"

namespace {

constexpr const char* kNoDocument = " - ";
// The application's title while no document is open.
constexpr const char* kNoDocumentTitle = "Korrin";
// The character set of the hint font as the status bar names it: the
// Windows-1252 ("ANSI") set the program draws its text in.
constexpr int kHintFontCharset = 0;
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

// The extension with its point; empty when the file-name part has none.
std::string ExtensionPart(const std::string& name) {
  std::string file = FilePart(name);
  std::size_t dot = file.find_last_of('.');
  return dot == std::string::npos ? std::string() : file.substr(dot);
}


}  // namespace

TMainForm::TMainForm(const std::string& firstArgument, QWidget* parent) : QMainWindow(parent) {
  setObjectName("TAVO");
  setWindowIcon(artwork::ProgramIcon());
  setWindowState(Qt::WindowMaximized);
  setAcceptDrops(true);
  resize(1024, 700);

  BuildActions();

  AskThroughDialogs();

  BuildLayout();

  // FormCreate.
  aWordWrap->setChecked(Settings && Settings->ReadBool("Editor.WordWrap"));
  aShowSpace->setChecked(Settings && Settings->ReadBool("Editor.ShowSpace"));
  aKeepFormat->setChecked(Settings && Settings->PeekBool(kKeepFormatSetting));
  aLineNumbers->setChecked(Settings && Settings->PeekBool(kLineNumbersSetting));
  aReopenSession->setChecked(Settings && Settings->PeekBool(kReopenSessionSetting));
  ReadAidOptions();
  if (Settings) edSearch->setText(Q(Settings->ReadString("Editor.SearchText")));
  FDiskWatch = new TDiskWatch([this] { CheckDiskChanges(); }, this);
  FWorkspace->OnShow = [this] { RefreshTabs(); };
  FWorkspace->OnWatch = [this](const std::vector<std::string>& names) { FDiskWatch->Watch(names); };
  FWorkspace->OnFormatRewritten = [this](const TSourceEditor& document) { FormatRewritten(document); };
  Manager().OnChange = [this](TEditManager&) {
    RefreshTabs();
    FWorkspace->WatchFiles();
    RefreshLineNumbers(Current());
  };
  FWorkspace->OnEditorCreated = [this](TSourceEditor& editor) { ConfigureEditor(editor); };
  FWorkspace->Start(firstArgument, aReopenSession->isChecked(), DocumentsFolder());
  RefreshTabs();
  connect(&Timer, &QTimer::timeout, this, [this] { UpdateStatusBar(); });
  Timer.start(100);
  UpdateStatusBar();
  connect(&JournalTimer, &QTimer::timeout, this, [this] {
    Journals().Flush();
    // A snapshot copied in slices takes one at every turn of the event loop.
    JournalTimer.setInterval(Journals().Building() ? 0 : kJournalFlushMs);
    TellJournalTrouble();
  });
  JournalTimer.start(kJournalFlushMs);
}

TMainForm::~TMainForm() {
  // FormDestroy: the documents go without a question, then the settings are noted.
  Timer.stop();
  JournalTimer.stop();
  Manager().OnChange = nullptr;
  FWorkspace->KeepSession(aReopenSession->isChecked());
  FWorkspace.reset();  // a clean end leaves no journal (after EndSession it leaves them all)
  if (Settings) {
    Settings->WriteBool("Editor.ShowSpace", aShowSpace->isChecked());
    Settings->WriteBool("Editor.WordWrap", aWordWrap->isChecked());
    Settings->WriteString("Editor.SearchText", Bytes(edSearch->text()));
    if (keepFormatChanged_) Settings->WriteBool(kKeepFormatSetting, aKeepFormat->isChecked());
    if (lineNumbersChanged_) Settings->WriteBool(kLineNumbersSetting, aLineNumbers->isChecked());
    if (reopenSessionChanged_) Settings->WriteBool(kReopenSessionSetting, aReopenSession->isChecked());
    WriteAidOptions();
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
  editor.SetKeepFileFormat(aKeepFormat->isChecked());
  editor.SetWordWrap(aWordWrap->isChecked());
  editor.SetShowSpecialChars(aShowSpace->isChecked());
  if (aLineNumbers->isChecked()) linenumbers::Show(editor, true, TEditManager::kGutterWidth);
  ConfigureAids(editor);
}

std::string TMainForm::DocumentsFolder() const { return App ? App->DocumentsFolder() : std::string("./"); }

void TMainForm::RefreshTabs() {
  // A caption is rebuilt only where its file or mark changed, and a tab is
  // touched only where its caption changed, so that an edit repaints no more
  // of the tab row than it changes.
  refreshingTabs_ = true;
  const int count = Manager().Count();
  while (tcFiles->count() > count) tcFiles->removeTab(tcFiles->count() - 1);
  tabsShown_.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const TSourceEditor& e = Manager().Editor(i);
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
  tcFiles->setCurrentIndex(Manager().CurrentIndex());
  refreshingTabs_ = false;
  UpdateCaption();
  UpdateSaveActions();
}

void TMainForm::tcFilesChange(int index) {
  Manager().Select(index);
  UpdateCaption();
  UpdateSaveActions();
  RefreshLineNumbers(Current());
}

void TMainForm::UpdateCaption() {
  if (Manager().Count() == 0 || Manager().CurrentIndex() < 0) {
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
  for (int i = 0; i < Manager().Count(); ++i)
    if (Manager().Editor(i).FileModified) any = true;
  aSaveAll->setEnabled(any);
  aSave->setEnabled(Manager().CurrentIndex() >= 0 && Current().FileModified);
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
    if (Manager().Count() == 0 || Manager().CurrentIndex() < 0) {
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
  Manager().Open(name);
}

void TMainForm::aSaveExecute() {
  FWorkspace->Save(Current());
  RefreshTabs();
}

void TMainForm::aSaveAsExecute() {
  FWorkspace->SaveAs(Current());
  RefreshTabs();
}

void TMainForm::aSaveAllExecute() {
  FWorkspace->SaveAll();
  RefreshTabs();
}

void TMainForm::aCloseExecute() { FWorkspace->Close(Current()); }

// ---------------------------------------------------------------- recent files and the last session

void TMainForm::FillRecentMenu() {
  miRecent->clear();
  RecentFiles().Load();
  int n = 0;
  for (const std::string& name : RecentFiles().Files()) {
    ++n;
    const QString number = n < 10 ? QString("&%1").arg(n) : QString("1&0");
    QAction* item = miRecent->addAction(number + " " + Name(name).replace('&', "&&"));
    connect(item, &QAction::triggered, this, [this, name] { Guarded([&] { OpenRecent(name); }); });
  }
  if (n == 0) miRecent->addAction("No recent files")->setEnabled(false);
}

// ---------------------------------------------------------------- messages

void TMainForm::WMCopyData(unsigned marker, const std::string& data) {
  if (marker != kOpenFileMarker) return;
  try {
    Manager().Open(data);
  } catch (const std::exception& e) {
    // The second start waits until this returns: the message is shown once
    // it has its answer.
    QTimer::singleShot(0, this, [this, message = std::string(e.what())] {
      if (ReportError) ReportError(message);
    });
  }
}

bool TMainForm::FormCloseQuery() {
  if (FWorkspace->Ending() || !aSaveAll->isEnabled()) return true;
  const bool close = FWorkspace->CloseQuery();
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
  if (FWorkspace) Manager().FocusCurrent();
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

void TMainForm::CheckDiskChanges() {
  if (!FWorkspace->Ending() && !FWorkspace->CheckingDisk() && QApplication::activeModalWidget()) {
    // Not while a dialog waits for an answer: once it is gone.
    QTimer::singleShot(kDiskRecheckMs, this, [this] { CheckDiskChanges(); });
    return;
  }
  FWorkspace->CheckDiskChanges();
}

void TMainForm::TellJournalTrouble() {
  // Never over a dialog waiting for an answer.
  if (!QApplication::activeModalWidget()) FWorkspace->TellJournalTrouble();
}

void TMainForm::EndSession() {
  if (FWorkspace->Ending()) return;
  FWorkspace->EndSession();
  Timer.stop();
  JournalTimer.stop();
}
