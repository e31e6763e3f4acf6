// The editor in its Qt window (offscreen): the pixels it shows, keys, the
// scroll bars and the wheel, and the Qt services behind the window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QBackingStore>
#include <QClipboard>
#include <QImage>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPalette>
#include <QScrollBar>
#include <QWheelEvent>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "editor/AdvEdit.h"
#include "editor/UnicodeCase.h"
#include "qt/ImageCanvas.h"
#include "qt/KeyMap.h"
#include "qt/QtEditorWindow.h"
#include "qt/SystemClipboard.h"
#include "tests/render/DocumentWindow.h"
#include "tests/support/FakeLinesOwner.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"

namespace {

QRgb Rgb(TColor c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

class EditorWindowQt : public ::testing::Test {
 protected:
  EditorWindowQt() {
    TestApplication();
    QApplication::setCursorFlashTime(0);  // a caret that does not blink while the test looks at it
    doc = std::make_unique<DocumentWindow>("");
    doc->resize(1000, 400);
    doc->show();
    doc->activateWindow();
    View().setFocus();
    Settle();
  }

  TAdvancedEditor& Ed() { return doc->Editor(); }
  platform::QtEditorWindow& View() { return doc->View(); }
  QImage Grab() { return View().viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  int CW() { return Ed().CharWidth; }
  int CH() { return Ed().CharHeight; }
  // Left edge of the cell of column c (the text area starts right of the 20-pixel gutter).
  int CellLeft(int c) { return 22 + c * CW() + 1; }

  // How many pixels of the cell (c, r) have colour `rgb`.
  static int Count(const QImage& img, QRect cell, QRgb rgb) {
    int n = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
      for (int x = cell.left(); x <= cell.right(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF);
    return n;
  }
  QRect Cell(int c, int r) { return QRect(CellLeft(c), r * CH(), CW(), CH()); }
  void Key(int qtKey, Qt::KeyboardModifiers mods, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, qtKey, mods, text);
    QApplication::sendEvent(&View(), &press);
  }
  // The view's pixels in `r` as the window system is given them to show:
  // the top-level window's backing store.
  QImage Shown(QRect r) {
    QWidget* top = View().window();
    auto* pixels = dynamic_cast<QImage*>(top->backingStore()->paintDevice());
    if (!pixels) return QImage();
    return pixels->copy(r.translated(View().viewport()->mapTo(top, QPoint(0, 0))));
  }
  QImage ShownCell(int c, int r) { return Shown(Cell(c, r)); }

  std::unique_ptr<DocumentWindow> doc;
};

TEST_F(EditorWindowQt, ShowsTextSelectionMarginGutterAndCaret) {
  Ed().Lines->SetTextStr("abcdefgh\r\nsecond line\r\n\r\nlast");
  Ed().ExtendSelection(2, 1);
  Ed().ExtendSelection(0, 3);
  Ed().MoveCaret(1, 0);
  Settle();
  ASSERT_TRUE(View().hasFocus());
  const QImage img = Grab();
  ASSERT_GT(img.width(), CellLeft(82));
  const int area = CW() * CH();

  // Plain text: black on the control colour.
  EXPECT_GT(Count(img, Cell(0, 0), Rgb(0xC0C0C0)), area / 2);
  EXPECT_GT(Count(img, Cell(0, 0), Rgb(0x000000)), 0);
  // Selected text: black on the selection colour.
  EXPECT_GT(Count(img, Cell(3, 1), Rgb(0x999999)), area / 2);
  EXPECT_GT(Count(img, Cell(3, 1), Rgb(0x000000)), 0);
  EXPECT_GT(Count(img, Cell(1, 1), Rgb(0xC0C0C0)), area / 2);
  // The selected line end fills the rest of its row; the empty line is selected whole.
  EXPECT_EQ(Count(img, Cell(30, 1), Rgb(0x999999)), area);
  EXPECT_EQ(Count(img, Cell(0, 2), Rgb(0x999999)), area);
  EXPECT_EQ(Count(img, Cell(30, 3), Rgb(0xC0C0C0)), area);

  // The right margin: one pixel column at the left edge of column 80, on every row.
  const int margin = CellLeft(80);
  for (int y : {0, CH() + 3, 2 * CH() + 5, 6 * CH()}) {
    EXPECT_EQ(img.pixel(margin, y) & 0xFFFFFF, Rgb(0x808080) & 0xFFFFFF) << y;
    EXPECT_NE(img.pixel(margin - 1, y) & 0xFFFFFF, Rgb(0x808080) & 0xFFFFFF) << y;
    EXPECT_NE(img.pixel(margin + 1, y) & 0xFFFFFF, Rgb(0x808080) & 0xFFFFFF) << y;
  }

  // The gutter: its colour, then a line in the control colour and one in grey.
  EXPECT_EQ(img.pixel(5, 100) & 0xFFFFFF, Rgb(0xC0C0C0) & 0xFFFFFF);
  EXPECT_EQ(img.pixel(20, 100) & 0xFFFFFF, Rgb(0xC0C0C0) & 0xFFFFFF);
  EXPECT_EQ(img.pixel(21, 100) & 0xFFFFFF, Rgb(0x808080) & 0xFFFFFF);

  // The caret: 2 pixels wide, CharHeight - 2 high, one pixel left of the cell and one below its top;
  // it inverts what is under it.
  const QRect caret(CellLeft(1) - 1, 1, 2, CH() - 2);
  EXPECT_EQ(View().CaretRect(), caret);
  ASSERT_TRUE(View().CaretDrawn());
  const QImage& plain = View().Image();
  for (int y = caret.top(); y <= caret.bottom(); ++y)
    for (int x = caret.left(); x <= caret.right(); ++x)
      ASSERT_EQ(img.pixel(x, y) & 0xFFFFFF, ~plain.pixel(x, y) & 0xFFFFFF) << x << "," << y;
  EXPECT_EQ(img.pixel(caret.right() + 1, caret.top()), plain.pixel(caret.right() + 1, caret.top()));
  EXPECT_EQ(img.pixel(caret.left(), caret.bottom() + 1), plain.pixel(caret.left(), caret.bottom() + 1));
}

TEST_F(EditorWindowQt, SpecialCharactersAreDrawnFromTheCodePage) {
  Ed().Lines->SetTextStr("a b\r\nc");
  Ed().SetShowSpecialChars(true);
  Settle();
  const QImage img = Grab();
  const int area = CW() * CH();
  // The visible space and the line-end mark leave ink; a blank cell does not.
  EXPECT_LT(Count(img, Cell(1, 0), Rgb(0xC0C0C0)), area);
  EXPECT_LT(Count(img, Cell(3, 0), Rgb(0xC0C0C0)), area);
  EXPECT_EQ(Count(img, Cell(4, 0), Rgb(0xC0C0C0)), area);
  EXPECT_EQ(Count(img, Cell(1, 1), Rgb(0xC0C0C0)), area);
}

TEST_F(EditorWindowQt, WideCharactersFillTwoCellsAndTheTextAfterThemKeepsToTheGrid) {
  // 中文字符|, then 😀🎉 and q with a combining diaeresis before |, then the
  // plain characters in the columns the first two rows put them in.
  Ed().SetEncoding(TTextEncoding::Utf8);
  Ed().Lines->SetTextStr(
      "\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97\xE7\xAC\xA6|\r\n"
      "\xF0\x9F\x98\x80\xF0\x9F\x8E\x89"
      "q\xCC\x88|\r\n"
      "    q|  |");
  Ed().ExtendSelection(3, 0);  // 文 selected: bytes 3..5
  Ed().ExtendSelection(6, 0);
  Settle();
  const QImage img = Grab();
  const int area = CW() * CH();
  const QRgb back = Rgb(0xC0C0C0);
  auto cells = [&](int c, int r, int n) { return img.copy(CellLeft(c), r * CH(), n * CW(), CH()); };
  // The columns of `block` holding ink (pixels of neither background).
  auto inkColumns = [&](const QImage& block) {
    std::vector<int> xs;
    for (int x = 0; x < block.width(); ++x)
      for (int y = 0; y < block.height(); ++y)
        if (const QRgb p = block.pixel(x, y) & 0xFFFFFF; p != (back & 0xFFFFFF) && p != (Rgb(0x999999) & 0xFFFFFF)) {
          xs.push_back(x);
          break;
        }
    return xs;
  };

  // The text after them stands in the columns of the plain row.
  EXPECT_EQ(cells(8, 0, 1), cells(8, 2, 1)) << "| after four CJK characters in column 8";
  EXPECT_EQ(cells(5, 1, 1), cells(5, 2, 1)) << "| after two emoji and q with its mark in column 5";
  // The mark (from another font than its q) is drawn over the q, in its one cell.
  EXPECT_NE(cells(4, 1, 1), cells(4, 2, 1));
  EXPECT_GT(inkColumns(cells(4, 1, 1)).size(), inkColumns(cells(4, 2, 1)).size() / 2);

  // Every wide character is its own glyph (not the box of a missing one),
  // centred across both of its cells and not wider than them.
  std::vector<QImage> wide;
  for (int k = 0; k < 4; ++k) wide.push_back(cells(2 * k, 0, 2));
  for (int k = 0; k < 2; ++k) wide.push_back(cells(2 * k, 1, 2));
  for (std::size_t i = 0; i < wide.size(); ++i) {
    SCOPED_TRACE(i);
    const std::vector<int> xs = inkColumns(wide[i]);
    ASSERT_FALSE(xs.empty());
    EXPECT_LT(xs.front(), CW()) << "ink in the left cell";
    EXPECT_GE(xs.back(), CW()) << "ink in the right cell";
    EXPECT_LE(std::abs(xs.front() - (2 * CW() - 1 - xs.back())), 3) << "centred";
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(wide[i], wide[j]) << j;
  }
  // The selection covers both cells of 文 and nothing beside it.
  EXPECT_GT(Count(img, Cell(2, 0), Rgb(0x999999)), area / 2);
  EXPECT_GT(Count(img, Cell(3, 0), Rgb(0x999999)), area / 2);
  EXPECT_EQ(Count(img, Cell(1, 0), Rgb(0x999999)), 0);
  EXPECT_EQ(Count(img, Cell(4, 0), Rgb(0x999999)), 0);

  // The caret stands at the column a position's characters end in: after
  // 中 (column 2), after the four CJK characters (8), after the emoji and the
  // q with its mark (5 on the second row).
  auto caretAt = [&](int column, int row) { return QRect(CellLeft(column) - 1, row * CH() + 1, 2, CH() - 2); };
  Ed().MoveCaret(3, 0);
  Settle();
  EXPECT_EQ(View().CaretRect(), caretAt(2, 0));
  Ed().MoveCaret(12, 0);
  Settle();
  EXPECT_EQ(View().CaretRect(), caretAt(8, 0));
  Ed().MoveCaret(11, 1);
  Settle();
  EXPECT_EQ(View().CaretRect(), caretAt(5, 1));
}

TEST_F(EditorWindowQt, KeysTypeAndSelectAndTheRowIsRepaintedAtOnce) {
  Ed().Lines->SetTextStr("hello\r\nworld");
  Settle();
  const QImage before = View().Image().copy();
  Key(Qt::Key_End, Qt::NoModifier, {});
  const QImage shownBefore = ShownCell(5, 0);
  Key(Qt::Key_Exclam, Qt::ShiftModifier, "!");
  EXPECT_EQ(LinesOf(*Ed().Lines), (std::vector<std::string>{"hello!", "world"}));
  // Without waiting for Qt's paint: the typed row is already in the window's image, the next one unchanged.
  const QImage& after = View().Image();
  EXPECT_NE(after.copy(Cell(5, 0)), before.copy(Cell(5, 0)));
  EXPECT_EQ(after.copy(0, CH(), after.width(), CH()), before.copy(0, CH(), before.width(), CH()));
  // And it has been handed to the window system before the key's handler returned.
  ASSERT_FALSE(shownBefore.isNull());
  EXPECT_NE(ShownCell(5, 0), shownBefore);

  Key(Qt::Key_Left, Qt::ShiftModifier, {});
  Key(Qt::Key_Left, Qt::ShiftModifier, {});
  EXPECT_EQ(Ed().GetSelText(), "o!");
  Key(Qt::Key_Backspace, Qt::NoModifier, "\b");
  EXPECT_EQ(LinesOf(*Ed().Lines), (std::vector<std::string>{"hell", "world"}));
  // Ctrl+Z undoes; its control character types nothing.
  Key(Qt::Key_Z, Qt::ControlModifier, QString(QChar(26)));
  EXPECT_EQ(LinesOf(*Ed().Lines)[0], "hello!");
  // Alt with a letter types nothing either.
  Key(Qt::Key_Q, Qt::AltModifier, "q");
  EXPECT_EQ(LinesOf(*Ed().Lines)[0], "hello!");
}

TEST_F(EditorWindowQt, AKeysWatchersHearItOnceWithItsRowAlreadyShown) {
  Ed().Lines->SetTextStr("hello\r\nworld");
  Settle();
  Key(Qt::Key_End, Qt::NoModifier, {});
  const QImage shownBefore = ShownCell(5, 0);
  ASSERT_FALSE(shownBefore.isNull());
  int changes = 0;
  QImage shownAtChange;
  Ed().OnChange = [&](TAdvancedEditor&) {
    ++changes;
    shownAtChange = ShownCell(5, 0);
  };
  Key(Qt::Key_Exclam, Qt::ShiftModifier, "!");
  // Told once, before the key's handler returned, with the typed cell already handed to the window system.
  EXPECT_EQ(changes, 1);
  EXPECT_NE(shownAtChange, shownBefore);
  EXPECT_EQ(shownAtChange, ShownCell(5, 0));
}

TEST_F(EditorWindowQt, TheClipboardCarriesADocumentsCharactersInEitherEncoding) {
  TempDir dir;
  const std::string path = dir.File("u.txt");
  WriteBytes(path, "za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\r\n");  // zażółć
  Ed().LoadText(path);
  std::u32string refused;
  Ed().OnCharRefused = [&](TAdvancedEditor&, char32_t ch) { refused += ch; };
  auto type = [&](const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(&View(), &press);
  };
  Ed().ExecuteCommand(cmdLineEnd);
  type(QString::fromUtf8("Ж"));
  type(QString::fromUtf8("€"));
  Ed().ExecuteCommand(cmdSelectAll);
  Ed().Copy();
  EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("zażółćЖ€"));
  Ed().ExecuteCommand(cmdTextEnd);
  // Scripts of every kind, far more characters than a byte has values.
  std::u32string many = U" Ωμέγα ł 😀 ";
  for (char32_t ch = 0x4E00; ch < 0x4E00 + 300; ++ch) many += ch;
  QApplication::clipboard()->setText(QString::fromStdU32String(many));
  Ed().Paste();
  Ed().SaveText(path);
  EXPECT_EQ(QString::fromUtf8(ReadBytes(path)),
            QString::fromUtf8("zażółćЖ€") + QString::fromStdU32String(many) + "\r\n");
  EXPECT_TRUE(refused.empty());

  // A Windows-1252 document copies its bytes as the characters they are, and
  // pastes a text of its characters as their bytes.
  WriteBytes(path, "caf\xE9 \x80 \x93q\x94\r\n");
  Ed().LoadText(path);
  ASSERT_FALSE(Ed().Utf8());
  Ed().ExecuteCommand(cmdSelectAll);
  Ed().Copy();
  EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("café € “q”"));
  Ed().ExecuteCommand(cmdTextEnd);
  QApplication::clipboard()->setText(QString::fromUtf8("Ÿ—é"));
  Ed().Paste();
  Ed().SaveText(path);
  EXPECT_EQ(ReadBytes(path), "caf\xE9 \x80 \x93q\x94\x9F\x97\xE9\r\n");

  // A character the code page lacks: a file with bytes of its own above 0x7F
  // refuses the paste and keeps its text and selection; an ASCII file becomes
  // UTF-8 for it (keeping the "é" typed before), as one undo step.
  QApplication::clipboard()->setText(QString::fromUtf8("é中"));
  Ed().ExecuteCommand(cmdSelectAll);
  Ed().Paste();
  EXPECT_EQ(refused, U"中");
  EXPECT_TRUE(Ed().SelAvail);
  Ed().SaveText(path);
  EXPECT_EQ(ReadBytes(path), "caf\xE9 \x80 \x93q\x94\x9F\x97\xE9\r\n");
  WriteBytes(path, "ab\r\n");
  Ed().LoadText(path);
  Ed().ExecuteCommand(cmdLineEnd);
  type(QString::fromUtf8("é"));
  Ed().Paste();
  Ed().SaveText(path);
  EXPECT_EQ(ReadBytes(path), "ab\xC3\xA9\xC3\xA9\xE4\xB8\xAD\r\n");
  Ed().Undo();
  EXPECT_FALSE(Ed().Utf8());
  Ed().SaveText(path);
  EXPECT_EQ(ReadBytes(path), "ab\xE9\r\n");
}

TEST_F(EditorWindowQt, ScrollBarsFollowTheEditorAndMoveTheView) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "line " + std::to_string(i) + "\r\n";
  Ed().Lines->SetTextStr(text);
  Settle();
  QScrollBar* bar = View().verticalScrollBar();
  const int rows = Ed().VisibleRows;
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100 - rows);
  EXPECT_EQ(bar->pageStep(), rows);
  EXPECT_TRUE(bar->isEnabled());

  const QImage before = View().Image().copy();
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(Ed().TopRow, 1);
  EXPECT_EQ(bar->value(), 1);
  // The pixels moved up by one row, and the uncovered bottom row was painted at once.
  const QImage& moved = View().Image();
  const int w = moved.width();
  EXPECT_EQ(moved.copy(22, 0, w - 22, (rows - 2) * CH()), before.copy(22, CH(), w - 22, (rows - 2) * CH()));
  EXPECT_NE(moved.copy(22, (rows - 1) * CH(), w - 22, CH()), before.copy(22, (rows - 1) * CH(), w - 22, CH()));

  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(Ed().TopRow, rows);
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(bar->value(), 100 - rows);
  EXPECT_EQ(Ed().TopRow, rows);  // the bar moved, the view did not

  // Dragging the thumb drags the view.
  bar->setSliderDown(true);
  bar->setSliderPosition(10);
  EXPECT_EQ(Ed().TopRow, 10);
  bar->setSliderDown(false);
  EXPECT_EQ(Ed().TopRow, 10);

  // One wheel notch down scrolls the desktop's lines per notch.
  const QPointF at(50, 50);
  QWheelEvent wheel(at, View().viewport()->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(View().viewport(), &wheel);
  EXPECT_EQ(Ed().TopRow, 10 + QApplication::wheelScrollLines());
  EXPECT_EQ(bar->value(), Ed().TopRow);
}

