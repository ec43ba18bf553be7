// One writer at a time for the files of a folder, across every process
// that uses it: a named system mutex whose name comes from the folder's
// identity on its volume (so two paths to one folder share it). Recursive
// for the thread that holds it. A process that ends while holding it
// leaves it to the next waiter.
#pragma once
#include <cstdint>
#include <string>

namespace zoq::platform {

class FolderLock {
 public:
  // Waits at most `waitMs` for the lock of `folder`.
  FolderLock(const std::string& folder, std::uint32_t waitMs);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool held() const { return held_; }

  // The name the lock of `folder` has (tests look at it).
  static std::string NameFor(const std::string& folder);

 private:
  void* mutex_ = nullptr;
  bool held_ = false;
};

}  // namespace zoq::platform
