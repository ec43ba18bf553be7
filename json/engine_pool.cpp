// Pools of small blocks (nodes, texts, child lists), taken from slabs that
// live for the whole run, with a free list per thread and size and a shared
// list that absorbs what a thread frees beyond its own needs, and everything
// a thread frees once it has no block of the pools in use any more: a thread
// that ends (a host may call each message on a thread of its own) leaves no
// free block behind that no other thread could take. Sanitizer builds use
// the plain heap so that every block is checked on its own.
#include <cstddef>
#include <mutex>
#include <new>

#include "json/engine.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define ZOQ_JSON_PLAIN_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZOQ_JSON_PLAIN_HEAP 1
#endif
#endif

namespace zoq::json {

#ifdef ZOQ_JSON_PLAIN_HEAP

void ReleasePools() noexcept {}
size_t PoolSlabs() noexcept { return 0; }
void* detail::PoolAlloc(size_t bytes) { return ::operator new(bytes); }
void detail::PoolFree(void* p, size_t) noexcept { ::operator delete(p); }

#else

namespace {

struct Block {
  Block* next;
};

constexpr size_t kGrain = 16;                  // size classes: 16, 32, ... 256 bytes
constexpr size_t kClasses = 16;
constexpr size_t kSlabBytes = 16384;
constexpr size_t kKeepBlocks = size_t{1} << 18;  // a thread keeps at most this many free blocks per class
// Each slab starts with the address of the slab made before it.
constexpr size_t kSlabHead = alignof(std::max_align_t);

// A list of free blocks of one class: its first and last block.
struct FreeList {
  Block* first = nullptr;
  Block* last = nullptr;
  size_t count = 0;
  // Puts `other` in front of this list; `other` is left empty.
  void TakeIn(FreeList& other) {
    if (!other.first) return;
    other.last->next = first;
    if (!first) last = other.last;
    first = other.first;
    count += other.count;
    other = FreeList{};
  }
};

struct Shared {
  std::mutex lock;
  FreeList free[kClasses];
  void* slabs = nullptr;  // the last slab made
  size_t slabCount = 0;
};

// Not destroyed with the statics (blocks may outlive static destruction):
// ReleasePools frees it.
Shared*& SharedPointer() {
  static Shared* pool = new Shared;
  return pool;
}
Shared& SharedPool() { return *SharedPointer(); }

// Trivially destructible, so nothing runs when a thread ends.
thread_local FreeList tFree[kClasses];
// The blocks this thread took and has not freed, less the blocks of other
// threads it freed (a tree that one thread made and another let go).
thread_local ptrdiff_t tInUse;

void Refill(size_t c) {
  Shared& s = SharedPool();
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (s.free[c].first) {
      tFree[c].TakeIn(s.free[c]);
      return;
    }
  }
  const size_t size = (c + 1) * kGrain, blocks = kSlabBytes / size;
  auto* slab = static_cast<char*>(::operator new(kSlabHead + blocks * size));
  {
    std::lock_guard<std::mutex> g(s.lock);
    *reinterpret_cast<void**>(slab) = s.slabs;
    s.slabs = slab;
    ++s.slabCount;
  }
  FreeList made;
  for (size_t k = blocks; k-- > 0;) {
    auto* b = reinterpret_cast<Block*>(slab + kSlabHead + k * size);
    b->next = made.first;
    if (!made.first) made.last = b;
    made.first = b;
  }
  made.count = blocks;
  tFree[c].TakeIn(made);
}

// Hands half of this thread's free blocks of one class to the shared list.
void Spill(size_t c) {
  FreeList half;
  half.first = half.last = tFree[c].first;
  for (size_t k = 1; k < kKeepBlocks / 2; ++k) half.last = half.last->next;
  half.count = kKeepBlocks / 2;
  tFree[c].first = half.last->next;
  tFree[c].count -= half.count;
  Shared& s = SharedPool();
  std::lock_guard<std::mutex> g(s.lock);
  s.free[c].TakeIn(half);
}

// Hands every free block of this thread to the shared list.
void GiveBackAll() {
  Shared& s = SharedPool();
  std::lock_guard<std::mutex> g(s.lock);
  for (size_t c = 0; c < kClasses; ++c) s.free[c].TakeIn(tFree[c]);
}

}  // namespace

void ReleasePools() noexcept {
  Shared*& pool = SharedPointer();
  for (void* slab = pool->slabs; slab;) {
    void* before = *static_cast<void**>(slab);
    ::operator delete(slab);
    slab = before;
  }
  delete pool;
  pool = nullptr;
}

size_t PoolSlabs() noexcept {
  Shared& s = SharedPool();
  std::lock_guard<std::mutex> g(s.lock);
  return s.slabCount;
}

void* detail::PoolAlloc(size_t bytes) {
  if (bytes == 0 || bytes > kGrain * kClasses) return ::operator new(bytes);
  const size_t c = (bytes - 1) / kGrain;
  FreeList& list = tFree[c];
  if (!list.first) Refill(c);
  Block* b = list.first;
  list.first = b->next;
  if (!list.first) list.last = nullptr;
  --list.count;
  ++tInUse;
  return b;
}

void detail::PoolFree(void* p, size_t bytes) noexcept {
  if (!p) return;
  if (bytes == 0 || bytes > kGrain * kClasses) {
    ::operator delete(p);
    return;
  }
  const size_t c = (bytes - 1) / kGrain;
  FreeList& list = tFree[c];
  auto* b = static_cast<Block*>(p);
  b->next = list.first;
  if (!list.first) list.last = b;
  list.first = b;
  if (++list.count > kKeepBlocks) Spill(c);
  if (--tInUse <= 0) {
    GiveBackAll();
    tInUse = 0;
  }
}

#endif

void* detail::Node::operator new(size_t size) { return PoolAlloc(size); }
void detail::Node::operator delete(void* p) noexcept { PoolFree(p, sizeof(Node)); }

}  // namespace zoq::json
