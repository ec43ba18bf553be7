// One writer at a time for the files of a folder, across every process
// that uses it: a named system mutex whose name comes from the folder's
// identity on its volume (so two paths to one folder share it), worked out
// once for a path and again after the folder there was renamed away,
// deleted or replaced. Recursive for the thread that holds it. A process or a thread that ends while
// holding it leaves it to the next waiter.
//
// The threads of this process take their turns first, among themselves; only
// the thread whose turn it is waits on the mutex. So the wait on another
// process (hung, stopped in a debugger) has a budget of its own, apart from
// the wait on this process's threads, which finish what they do.
#pragma once
#include <cstdint>
#include <string>

namespace zoq::platform {

class FolderLock {
 public:
  // Waits for the lock of `folder`: at most `othersWaitMs` on other
  // processes (counting the time the threads ahead of this one spent waiting
  // on them), and at most `ownWaitMs` besides on this process's threads.
  FolderLock(const std::string& folder, std::uint32_t othersWaitMs, std::uint32_t ownWaitMs);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool held() const { return turn_ != nullptr; }
  // The milliseconds it spent waiting on other processes.
  std::uint32_t othersWaitedMs() const { return othersWaited_; }

  // The name the lock of `folder` has, whatever the spelling of its path
  // (tests look at it).
  static std::string NameFor(const std::string& folder);

 private:
  // The same, worked out once for a path and kept while the folder stays
  // there.
  static std::string KeptNameFor(const std::string& folder);
  void Hold();  // this thread holds it now

  std::string folder_;
  void* turn_ = nullptr;  // this process's turns at the lock, while held
  const FolderLock* outer_ = nullptr;  // the lock this thread held before
  std::uint32_t othersWaited_ = 0;
};

}  // namespace zoq::platform
