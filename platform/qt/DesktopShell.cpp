#include "platform/qt/DesktopShell.h"

#include <QDesktopServices>
#include <QUrl>
#include <set>

#include "platform/qt/Codepage.h"

namespace platform {

DesktopShell::DesktopShell(TRegistryOpener openRegistry, XdgFolders folders, std::string programFile)
    : FOpenRegistry(std::move(openRegistry)),
      FFolders(folders),
      FDesktop(std::make_unique<DesktopAssociations>(std::move(folders), std::move(programFile))) {}

void DesktopShell::OpenURL(const std::string& url) {
  QDesktopServices::openUrl(QUrl::fromUserInput(codepage::ToQString(url)));
}

void DesktopShell::NotifyAssociationsChanged() {
  if (!FDesktop || !FOpenRegistry) return;
  try {
    std::vector<std::string> extensions;
    if (std::unique_ptr<Registry> registry = FOpenRegistry()) {
      for (const std::string& key : registry->SubKeys(""))
        if (key.size() > 1 && key[0] == '.') extensions.push_back(key.substr(1));
    }
    std::set<std::string> ours;
    for (const std::string& extension : extensions) {
      TFileTypeAssociator registry("", FOpenRegistry, nullptr);  // the registry's word alone
      registry.SetExtension(extension);
      if (ProgramOfCommand(registry.GetCommand(), FFolders.Path) != FDesktop->ProgramFile()) continue;
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
