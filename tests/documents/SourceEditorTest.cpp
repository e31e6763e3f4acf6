// The document editor: highlighter by extension, modified flag, load, save and find.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "highlight/HiLiC.h"
#include "highlight/HiLiPHP.h"
#include "highlight/source_editor.h"
#include "tests/support/EventLog.h"
#include "tests/support/FakeEditorWindow.h"
#include "tests/support/TempDir.h"

namespace {

using Strings = std::vector<std::string>;

class SourceEditor : public ::testing::Test {
 protected:
  SourceEditor() { editor.AttachWindow(&window); }

  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = dir.File(name);
    WriteBytes(path, bytes);
    return path;
  }
  // The text colour of every character of line 0, as the painter would get it.
  std::vector<TColor> Colours() {
    std::string text = editor.Lines->Get(0) + "\xAC";
    TLineAttrs attrs(text.size() + 1, TCharAttr{0x123456, 0, 0, 0});
    if (editor.OnHighlight) editor.OnHighlight(editor, text, 0, TSelAttrs(text.size() + 1), attrs);
    std::vector<TColor> out;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) out.push_back(attrs[i].FgColor);
    return out;
  }

  TempDir dir;
  FakeEditorWindow window;
  TSourceEditor editor;
};

constexpr TColor kKeyword = 0x808000;

TEST_F(SourceEditor, TheExtensionPicksTheHighlighterWithoutRegardToCase) {
  for (const char* name : {"index.PHP", "index.php", "a.Inc", "b.htm", "c.HTML", "d.php5", "e.php4"}) {
    editor.LoadFile(Write(name, "<?php echo 1; ?>"));
    EXPECT_NE(dynamic_cast<TPHPHighLight*>(editor.Highlighter.get()), nullptr) << name;
    EXPECT_TRUE(static_cast<bool>(editor.OnHighlight)) << name;
  }
  editor.LoadFile(Write("x.cpp", "int a;"));
  EXPECT_NE(dynamic_cast<TCHighLight*>(editor.Highlighter.get()), nullptr);
  for (const char* name : {"page.phtml", "notes.txt", "Makefile", "dir.php/file"}) {
    editor.LoadFile(Write(name[0] == 'd' ? "plain" : name, "text"));
    EXPECT_EQ(TSourceEditor::HighlighterFor(name, *editor.Lines), nullptr) << name;
  }
  EXPECT_EQ(editor.Highlighter, nullptr) << "a .txt after a .cpp has no highlighter";
  EXPECT_FALSE(static_cast<bool>(editor.OnHighlight));
}

TEST_F(SourceEditor, StyleSheetsAndScriptsStartInTheirLanguage) {
  editor.LoadFile(Write("site.CSS", "body { color: red }"));
  EXPECT_EQ(Colours()[0], kKeyword) << "a CSS word";
  editor.LoadFile(Write("site.php", "body { color: red }"));
  EXPECT_NE(Colours()[0], kKeyword) << "HTML text in a PHP file";
  editor.LoadFile(Write("app.JS", "var x = 1;"));
  EXPECT_EQ(Colours()[0], kKeyword) << "a JavaScript word";
  editor.LoadFile(Write("app.htm", "var x = 1;"));
  EXPECT_NE(Colours()[0], kKeyword);
}

TEST_F(SourceEditor, EditsSetTheModifiedFlagAndSavingClearsIt) {
  editor.LoadFile(Write("a.php", "<?php\r\n$a = 1;\r\n"));
  EXPECT_FALSE(editor.FileModified);
  for (int i = 0; i < editor.Lines->Count(); ++i) {
    editor.Lines->Attrs(i).resize(3);
    editor.Lines->SetDirty(i, false);
    editor.Lines->SetColourKey(i, editor.LineColourKey(i));
  }
  editor.KeyPress('x');
  EXPECT_TRUE(editor.FileModified);
  EXPECT_EQ(editor.Lines->Attrs(0).size(), 8u) << "the changed line is recoloured with its new text";
  EXPECT_TRUE(editor.ColoursCurrent(1)) << "the line below starts in the same state";
  editor.Save();
  EXPECT_FALSE(editor.FileModified);
  EXPECT_EQ(ReadBytes(dir.File("a.php")), "x<?php\r\n$a = 1;\r\n");
  editor.SaveAs(dir.File("b.txt"));
  EXPECT_EQ(editor.FileName, dir.File("b.txt"));
  EXPECT_EQ(ReadBytes(dir.File("b.txt")), "x<?php\r\n$a = 1;\r\n");
  EXPECT_NE(editor.Highlighter, nullptr) << "renaming keeps the highlighter until the next load";
}

