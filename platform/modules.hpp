// Modules of the process: host API DLLs, their functions, and
// the process heap that host blocks come from.
#pragma once
#include <cstddef>
#include <cstdint>
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
// The same with a reference of the caller's own (GetModuleHandleExA): the
// module stays loaded, whoever else frees it, until the last copy goes.
ModuleReference ReferenceLoadedModule(const std::string& name);
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

// A reference on the module this code is linked into (GetModuleHandleEx on
// an address of its own): the module stays loaded, whoever else frees it,
// until the reference is released.
void* ReferenceOwnModule();
// Pins the module this code is linked into (GetModuleHandleEx with the pin
// flag): it stays loaded until the process ends, whoever frees it. For a box
// that may come up inside any export, where no reference can be released
// once this module's code has left the stack.
void PinOwnModule();

// What the body of a ZOQ_EXPORT_RELEASING_MODULE export returns: the
// export's result and the module reference to release on the way out.
std::uint64_t ResultReleasing(std::int32_t result, void* module);

}  // namespace zoq::platform

// Exports `name`, a stdcall function without arguments, that runs `body`
// (extern "C" std::uint64_t body(), returning ResultReleasing) and returns
// its result. The reference that body hands back is released when none of
// this module's code is left on the stack (modules_<processor>.S: the i386
// export returns through FreeLibrary, SetLastError and GetLastError, which
// hand the result back; the x86-64 one through code outside the module), so
// that a host which freed the DLL while the export ran (a modal window open:
// from a timer inside it or from another thread) unloads it only then.
#if defined(__i386__)
#define ZOQ_EXPORT_RELEASING_MODULE(name, body)                                         \
  asm(".text\n\t.globl _" #name "@0\n_" #name "@0:\n\tmovl $_" #body \
      ", %eax\n\tjmp _zoq_ReturnReleasingModule")
#else
#define ZOQ_EXPORT_RELEASING_MODULE(name, body)                                                    \
  asm(".text\n\t.globl " #name "\n" #name ":\n\tleaq " #body "(%rip), %rax\n\tjmp zoq_ReturnReleasingModule")
#endif
