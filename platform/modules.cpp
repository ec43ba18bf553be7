#include "platform/modules.hpp"

#include <windows.h>

namespace zoq::platform {

ModuleReference LoadModuleFile(const std::string& path) {
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return nullptr;
  return ModuleReference(module, [](void* m) { FreeLibrary(static_cast<HMODULE>(m)); });
}

void* LoadedModule(const std::string& name) { return GetModuleHandleA(name.c_str()); }

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

}  // namespace zoq::platform
