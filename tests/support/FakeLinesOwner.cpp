#include "tests/support/FakeLinesOwner.h"

std::string FakeLinesOwner::ExpandTabs(std::string_view text) const {
  std::string out;
  for (char c : text) {
    if (c == '\t') {
      out.append(static_cast<std::size_t>(tabWidth), ' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::vector<std::string> LinesOf(const TAdvLines& lines) {
  std::vector<std::string> out;
  for (int i = 0; i < lines.Count(); ++i) out.push_back(lines.Get(i));
  return out;
}
