// TAdvancedEditor: cut, copy, paste and case conversion.

#include "editor/AdvEdit.h"
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
  std::string text = window_ && window_->GetClipboard().HasText() ? window_->GetClipboard().GetText() : std::string();
  InsertText(text);
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
