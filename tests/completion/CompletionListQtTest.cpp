// The Qt completion pop-up, offscreen: how it draws its items, how the mouse
// selects, scrolls, accepts and dismisses, that it leaves the focus where it
// was, and the engine showing it under an editor's caret.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <memory>
#include <optional>

#include "editor/AdvCompletion.h"
#include "editor/AdvEdit.h"
#include "qt/AECmplList.h"
#include "tests/support/FakeEditorWindow.h"
#include "tests/support/QtTestApp.h"


namespace {

void Wait(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

constexpr int kItem = 13;

class CompletionListQt : public ::testing::Test {
 protected:
  CompletionListQt() {
    TestApplication();
    list = std::make_unique<TAdvEditCompletionList>();
    list->OnClose = [this](bool accept) { closed = accept; };
  }

  void Show(int mode, std::vector<platform::CompletionItem> items, int index, int visible, int width = 300) {
    list->SetItems(mode, std::move(items));
    list->SetItemHeight(kItem);
    list->SetStyle(platform::ListBoxStyle::OwnerDrawFixed);
    list->SetItemIndex(index);
    list->ShowAt({0, 0, width, visible * kItem + 2});
    Settle();
  }
  void ShowMany(int count) {
    std::vector<platform::CompletionItem> items;
    for (int i = 0; i < count; ++i) items.push_back({"w=w", "word " + std::to_string(i), ""});
    Show(0, std::move(items), -1, 6);
  }

  // Pixels of item `row` (widget coordinates, inside the 1-pixel frame) that
  // differ clearly from `background`, between x0 and x1.
  struct Ink {
    int count = 0, left = -1, right = -1;
  };
  Ink InkOf(const QImage& image, int row, int x0, int x1, QColor background) const {
    Ink ink;
    for (int y = 1 + row * kItem; y < 1 + (row + 1) * kItem; ++y) {
      for (int x = x0; x < x1; ++x) {
        QColor p = image.pixelColor(x, y);
        int diff = std::abs(p.red() - background.red()) + std::abs(p.green() - background.green()) +
                   std::abs(p.blue() - background.blue());
        if (diff < 96) continue;
        ++ink.count;
        if (ink.left < 0 || x < ink.left) ink.left = x;
        ink.right = std::max(ink.right, x);
      }
    }
    return ink;
  }
  QImage Grab() { return list->grab().toImage(); }

  void Mouse(QEvent::Type type, QPoint viewportPos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QWidget* vp = list->viewport();
    QMouseEvent e(type, QPointF(viewportPos), QPointF(vp->mapToGlobal(viewportPos)), button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(vp, &e);
  }
  void Press(QPoint p) { Mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton); }
  void Drag(QPoint p) { Mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton); }
  void Release(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
    Mouse(QEvent::MouseButtonRelease, p, b, Qt::NoButton);
  }
  QPoint ItemPoint(int index) const { return {40, index * kItem + kItem / 2}; }

  std::unique_ptr<TAdvEditCompletionList> list;
  std::optional<bool> closed;
};

// ---------------------------------------------------------------- drawing

TEST_F(CompletionListQt, TemplatesShowTheDescriptionLeftAndTheNameBoldAtTheRight) {
  Show(1, {{"x=HHHH=body", "HHHH", "HHHH"}, {"for=loop=for", "loop", "forwarding"}}, 1, 2);
  const QImage image = Grab();
  const QColor base = list->palette().color(QPalette::Base);

  const Ink left = InkOf(image, 0, 1, 150, base);
  const Ink right = InkOf(image, 0, 150, 299, base);
  ASSERT_GT(left.count, 0);
  ASSERT_GT(right.count, 0);
  // 3 pixels in from the frame, and 6 pixels short of the right edge (298 is the last inner column).
  EXPECT_GE(left.left, 1 + TAdvEditCompletionList::kTextMargin);
  EXPECT_LE(left.left, 1 + TAdvEditCompletionList::kTextMargin + 2);
  EXPECT_LE(right.right, 298 - TAdvEditCompletionList::kNameMargin);
  EXPECT_GE(right.right, 298 - TAdvEditCompletionList::kNameMargin - 3);
  // The same letters in bold take clearly more ink.
  EXPECT_GT(right.count, left.count * 6 / 5);

  // The selected item is filled with the highlight colour, the other with the base colour.
  EXPECT_EQ(image.pixelColor(150, 1 + kItem + kItem / 2), list->palette().color(QPalette::Highlight));
  EXPECT_EQ(image.pixelColor(150, 1 + kItem / 2), base);
}

TEST_F(CompletionListQt, IdentifiersShowOnlyTheirDescription) {
  Show(0, {{"print=value", "value", "print"}}, -1, 1);
  const QImage image = Grab();
  const QColor base = list->palette().color(QPalette::Base);
  const Ink ink = InkOf(image, 0, 1, 299, base);
  ASSERT_GT(ink.count, 0);
  EXPECT_LT(ink.right, 100);
}

TEST_F(CompletionListQt, TheDrawEventReplacesTheListsDrawing) {
  list->SetDrawItem([](platform::Canvas& canvas, int index, const platform::Rect& rect, bool selected) {
    canvas.FillRect(rect, index == 1 && selected ? 0x0000FF : 0x00FF00);
  });
  Show(0, {{"a=a", "a", ""}, {"b=b", "b", ""}}, 1, 2);
  const QImage image = Grab();
  EXPECT_EQ(image.pixelColor(20, 1 + kItem / 2), QColor(0, 255, 0));
  EXPECT_EQ(image.pixelColor(20, 1 + kItem + kItem / 2), QColor(255, 0, 0));
}

// ---------------------------------------------------------------- keys and focus

TEST_F(CompletionListQt, KeysMoveTheSelectionByItemsAndPages) {
  ShowMany(20);
  list->KeyPress(platform::ListKey::Down);
  EXPECT_EQ(list->ItemIndex(), 0);
  list->KeyPress(platform::ListKey::PageDown);
  EXPECT_EQ(list->ItemIndex(), 5);
  list->KeyPress(platform::ListKey::PageDown);
  list->KeyPress(platform::ListKey::PageDown);
  list->KeyPress(platform::ListKey::PageDown);
  list->KeyPress(platform::ListKey::PageDown);
  EXPECT_EQ(list->ItemIndex(), 19);
  EXPECT_GT(list->verticalScrollBar()->value(), 0);  // scrolled to keep it in view
  list->KeyPress(platform::ListKey::Up);
  EXPECT_EQ(list->ItemIndex(), 18);
}

TEST_F(CompletionListQt, ShowingTheListLeavesTheFocusWithTheEditor) {
  QLineEdit editorStandIn;
  editorStandIn.show();
  editorStandIn.activateWindow();
  editorStandIn.setFocus();
  Settle();
  ASSERT_EQ(QApplication::focusWidget(), &editorStandIn);
  ShowMany(3);
  EXPECT_TRUE(list->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), &editorStandIn);
  EXPECT_NE(QApplication::activeWindow(), list.get());
  EXPECT_TRUE(list->isWindow());
  Press(ItemPoint(1));
  EXPECT_EQ(QApplication::focusWidget(), &editorStandIn);
  list->Hide();
  EXPECT_FALSE(list->isVisible());
}

