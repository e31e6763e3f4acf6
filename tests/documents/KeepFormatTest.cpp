// Keeping a file as it was: the lines not edited are written back with
// their TABs, their own line ends and no break after a last line that had
// none; edited lines take the file's line end and TAB indentation.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "highlight/source_editor.h"
#include "tests/support/FakeEditorWindow.h"
#include "tests/support/TempDir.h"

namespace {

// The lines of `bytes`, each with the line end that closes it.
std::vector<std::string> LinesWithEnds(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t brk = bytes.find_first_of("\r\n", pos);
    if (brk == std::string::npos) {
      lines.push_back(bytes.substr(pos));
      break;
    }
    brk += bytes[brk] == '\r' && brk + 1 < bytes.size() && bytes[brk + 1] == '\n' ? 2 : 1;
    lines.push_back(bytes.substr(pos, brk - pos));
    pos = brk;
  }
  return lines;
}

class KeepFormat : public ::testing::Test {
 protected:
  KeepFormat() {
    editor.AttachWindow(&window);
    editor.SetKeepFileFormat(true);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = dir.File(name);
    WriteBytes(path, bytes);
    return path;
  }
  // Types `text` at the start of `line`.
  void TypeAt(int line, const std::string& text) {
    editor.MoveCaret(0, line);
    for (char c : text) editor.KeyPress(c);
  }
  void UndoAll() {
    for (int guard = 0; editor.UndoBuffer->Position >= 0 && guard < 100000; ++guard) editor.Undo();
  }

  TempDir dir;
  FakeEditorWindow window;
  TSourceEditor editor;
};

// A TAB-indented PHP source with LF line ends and no final line break.
const std::string kTabbedLf =
    "<?php\n"
    "function f($a) {\n"
    "\tif ($a) {\n"
    "\t\treturn 1;\t// one\n"
    "\t}\n"
    "    return 0;\n"  // blanks where the file has TABs: kept as read
    "\t * docblock\n"
    "}";

TEST_F(KeepFormat, EditedLinesChangeAloneAndTakeTheFilesFormat) {
  struct Case {
    const char* name;
    std::string bytes;
    int line;            // the line typed into (at its start, after its indentation)
    std::string edited;  // that line as saved
  } cases[] = {
      {"tabbed-lf.php", kTabbedLf, 3, "\t\tXreturn 1;    // one\n"},
      {"tabbed-lf-last.php", kTabbedLf, 7, "X}"},
      // Mostly CR LF with some LF: untouched lines keep each their end, the
      // edited one takes CR LF.
      {"mixed.txt", "a\r\nb\nc\r\nd\ne\r\nf\r\n", 1, "Xb\r\n"},
      {"cr.txt", "a\rb\rc\r", 2, "Xc\r"},
      // UTF-8 with a byte-order mark, TABs and LF.
      {"utf8.txt",
       "\xEF\xBB\xBF\tGr\xC3\xB6\xC3\x9F"
       "e\n\t\xE2\x82\xAC 5\n",
       1, "\tX\xE2\x82\xAC 5\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(c.name, c.bytes);
    editor.LoadFile(path);
    ASSERT_TRUE(editor.FileFormat.Kept);
    editor.Save();
    EXPECT_EQ(ReadBytes(path), c.bytes) << "unedited, the file comes back byte for byte";

    const std::string indent = editor.Lines->Get(c.line).substr(0, editor.Lines->Get(c.line).find_first_not_of(' '));
    editor.MoveCaret(static_cast<int>(indent.size()), c.line);
    editor.KeyPress('X');
    editor.Save();
    std::vector<std::string> before = LinesWithEnds(c.bytes), after = LinesWithEnds(ReadBytes(path));
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
      if (static_cast<int>(i) == c.line) {
        const std::size_t bom = i == 0 && before[0].rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
        EXPECT_EQ(after[i].substr(bom), c.edited);
      } else {
        EXPECT_EQ(after[i], before[i]) << "line " << i;
      }
    }

    UndoAll();
    ASSERT_FALSE(editor.Lines->Get(c.line).find('X') != std::string::npos);
    editor.Save();
    EXPECT_EQ(ReadBytes(path), c.bytes) << "undo back to the text as read brings back its bytes";
  }
}

