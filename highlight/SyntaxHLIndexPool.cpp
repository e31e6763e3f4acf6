#include "highlight/SyntaxHLIndexPool.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "editor/LargeBuffer.h"

namespace hl {
namespace {

constexpr std::size_t kRegionBytes = kHugePage;
constexpr std::size_t kPiecesPerRegion = kRegionBytes / kIndexPieceBytes;
static_assert(kRegionBytes % kIndexPieceBytes == 0);

struct TRegion {
  char* base;
  std::size_t taken;  // pieces handed out and not given back
};

struct TPool {
  std::mutex lock;
  std::vector<TRegion> regions;
  std::vector<char*> free;  // pieces of held regions that nobody holds
};

TPool& Pool() {
  static TPool* pool = new TPool;  // never destroyed: pieces may be given back during exit
  return *pool;
}

// A region of kRegionBytes aligned to its size, so that it can be one huge page.
char* MapRegion() {
  void* base = AllocateHugePages(kRegionBytes);
  if (base == nullptr) throw std::bad_alloc();
  return static_cast<char*>(base);
}

void UnmapRegion(char* base) { std::free(base); }

TRegion* RegionOf(TPool& pool, const char* piece) {
  for (TRegion& r : pool.regions)
    if (piece >= r.base && piece < r.base + kRegionBytes) return &r;
  return nullptr;
}

}  // namespace

void* TakeIndexPiece() {
  TPool& pool = Pool();
  std::lock_guard guard(pool.lock);
  if (pool.free.empty()) {
    char* base = MapRegion();
    pool.regions.push_back({base, 0});
    for (std::size_t k = kPiecesPerRegion; k-- > 0;) pool.free.push_back(base + k * kIndexPieceBytes);
  }
  char* piece = pool.free.back();
  pool.free.pop_back();
  ++RegionOf(pool, piece)->taken;
  return piece;
}

void GiveIndexPiece(void* p) noexcept {
  if (p == nullptr) return;
  char* piece = static_cast<char*>(p);
  TPool& pool = Pool();
  std::lock_guard guard(pool.lock);
  TRegion* r = RegionOf(pool, piece);
  if (r == nullptr) return;
  pool.free.push_back(piece);
  if (--r->taken > 0) return;
  char* const base = r->base;
  std::erase_if(pool.free, [base](char* f) { return f >= base && f < base + kRegionBytes; });
  *r = pool.regions.back();
  pool.regions.pop_back();
  UnmapRegion(base);
}

std::size_t IndexRegionsHeld() {
  TPool& pool = Pool();
  std::lock_guard guard(pool.lock);
  return pool.regions.size();
}

}  // namespace hl