TEST_F(EditorWindowQt, AShortTextDisablesTheVerticalBar) {
  Ed().Lines->SetTextStr("one\r\ntwo");
  Settle();
  EXPECT_FALSE(View().verticalScrollBar()->isEnabled());
  EXPECT_TRUE(View().verticalScrollBar()->isVisible());
  EXPECT_EQ(View().verticalScrollBar()->maximum(), 0);
}

TEST_F(EditorWindowQt, RowsRepaintedAfterEachKeyShowWhatAWholeRepaintShows) {
  // Colours that hang on what comes before: "#" colours the rest of its line,
  // digits have a background of their own, and a quote starts or ends a string.
  Ed().OnHighlight = [](TAdvancedEditor&, std::string_view text, int, const TSelAttrs&, TLineAttrs& a) {
    bool comment = false, string = false;
    for (std::size_t i = 0; i < text.size() && i < a.size(); ++i) {
      comment = comment || (text[i] == '#' && !string);
      if (text[i] == '"' && !comment) string = !string;
      if (comment || string) a[i].FgColor = comment ? 0x0000C0 : 0x008000;
      if (text[i] >= '0' && text[i] <= '9') a[i].BgColor = 0xFFFF00;
    }
  };
  Ed().Lines->SetTextStr("first 12 \"line\"\r\n# second\r\n\r\nthe fourth line, longer than the others\r\nfive");
  Ed().RepaintAll();
  Settle();
  struct Press {
    int key;
    Qt::KeyboardModifiers mods;
    const char* text;
  };
  const Press keys[] = {
      {Qt::Key_A, Qt::NoModifier, "a"},          {Qt::Key_3, Qt::NoModifier, "3"},
      {Qt::Key_NumberSign, Qt::NoModifier, "#"}, {Qt::Key_QuoteDbl, Qt::NoModifier, "\""},
      {Qt::Key_Space, Qt::NoModifier, " "},      {Qt::Key_Backspace, Qt::NoModifier, "\b"},
      {Qt::Key_Delete, Qt::NoModifier, ""},      {Qt::Key_Return, Qt::NoModifier, "\r"},
      {Qt::Key_Left, Qt::NoModifier, ""},        {Qt::Key_Right, Qt::ShiftModifier, ""},
      {Qt::Key_Down, Qt::ShiftModifier, ""},     {Qt::Key_Up, Qt::NoModifier, ""},
      {Qt::Key_Down, Qt::NoModifier, ""},        {Qt::Key_End, Qt::NoModifier, ""},
      {Qt::Key_Home, Qt::NoModifier, ""},        {Qt::Key_End, Qt::ShiftModifier, ""},
  };
  std::mt19937 pick(7);
  for (int step = 0; step < 300; ++step) {
    const Press& p = keys[pick() % std::size(keys)];
    Key(p.key, p.mods, QString::fromLatin1(p.text));
    // On the screen when the key returns: what the view's own paint shows, caret and all.
    ASSERT_EQ(Shown(View().viewport()->rect()), Grab()) << "after key " << step << " (" << p.key << ")";
    const QImage shown = View().Image().copy();
    View().InvalidateAll();
    View().UpdateNow();
    ASSERT_EQ(shown, View().Image()) << "after key " << step << " (" << p.key << "), text:\n"
                                     << Ed().Lines->GetTextStr();
  }
}

