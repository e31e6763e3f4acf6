// A scroll bar drawn from its kept image looks exactly as a plain QScrollBar
// in the same state, through changes of size, range, position and state.

#include <gtest/gtest.h>

#include <QImage>
#include <QScrollBar>

#include "qt/CachedScrollBar.h"
#include "tests/support/QtTestApp.h"

namespace {

QImage Drawn(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_ARGB32); }

TEST(CachedScrollBar, DrawsWhatAPlainScrollBarDrawsInEveryState) {
  TestApplication();
  for (Qt::Orientation orientation : {Qt::Horizontal, Qt::Vertical}) {
    platform::CachedScrollBar cached(orientation);
    QScrollBar plain(orientation);
    // Shown, as in a window: a shown bar draws a new size or range ahead.
    cached.show();
    plain.show();
    const struct {
      int length, minimum, maximum, value, page;
      bool enabled, inverted;
    } steps[] = {
        {300, 0, 100, 0, 10, true, false},   {300, 0, 100, 0, 10, true, false},  // kept
        {300, 0, 100, 60, 10, true, false},  {300, 0, 100, 60, 90, true, false},
        {500, 0, 100, 60, 90, true, false},  {500, 0, 33'000'000, 16'000'000, 50, true, false},
        {500, 0, 100, 100, 10, true, false}, {500, 0, 100, 100, 10, false, false},
        {500, 0, 100, 20, 10, true, true},   {300, 0, 100, 0, 10, true, false},
        {500, 0, 0, 0, 10, true, false},     {500, 0, 0, 0, 10, true, false},  // nothing to scroll
        {500, 0, 0, 0, 10, false, true},     {500, 0, 100, 0, 10, true, false},
    };
    for (const auto& s : steps) {
      for (QScrollBar* bar : {static_cast<QScrollBar*>(&cached), &plain}) {
        bar->resize(orientation == Qt::Horizontal ? QSize(s.length, 16) : QSize(16, s.length));
        bar->setRange(s.minimum, s.maximum);
        bar->setValue(s.value);
        bar->setPageStep(s.page);
        bar->setEnabled(s.enabled);
        bar->setInvertedAppearance(s.inverted);
      }
      ASSERT_EQ(Drawn(cached), Drawn(plain)) << "length " << s.length << ", value " << s.value;
    }
  }
}

}  // namespace
