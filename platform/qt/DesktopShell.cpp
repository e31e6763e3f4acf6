#include "platform/qt/DesktopShell.h"

#include <QDesktopServices>
#include <QUrl>

#include "platform/qt/Codepage.h"

namespace platform {

void DesktopShell::OpenURL(const std::string& url) {
  QDesktopServices::openUrl(QUrl::fromUserInput(codepage::ToQString(url)));
}

}  // namespace platform
