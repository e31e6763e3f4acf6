#include "app/Workspace.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <utility>

#include "app/JournalKeeper.h"
#include "editor/AdvEditErrors.h"
#include "editor/CaseMap.h"

namespace {

bool FileExists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::exists(name, ec);
}

bool IsRegularFile(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(name, ec);
}

std::string Quoted(const std::string& name) { return "\"" + FilePart(name) + "\""; }

}  // namespace

std::string FilePart(const std::string& name) {
  std::size_t slash = name.find_last_of('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string FullPath(const std::string& name) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(name, ec);
  return ec ? name : p.lexically_normal().string();
}

TWorkspace::TWorkspace(platform::EditorPanel* panel, const std::string& journalFolder, const std::string& recentFile,
                       TWorkspaceQuestions& questions)
    : questions_(questions), FRecent(recentFile), FJournals(std::make_unique<TJournalKeeper>(journalFolder)) {
  // A file that a save killed half-way left torn is whole again before
  // anything opens it; the user is told with the recovery offer.
  SetSaveRecordFolder(FJournals->Folder());
  interruptedSaves_ = RestoreInterruptedSaves(FJournals->Folder());
  FManager = std::make_unique<TEditManager>(panel);
  FManager->OnEditorCreated = [this](TSourceEditor& editor) {
    if (OnEditorCreated) OnEditorCreated(editor);
    FJournals->Track(editor);  // its unsaved changes are kept for recovery
  };
  FManager->OnFileRead = [this](TSourceEditor& editor) { FRecent.Add(editor.FileName); };
  FManager->OnEditorClosing = [this](TSourceEditor& editor) {
    FJournals->Forget(editor);
    FDiskCheck.Forget(editor);
    recovered_.erase(&editor);
  };
}

TWorkspace::~TWorkspace() {
  FManager.reset();
  FJournals.reset();  // a clean end leaves no journal (after EndSession it leaves them all)
}

void TWorkspace::Guarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const EComplete&) {
    // A silent abort: whatever ended the command has told the user.
  } catch (const std::exception& e) {
    questions_.ReportError(e.what());
  }
}

// ---------------------------------------------------------------- opening

void TWorkspace::Start(const std::string& firstArgument, bool reopenSession, const std::string& documentsFolder) {
  Guarded([&] {
    if (!firstArgument.empty()) FManager->Open(firstArgument);
  });
  if (reopenSession) ReopenSession(firstArgument);
  if (firstArgument.empty() && FManager->Count() == 0) Guarded([&] { NewDocument(documentsFolder); });
}

