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

namespace {

template <class T = std::uint32_t>
T* At(std::uint32_t address) {
  return reinterpret_cast<T*>(static_cast<std::uintptr_t>(address));
}
std::uint32_t WordOf(const void* p) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)); }
void FreeAt(std::uint32_t address) { platform::FreeProcessHeapBlock(At<void>(address)); }

}  // namespace

std::string HostText::str() const { return address_ ? std::string(At<const char>(address_)) : std::string(); }
void HostText::Free() {
  FreeAt(address_);
  address_ = 0;
}

std::string HostBytes::bytes() const {
  if (!address_) return {};
  return std::string(At<const char>(address_) + 8, At(address_)[1]);
}
void HostBytes::Free() {
  FreeAt(address_);
  address_ = 0;
}
void HostBytes::Hold(const std::string& bytes) {
  Free();
  auto* block = static_cast<std::uint32_t*>(platform::NewProcessHeapBlock(8 + bytes.size()));
  if (!block) return;
  block[0] = 1;
  block[1] = static_cast<std::uint32_t>(bytes.size());
  if (!bytes.empty()) std::memcpy(block + 2, bytes.data(), bytes.size());
  address_ = WordOf(block);
}

HostI64Array::HostI64Array(const std::vector<std::int64_t>& values) {
  auto* block = static_cast<std::uint32_t*>(platform::NewProcessHeapBlock(8 + 8 * values.size()));
  if (!block) return;
  block[0] = 1;
  block[1] = static_cast<std::uint32_t>(values.size());
  if (!values.empty()) std::memcpy(block + 2, values.data(), 8 * values.size());
  address_ = WordOf(block);
}
HostI64Array::~HostI64Array() { FreeAt(address_); }
std::vector<std::int64_t> HostI64Array::values() const {
  if (!address_) return {};
  std::vector<std::int64_t> out(At(address_)[1]);
  if (!out.empty()) std::memcpy(out.data(), At(address_) + 2, 8 * out.size());
  return out;
}

std::uint32_t NewEmptyHostArray() {
  auto* block = static_cast<std::uint32_t*>(platform::NewProcessHeapBlock(8));
  if (block) block[0] = 1;
  return WordOf(block);
}

void FreeHostArray(std::uint32_t array, const std::uint16_t* texts, std::size_t textCount, int blockArray) {
  if (!array) return;
  const std::uint32_t count = At(array)[1];
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t record = At(array)[2 + i];
    if (!record) continue;
    const auto* bytes = At<const unsigned char>(record);
    for (std::size_t t = 0; t < textCount; ++t) {
      std::uint32_t member = 0;
      std::memcpy(&member, bytes + texts[t], 4);
      FreeAt(member);
    }
    if (blockArray >= 0) {
      std::uint32_t inner = 0;
      std::memcpy(&inner, bytes + blockArray, 4);
      FreeHostArray(inner, nullptr, 0, -1);
    }
    FreeAt(record);
  }
  FreeAt(array);
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
