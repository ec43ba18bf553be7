#include "platform/folder_lock.hpp"

#include <windows.h>

#include <cstdio>

#include "platform/files.hpp"

namespace zoq::platform {
namespace {

// FNV-1a over the bytes, for a name that stays short.
std::uint64_t Hash(const std::string& bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

}  // namespace

std::string FolderLock::NameFor(const std::string& folder) {
  char name[96];
  // The folder's volume and file index; a folder that cannot be opened
  // (not made yet) goes by its full path, letters folded.
  HANDLE h = CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  if (h != INVALID_HANDLE_VALUE) {
    const bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (known) {
      std::snprintf(name, sizeof name, "ZOQ-F-DataFolder-%08lX-%08lX%08lX", info.dwVolumeSerialNumber,
                    info.nFileIndexHigh, info.nFileIndexLow);
      return name;
    }
  }
  std::string path = FullPath(folder);
  for (char& c : path) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c == '/') c = '\\';
  }
  while (!path.empty() && path.back() == '\\') path.pop_back();
  std::snprintf(name, sizeof name, "ZOQ-F-DataFolder-path-%016llX", static_cast<unsigned long long>(Hash(path)));
  return name;
}

FolderLock::FolderLock(const std::string& folder, std::uint32_t waitMs) {
  mutex_ = CreateMutexA(nullptr, FALSE, NameFor(folder).c_str());
  if (!mutex_) return;
  const DWORD got = WaitForSingleObject(mutex_, waitMs);
  held_ = got == WAIT_OBJECT_0 || got == WAIT_ABANDONED;
}

FolderLock::~FolderLock() {
  if (held_) ReleaseMutex(mutex_);
  if (mutex_) CloseHandle(mutex_);
}

}  // namespace zoq::platform
