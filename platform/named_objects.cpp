#include "platform/named_objects.hpp"

#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <cstring>
#include <new>

namespace zoq::platform {
namespace {

// Attributes that let every local user, of any integrity level, have the
// `access` of the access list given (the rest of the descriptor).
class AnyoneMay {
 public:
  explicit AnyoneMay(const char* descriptor) {
    ConvertStringSecurityDescriptorToSecurityDescriptorA(descriptor, SDDL_REVISION_1, &descriptor_, nullptr);
  }
  ~AnyoneMay() { LocalFree(descriptor_); }
  AnyoneMay(const AnyoneMay&) = delete;
  AnyoneMay& operator=(const AnyoneMay&) = delete;
  SECURITY_ATTRIBUTES* get() {
    attributes_ = {sizeof attributes_, descriptor_, FALSE};
    return descriptor_ ? &attributes_ : nullptr;
  }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
};

// The object of a global `name`: made there, or opened there (someone made
// it), else made under the session's own name (the name past the prefix).
template <class Make, class Open>
HANDLE GlobalOrSession(const std::string& name, const char* descriptor, Make make, Open open) {
  HANDLE h = nullptr;
  if (!globalNamesRefused) {
    AnyoneMay anyone(descriptor);
    h = make(anyone.get(), name.c_str());
  }
  if (!h) h = open(name.c_str());
  if (!h) h = make(nullptr, name.c_str() + std::strlen(kGlobalNames));
  return h;
}

constexpr DWORD kMutexAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

}  // namespace

void* OpenNamedMutex(const std::string& name) {
  return GlobalOrSession(
      name, "D:(A;;0x00100001;;;WD)S:(ML;;NW;;;LW)",
      [](SECURITY_ATTRIBUTES* a, const char* n) { return CreateMutexExA(a, n, 0, kMutexAccess); },
      [](const char* n) { return OpenMutexA(kMutexAccess, FALSE, n); });
}

void SecretBytes(void* bytes, std::size_t count) {
  if (RtlGenRandom(bytes, static_cast<ULONG>(count))) return;
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  std::uint64_t x = static_cast<std::uint64_t>(counter.QuadPart) ^ (std::uint64_t{GetCurrentProcessId()} << 32) ^
                    GetTickCount64() ^ reinterpret_cast<std::uintptr_t>(&counter);
  auto* out = static_cast<unsigned char*>(bytes);
  for (std::size_t i = 0; i < count; ++i) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    out[i] = static_cast<unsigned char>(x >> 56);
  }
}

SharedBlock::SharedBlock(const std::string& name, std::size_t size) : size_(size) {
  constexpr DWORD kViewAccess = FILE_MAP_READ | FILE_MAP_WRITE;
  mapping_ = GlobalOrSession(
      name, "D:(A;;0x6;;;WD)S:(ML;;NW;;;LW)",
      [size](SECURITY_ATTRIBUTES* a, const char* n) {
        return CreateFileMappingA(INVALID_HANDLE_VALUE, a, PAGE_READWRITE, 0, static_cast<DWORD>(size), n);
      },
      [](const char* n) { return OpenFileMappingA(kViewAccess, FALSE, n); });
  // A mapping of the name that another made smaller than this one asks
  // gives no view: the block is this process's own then.
  if (mapping_) data_ = static_cast<unsigned char*>(MapViewOfFile(mapping_, kViewAccess, 0, 0, size));
  if (data_) mutex_ = OpenNamedMutex(name + "-lock");
  shared_ = data_ && mutex_;
  if (!shared_) {
    if (data_) UnmapViewOfFile(data_);
    if (mapping_) CloseHandle(mapping_);
    if (mutex_) CloseHandle(mutex_);
    mapping_ = nullptr;
    own_.reset(new (std::nothrow) unsigned char[size]());
    data_ = own_.get();
    mutex_ = CreateMutexA(nullptr, FALSE, nullptr);
  }
}

SharedBlock::~SharedBlock() {
  if (mapping_) UnmapViewOfFile(data_), CloseHandle(mapping_);
  if (mutex_) CloseHandle(mutex_);
}

SharedBlock::Hold::Hold(const SharedBlock& block, std::uint32_t waitMs) : mutex_(block.data_ ? block.mutex_ : nullptr) {
  const DWORD got = mutex_ ? WaitForSingleObject(mutex_, waitMs) : WAIT_FAILED;
  abandoned_ = got == WAIT_ABANDONED;
  held_ = got == WAIT_OBJECT_0 || abandoned_;
}

SharedBlock::Hold::~Hold() {
  if (held_) ReleaseMutex(mutex_);
}

}  // namespace zoq::platform
