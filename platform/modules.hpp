// Modules of the process: host API DLLs, their functions, and
// the process heap that host blocks come from.
#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace zoq::platform {

// A module this process loaded itself: the reference goes (FreeLibrary)
// with the last copy of the holder.
using ModuleReference = std::shared_ptr<void>;
// LoadLibraryExA of a full path, its dependencies looked for beside it
// first; null when the file is missing or cannot be loaded.
ModuleReference LoadModuleFile(const std::string& path);
// GetModuleHandleA: a module the process has already loaded, or null.
void* LoadedModule(const std::string& name);
// GetProcAddress; null for a null module or a missing function.
void* FindFunction(void* module, const char* name);
// Frees a block of the process heap (HeapFree); null is ignored.
void FreeProcessHeapBlock(void* block);
// A zeroed block of the process heap (HeapAlloc), or null.
void* NewProcessHeapBlock(std::size_t bytes);
// The size of the live block of the process heap that starts at `block`
// (HeapValidate, then HeapSize); nothing for null or any other address, so
// that what a host hands over is never read past the block it allocated.
std::optional<std::size_t> ProcessHeapBlockSize(const void* block);

}  // namespace zoq::platform