// ---------------------------------------------------------------- the document

TEST_F(EditorWindowQt, AnInputMethodsPreeditIsOnlyShownAndWhatItCommitsIsTyped) {
  Ed().Lines->SetTextStr("ab");  // Windows-1252
  Ed().MoveCaret(1, 0);
  Settle();
  const QImage plain = Grab();
  auto query = [&](Qt::InputMethodQuery q) { return View().inputMethodQuery(q); };
  const QRect caret = View().CaretRect();
  EXPECT_TRUE(View().testAttribute(Qt::WA_InputMethodEnabled));
  EXPECT_EQ(query(Qt::ImCursorRectangle).toRect(),
            QRect(View().viewport()->mapTo(&View(), caret.topLeft()), caret.size()));
  EXPECT_EQ(query(Qt::ImSurroundingText).toString(), "ab");
  EXPECT_EQ(query(Qt::ImCursorPosition).toInt(), 1);
  EXPECT_EQ(QFontMetrics(query(Qt::ImFont).value<QFont>()).height(), CH());

  // Pre-edit: drawn over the cells from the caret on, in the text; the text, its history untouched.
  QInputMethodEvent preedit("ni", {QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, 2, 1)});
  QApplication::sendEvent(&View(), &preedit);
  Settle();
  EXPECT_EQ(LinesOf(*Ed().Lines), std::vector<std::string>{"ab"});
  EXPECT_FALSE(Ed().Modified);
  const QImage composing = Grab();
  const QRect beforeCaret = Cell(0, 0).adjusted(0, 0, -2, 0);
  EXPECT_EQ(composing.copy(beforeCaret), plain.copy(beforeCaret));
  EXPECT_NE(composing.copy(Cell(1, 0)), plain.copy(Cell(1, 0)));
  EXPECT_NE(composing.copy(Cell(2, 0)), plain.copy(Cell(2, 0)));
  // The candidates belong at the pre-edit's own cursor, after "ni".
  EXPECT_GT(query(Qt::ImCursorRectangle).toRect().left(), View().viewport()->mapTo(&View(), caret.topLeft()).x());
  // Escape in the input method: an empty pre-edit, and the window as it was.
  QInputMethodEvent dropped;
  QApplication::sendEvent(&View(), &dropped);
  Settle();
  EXPECT_EQ(Grab(), plain);

  // Committed text is typed: "é" as its Windows-1252 byte, "中" makes the
  // document UTF-8 as a typed "中" does, even right after a bound key.
  Key(Qt::Key_Home, Qt::NoModifier, {});
  Key(Qt::Key_Right, Qt::NoModifier, {});
  QInputMethodEvent commit;
  commit.setCommitString(QString::fromUtf8("é中"));
  QApplication::sendEvent(&View(), &commit);
  EXPECT_EQ(LinesOf(*Ed().Lines), std::vector<std::string>{"a\xC3\xA9\xE4\xB8\xAD" "b"});
  EXPECT_TRUE(Ed().Utf8());
  EXPECT_EQ(query(Qt::ImSurroundingText).toString(), QString::fromUtf8("aé中b"));
  EXPECT_EQ(query(Qt::ImCursorPosition).toInt(), 3);
  Ed().Undo();
  EXPECT_EQ(LinesOf(*Ed().Lines), std::vector<std::string>{"a\xE9" "b"});
  EXPECT_FALSE(Ed().Utf8());
}

