#pragma once

// TStateHighLight: the highlighter every language builds on. It keeps the
// state at the end of every line, so that a line is coloured from its
// predecessor's end state alone; a language supplies the scan of one line.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "editor/AdvLines.h"
#include "highlight/SyntaxHL.h"
#include "highlight/SyntaxHLStates.h"
#include "highlight/SyntaxHLTwoCores.h"

// The line-state cache shared by every highlighter; TState is the scanner's
// state record (one-byte fields, compared as a whole).
//
// States[i] is the state at the end of line i; the states of the lines below
// ValidLine are trusted. Colouring line n first brings the cache up to line n
// (scanning only the lines from ValidLine on), then scans line n from the end
// state of line n - 1. When the state reached differs from the cached one the
// line was edited in a way that matters to the lines below: ValidLine drops to
// that line, and they are rescanned the next time a later line is coloured.
template <class TState>
class TStateHighLight : public TSyntaxHighLight {
 public:
  void HighlightLine(std::string_view LineText, int LineIndex, const TSelAttrs& SelFlags, TLineAttrs& Attrs) override;
  void ResetStates() override { ValidLine = -1; }
  void LinesChanged(int first, int removed, int inserted) override;
  TColourKey StartKey(int line) override;
  void LineClasses(int line, std::vector<TCharCtx>& classes) override;

  // Lines scanned so far, for colouring or for the cache.
  std::int64_t ScanCount() const { return scanCount_; }

 protected:
  TStateHighLight(TAdvLines& lines, bool swallowScanErrors) : Lines(&lines), swallowScanErrors_(swallowScanErrors) {}

  // Sets Classes to one class per character of `text` and advances `state` over it.
  virtual void ScanLine(std::string_view text, TState& state) = 0;
  // Advances `state` over `text` exactly as ScanLine does, without classes.
  // It changes nothing of the highlighter: it may run on two threads at once.
  virtual void AdvanceState(std::string_view text, TState& state) = 0;

  // Brings States up to date for every line below n.
  void UpdateStates(int n);
  void ApplyColors(std::string_view text, TLineAttrs& Attrs) const;

  TStateStore<TState> States;
  TAdvLines* Lines;
  int ValidLine = -1;
  std::vector<TCharCtx> Classes;
  TState StartState{};

 private:
  void ColourLine(std::string_view text, TState& state, TLineAttrs& Attrs);
  void Advance(std::string_view text, TState& state);
  // A scan that reaches line `line` in the state the cache still holds for
  // it, past a change that kept the number of lines: the cache below was
  // right all along. True when ValidLine moved on.
  bool Resumed(int line, const TState& state);
  // A stretch of this many lines to bring up to date is scanned on two cores.
  static constexpr int kTwoCoreLines = 1 << 20;

  bool swallowScanErrors_;
  std::int64_t scanCount_ = 0;
  // After a change that kept the number of lines, the states cached for the
  // lines from resumeFrom_ to resumeUntil_ - 1 hold again once the scan
  // meets one of them; resumeUntil_ 0 = no such change.
  int resumeFrom_ = 0, resumeUntil_ = 0;
};

template <class TState>
void TStateHighLight<TState>::HighlightLine(std::string_view LineText, int LineIndex, const TSelAttrs&,
                                            TLineAttrs& Attrs) {
  if (LineIndex < 0) {
    // Not a line of the store: colour it as a first line, leave the cache alone.
    TState state = StartState;
    ColourLine(LineText, state, Attrs);
    return;
  }
  if (ValidLine < LineIndex) UpdateStates(LineIndex);
  TState state = LineIndex == 0 ? StartState : States.Get(static_cast<std::size_t>(LineIndex) - 1);
  ColourLine(LineText, state, Attrs);
  if (Resumed(LineIndex, state)) return;
  const auto index = static_cast<std::size_t>(LineIndex);
  if (index >= States.Size() || !(state == States.Get(index))) ValidLine = std::min(ValidLine, LineIndex);
}

template <class TState>
TColourKey TStateHighLight<TState>::StartKey(int line) {
  static_assert(sizeof(TState) <= sizeof(TColourKey::Bytes));
  if (line > 0 && ValidLine < line) UpdateStates(line);
  const TState& state = line <= 0 ? StartState : States.Get(static_cast<std::size_t>(line) - 1);
  TColourKey key;
  std::memcpy(key.Bytes.data(), &state, sizeof(TState));
  return key;
}

