#pragma once

// The shell through QDesktopServices.

#include "platform/Shell.h"

namespace platform {

class DesktopShell : public Shell {
 public:
  void OpenURL(const std::string& url) override;
  // Associations live in the program's own registry file: nothing to tell.
  void NotifyAssociationsChanged() override {}
};

}  // namespace platform
