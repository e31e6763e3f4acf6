#include "editor/TextEscape.h"

namespace {

enum class TOnUnknown { Keep, Refuse };

// The one unescaping loop; `onUnknown` says what a sequence EscapeText never
// writes (or a lone trailing backslash) becomes.
std::optional<std::string> Unescape(std::string_view text, TOnUnknown onUnknown) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (i + 1 == text.size()) {
      if (onUnknown == TOnUnknown::Refuse) return std::nullopt;
      out.push_back('\\');
      break;
    }
    char next = text[++i];
    switch (next) {
      case 't':
        out.push_back('\t');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case '\\':
        out.push_back('\\');
        break;
      default:
        if (onUnknown == TOnUnknown::Refuse) return std::nullopt;
        out.push_back(next);  // the backslash is dropped
    }
  }
  return out;
}

}  // namespace

std::string EscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string UnescapeText(std::string_view text) { return *Unescape(text, TOnUnknown::Keep); }

std::optional<std::string> UnescapeTextStrictly(std::string_view text) {
  return Unescape(text, TOnUnknown::Refuse);
}
