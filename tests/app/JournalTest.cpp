// Recovery journals: every change of a modified document reaches its journal
// and comes back exactly; a torn journal gives back its whole records; a
// journal is private and belongs to the program writing it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <utility>

#include "app/JournalKeeper.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeEditorWindow.h"
#include "tests/support/FakeLinesOwner.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> JournalsIn(const std::string& folder) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) out.push_back(entry.path().string());
  return out;
}

// A document as the edit manager makes it, in a window of its own.
struct Document {
  explicit Document(const std::string& text, const std::string& name = "doc.php") {
    editor.AttachWindow(&window);
    editor.FileName = name;
    editor.Lines->SetTextStr(text);
  }
  ~Document() { editor.AttachWindow(nullptr); }
  std::vector<std::string> Text() const { return LinesOf(*editor.Lines); }
  void TypeAt(int line, int column, const std::string& chars) {
    editor.MoveCaret(column, line);
    for (char c : chars) editor.KeyPress(c);
  }
  FakeEditorWindow window;
  TSourceEditor editor;
};

// What a start after a crash would recover from the single journal there.
std::vector<std::string> Recovered(const std::string& file) {
  Document fresh("");
  RestoreDocument(ParseJournal(TTextBuffer(ReadBytes(file))), fresh.editor);
  return fresh.Text();
}

std::string Lines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + " of the document\r\n";
  return text;
}

TEST(Journal, EveryChangeComesBackExactlyAlsoAfterCompacting) {
  TempDir dir;
  // Small bounds, so that compacting happens many times over and changes
  // far apart share records.
  TJournalLimits limits;
  limits.CompactBytes = 2048;
  limits.CompactRecords = 25;
  limits.NotedStretches = 2;
  const std::string folder = dir.File("journals");
  Document doc(Lines(300));
  TJournalKeeper keeper(folder, limits);
  keeper.Track(doc.editor);

  std::mt19937 random(20240611);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, std::max(n, 1) - 1)(random); };
  auto recoversNow = [&](int step) {
    keeper.Flush();
    keeper.WaitUntilWritten();
    const auto files = JournalsIn(folder);
    ASSERT_EQ(files.size(), 1u);
    ASSERT_EQ(Recovered(files[0]), doc.Text()) << "after step " << step;
    // Bounded: the changes never grow much past the snapshot they follow.
    const std::size_t snapshot = ParseJournal(TTextBuffer(ReadBytes(files[0]))).Snapshot.size();
    EXPECT_LE(fs::file_size(files[0]), 2 * snapshot + limits.CompactBytes + 2048) << "after step " << step;
  };
  for (int step = 0; step < 1500; ++step) {
    const int line = pick(doc.editor.Lines->Count());
    doc.editor.MoveCaret(pick(doc.editor.Lines->LineLength(line) + 1), line);
    switch (pick(9)) {
      case 0:
        doc.editor.ExecuteCommand(cmdLineBreak);
        break;
      case 1:
        doc.editor.ExecuteCommand(cmdDeleteLine);
        break;
      case 2:
        doc.editor.InsertText("pasted\r\n\r\nthree\r\nlines");
        break;
      case 3:  // a selection over several lines, deleted
        for (int i = pick(5); i >= 0; --i) doc.editor.ExecuteCommand(cmdSelectDown);
        doc.editor.DeleteSelection();
        break;
      case 4:
        doc.editor.ExecuteCommand(cmdUndo);
        break;
      case 5:  // far away at once: two stretches in one flush
        doc.TypeAt(pick(doc.editor.Lines->Count()), 0, "far");
        break;
      default:
        doc.editor.KeyPress(static_cast<char>('a' + pick(26)));
        break;
    }
    doc.editor.FileModified = true;
    if (step == 1400 || step == 1401) {
      // A line put as it is keeps TAB and CR, unlike typed text: once in a
      // change, once (after a save starts a new journal) in the snapshot.
      if (step == 1401) doc.editor.SaveAs(dir.File("saved.php"));
      doc.editor.Lines->Put(line, "raw\ttab\rcr");
      doc.editor.FileModified = true;
      recoversNow(step);
    }
    if (step % 3 == 0) keeper.Flush();
    if (step % 50 == 49) recoversNow(step);
  }
}

// A UTF-8 document's journal keeps its bytes and its encoding, with the
// byte-order mark its file began with: the recovered document saves the
// bytes the running one would have saved.
TEST(Journal, AUtf8DocumentIsRecoveredWithItsCharacters) {
  TempDir dir;
  Document doc("");
  WriteBytes(dir.File("name.php"), "\xEF\xBB\xBFSk\xC5\x82odowska\r\n\xC3\xA9t\xC3\xA9\r\n");
  doc.editor.LoadFile(dir.File("name.php"));
  ASSERT_TRUE(doc.editor.Utf8());
  TJournalKeeper keeper(dir.File("journals"));
  keeper.Track(doc.editor);
  auto type = [&](const std::string& chars) {
    doc.editor.InsertText(chars);
    doc.editor.FileModified = true;
    keeper.Flush();
    keeper.WaitUntilWritten();
  };
  auto recoveredBytes = [&] {
    const auto files = JournalsIn(dir.File("journals"));
    EXPECT_EQ(files.size(), 1u);
    Document fresh("");
    RestoreDocument(ParseJournal(TTextBuffer(ReadBytes(files.at(0)))), fresh.editor);
    fresh.editor.SaveAs(dir.File("recovered.php"));
    return ReadBytes(dir.File("recovered.php"));
  };
  doc.editor.MoveCaret(0, 1);
  type("\u0416");        // the journal begins
  type("\u03C8\u0119");  // more after it began
  doc.editor.SaveAs(dir.File("saved.php"));
  EXPECT_EQ(recoveredBytes(), ReadBytes(dir.File("saved.php")));
  EXPECT_EQ(ReadBytes(dir.File("saved.php")),
            "\xEF\xBB\xBFSk\xC5\x82odowska\r\n\xD0\x96\xCF\x88\xC4\x99\xC3\xA9t\xC3\xA9\r\n");
}

