#include "platform/modules.hpp"

#include <windows.h>

namespace zoq::platform {

void* LoadModuleFile(const std::string& path) {
  return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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

}  // namespace zoq::platform
