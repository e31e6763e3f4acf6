#pragma once

// Record types and numbers shared by the editing component, the highlighters
// and the application.

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/Geometry.h"

using TColor = platform::Color;

// Colour record of one character of a line (or of its end-of-line mark).
struct TCharAttr {
  TColor FgColor = 0;
  TColor BgColor = 0;
  std::uint8_t Style = 0;  // platform::fontstyle bits
  std::uint8_t Tag = 0;    // token tag, 0 = none
  bool operator==(const TCharAttr&) const = default;
};

using TLineAttrs = std::vector<TCharAttr>;

// One byte per character of the line being painted: 1 = selected.
using TSelAttrs = std::vector<std::uint8_t>;

class TAdvancedEditor;

// The editor's line-colouring event (OnHighlight): colour one line. LineText is
// the line being prepared (when painting: the whole logical line followed by
// the end-of-line mark 0xAC); Attrs has LineText.size() + 1 entries filled with
// the defaults; a highlighter writes only FgColor.
using THighlightEvent = std::function<void(TAdvancedEditor& Sender, std::string_view LineText, int LineIndex,
                                           const TSelAttrs& SelFlags, TLineAttrs& Attrs)>;
