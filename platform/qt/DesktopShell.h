#pragma once

// The shell of a Linux desktop: addresses open through QDesktopServices;
// associations the program keeps in its registry reach the desktop as
// default applications in the user's mimeapps.list (DesktopAssociations.h).

#include <memory>

#include "app/FTA.h"
#include "platform/Shell.h"
#include "platform/qt/DesktopAssociations.h"

namespace platform {

class DesktopShell : public Shell {
 public:
  // Opens addresses only; associations stay in the registry.
  DesktopShell() = default;
  // `openRegistry` reaches the registry the associations are made in;
  // `programFile` is the program they name.
  DesktopShell(TRegistryOpener openRegistry, XdgFolders folders, std::string programFile);

  void OpenURL(const std::string& url) override;
  // Makes the program the desktop's default for the MIME type of every
  // extension whose registry command runs it, and gives back the types of
  // those that no longer do. Failures are not reported: the configuration
  // dialog's checks show what reached the desktop.
  void NotifyAssociationsChanged() override;
  bool DesktopRuns(const std::string& extension, const std::string& command) override;

 private:
  TRegistryOpener FOpenRegistry;
  XdgFolders FFolders;
  std::unique_ptr<DesktopAssociations> FDesktop;
};

}  // namespace platform
