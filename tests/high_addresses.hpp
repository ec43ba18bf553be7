// In a 64-bit test process, nothing made from now on lies below 4 GB: every
// free range of the address space there is reserved, and what the process
// heap and the C runtime's heap still have there is taken. Blocks, the
// stacks of new threads and the images loaded later (the plug-in, the fake
// host DLLs) then lie above, so an address that is carried in 32 bits
// anywhere on a host's call path fails a test every time, not by chance.
// RunAboveLowAddresses also runs the program's work on a thread of its own,
// whose stack lies above (the main thread's lies where the system put it).
// In a 32-bit process it only runs the work.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace zoq::testing {

inline constexpr std::uint64_t kLowAddressesEnd = std::uint64_t(1) << 32;

inline bool AboveLowAddresses(const void* p) { return reinterpret_cast<std::uint64_t>(p) >= kLowAddressesEnd; }

inline void ReserveLowAddresses() {
  if constexpr (sizeof(void*) == 8) {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const std::uint64_t granularity = system.dwAllocationGranularity;
    std::uint64_t at = granularity;
    MEMORY_BASIC_INFORMATION range{};
    while (at < kLowAddressesEnd && VirtualQuery(reinterpret_cast<void*>(at), &range, sizeof range)) {
      const auto base = reinterpret_cast<std::uint64_t>(range.BaseAddress);
      const std::uint64_t end = base + range.RegionSize;
      if (range.State == MEM_FREE) {
        const std::uint64_t from = (base + granularity - 1) / granularity * granularity;
        const std::uint64_t to = end < kLowAddressesEnd ? end : kLowAddressesEnd;
        if (from < to) VirtualAlloc(reinterpret_cast<void*>(from), to - from, MEM_RESERVE, PAGE_NOACCESS);
      }
      at = end > at ? end : at + granularity;
    }
    // The heaps made before: each size taken until a block comes from above
    // (the blocks below are kept for the life of the process, in room made
    // first, so that nothing below is freed on the way).
    static std::vector<void*> kept;
    kept.reserve(1 << 20);
    std::size_t sizes[6 + 128];
    std::size_t n = 0;
    for (std::size_t size = 65536; size > 2048; size /= 2) sizes[n++] = size;
    for (std::size_t size = 2048; size >= 16; size -= 16) sizes[n++] = size;
    for (std::size_t s = 0; s < n; ++s) {
      const std::size_t size = sizes[s];
      for (int i = 0; i < 100000 && kept.size() < kept.capacity(); ++i) {
        void* block = HeapAlloc(GetProcessHeap(), 0, size);
        if (!block) break;
        if (AboveLowAddresses(block)) {
          HeapFree(GetProcessHeap(), 0, block);
          break;
        }
        kept.push_back(block);
      }
      for (int i = 0; i < 100000 && kept.size() < kept.capacity(); ++i) {
        void* block = std::malloc(size);
        if (!block) break;
        if (AboveLowAddresses(block)) {
          std::free(block);
          break;
        }
        kept.push_back(block);
      }
    }
  }
}

// Reserves the low addresses, then runs `work` on a thread of its own (a
// stack of 16 MiB) and answers what it answered.
template <class Work>
int RunAboveLowAddresses(Work work) {
  ReserveLowAddresses();
  if constexpr (sizeof(void*) == 4) {
    return work();
  } else {
    struct Call {
      Work* work;
      int result;
    } call{&work, 0};
    HANDLE thread = CreateThread(
        nullptr, 16 << 20,
        [](void* p) -> DWORD {
          auto* c = static_cast<Call*>(p);
          c->result = (*c->work)();
          return 0;
        },
        &call, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) return work();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return call.result;
  }
}

}  // namespace zoq::testing