// Random edits of every kind, then undo of all of them: the file is saved as
// it was read. Undo back to any state the edits passed through saves what
// that state saved.
TEST_F(KeepFormat, AnyEditsTakenBackGiveTheBytesAsRead) {
  std::mt19937 random(26);
  const char* pieces[] = {"\tx = 1;", "    y", "", "", " * c", "\t\tz\t//", "w", "\xC3\xA9t\xC3\xA9", "\t"};
  const char* ends[] = {"\r\n", "\n", "\n", "\r"};
  const char* pastes[] = {"p1\r\n\tp2\r\np3", "\r\n\r\n", "q\r\n", "\r\n\ty"};
  const std::string scratch = dir.File("state.php");
  for (int round = 0; round < 16; ++round) {
    SCOPED_TRACE(round);
    std::string bytes = round % 3 == 0 ? "\xEF\xBB\xBF" : "";
    const int lines = 3 + static_cast<int>(random() % 40);
    for (int i = 0; i < lines; ++i) {
      bytes += pieces[random() % std::size(pieces)];
      if (i + 1 < lines || round % 2 == 0) bytes += ends[(round + random() % 3) % std::size(ends)];
    }
    const std::string path = Write("random" + std::to_string(round) + ".php", bytes);
    editor.LoadFile(path);
    const std::string loaded = editor.Lines->GetTextStr();
    // The bytes a save writes, by the history position of the state (some states).
    std::map<int, std::string> saved;
    auto savedNow = [&] {
      editor.SaveText(scratch);
      return ReadBytes(scratch);
    };
    auto checkState = [&](const char* when) {
      const auto it = saved.find(editor.UndoBuffer->Position);
      if (it != saved.end()) {
        ASSERT_EQ(savedNow(), it->second) << when << " at " << it->first;
      }
    };
    for (int step = 0; step < 40; ++step) {
      const int count = editor.Lines->Count();
      // As the keys and the mouse move it: a step of the history of its own.
      editor.MoveCaretUndoable(static_cast<int>(random() % 6), static_cast<int>(random() % std::max(count, 1)));
      const int kind = static_cast<int>(random() % 13);
      SCOPED_TRACE(kind);
      switch (kind) {
        case 0:
          editor.KeyPress('q');
          editor.KeyPress('\t');
          break;
        case 1:
          editor.ExecuteCommand(cmdLineBreak);
          break;
        case 2:  // Backspace, joining lines at a line start
          if (random() % 2) editor.ExecuteCommand(cmdLineStart);
          for (int k = 0; k < 2; ++k) editor.ExecuteCommand(cmdDeleteLeft);
          break;
        case 3:  // Delete, joining lines at a line end
          if (random() % 2) editor.ExecuteCommand(cmdLineEnd);
          for (int k = 0; k < 2; ++k) editor.ExecuteCommand(cmdDeleteRight);
          break;
        case 4:
          for (int k = 0; k < 9; ++k) editor.ExecuteCommand(cmdSelectRight);
          editor.ExecuteCommand(cmdDeleteSelection);
          break;
        case 5:
          editor.ExecuteCommand(cmdSelectDown);
          editor.KeyPress('r');
          break;
        case 6:
          window.clipboard.SetText(pastes[random() % std::size(pastes)]);
          editor.ExecuteCommand(cmdPaste);
          break;
        case 7:
        case 8:
          editor.ExecuteCommand(cmdSelectDown);
          editor.ExecuteCommand(cmdSelectDown);
          editor.ExecuteCommand(kind == 7 ? cmdIndentSelection : cmdUnindentSelection);
          break;
        case 9:
          editor.ExecuteCommand(cmdTab);
          break;
        case 10:
          editor.ExecuteCommand(cmdToggleOverwrite);
          editor.KeyPress('o');
          editor.KeyPress('o');
          editor.ExecuteCommand(cmdToggleOverwrite);
          break;
        case 11:
          editor.ExecuteCommand(cmdDeleteLine);
          break;
        case 12:  // an undo in between: what it took back is cut off by the next edit
          editor.Undo();
          checkState("an undo between the edits");
          for (auto it = saved.upper_bound(editor.UndoBuffer->Position); it != saved.end();) it = saved.erase(it);
          break;
      }
      if (step % 4 == 3) saved[editor.UndoBuffer->Position] = savedNow();
    }
    for (int guard = 0; editor.UndoBuffer->Position >= 0 && guard < 100000; ++guard) {
      editor.Undo();
      checkState("undoing all");
    }
    ASSERT_EQ(editor.Lines->GetTextStr(), loaded);
    editor.Save();
    EXPECT_EQ(ReadBytes(path), bytes);
  }
}

