// TAdvancedEditor: cut, copy, paste and case conversion.

#include <utility>

#include "editor/AdvEdit.h"
#include "editor/Utf8.h"
#include "platform/Clipboard.h"

void TAdvancedEditor::Copy() {
  std::string text = GetSelText();
  if (text.empty() || SelMode != 0 || !window_) return;
  window_->GetClipboard().SetText(text);
}

void TAdvancedEditor::Cut() {
  if (ReadOnly || GetSelText().empty()) return;
  Copy();
  DeleteSelection();
}

void TAdvancedEditor::Paste() {
  if (ReadOnly) return;
  pasteEncoding_ = TPasteEncoding::Kept;
  std::string text = window_ && window_->GetClipboard().HasText() ? window_->GetClipboard().GetText() : std::string();
  const TPasteEncoding how = std::exchange(pasteEncoding_, TPasteEncoding::Kept);
  if (how == TPasteEncoding::Refused) return;
  InsertText(std::move(text));
  if (how == TPasteEncoding::Promoted) EndUndoGroup();
}

std::optional<std::string> TAdvancedEditor::PasteNeedingUtf8(const std::string& utf8, char32_t ch) {
  if (Utf8()) return utf8;
  if (!utf8::Encodable(ch) || !CanPromoteToUtf8()) {
    pasteEncoding_ = TPasteEncoding::Refused;
    RefuseChar(ch);
    return std::nullopt;
  }
  BeginUndoGroup();
  PromoteToUtf8();
  pasteEncoding_ = TPasteEncoding::Promoted;
  return utf8;
}

std::string TAdvancedEditor::ConvertCase(const std::string& text, TCaseMode mode) {
  if (OnCaseChange) {
    std::string result;
    OnCaseChange(*this, mode, result, text);
    return result;
  }
  return CaseConverted(text, mode);
}

std::string TAdvancedEditor::CaseConverted(std::string text, TCaseMode mode) {
  return ConvertTextCase(encoding_, std::move(text), mode);
}

void TAdvancedEditor::RefuseChar(char32_t ch) {
  if (window_) window_->Beep();
  if (OnCharRefused) OnCharRefused(*this, ch);
}

void TAdvancedEditor::CaseCommand(TCommandFrame& f, TCaseMode mode) {
  if (!SelAvail) return;
  SetSelText(ConvertCase(GetSelText(), mode));
  f.CaretOnly = false;
  f.X = CaretX;
  f.Y = CaretY;
}
