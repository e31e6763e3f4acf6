#include "qt/DesktopShell.h"

#include <QDesktopServices>
#include <QUrl>
#include <set>

#include "qt/Codepage.h"

namespace platform {

DesktopShell::DesktopShell(TRegisteredCommands registered, XdgFolders folders, std::string programFile)
    : FRegistered(std::move(registered)),
      FFolders(folders),
      FDesktop(std::make_unique<DesktopAssociations>(std::move(folders), std::move(programFile))) {}

void DesktopShell::OpenURL(const std::string& url) {
  QDesktopServices::openUrl(QUrl::fromUserInput(codepage::ToQString(url)));
}

void DesktopShell::NotifyAssociationsChanged() {
  if (!FDesktop || !FRegistered) return;
  try {
    std::set<std::string> ours;
    for (const auto& [extension, command] : FRegistered()) {
      if (ProgramOfCommand(command, FFolders.Path) != FDesktop->ProgramFile()) continue;
      std::string type = DesktopAssociations::MimeTypeOf(extension);
      if (!type.empty()) ours.insert(type);
    }
    FDesktop->Apply(ours);
  } catch (const std::exception&) {
    // A folder or file that cannot be written: the desktop keeps what it had.
  }
}

bool DesktopShell::DesktopRuns(const std::string& extension, const std::string& command) {
  if (!FDesktop) return true;
  return FDesktop->Opens(extension, ProgramOfCommand(command, FFolders.Path));
}

}  // namespace platform
