#pragma once

// The system clipboard, holding single-byte text.

#include <functional>
#include <string>

namespace platform {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual bool HasText() const = 0;
  virtual std::string GetText() const = 0;
  virtual void SetText(const std::string& text) = 0;
  // Called whenever the clipboard content changes (by this program or another).
  std::function<void()> OnChanged;
};

}  // namespace platform
