// The workspace without a window: saving and its questions, changes on
// disk, recovery after a crash, naming new documents. A fake answers the
// questions and notes what was asked.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "app/Journal.h"
#include "app/Workspace.h"
#include "tests/support/FakeEditorPanel.h"
#include "tests/support/FakeLinesOwner.h"
#include "tests/support/TempDir.h"

namespace {

class FakeQuestions : public TWorkspaceQuestions {
 public:
  std::string AskSaveFile() override {
    ++saveDialogs;
    return saveAs;
  }
  TAnswer AskSaveChanges(const std::string& text) override {
    asked.push_back(text);
    return answer;
  }
  TAnswer AskUnsaved(const std::vector<std::string>& names) override {
    unsaved = names;
    return unsavedAnswer;
  }
  TAnswer AskRecover(const std::string& text) override {
    asked.push_back(text);
    return yesNo;
  }
  TAnswer AskOverwrite(const std::string& text) override {
    asked.push_back(text);
    if (whileAsked) return whileAsked();
    return yesNo;
  }
  TAnswer AskReload(const std::string& text, bool recovered) override {
    asked.push_back((recovered ? "(recovered) " : "") + text);
    return yesNo;
  }
  void ReportError(const std::string& message) override { errors.push_back(message); }

  std::vector<std::string> asked, errors, unsaved;
  int saveDialogs = 0;
  std::string saveAs;
  TAnswer answer = TAnswer::Yes, unsavedAnswer = TAnswer::Cancel, yesNo = TAnswer::Yes;
  // Runs while the overwrite question waits; gives its answer.
  std::function<TAnswer()> whileAsked;
};

// Nothing in the state folder but the list of recent files.
bool HoldsNoJournal(const std::string& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().filename() != "recent-files") return false;
  return true;
}

const std::string kReload = "\"a.txt\" was changed by another program. Reload it and lose your changes?";

class Workspace : public ::testing::Test {
 protected:
  ~Workspace() override {
    ws.reset();
    SetSaveRecordFolder("");
  }
  TWorkspace& Start(const std::string& argument = "", bool reopenSession = false) {
    ws = std::make_unique<TWorkspace>(&panel, State(), State() + "/recent-files", ask);
    ws->Start(argument, reopenSession, dir.Path() + "/");
    return *ws;
  }
  std::string State() const { return dir.File("state/quorvel"); }
  TSourceEditor& Current() const { return ws->Manager().Current(); }
  // The documents as the tabs show them: the file's name, in brackets while modified.
  std::vector<std::string> Tabs() const {
    std::vector<std::string> out;
    for (int i = 0; i < ws->Manager().Count(); ++i) {
      const TSourceEditor& e = ws->Manager().Editor(i);
      out.push_back(e.FileModified ? "[" + FilePart(e.FileName) + "]" : FilePart(e.FileName));
    }
    return out;
  }

  TempDir dir;
  FakeEditorPanel panel;
  FakeQuestions ask;
  std::unique_ptr<TWorkspace> ws;
};

TEST_F(Workspace, NewDocumentsTakeTheNextFreeNotesName) {
  WriteBytes(dir.File("Notes2.txt"), "taken");
  Start();
  ws->NewDocument(dir.Path() + "/");
  ws->NewDocument(dir.Path() + "/");
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"Notes.txt", "Notes3.txt", "Notes4.txt"}));
  EXPECT_EQ(ws->Manager().CurrentIndex(), 2);
  EXPECT_FALSE(std::filesystem::exists(dir.File("Notes.txt"))) << "written only when saved";
}

