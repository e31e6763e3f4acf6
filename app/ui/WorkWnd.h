#pragma once

// TMainForm: the program's main window. A button bar with the search box, a
// row of tabs with one tab per open document, the editing panel showing the
// current document's editor, and a status bar refreshed ten times a second.
// It owns the workspace (the documents, their saving, recovery and session),
// shows it, and turns actions, shortcuts, buttons, dropped files and
// hand-overs from a second start into operations of the workspace.

#include <QAction>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Workspace.h"

class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QTabBar;
class TFlatButton;
class TGradientPanel;
class TLinkLabel;
class TDiskWatch;
class TFindForm;
class TJournalKeeper;

namespace platform {
class QtEditorPanel;
}

// The program's name as its message boxes and its empty editing area show it.
inline constexpr char kProgramCaption[] = "Quorvel Editor";

class TMainForm : public QMainWindow {
 public:
  // Opens `firstArgument` when it is not empty, else a new document.
  explicit TMainForm(const std::string& firstArgument, QWidget* parent = nullptr);
  ~TMainForm() override;

  // ---- actions ----
  // Made, with their keys, menus and buttons, from the command table
  // (WorkWndCommands.h).
  QAction *aNew, *aLoad, *aSave, *aSaveAs, *aSaveAll, *aClose, *aReload, *aExit, *aUndo, *aCut, *aCopy, *aPaste,
      *aDelLine, *aSelectAll, *aSelLine, *aUpper, *aLower, *aSearch, *aWordWrap, *aShowSpace, *aPrefs, *aAbout;
  // Tools > "Keep line ends and TABs": files are read and written keeping their format.
  QAction* aKeepFormat;
  // View > "Line numbers" in the gutter.
  QAction* aLineNumbers;
  // Tools > "Reopen last session's documents": a start opens again the
  // documents open at the last exit.
  QAction* aReopenSession;
  // Ctrl+Tab, Ctrl+Shift+Tab: the next and the previous tab, wrapping round.
  QAction *aNextTab, *aPrevTab;
  // Edit menu, after its items: redo, find and replace, go to line.
  QAction *aRedo, *aFind, *aReplace, *aFindNextMatch, *aFindPreviousMatch, *aGotoLine;

  void aNewExecute() { NewDocument(); }
  void aLoadExecute();
  void aSaveExecute();
  void aSaveAsExecute();
  void aSaveAllExecute();
  void aCloseExecute();
  void aReloadExecute() { Manager().Reload(); }
  void aExitExecute() { close(); }
  void aUndoExecute() { Current().ExecuteCommand(cmdUndo); }
  void aCutExecute() { Current().Cut(); }
  void aCopyExecute() { Current().Copy(); }
  void aPasteExecute() { Current().Paste(); }
  void aDelLineExecute() { Current().ExecuteCommand(cmdDeleteLine); }
  void aSelectAllExecute() { Current().ExecuteCommand(cmdSelectAll); }
  void aSelLineExecute();
  void aUpperExecute() { ConvertSelection(0); }
  void aLowerExecute() { ConvertSelection(1); }
  void aSearchExecute();
  void aWordWrapExecute();
  void aShowSpaceExecute();
  void aPrefsExecute();
  void aKeepFormatExecute();
  void aAboutExecute();
  void aLineNumbersExecute();
  void aReopenSessionExecute() { reopenSessionChanged_ = true; }
  void aNextTabExecute() { SelectTabBy(1); }
  void aPrevTabExecute() { SelectTabBy(-1); }
  void aRedoExecute() { Current().ExecuteCommand(cmdRedo); }
  void aFindExecute();
  void aReplaceExecute();
  // The next or previous match of the Find dialog's text; the dialog shows
  // when there is no text to look for.
  void aFindNextMatchExecute();
  void aFindPreviousMatchExecute();
  // Makes the tab `step` places on current, wrapping round.
  void SelectTabBy(int step);

  // ---- recent files ----
  TRecentFiles& RecentFiles() { return FWorkspace->RecentFiles(); }
  // File > "Recent files".
  QMenu* RecentMenu() const { return miRecent; }
  // Opens a file of the list; one that is gone is taken off it, with a message.
  void OpenRecent(const std::string& fileName) { FWorkspace->OpenRecent(fileName); }
  void aGotoLineExecute();

  // ---- own operations ----
  void RefreshTabs();
  void EditorChanged(TAdvancedEditor& editor) {
    RefreshTabs();
    RefreshLineNumbers(editor);
  }
  void ConfigureEditor(TSourceEditor& editor);
  void UpdateCaption();
  void UpdateSaveActions();
  void UpdateStatusBar();
  void NewDocument() { FWorkspace->NewDocument(DocumentsFolder()); }
  void tcFilesChange(int index);
  // A single-instance message: marker 13107 opens the file it names.
  void WMCopyData(unsigned marker, const std::string& data);
  void WMDropFiles(const std::vector<std::string>& fileNames) { FWorkspace->OpenEach(fileNames); }
  // True when the window may close (asks about unsaved documents).
  bool FormCloseQuery();

  // ---- keeping work safe ----
  // Documents that a program which died left unsaved: asks once whether to
  // recover them, then opens them (the last one current) or drops them.
  void OfferRecovery() { FWorkspace->OfferRecovery(); }
  // Notices files of open documents that another program changed, replaced
  // or deleted since they were loaded or saved.
  void CheckDiskChanges();
  // The desktop session ends (logout, SIGTERM, SIGHUP): the window closes as
  // after "Discard changes and Exit", and the unsaved changes stay in the
  // recovery journals.
  void EndSession();
  TJournalKeeper& Journals() const { return FWorkspace->Journals(); }

