// Modules of the process: host API DLLs found by name, their functions, and
// the process heap that host blocks come from.
#pragma once
#include <cstddef>
#include <string>

namespace zoq::platform {

// LoadLibraryA: the module, loaded when it is not yet; null when it cannot be.
void* LoadModule(const std::string& name);
// GetModuleHandleA: a module the process has already loaded, or null.
void* LoadedModule(const std::string& name);
// GetProcAddress; null for a null module or a missing function.
void* FindFunction(void* module, const char* name);
// Frees a block of the process heap (HeapFree); null is ignored.
void FreeProcessHeapBlock(void* block);
// A zeroed block of the process heap (HeapAlloc), or null.
void* NewProcessHeapBlock(std::size_t bytes);

}  // namespace zoq::platform
