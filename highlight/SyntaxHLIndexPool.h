#pragma once

// Room for the per-line numbers of large state caches. A cache of a few
// million lines writes megabytes of fresh memory in one go, and a fresh 4 KB
// page costs a fault (tens of microseconds on a virtual machine); pieces cut
// from 2 MB regions that are asked to be backed by huge pages cost one fault
// per region instead.

#include <cstddef>

namespace hl {

// The size of every piece.
inline constexpr std::size_t kIndexPieceBytes = std::size_t{128} << 10;

// A piece of kIndexPieceBytes, uninitialised, aligned for any number type;
// safe to call from several threads. Never null: throws std::bad_alloc.
void* TakeIndexPiece();
// Gives a piece back; a region none of whose pieces is taken any longer is
// returned to the system.
void GiveIndexPiece(void* piece) noexcept;

// The regions held now (for tests).
std::size_t IndexRegionsHeld();

}  // namespace hl