void TWorkspace::NewDocument(const std::string& folder) {
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

void TWorkspace::OpenEach(const std::vector<std::string>& fileNames) {
  for (const std::string& name : fileNames) Guarded([&] { FManager->Open(name); });
}

void TWorkspace::OpenRecent(const std::string& fileName) {
  if (!IsRegularFile(fileName)) {
    FRecent.Remove(fileName);
    questions_.ReportError("\"" + fileName + "\" no longer exists. It is taken off the recent files.");
    return;
  }
  FManager->Open(fileName);
}

void TWorkspace::ReopenSession(const std::string& firstArgument) {
  FRecent.Load();
  const std::vector<std::string> session = FRecent.Session();
  const int current = FRecent.SessionCurrent();
  const std::string named = firstArgument.empty() ? std::string() : FullPath(firstArgument);
  const bool namedOpen = FManager->Count() > 0;
  int select = -1;
  // A file is opened once, however often the session names it; what cannot
  // be opened is told in one message, after the others are open.
  std::map<std::string, int> tabOf;
  if (namedOpen) tabOf[named] = 0;
  std::string failed;
  // Documents coming back are no new choice of the user: the recent list stays.
  auto remember = std::exchange(FManager->OnFileRead, nullptr);
  for (std::size_t i = 0; i < session.size(); ++i) {
    if (session[i] == named || !IsRegularFile(session[i])) continue;
    auto [tab, first] = tabOf.emplace(FullPath(session[i]), -1);
    if (first) {
      const int before = FManager->Count();
      try {
        FManager->Open(session[i]);
      } catch (const EComplete&) {
      } catch (const std::exception& e) {
        failed += (failed.empty() ? "" : "\n\n") + std::string(e.what());
      }
      if (FManager->Count() > before) tab->second = FManager->Count() - 1;
    }
    if (static_cast<int>(i) == current && tab->second >= 0) select = tab->second;
  }
  FManager->OnFileRead = std::move(remember);
  // The file the command line names stays current.
  if (namedOpen) select = 0;
  if (select >= 0) FManager->Select(select);
  if (!failed.empty()) questions_.ReportError(failed);
}

void TWorkspace::KeepSession(bool reopen) {
  std::vector<std::string> names;
  int current = -1;
  if (reopen) {
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

// ---------------------------------------------------------------- saving

// Every operation works on the document it was given: a file handed over
// while one of its questions waits becomes current, but the operation goes
// on with its own document.

void TWorkspace::Save(TSourceEditor& document) {
  if (FileExists(document.FileName)) {
    SaveDocument(document);
  } else {
    SaveAs(document);
  }
}

void TWorkspace::SaveAs(TSourceEditor& document) {
  std::string name = questions_.AskSaveFile();
  if (name.empty() || FManager->IndexOf(document) < 0) return;
  const bool rewrites = document.SaveRewritesFormat();
  document.SaveAs(name);
  FRecent.Add(document.FileName);
  if (rewrites && OnFormatRewritten) OnFormatRewritten(document);
  FJournals->Flush();  // saved: its journal goes now
  WatchFiles();
}

bool TWorkspace::MayOverwrite(TSourceEditor& document, TFileStamp& agreed) {
  // What the user agrees to write over is the file as it is when asked.
  agreed = FileStampOf(document.FileName);
  TAnswer answer = questions_.AskOverwrite(Quoted(document.FileName) +
                                           " was changed by another program. Overwrite it and lose the other "
                                           "program's changes?");
  return answer == TAnswer::Yes && !ending_ && FManager->IndexOf(document) >= 0;
}

void TWorkspace::SaveOver(TSourceEditor& document, const TFileStamp& agreed) {
  // Saved unless the file changed again since the user agreed to write over it.
  const TFileStamp own = document.DiskStamp;
  document.DiskStamp = agreed;
  try {
    document.SaveUnlessChanged();
  } catch (...) {
    document.DiskStamp = own;
    throw;
  }
}

bool TWorkspace::SaveDocument(TSourceEditor& document) {
  const bool rewrites = document.SaveRewritesFormat();
  TFileStamp agreed;
  bool overwrite = ChangedOnDisk(document);
  if (overwrite && !MayOverwrite(document, agreed)) return false;
  for (;;) {
    const TFileStamp before = FileStampOf(document.FileName);
    try {
      if (overwrite) {
        SaveOver(document, agreed);
      } else {
        document.SaveUnlessChanged();
      }
      break;
    } catch (const EFileChanged&) {
      // Another program wrote the file while it was being saved, or after
      // the user agreed to write over its change.
      if (!MayOverwrite(document, agreed)) return false;
      overwrite = true;
    } catch (const std::exception&) {
      TakeBackOwnRestore(document, before);
      throw;
    }
  }
  recovered_.erase(&document);
  FRecent.Add(document.FileName);
  if (rewrites && OnFormatRewritten) OnFormatRewritten(document);
  FJournals->Flush();  // saved: its journal goes now
  WatchFiles();
  return true;
}

void TWorkspace::TakeBackOwnRestore(TSourceEditor& document, const TFileStamp& before) {
  // A file written in place gets its old content back when the save fails:
  // the same file, of the same size, with only its time of change new. What
  // was known of the file before the save holds of it now.
  const TFileStamp after = FileStampOf(document.FileName);
  if (before.State != TFileStamp::TState::Present || after.State != TFileStamp::TState::Present || after == before ||
      after.Device != before.Device || after.Inode != before.Inode || after.Size != before.Size)
    return;
  if (document.DiskStamp == before) document.DiskStamp = after;
  FDiskCheck.Renewed(document, before, after);
}

void TWorkspace::SaveAll() {
  std::vector<TSourceEditor*> documents;
  for (int i = 0; i < FManager->Count(); ++i) documents.push_back(&FManager->Editor(i));
  for (TSourceEditor* document : documents)
    if (FManager->IndexOf(*document) >= 0) SaveDocument(*document);
}

void TWorkspace::Close(TSourceEditor& document) {
  if (FManager->CurrentIndex() >= 0 && document.FileModified) {
    TAnswer answer = questions_.AskSaveChanges("Save changes to " + Quoted(document.FileName) + "?");
    if (answer == TAnswer::Cancel || ending_ || FManager->IndexOf(document) < 0) return;
    if (answer == TAnswer::Yes && !SaveDocument(document)) return;
  }
  FManager->Close(FManager->IndexOf(document));
}

bool TWorkspace::CloseQuery() {
  bool modified = false;
  for (int i = 0; i < FManager->Count(); ++i) modified = modified || FManager->Editor(i).FileModified;
  if (ending_ || !modified) return true;
  // The documents the question is about; one handed over meanwhile is not saved.
  std::vector<TSourceEditor*> documents;
  std::vector<std::string> names;
  for (int i = 0; i < FManager->Count(); ++i) {
    documents.push_back(&FManager->Editor(i));
    if (FManager->Editor(i).FileModified) names.push_back(FullPath(FManager->Editor(i).FileName));
  }
  TAnswer answer = questions_.AskUnsaved(names);
  if (ending_) return true;
  if (answer == TAnswer::No) return true;
  if (answer != TAnswer::Yes) return false;
  bool saved = true;
  Guarded([&] {
    saved = false;
    bool all = true;
    for (TSourceEditor* document : documents)
      if (FManager->IndexOf(*document) >= 0 && !SaveDocument(*document)) all = false;
    Show();
    saved = all;
  });
  return saved;
}

// ---------------------------------------------------------------- changes on disk

void TWorkspace::WatchFiles() {
  std::vector<std::string> names;
  for (int i = 0; i < FManager->Count(); ++i) names.push_back(FManager->Editor(i).FileName);
  if (OnWatch) OnWatch(names);
}

void TWorkspace::CheckDiskChanges() {
  if (ending_ || checkingDisk_) return;
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
          TAnswer answer = questions_.AskReload(
              Quoted(document->FileName) + " was changed by another program. Reload it and lose your changes?",
              recovered_.count(document) > 0);
          if (answer != TAnswer::Yes || ending_ || FManager->IndexOf(*document) < 0) break;
        }
        Guarded([&] { ReloadKeepingCaret(*document); });
        recovered_.erase(document);
        changed = true;
        break;
    }
  }
  checkingDisk_ = false;
  if (changed && !ending_) Show();
  WatchFiles();
}