TEST_F(Workspace, TheCloseQuestionSavesUnderTheCurrentNameAndTheEndAsksAboutWhatIsUnsaved) {
  Start();
  Current().KeyPress('z');
  ws->NewDocument(dir.Path() + "/");
  ws->Manager().Select(0);
  ask.answer = TAnswer::Cancel;
  ws->Close(Current());
  EXPECT_EQ(ws->Manager().Count(), 2) << "Cancel keeps the document";
  EXPECT_EQ(ask.asked, std::vector<std::string>{"Save changes to \"Notes.txt\"?"});
  ask.answer = TAnswer::Yes;
  ws->Close(Current());
  EXPECT_EQ(ask.saveDialogs, 0) << "no dialog: the file is written under its name";
  EXPECT_EQ(ReadBytes(dir.File("Notes.txt")), "z\r\n");
  EXPECT_EQ(ws->Manager().Count(), 1);

  // The end: no question without changes; Cancel goes back, No discards, Yes saves.
  EXPECT_TRUE(ws->CloseQuery());
  EXPECT_TRUE(ask.unsaved.empty());
  Current().KeyPress('q');
  EXPECT_FALSE(ws->CloseQuery());
  EXPECT_EQ(ask.unsaved, std::vector<std::string>{dir.File("Notes2.txt")});
  ask.unsavedAnswer = TAnswer::No;
  EXPECT_TRUE(ws->CloseQuery());
  EXPECT_FALSE(std::filesystem::exists(dir.File("Notes2.txt")));
  ask.unsavedAnswer = TAnswer::Yes;
  ask.saveAs = dir.File("chosen.txt");
  EXPECT_TRUE(ws->CloseQuery());
  EXPECT_EQ(ReadBytes(dir.File("Notes2.txt")), "q\r\n") << "saved under its name, without a dialog";
  EXPECT_EQ(ask.saveDialogs, 0);
}

TEST_F(Workspace, AChangeByAnotherProgramIsAskedAboutAndNeverSilentlyOverwritten) {
  const std::string file = dir.File("a.txt");
  WriteBytes(file, "one\r\ntwo\r\nthree\r\n");
  Start(file);
  TSourceEditor& doc = Current();
  doc.MoveCaret(1, 2);

  // Unmodified: reloaded without a question, the caret on its line.
  WriteBytes(file, "ONE\nTWO\nTHREE\nFOUR\n");
  ws->CheckDiskChanges();
  EXPECT_EQ(doc.Lines->Get(3), "FOUR");
  EXPECT_EQ(doc.CaretY, 2);
  EXPECT_FALSE(doc.FileModified);
  EXPECT_TRUE(ask.asked.empty());

  // Modified: a question, asked once for each change; No keeps the text.
  doc.KeyPress('x');
  WriteBytes(file, "changed again\n");
  ask.yesNo = TAnswer::No;
  ws->CheckDiskChanges();
  ws->CheckDiskChanges();
  EXPECT_EQ(ask.asked, std::vector<std::string>{kReload});
  EXPECT_EQ(doc.Lines->Get(2), "TxHREE") << "the caret kept its place";

  // Saving over that change asks first; No writes nothing.
  ws->Save(doc);
  const std::string overwrite =
      "\"a.txt\" was changed by another program. Overwrite it and lose the other program's changes?";
  EXPECT_EQ(ask.asked, (std::vector<std::string>{kReload, overwrite}));
  EXPECT_EQ(ReadBytes(file), "changed again\n");
  EXPECT_EQ(Tabs(), std::vector<std::string>{"[a.txt]"});

  // Yes to the reload question: the file's text, unmodified.
  WriteBytes(file, "third\r\n");
  ask.yesNo = TAnswer::Yes;
  ws->CheckDiskChanges();
  EXPECT_EQ(LinesOf(*doc.Lines), std::vector<std::string>{"third"});
  EXPECT_FALSE(doc.FileModified);

  // Deleted: the document stays, with its text, marked modified.
  std::filesystem::remove(file);
  ws->CheckDiskChanges();
  EXPECT_EQ(LinesOf(*doc.Lines), std::vector<std::string>{"third"});
  EXPECT_EQ(Tabs(), std::vector<std::string>{"[a.txt]"});
  EXPECT_EQ(ask.asked.size(), 3u);
  EXPECT_TRUE(ask.errors.empty()) << ask.errors[0];
}

