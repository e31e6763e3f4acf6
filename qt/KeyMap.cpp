#include "qt/KeyMap.h"

namespace platform {

namespace {

struct KeyPair {
  int qt;
  std::uint16_t vk;
};

constexpr KeyPair kKeys[] = {
    {Qt::Key_Backspace, vk::Back},
    {Qt::Key_Tab, vk::Tab},
    {Qt::Key_Backtab, vk::Tab},
    {Qt::Key_Clear, vk::Clear},
    {Qt::Key_Return, vk::Return},
    {Qt::Key_Enter, vk::Return},
    {Qt::Key_Shift, vk::Shift},
    {Qt::Key_Control, vk::Control},
    {Qt::Key_Alt, vk::Menu},
    {Qt::Key_AltGr, vk::Menu},
    {Qt::Key_Pause, vk::Pause},
    {Qt::Key_CapsLock, vk::Capital},
    {Qt::Key_Escape, vk::Escape},
    {Qt::Key_Space, vk::Space},
    {Qt::Key_PageUp, vk::Prior},
    {Qt::Key_PageDown, vk::Next},
    {Qt::Key_End, vk::End},
    {Qt::Key_Home, vk::Home},
    {Qt::Key_Left, vk::Left},
    {Qt::Key_Up, vk::Up},
    {Qt::Key_Right, vk::Right},
    {Qt::Key_Down, vk::Down},
    {Qt::Key_Select, vk::Select},
    {Qt::Key_Print, vk::Snapshot},
    {Qt::Key_Insert, vk::Insert},
    {Qt::Key_Delete, vk::Delete},
    {Qt::Key_Help, vk::Help},
    {Qt::Key_Meta, vk::LWin},
    {Qt::Key_Super_L, vk::LWin},
    {Qt::Key_Super_R, vk::RWin},
    {Qt::Key_Menu, vk::Apps},
    {Qt::Key_Sleep, vk::Sleep},
    {Qt::Key_NumLock, vk::NumLock},
    {Qt::Key_ScrollLock, vk::Scroll},
    // Digit keys with Shift on a US keyboard.
    {Qt::Key_ParenRight, '0'},
    {Qt::Key_Exclam, '1'},
    {Qt::Key_At, '2'},
    {Qt::Key_NumberSign, '3'},
    {Qt::Key_Dollar, '4'},
    {Qt::Key_Percent, '5'},
    {Qt::Key_AsciiCircum, '6'},
    {Qt::Key_Ampersand, '7'},
    {Qt::Key_Asterisk, '8'},
    {Qt::Key_ParenLeft, '9'},
    // Punctuation keys, both of their characters.
    {Qt::Key_Semicolon, vk::Oem1},
    {Qt::Key_Colon, vk::Oem1},
    {Qt::Key_Equal, vk::OemPlus},
    {Qt::Key_Plus, vk::OemPlus},
    {Qt::Key_Comma, vk::OemComma},
    {Qt::Key_Less, vk::OemComma},
    {Qt::Key_Minus, vk::OemMinus},
    {Qt::Key_Underscore, vk::OemMinus},
    {Qt::Key_Period, vk::OemPeriod},
    {Qt::Key_Greater, vk::OemPeriod},
    {Qt::Key_Slash, vk::Oem2},
    {Qt::Key_Question, vk::Oem2},
    {Qt::Key_QuoteLeft, vk::Oem3},
    {Qt::Key_AsciiTilde, vk::Oem3},
    {Qt::Key_BracketLeft, vk::Oem4},
    {Qt::Key_BraceLeft, vk::Oem4},
    {Qt::Key_Backslash, vk::Oem5},
    {Qt::Key_Bar, vk::Oem5},
    {Qt::Key_BracketRight, vk::Oem6},
    {Qt::Key_BraceRight, vk::Oem6},
    {Qt::Key_Apostrophe, vk::Oem7},
    {Qt::Key_QuoteDbl, vk::Oem7},
};

// The keypad's own keys, when Qt marks the key as coming from the keypad.
constexpr KeyPair kKeypad[] = {
    {Qt::Key_Asterisk, vk::Multiply}, {Qt::Key_Plus, vk::Add},  {Qt::Key_Minus, vk::Subtract},
    {Qt::Key_Period, vk::Decimal},   {Qt::Key_Comma, vk::Decimal}, {Qt::Key_Slash, vk::Divide},
};

}  // namespace

std::uint16_t VirtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers) {
  const bool keypad = modifiers & Qt::KeypadModifier;
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return static_cast<std::uint16_t>('A' + (qtKey - Qt::Key_A));
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
    const int digit = qtKey - Qt::Key_0;
    return static_cast<std::uint16_t>(keypad ? vk::Numpad0 + digit : '0' + digit);
  }
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
    return static_cast<std::uint16_t>(vk::F1 + (qtKey - Qt::Key_F1));
  if (keypad) {
    for (const KeyPair& k : kKeypad)
      if (k.qt == qtKey) return k.vk;
  }
  for (const KeyPair& k : kKeys)
    if (k.qt == qtKey) return k.vk;
  return 0;
}

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers) {
  TShiftState s = shift::None;
  if (modifiers & Qt::ShiftModifier) s |= shift::Shift;
  if (modifiers & Qt::AltModifier) s |= shift::Alt;
  if (modifiers & Qt::ControlModifier) s |= shift::Ctrl;
  return s;
}

}  // namespace platform