// A journal of the layout earlier versions wrote for a UTF-8 document:
// lines in byte cells, and a cells record giving each cell's character.
struct TOldJournal {
  std::string bytes;
  explicit TOldJournal(const std::string& fileName) {
    TJournalHeader header;
    header.FileName = fileName;
    AppendJournalRecord(bytes, TJournalRecordKind::Header, HeaderPayload(header));
  }
  // A snapshot of one-byte-counted lines.
  void Snapshot(const std::vector<std::string>& lines) {
    std::string payload(1, static_cast<char>(lines.size()));
    for (const std::string& line : lines) payload += static_cast<char>(line.size()) + line;
    AppendJournalRecord(bytes, TJournalRecordKind::Snapshot, payload);
  }
  // Flags 1 (UTF-8) and 2 (byte-order mark); cells 0x80.. with their characters.
  void Cells(int flags, const std::vector<std::pair<int, char32_t>>& cells) {
    std::string payload(1 + 4 * 128, '\0');
    payload[0] = static_cast<char>(flags);
    for (const auto& [cell, ch] : cells)
      for (int k = 0; k < 4; ++k)
        payload[static_cast<std::size_t>(1 + 4 * (cell - 0x80) + k)] = static_cast<char>((ch + 1) >> (8 * k) & 0xFF);
    AppendJournalRecord(bytes, TJournalRecordKind::Cells, payload);
  }
  void Change(int first, int removed, const std::vector<std::string>& lines) {
    std::string payload{static_cast<char>(first), static_cast<char>(removed), static_cast<char>(lines.size())};
    for (const std::string& line : lines) payload += static_cast<char>(line.size()) + line;
    AppendJournalRecord(bytes, TJournalRecordKind::Change, payload);
  }
};

// Such a journal, left by the program before an update, is recovered with
// its cells as the UTF-8 characters they stood for: on a snapshot, on the
// file's bytes (with its byte-order mark), through a change and the bytes as
// read of a document keeping its format. A table that is no table is damage.
TEST(Journal, AJournalKeptInCellsIsRecoveredAsUtf8) {
  TempDir dir;
  const std::vector<std::pair<int, char32_t>> table = {
      {0xC0, U'Ł'}, {0xF3, U'ó'}, {0xC1, U'ź'}, {0x81, U'中'}, {0xC2, U'😀'}};
  auto recover = [&](const std::string& journal, bool keep) {
    TJournalContent content = ParseJournal(TTextBuffer(journal));
    if (content.Base) FindBase(content, dir.Path());
    Document fresh("");
    fresh.editor.SetKeepFileFormat(keep);
    RestoreDocument(content, fresh.editor);
    EXPECT_TRUE(fresh.editor.Utf8());
    fresh.editor.SaveAs(dir.File("recovered.txt"));
    return ReadBytes(dir.File("recovered.txt"));
  };

  TOldJournal snapshot(dir.File("a.txt"));
  snapshot.Snapshot(
      {"\xC0\xF3"
       "d\xC1 \x81",
       "ascii"});
  snapshot.Cells(1, table);
  snapshot.Change(1, 1, {"\xC2 x\xC0"});
  // Keeping its format: line 0 was read with a TAB ("Łó<TAB>" as cells).
  std::string format = {3, static_cast<char>(TLineEnd::Lf), 4, 0, 2, 1, 0, 4, 3};
  format += "\xC0\xF3\t";
  AppendJournalRecord(snapshot.bytes, TJournalRecordKind::Format, format);
  EXPECT_EQ(recover(snapshot.bytes, false), "Łódź 中\r\n😀 xŁ\r\n");
  EXPECT_EQ(recover(snapshot.bytes, true), "Łó\t\n😀 xŁ\n");

  const std::string file =
      "\xEF\xBB\xBF"
      "Łódź 中\r\nsecond\r\n";
  WriteBytes(dir.File("b.txt"), file);
  TOldJournal based(dir.File("b.txt"));
  TJournalBase base;
  base.Source = dir.File("b.txt");
  base.Size = file.size();
  base.Checksum = JournalChecksum(0, file);
  AppendJournalRecord(based.bytes, TJournalRecordKind::Base, BasePayload(base));
  based.Cells(3, table);
  based.Change(1, 1, {"\x81\x81"});
  EXPECT_EQ(recover(based.bytes, false),
            "\xEF\xBB\xBF"
            "Łódź 中\r\n中中\r\n");

  TOldJournal damaged(dir.File("c.txt"));
  damaged.Snapshot({"x"});
  damaged.bytes +=
      JournalFrame(TJournalRecordKind::Cells, std::string(1 + 4 * 128, '\1')) + std::string(1 + 4 * 128, '\1');
  EXPECT_THROW(ParseJournal(TTextBuffer(damaged.bytes)), EJournalError);
}

