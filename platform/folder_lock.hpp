// One writer at a time for the files of a folder, across every process
// that uses it: a named system mutex whose name comes from the folder's
// identity on its volume (so two paths to one folder share it), worked out
// once for a path and again after the folder there was renamed away,
// deleted or replaced (which its watch tells, and a look at the folder once
// a second at the most finds where the watch cannot see it), whenever the
// names are forgotten, and before a wait on another process that holds the
// lock by the name kept. Recursive for the thread that holds it. A process
// or a thread that ends while holding it leaves it to the next waiter.
//
// The name stands in the global namespace, which every session of the
// machine sees, and every local user may wait on the mutex: an elevated
// host and a plain one, or two users' hosts, on one folder exclude each
// other. Where the global name cannot be had (a user without the right to
// make global objects, before anyone made it), the session's own stands in
// (platform/named_objects.hpp).
//
// The threads of this process take their turns first, among themselves; only
// the thread whose turn it is waits on the mutex. So the wait on another
// process (hung, stopped in a debugger) has a budget of its own, apart from
// the wait on this process's threads, which finish what they do. It counts
// from the last time this process had the lock: a lock that goes from
// process to process, each writing in turn, spends none of it. A holder's
// wait on another program that holds a file of the folder (OthersHoldUp)
// counts for the threads in line too, whoever holds the lock after.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zoq::platform {

// While one stands on a thread, every wait of the thread on other processes
// that ran out (for a data folder's lock, and the waits callers count in
// it) is counted in it with the milliseconds it was allowed, in order: the
// thread waited their sum at the least. What tests read of a caller's
// budget: the sum within it, each wait given what was left of it.
class OthersWaitsRanOut {
 public:
  OthersWaitsRanOut();
  ~OthersWaitsRanOut();
  OthersWaitsRanOut(const OthersWaitsRanOut&) = delete;
  OthersWaitsRanOut& operator=(const OthersWaitsRanOut&) = delete;

  // A wait of this thread that was allowed `allowedMs` ran out.
  static void Count(std::uint32_t allowedMs);
  std::uint32_t Sum() const;

  std::vector<std::uint32_t> allowed;

 private:
  OthersWaitsRanOut* outer_;
};

class FolderLock {
 public:
  // Waits for the lock of `folder`: at most `othersWaitMs` on other
  // processes (counting the time the threads ahead of this one spent waiting
  // on them since this process last had it), and at most `ownWaitMs`
  // besides on this process's threads.
  FolderLock(const std::string& folder, std::uint32_t othersWaitMs, std::uint32_t ownWaitMs);
  // Another lock of the folder, for one `use` (a word of its name): held
  // apart from the folder's lock and from the folder's other uses.
  FolderLock(const std::string& folder, std::string_view use, std::uint32_t othersWaitMs, std::uint32_t ownWaitMs);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool held() const { return turn_ != nullptr; }

  // While it stands, the thread that makes it waits on another program
  // (one that holds a file of the folder, or another process that holds an
  // object of its own) with its locks held: for the threads in line behind
  // it, that is a wait on other processes, which their budget for those
  // counts.
  class OthersHoldUp {
   public:
    OthersHoldUp();
    ~OthersHoldUp();
    OthersHoldUp(const OthersHoldUp&) = delete;
    OthersHoldUp& operator=(const OthersHoldUp&) = delete;
  };
  // The milliseconds it spent waiting on other processes.
  std::uint32_t othersWaitedMs() const { return othersWaited_; }

  // The name the lock of `folder` has, whatever the spelling of its path
  // (tests look at it); the lock of a use has the use's word after it.
  static std::string NameFor(const std::string& folder);
  // The names worked out so far are worked out again now: a folder that
  // another replaced under its path (one above it renamed away and made
  // again, which the watch of its name does not see) has its own again.
  static void NameAnew();
  // The same, worked out once for a path and kept while the folder stays
  // there (looked at again a second after the last look): what other
  // objects of the folder that processes share are named after.
  static std::string KeptNameFor(const std::string& folder);

 private:
  void Hold();  // this thread holds it now
  // The name kept for `folder`, when it is still `name`, is worked out anew
  // at the next look.
  static void Forget(const std::string& folder, const std::string& name);

  std::string key_;  // the folder and the use: what the locks a thread holds are told apart by
  void* turn_ = nullptr;  // this process's turns at the lock, while held
  const FolderLock* outer_ = nullptr;  // the lock this thread held before
  std::uint32_t othersWaited_ = 0;
};

}  // namespace zoq::platform