TEST_F(Workspace, AFileReplacedByAFolderOrAPipeCountsAsDeleted) {
  for (const std::string kind : {"folder", "pipe"}) {
    const std::string file = dir.File(kind + ".txt");
    WriteBytes(file, "text\r\n");
    Start(file);
    std::filesystem::remove(file);
    if (kind == "folder")
      std::filesystem::create_directory(file);
    else
      ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    ws->CheckDiskChanges();
    EXPECT_EQ(Tabs(), std::vector<std::string>{"[" + kind + ".txt]"});
    EXPECT_EQ(LinesOf(*Current().Lines), std::vector<std::string>{"text"});
    EXPECT_FALSE(ws->CloseQuery()) << "the text is the file's last copy";
    EXPECT_EQ(ask.unsaved, std::vector<std::string>{file});
    EXPECT_TRUE(ask.errors.empty()) << kind << ": " << ask.errors[0];
    EXPECT_TRUE(ask.asked.empty());
  }
}

// Another program appends to the file while a large document is saved: the
// save asks as a change found earlier does, and No keeps every line it wrote.
TEST_F(Workspace, AnotherProgramWritingDuringASaveIsAskedAboutAndKept) {
  const std::string file = dir.File("big.txt");
  std::string text;
  for (int i = 0; i < 500000; ++i) text += "line " + std::to_string(i) + " of a large document\r\n";
  WriteBytes(file, text);
  Start(file);
  Current().KeyPress('x');
  ask.yesNo = TAnswer::No;
  int stop[2];
  ASSERT_EQ(::pipe(stop), 0);
  const pid_t other = ::fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    // A line every 5 ms from 20 ms on, until told to stop.
    ::usleep(20000);
    int n = 0;
    pollfd told{stop[0], POLLIN, 0};
    while (n < 250) {
      char line[] = "theirs 000\n";
      line[7] = static_cast<char>('0' + n / 100);
      line[8] = static_cast<char>('0' + n / 10 % 10);
      line[9] = static_cast<char>('0' + n % 10);
      const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND);
      (void)!::write(fd, line, sizeof line - 1);
      ::close(fd);
      ++n;
      if (::poll(&told, 1, 5) > 0) break;
    }
    ::_exit(n);
  }
  ws->Save(Current());
  (void)!::write(stop[1], "s", 1);
  int status = 0;
  ::waitpid(other, &status, 0);
  ::close(stop[0]);
  ::close(stop[1]);
  const int appended = WEXITSTATUS(status);
  std::string theirs;
  for (int n = 0; n < appended; ++n) {
    char line[24];
    std::snprintf(line, sizeof line, "theirs %03d\n", n);
    theirs += line;
  }
  ASSERT_GE(appended, 1);
  EXPECT_EQ(ask.asked, std::vector<std::string>{"\"big.txt\" was changed by another program. Overwrite it and lose "
                                                "the other program's changes?"});
  EXPECT_TRUE(ReadBytes(file) == text + theirs) << "lines of the other program were lost";
  EXPECT_EQ(Tabs(), std::vector<std::string>{"[big.txt]"});
}

// The other program writes again after the user agreed to write over its
// first change: that is asked about too, and No keeps what it wrote.
TEST_F(Workspace, AChangeAfterTheUserAgreedToOverwriteIsAskedAboutAgain) {
  const std::string file = dir.File("a.txt");
  WriteBytes(file, "old\r\n");
  Start(file);
  Current().KeyPress('x');
  WriteBytes(file, "old\r\ntheirs 1\n");
  int asked = 0;
  ask.whileAsked = [&] {
    if (++asked > 1) return TAnswer::No;
    std::FILE* f = std::fopen(file.c_str(), "a");
    std::fputs("theirs 2\n", f);
    std::fclose(f);
    return TAnswer::Yes;
  };
  EXPECT_FALSE(ws->SaveDocument(Current()));
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(ReadBytes(file), "old\r\ntheirs 1\ntheirs 2\n");
  EXPECT_TRUE(Current().FileModified);

  // Yes to both: the document's text is written.
  asked = 0;
  ask.whileAsked = [&] { return ++asked == 1 ? TAnswer::Yes : TAnswer::No; };
  EXPECT_TRUE(ws->SaveDocument(Current()));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(ReadBytes(file), "xold\r\n");
}