// A document that keeps its file's format is recovered with it: through
// changes, undo and compacting, the recovered document saves the bytes the
// running one would save.
TEST(Journal, ADocumentKeepingItsFileFormatIsRecoveredWithIt) {
  TempDir dir;
  std::string bytes;
  for (int i = 0; i < 200; ++i)
    bytes += std::string(i % 3 ? "\tline " : "\tline\t") + std::to_string(i) + (i % 7 ? "\n" : "\r\n");
  WriteBytes(dir.File("tabs.php"), bytes + "\tlast");
  TJournalLimits limits;
  limits.CompactBytes = 4096;
  limits.CompactRecords = 25;
  Document doc("");
  doc.editor.SetKeepFileFormat(true);
  doc.editor.LoadFile(dir.File("tabs.php"));
  TJournalKeeper keeper(dir.File("journals"), limits);
  keeper.Track(doc.editor);
  std::mt19937 random(26);
  for (int step = 0; step < 400; ++step) {
    doc.editor.MoveCaret(static_cast<int>(random() % 6), static_cast<int>(random() % doc.editor.Lines->Count()));
    switch (random() % 9) {
      case 0:
        doc.editor.KeyPress('x');
        break;
      case 1:
        doc.editor.ExecuteCommand(cmdLineBreak);
        break;
      case 2:
        doc.editor.ExecuteCommand(cmdDeleteLine);
        break;
      case 3:  // Delete joining lines
        doc.editor.ExecuteCommand(cmdLineEnd);
        doc.editor.ExecuteCommand(cmdDeleteRight);
        break;
      case 4:  // Backspace joining lines
        doc.editor.ExecuteCommand(cmdLineStart);
        doc.editor.ExecuteCommand(cmdDeleteLeft);
        break;
      case 5:
        doc.window.clipboard.SetText(random() % 2 ? "\tp\r\n\r\nq" : "\r\n");
        doc.editor.ExecuteCommand(cmdPaste);
        break;
      case 6:
        doc.editor.ExecuteCommand(cmdSelectDown);
        doc.editor.ExecuteCommand(random() % 2 ? cmdIndentSelection : cmdUnindentSelection);
        break;
      default:
        for (int i = 0; i < 3; ++i) doc.editor.ExecuteCommand(cmdUndo);
        break;
    }
    doc.editor.FileModified = true;
    if (step % 3 == 0) keeper.Flush();
    if (step % 50 != 49) continue;
    keeper.Flush();
    keeper.WaitUntilWritten();
    const auto files = JournalsIn(dir.File("journals"));
    ASSERT_EQ(files.size(), 1u);
    Document fresh("");
    fresh.editor.SetKeepFileFormat(true);
    RestoreDocument(ParseJournal(TTextBuffer(ReadBytes(files[0]))), fresh.editor);
    fresh.editor.SaveAs(dir.File("recovered.php"));
    doc.editor.SaveText(dir.File("running.php"));
    ASSERT_EQ(ReadBytes(dir.File("recovered.php")), ReadBytes(dir.File("running.php"))) << "after step " << step;
  }
  EXPECT_GT(doc.editor.Lines->AsReadLines(), 0) << "lines as read were left to recover";
}

TEST(Journal, ATornJournalRecoversEveryWholeRecordBeforeTheTear) {
  TempDir dir;
  Document doc(Lines(40));
  TJournalKeeper keeper(dir.Path());
  keeper.Track(doc.editor);
  doc.TypeAt(5, 0, "first ");
  doc.editor.FileModified = true;
  keeper.Flush();  // the journal begins: header and snapshot
  std::vector<std::vector<std::string>> states{doc.Text()};
  const std::vector<std::pair<int, std::string>> edits = {{10, "second "}, {30, "third "}, {2, "fourth "}};
  for (const auto& [line, text] : edits) {
    doc.TypeAt(line, 3, text);
    keeper.Flush();  // one change record
    states.push_back(doc.Text());
  }
  keeper.WaitUntilWritten();
  const auto files = JournalsIn(dir.Path());
  ASSERT_EQ(files.size(), 1u);
  const std::string bytes = ReadBytes(files[0]);

  // Where the records begin: a frame starts with the payload's length.
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at < bytes.size();) {
    starts.push_back(at);
    std::uint32_t length;
    std::memcpy(&length, bytes.data() + at, 4);
    at += kJournalFrameSize + length;
  }
  ASSERT_EQ(starts.size(), 2 + edits.size());  // header, snapshot, one record an edit
  starts.push_back(bytes.size());

  auto recover = [](const std::string& journal) {
    Document fresh("");
    RestoreText(ParseJournal(TTextBuffer(journal)), *fresh.editor.Lines);
    return fresh.Text();
  };
  // Cut anywhere inside a change record: what came before it, exactly.
  for (std::size_t record = 2; record < starts.size() - 1; ++record) {
    for (std::size_t cut = starts[record]; cut < starts[record + 1]; ++cut)
      ASSERT_EQ(recover(bytes.substr(0, cut)), states[record - 2]) << "cut at " << cut;
  }
  EXPECT_EQ(recover(bytes), states.back());
  // A damaged byte in the middle of a record ends the journal there.
  std::string damaged = bytes;
  damaged[(starts[3] + starts[4]) / 2] ^= 0x20;
  EXPECT_EQ(recover(damaged), states[1]);
  // Without a whole snapshot there is nothing to recover.
  EXPECT_THROW(ParseJournal(TTextBuffer(bytes.substr(0, starts[2] - 1))), EJournalError);
}