TEST_F(EditorWindowQt, CtrlChordsNothingBindsTypeNothingAndAltGrCharactersType) {
  struct Row {
    int key;
    Qt::KeyboardModifiers mods;
    const char* text;
    const char* typed;
  };
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, altGr = Qt::ControlModifier | Qt::AltModifier;
  const Row rows[] = {
      {Qt::Key_Plus, ctrl | Qt::ShiftModifier, "+", ""},
      {Qt::Key_Equal, ctrl, "=", ""},
      {Qt::Key_Minus, ctrl, "-", ""},
      {Qt::Key_0, ctrl, "0", ""},
      {Qt::Key_1, ctrl, "1", ""},
      {Qt::Key_Plus, Qt::NoModifier, "+", "+"},
      {Qt::Key_E, altGr, "\xE2\x82\xAC", "\x80"},  // AltGr+E on a German keyboard: the euro sign
      {Qt::Key_Q, altGr, "@", "@"},
  };
  for (const Row& row : rows) {
    Ed().Lines->SetTextStr("");
    Key(row.key, row.mods, QString::fromUtf8(row.text));
    EXPECT_EQ(Ed().Lines->GetTextStr(), row.typed + std::string(*row.typed ? "\r\n" : ""))
        << row.text << " with " << row.mods;
  }
}

