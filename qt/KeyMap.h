#pragma once

// Qt key codes to the Windows virtual-key codes of the editor's key table.

#include <Qt>
#include <cstdint>

#include "editor/AEAtoms.h"

namespace platform {

// The virtual-key code of a Qt key (0 for keys without one). Letters give
// their capital ASCII code, digits their ASCII code; the punctuation keys
// give the codes of a US keyboard whichever of their two characters the
// layout produced; keypad keys give the keypad codes.
std::uint16_t VirtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers);

// Shift 1, Alt 2, Ctrl 4.
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers);

}  // namespace platform
