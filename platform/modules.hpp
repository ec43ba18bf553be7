// Modules of the process: host API DLLs, their functions, and
// the process heap that host blocks come from.
#pragma once
#include <cstddef>
#include <string>

namespace zoq::platform {

// LoadLibraryExA of a full path, its dependencies looked for beside it
// first; null when the file is missing or cannot be loaded.
void* LoadModuleFile(const std::string& path);
// GetModuleHandleA: a module the process has already loaded, or null.
void* LoadedModule(const std::string& name);
// GetProcAddress; null for a null module or a missing function.
void* FindFunction(void* module, const char* name);
// Frees a block of the process heap (HeapFree); null is ignored.
void FreeProcessHeapBlock(void* block);
// A zeroed block of the process heap (HeapAlloc), or null.
void* NewProcessHeapBlock(std::size_t bytes);

}  // namespace zoq::platform