TEST(Journal, AJournalIsPrivateAndBelongsToTheProgramWritingIt) {
  TempDir dir;
  const std::string folder = dir.File("state/quorvel");
  auto first = std::make_unique<TJournalKeeper>(folder);
  auto second = std::make_unique<TJournalKeeper>(folder);
  Document mine(Lines(3), dir.File("mine.txt")), other(Lines(4), dir.File("other.txt"));
  first->Track(mine.editor);
  second->Track(other.editor);
  mine.TypeAt(0, 0, "mine ");
  other.TypeAt(1, 0, "other ");
  mine.editor.FileModified = other.editor.FileModified = true;
  first->Flush();
  second->Flush();
  first->WaitUntilWritten();
  second->WaitUntilWritten();

  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  const auto files = JournalsIn(folder);
  ASSERT_EQ(files.size(), 2u);
  for (const std::string& file : files) {
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << file;
  }
  EXPECT_TRUE(FindOrphanJournals(folder).empty()) << "both programs run: nobody may take their journals";

  // The first program ends as on a logout: its journal stays, free for the next start.
  first->Keep();
  first.reset();
  std::vector<TOrphanJournal> orphans = FindOrphanJournals(folder);
  ASSERT_EQ(orphans.size(), 1u);
  EXPECT_EQ(orphans[0].Content.Header.FileName, dir.File("mine.txt"));
  EXPECT_TRUE(FindOrphanJournals(folder).empty()) << "a journal being recovered is locked too";

  // Recovered into a new program: the document has its text, modified, and
  // its new journal takes the old one's place.
  auto third = std::make_unique<TJournalKeeper>(folder);
  Document back("");
  RestoreDocument(orphans[0].Content, back.editor);
  EXPECT_EQ(back.Text(), mine.Text());
  EXPECT_TRUE(back.editor.FileModified);
  EXPECT_EQ(back.editor.FileName, dir.File("mine.txt"));
  third->Adopt(back.editor, std::move(orphans[0].File));
  third->Flush();
  third->WaitUntilWritten();
  EXPECT_EQ(JournalsIn(folder).size(), 2u);
  EXPECT_TRUE(FindOrphanJournals(folder).empty());

  // Saved: its journal goes. The other program closes its document without
  // saving and ends: nothing is left.
  back.editor.SaveAs(dir.File("saved.txt"));
  third->Flush();
  third->WaitUntilWritten();
  second->Forget(other.editor);
  second.reset();
  third.reset();
  EXPECT_TRUE(JournalsIn(folder).empty());
}

TEST(Journal, TheFolderFollowsXdgStateHome) {
  const char* oldState = std::getenv("XDG_STATE_HOME");
  const std::string saved = oldState ? oldState : "";
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  const struct {
    const char* state;
    std::string folder;
  } table[] = {
      {"/xdg/state", "/xdg/state/quorvel"},
      {"relative/state", home + "/.local/state/quorvel"},  // not absolute: ignored
      {nullptr, home + "/.local/state/quorvel"},
  };
  for (const auto& row : table) {
    if (row.state)
      ::setenv("XDG_STATE_HOME", row.state, 1);
    else
      ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(JournalFolder(), row.folder) << (row.state ? row.state : "(unset)");
  }
  if (oldState)
    ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_STATE_HOME");
}

// A journal built of records with valid checksums, as a damaged program or
// disk could leave one.
std::string CraftedJournal(const std::string& fileName, const std::string& snapshot, const std::string& cells = "") {
  std::string out;
  TJournalHeader header;
  header.FileName = fileName;
  AppendJournalRecord(out, TJournalRecordKind::Header, HeaderPayload(header));
  AppendJournalRecord(out, TJournalRecordKind::Snapshot, snapshot);
  if (!cells.empty()) AppendJournalRecord(out, TJournalRecordKind::Cells, cells);
  return out;
}