  // The documents and their saving, session and recovery.
  TWorkspace& Workspace() const { return *FWorkspace; }
  TEditManager& Manager() const { return FWorkspace->Manager(); }
  TSourceEditor& Current() const { return Manager().Current(); }
  // The application's title (the text the task bar shows).
  const QString& Title() const { return FTaskBarTitle; }
  QString PanelText(int index) const;
  QTabBar* Tabs() const { return tcFiles; }
  QLineEdit* SearchBox() const { return edSearch; }
  QTimer& StatusTimer() { return Timer; }
  platform::QtEditorPanel* EditPanel() const { return pnEdit; }
  TFlatButton* Button(int index) const { return buttons_[static_cast<std::size_t>(index)]; }
  QMenu* EditMenu() const { return pmEdit; }
  QMenu* TabsMenu() const { return pmTabs; }
  // The Find and Replace dialog, made when first asked for.
  TFindForm& FindForm();

  // The Open dialog, starting in `folder` when that is an existing folder,
  // else in the user's home folder; the name field starts empty.
  std::unique_ptr<QFileDialog> MakeOpenDialog(const std::string& folder);
  // The status bar's panels.
  QLabel* Panel(int index) const { return panels_[static_cast<std::size_t>(index)]; }
  QWidget* LinkLabel() const;

  // ---- what the window asks the user; tests replace them ----
  // The file to open ("" = cancelled), starting in `folder`.
  std::function<std::string(const std::string& folder)> AskOpenFile;
  std::function<std::string()> AskSaveFile;
  // The close question: QMessageBox::Yes, No or Cancel.
  std::function<int(const QString& text)> AskSaveChanges;
  // The unsaved-changes dialog: TUnsavedForm::mrYes, mrNo or mrCancel.
  std::function<int(const std::vector<std::string>& fileNames)> AskUnsaved;
  // Yes/No questions (QMessageBox::Yes or No): recovering documents left
  // unsaved, reloading a modified document whose file changed, saving over
  // a file that changed.
  std::function<int(const QString&text)> AskRecover, AskReload, AskOverwrite;
  // The reload question about a document recovered from its journal: its
  // default answer (No) keeps the recovered text.
  std::function<int(const QString& text)> AskReloadRecovered;
  std::function<void()> ShowPreferences, ShowAbout;
  // The Go to line dialog for a document of `lineCount` lines: false when
  // cancelled, else the line (from 1) and column (from 1, 0 = none).
  std::function<bool(int lineCount, int& line, int& column)> AskGotoLine;
  // Shows an error that left an action.
  std::function<void(const std::string& message)> ReportError;

  // Runs `action` the way the framework runs an action handler: an error
  // that leaves it is reported and the program goes on.
  void Guarded(const std::function<void()>& action);

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The actions, the menus and the button bar, from the command table.
  void BuildActions();
  // Sets the Ask… and Show… hooks to the platform's dialogs.
  void AskThroughDialogs();
  // The widgets, top to bottom: button bar, tabs, editing panel, status bar.
  void BuildLayout();
  void BuildButtonBar();
  void BuildMenus();
  void BuildStatusBar();
  void ConvertSelection(int mode);
  // Tells in the status bar that the document has no way to hold a character.
  void CharRefused(char32_t ch);
  // Tells in the status bar that a save rewrote the line ends or TABs of a file.
  void FormatRewritten(const TSourceEditor& document);
  // Tells once what went wrong with the recovery journals.
  void TellJournalTrouble();
  void FormActivate();
  void FillRecentMenu();
  void RefreshLineNumbers(TAdvancedEditor& editor);
  // Where new documents go (ending in "/").
  std::string DocumentsFolder() const;

  TGradientPanel* gpButtons = nullptr;
  std::array<TFlatButton*, 10> buttons_{};
  QLineEdit* edSearch = nullptr;
  QTabBar* tcFiles = nullptr;
  platform::QtEditorPanel* pnEdit = nullptr;
  TLinkLabel* Label1 = nullptr;
  std::array<QLabel*, 8> panels_{};
  QMenu* pmEdit = nullptr;
  QMenu* pmTabs = nullptr;
  QMenu* miRecent = nullptr;
  QTimer Timer;
  QString FTaskBarTitle;                  // the application's title, which the task bar shows
  std::optional<std::string> captionOf_;  // the file the window's title was made for
  // What each tab's caption was made from, and the caption.
  struct TabShown {
    std::string fileName;
    bool modified = false;
    QString text;
  };
  std::vector<TabShown> tabsShown_;
  bool refreshingTabs_ = false;
  bool keepFormatChanged_ = false;  // the user switched the option: it goes to the settings
  QTimer JournalTimer;
  // The user switched these options: they go to the settings.
  bool lineNumbersChanged_ = false, reopenSessionChanged_ = false;
  TDiskWatch* FDiskWatch = nullptr;
  TFindForm* FFind = nullptr;
  std::unique_ptr<TWorkspaceQuestions> questions_;  // outlives the workspace
  std::unique_ptr<TWorkspace> FWorkspace;

 public:
  // ---- language aids (WorkWndAids.cpp) ----
  // View > "Highlight matching brackets" and Tools > "Word completion":
  // options, off until the user switches them on.
  QAction *aBrackets, *aCompletion;
  // Edit menu: "Go to matching bracket", "Toggle comment", "Complete word".
  QAction *aGotoBracket, *aToggleComment, *aCompleteWord;
  void aBracketsExecute();
  void aCompletionExecute();
  void aGotoBracketExecute();
  void aToggleCommentExecute();
  void aCompleteWordExecute();
  // The options as the settings hold them, and back when the user changed them.
  void ReadAidOptions();
  void WriteAidOptions();
  void ConfigureAids(TSourceEditor& editor);

 private:
  bool bracketsChanged_ = false, completionChanged_ = false;
};
