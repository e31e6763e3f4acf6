#pragma once

// The desktop clipboard through QClipboard, as single-byte text of the
// Windows-1252 table. OnChanged fires whenever the clipboard's content
// changes, by this program or another.

#include <QMetaObject>

#include "platform/Clipboard.h"

namespace platform {

class SystemClipboard : public Clipboard {
 public:
  SystemClipboard();
  ~SystemClipboard() override;
  SystemClipboard(const SystemClipboard&) = delete;
  SystemClipboard& operator=(const SystemClipboard&) = delete;

  bool HasText() const override;
  std::string GetText() const override;
  void SetText(const std::string& text) override;

 private:
  QMetaObject::Connection connection_;
};

}  // namespace platform
