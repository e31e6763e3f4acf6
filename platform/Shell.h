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
};

}  // namespace platform