template <class TState>
void TStateHighLight<TState>::LineClasses(int line, std::vector<TCharCtx>& classes) {
  classes.clear();
  if (line < 0 || line >= Lines->Count()) return;
  if (ValidLine < line) UpdateStates(line);
  TState state = line == 0 ? StartState : States.Get(static_cast<std::size_t>(line) - 1);
  try {
    ScanLine(Lines->LineView(line), state);
  } catch (...) {
    if (!swallowScanErrors_) throw;
  }
  classes.assign(Classes.begin(), Classes.end());
}

template <class TState>
void TStateHighLight<TState>::ColourLine(std::string_view text, TState& state, TLineAttrs& Attrs) {
  ++scanCount_;
  if (!swallowScanErrors_) {
    ScanLine(text, state);
    ApplyColors(text, Attrs);
    return;
  }
  try {
    ScanLine(text, state);
    ApplyColors(text, Attrs);
  } catch (...) {
    // The line keeps the colours written so far.
  }
}

template <class TState>
void TStateHighLight<TState>::LinesChanged(int first, int removed, int inserted) {
  // The same line changed again before any scan went past it: its cached
  // state is still the one the lines below were scanned from.
  const bool sameLine = resumeUntil_ > 0 && first == resumeFrom_ && removed == 1 && inserted == 1 && ValidLine <= first;
  if (removed == inserted && inserted > 0 && ValidLine > first + inserted && (resumeUntil_ == 0 || sameLine)) {
    // The end state of the last changed line decides: the same as before, and
    // the lines below keep theirs.
    resumeFrom_ = first + inserted - 1;
    resumeUntil_ = sameLine ? resumeUntil_ : ValidLine;
  } else {
    resumeUntil_ = 0;
  }
  ValidLine = std::min(ValidLine, first);
}

template <class TState>
bool TStateHighLight<TState>::Resumed(int line, const TState& state) {
  if (resumeUntil_ == 0 || line < resumeFrom_) return false;
  if (line >= resumeUntil_ || static_cast<std::size_t>(line) >= States.Size()) {
    resumeUntil_ = 0;  // passed: the states below are scanned anew
    return false;
  }
  if (!(state == States.Get(static_cast<std::size_t>(line)))) return false;
  ValidLine = std::max(ValidLine, resumeUntil_);
  resumeUntil_ = 0;
  return true;
}

template <class TState>
void TStateHighLight<TState>::Advance(std::string_view text, TState& state) {
  if (!swallowScanErrors_) {
    AdvanceState(text, state);
    return;
  }
  try {
    AdvanceState(text, state);
  } catch (...) {
  }
}

template <class TState>
void TStateHighLight<TState>::UpdateStates(int n) {
  const int from = std::max(ValidLine, 0);
  TState state = ValidLine <= 0 ? StartState : States.Get(static_cast<std::size_t>(ValidLine) - 1);
  if (resumeUntil_ == 0 && n - from >= kTwoCoreLines && n <= Lines->Count()) {
    scanCount_ += ScanStatesOnTwoCores(*Lines, from, n, state, States,
                                       [this](std::string_view text, TState& s) { Advance(text, s); });
    ValidLine = n;
    return;
  }
  int i = from;
  bool resumed = false;
  Lines->ForEachLineView(from, std::min(n, Lines->Count()), [&](std::string_view text) {
    Advance(text, state);
    resumed = Resumed(i, state);  // before the cached state is overwritten
    if (!resumed) States.Set(static_cast<std::size_t>(i), state);
    ++i;
    return !resumed;
  });
  scanCount_ += i - from;
  if (resumed) {
    if (ValidLine < n) UpdateStates(n);  // the cache held less than asked for
    return;
  }
  for (; i < n; ++i) {  // lines below the last one are empty
    Advance({}, state);
    States.Set(static_cast<std::size_t>(i), state);
    ++scanCount_;
  }
  ValidLine = n;
}

template <class TState>
void TStateHighLight<TState>::ApplyColors(std::string_view text, TLineAttrs& Attrs) const {
  std::size_t n = std::min({text.size(), Classes.size(), Attrs.size()});
  for (std::size_t i = 0; i < n; ++i) Attrs[i].FgColor = kCharCtxColors[Classes[i]];
}
