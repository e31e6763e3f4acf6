#pragma once

// Desktop shell services.

#include <string>

namespace platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // Opens an address with the program the desktop associates with it
  // (a web address in the browser). Failures are not reported.
  virtual void OpenURL(const std::string& url) = 0;
  // Tells the desktop that file-type associations changed.
  virtual void NotifyAssociationsChanged() = 0;
  // Whether the desktop runs the program of `command` (a command line of the
  // registry) to open files with the extension. A shell that keeps no
  // associations of its own leaves that to the registry: true.
  virtual bool DesktopRuns(const std::string& extension, const std::string& command) {
    (void)extension;
    (void)command;
    return true;
  }
};

}  // namespace platform