TEST(DocumentWindowQt, OpensAFileOrStartsWithOneEmptyLine) {
  TestApplication();
  TempDir dir;
  WriteBytes(dir.File("a.php"), "<?php\r\necho 1;\r\n");
  DocumentWindow loaded(dir.File("a.php"));
  EXPECT_EQ(LinesOf(*loaded.Editor().Lines), (std::vector<std::string>{"<?php", "echo 1;"}));
  EXPECT_FALSE(loaded.Editor().Modified);

  DocumentWindow missing(dir.File("none.php"));
  EXPECT_EQ(LinesOf(*missing.Editor().Lines), (std::vector<std::string>{""}));

  // The application's look.
  const TAdvancedEditor& e = loaded.Editor();
  EXPECT_EQ(e.Color(), 0xC0C0C0u);
  EXPECT_EQ(e.EditorFont, (platform::FontSpec{"Courier New", 12, platform::fontstyle::Bold, 0}));
  EXPECT_EQ(e.GutterWidth(), 20);
  EXPECT_EQ(e.BorderStyle(), 0);
  EXPECT_EQ(loaded.View().frameShape(), QFrame::NoFrame);
}

// ---------------------------------------------------------------- services

TEST(KeyMapQt, QtKeysBecomeVirtualKeyCodes) {
  struct Case {
    int qt;
    Qt::KeyboardModifiers mods;
    std::uint16_t vk;
  };
  const Case cases[] = {
      {Qt::Key_A, Qt::NoModifier, 'A'},
      {Qt::Key_Z, Qt::ShiftModifier, 'Z'},
      {Qt::Key_5, Qt::NoModifier, '5'},
      {Qt::Key_Percent, Qt::ShiftModifier, '5'},
      {Qt::Key_5, Qt::KeypadModifier, 0x65},
      {Qt::Key_Left, Qt::NoModifier, vk::Left},
      {Qt::Key_Down, Qt::KeypadModifier, vk::Down},
      {Qt::Key_PageUp, Qt::NoModifier, vk::Prior},
      {Qt::Key_PageDown, Qt::NoModifier, vk::Next},
      {Qt::Key_Home, Qt::NoModifier, vk::Home},
      {Qt::Key_End, Qt::NoModifier, vk::End},
      {Qt::Key_Insert, Qt::NoModifier, vk::Insert},
      {Qt::Key_Delete, Qt::NoModifier, vk::Delete},
      {Qt::Key_Backspace, Qt::NoModifier, vk::Back},
      {Qt::Key_Tab, Qt::NoModifier, vk::Tab},
      {Qt::Key_Backtab, Qt::ShiftModifier, vk::Tab},
      {Qt::Key_Return, Qt::NoModifier, vk::Return},
      {Qt::Key_Enter, Qt::KeypadModifier, vk::Return},
      {Qt::Key_Escape, Qt::NoModifier, vk::Escape},
      {Qt::Key_Space, Qt::NoModifier, 0x20},
      {Qt::Key_F1, Qt::NoModifier, 0x70},
      {Qt::Key_F12, Qt::NoModifier, 0x7B},
      {Qt::Key_Semicolon, Qt::NoModifier, 0xBA},
      {Qt::Key_Colon, Qt::ShiftModifier, 0xBA},
      {Qt::Key_Minus, Qt::NoModifier, 0xBD},
      {Qt::Key_Minus, Qt::KeypadModifier, 0x6D},
      {Qt::Key_BraceRight, Qt::ShiftModifier, 0xDD},
      {Qt::Key_Eacute, Qt::NoModifier, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::VirtualKeyOf(c.qt, c.mods), c.vk) << std::hex << c.qt;
  EXPECT_EQ(platform::ShiftStateOf(Qt::ShiftModifier | Qt::ControlModifier), shift::Shift | shift::Ctrl);
  EXPECT_EQ(platform::ShiftStateOf(Qt::AltModifier | Qt::KeypadModifier), shift::Alt);
}

TEST(ClipboardQt, CarriesSingleByteTextAndTellsOfChanges) {
  TestApplication();
  platform::SystemClipboard clipboard;
  int changes = 0;
  clipboard.OnChanged = [&] { ++changes; };
  clipboard.SetText("caf\xE9 \x80 \xAC");
  Settle();
  EXPECT_TRUE(clipboard.HasText());
  EXPECT_EQ(clipboard.GetText(), "caf\xE9 \x80 \xAC");
  EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("café € ¬"));
  EXPECT_GE(changes, 1);
}