// Journals that cannot be recovered are set aside once, each named with its
// document, and not read whole when they are junk.
TEST(Journal, AJournalThatCannotBeRecoveredIsSetAsideOnce) {
  TempDir dir;
  const std::string folder = dir.Path();
  // A snapshot that counts 2^31 - 1 lines and holds one.
  WriteBytes(dir.File("lines.journal"), CraftedJournal("/docs/a.txt", std::string("\xff\xff\xff\xff\x07\x01x", 7)));
  // A table of characters that is no table.
  WriteBytes(dir.File("cells.journal"), CraftedJournal("/docs/b.txt", std::string("\x01\x01x", 3), "junk"));
  // A gigabyte of junk (sparse: it takes no room).
  {
    const int fd = ::open(dir.File("junk.journal").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_EQ(::ftruncate(fd, off_t{1} << 30), 0);
    ::close(fd);
  }
  // One that holds a document.
  WriteBytes(dir.File("good.journal"), CraftedJournal("/docs/c.txt", std::string("\x01\x04good", 6)));
  // Records whose checksums hold and whose numbers do not fit what is there
  // (or would overflow a line number): damage, found before any sum is made.
  auto numbers = [](std::initializer_list<std::uint64_t> values) {
    std::string out;
    char bytes[10];
    for (std::uint64_t v : values) out.append(bytes, PutJournalVarint(bytes, v));
    return out;
  };
  const std::uint64_t kMost = INT32_MAX;
  const struct {
    const char* name;
    TJournalRecordKind kind;
    std::string payload;
  } records[] = {
      // flags, line end, tab width, first line, count, kept, then line offset and how it ended
      {"format-first", TJournalRecordKind::Format, numbers({0, 1, 4, kMost, 1, 1, 0, 1})},
      {"format-count", TJournalRecordKind::Format, numbers({0, 1, 4, 1, kMost, 1, 0, 1})},
      {"format-offset", TJournalRecordKind::Format, numbers({0, 1, 4, 0, 1, 1, kMost, 1})},
      {"format-tab", TJournalRecordKind::Format, numbers({0, 1, kMost, 0, 0, 0})},
      // first line, lines removed, lines given (more than the record holds)
      {"change-lines", TJournalRecordKind::Change, numbers({0, 1, kMost})},
  };
  for (const auto& record : records) {
    std::string bytes = CraftedJournal(std::string("/docs/") + record.name, std::string("\x01\x01x", 3));
    AppendJournalRecord(bytes, record.kind, record.payload);
    WriteBytes(dir.File(std::string(record.name) + ".journal"), bytes);
  }

  const std::string found = InChild([&] {
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    std::vector<TDamagedJournal> damaged;
    std::vector<TOrphanJournal> orphans = FindOrphanJournals(folder, &damaged);
    ::getrusage(RUSAGE_SELF, &after);
    std::sort(damaged.begin(), damaged.end(),
              [](const TDamagedJournal& a, const TDamagedJournal& b) { return a.Kept < b.Kept; });
    std::string out =
        "memory grew by at most 64 MiB: " + std::string(after.ru_maxrss - before.ru_maxrss <= 64 << 10 ? "yes" : "no") +
        "\n";
    for (const TOrphanJournal& orphan : orphans) out += "offered " + orphan.Content.Header.FileName + "\n";
    for (const TDamagedJournal& journal : damaged)
      out += "set aside " + journal.FileName + " as " + journal.Kept.substr(folder.size() + 1) + "\n";
    return out;
  });
  EXPECT_EQ(found,
            "memory grew by at most 64 MiB: yes\n"
            "offered /docs/c.txt\n"
            "set aside /docs/b.txt as cells.journal.damaged\n"
            "set aside /docs/change-lines as change-lines.journal.damaged\n"
            "set aside /docs/format-count as format-count.journal.damaged\n"
            "set aside /docs/format-first as format-first.journal.damaged\n"
            "set aside /docs/format-offset as format-offset.journal.damaged\n"
            "set aside /docs/format-tab as format-tab.journal.damaged\n"
            "set aside  as junk.journal.damaged\n"
            "set aside /docs/a.txt as lines.journal.damaged\n");
  std::vector<TDamagedJournal> again;
  EXPECT_EQ(FindOrphanJournals(folder, &again).size(), 1u);
  EXPECT_TRUE(again.empty()) << "set aside once, never offered again";
  EXPECT_EQ(JournalsIn(folder).size(), 9u);
}

// A clean end removes the half-made journals of compactions that were
// killed, but not those of a writer still at work.
TEST(Journal, ACleanEndRemovesWhatKilledCompactionsLeft) {
  TempDir dir;
  const std::string stale = dir.File(std::string(kJournalTempPrefix) + "0123456789abcdef"),
                    busy = dir.File(std::string(kJournalTempPrefix) + "busy");
  WriteBytes(stale, "half a journal");
  WriteBytes(busy, "being written");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    ::flock(::open(busy.c_str(), O_RDONLY), LOCK_EX);
    (void)!::write(ready[1], "l", 1);
    ::pause();
    ::_exit(0);
  }
  char locked = 0;
  ASSERT_EQ(::read(ready[0], &locked, 1), 1);
  std::make_unique<TJournalKeeper>(dir.Path()).reset();
  EXPECT_EQ(JournalsIn(dir.Path()), std::vector<std::string>{busy});
  ::kill(writer, SIGKILL);
  ::waitpid(writer, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
}

// The journals in a folder, without the copies of their bases.
std::vector<std::string> JournalFilesIn(const std::string& folder) {
  std::vector<std::string> out;
  for (const std::string& file : JournalsIn(folder))
    if (file.size() > kJournalSuffix.size() && file.substr(file.size() - kJournalSuffix.size()) == kJournalSuffix)
      out.push_back(file);
  return out;
}

// After a save by rename, the folder holding the file is flushed before the
// document's journal goes: else a power cut could bring the old file back
// with the journal already gone. Seen in a process of its own under strace:
// the rename of the temporary onto the file, a flush of that folder, then
// the journal's removal.
TEST(Journal, ASaveIsOnTheDiskBeforeTheJournalGoes) {
  if (const char* traced = std::getenv("QUORVEL_TRACED_SAVE")) {
    // The traced process: a document typed into, journaled, saved.
    const std::string folder = traced;
    Document doc("");
    doc.editor.LoadFile(folder + "/saved.txt");
    TJournalKeeper keeper(folder + "/journals");
    keeper.Track(doc.editor);
    doc.TypeAt(0, 0, "new ");
    doc.editor.FileModified = true;
    keeper.Flush();
    keeper.WaitUntilWritten();
    ASSERT_EQ(JournalFilesIn(folder + "/journals").size(), 1u);
    doc.editor.Save();
    ASSERT_FALSE(doc.editor.FileModified);
    keeper.Flush();
    keeper.WaitUntilWritten();
    ASSERT_TRUE(JournalFilesIn(folder + "/journals").empty());
    return;
  }
  if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace cannot trace here";
  TempDir dir;
  WriteBytes(dir.File("saved.txt"), "old\r\n");
  const std::string self = fs::read_symlink("/proc/self/exe").string(), log = dir.File("trace");
  const std::string command = "QUORVEL_TRACED_SAVE='" + dir.Path() +
                              "' ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o '" + log + "' -e trace=%file,fsync '" +
                              self + "' --gtest_filter=Journal.ASaveIsOnTheDiskBeforeTheJournalGoes >'" +
                              dir.File("out") + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadBytes(dir.File("out"));
  ASSERT_EQ(ReadBytes(dir.File("saved.txt")), "new old\r\n");
  // Each call as "<pid>  name(arguments)   = result".
  std::map<std::string, std::string> opened;  // descriptor -> what it was opened on
  enum { kRenamed, kFlushed, kRemoved };
  std::vector<int> order;
  std::istringstream lines(ReadBytes(log));
  std::map<std::string, std::string> unfinished;  // pid -> the start of a call another thread's cut in two
  for (std::string line; std::getline(lines, line);) {
    const std::string pid = line.substr(0, line.find(' '));
    if (const std::size_t cut = line.find(" <unfinished ...>"); cut != std::string::npos) {
      unfinished[pid] = line.substr(0, cut);
      continue;
    }
    if (const std::size_t resumed = line.find(" resumed>"); resumed != std::string::npos)
      line = unfinished[pid] + line.substr(resumed + 9);
    const std::size_t open = line.find('('), close = line.rfind(')');
    const std::size_t equals = close == std::string::npos ? close : line.find("= ", close);
    if (open == std::string::npos || equals == std::string::npos || close < open) continue;
    const std::size_t start = line.find_first_not_of(' ', pid.size());
    const std::string name = line.substr(start, open - start), args = line.substr(open + 1, close - open - 1);
    const std::string result = line.substr(equals + 2, line.find(' ', equals + 2) - equals - 2);
    if (name == "openat" && args.find("O_DIRECTORY") != std::string::npos) opened[result] = args;
    if (name.starts_with("rename") && result == "0" && args.find("\"saved.txt\"") != std::string::npos)
      order.push_back(kRenamed);
    // A flush of the document's folder: opened by its name, or as "." of it.
    if (name == "fsync" && result == "0" && !order.empty() && order.back() == kRenamed) {
      const std::string& on = opened[args];
      if (on.find("\"" + dir.Path() + "\"") != std::string::npos || on.find("\".\"") != std::string::npos)
        order.push_back(kFlushed);
    }
    if (name.starts_with("unlink") && result == "0" && args.find(kJournalSuffix) != std::string::npos)
      order.push_back(kRemoved);
  }
  EXPECT_EQ(order, (std::vector<int>{kRenamed, kFlushed, kRemoved}));
}

// A file of tabbed lines with mixed line ends and UTF-8 characters.
std::string TabbedUtf8File(int lines) {
  std::string bytes = "\xEF\xBB\xBF";
  for (int i = 0; i < lines; ++i)
    bytes += std::string(i % 5 ? "\tline " : "line\t\xC3\xA9 ") + std::to_string(i) + (i % 7 ? "\n" : "\r\n");
  return bytes;
}

// A document the keeper saw read from its file: its journal holds no
// snapshot but the changes on the file's bytes, kept as a copy. Through
// edits, saves (which keep the base) and a new read (a new base), every
// journal recovers the running document's text, characters and format;
// after a save, what is written is as large as the changes, not the text.
TEST(Journal, ADocumentReadFromItsFileIsJournaledOnTheFilesBytes) {
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "keeping the file's format" : "plain");
    TempDir dir;
    const std::string bytes = TabbedUtf8File(20000), file = dir.File("doc.php"), folder = dir.File("journals");
    WriteBytes(file, bytes);
    Document doc("");
    doc.editor.SetKeepFileFormat(keep);
    doc.editor.TabWidth = 3;
    auto keeper = std::make_unique<TJournalKeeper>(folder);
    keeper->Track(doc.editor);
    doc.editor.LoadFile(file);
    std::string copy;  // the base's copy, the same until the file is read again
    auto recoversNow = [&](int step) {
      keeper->Flush();
      keeper->WaitUntilWritten();
      const auto files = JournalFilesIn(folder);
      ASSERT_EQ(files.size(), 1u) << "after step " << step;
      TJournalContent content = ParseJournal(TTextBuffer(ReadBytes(files[0])));
      ASSERT_TRUE(content.Base) << "after step " << step;
      EXPECT_LT(fs::file_size(files[0]), bytes.size() / 4) << "after step " << step;
      if (copy.empty()) copy = content.Base->Copy;
      EXPECT_EQ(content.Base->Copy, copy) << "after step " << step;
      FindBase(content, folder);
      EXPECT_EQ(content.BaseFile, folder + "/" + copy);
      Document fresh("");
      fresh.editor.SetKeepFileFormat(keep);
      RestoreDocument(content, fresh.editor);
      EXPECT_EQ(fresh.editor.TabWidth, 4) << "the document's own TAB width stays";
      fresh.editor.SaveAs(dir.File("recovered.php"));
      doc.editor.SaveText(dir.File("running.php"));
      ASSERT_EQ(ReadBytes(dir.File("recovered.php")), ReadBytes(dir.File("running.php"))) << "after step " << step;
    };
    std::mt19937 random(keep ? 7 : 8);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, std::max(n, 1) - 1)(random); };
    for (int step = 0; step < 240; ++step) {
      const int line = pick(doc.editor.Lines->Count());
      doc.editor.MoveCaret(pick(doc.editor.Lines->LineLength(line) + 1), line);
      switch (pick(6)) {
        case 0:
          doc.editor.ExecuteCommand(cmdLineBreak);
          break;
        case 1:
          doc.editor.ExecuteCommand(cmdDeleteLine);
          break;
        case 2:
          doc.editor.ExecuteCommand(cmdUndo);
          break;
        case 3:  // a character the file did not have
          doc.editor.InsertText(std::string("\u0416\u03C8\u0119").substr(2 * static_cast<std::size_t>(pick(3)), 2));
          break;
        default:
          doc.editor.KeyPress(static_cast<char>('a' + pick(26)));
          break;
      }
      doc.editor.FileModified = true;
      if (step % 3 == 0) keeper->Flush();
      if (step % 30 == 29) recoversNow(step);
      if (step == 90 || step == 150) {
        doc.editor.Save();
        keeper->Flush();
        keeper->WaitUntilWritten();
        EXPECT_TRUE(JournalFilesIn(folder).empty()) << "saved: the journal goes";
        const std::uint64_t before = keeper->BytesWritten();
        doc.TypeAt(7, 0, "after the save ");
        doc.editor.FileModified = true;
        recoversNow(step);
        EXPECT_LT(keeper->BytesWritten() - before, bytes.size() / 4);
      }
      if (step == 200) {  // changed by another program and read again: a new base
        doc.editor.SaveText(file);
        doc.editor.LoadFile(file);
        copy.clear();
      }
    }
    keeper.reset();
    EXPECT_TRUE(JournalsIn(folder).empty()) << "a clean end leaves neither journal nor copy";
  }
}

