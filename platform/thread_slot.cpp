#include "platform/thread_slot.hpp"

#include <windows.h>
#include <winternl.h>

#include <cstddef>

namespace zoq::platform {
namespace {

// The first slots sit in the thread's block itself; later ones behind it.
constexpr DWORD kSlotsInBlock = sizeof(TEB::TlsSlots) / sizeof(void*);

// The calling thread's slot `index` (below kSlotsInBlock) in its block,
// which the thread's FS segment (GS on x86-64) begins with: the system's
// accessor reads it there, inline.
ZOQ_HOT void** InBlock(DWORD index) { return &NtCurrentTeb()->TlsSlots[index]; }

}  // namespace

ThreadSlot::ThreadSlot() noexcept : index_(TlsAlloc()) {
  if (index_ == TLS_OUT_OF_INDEXES) fiberIndex_ = FlsAlloc(nullptr);
}

ThreadSlot::~ThreadSlot() {
  // Every thread's value goes with the slot.
  if (index_ != TLS_OUT_OF_INDEXES) TlsFree(index_);
  if (fiberIndex_ != FLS_OUT_OF_INDEXES) FlsFree(fiberIndex_);
}

ZOQ_HOT void* ThreadSlot::get() const noexcept {
  if (index_ < kSlotsInBlock) return *InBlock(index_);
  if (index_ == TLS_OUT_OF_INDEXES && fiberIndex_ == FLS_OUT_OF_INDEXES) return nullptr;
  const DWORD error = GetLastError();  // which the system's reads clear
  void* value = index_ != TLS_OUT_OF_INDEXES ? TlsGetValue(index_) : FlsGetValue(fiberIndex_);
  SetLastError(error);
  return value;
}

ZOQ_HOT void ThreadSlot::set(void* value) const noexcept {
  if (index_ < kSlotsInBlock) {
    *InBlock(index_) = value;
  } else if (index_ != TLS_OUT_OF_INDEXES) {
    TlsSetValue(index_, value);
  } else if (fiberIndex_ != FLS_OUT_OF_INDEXES) {
    FlsSetValue(fiberIndex_, value);
  }
}

}  // namespace zoq::platform
