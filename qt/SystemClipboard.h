#pragma once

// The desktop clipboard through QClipboard, as the text of a document: a
// UTF-8 document's bytes as they are, Windows-1252 through the code page
// (Codepage.h). OnChanged fires whenever the clipboard's content changes,
// by this program or another.

#include <QMetaObject>
#include <functional>
#include <string>

#include "editor/TextEncoding.h"
#include "platform/Clipboard.h"

class TAdvancedEditor;

namespace platform {

class SystemClipboard : public Clipboard {
 public:
  // The text is that of `document` (not owned; nullptr: Windows-1252).
  explicit SystemClipboard(const TAdvancedEditor* document = nullptr);
  ~SystemClipboard() override;
  SystemClipboard(const SystemClipboard&) = delete;
  SystemClipboard& operator=(const SystemClipboard&) = delete;

  bool HasText() const override;
  std::string GetText() const override;
  void SetText(const std::string& text) override;

  // The clipboard's text holds a character a Windows-1252 document has no
  // byte for (the first such given, with the whole text as UTF-8): what it
  // returns is pasted, and it may end the paste (EComplete). Without it each
  // such character is pasted as '?'.
  std::function<std::string(const std::string& utf8, char32_t ch)> OnUnmappable;

 private:
  TTextEncoding Encoding() const;

  const TAdvancedEditor* document_;
  QMetaObject::Connection connection_;
};

}  // namespace platform
