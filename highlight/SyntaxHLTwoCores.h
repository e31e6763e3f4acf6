#pragma once

// Bringing a long stretch of line states up to date on two cores.

#include <cstdint>
#include <string_view>
#include <thread>
#include <utility>

#include "editor/AdvLines.h"
#include "highlight/SyntaxHLStates.h"

// Where the second half begins: the middle of from .. n - 1, moved down to
// the start of a block of the state store, so that the second half's states
// are taken over a block at a time.
inline int TwoCoreMiddle(int from, int n) {
  constexpr int kBlock = static_cast<int>(TStateStore<std::uint8_t>::kBlockLines);
  const int middle = from + (n - from) / 2;
  return middle - middle % kBlock > from ? middle - middle % kBlock : middle;
}

// Sets states[from .. n - 1] to the end states of those lines of `lines`,
// line `from` starting in `state`; `advance` (text, state) moves a state over
// one line and must be safe to run on two threads at once. Returns the number
// of lines scanned.
//
// The second half is scanned at the same time from a guessed start state.
// Once the first half's true state reaches the state the guess gave for the
// same line, every later state is the same as well: those are taken over.
// The result is that of one scan from the top.
template <class TState, class Advance>
std::int64_t ScanStatesOnTwoCores(const TAdvLines& lines, int from, int n, TState state, TStateStore<TState>& states,
                                  const Advance& advance) {
  const int middle = TwoCoreMiddle(from, n);
  TStateStore<TState> guessed;  // line middle + k at k
  std::thread other([&, guess = state]() mutable {
    std::size_t k = 0;
    lines.ForEachLineView(middle, n, [&](std::string_view text) {
      advance(text, guess);
      guessed.Set(k++, guess);
      return true;
    });
  });
  int i = from;
  lines.ForEachLineView(from, middle, [&](std::string_view text) {
    advance(text, state);
    states.Set(static_cast<std::size_t>(i++), state);
    return true;
  });
  other.join();
  lines.ForEachLineView(middle, n, [&](std::string_view text) {
    advance(text, state);
    states.Set(static_cast<std::size_t>(i), state);
    return !(state == guessed.Get(static_cast<std::size_t>(i++ - middle)));
  });
  const std::int64_t scanned = (i - from) + (n - middle);
  if (i < n) states.SetFrom(static_cast<std::size_t>(i), std::move(guessed), static_cast<std::size_t>(middle));
  return scanned;
}
