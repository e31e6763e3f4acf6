#pragma once

// Desktop shell services.

#include <string>

namespace platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // Opens a web address in the user's browser.
  virtual void OpenURL(const std::string& url) = 0;
  // Tells the desktop that file-type associations changed.
  virtual void NotifyAssociationsChanged() = 0;
};

}  // namespace platform