// The text colours of the text rows (not the gutter, copied to x 0) copied
// to the window since the last ClearRecords, by row.
std::map<int, std::set<TColor>> ShownColours(const FakeEditorWindow& window) {
  std::map<int, std::set<TColor>> rows;
  for (const auto& copy : window.copies) {
    if (copy.x == 0) continue;
    rows[copy.y / 16];
    for (const auto& text : copy.texts)
      if (text.bytes.find_first_not_of(' ') != std::string::npos) rows[copy.y / 16].insert(text.fg);
  }
  return rows;
}

// Colours follow every change, also one made while nothing paints, and a
// change repaints only the rows whose text or colours it changed.
TEST_F(SourceEditor, ChangesRecolourExactlyTheRowsTheyAffect) {
  constexpr TColor kComment = 0x808080;
  std::string text;
  for (int i = 0; i < 400; ++i) text += "int x;\r\n";
  editor.LoadFile(Write("a.c", text));
  editor.Paint({0, 0, 800, 480});
  // A comment opened above everything while the editor does not paint, then a scroll.
  editor.BeginUpdate();
  std::string pasted = "/*\r\n";
  for (int i = 0; i < 200; ++i) pasted += "code\r\n";
  editor.InsertText(pasted);
  editor.ScrollTo(0, 250);
  editor.EndUpdate();
  window.ClearRecords();
  editor.Paint({0, 0, 800, 480});
  auto shown = ShownColours(window);
  ASSERT_EQ(shown.size(), 30u);
  for (const auto& [row, colours] : shown) EXPECT_EQ(colours, std::set<TColor>{kComment}) << "row " << row;

  // A character that changes no colour below paints its own row only.
  editor.MoveCaret(3, 260);
  window.ClearRecords();
  editor.KeyPress('y');
  shown = ShownColours(window);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown.begin()->first, 10);
  // Closing the comment recolours every row below it, and only those.
  editor.MoveCaret(0, 270);
  editor.KeyPress('*');
  window.ClearRecords();
  editor.KeyPress('/');
  shown = ShownColours(window);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.begin()->first, 20);
  EXPECT_EQ(shown.rbegin()->first, 29);
  for (int row = 21; row <= 29; ++row) EXPECT_FALSE(shown[row].count(kComment)) << "row " << row;
}

TEST_F(SourceEditor, AFailedLoadKeepsTextAndHighlighter) {
  editor.LoadFile(Write("a.php", "keep me"));
  EXPECT_THROW(editor.LoadFile(dir.File("missing.txt")), EFileError);
  EXPECT_EQ(editor.FileName, dir.File("missing.txt"));
  EXPECT_EQ(editor.Lines->Get(0), "keep me");
  EXPECT_NE(editor.Highlighter, nullptr);
}

TEST_F(SourceEditor, AFailedSaveKeepsTheModifiedFlag) {
  editor.LoadFile(Write("a.txt", "text"));
  editor.KeyPress('x');
  editor.FileName = dir.Path();  // a folder cannot be written over
  EXPECT_THROW(editor.Save(), EFileError);
  EXPECT_TRUE(editor.FileModified);
}

TEST_F(SourceEditor, AFailedSaveAsKeepsTheOldName) {
  editor.LoadFile(Write("a.txt", "text"));
  editor.KeyPress('x');
  EXPECT_THROW(editor.SaveAs(dir.File("no-such-folder/b.txt")), EFileError);
  EXPECT_EQ(editor.FileName, dir.File("a.txt"));
  EXPECT_TRUE(editor.FileModified);
  editor.Save();
  EXPECT_EQ(ReadBytes(dir.File("a.txt")), "xtext\r\n") << "the next save goes to the old name";
}

TEST_F(SourceEditor, OpeningDoesItsWorkOnce) {
  // The window host attaches its editor, and so does the edit manager.
  editor.AttachWindow(&window);
  EXPECT_EQ(window.canvases.size(), 2u) << "the row and gutter bitmaps, made once";
  int changes = 0;
  editor.OnChange = [&](TAdvancedEditor&) { ++changes; };
  const std::string path = Write("a.php", "<?php\r\necho 1;\r\n");
  editor.LoadFile(path);
  WriteBytes(path, "<?php\r\necho 22;\r\n");
  editor.Reload();
  EXPECT_EQ(changes, 0) << "reading a file is no change of the text";
  EXPECT_EQ(editor.DiskStamp, FileStampOf(path)) << "the stamp of the file as it was read";
  EXPECT_EQ(editor.Lines->Get(1), "echo 22;");
}