// ---------------------------------------------------------------- mouse

TEST_F(CompletionListQt, PressAndDragSelectReleaseInsideAccepts) {
  ShowMany(20);
  Press(ItemPoint(2));
  EXPECT_EQ(list->ItemIndex(), 2);
  Drag(ItemPoint(4));
  EXPECT_EQ(list->ItemIndex(), 4);
  EXPECT_FALSE(closed.has_value());
  Release(ItemPoint(4));
  ASSERT_TRUE(closed.has_value());
  EXPECT_TRUE(*closed);
}

TEST_F(CompletionListQt, ReleaseOutsideOrOfAnotherButtonDismisses) {
  ShowMany(20);
  Press(ItemPoint(1));
  Release({40, -30});
  ASSERT_TRUE(closed.has_value());
  EXPECT_FALSE(*closed);

  closed.reset();
  Press(ItemPoint(1));
  Release(ItemPoint(1), Qt::RightButton);
  ASSERT_TRUE(closed.has_value());
  EXPECT_FALSE(*closed);
}

TEST_F(CompletionListQt, DraggingPastAnEdgeScrollsFasterFurtherOut) {
  ShowMany(20);
  const int h = list->viewport()->height();
  Press(ItemPoint(3));
  Drag({40, h + 5});
  EXPECT_EQ(list->ScrollInterval(), 200);
  Drag({40, h + kItem + 10});
  EXPECT_EQ(list->ScrollInterval(), 50);
  Drag({40, -5});
  EXPECT_EQ(list->ScrollInterval(), 200);
  Drag(ItemPoint(2));
  EXPECT_EQ(list->ScrollInterval(), 0);

  Drag({40, h + kItem + 10});
  Wait(400);
  const int top = list->verticalScrollBar()->value();
  EXPECT_GT(top, 0);
  // The selection follows to the last visible item.
  EXPECT_EQ(list->ItemIndex(), top + 5);
  Release({40, h + kItem + 10});
  EXPECT_EQ(list->ScrollInterval(), 0);
  ASSERT_TRUE(closed.has_value());
  EXPECT_FALSE(*closed);
}

TEST_F(CompletionListQt, TheApplicationLosingActivationCancels) {
  ShowMany(3);
  Q_EMIT qApp->applicationStateChanged(Qt::ApplicationInactive);
  ASSERT_TRUE(closed.has_value());
  EXPECT_FALSE(*closed);

  closed.reset();
  list->Hide();
  Q_EMIT qApp->applicationStateChanged(Qt::ApplicationInactive);
  EXPECT_FALSE(closed.has_value());  // nothing to cancel
}

// ---------------------------------------------------------------- with the engine

TEST(CompletionListWithEditor, TheEngineShowsTheQtListUnderTheCaretAndAMouseChoiceInserts) {
  TestApplication();
  InstallQtCompletionList();
  {
    FakeEditorWindow window;
    TAdvancedEditor editor;
    editor.AttachWindow(&window);
    editor.SetWordWrap(false);
    editor.Completion->Enabled = true;
    editor.Completion->Identifiers = {"print=print a value", "printf=formatted print"};
    editor.Lines->SetTextStr("pr");
    editor.MoveCaret(2, 0);
    editor.ExecuteCommand(cmdCompleteWord);
    Settle();

    auto* list = dynamic_cast<TAdvEditCompletionList*>(editor.Completion->ListBox());
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->geometry(), QRect(117, 115, 300, 2 * kItem + 2));
    EXPECT_EQ(list->ItemIndex(), 0);

    QWidget* vp = list->viewport();
    const QPoint second(40, kItem + kItem / 2);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(second), QPointF(vp->mapToGlobal(second)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(second), QPointF(vp->mapToGlobal(second)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &release);

    EXPECT_FALSE(list->isVisible());
    EXPECT_FALSE(editor.Completion->Active);
    EXPECT_EQ(editor.Lines->Get(0), "printf");
    EXPECT_EQ(editor.CaretX, 6);
  }
  TCompletion::ListFactory = nullptr;
}

}  // namespace
