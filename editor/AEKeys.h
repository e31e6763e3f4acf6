#pragma once

// Key bindings: key and modifier state to editor command number.

#include <cstdint>
#include <vector>

#include "editor/AEAtoms.h"

struct TEditKey {
  std::uint16_t Key1 = 0;
  std::uint16_t Key2 = 0;  // second key of a two-stroke binding, 0 = single key
  TShiftState Shift1 = 0;
  TShiftState Shift2 = 0;
  std::uint16_t Command = 0;
};

class TKeyboard {
 public:
  TKeyboard() = default;

  // Appends a single-key binding.
  void AddKey(std::uint16_t command, std::uint16_t key, TShiftState shift);
  void AddChord(std::uint16_t command, std::uint16_t key1, TShiftState shift1, std::uint16_t key2,
                TShiftState shift2);
  void Clear() { keys_.clear(); }
  // The first binding of (key, shift): its command, kChordPending for the first
  // stroke of a two-stroke binding, 0 when nothing is bound.
  std::uint16_t FindKey(std::uint16_t key, TShiftState shift) const;
  std::uint16_t FindChord(std::uint16_t key1, TShiftState shift1, std::uint16_t key2, TShiftState shift2) const;
  // Clear, then the default bindings in their order.
  void LoadDefaults();

  const std::vector<TEditKey>& Keys() const { return keys_; }

 private:
  std::vector<TEditKey> keys_;  // insertion order; the first match wins
};