TEST_F(SourceEditor, ReloadDiscardsChangesAndTheirHistory) {
  editor.LoadFile(Write("a.txt", "one\r\ntwo"));
  editor.KeyPress('x');
  editor.Reload();
  EXPECT_EQ(editor.Lines->Get(0), "one");
  EXPECT_FALSE(editor.FileModified);
  editor.ExecuteCommand(cmdUndo);
  EXPECT_EQ(editor.Lines->Get(0), "one") << "undo cannot apply the old edits to the reloaded text";
}

TEST_F(SourceEditor, FindNextSearchesFromTheLineAfterTheCaret) {
  editor.Lines->SetTextStr("abc first\r\nline 1\r\nline 2\r\nabc on 3 and abc\r\nxx aBc 4\r\nlast ABC");
  editor.MoveCaret(0, 3);
  editor.FindNext("abc");
  EXPECT_EQ(editor.GetSelText(), "aBc") << "line 4: the rest of line 3 is not searched";
  EXPECT_EQ(editor.CaretX, 6);
  EXPECT_EQ(editor.CaretY, 4);
  editor.FindNext("ABC");
  EXPECT_EQ(editor.CaretY, 5);
  editor.FindNext("abc");
  EXPECT_FALSE(editor.SelAvail) << "no further match";
  EXPECT_EQ(editor.CaretX, 0);
  EXPECT_EQ(editor.CaretY, 0);
  EXPECT_EQ(editor.TopRow, 0);
  editor.FindNext("abc");
  EXPECT_EQ(editor.CaretY, 3) << "from line 1 on: line 0 is never searched from the top";
  EXPECT_EQ(editor.GetSelText(), "abc");
  editor.FindNext("");
  EXPECT_EQ(editor.CaretY, 0) << "an empty text is never found";
}

TEST_F(SourceEditor, FindNextMatchesHighLettersInAnyCase) {
  editor.Lines->SetTextStr("start\r\nna\xEFve\r\nNA\xCFVE");
  editor.FindNext("NA\xCFVE");
  EXPECT_EQ(editor.CaretY, 1);
  editor.FindNext("na\xEFve");
  EXPECT_EQ(editor.CaretY, 2);
}

// Loading, typing and undo in a document tell the journal, the document and
// the screen in this order; every changed row is painted before the notice.
TEST(SourceEditorEvents, LoadTypeAndUndo) {
  TempDir dir;
  const std::string path = dir.File("page.php");
  WriteBytes(path, "<?php\r\necho 1;\r\n?>\r\n");
  LoggingWindow window;
  TSourceEditor editor;
  editor.AttachWindow(&window);
  LogNotifications(editor, window);
  std::string journal;  // what the journal hears: the lines replaced, and whether the document is modified
  editor.OnTextChanged = [&](TSourceEditor& e, const TLinesChange& c) {
    journal += std::to_string(c.FirstLine) + "-" + std::to_string(c.LinesRemoved) + "+" +
               std::to_string(c.LinesInserted) + (e.FileModified ? "m " : " ");
  };
  auto told = [&] {
    std::string out = window.Take();
    EXPECT_TRUE(window.statusAfterChange) << "the status follows the last change";
    auto [screen, repaint] = ScreenAndRepaint(editor, window);
    EXPECT_EQ(screen, repaint) << "a changed row was not painted";
    window.events.clear();
    out += " / " + journal;
    journal.clear();
    return out;
  };
  editor.LoadFile(path);
  EXPECT_EQ(told(), "invalidate / 0-0+3 ");
  EXPECT_FALSE(editor.FileModified);
  editor.MoveCaret(5, 1);
  told();
  editor.KeyPress('2');
  EXPECT_EQ(told(), "paint change / 1-1+1 ");
  editor.ExecuteCommand(cmdLineBreak);
  EXPECT_EQ(told(), "paint change / 1-1+2m ");
  editor.ExecuteCommand(cmdUndo);
  EXPECT_EQ(told(), "invalidate change / 1-2+1m ");
  EXPECT_EQ(editor.Lines->Get(1), "echo 21;");
  EXPECT_TRUE(editor.FileModified);
}

}  // namespace