// A session that names a file more than once opens it once; the files that
// cannot be opened are told in one message once the others are open.
TEST_F(Workspace, ASessionOpensEachFileOnceAndTellsWhatFailedInOneMessage) {
  const std::string a = dir.File("a.txt"), b = dir.File("b.txt");
  const std::string big1 = dir.File("big1.txt"), big2 = dir.File("big2.txt");
  WriteBytes(a, "a");
  WriteBytes(b, "b");
  for (const std::string& big : {big1, big2}) {  // too large to hold: refused unread
    WriteBytes(big, "");
    std::filesystem::resize_file(big, kMaxFileSize);
  }
  std::filesystem::create_directories(State());
  TRecentFiles(State() + "/recent-files").SetSession({b, big1, a, b, big2, dir.Path() + "/./a.txt", b}, 2);
  Start("", true);
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"b.txt", "a.txt"}));
  EXPECT_EQ(ws->Manager().CurrentIndex(), 1);
  ASSERT_EQ(ask.errors.size(), 1u);
  EXPECT_NE(ask.errors[0].find(big1), std::string::npos) << ask.errors[0];
  EXPECT_NE(ask.errors[0].find(big2), std::string::npos) << ask.errors[0];
}

// A save in place (the file has a second link) whose write fails part-way:
// the file gets its old content back, with a new time of change. That is
// this program's doing, not another's: nothing offers to reload the file
// over the typed text, and the next save writes it without a question.
TEST_F(Workspace, AFailedSaveInPlaceDoesNotCountAsAChangeByAnotherProgram) {
  const std::string file = dir.File("a.txt"), link = dir.File("link.txt");
  WriteBytes(file, "old\r\n");
  ASSERT_EQ(::link(file.c_str(), link.c_str()), 0);
  // A time of change long past: putting the content back cannot keep it.
  const timespec past[2] = {{946684800, 0}, {946684800, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), past, 0), 0);
  Start(file);
  TSourceEditor& doc = Current();
  doc.InsertText(std::string(256 * 1024, 'x'));
  bool saved = false;
  {
    // Files may grow to 64 KiB only: the save's writes fail with EFBIG past that.
    struct SmallFiles {
      SmallFiles() {
        ::getrlimit(RLIMIT_FSIZE, &was);
        rlimit small = was;
        small.rlim_cur = 64 * 1024;
        handler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &small);
      }
      ~SmallFiles() {
        ::setrlimit(RLIMIT_FSIZE, &was);
        std::signal(SIGXFSZ, handler);
      }
      rlimit was{};
      void (*handler)(int) = nullptr;
    } smallFiles;
    ws->Guarded([&] {
      ws->Save(doc);
      saved = true;
    });
  }
  ASSERT_FALSE(saved);
  ASSERT_EQ(ask.errors.size(), 1u) << "the failure is told";
  EXPECT_EQ(ReadBytes(link), "old\r\n") << "the old content is back";
  EXPECT_NE(FileStampOf(file).ModifiedSeconds, past[1].tv_sec);
  EXPECT_TRUE(doc.FileModified);

  ask.yesNo = TAnswer::Yes;  // what Enter answered when Yes was the default
  ws->CheckDiskChanges();
  EXPECT_TRUE(ask.asked.empty()) << ask.asked[0];
  EXPECT_TRUE(doc.FileModified) << "the typed text stays";
  EXPECT_EQ(doc.Lines->Get(0).size(), 256u * 1024 + 3);

  // With room on the disk again, the save writes through both links, unasked.
  ws->Save(doc);
  EXPECT_TRUE(ask.asked.empty()) << ask.asked[0];
  EXPECT_FALSE(doc.FileModified);
  EXPECT_EQ(ReadBytes(link).size(), 256u * 1024 + 5);

  // A change by another program is noticed as before.
  doc.KeyPress('y');
  WriteBytes(file, "theirs\r\n");
  ask.yesNo = TAnswer::No;
  ws->CheckDiskChanges();
  EXPECT_EQ(ask.asked, std::vector<std::string>{kReload});
}

