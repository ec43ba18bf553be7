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

template <class T = void>
T* At(Word address) {
  return platform::AtWord<T>(address);
}
using platform::WordOf;

// The bytes of the host's block at `address` that may be read: its size, 0
// for no block (or an address that is no block of the process heap).
std::size_t Room(Word address) { return platform::ProcessHeapBlockSize(At(address)).value_or(0); }

// Frees a block of the process heap; anything else is left alone.
void FreeAt(Word address) {
  if (platform::ProcessHeapBlockSize(At(address))) platform::FreeProcessHeapBlock(At(address));
}

// The value of type T at byte `offset` of a block of `room` bytes, 0
// beyond it.
template <class T>
T ValueIn(Word block, std::size_t room, std::size_t offset) {
  T v = 0;
  if (offset + sizeof v <= room) std::memcpy(&v, At<const unsigned char>(block) + offset, sizeof v);
  return v;
}
// A 32-bit number of a block (the headers' 1 and counts, a text's length).
std::uint32_t WordIn(Word block, std::size_t room, std::size_t offset) {
  return ValueIn<std::uint32_t>(block, room, offset);
}
// An address in a block.
Word AddressIn(Word block, std::size_t room, std::size_t offset) { return ValueIn<Word>(block, room, offset); }

// Blocks of lists begin with two 32-bit numbers, 1 and the count.
constexpr std::size_t kHeader = 8;

// The count word of a block (word 1, a count n, then n items of `item`
// bytes), no more than the block holds.
std::size_t CountIn(Word block, std::size_t item) {
  const std::size_t room = Room(block);
  if (room < kHeader) return 0;
  return std::min<std::size_t>(WordIn(block, room, 4), (room - kHeader) / item);
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

std::string ReadHostText(Word block) {
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

std::string HostTextAt(Word address) {
  const std::size_t room = Room(address);
  return room ? TextWithin(At<const char>(address), room) : std::string();
}

std::string ReturnedHostText(Word address) {
  if (address == 0) return {};
  const std::size_t room = Room(address);
  return room ? TextWithin(At<const char>(address), room) : std::string(At<const char>(address));
}
void FreeHostBlock(Word address) { FreeAt(address); }

std::string HostText::str() const { return HostTextAt(address_); }
void HostText::Free() {
  FreeAt(address_);
  address_ = 0;
}

std::string HostBytes::bytes() const {
  const std::size_t n = CountIn(address_, 1);
  return n ? std::string(At<const char>(address_) + kHeader, n) : std::string();
}
void HostBytes::Free() {
  FreeAt(address_);
  address_ = 0;
}
void HostBytes::Hold(const std::string& bytes) {
  Free();
  auto* block = static_cast<std::uint32_t*>(platform::NewProcessHeapBlock(kHeader + bytes.size()));
  if (!block) return;
  block[0] = 1;
  block[1] = static_cast<std::uint32_t>(bytes.size());
  if (!bytes.empty()) std::memcpy(block + 2, bytes.data(), bytes.size());
  address_ = WordOf(block);
}

HostI64Array::HostI64Array(const std::vector<std::int64_t>& values) {
  auto* block = static_cast<std::uint32_t*>(platform::NewProcessHeapBlock(kHeader + 8 * values.size()));
  if (!block) return;
  block[0] = 1;
  block[1] = static_cast<std::uint32_t>(values.size());
  if (!values.empty()) std::memcpy(block + 2, values.data(), 8 * values.size());
  address_ = WordOf(block);
}
HostI64Array::~HostI64Array() { FreeAt(address_); }
std::vector<std::int64_t> HostI64Array::values() const {
  std::vector<std::int64_t> out(CountIn(address_, 8));
  if (!out.empty()) std::memcpy(out.data(), At<const unsigned char>(address_) + kHeader, 8 * out.size());
  return out;
}

Word NewEmptyHostArray() {
  auto* block = static_cast<std::uint32_t*>(platform::NewProcessHeapBlock(kHeader));
  if (block) block[0] = 1;
  return WordOf(block);
}

std::size_t HostArrayCount(Word array) { return CountIn(array, sizeof(Word)); }

Word HostArrayRecord(Word array, std::size_t i) {
  return i < HostArrayCount(array) ? AddressIn(array, Room(array), kHeader + i * sizeof(Word)) : 0;
}

// A layout gives its members' byte offsets in the host's 32-bit record,
// where every member is a multiple of 32 bits: with wider words, each 32
// bits of the record are a word.
constexpr std::size_t kWordsPer32Bits = sizeof(Word) / 4;

void FreeHostArray(Word array, const std::uint16_t* texts, std::size_t textCount, int blockArray) {
  const std::size_t count = HostArrayCount(array);
  for (std::size_t i = 0; i < count; ++i) {
    const Word record = HostArrayRecord(array, i);
    const std::size_t room = Room(record);
    if (!room) continue;
    for (std::size_t t = 0; t < textCount; ++t) FreeAt(AddressIn(record, room, texts[t] * kWordsPer32Bits));
    if (blockArray >= 0) {
      FreeHostArray(AddressIn(record, room, static_cast<std::size_t>(blockArray) * kWordsPer32Bits), nullptr, 0, -1);
    }
    FreeAt(record);
  }
  FreeAt(array);
}

ZOQ_HOT bool CallHost(void* function, const WordList& words, platform::StdcallOutcome& out) {
  out = platform::CallStdcall(function, std::span<const Word>(words.words.data(), words.count));
  if (!out.balanced()) {
    ReportFault({HostFault::StackImbalance});
    return false;
  }
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
