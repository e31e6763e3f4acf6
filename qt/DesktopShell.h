#pragma once

// The shell of a Linux desktop: addresses open through QDesktopServices;
// associations the program keeps in its registry reach the desktop as
// default applications in the user's mimeapps.list (DesktopAssociations.h).

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Shell.h"
#include "qt/DesktopAssociations.h"

namespace platform {

// The extensions (without their point) the program's registry holds, each
// with the command line of its default verb.
using TRegisteredCommands = std::function<std::vector<std::pair<std::string, std::string>>()>;

class DesktopShell : public Shell {
 public:
  // Opens addresses only; associations stay in the registry.
  DesktopShell() = default;
  // `registered` lists the associations made in the program's registry;
  // `programFile` is the program they name.
  DesktopShell(TRegisteredCommands registered, XdgFolders folders, std::string programFile);

  void OpenURL(const std::string& url) override;
  // Makes the program the desktop's default for the MIME type of every
  // extension whose registry command runs it, and gives back the types of
  // those that no longer do. Failures are not reported: the configuration
  // dialog's checks show what reached the desktop.
  void NotifyAssociationsChanged() override;
  bool DesktopRuns(const std::string& extension, const std::string& command) override;

 private:
  TRegisteredCommands FRegistered;
  XdgFolders FFolders;
  std::unique_ptr<DesktopAssociations> FDesktop;
};

}  // namespace platform
