#include "platform/modules.hpp"

#include <windows.h>

#include <cstring>
#include <utility>

namespace zoq::platform {

namespace {

thread_local void* releasedOnTheWayOut = nullptr;

ModuleReference Referenced(HMODULE module) {
  if (!module) return nullptr;
  return ModuleReference(module, [](void* m) { FreeLibrary(static_cast<HMODULE>(m)); });
}

}  // namespace

ModuleReference LoadModuleFile(const std::string& path) {
  return Referenced(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

void* LoadedModule(const std::string& name) { return GetModuleHandleA(name.c_str()); }

ModuleReference ReferenceLoadedModule(const std::string& name) {
  HMODULE module = nullptr;
  return Referenced(GetModuleHandleExA(0, name.c_str(), &module) ? module : nullptr);
}

void* FindFunction(void* module, const char* name) {
  if (!module || !name) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void FreeProcessHeapBlock(void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

void* NewProcessHeapBlock(std::size_t bytes) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes); }

std::optional<std::size_t> ProcessHeapBlockSize(const void* block) {
  if (!block) return std::nullopt;
  HANDLE heap = GetProcessHeap();
  if (!HeapValidate(heap, 0, block)) return std::nullopt;
  const SIZE_T size = HeapSize(heap, 0, block);
  if (size == static_cast<SIZE_T>(-1)) return std::nullopt;
  return static_cast<std::size_t>(size);
}

void* ReferenceOwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ReferenceOwnModule), &module);
  return module;
}

void PinOwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&PinOwnModule), &module);
}

}  // namespace zoq::platform

// What the way out of a ZOQ_EXPORT_RELEASING_MODULE export needs
// (modules_<processor>.S). With 32-bit words the module travels in the
// result's high word (edx).
std::uint64_t zoq::platform::ResultReleasing(std::int32_t result, void* module) {
  if constexpr (sizeof(void*) == 4) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(module)) << 32 |
           static_cast<std::uint32_t>(result);
  } else {
    releasedOnTheWayOut = module;
    return static_cast<std::uint32_t>(result);
  }
}

// x86-64: the module that the body of the export running on this thread
// handed back, taken.
extern "C" void* zoq_TakeReleasedModule() { return std::exchange(zoq::platform::releasedOnTheWayOut, nullptr); }

// x86-64: where the way out continues once it has left this module, with
// the module in rcx and the result in edx: code on a page of its own, never
// freed, that calls FreeLibrary(module) and returns the result to the
// export's caller. On x86-64 the callee's room for its register arguments
// lies above its return address, so no chain of system functions can
// return there as the i386 way does. Made once for each load of the
// module; null when the page cannot be had (the reference is then kept).
extern "C" void* zoq_ReleaseStub() {
  static void* const stub = []() -> void* {
    static constexpr unsigned char kCode[] = {
        0x52,                                // push rdx           (the result)
        0x48, 0x83, 0xEC, 0x20,              // sub  rsp, 32       (FreeLibrary's room)
        0xFF, 0x15, 0x06, 0x00, 0x00, 0x00,  // call [rip+6]       (FreeLibrary, below)
        0x48, 0x83, 0xC4, 0x20,              // add  rsp, 32
        0x58,                                // pop  rax
        0xC3,                                // ret
    };
    void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!page) return nullptr;
    auto* bytes = static_cast<unsigned char*>(page);
    std::memcpy(bytes, kCode, sizeof kCode);
    const auto freeLibrary = reinterpret_cast<std::uintptr_t>(&FreeLibrary);
    std::memcpy(bytes + sizeof kCode, &freeLibrary, sizeof freeLibrary);
    DWORD old = 0;
    if (!VirtualProtect(page, 4096, PAGE_EXECUTE_READ, &old)) {
      VirtualFree(page, 0, MEM_RELEASE);
      return nullptr;
    }
    FlushInstructionCache(GetCurrentProcess(), page, 4096);
    return page;
  }();
  return stub;
}
