#pragma once

// Record types and numbers shared by the editing component, the highlighters
// and the application.

#include <cstdint>
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
