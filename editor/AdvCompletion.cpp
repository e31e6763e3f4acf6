#include "editor/AdvCompletion.h"

#include <algorithm>

#include "editor/AdvEdit.h"

bool TCompletion::IsWordChar(char ch) {
  auto c = static_cast<unsigned char>(ch);
  if (c == 8 || c == '_') return true;
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  // Windows-1251: А..я are 0xC0..0xFF, Ё is 0xA8 and ё is 0xB8.
  return c >= 0xC0 || c == 0xA8 || c == 0xB8;
}

void TCompletion::KeyTyped(char) {}

bool TCompletion::HandleKeyDown(std::uint16_t) { return false; }

void TCompletion::CloseList(bool) { Active = false; }

void TCompletion::Complete(int) {}

void TCompletion::SetAutoChange(const std::vector<std::string>& entries) {
  AutoChangePairs.clear();
  for (const std::string& entry : entries) {
    std::size_t sep = entry.find(Separator);
    std::string word = entry.substr(0, sep);
    std::string replacement;
    if (sep != std::string::npos) {
      std::size_t from = sep + Separator.size();
      std::size_t next = entry.find(Separator, from);
      replacement = entry.substr(from, next == std::string::npos ? std::string::npos : next - from);
    }
    if (word.empty()) continue;
    AutoChangePairs.push_back({Editor.ConvertCase(word, 1), replacement});
  }
  std::stable_sort(AutoChangePairs.begin(), AutoChangePairs.end(),
                   [](const TAutoChangeWord& a, const TAutoChangeWord& b) { return a.Word.size() < b.Word.size(); });
}
