// The window's scroll bars: the ranges the editor gives them, the scroll
// actions, which actions move the view, and the bar object's own rules.

#include <gtest/gtest.h>

#include <string>

#include "editor/AESB.h"
#include "tests/support/EditorFixture.h"

namespace {

using platform::ScrollBarKind;

class ScrollBarTest : public EditorTest {
 protected:
  void Rows(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "row\r\n";
    SetText(text);
    ASSERT_EQ(editor.Lines->GetRowCount(), n);
  }
  const platform::ScrollBarInfo& Vertical() { return window.bars[ScrollBarKind::Vertical]; }
  const platform::ScrollBarInfo& Horizontal() { return window.bars[ScrollBarKind::Horizontal]; }
};

TEST_F(ScrollBarTest, ATextShorterThanTheViewGivesADisabledEmptyBar) {
  Rows(10);
  EXPECT_EQ(Vertical().min, 0);
  EXPECT_EQ(Vertical().max, 0);
  EXPECT_EQ(Vertical().page, 30);
  EXPECT_FALSE(Vertical().enabled);
  for (int action : {sb::LineDown, sb::PageDown, sb::Bottom}) {
    editor.VertScroll(action, 0);
    EXPECT_EQ(editor.VertBar->Position, 0) << action;
    EXPECT_EQ(editor.TopRow, 0) << action;
  }
  editor.VertScroll(sb::ThumbTrack, 5);
  EXPECT_EQ(editor.TopRow, 0);
}

TEST_F(ScrollBarTest, AHundredRowsInThirtyScrollUpToSeventy) {
  Rows(100);
  EXPECT_EQ(Vertical().min, 0);
  EXPECT_EQ(Vertical().max, 99);
  EXPECT_EQ(Vertical().page, 30);
  EXPECT_TRUE(Vertical().enabled);
  EXPECT_EQ(editor.VertBar->LargeChange, 29);

  editor.VertScroll(sb::ThumbTrack, 65);
  ASSERT_EQ(editor.TopRow, 65);
  editor.VertScroll(sb::PageDown, 0);
  EXPECT_EQ(editor.VertBar->Position, 70);
  EXPECT_EQ(editor.TopRow, 70);
  EXPECT_EQ(Vertical().pos, 70);
  editor.VertScroll(sb::LineDown, 0);
  EXPECT_EQ(editor.TopRow, 70);
  editor.VertScroll(sb::ThumbTrack, 1000);
  EXPECT_EQ(editor.TopRow, 70);

  editor.VertScroll(sb::PageUp, 0);
  EXPECT_EQ(editor.TopRow, 41);
  editor.VertScroll(sb::LineUp, 0);
  EXPECT_EQ(editor.TopRow, 40);
  editor.VertScroll(sb::ThumbTrack, -5);
  EXPECT_EQ(editor.TopRow, 0);
}

TEST_F(ScrollBarTest, DraggingTheThumbMovesTheViewAndReleasingItDoesNot) {
  Rows(100);
  for (int pos : {10, 20, 33}) {
    editor.VertScroll(sb::ThumbTrack, pos);
    EXPECT_EQ(editor.TopRow, pos);
  }
  editor.VertScroll(sb::ThumbPosition, 12);
  EXPECT_EQ(editor.VertBar->Position, 12);
  EXPECT_EQ(editor.TopRow, 33);
}

TEST_F(ScrollBarTest, TopAndBottomMoveOnlyTheBar) {
  Rows(100);
  editor.VertScroll(sb::ThumbTrack, 40);
  editor.VertScroll(sb::Top, 0);
  EXPECT_EQ(editor.VertBar->Position, 0);
  EXPECT_EQ(Vertical().pos, 0);
  EXPECT_EQ(editor.TopRow, 40);
  editor.VertScroll(sb::Bottom, 0);
  EXPECT_EQ(editor.VertBar->Position, 70);
  EXPECT_EQ(editor.TopRow, 40);
  editor.VertScroll(sb::EndScroll, 0);
  EXPECT_EQ(editor.VertBar->Position, 70);
  EXPECT_EQ(editor.TopRow, 40);
}

TEST_F(ScrollBarTest, HorizontalRangeIsTheWrapColumnOrTheColumnCapacity) {
  SetText("x");
  EXPECT_EQ(Horizontal().max, editor.ColumnCapacity - 1);  // no word wrap in the fixture
  EXPECT_EQ(Horizontal().page, 99);
  editor.HorzScroll(sb::LineDown, 0);
  EXPECT_EQ(editor.LeftCol, 1);
  editor.HorzScroll(sb::PageDown, 0);
  EXPECT_EQ(editor.LeftCol, 99);

  editor.ScrollTo(0, 0);
  editor.SetWordWrap(true);
  editor.RecalcMetrics(false, false);
  // 80 columns fit into 99: nothing to scroll.
  EXPECT_EQ(Horizontal().max, 0);
  EXPECT_FALSE(Horizontal().enabled);

  window.size = {2 + 50 * 8, 480};
  editor.Resize();
  EXPECT_EQ(Horizontal().max, 79);
  EXPECT_EQ(Horizontal().page, 50);
  editor.HorzScroll(sb::ThumbTrack, 79);
  EXPECT_EQ(editor.LeftCol, 30);
}

TEST_F(ScrollBarTest, TheScrollBarsSettingChoosesTheBarsShown) {
  struct Case {
    int which;
    bool horizontal, vertical;
  };
  for (Case c : {Case{0, false, false}, Case{1, true, false}, Case{2, false, true}, Case{3, true, true}}) {
    SCOPED_TRACE(c.which);
    editor.SetScrollBars(c.which);
    EXPECT_EQ(window.horizontalBar, c.horizontal);
    EXPECT_EQ(window.verticalBar, c.vertical);
    EXPECT_EQ(editor.HorzBar->Handle != nullptr, c.horizontal);
    EXPECT_EQ(editor.VertBar->Handle != nullptr, c.vertical);
  }
  // A bar that is not shown still keeps its state.
  editor.SetScrollBars(1);
  window.bars.clear();
  Rows(100);
  EXPECT_EQ(window.bars.count(ScrollBarKind::Vertical), 0u);
  EXPECT_EQ(editor.VertBar->Max, 99);
}

// ---------------------------------------------------------------- the bar object alone

TEST(ScrollBarObject, PositionStaysBetweenMinAndMaxLessLargeChange) {
  TAdvEditScrollBar bar;
  bar.LargeChange = 10;
  bar.SetValue(TAdvEditScrollBar::kMax, 50);
  bar.SetValue(TAdvEditScrollBar::kPosition, 45);
  EXPECT_EQ(bar.Position, 40);
  bar.SetValue(TAdvEditScrollBar::kPosition, -3);
  EXPECT_EQ(bar.Position, 0);
  bar.SetValue(TAdvEditScrollBar::kMin, 5);
  EXPECT_EQ(bar.Position, 5);
  // When the largest position falls below Min, Min it is.
  bar.SetValue(TAdvEditScrollBar::kMax, 12);
  bar.SetValue(TAdvEditScrollBar::kPosition, 9);
  EXPECT_EQ(bar.Position, 5);
}

TEST(ScrollBarObject, ARangeBelowItsMinimumIsRefusedAndLeavesTheBarAsItWas) {
  TAdvEditScrollBar bar;
  bar.SetValue(TAdvEditScrollBar::kMax, 20);
  try {
    bar.SetValue(TAdvEditScrollBar::kMin, 30);
    FAIL() << "no error";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "Scrollbar property out of range");
  }
  EXPECT_EQ(bar.Min, 0);
  EXPECT_EQ(bar.Max, 20);
  EXPECT_THROW(bar.SetValue(TAdvEditScrollBar::kMax, -1), EInvalidOperation);
  EXPECT_EQ(bar.Max, 20);
  EXPECT_THROW(bar.Apply(5, 4, 1, 0), EInvalidOperation);
}

TEST(ScrollBarObject, TheHandlerSeesTheActionAndMayChangeThePosition) {
  TAdvEditScrollBar bar;
  bar.SetValue(TAdvEditScrollBar::kMax, 100);
  bar.SmallChange = 3;
  bar.LargeChange = 20;
  int seenAction = -1, seenPosition = -1;
  bar.OnScroll = [&](TAdvEditScrollBar&, int action, int& position) {
    seenAction = action;
    seenPosition = position;
    if (action == sb::PageDown) position = 7;
  };
  bar.HandleScroll(sb::LineDown, 0);
  EXPECT_EQ(seenAction, sb::LineDown);
  EXPECT_EQ(seenPosition, 3);
  EXPECT_EQ(bar.Position, 3);
  bar.HandleScroll(sb::PageDown, 0);
  EXPECT_EQ(seenPosition, 23);
  EXPECT_EQ(bar.Position, 7);
  bar.HandleScroll(sb::Bottom, 0);
  EXPECT_EQ(seenPosition, 80);
  bar.HandleScroll(9, 0);
  EXPECT_EQ(seenAction, 9);
  EXPECT_EQ(bar.Position, 80);
}

}  // namespace