void TWorkspace::ReloadKeepingCaret(TSourceEditor& document) {
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

void TWorkspace::KeepFormat(bool keep) {
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

// ---------------------------------------------------------------- recovery and the session's end

void TWorkspace::OfferRecovery() {
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
  if (!told.empty()) questions_.ReportError(told);
  std::vector<TDamagedJournal> damaged;
  std::vector<TOrphanJournal> orphans = FindOrphanJournals(FJournals->Folder(), &damaged);
  told.clear();
  for (const TDamagedJournal& journal : damaged) {
    if (!told.empty()) told += "\n\n";
    told += journal.FileName.empty() ? std::string("Unsaved changes of a document that cannot be told")
                                     : "The unsaved changes of \"" + journal.FileName + "\"";
    told += " cannot be recovered. " + journal.Reason + ". The journal is kept as \"" + journal.Kept + "\".";
  }
  if (!told.empty() && !ending_) questions_.ReportError(told);
  if (orphans.empty() || ending_) return;
  const std::string text = orphans.size() == 1
                               ? std::string("Recover unsaved changes of 1 document?")
                               : "Recover unsaved changes of " + std::to_string(orphans.size()) + " documents?";
  TAnswer answer = questions_.AskRecover(text);
  if (ending_) return;  // the next start asks again
  if (answer != TAnswer::Yes) {
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
  Show();
  WatchFiles();
}

void TWorkspace::TellJournalTrouble() {
  if (journalTroubleTold_ || ending_) return;
  const std::string trouble = FJournals->TakeTrouble();
  if (trouble.empty()) return;
  journalTroubleTold_ = true;
  questions_.ReportError("Unsaved changes cannot be kept for recovery after a crash: " + trouble);
}

void TWorkspace::EndSession() {
  if (ending_) return;
  ending_ = true;
  FJournals->Keep();
}
