// Pools of small blocks (nodes, texts, child lists), taken from slabs that
// live for the whole run, with a free list per thread and size and a shared
// list that absorbs what a thread frees beyond its own needs. Sanitizer
// builds use the plain heap so that every block is checked on its own.
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

struct Shared {
  std::mutex lock;
  Block* free[kClasses] = {};
  size_t count[kClasses] = {};
  void* slabs = nullptr;  // the last slab made
};

// Not destroyed with the statics (blocks may outlive static destruction):
// ReleasePools frees it.
Shared*& SharedPointer() {
  static Shared* pool = new Shared;
  return pool;
}
Shared& SharedPool() { return *SharedPointer(); }

// Trivially destructible, so nothing runs when a thread ends.
thread_local Block* tFree[kClasses];
thread_local size_t tCount[kClasses];

void Refill(size_t c) {
  Shared& s = SharedPool();
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (s.free[c]) {
      tFree[c] = s.free[c];
      tCount[c] = s.count[c];
      s.free[c] = nullptr;
      s.count[c] = 0;
      return;
    }
  }
  const size_t size = (c + 1) * kGrain, blocks = kSlabBytes / size;
  auto* slab = static_cast<char*>(::operator new(kSlabHead + blocks * size));
  {
    std::lock_guard<std::mutex> g(s.lock);
    *reinterpret_cast<void**>(slab) = s.slabs;
    s.slabs = slab;
  }
  for (size_t k = blocks; k-- > 0;) {
    auto* b = reinterpret_cast<Block*>(slab + kSlabHead + k * size);
    b->next = tFree[c];
    tFree[c] = b;
  }
  tCount[c] += blocks;
}

// Hands half of this thread's free blocks of one class to the shared list.
void Spill(size_t c) {
  Block* first = tFree[c];
  Block* last = first;
  for (size_t k = 1; k < kKeepBlocks / 2; ++k) last = last->next;
  tFree[c] = last->next;
  tCount[c] -= kKeepBlocks / 2;
  Shared& s = SharedPool();
  std::lock_guard<std::mutex> g(s.lock);
  last->next = s.free[c];
  s.free[c] = first;
  s.count[c] += kKeepBlocks / 2;
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

void* detail::PoolAlloc(size_t bytes) {
  if (bytes == 0 || bytes > kGrain * kClasses) return ::operator new(bytes);
  const size_t c = (bytes - 1) / kGrain;
  if (!tFree[c]) Refill(c);
  Block* b = tFree[c];
  tFree[c] = b->next;
  --tCount[c];
  return b;
}

void detail::PoolFree(void* p, size_t bytes) noexcept {
  if (!p) return;
  if (bytes == 0 || bytes > kGrain * kClasses) {
    ::operator delete(p);
    return;
  }
  const size_t c = (bytes - 1) / kGrain;
  auto* b = static_cast<Block*>(p);
  b->next = tFree[c];
  tFree[c] = b;
  if (++tCount[c] > kKeepBlocks) Spill(c);
}

#endif

void* detail::Node::operator new(size_t size) { return PoolAlloc(size); }
void detail::Node::operator delete(void* p) noexcept { PoolFree(p, sizeof(Node)); }

}  // namespace zoq::json