TEST_F(Workspace, DocumentsLeftByAProgramThatDiedAreOfferedOnce) {
  WriteBytes(dir.File("a.php"), "<?php\r\n?>\r\n");
  auto leaveUnsaved = [&] {
    Start(dir.File("a.php"));
    Current().KeyPress('A');
    ws->NewDocument(dir.Path() + "/");
    Current().InsertText("new\r\ntext");
    ws->EndSession();  // as on a logout: the changes stay in the journals
    EXPECT_TRUE(ws->CloseQuery()) << "no question once the session ends";
    ws.reset();
  };

  leaveUnsaved();
  Start();
  ws->OfferRecovery();
  EXPECT_EQ(ask.asked, std::vector<std::string>{"Recover unsaved changes of 2 documents?"});
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"Notes.txt", "[a.php]", "[Notes.txt]"}));
  EXPECT_EQ(ws->Manager().CurrentIndex(), 2);
  EXPECT_EQ(LinesOf(*ws->Manager().Editor(1).Lines), (std::vector<std::string>{"A<?php", "?>"}));
  EXPECT_NE(ws->Manager().Editor(1).Highlighter, nullptr);
  EXPECT_EQ(LinesOf(*Current().Lines), (std::vector<std::string>{"new", "text"}));
  EXPECT_EQ(Current().FileName, dir.File("Notes.txt"));
  ws->OfferRecovery();
  EXPECT_EQ(ask.asked.size(), 1u) << "recovered documents are this program's now";
  ws.reset();
  EXPECT_TRUE(HoldsNoJournal(State())) << "a clean end leaves no journal";

  // No: the journals go, nothing opens.
  leaveUnsaved();
  ask.asked.clear();
  ask.yesNo = TAnswer::No;
  Start();
  ws->OfferRecovery();
  EXPECT_EQ(ask.asked, std::vector<std::string>{"Recover unsaved changes of 2 documents?"});
  EXPECT_EQ(Tabs(), std::vector<std::string>{"Notes.txt"});
  EXPECT_TRUE(HoldsNoJournal(State()));
}

// After a crash: a journal that cannot be recovered is told once, naming its
// document; a recovered document whose file changed since is asked about as
// recovered text.
TEST_F(Workspace, AfterACrashDamagedJournalsAreToldOnceAndRecoveredTextIsKept) {
  const std::string file = dir.File("a.txt");
  WriteBytes(file, "saved\r\n");
  Start(file);
  Current().KeyPress('A');
  ws->EndSession();
  ws.reset();
  // Valid checksums, and a snapshot that counts 2^31 - 1 lines but holds one.
  std::string damaged;
  TJournalHeader header;
  header.FileName = dir.File("lost.txt");
  AppendJournalRecord(damaged, TJournalRecordKind::Header, HeaderPayload(header));
  AppendJournalRecord(damaged, TJournalRecordKind::Snapshot, std::string("\xff\xff\xff\xff\x07\x01x", 7));
  WriteBytes(State() + "/0000000000000000.journal", damaged);
  WriteBytes(file, "theirs\r\n");  // changed by another program meanwhile

  Start();
  ws->OfferRecovery();
  ASSERT_EQ(ask.errors.size(), 1u);
  EXPECT_EQ(ask.errors[0], "The unsaved changes of \"" + dir.File("lost.txt") +
                               "\" cannot be recovered. The journal's snapshot is damaged. The journal is kept as \"" +
                               State() + "/0000000000000000.journal.damaged\".");
  ASSERT_EQ(ask.asked, std::vector<std::string>{"Recover unsaved changes of 1 document?"});
  ask.yesNo = TAnswer::No;
  ws->CheckDiskChanges();
  EXPECT_EQ(ask.asked.back(), "(recovered) " + kReload);
  EXPECT_EQ(LinesOf(*Current().Lines), std::vector<std::string>{"Asaved"});
  ws.reset();

  ask.errors.clear();
  ask.asked.clear();
  Start();
  ws->OfferRecovery();
  EXPECT_TRUE(ask.errors.empty()) << "told once";
  EXPECT_TRUE(ask.asked.empty());
}

}  // namespace