TEST(CanvasQt, ColoursAndSystemColours) {
  TestApplication();
  EXPECT_EQ(platform::ToQColor(0x0000FF), QColor(255, 0, 0));
  EXPECT_EQ(platform::ToQColor(0x336699), QColor(0x99, 0x66, 0x33));
  QPalette palette;
  palette.setColor(QPalette::Highlight, QColor(1, 2, 3));
  palette.setColor(QPalette::Base, QColor(4, 5, 6));
  palette.setColor(QPalette::Button, QColor(7, 8, 9));
  EXPECT_EQ(platform::ToQColor(platform::syscolor::Highlight, &palette), QColor(1, 2, 3));
  EXPECT_EQ(platform::ToQColor(platform::syscolor::Window, &palette), QColor(4, 5, 6));
  EXPECT_EQ(platform::ToQColor(platform::syscolor::ButtonFace, &palette), QColor(7, 8, 9));
}

TEST(CanvasQt, TextKeepsItsFixedAdvanceAndOpaqueBackground) {
  TestApplication();
  platform::ImageCanvas canvas(200, 20);
  canvas.SetFont({"Courier New", 12, 0, 0});
  canvas.FillRect({0, 0, 200, 20}, 0xFFFFFF);
  // Twelve-pixel cells, wider than the font's own advance.
  canvas.DrawText(10, 0, "iiii", 12, 0x000000, 0x00FF00, platform::fontstyle::Bold);
  const QImage& img = canvas.Image();
  const int h = canvas.MeasureGlyph('W', 0).y;
  EXPECT_EQ(img.pixel(10, 0) & 0xFFFFFF, qRgb(0, 255, 0) & 0xFFFFFF);
  EXPECT_EQ(img.pixel(10 + 48 - 1, h - 1) & 0xFFFFFF, qRgb(0, 255, 0) & 0xFFFFFF);
  EXPECT_EQ(img.pixel(10 + 48, 0) & 0xFFFFFF, qRgb(255, 255, 255) & 0xFFFFFF);
  // Each glyph in its own cell: every cell holds ink.
  for (int i = 0; i < 4; ++i) {
    int ink = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 10 + i * 12; x < 10 + (i + 1) * 12; ++x)
        ink += (img.pixel(x, y) & 0xFFFFFF) != (qRgb(0, 255, 0) & 0xFFFFFF);
    EXPECT_GT(ink, 0) << i;
  }
  EXPECT_EQ(canvas.FontFor(platform::fontstyle::Bold).pixelSize(), 16);
}