// A program killed while it makes the copy of a document's base, or after:
// its journal stands on the file while the copy is not whole, on the copy
// once it is. Whatever happens to the file or the copy after the crash,
// the text is recovered from whichever still holds the base's bytes, or the
// journal is set aside, once, naming its document.
TEST(Journal, AProgramKilledWhileOrAfterItCopiesTheBaseIsRecovered) {
  enum class TMoment { Copying, Copied };
  enum class TDamage { None, FileReplaced, FileWrittenInPlace, CopyTorn, CopyTornAndFileChanged };
  const struct {
    TMoment moment;
    TDamage damage;
    const char* from;  // "file", "copy", or "" when it cannot be recovered
  } table[] = {
      {TMoment::Copying, TDamage::None, "file"},
      {TMoment::Copying, TDamage::FileReplaced, ""},
      {TMoment::Copied, TDamage::FileWrittenInPlace, "copy"},
      {TMoment::Copied, TDamage::FileReplaced, "copy"},
      {TMoment::Copied, TDamage::CopyTorn, "file"},
      {TMoment::Copied, TDamage::CopyTornAndFileChanged, ""},
  };
  const std::string bytes = TabbedUtf8File(100000);  // about 2 MB: copying and flushing take a while
  for (const auto& row : table) {
    SCOPED_TRACE(std::string(row.moment == TMoment::Copying ? "killed copying" : "killed after copying") + ", damage " +
                 std::to_string(static_cast<int>(row.damage)));
    TempDir dir;
    const std::string file = dir.File("doc.php"), folder = dir.File("journals");
    // The moment the folder shows: the journal stands on the file, no copy has its name yet.
    auto copying = [&] {
      const auto files = JournalsIn(folder);
      return JournalFilesIn(folder).size() == 1 && std::none_of(files.begin(), files.end(), [](const std::string& f) {
               return f.size() > kBaseSuffix.size() && f.substr(f.size() - kBaseSuffix.size()) == kBaseSuffix;
             });
    };
    auto copied = [&] {
      const auto files = JournalFilesIn(folder);
      if (files.size() != 1) return false;
      const int fd = ::open(files[0].c_str(), O_RDONLY);
      const bool on = fd >= 0 && !BaseCopyOf(fd).empty();
      if (fd >= 0) ::close(fd);
      return on;
    };
    bool hit = false;
    for (int attempt = 0; attempt < 20 && !hit; ++attempt) {
      std::error_code ignored;
      fs::remove_all(folder, ignored);
      WriteBytes(file, bytes);
      const pid_t program = ::fork();
      ASSERT_GE(program, 0);
      if (program == 0) {
        Document doc("");
        TJournalKeeper keeper(folder);
        keeper.Track(doc.editor);
        doc.editor.LoadFile(file);
        doc.TypeAt(1, 0, "typed before the crash ");
        doc.editor.FileModified = true;
        keeper.Flush();
        for (;;) ::pause();
      }
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      while (std::chrono::steady_clock::now() < until) {
        if (row.moment == TMoment::Copying ? copying() : copied()) {
          hit = true;
          break;
        }
        if (row.moment == TMoment::Copying && copied()) break;  // too late: again
        ::usleep(100);
      }
      ::kill(program, SIGKILL);
      ::waitpid(program, nullptr, 0);
      // Caught in the act only if the folder still shows it.
      hit = hit && (row.moment == TMoment::Copying ? copying() : copied());
    }
    ASSERT_TRUE(hit) << "the moment was never caught";

    const std::string changed = "another program's text\n";
    std::string copy;
    for (const std::string& f : JournalsIn(folder))
      if (f.size() > kBaseSuffix.size() && f.substr(f.size() - kBaseSuffix.size()) == kBaseSuffix) copy = f;
    switch (row.damage) {
      case TDamage::None:
        break;
      case TDamage::FileReplaced:
        ASSERT_EQ(::unlink(file.c_str()), 0);
        WriteBytes(file, changed);
        break;
      case TDamage::FileWrittenInPlace: {
        const int fd = ::open(file.c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, "XY", 2, 100), 2);
        ::close(fd);
        break;
      }
      case TDamage::CopyTornAndFileChanged:
        WriteBytes(file, changed);
        [[fallthrough]];
      case TDamage::CopyTorn:
        ASSERT_FALSE(copy.empty());
        fs::resize_file(copy, fs::file_size(copy) / 2);
        break;
    }

    std::vector<TDamagedJournal> damaged;
    std::vector<TOrphanJournal> orphans = FindOrphanJournals(folder, &damaged);
    if (*row.from == '\0') {
      EXPECT_TRUE(orphans.empty());
      ASSERT_EQ(damaged.size(), 1u);
      EXPECT_EQ(damaged[0].FileName, file);
      EXPECT_NE(damaged[0].Reason.find("is lost"), std::string::npos) << damaged[0].Reason;
      EXPECT_TRUE(FindOrphanJournals(folder).empty()) << "set aside once";
      continue;
    }
    ASSERT_EQ(orphans.size(), 1u);
    EXPECT_TRUE(damaged.empty());
    EXPECT_EQ(orphans[0].Content.BaseFile, std::string(row.from) == "file" ? file : copy);
    // What the program had: the file as it read it, and the text typed.
    WriteBytes(dir.File("original.php"), bytes);
    Document expected("");
    expected.editor.LoadFile(dir.File("original.php"));
    expected.TypeAt(1, 0, "typed before the crash ");
    Document back("");
    RestoreDocument(orphans[0].Content, back.editor);
    EXPECT_EQ(back.Text(), expected.Text());
    EXPECT_EQ(back.editor.FileName, file);

    // Recovered into a new program: its journal goes on on the same base,
    // with a copy of its own when the old one was not whole.
    {
      TJournalKeeper keeper(folder);
      keeper.Track(back.editor);
      keeper.Adopt(back.editor, std::move(orphans[0]));
      back.TypeAt(2, 0, "and after ");
      keeper.Flush();
      keeper.WaitUntilWritten();
      const auto files = JournalFilesIn(folder);
      ASSERT_EQ(files.size(), 1u);
      TJournalContent content = ParseJournal(TTextBuffer(ReadBytes(files[0])));
      ASSERT_TRUE(content.Base);
      EXPECT_FALSE(content.Base->Copy.empty());
      FindBase(content, folder);
      Document again("");
      RestoreDocument(content, again.editor);
      EXPECT_EQ(again.Text(), back.Text());
    }
    // Nothing of it is left: journal, copies, half-made files.
    EXPECT_TRUE(JournalsIn(folder).empty());
  }
}

