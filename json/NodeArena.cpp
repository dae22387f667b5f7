#include "json/NodeArena.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define QUORL_ARENA_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORL_ARENA_OFF 1
#endif
#endif

namespace quorl {

#ifdef QUORL_ARENA_OFF

void* ArenaAllocate(size_t size) { return ::operator new(size, std::align_val_t(16)); }
void ArenaFree(void* block, size_t) noexcept { ::operator delete(block, std::align_val_t(16)); }
size_t ArenaShrinkLast(void*, size_t size, size_t) noexcept { return size; }

#else

namespace {

constexpr size_t kSlabSize = 64 * 1024;
constexpr size_t kHeaderSize = 64;
// The current slab's count starts this high, so frees never empty it while
// blocks are still handed out from it; retiring it takes back what was not
// allocated.
constexpr int64_t kBias = int64_t{1} << 40;
constexpr int kSpareSlabs = 16;

struct alignas(64) Slab {
  std::atomic<int64_t> live;
};
static_assert(sizeof(Slab) <= kHeaderSize);

// Plain data, so it stays usable in destructors that run after the reaper.
struct ThreadArena {
  char* next;
  char* end;
  Slab* slab;
  int64_t handedOut;
  // Frees are counted here and applied to their slab in one atomic step when
  // a block of another slab is freed: releasing a tree frees runs of
  // neighbours, and one atomic operation per block was the larger cost.
  Slab* pendingSlab;
  int64_t pendingFrees;
  Slab* spare[kSpareSlabs];
  int spareCount;
  bool dead;
};
thread_local ThreadArena tArena;

void ReleaseSlab(Slab* slab) noexcept {
  ThreadArena& a = tArena;
  if (!a.dead && a.spareCount < kSpareSlabs) {
    a.spare[a.spareCount++] = slab;
    return;
  }
  std::free(slab);
}

void RetireCurrent() noexcept {
  ThreadArena& a = tArena;
  if (a.slab == nullptr) return;
  Slab* slab = a.slab;
  const int64_t unused = kBias - a.handedOut;
  a.slab = nullptr;
  a.next = a.end = nullptr;
  a.handedOut = 0;
  if (slab->live.fetch_sub(unused, std::memory_order_acq_rel) == unused) ReleaseSlab(slab);
}

void FlushPending() noexcept {
  ThreadArena& a = tArena;
  Slab* slab = a.pendingSlab;
  if (slab == nullptr) return;
  const int64_t n = a.pendingFrees;
  a.pendingSlab = nullptr;
  a.pendingFrees = 0;
  if (slab->live.fetch_sub(n, std::memory_order_acq_rel) == n) ReleaseSlab(slab);
}

struct Reaper {
  Reaper() noexcept {}  // user-provided, so first use registers the destructor
  ~Reaper() {
    FlushPending();
    RetireCurrent();
    ThreadArena& a = tArena;
    a.dead = true;
    while (a.spareCount > 0) std::free(a.spare[--a.spareCount]);
  }
};
thread_local Reaper tReaper;

void NewSlab() {
  ThreadArena& a = tArena;
  if (!a.dead) (void)&tReaper;  // registers the thread-exit cleanup
  Slab* slab;
  if (a.spareCount > 0) {
    slab = a.spare[--a.spareCount];
  } else {
    slab = static_cast<Slab*>(std::aligned_alloc(kSlabSize, kSlabSize));
    if (slab == nullptr) throw std::bad_alloc();
  }
  slab->live.store(kBias, std::memory_order_relaxed);
  a.slab = slab;
  a.next = reinterpret_cast<char*>(slab) + kHeaderSize;
  a.end = reinterpret_cast<char*>(slab) + kSlabSize;
  a.handedOut = 0;
}

}  // namespace

void* ArenaAllocate(size_t size) {
  if (size > kArenaMaxBlock) return ::operator new(size, std::align_val_t(16));
  size = (size + 15) & ~size_t{15};
  if (size == 0) size = 16;
  ThreadArena& a = tArena;
  if (static_cast<size_t>(a.end - a.next) < size) {
    RetireCurrent();
    NewSlab();
  }
  char* p = a.next;
  a.next += size;
  ++a.handedOut;
  return p;
}

size_t ArenaShrinkLast(void* block, size_t size, size_t newSize) noexcept {
  if (size > kArenaMaxBlock || newSize == 0 || newSize >= size) return size;
  const size_t rounded = (size + 15) & ~size_t{15};
  ThreadArena& a = tArena;
  if (static_cast<char*>(block) + rounded != a.next) return size;
  a.next = static_cast<char*>(block) + ((newSize + 15) & ~size_t{15});
  return newSize;
}

void ArenaFree(void* block, size_t size) noexcept {
  if (block == nullptr) return;
  if (size > kArenaMaxBlock) {
    ::operator delete(block, std::align_val_t(16));
    return;
  }
  auto* slab = reinterpret_cast<Slab*>(reinterpret_cast<uintptr_t>(block) & ~(uintptr_t{kSlabSize} - 1));
  ThreadArena& a = tArena;
  if (a.dead) {
    if (slab->live.fetch_sub(1, std::memory_order_acq_rel) == 1) ReleaseSlab(slab);
    return;
  }
  if (slab != a.pendingSlab) {
    FlushPending();
    a.pendingSlab = slab;
    // Keeps the thread-exit flush registered even on a thread that only frees.
    (void)&tReaper;
  }
  ++a.pendingFrees;
}

#endif

void ArenaText::Assign(std::u16string_view s) {
  if (s.empty()) {
    Release();
    return;
  }
  auto* data = static_cast<char16_t*>(ArenaAllocate(s.size() * sizeof(char16_t)));
  std::memcpy(data, s.data(), s.size() * sizeof(char16_t));
  Release();
  data_ = data;
  size_ = cap_ = s.size();
}

}  // namespace quorl
