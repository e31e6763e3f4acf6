#include "editor/AEKeys.h"

namespace {

struct DefaultBinding {
  std::uint16_t key;
  TShiftState shift;
  std::uint16_t command;
};

using namespace shift;

// The default key table, in lookup order.
constexpr DefaultBinding kDefaults[] = {
    {vk::Left, None, cmdCaretLeft},
    {vk::Right, None, cmdCaretRight},
    {vk::Up, None, cmdCaretUp},
    {vk::Down, None, cmdCaretDown},
    {vk::Left, Shift, cmdSelectLeft},
    {vk::Right, Shift, cmdSelectRight},
    {vk::Up, Shift, cmdSelectUp},
    {vk::Down, Shift, cmdSelectDown},
    {vk::Home, None, cmdLineStart},
    {vk::Home, Shift, cmdSelectLineStart},
    {vk::Home, Ctrl | Shift, cmdSelectTextStart},
    {vk::End, None, cmdLineEnd},
    {vk::End, Shift, cmdSelectLineEnd},
    {vk::End, Ctrl | Shift, cmdSelectTextEnd},
    {vk::Left, Ctrl, cmdWordLeft},
    {vk::Right, Ctrl, cmdWordRight},
    {vk::Left, Ctrl | Shift, cmdSelectWordLeft},
    {vk::Right, Ctrl | Shift, cmdSelectWordRight},
    {vk::Prior, Ctrl, cmdTextStart},
    {vk::Next, Ctrl, cmdTextEnd},
    {vk::Home, Ctrl, cmdTextStart},
    {vk::End, Ctrl, cmdTextEnd},
    {vk::Prior, None, cmdPageUp},
    {vk::Next, None, cmdPageDown},
    {vk::Prior, Shift, cmdSelectPageUp},
    {vk::Next, Shift, cmdSelectPageDown},
    {vk::Up, Ctrl, cmdScrollLineUp},
    {vk::Down, Ctrl, cmdScrollLineDown},
    {vk::Insert, None, cmdToggleOverwrite},
    {vk::Return, None, cmdLineBreak},
    {vk::Back, None, cmdDeleteLeft},
    {vk::Back, Ctrl, cmdDeleteWordLeft},
    {vk::Delete, None, cmdDeleteRight},
    {vk::Tab, None, cmdTab},
    {vk::Delete, Ctrl, cmdCut},
    {vk::Insert, Ctrl, cmdCopy},
    {vk::Delete, Shift, cmdCut},
    {vk::Insert, Shift, cmdPaste},
    {'C', Ctrl, cmdCopy},
    {'X', Ctrl, cmdCut},
    {'V', Ctrl, cmdPaste},
    {'Z', Ctrl, cmdUndo},
    {vk::Back, Alt, cmdUndo},
    {'T', Ctrl, cmdDeleteWordRight},
    {'N', Ctrl, cmdLineBreak},
    {'Y', Ctrl, cmdDeleteLine},
};

}  // namespace

void TKeyboard::AddKey(std::uint16_t command, std::uint16_t key, TShiftState shift) {
  keys_.push_back(TEditKey{key, 0, shift, 0, command});
}

void TKeyboard::AddChord(std::uint16_t command, std::uint16_t key1, TShiftState shift1, std::uint16_t key2,
                         TShiftState shift2) {
  keys_.push_back(TEditKey{key1, key2, shift1, shift2, command});
}

std::uint16_t TKeyboard::FindKey(std::uint16_t key, TShiftState shift) const {
  for (const TEditKey& k : keys_)
    if (k.Key1 == key && k.Shift1 == shift) return k.Key2 == 0 ? k.Command : kChordPending;
  return 0;
}

std::uint16_t TKeyboard::FindChord(std::uint16_t key1, TShiftState shift1, std::uint16_t key2,
                                   TShiftState shift2) const {
  for (const TEditKey& k : keys_)
    if (k.Key1 == key1 && k.Shift1 == shift1 && k.Key2 == key2 && k.Shift2 == shift2) return k.Command;
  return 0;
}

void TKeyboard::LoadDefaults() {
  Clear();
  for (const DefaultBinding& b : kDefaults) AddKey(b.command, b.key, b.shift);
}