// A text too large to copy at once goes into its snapshot a slice at a
// flush, while the journal before it goes on taking the changes: at every
// flush the journal on the disk recovers the running document (its text and
// format), edits falling before, on and after the lines copied so far; a
// session that ends during a snapshot finishes it.
// Whenever a journal is on the disk it recovers the text exactly, also while
// a new snapshot is copied in slices; and a document with none there yet has
// one within a second of its first change, however the changes keep coming.
// (The keeper's clock is the test's: a flush every 100 ms of it.)
TEST(Journal, ASnapshotCopiedInSlicesRecoversEveryChangeMadeMeanwhile) {
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "keeping the file's format" : "plain");
    TempDir dir;
    TJournalLimits limits;
    limits.SliceBytes = 256;
    limits.CompactBytes = 3000;
    limits.CompactRecords = 30;
    limits.NotedStretches = 3;
    auto now = std::chrono::steady_clock::now();
    limits.Clock = [&now] { return now; };
    const std::string folder = dir.File("journals");
    WriteBytes(dir.File("doc.php"), TabbedUtf8File(300));
    Document doc("");
    doc.editor.SetKeepFileFormat(keep);
    doc.editor.LoadFile(dir.File("doc.php"));  // before the keeper hears of it: no base
    auto keeper = std::make_unique<TJournalKeeper>(folder, limits);
    keeper->Track(doc.editor);
    auto recovers = [&](int step) {
      keeper->WaitUntilWritten();
      const auto files = JournalFilesIn(folder);
      ASSERT_EQ(files.size(), 1u) << "after step " << step;
      TJournalContent content = ParseJournal(TTextBuffer(ReadBytes(files[0])));
      EXPECT_FALSE(content.Base);
      Document fresh("");
      fresh.editor.SetKeepFileFormat(keep);
      RestoreDocument(content, fresh.editor);
      ASSERT_EQ(fresh.Text(), doc.Text()) << "after step " << step;
      fresh.editor.SaveAs(dir.File("recovered.php"));
      doc.editor.SaveText(dir.File("running.php"));
      ASSERT_EQ(ReadBytes(dir.File("recovered.php")), ReadBytes(dir.File("running.php"))) << "after step " << step;
    };
    std::mt19937 random(keep ? 31 : 32);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, std::max(n, 1) - 1)(random); };
    int building = 0;
    auto unwritten = now;  // the first change no journal holds, while `pending`
    bool pending = false;
    for (int step = 0; step < 250; ++step, now += std::chrono::milliseconds(100)) {
      const int line = pick(doc.editor.Lines->Count());
      doc.editor.MoveCaret(pick(doc.editor.Lines->LineLength(line) + 1), line);
      switch (pick(7)) {
        case 0:
          doc.editor.ExecuteCommand(cmdLineBreak);
          break;
        case 1:
          doc.editor.ExecuteCommand(cmdDeleteLine);
          break;
        case 2:
          doc.editor.InsertText("pasted\r\n\r\nthree\r\nlines");
          break;
        case 3:
          for (int i = pick(5); i >= 0; --i) doc.editor.ExecuteCommand(cmdSelectDown);
          doc.editor.DeleteSelection();
          break;
        case 4:
          doc.editor.ExecuteCommand(cmdUndo);
          break;
        case 5:
          if (step % 40 == 5) doc.editor.Lines->Put(line, "raw\ttab\rcr");
          break;
        default:
          doc.editor.KeyPress(static_cast<char>('a' + pick(26)));
          break;
      }
      doc.editor.FileModified = true;
      if (!std::exchange(pending, true)) unwritten = now;
      keeper->Flush();
      building += keeper->Building();
      keeper->WaitUntilWritten();
      if (!JournalFilesIn(folder).empty() || !keeper->Building()) {
        recovers(step);
        pending = false;
      } else {
        ASSERT_LT(now - unwritten, std::chrono::seconds(1)) << "no journal a second after a change, step " << step;
      }
    }
    EXPECT_GT(building, 40) << "snapshots were copied in slices";
    // Ended as on a logout in the middle of a snapshot: it is finished first.
    // The new text outgrows the old many times over, so that a snapshot is
    // under way after the flush whether or not one was before it.
    doc.editor.ExecuteCommand(cmdSelectAll);
    doc.editor.InsertText(TabbedUtf8File(2000).substr(3));
    keeper->Flush();
    ASSERT_TRUE(keeper->Building());
    doc.TypeAt(3, 0, "last words ");
    keeper->Keep();
    recovers(-1);
  }
}

}  // namespace
