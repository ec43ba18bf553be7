#include "platform/folder_lock.hpp"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/files.hpp"
#include "platform/folder_watch.hpp"
#include "platform/named_objects.hpp"
#include "platform/thread_slot.hpp"

namespace zoq::platform {
namespace {

// FNV-1a over the bytes, for a name that stays short.
std::uint64_t Hash(const std::string& bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

// This process's turns at one named lock: one thread at a time waits on the
// mutex and, once it has it, holds it.
struct Turns {
  DWORD owner = 0;          // the thread whose turn it is; 0: nobody's
  HANDLE thread = nullptr;  // that thread, to see it end
  unsigned depth = 0;       // how often that thread took it
  HANDLE mutex = nullptr;   // the named mutex, once the owner holds it
  bool othersWaiting = false;  // the owner waits on the mutex, that is on another process
  ULONGLONG othersSince = 0;
  ULONGLONG othersTotal = 0;  // milliseconds the owners waited on other processes, all told
  ULONGLONG othersWhenHeld = 0;  // othersTotal when an owner last had the mutex

  // The owner, holding the mutex, waits on another program (OthersHoldUp):
  // for the threads in line, a wait on others that no later owner's
  // getting the mutex takes back.
  bool heldUp = false;
  ULONGLONG heldUpSince = 0;
  ULONGLONG heldUpTotal = 0;

  ULONGLONG OthersUntil(ULONGLONG now) const { return othersTotal + (othersWaiting ? now - othersSince : 0); }
  ULONGLONG HeldUpUntil(ULONGLONG now) const { return heldUpTotal + (heldUp ? now - heldUpSince : 0); }

  void OthersWaitEnds(ULONGLONG now) {
    othersTotal = OthersUntil(now);
    othersWaiting = false;
    heldUpTotal = HeldUpUntil(now);
    heldUp = false;
  }

  // Nobody's turn. The mutex stays open for the next, and so does the
  // handle of the thread that passes it, for its next turn (the handle
  // keeps the thread's id from being given to another).
  void Pass(ULONGLONG now) {
    OthersWaitEnds(now);
    if (thread && passed) CloseHandle(passed);
    if (thread) passed = thread, passedBy = owner;
    thread = nullptr;
    owner = 0;
    depth = 0;
  }

  // A handle of the thread `me`, whose turn it is now.
  HANDLE HandleOf(DWORD me) {
    if (passed && passedBy == me) return std::exchange(passed, nullptr);
    return OpenThread(SYNCHRONIZE, FALSE, me);
  }

  HANDLE passed = nullptr;  // the thread whose turn it was last
  DWORD passedBy = 0;
};

// A folder's lock name as worked out, and the watch of the folder's own name
// that tells when it no longer holds: the folder renamed away, deleted or
// replaced, or the system lost count of the changes. What the watch cannot
// see (a folder above renamed away and made again) a look at the folder
// finds, once a second at the most.
struct KnownName {
  std::string name;
  std::unique_ptr<FolderWatch> watch;
  ULONGLONG lookedAt = 0;
};
constexpr ULONGLONG kLookAgainMs = 1000;

struct AllTurns {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
  std::map<std::string, Turns> byName;
  SRWLOCK namesLock = SRWLOCK_INIT;
  std::map<std::string, KnownName> names;  // by the folder's path as given

  ~AllTurns() {
    for (auto& [name, t] : byName) {
      for (HANDLE h : {t.thread, t.mutex, t.passed}) {
        if (h) CloseHandle(h);
      }
    }
  }
};

// The locks this thread holds, innermost first.
const ThreadPointer<const FolderLock>& Held() {
  static const ThreadPointer<const FolderLock> held;
  return held;
}

AllTurns& Everyone() {
  static AllTurns all;
  return all;
}

const ThreadPointer<OthersWaitsRanOut>& RanOutCounts() {
  static const ThreadPointer<OthersWaitsRanOut> counts;
  return counts;
}

// Waits, with `all` locked, until no thread has its turn at `t` or a budget
// is spent; the time the threads ahead waited on other processes meanwhile,
// since this process last had the mutex: a lock that goes from process to
// process, each holding it for a write, spends none of it, one that a
// stopped process keeps spends it. The time holders waited on another
// program while they held it counts whole.
// A thread that ended in its turn (a host may end the threads it calls on)
// passes it on; the mutex it held is the next holder's.
ULONGLONG AwaitTurn(AllTurns& all, Turns& t, std::uint32_t othersWaitMs, std::uint32_t ownWaitMs) {
  constexpr ULONGLONG kLookAtOwnerMs = 50;
  const ULONGLONG start = GetTickCount64(), othersBefore = t.OthersUntil(start), heldUpBefore = t.HeldUpUntil(start);
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (t.owner != 0 && WaitForSingleObject(t.thread, 0) == WAIT_OBJECT_0) t.Pass(now);
    const ULONGLONG heldUp = t.HeldUpUntil(now) - heldUpBefore;
    const ULONGLONG othersAll = t.OthersUntil(now) - othersBefore + heldUp;
    const ULONGLONG others = t.OthersUntil(now) - std::max(othersBefore, t.othersWhenHeld) + heldUp;
    const ULONGLONG own = now - start - othersAll;
    const bool onOthers = t.othersWaiting || t.heldUp;
    if (t.owner == 0 || own >= ownWaitMs || (onOthers && others >= othersWaitMs)) return others;
    ULONGLONG sleep = std::min<ULONGLONG>(ownWaitMs - own, kLookAtOwnerMs);
    if (onOthers) sleep = std::min<ULONGLONG>(sleep, othersWaitMs - others);
    SleepConditionVariableSRW(&all.changed, &all.lock, static_cast<DWORD>(sleep), 0);
  }
}

}  // namespace

OthersWaitsRanOut::OthersWaitsRanOut() : outer_(RanOutCounts().get()) { RanOutCounts().set(this); }

OthersWaitsRanOut::~OthersWaitsRanOut() { RanOutCounts().set(outer_); }

void OthersWaitsRanOut::Count(std::uint32_t allowedMs) {
  if (OthersWaitsRanOut* const counts = RanOutCounts().get()) counts->allowed.push_back(allowedMs);
}

std::uint32_t OthersWaitsRanOut::Sum() const {
  std::uint32_t sum = 0;
  for (const std::uint32_t ms : allowed) sum += ms;
  return sum;
}

std::string FolderLock::NameFor(const std::string& folder) {
  char name[96];
  // The folder's volume and file index; a folder that cannot be opened
  // (not made yet) goes by its full path, letters folded. Opened by its
  // wide name, which holds a path of any length.
  HANDLE h = CreateFileW(WidePath(folder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  if (h != INVALID_HANDLE_VALUE) {
    const bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (known) {
      std::snprintf(name, sizeof name, "%sZOQ-F-DataFolder-%08lX-%08lX%08lX", kGlobalNames, info.dwVolumeSerialNumber,
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
  std::snprintf(name, sizeof name, "%sZOQ-F-DataFolder-path-%016llX", kGlobalNames,
                static_cast<unsigned long long>(Hash(path)));
  return name;
}

std::string FolderLock::KeptNameFor(const std::string& folder) {
  AllTurns& all = Everyone();
  std::unique_ptr<FolderWatch> old;
  AcquireSRWLockExclusive(&all.namesLock);
  const auto it = all.names.find(folder);
  if (it != all.names.end()) {
    const FolderWatch::Changes changes = it->second.watch->Take();
    if (!changes.gone && !changes.restarted) {
      std::string name = it->second.name;
      const ULONGLONG now = GetTickCount64();
      const bool lookAgain = now - it->second.lookedAt >= kLookAgainMs;
      if (lookAgain) it->second.lookedAt = now;  // one thread looks; the others go on by the name meanwhile
      ReleaseSRWLockExclusive(&all.namesLock);
      if (!lookAgain || NameFor(folder) == name) return name;
      Forget(folder, name);
      return KeptNameFor(folder);
    }
    old = std::move(it->second.watch);
    all.names.erase(it);
  }
  ReleaseSRWLockExclusive(&all.namesLock);
  old.reset();
  // Watched first: a change while the name is worked out is reported.
  KnownName known{{}, std::make_unique<FolderWatch>(folder, /*files=*/false), GetTickCount64()};
  known.name = NameFor(folder);
  std::string name = known.name;
  // A folder that cannot be watched (not made yet) is looked at each time.
  if (!known.watch->watching()) return name;
  AcquireSRWLockExclusive(&all.namesLock);
  std::swap(all.names[folder], known);
  ReleaseSRWLockExclusive(&all.namesLock);
  return name;
}

void FolderLock::NameAnew() {
  AllTurns& all = Everyone();
  std::vector<std::pair<std::string, std::string>> known;  // folder, name
  AcquireSRWLockShared(&all.namesLock);
  for (const auto& [folder, k] : all.names) known.emplace_back(folder, k.name);
  ReleaseSRWLockShared(&all.namesLock);
  for (const auto& [folder, name] : known) {
    if (NameFor(folder) != name) Forget(folder, name);
  }
}

void FolderLock::Forget(const std::string& folder, const std::string& name) {
  AllTurns& all = Everyone();
  std::unique_ptr<FolderWatch> old;
  AcquireSRWLockExclusive(&all.namesLock);
  const auto it = all.names.find(folder);
  if (it != all.names.end() && it->second.name == name) {
    old = std::move(it->second.watch);
    all.names.erase(it);
  }
  ReleaseSRWLockExclusive(&all.namesLock);
}  // the watch ends here, with no lock held

FolderLock::FolderLock(const std::string& folder, std::uint32_t othersWaitMs, std::uint32_t ownWaitMs)
    : FolderLock(folder, {}, othersWaitMs, ownWaitMs) {}

FolderLock::FolderLock(const std::string& folder, std::string_view use, std::uint32_t othersWaitMs,
                       std::uint32_t ownWaitMs)
    : key_(folder + '\0' + std::string(use)) {
  AllTurns& all = Everyone();
  // Taken again by a thread that holds it: no look at the folder. (Only
  // the owner changes the depth while it runs.)
  const FolderLock* held = Held().get();
  while (held && held->key_ != key_) held = held->outer_;
  if (held) {
    ++static_cast<Turns*>(held->turn_)->depth;
    turn_ = held->turn_;
    Hold();
    return;
  }
  std::string kept = KeptNameFor(folder);
  for (bool confirmed = false;; confirmed = true) {
    const std::string name = kept + std::string(use);
    const DWORD me = GetCurrentThreadId();
    AcquireSRWLockExclusive(&all.lock);
    Turns& t = all.byName[name];
    if (t.owner == me) {
      ++t.depth;
      turn_ = &t;
    } else {
      othersWaited_ += static_cast<std::uint32_t>(
          AwaitTurn(all, t, othersWaitMs - std::min(othersWaited_, othersWaitMs), ownWaitMs));
    }
    if (turn_ || t.owner != 0) {
      ReleaseSRWLockExclusive(&all.lock);
      if (turn_) Hold();
      // In line behind a thread that waits on another process, until the
      // budget for those was spent.
      if (!turn_ && othersWaited_ >= othersWaitMs) OthersWaitsRanOut::Count(othersWaitMs);
      return;
    }
    t.owner = me;
    t.thread = t.HandleOf(me);
    t.depth = 1;
    t.othersWaiting = true;
    t.othersSince = GetTickCount64();
    HANDLE mutex = t.mutex;
    ReleaseSRWLockExclusive(&all.lock);

    // Another process, or none, holds the mutex now. It is opened once and
    // kept for the next turns.
    if (!mutex) mutex = OpenNamedMutex(name);
    DWORD got = mutex ? WaitForSingleObject(mutex, 0) : WAIT_FAILED;
    // Held elsewhere: before the wait on it, the name is worked out again.
    // The one kept may be that of a folder deleted or replaced under the
    // path, which the watch has not told of yet (or cannot tell: one above
    // it replaced), and the system may have given its number to another
    // folder since, whose lock another process holds. (Free, the mutex is
    // taken at once, by the name kept: no look at the folder.)
    const bool replaced = got == WAIT_TIMEOUT && !confirmed && NameFor(folder) != kept;
    if (replaced) Forget(folder, kept);
    const DWORD left = othersWaitMs - std::min(othersWaited_, othersWaitMs);
    if (got == WAIT_TIMEOUT && !replaced && left > 0) got = WaitForSingleObject(mutex, left);

    AcquireSRWLockExclusive(&all.lock);
    const ULONGLONG now = GetTickCount64();
    othersWaited_ += static_cast<std::uint32_t>(now - t.othersSince);
    // A wait that ran out waited all it was allowed, whatever a coarse clock says.
    if (got == WAIT_TIMEOUT && !replaced) othersWaited_ = std::max(othersWaited_, othersWaitMs);
    t.mutex = mutex;
    if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) {
      t.OthersWaitEnds(now);
      t.othersWhenHeld = t.othersTotal;
      turn_ = &t;
    } else {
      t.Pass(now);
    }
    WakeAllConditionVariable(&all.changed);
    ReleaseSRWLockExclusive(&all.lock);
    if (turn_) Hold();
    if (replaced) {
      // The new folder's lock, whose name is kept from now on.
      kept = KeptNameFor(folder);
      continue;
    }
    if (got == WAIT_TIMEOUT) OthersWaitsRanOut::Count(left);
    return;
  }
}

FolderLock::OthersHoldUp::OthersHoldUp() {
  if (!Held().get()) return;  // no thread is in line behind this one
  AllTurns& all = Everyone();
  AcquireSRWLockExclusive(&all.lock);
  const ULONGLONG now = GetTickCount64();
  for (const FolderLock* l = Held().get(); l; l = l->outer_) {
    Turns& t = *static_cast<Turns*>(l->turn_);
    if (!t.heldUp) t.heldUpSince = now;
    t.heldUp = true;
  }
  ReleaseSRWLockExclusive(&all.lock);
}

FolderLock::OthersHoldUp::~OthersHoldUp() {
  if (!Held().get()) return;
  AllTurns& all = Everyone();
  AcquireSRWLockExclusive(&all.lock);
  const ULONGLONG now = GetTickCount64();
  for (const FolderLock* l = Held().get(); l; l = l->outer_) {
    Turns& t = *static_cast<Turns*>(l->turn_);
    t.heldUpTotal = t.HeldUpUntil(now);
    t.heldUp = false;
  }
  WakeAllConditionVariable(&all.changed);
  ReleaseSRWLockExclusive(&all.lock);
}

void FolderLock::Hold() {
  outer_ = Held().get();
  Held().set(this);
}

FolderLock::~FolderLock() {
  if (!turn_) return;
  Held().set(outer_);
  AllTurns& all = Everyone();
  AcquireSRWLockExclusive(&all.lock);
  Turns& t = *static_cast<Turns*>(turn_);
  if (--t.depth == 0) {
    ReleaseMutex(t.mutex);
    t.Pass(GetTickCount64());
    WakeAllConditionVariable(&all.changed);
  }
  ReleaseSRWLockExclusive(&all.lock);
}

}  // namespace zoq::platform
