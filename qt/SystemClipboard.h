#pragma once

// The desktop clipboard through QClipboard, as the byte cells of a document
// (TCellTable; Windows-1252 without one). OnChanged fires whenever the
// clipboard's content changes, by this program or another.

#include <QMetaObject>
#include <functional>

#include "editor/CellTable.h"
#include "platform/Clipboard.h"

namespace platform {

class SystemClipboard : public Clipboard {
 public:
  // `cells` (not owned) may be nullptr: Windows-1252.
  explicit SystemClipboard(TCellTable* cells = nullptr);
  ~SystemClipboard() override;
  SystemClipboard(const SystemClipboard&) = delete;
  SystemClipboard& operator=(const SystemClipboard&) = delete;

  bool HasText() const override;
  // A character of the clipboard's text that finds no cell in the document
  // goes to OnRefused, and the paste ends there (EComplete).
  std::string GetText() const override;
  void SetText(const std::string& text) override;
  std::function<void(char32_t ch)> OnRefused;

 private:
  TCellTable* cells_;
  QMetaObject::Connection connection_;
};

}  // namespace platform
