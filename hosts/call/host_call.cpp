#include "hosts/call/host_call.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/files.hpp"
#include "platform/modules.hpp"
#include "platform/stdcall.hpp"

namespace zoq::hosts {
namespace {

std::atomic<FaultSink> g_faultSink{nullptr};

template <class T = std::uint32_t>
T* At(std::uint32_t address) {
  return reinterpret_cast<T*>(static_cast<std::uintptr_t>(address));
}
std::uint32_t WordOf(const void* p) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)); }

// The bytes of the host's block at `address` that may be read: its size, 0
// for no block (or an address that is no block of the process heap).
std::size_t Room(std::uint32_t address) { return platform::ProcessHeapBlockSize(At<void>(address)).value_or(0); }

// Frees a block of the process heap; anything else is left alone.
void FreeAt(std::uint32_t address) {
  if (platform::ProcessHeapBlockSize(At<void>(address))) platform::FreeProcessHeapBlock(At<void>(address));
}

// The word at byte `offset` of a block of `room` bytes, 0 beyond it.
std::uint32_t WordIn(std::uint32_t block, std::size_t room, std::size_t offset) {
  std::uint32_t w = 0;
  if (offset + 4 <= room) std::memcpy(&w, At<const unsigned char>(block) + offset, 4);
  return w;
}

// The count word of a block (word 1, a count n, then n items of `item`
// bytes), no more than the block holds.
std::size_t CountIn(std::uint32_t block, std::size_t item) {
  const std::size_t room = Room(block);
  if (room < 8) return 0;
  return std::min<std::size_t>(WordIn(block, room, 4), (room - 8) / item);
}

// The text at `p` up to its NUL, within `room` bytes.
std::string TextWithin(const char* p, std::size_t room) { return std::string(p, strnlen(p, room)); }

}  // namespace

void SetFaultSink(FaultSink sink) { g_faultSink = sink; }

void ReportFault(const HostFault& fault) {
  if (const FaultSink sink = g_faultSink.load()) sink(fault);
}

void MissingFunctions::Report(std::string_view library, const char* function) {
  const std::string_view name = function ? function : "";
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (const std::string& r : reported_)
      if (r == name) return;
    reported_.emplace_back(name);
  }
  ReportFault({HostFault::MissingFunction, library, name});
}

std::string ReadHostText(std::uint32_t block) {
  const std::size_t room = Room(block);
  if (room == 0) return {};
  std::string text;
  const auto n = static_cast<std::int32_t>(WordIn(block, room, 0));
  if (n > 0 && room > 4) {
    text = TextWithin(At<const char>(block) + 4, std::min<std::size_t>(static_cast<std::size_t>(n), room - 4));
  }
  FreeAt(block);
  return text;
}

std::string HostTextAt(std::uint32_t address) {
  const std::size_t room = Room(address);
  return room ? TextWithin(At<const char>(address), room) : std::string();
}

std::string ReturnedHostText(std::uint32_t address) {
  if (address == 0) return {};
  const std::size_t room = Room(address);
  return room ? TextWithin(At<const char>(address), room) : std::string(At<const char>(address));
}
void FreeHostBlock(std::uint32_t address) { FreeAt(address); }

std::string HostText::str() const { return HostTextAt(address_); }
void HostText::Free() {
  FreeAt(address_);
  address_ = 0;
}

std::string HostBytes::bytes() const {
  const std::size_t n = CountIn(address_, 1);
  return n ? std::string(At<const char>(address_) + 8, n) : std::string();
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
  std::vector<std::int64_t> out(CountIn(address_, 8));
  if (!out.empty()) std::memcpy(out.data(), At(address_) + 2, 8 * out.size());
  return out;
}

std::uint32_t NewEmptyHostArray() {
  auto* block = static_cast<std::uint32_t*>(platform::NewProcessHeapBlock(8));
  if (block) block[0] = 1;
  return WordOf(block);
}

std::size_t HostArrayCount(std::uint32_t array) { return CountIn(array, 4); }

void FreeHostArray(std::uint32_t array, const std::uint16_t* texts, std::size_t textCount, int blockArray) {
  const std::size_t count = HostArrayCount(array);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t record = At(array)[2 + i];
    const std::size_t room = Room(record);
    if (!room) continue;
    for (std::size_t t = 0; t < textCount; ++t) FreeAt(WordIn(record, room, texts[t]));
    if (blockArray >= 0) FreeHostArray(WordIn(record, room, static_cast<std::size_t>(blockArray)), nullptr, 0, -1);
    FreeAt(record);
  }
  FreeAt(array);
}

ZOQ_HOT bool CallHost(void* function, const WordList& words, std::uint32_t& eax, std::uint32_t& edx) {
  const platform::StdcallOutcome out =
      platform::CallStdcall(function, std::span<const std::uint32_t>(words.words.data(), words.count));
  if (!out.balanced()) {
    ReportFault({HostFault::StackImbalance});
    return false;
  }
  eax = out.eax;
  edx = out.edx;
  return true;
}

std::shared_ptr<void> ApiModule(const std::string& name) {
  if (platform::ModuleReference loaded = platform::ReferenceLoadedModule(name)) return loaded;
  return platform::LoadModuleFile(platform::ExecutableFolder() + "\\" + name);
}

ZOQ_HOT void* LibraryBinding::Address(std::size_t slot, const char* function) {
  if (void* kept = cache_.Get(slot)) return kept;
  void* found = platform::FindFunction(module_.Get([this] { return ApiModule(libraryName_); }), function);
  if (found) {
    cache_.Set(slot, found);
  } else {
    missing_.Report(libraryName_, function);
  }
  return found;
}

}  // namespace zoq::hosts
