// The families the windows ask for resolve to the named stand-ins (on a
// machine without the requested fonts, as the install script leaves it),
// in every style the program draws them in.

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>

#include "qt/Fonts.h"
#include "tests/support/QtTestApp.h"

namespace {

// "URW Bookman [urw]": the family without the foundry Qt adds when two have it.
QString FamilyOf(const QFont& font) {
  QString family = QFontInfo(font).family();
  return family.left(family.indexOf(" [")).trimmed();
}

TEST(Fonts, EveryRequestedFamilyResolvesToItsStandIn) {
  TestApplication();
  for (const platform::FontSubstitute& font : platform::kFontSubstitutes) {
    SCOPED_TRACE(font.Requested);
    // A machine that has the requested family draws with it.
    const QString expected = QFontDatabase::hasFamily(font.Requested) ? font.Requested : font.Substitute;
    for (bool bold : {false, true}) {
      for (bool italic : {false, true}) {
        QFont requested(font.Requested);
        requested.setPixelSize(15);
        requested.setBold(bold);
        requested.setItalic(italic);
        EXPECT_EQ(FamilyOf(requested), expected) << "bold " << bold << ", italic " << italic;
      }
    }
  }
}

}  // namespace
