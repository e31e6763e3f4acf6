// The editing area as a screen reader sees it: offsets in UTF-16 units with
// one "\n" between lines, in a UTF-8 and in a Windows-1252 document of
// several lines with non-ASCII characters; edits made through it are one
// undoable edit of the document.

#include <gtest/gtest.h>

#include <QAccessible>
#include <memory>
#include <string>

#include "editor/AdvEdit.h"
#include "qt/QtEditorWindow.h"
#include "tests/render/DocumentWindow.h"
#include "tests/support/QtTestApp.h"

namespace {

struct Case {
  TTextEncoding encoding;
  std::string bytes;  // the document: "Grüße", "€ und 😀" (UTF-8; "€ und" in Windows-1252), "end"
  QString text;       // what a reader reads
};

TEST(EditorAccessible, OffsetsTextCaretSelectionAndEditsInBothEncodings) {
  TestApplication();
  const Case cases[] = {
      {TTextEncoding::Utf8, "Gr\xc3\xbc\xc3\x9f" "e\r\n\xe2\x82\xac und \xf0\x9f\x98\x80\r\nend",
       QString::fromUtf8("Grüße\n€ und 😀\nend")},
      {TTextEncoding::Windows1252, "Gr\xfc\xdf" "e\r\n\x80 und\r\nend", QString::fromUtf8("Grüße\n€ und\nend")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    DocumentWindow doc("");
    doc.resize(600, 300);
    doc.show();
    TAdvancedEditor& ed = doc.Editor();
    ed.SetEncoding(c.encoding);
    ed.Lines->SetTextStr(c.bytes);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&doc.View());
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::EditableText);
    QAccessibleTextInterface* text = iface->textInterface();
    QAccessibleEditableTextInterface* edit = iface->editableTextInterface();
    ASSERT_NE(text, nullptr);
    ASSERT_NE(edit, nullptr);

    EXPECT_EQ(text->characterCount(), c.text.size());
    EXPECT_EQ(text->text(0, text->characterCount()), c.text);
    const int second = static_cast<int>(c.text.indexOf('\n')) + 1, third = static_cast<int>(c.text.lastIndexOf('\n')) + 1;
    EXPECT_EQ(text->text(4, second + 1), c.text.mid(4, second + 1 - 4));  // across a line break
    int start = 0, end = 0;
    EXPECT_EQ(text->textAtOffset(second + 3, QAccessible::LineBoundary, &start, &end), c.text.mid(second, third - second));
    EXPECT_EQ(std::pair(start, end), std::pair(second, third));
    EXPECT_EQ(text->textAtOffset(second + 3, QAccessible::WordBoundary, &start, &end), QStringLiteral("und"));
    EXPECT_EQ(std::pair(start, end), std::pair(second + 2, second + 5));
    EXPECT_EQ(text->textAfterOffset(1, QAccessible::LineBoundary, &start, &end), c.text.mid(second, third - second));
    EXPECT_EQ(text->textBeforeOffset(third, QAccessible::LineBoundary, &start, &end), c.text.mid(second, third - second));
    EXPECT_EQ(text->textAtOffset(3, QAccessible::CharBoundary, &start, &end), QStringLiteral("ß"));

    // The caret and the selection, set and read back; the editor's own caret agrees.
    text->setCursorPosition(third + 1);
    EXPECT_EQ(text->cursorPosition(), third + 1);
    EXPECT_EQ(ed.CaretY, 2);
    EXPECT_EQ(ed.CaretX, 1);
    text->setSelection(0, 2, second + 1);
    EXPECT_EQ(text->selectionCount(), 1);
    text->selection(0, &start, &end);
    EXPECT_EQ(std::pair(start, end), std::pair(2, second + 1));

    // Edits: one undoable change each, in the document's encoding.
    edit->replaceText(2, 4, QStringLiteral("oß"));  // "üß" -> "oß"
    edit->insertText(second, QString::fromUtf8("ä\n"));
    const QString after = c.text.left(2) + QStringLiteral("oß") + c.text.mid(4, second - 4) + QString::fromUtf8("ä\n") +
                          c.text.mid(second);
    EXPECT_EQ(text->text(0, text->characterCount()), after);
    EXPECT_EQ(ed.Lines->Count(), 4);
    edit->deleteText(0, 2);
    EXPECT_EQ(text->text(0, 3), QStringLiteral("oße"));
    ed.Undo();
    ed.Undo();
    ed.Undo();
    EXPECT_EQ(ed.Lines->GetTextStr(), c.bytes + "\r\n");
    EXPECT_EQ(text->text(0, text->characterCount()), c.text);
  }
}

}  // namespace
