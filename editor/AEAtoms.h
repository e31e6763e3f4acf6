#pragma once

// Record types and numbers shared by the editing component, the highlighters
// and the application.

#include <array>
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

// What a line's colours were computed from besides its text: the
// highlighter's state at the start of the line, as bytes.
struct TColourKey {
  std::array<std::uint8_t, 16> Bytes{};
  bool operator==(const TColourKey&) const = default;
};

// One byte per character of the line being painted: 1 = selected.
using TSelAttrs = std::vector<std::uint8_t>;

class TAdvancedEditor;

// The editor's line-colouring event (OnHighlight): colour one line. LineText is
// the line being prepared (when painting: the whole logical line followed by
// the end-of-line mark 0xAC); Attrs has LineText.size() + 1 entries filled with
// the defaults; a highlighter writes only FgColor.
using THighlightEvent = std::function<void(TAdvancedEditor& Sender, std::string_view LineText, int LineIndex,
                                           const TSelAttrs& SelFlags, TLineAttrs& Attrs)>;

// Display glyphs of the single-byte code page.
constexpr char kLineEndMark = '\xAC';     // "¬"
constexpr char kVisibleSpace = '\xB7';    // "·"
// The same two as drawn in a UTF-8 document (U+00AC, U+00B7).
constexpr std::string_view kLineEndMarkUtf8 = "\xC2\xAC";
constexpr std::string_view kVisibleSpaceUtf8 = "\xC2\xB7";

// What ConvertCase does to letters, in the order of the case commands.
enum TCaseMode : std::uint8_t { cmUpper, cmLower, cmToggle };

// Modifier state of a key: bit 0 Shift, bit 1 Alt, bit 2 Ctrl.
using TShiftState = std::uint8_t;
namespace shift {
constexpr TShiftState None = 0;
constexpr TShiftState Shift = 1;
constexpr TShiftState Alt = 2;
constexpr TShiftState Ctrl = 4;
}  // namespace shift

// Virtual-key codes: the keys the editor binds, and every other key the
// window host passes on.
namespace vk {
constexpr std::uint16_t Back = 8, Tab = 9, Clear = 0x0C, Return = 13, Shift = 0x10, Control = 0x11, Menu = 0x12,
                        Pause = 0x13, Capital = 0x14, Escape = 27, Space = 0x20, Prior = 33, Next = 34, End = 35,
                        Home = 36, Left = 37, Up = 38, Right = 39, Down = 40, Select = 0x29, Snapshot = 0x2C,
                        Insert = 45, Delete = 46, Help = 0x2F, LWin = 0x5B, RWin = 0x5C, Apps = 0x5D, Sleep = 0x5F,
                        Numpad0 = 0x60, Multiply = 0x6A, Add = 0x6B, Subtract = 0x6D, Decimal = 0x6E, Divide = 0x6F,
                        F1 = 0x70, NumLock = 0x90, Scroll = 0x91;
// The punctuation keys of a US keyboard.
constexpr std::uint16_t Oem1 = 0xBA, OemPlus = 0xBB, OemComma = 0xBC, OemMinus = 0xBD, OemPeriod = 0xBE, Oem2 = 0xBF,
                        Oem3 = 0xC0, Oem4 = 0xDB, Oem5 = 0xDC, Oem6 = 0xDD, Oem7 = 0xDE;
}  // namespace vk

// Editor command numbers. 0..255 type that character.
enum TEditorCommand : std::uint16_t {
  cmdCaretLeft = 257,
  cmdCaretUp = 258,
  cmdCaretRight = 259,
  cmdCaretDown = 260,
  cmdSelectLeft = 265,
  cmdSelectUp = 266,
  cmdSelectRight = 267,
  cmdSelectDown = 268,
  cmdWordLeft = 269,
  cmdWordRight = 270,
  cmdSelectWordLeft = 271,
  cmdSelectWordRight = 272,
  cmdSelectWord = 273,
  cmdCaretPageTop = 274,
  cmdCaretPageBottom = 275,
  cmdPageUp = 276,
  cmdPageDown = 277,
  cmdSelectPageUp = 278,
  cmdSelectPageDown = 279,
  cmdLineStart = 280,
  cmdLineEnd = 281,
  cmdTextStart = 282,
  cmdTextEnd = 283,
  cmdSelectLineStart = 284,
  cmdSelectLineEnd = 285,
  cmdSelectTextStart = 286,
  cmdSelectTextEnd = 287,
  cmdSelectAll = 288,
  cmdScrollLineUp = 289,
  cmdScrollLineDown = 290,
  cmdLineBreak = 357,
  cmdDeleteLeft = 358,
  cmdDeleteRight = 359,
  cmdToggleOverwrite = 360,
  cmdTab = 361,
  cmdBackTab = 362,
  cmdIndentSelection = 363,
  cmdUnindentSelection = 364,
  cmdDeleteSelection = 367,
  cmdCopy = 368,
  cmdCut = 369,
  cmdPaste = 370,
  cmdDeleteLine = 371,
  cmdDeleteWordRight = 372,
  cmdUpperCase = 373,
  cmdLowerCase = 374,
  cmdToggleCase = 375,
  cmdUndo = 376,
  cmdRedo = 377,
  cmdBeginGroup = 378,
  cmdEndGroup = 379,
  cmdBeginUpdate = 380,
  cmdEndUpdate = 381,
  cmdToggleBookmark0 = 382,
  cmdToggleBookmark9 = 391,
  cmdGotoBookmark0 = 392,
  cmdGotoBookmark9 = 401,
  cmdCompleteWord = 402,
  cmdCompleteTemplate = 403,
  cmdRecordMacro = 404,
  cmdPlayMacro = 405,
  cmdSelectionEvent = 408,
  cmdInsertFromEvent = 409,
  cmdUserInsert0 = 410,
  cmdUserInsert35 = 445,
  cmdUserTransform0 = 446,
  cmdUserTransform25 = 471,
  cmdDeleteWordLeft = 472,
  cmdScrollPageUp = 473,
  cmdScrollPageDown = 474,
  // Types one character given as a code point (TypeCharacter); a macro
  // keeps the code point in the two pairs after it, low half first.
  cmdTypeCharacter = 475,
};

// FindKey's answer for the first stroke of a two-stroke binding.
constexpr std::uint16_t kChordPending = 0xFFFF;