TEST(CanvasQt, ACellIsDrawnAlikeHoweverManyTilesCameBeforeIt) {
  TestApplication();
  // Far more tiles than a first screen makes: their store grows, and one
  // painter draws them all, styles and fallback characters among them.
  platform::ImageCanvas kept(1000, 20);
  kept.SetFont({"Courier New", 10, 0, 0});
  const int advance = kept.MeasureGlyph('W', 0).x, height = kept.MeasureGlyph('W', 0).y;
  const std::string text = "Wg_|\x81\x9D~@ \xE9";
  const std::uint8_t styles[] = {0, platform::fontstyle::Underline, platform::fontstyle::Bold,
                                 platform::fontstyle::Italic | platform::fontstyle::StrikeOut};
  for (int round = 0; round < 2; ++round)
    for (std::uint32_t colour = 0; colour < 120; ++colour) {
      const platform::Color fg = colour * 0x020301, bg = 0xFFFFFF - colour * 0x010102;
      const std::uint8_t style = styles[colour % 4];
      kept.DrawText(0, 0, text, advance, fg, bg, style);
      platform::ImageCanvas fresh(1000, 20);
      fresh.SetFont({"Courier New", 10, 0, 0});
      fresh.DrawText(0, 0, text, advance, fg, bg, style);
      const QRect cells(0, 0, advance * static_cast<int>(text.size()), height);
      ASSERT_EQ(kept.Image().copy(cells), fresh.Image().copy(cells)) << "round " << round << ", colour " << colour;
    }
}

