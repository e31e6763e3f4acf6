#pragma once

// TWorkspace: the open documents and what keeps their work safe, without a
// window. It saves (one document, all of them, under a new name), asks
// before writing over or reloading a file another program changed, reloads
// what changed on disk, offers the documents that a program which died left
// unsaved, notes and reopens the last session, keeps the recent files and
// names new documents.
//
// What it needs to know from the user it asks through TWorkspaceQuestions;
// the window implements them with its dialogs, tests with a fake. What the
// window shows (the tabs, the watched files, a note in the status bar) it
// hears through the hooks.

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/DiskCheck.h"
#include "app/EditMgr.h"
#include "app/RecentFiles.h"
#include "editor/FileIO.h"

class TJournalKeeper;

enum class TAnswer { Yes, No, Cancel };

// The questions the workspace asks. Texts are bytes: file names as the file
// system has them, the rest ASCII.
class TWorkspaceQuestions {
 public:
  virtual ~TWorkspaceQuestions() = default;
  // The name to save a document under; "" = cancelled.
  virtual std::string AskSaveFile() = 0;
  // Whether to save a document before it closes: Yes, No or Cancel.
  virtual TAnswer AskSaveChanges(const std::string& text) = 0;
  // Whether to save the modified documents (their full names) before the
  // window closes: Yes saves, No discards, Cancel goes back to editing.
  virtual TAnswer AskUnsaved(const std::vector<std::string>& fileNames) = 0;
  // Yes or No: recover documents left unsaved.
  virtual TAnswer AskRecover(const std::string& text) = 0;
  // Yes or No: write over a file another program changed.
  virtual TAnswer AskOverwrite(const std::string& text) = 0;
  // Yes or No: reload a modified document from its file, which another
  // program changed, losing the changes. `recovered`: the document's text
  // came from its journal. The answer that keeps the changes is the default.
  virtual TAnswer AskReload(const std::string& text, bool recovered) = 0;
  // An error, or what happened to files while the program was not running.
  virtual void ReportError(const std::string& message) = 0;
};

class TWorkspace {
 public:
  // Documents live in `panel` (none: documents without windows); recovery
  // journals and save records in `journalFolder`; the recent files and the
  // session in `recentFile`. Saves that a program which died left half-done
  // are put back here, before anything opens their files.
  TWorkspace(platform::EditorPanel* panel, const std::string& journalFolder, const std::string& recentFile,
             TWorkspaceQuestions& questions);
  ~TWorkspace();
  TWorkspace(const TWorkspace&) = delete;
  TWorkspace& operator=(const TWorkspace&) = delete;

  TEditManager& Manager() const { return *FManager; }
  TJournalKeeper& Journals() const { return *FJournals; }
  TRecentFiles& RecentFiles() { return FRecent; }
  // The desktop session ends: nothing more is asked or saved.
  bool Ending() const { return ending_; }
  // A disk check, with its questions, runs.
  bool CheckingDisk() const { return checkingDisk_; }

  // The names or marks of documents changed: the window shows them again.
  std::function<void()> OnShow;
  // The files of the open documents, to be watched for changes.
  std::function<void(const std::vector<std::string>& fileNames)> OnWatch;
  // A document's editor was made: the window sets it up as it shows documents.
  std::function<void(TSourceEditor& document)> OnEditorCreated;
  // A save rewrote the line ends or TABs of the document's file.
  std::function<void(const TSourceEditor& document)> OnFormatRewritten;

  // The start: the file of the command line (when given), then the last
  // session's documents when `reopenSession` (each file once; those that
  // cannot be opened are told in one message); with neither, a new document
  // in `documentsFolder`.
  void Start(const std::string& firstArgument, bool reopenSession, const std::string& documentsFolder);
  // A new document named Notes.txt, Notes2.txt, ... in `folder` (ending in
  // "/"): the first name that is neither a file nor an open document.
  void NewDocument(const std::string& folder);
  // Opens each file; one that cannot be opened is told and the others open.
  void OpenEach(const std::vector<std::string>& fileNames);
  // Opens a file of the recent list; one that is gone is taken off it, with a message.
  void OpenRecent(const std::string& fileName);

  // Saves under the document's name, or asks for one when its file does not exist.
  void Save(TSourceEditor& document);
  // Asks for a name and saves the document under it.
  void SaveAs(TSourceEditor& document);
  // Every document, modified or not, in tab order.
  void SaveAll();
  // Saves the document, asking first when its file changed on disk (also
  // while it is being saved, or after the user agreed to write over it);
  // false when the user would rather not write over the other program's change.
  bool SaveDocument(TSourceEditor& document);
  // Closes the document, asking first whether to save its changes.
  void Close(TSourceEditor& document);
  // True when the program may end: asks about unsaved documents and saves
  // them when told to.
  bool CloseQuery();

  // Notices files of open documents that another program changed, replaced
  // or deleted since they were loaded or saved; reloads the unmodified ones
  // and asks about the modified ones.
  void CheckDiskChanges();
  void ReloadKeepingCaret(TSourceEditor& document);
  // The documents read without their file's format and unchanged since are
  // read again keeping it, while their file is what they read.
  void KeepFormat(bool keep);

  // Tells what happened to saves cut short, and to journals that cannot be
  // recovered; asks once whether to recover the documents that a program
  // which died left unsaved, then opens them (the last one current) or drops them.
  void OfferRecovery();
  // Tells once what went wrong with the recovery journals.
  void TellJournalTrouble();
  // The session ends: the unsaved changes stay in the journals.
  void EndSession();
  // Notes the documents a start should open again (none unless `reopen`).
  void KeepSession(bool reopen);
  void WatchFiles();

  // Runs `action`; an error that leaves it is told and the program goes on.
  void Guarded(const std::function<void()>& action);

 private:
  // Asks whether to write over the other program's change; `agreed` is the
  // file's stamp when asked.
  bool MayOverwrite(TSourceEditor& document, TFileStamp& agreed);
  void SaveOver(TSourceEditor& document, const TFileStamp& agreed);
  void ReopenSession(const std::string& firstArgument);
  void Show() {
    if (OnShow) OnShow();
  }
  // After a save that failed: the file written in place was put back as it
  // was, which gave it a new time of change. That is no change by another
  // program.
  void TakeBackOwnRestore(TSourceEditor& document, const TFileStamp& before);

  TWorkspaceQuestions& questions_;
  bool ending_ = false;
  bool checkingDisk_ = false;
  bool journalTroubleTold_ = false;
  // Saves that a program which died left half-done, put back at the start.
  std::vector<TInterruptedSave> interruptedSaves_;
  // Documents recovered from journals, while their text is the recovered one.
  std::set<const TSourceEditor*> recovered_;
  TDiskCheck FDiskCheck;
  TRecentFiles FRecent;
  std::unique_ptr<TJournalKeeper> FJournals;  // outlives the documents
  std::unique_ptr<TEditManager> FManager;
};

// The file-name part of a name: what follows the last "/".
std::string FilePart(const std::string& name);
// The name made absolute, without "." and ".." parts.
std::string FullPath(const std::string& name);
