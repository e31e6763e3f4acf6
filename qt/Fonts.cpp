#include "qt/Fonts.h"

#include <QFont>

namespace platform {

void InstallFontSubstitutes() {
  for (const FontSubstitute& font : kFontSubstitutes)
    QFont::insertSubstitution(QString::fromLatin1(font.Requested), QString::fromLatin1(font.Substitute));
}

}  // namespace platform
