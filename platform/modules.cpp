#include "platform/modules.hpp"

#include <windows.h>

namespace zoq::platform {

namespace {

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

// The way out of a ZOQ_EXPORT_RELEASING_MODULE export, entered by a jump with
// the export's return address on top of the stack and its body in eax. The
// body returns the result in eax and the module to release in edx. With a
// module, the stack is laid out so that FreeLibrary(module) returns into
// SetLastError(result), which returns into GetLastError, which returns the
// result to the export's caller with the stack as a stdcall function without
// arguments leaves it: nothing of the module runs after FreeLibrary.
asm(R"(
        .text
        .globl _zoq_ReturnReleasingModule
_zoq_ReturnReleasingModule:
        call *%eax
        testl %edx, %edx
        jz 1f
        pushl %eax
        pushl __imp__GetLastError@0
        pushl %edx
        pushl __imp__SetLastError@4
        jmp *__imp__FreeLibrary@4
1:      ret
)");
