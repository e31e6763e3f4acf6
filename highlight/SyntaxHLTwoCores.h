#pragma once

// Bringing a long stretch of line states up to date on two cores.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "editor/AdvLines.h"
#include "highlight/SyntaxHLStates.h"

// The stretch is cut into pieces of this many lines, each starting on a
// block of the state store, so that a piece's states are taken over whole.
inline constexpr int kStatePieceLines = static_cast<int>(TStateStore<std::uint8_t>::kBlockLines);

// The first line of every piece of from .. n - 1, and n: piece k is
// starts[k] .. starts[k + 1] - 1. Pieces after the first start on a multiple
// of `pieceLines`.
inline std::vector<int> StatePieceStarts(int from, int n, int pieceLines = kStatePieceLines) {
  std::vector<int> starts{from};
  for (int s = (from / pieceLines + 1) * pieceLines; s < n; s += pieceLines) starts.push_back(s);
  starts.push_back(n);
  return starts;
}

// Sets states[from .. n - 1] to the end states of those lines of `lines`,
// line `from` starting in `state`; `advance` (text, state) moves a state over
// one line and must be safe to run on two threads at once. Returns the number
// of lines scanned.
//
// The calling thread scans pieces from the top with the true state; a second
// thread takes pieces from the bottom up, each scanned from a guessed start
// state. They meet wherever their speeds put them, so a slower core, or one
// shared with another process, does less of the work; a second thread that
// never runs leaves the whole scan to the caller. Then each of the second
// thread's pieces, in order, is scanned again from its true start state
// until that reaches the state the guess gave for the same line: from there
// on the guessed states are the true ones. The result is that of one scan
// from the top.
template <class TState, class Advance>
std::int64_t ScanStatesOnTwoCores(const TAdvLines& lines, int from, int n, TState state, TStateStore<TState>& states,
                                  const Advance& advance, int pieceLines = kStatePieceLines) {
  const std::vector<int> starts = StatePieceStarts(from, n, pieceLines);
  const int pieces = static_cast<int>(starts.size()) - 1;
  std::vector<TStateStore<TState>> guessed;  // line starts[k] + j at j
  guessed.reserve(static_cast<std::size_t>(pieces));
  for (int k = 0; k < pieces; ++k) guessed.emplace_back(true);
  std::mutex taking;
  int front = 0, back = pieces;  // the pieces nobody took yet: front .. back - 1
  auto take = [&](bool fromTop) {
    std::lock_guard lock(taking);
    if (front == back) return -1;
    return fromTop ? front++ : --back;
  };

  std::thread other([&, guess = state] {
    for (int k; (k = take(false)) >= 0;) {
      TState s = guess;
      TStateStore<TState>& piece = guessed[static_cast<std::size_t>(k)];
      std::size_t j = 0;
      lines.ForEachLineView(starts[k], starts[k + 1], [&](std::string_view text) {
        advance(text, s);
        piece.Set(j++, s);
        return true;
      });
    }
  });
  int i = from;
  for (int k; (k = take(true)) >= 0;) {
    lines.ForEachLineView(starts[k], starts[k + 1], [&](std::string_view text) {
      advance(text, state);
      states.Set(static_cast<std::size_t>(i++), state);
      return true;
    });
  }
  other.join();

  std::int64_t scanned = n - from;
  for (int k = front; k < pieces; ++k) {
    TStateStore<TState>& piece = guessed[static_cast<std::size_t>(k)];
    std::size_t j = 0;
    lines.ForEachLineView(starts[k], starts[k + 1], [&](std::string_view text) {
      advance(text, state);
      ++scanned;
      if (state == piece.Get(j)) return false;
      piece.Set(j++, state);
      return true;
    });
    state = piece.Get(piece.Size() - 1);
    states.SetFrom(static_cast<std::size_t>(starts[k]), std::move(piece), static_cast<std::size_t>(starts[k]));
  }
  return scanned;
}
