#include "hosts/call/host_call.hpp"

#include <cstring>

#include "platform/files.hpp"
#include "platform/modules.hpp"
#include "platform/stdcall.hpp"

namespace zoq::hosts {
namespace {

FaultSink g_faultSink = nullptr;

}  // namespace

void SetFaultSink(FaultSink sink) { g_faultSink = sink; }

std::string ReadHostTextBlock(std::uint32_t block) {
  if (block == 0) return {};
  auto* p = reinterpret_cast<unsigned char*>(static_cast<std::uintptr_t>(block));
  std::int32_t n = 0;
  std::memcpy(&n, p, sizeof n);
  std::string text;
  if (n > 0) {
    const char* bytes = reinterpret_cast<const char*>(p + sizeof n);
    text.assign(bytes, strnlen(bytes, static_cast<std::size_t>(n)));
  }
  platform::FreeProcessHeapBlock(p);
  return text;
}

bool CallHost(void* function, const WordList& words, std::uint32_t& eax, std::uint32_t& edx) {
  const platform::StdcallOutcome out =
      platform::CallStdcall(function, std::span<const std::uint32_t>(words.words.data(), words.count));
  if (!out.balanced()) {
    if (g_faultSink) g_faultSink();
    return false;
  }
  eax = out.eax;
  edx = out.edx;
  return true;
}

// The module the host process has loaded already, else the DLL of that name
// in the host executable's folder; never one found along the general DLL
// search path, where a planted DLL could win.
void* LibraryBinding::Address(std::size_t slot, const char* function) {
  void*& kept = cache_.Slot(slot);
  if (kept) return kept;
  if (!module_) module_ = platform::LoadedModule(libraryName_);
  if (!module_) module_ = platform::LoadModuleFile(platform::ExecutableFolder() + "\\" + libraryName_);
  if (!module_) return nullptr;
  kept = platform::FindFunction(module_, function);
  return kept;
}

}  // namespace zoq::hosts
