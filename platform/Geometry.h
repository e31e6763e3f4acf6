#pragma once

// Small value types shared by the platform interfaces.

#include <cstdint>

namespace platform {

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;   // exclusive
  int bottom = 0;  // exclusive

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  bool operator==(const Rect&) const = default;
};

// Colours are 0x00BBGGRR, or a system colour index with the high byte 0xFF.
using Color = std::uint32_t;

constexpr bool IsSystemColor(Color c) { return (c >> 24) == 0xFF; }

// System colour indices (high byte 0xFF); the platform maps them to its palette.
namespace syscolor {
constexpr Color Window = 0xFF000005;
constexpr Color WindowText = 0xFF000008;
constexpr Color Highlight = 0xFF00000D;
constexpr Color HighlightText = 0xFF00000E;
constexpr Color ButtonFace = 0xFF00000F;
constexpr Color ButtonShadow = 0xFF000010;
constexpr Color GrayText = 0xFF000011;
constexpr Color ButtonText = 0xFF000012;
constexpr Color ButtonHighlight = 0xFF000014;
}  // namespace syscolor

// Font style bits, bit 0 first.
namespace fontstyle {
constexpr std::uint8_t Bold = 1;
constexpr std::uint8_t Italic = 2;
constexpr std::uint8_t Underline = 4;
constexpr std::uint8_t StrikeOut = 8;
}  // namespace fontstyle

}  // namespace platform