TEST(CanvasQt, AtRatiosTwoAndOneAndAHalfTheCanvasDrawsDevicePixelsWhereOneDrawsLogicalOnes) {
  TestApplication();
  auto ratio = std::make_shared<double>(1.0);
  platform::ImageCanvas one(200, 20), canvas(200, 20, ratio);
  for (platform::ImageCanvas* c : {&one, &canvas}) c->SetFont({"Courier New", 12, 0, 0});
  const int advance = one.MeasureGlyph('W', 0).x;
  auto draw = [&](platform::ImageCanvas& c) {
    c.FillRect({0, 0, 200, 20}, 0xFFFFFF);
    c.FillRect({3, 2, 7, 9}, 0x0000FF);
    c.DrawText(20, 0, "Wg#", advance, 0x000000, 0xFFFFFF, 0);
  };
  // The box of the pixels in `r` that are not white.
  auto ink = [](const QImage& img, QRect r) {
    QRect box;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) box |= QRect(x, y, 1, 1);
    return box;
  };
  draw(one);
  const QRect text = ink(one.Image(), QRect(20, 0, 3 * advance, 20));
  for (double r : {2.0, 1.5}) {
    *ratio = r;
    draw(canvas);
    const QImage& img = canvas.Image();
    EXPECT_EQ(canvas.Width(), 200);
    EXPECT_EQ(img.size(), QSize(static_cast<int>(200 * r), static_cast<int>(20 * r))) << r;
    // Rectangles: exactly their device pixels.
    EXPECT_EQ(ink(img, QRect(0, 0, static_cast<int>(19 * r), img.height())),
              QRect(static_cast<int>(3 * r), static_cast<int>(2 * r), static_cast<int>(4 * r), static_cast<int>(7 * r)))
        << r;
    // Text: where it stands at ratio 1, scaled, give or take a device pixel.
    const QRect scaled = ink(img, QRect(static_cast<int>(20 * r), 0, static_cast<int>(3 * advance * r), img.height()));
    EXPECT_NEAR(scaled.left(), text.left() * r, r + 1) << r;
    EXPECT_NEAR(scaled.right(), (text.right() + 1) * r, r + 1) << r;
    EXPECT_NEAR(scaled.bottom(), (text.bottom() + 1) * r, r + 1) << r;
    if (r != 2.0) continue;
    // Rasterised at device pixels: few of the inked 2x2 blocks are one colour
    // (all of them would be, were the text of ratio 1 stretched).
    int inked = 0, uniform = 0;
    for (int y = scaled.top() & ~1; y < scaled.bottom(); y += 2)
      for (int x = scaled.left() & ~1; x < scaled.right(); x += 2) {
        const QRgb a = img.pixel(x, y), b = img.pixel(x + 1, y), c = img.pixel(x, y + 1), d = img.pixel(x + 1, y + 1);
        if (((a & b & c & d) & 0xFFFFFF) == 0xFFFFFF) continue;
        ++inked;
        uniform += a == b && a == c && a == d;
      }
    ASSERT_GT(inked, 20);
    EXPECT_LT(uniform * 100 / inked, 30) << uniform << " of " << inked;
  }
}

}  // namespace

namespace {

TEST(UnicodeCaseQt, AgreesWithQtWhereACharacterHasOneCaseForm) {
  TestApplication();
  int compared = 0;
  for (char32_t ch = 0; ch <= 0x10FFFF; ++ch) {
    if (ch >= 0xD800 && ch < 0xE000) continue;
    const QString one = QString::fromUcs4(&ch, 1);
    // Where the full mapping gives several characters the simple one may be a third.
    const QList<uint> upper = one.toUpper().toUcs4(), lower = one.toLower().toUcs4();
    if (upper.size() == 1) {
      EXPECT_EQ(static_cast<uint>(unicase::ToUpper(ch)), upper[0]) << std::hex << static_cast<uint>(ch);
    }
    if (lower.size() == 1) {
      EXPECT_EQ(static_cast<uint>(unicase::ToLower(ch)), lower[0]) << std::hex << static_cast<uint>(ch);
    }
    ++compared;
  }
  EXPECT_GT(compared, 1000000);
}

}  // namespace
