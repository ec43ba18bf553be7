#include "hosts/call/host_call.hpp"

#include <windows.h>

#include <cstring>

#include "core/error_hook.hpp"
#include "platform/stdcall.hpp"

namespace zoq::hosts {

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
  HeapFree(GetProcessHeap(), 0, p);
  return text;
}

HostRowBase::HostRowBase(HostBinding& binding, const char* operation, const char* function, const char* ownKinds,
                         bool lead)
    : binding_(binding), operation_(operation), function_(function), ownKinds_(ownKinds), lead_(lead) {
  if (!function_) return;
  if (binding_.last_) binding_.last_->next_ = this;
  else binding_.first_ = this;
  binding_.last_ = this;
}

HostRowBase::~HostRowBase() {
  if (!function_) return;
  HostRowBase* before = nullptr;
  for (HostRowBase* r = binding_.first_; r && r != this; r = r->next_) before = r;
  (before ? before->next_ : binding_.first_) = next_;
  if (binding_.last_ == this) binding_.last_ = before;
}

std::string HostRowBase::kinds() const {
  std::string k;
  if (lead_) k = binding_.LeadKinds();
  return k + ownKinds_;
}

bool HostRowBase::Run(const WordList& words, std::uint32_t& eax, std::uint32_t& edx) {
  if (!function_) return false;
  void* fn = binding_.Address(*this, kept_);
  if (!fn) return false;
  const platform::StdcallOutcome out =
      platform::CallStdcall(fn, std::span<const std::uint32_t>(words.words.data(), words.count));
  if (!out.balanced()) {
    RaiseRuntimeError(kErrStackImbalance, RuntimeErrorMessage(kErrStackImbalance));
    return false;
  }
  eax = out.eax;
  edx = out.edx;
  return true;
}

void* LibraryBinding::Address(const HostRowBase& row, void*& kept) {
  if (kept) return kept;
  if (!module_) module_ = LoadLibraryA(libraryName_);
  if (!module_) return nullptr;
  kept = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), row.function()));
  return kept;
}

}  // namespace zoq::hosts