TEST_F(KeepFormat, TheFormatOutlivesReloadAndSaveAsAndNewDocumentsUseCrLf) {
  const std::string path = Write("a.php", kTabbedLf);
  editor.LoadFile(path);
  TypeAt(0, "#");
  editor.Reload();
  editor.SaveAs(dir.File("b.php"));
  EXPECT_EQ(ReadBytes(dir.File("b.php")), kTabbedLf);
  editor.MoveCaret(1, 7);
  editor.ExecuteCommand(cmdLineBreak);
  for (char c : std::string("new")) editor.KeyPress(c);
  editor.Save();
  EXPECT_EQ(ReadBytes(dir.File("b.php")), kTabbedLf + "\nnew") << "a new last line without a break, as the file had";

  TSourceEditor fresh;
  fresh.SetKeepFileFormat(true);
  fresh.FileName = dir.File("new.txt");
  fresh.Lines->Add("    a");
  fresh.Lines->Add("b");
  fresh.Save();
  EXPECT_EQ(ReadBytes(dir.File("new.txt")), "    a\r\nb\r\n");
}

TEST_F(KeepFormat, OnlyLinesTheRuleDoesNotGiveBackKeepTheirBytes) {
  std::string crlf, tabbed;
  for (int i = 0; i < 1000; ++i) {
    crlf += "    line " + std::to_string(i) + "\r\n";
    tabbed += "\tline " + std::to_string(i) + (i % 100 == 0 ? "\t// aligned\n" : "\n");
  }
  editor.LoadFile(Write("crlf.txt", crlf));
  EXPECT_EQ(editor.Lines->AsReadLines(), 0) << "a CR LF file without TABs costs nothing";
  EXPECT_FALSE(editor.SaveRewritesFormat());
  editor.LoadFile(Write("tabbed.txt", tabbed));
  EXPECT_EQ(editor.Lines->AsReadLines(), 10) << "only the lines with a TAB after their indentation";
  EXPECT_FALSE(editor.SaveRewritesFormat());
}

TEST_F(KeepFormat, OffTheFileIsWrittenAsThePartsSayAndTheSaveTellsSoOnce) {
  editor.SetKeepFileFormat(false);
  const std::string path = Write("a.php", "\tx\ny");
  editor.LoadFile(path);
  EXPECT_EQ(editor.Lines->AsReadLines(), 0);
  EXPECT_TRUE(editor.SaveRewritesFormat());
  editor.Save();
  EXPECT_EQ(ReadBytes(path), "    x\r\ny\r\n");
  EXPECT_FALSE(editor.SaveRewritesFormat()) << "the file is in the program's format now";

  // Read keeping the format, saved with the option off: the Parts' format, for good.
  editor.SetKeepFileFormat(true);
  WriteBytes(path, "\tx\ny");
  editor.LoadFile(path);
  editor.SetKeepFileFormat(false);
  EXPECT_TRUE(editor.SaveRewritesFormat());
  editor.Save();
  editor.SetKeepFileFormat(true);
  editor.Save();
  EXPECT_EQ(ReadBytes(path), "    x\r\ny\r\n");
}

}  // namespace
