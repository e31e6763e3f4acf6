// TAdvancedEditor: cut, copy, paste and case conversion.

#include "editor/AdvEdit.h"
#include "editor/CaseMap.h"
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
  switch (mode) {
    case cmUpper:
      return casemap::ToUpper(text);
    case cmLower:
      return casemap::ToLower(text);
    case cmToggle: {
      std::string out = text;
      for (char& c : out) {
        char up = casemap::ToUpper(c);
        c = up != c ? up : casemap::ToLower(c);
      }
      return out;
    }
  }
}

void TAdvancedEditor::CaseCommand(TCommandFrame& f, TCaseMode mode) {
  if (!SelAvail) return;
  SetSelText(ConvertCase(GetSelText(), mode));
  f.CaretOnly = false;
  f.X = CaretX;
  f.Y = CaretY;
}
