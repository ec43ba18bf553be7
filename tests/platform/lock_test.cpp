// The lock that host threads share state under; the data folder's lock
// between this process's threads.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/files.hpp"
#include "platform/folder_lock.hpp"
#include "platform/folder_watch.hpp"
#include "platform/lock.hpp"
#include "platform/named_objects.hpp"

namespace zoq::testing {
namespace {

using platform::Mutex;

// A static one needs no construction at run time and no destruction.
constinit Mutex g_static;
static_assert(std::is_trivially_destructible_v<Mutex>);

TEST(Mutex, WhatAnotherThreadCanTakeWhileItIsHeld) {
  enum Held { None, Exclusive, Shared };
  const struct {
    Held held;
    bool exclusive, shared;  // what another thread's try_lock and try_lock_shared get
  } cases[] = {{None, true, true}, {Exclusive, false, false}, {Shared, false, true}};
  for (Mutex* m : {&g_static, new Mutex}) {
    for (const auto& c : cases) {
      if (c.held == Exclusive) m->lock();
      if (c.held == Shared) m->lock_shared();
      bool exclusive = false, shared = false;
      std::thread([&] {
        if ((exclusive = m->try_lock())) m->unlock();
        if ((shared = m->try_lock_shared())) m->unlock_shared();
      }).join();
      if (c.held == Exclusive) m->unlock();
      if (c.held == Shared) m->unlock_shared();
      EXPECT_EQ(exclusive, c.exclusive) << c.held;
      EXPECT_EQ(shared, c.shared) << c.held;
    }
    if (m != &g_static) delete m;
  }
}

TEST(Mutex, NoUpdateIsLostBetweenThreads) {
  Mutex m;
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        std::unique_lock lock(m);
        const long seen = counter;
        std::this_thread::yield();  // another thread would step in here
        counter = seen + 1;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 8 * 2000);
  // Shared holders together, under std::shared_lock.
  std::shared_lock a(m);
  std::shared_lock b(m, std::try_to_lock);
  EXPECT_TRUE(a.owns_lock() && b.owns_lock());
}

// A thread waits for the one of this process whose turn it is, however
// short its budget for other processes; one that ends in its turn (a host may
// end a thread it calls on) passes it on, and one that lets go, or gave up
// on another process, and lives on keeps nothing of it, whatever its budget.
TEST(FolderLock, ThreadsTakeTurnsAndOneThatEndedInItsTurnPassesIt) {
  const std::string folder = platform::CurrentFolder() + "\\folder-lock-test";
  platform::CreateFolder(folder);
  const struct {
    bool ends;             // the thread ends in its turn (else it lets go, and lives on)
    std::uint32_t budget;  // the wait on other processes that both allow
    bool othersHold = false;  // another process holds it until the thread gave up on it
  } rows[] = {{false, 0}, {true, 0}, {false, 1000}, {false, 300, true}};
  for (const auto& row : rows) {
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr), checked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE holding = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread otherProcess([&] {  // to the lock, another process: it holds the named mutex
      if (!row.othersHold) return;
      const HANDLE mutex = platform::OpenNamedMutex(platform::FolderLock::NameFor(folder));
      WaitForSingleObject(mutex, INFINITE);
      SetEvent(holding);
      WaitForSingleObject(taken, INFINITE);
      ReleaseMutex(mutex), CloseHandle(mutex);
    });
    if (row.othersHold) WaitForSingleObject(holding, INFINITE);
    std::thread otherThread([&] {
      auto* lock = new platform::FolderLock(folder, row.budget, 10000);
      EXPECT_NE(lock->held(), row.othersHold);
      SetEvent(taken);
      if (row.ends) return;
      if (!row.othersHold) Sleep(300);
      delete lock;
      // Alive after its turn: it holds nothing of the lock now.
      WaitForSingleObject(checked, INFINITE);
    });
    WaitForSingleObject(taken, INFINITE);
    otherProcess.join();
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(platform::FolderLock(folder, row.budget, 10000).held()) << row.ends << row.budget;
    EXPECT_LT(GetTickCount64() - start, 5000u) << row.ends << row.budget;
    SetEvent(checked);
    otherThread.join();
    CloseHandle(taken), CloseHandle(checked), CloseHandle(holding);
  }
  // Behind a thread of this process that works with it, one that gives up
  // on its own wait did not wait on others.
  HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr), checked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread working([&] {
    const platform::FolderLock lock(folder, 0, 10000);
    SetEvent(taken);
    WaitForSingleObject(checked, INFINITE);
  });
  WaitForSingleObject(taken, INFINITE);
  {
    const platform::OthersWaitsRanOut counted;
    EXPECT_FALSE(platform::FolderLock(folder, 1000, 100).held());
    EXPECT_TRUE(counted.allowed.empty());
  }
  SetEvent(checked);
  working.join();
  CloseHandle(taken), CloseHandle(checked);
  // Taken a message at a time, it keeps what it opened of the system's lock:
  // 64 handles opened at once after it end where they did before (handle
  // values go by 4; GetProcessHandleCount gives 0 under Wine).
  const auto highestOf64 = [] {
    std::vector<HANDLE> opened;
    for (int i = 0; i < 64; ++i) opened.push_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    for (const HANDLE h : opened) CloseHandle(h);
    return reinterpret_cast<std::uintptr_t>(*std::max_element(opened.begin(), opened.end()));
  };
  const std::uintptr_t before = highestOf64();
  for (int i = 0; i < 50; ++i) EXPECT_TRUE(platform::FolderLock(folder, 100, 10000).held());
  EXPECT_LT(highestOf64(), before + 10 * 4);
}

// One folder has one lock, whatever spelling of its path leads there: past
// the plain form's length, through a short symbolic link, in the "\\?\"
// form. (A folder of 266 characters got three names.)
TEST(FolderLock, EverySpellingOfAFolderNamesOneLock) {
  const std::string root = platform::CurrentFolder() + "\\folder-lock-names";
  const std::string name(266 - root.size() - 1, 'L'), folder = root + "\\" + name;
  platform::CreateFolder(root);
  platform::CreateFolder(folder);
  std::string command = "Z:\\bin\\ln -sfn " + name + " S";
  STARTUPINFOA startup{sizeof startup};
  PROCESS_INFORMATION made{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, root.c_str(), &startup, &made));
  for (int waited = 0; !platform::FolderExists(root + "\\S") && waited < 10000; waited += 10) Sleep(10);
  CloseHandle(made.hThread), CloseHandle(made.hProcess);
  const std::string lock = platform::FolderLock::NameFor(folder);
  EXPECT_EQ(lock.find("-path-"), std::string::npos) << "the folder was not opened";
  for (const std::string& spelling : {root + "\\S", "\\\\?\\" + folder, folder + "\\"}) {
    EXPECT_EQ(platform::FolderLock::NameFor(spelling), lock) << spelling;
  }
  {
    // Held by one spelling, the thread has it by another at once: no wait
    // on itself, none that counts as one on others.
    const platform::OthersWaitsRanOut counted;
    const platform::FolderLock held(folder, 1000, 10000);
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(held.held() && platform::FolderLock(root + "\\S", 1000, 10000).held());
    EXPECT_LT(GetTickCount64() - start, 5000u);
    EXPECT_TRUE(counted.allowed.empty());
  }
  // A folder not made yet: one lock for its path, whatever its case or
  // ending.
  const std::string missing = root + "\\NotYet";
  for (const std::string& spelling : {root + "\\notyet", missing + "\\", root + "\\NOTYET\\"}) {
    EXPECT_EQ(platform::FolderLock::NameFor(spelling), platform::FolderLock::NameFor(missing)) << spelling;
  }
  // In the namespace every session sees, where every user may wait on it
  // and let it go (what Wine shows of it: the name and the access list).
  ASSERT_TRUE(platform::FolderLock(folder, 0, 10000).held());
  EXPECT_EQ(lock.rfind("Global\\", 0), 0u) << lock;
  const HANDLE mutex = OpenMutexA(READ_CONTROL, FALSE, lock.c_str());
  ASSERT_NE(mutex, nullptr);
  char sd[512];
  DWORD size = 0;
  ASSERT_TRUE(GetKernelObjectSecurity(mutex, DACL_SECURITY_INFORMATION, sd, sizeof sd, &size));
  char* text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                   &text, nullptr));
  EXPECT_NE(std::string(text).find("(A;;0x100001;;;WD)"), std::string::npos) << text;
  LocalFree(text);
  CloseHandle(mutex);
  // Where the global namespace makes nothing (a user without the right),
  // the session's own name stands in: for the lock, and for a block the
  // processes share; one that another made there is opened there.
  const std::string madeBefore = platform::FolderLock::NameFor(root + "\\Made") + "-block";
  platform::SharedBlock global(madeBefore, 4096);
  platform::globalNamesRefused = true;
  {
    const platform::SharedBlock opened(madeBefore, 4096);
    global.data()[3] = 5;
    EXPECT_EQ(opened.data()[3], 5);
  }
  const std::string refused = platform::FolderLock::NameFor(root + "\\Refused");
  const std::string session = refused.substr(std::strlen(platform::kGlobalNames));
  {
    const platform::FolderLock lock(root + "\\Refused", 0, 10000);
    EXPECT_TRUE(lock.held());
    platform::SharedBlock a(refused + "-block", 4096), b(refused + "-block", 4096);
    EXPECT_TRUE(a.shared() && b.shared());
    a.data()[9] = 7;
    EXPECT_EQ(b.data()[9], 7);
    // A block of the name that is smaller than asked (another made it so)
    // is not taken: this process has one of its own.
    platform::SharedBlock larger(refused + "-block", 1 << 20);
    EXPECT_FALSE(larger.shared());
    ASSERT_NE(larger.data(), nullptr);
    larger.data()[(1 << 20) - 1] = 7;
    EXPECT_EQ(b.data()[9], 7);
    EXPECT_TRUE(platform::SharedBlock::Hold(larger, 0));
    for (const auto& [name, there] : {std::pair{session, true}, {refused, false}}) {
      const HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
      const HANDLE block = OpenFileMappingA(FILE_MAP_READ, FALSE, (name + "-block").c_str());
      EXPECT_EQ(m != nullptr, there) << name;
      EXPECT_EQ(block != nullptr, there) << name;
      for (const HANDLE h : {m, block}) {
        if (h) CloseHandle(h);
      }
    }
  }
  platform::globalNamesRefused = false;
}

// A folder renamed away and another made under its path: the path's lock is
// the new folder's, not the name kept for the old one, once the system has
// told the watches (or, the folder above replaced, which they do not see,
// once the names are worked out anew, or a second after the last look at
// the folder, and not on every lock before); and before a wait on another
// process that holds the lock by the old name (for a folder of its own that
// has the old one's number now), also while the watch has not told yet or
// cannot: then the new folder's lock is waited for, within the budget.
TEST(FolderLock, AFolderReplacedUnderItsPathHasItsOwnLock) {
  const struct {
    bool above;       // the folder above is renamed away and made again, not the folder
    bool oldHeld;     // another process holds the lock by the old folder's name (else by the new one's)
    DWORD newHeldMs;  // and by the new one's for a while
    bool nameAnew = true;  // the names are worked out anew (else: the folder is looked at again on its own)
  } rows[] = {{false, false, INFINITE}, {true, false, INFINITE}, {true, false, INFINITE, false},
              {false, true, 0},         {true, true, 0},          {true, true, 300}};
  for (const auto& row : rows) {
    // A path of its own where the folder is looked at: its first look is the first lock's.
    const std::string above = platform::CurrentFolder() + "\\folder-lock-replaced" + (row.above ? "-above" : "") +
                              (row.nameAnew ? "" : "-looked-" + std::to_string(GetTickCount()));
    const std::string folder = row.above ? above + "\\data" : above, away = above + "-" + std::to_string(GetTickCount());
    platform::CreateFolders(folder);
    const ULONGLONG firstLook = GetTickCount64();
    ASSERT_TRUE(platform::FolderLock(folder, 0, 10000).held());
    const std::string old = platform::FolderLock::KeptNameFor(folder);
    platform::FolderWatch watch(folder, /*files=*/false);
    ASSERT_TRUE(MoveFileA(above.c_str(), away.c_str()));
    platform::CreateFolders(folder);
    // Not on every lock: a message does not open the folder.
    if (!row.nameAnew && GetTickCount64() - firstLook < 900) {
      EXPECT_EQ(platform::FolderLock::KeptNameFor(folder), old);
    }
    std::vector<std::pair<std::string, DWORD>> holds{{platform::FolderLock::NameFor(folder), row.newHeldMs}};
    if (row.oldHeld) holds.emplace_back(old, INFINITE);
    const HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<std::size_t> taken = 0;
    std::vector<std::thread> holders;
    for (const auto& [name, forMs] : holds) {
      holders.emplace_back([&, name = name, forMs = forMs] {
        // Taken by a wait: a mutex of that name may be open already (a
        // folder deleted earlier had the same index), and then one made
        // "owned" is not. Made as another plug-in makes it: this process
        // keeps it open, and a folder made later with the same index (a
        // test's after this one) finds it as it would be.
        const HANDLE mutex = platform::OpenNamedMutex(name);
        WaitForSingleObject(mutex, INFINITE);
        ++taken;
        WaitForSingleObject(done, forMs);
        ReleaseMutex(mutex), CloseHandle(mutex);
      });
    }
    while (taken < holds.size()) Sleep(1);
    if (row.oldHeld) {
      const platform::FolderLock lock(folder, 1000, 10000);
      EXPECT_TRUE(lock.held()) << row.above << row.newHeldMs;
      // It waited on the new folder's lock, not the old name's out.
      EXPECT_LT(lock.othersWaitedMs(), 1000u) << row.above << row.newHeldMs;
      EXPECT_EQ(platform::FolderLock::KeptNameFor(folder), platform::FolderLock::NameFor(folder)) << row.above;
    } else {
      // Once the system has told the watches (or the names were worked out
      // anew, or the folder looked at again, when the folder above was
      // replaced, which they do not see), the first lock after is the new
      // folder's.
      if (row.above && row.nameAnew) {
        platform::FolderLock::NameAnew();
        // At once, before the folder is looked at again on its own.
        if (GetTickCount64() - firstLook < 900) {
          EXPECT_EQ(platform::FolderLock::KeptNameFor(folder), platform::FolderLock::NameFor(folder));
        }
      }
      for (int waited = 0; !row.above && !watch.Take().gone && waited < 5000; waited += 20) Sleep(20);
      bool byOldName = true;
      for (int waited = 0; (byOldName = platform::FolderLock(folder, 0, 10000).held()) && waited < 5000; waited += 20) Sleep(20);
      EXPECT_FALSE(byOldName) << row.above << row.nameAnew;
    }
    SetEvent(done);
    for (std::thread& t : holders) t.join();
    CloseHandle(done);
    RemoveDirectoryA((away + "\\data").c_str()), RemoveDirectoryA(away.c_str());
    if (!row.nameAnew) RemoveDirectoryA(folder.c_str()), RemoveDirectoryA(above.c_str());  // a path of this run's
  }
}

// Behind another process that holds the lock and stops, the threads in line
// give up, each once its budget is spent on that process in all: counting
// what the threads ahead of it waited meanwhile, so that a message behind a
// command that may wait long waits its own short budget, and the second
// message in line not a budget again. Each waits its budget whole, also
// when it holds the lock of another folder. So too behind a thread of this
// process that holds the lock and waits on another program (a file it
// holds): that is a wait on others. (A message waited there as long as the
// command ahead of it.) A thread that gives up in line counts as a wait
// that ran out with its budget allowed. Behind a thread of this process
// that waited on another program a moment and then goes on with its own
// work, a thread waits for it.
TEST(FolderLock, BehindAStoppedProcessEachThreadWaitsItsBudgetInAll) {
  const std::string folder = platform::CurrentFolder() + "\\folder-lock-stopped";
  platform::CreateFolder(folder);
  const struct {
    std::vector<std::uint32_t> budgets;  // of the threads in line, the first first
    std::uint32_t lastWaitsUnder;        // ms the last one waits on the other process, at most
    bool firstWaitsOn;                   // the first still waits when the last gave up
    bool firstHeldUp = false;            // no process holds it: the first has it, and waits on another program
    std::optional<std::vector<std::uint32_t>> lastRanOut{};  // the waits of the last that ran out: what they were allowed
    bool thenWorks = false;  // the first, held up a moment, then works for a while: the last has it
  } rows[] = {{{300}, 1500, false, false, {{300}}},
              {{2000, 300}, 1500, true, false, {{300}}},
              {{1000, 1000}, 1500, false},
              {{2000, 300}, 1500, true, true, {{300}}},
              {{2000, 300}, 1500, false, true, {{}}, true}};
  for (const auto& row : rows) {
    HANDLE holding = CreateEventA(nullptr, TRUE, FALSE, nullptr), stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {  // to the lock, another process: it holds the named mutex
      if (row.firstHeldUp) return (void)SetEvent(holding);
      HANDLE mutex = platform::OpenNamedMutex(platform::FolderLock::NameFor(folder));
      WaitForSingleObject(mutex, INFINITE);
      SetEvent(holding);
      WaitForSingleObject(stop, INFINITE);
      ReleaseMutex(mutex);
      CloseHandle(mutex);
    });
    WaitForSingleObject(holding, INFINITE);
    std::vector<std::thread> line;
    std::vector<std::uint32_t> waited(row.budgets.size());
    std::vector<int> held(row.budgets.size(), -1), done(row.budgets.size(), 0);
    std::vector<std::uint32_t> ranOut;
    for (std::size_t i = 0; i < row.budgets.size(); ++i) {
      line.emplace_back([&, i] {
        const platform::OthersWaitsRanOut counted;
        // inside a lock of another folder, which is no turn at this one
        const platform::FolderLock outer(folder + "-other" + std::to_string(i), 0, 10000);
        const platform::FolderLock lock(folder, row.budgets[i], 10000);
        held[i] = lock.held();
        waited[i] = lock.othersWaitedMs();
        if (i + 1 == row.budgets.size()) ranOut = counted.allowed;
        if (i == 0 && row.firstHeldUp) {
          const platform::FolderLock::OthersHoldUp waiting;
          WaitForSingleObject(stop, row.thenWorks ? 20 : 5000);
        }
        if (i == 0 && row.thenWorks) Sleep(600);
        done[i] = 1;
      });
      Sleep(100);  // in line behind the one before
    }
    line.back().join();
    if (row.firstWaitsOn) {
      EXPECT_EQ(done.front(), 0) << row.budgets.front() << ": it gave up before the last";
    }
    SetEvent(stop);
    for (auto& t : line) {
      if (t.joinable()) t.join();
    }
    other.join();
    CloseHandle(holding), CloseHandle(stop);
    const std::uint32_t budget = row.budgets.back();
    if (row.lastRanOut) {
      EXPECT_EQ(ranOut, *row.lastRanOut) << row.budgets.front();
    }
    if (row.thenWorks) {
      EXPECT_EQ(held.back(), 1);
      continue;
    }
    EXPECT_EQ(held.back(), 0) << budget;
    EXPECT_GE(waited.back(), budget * 9 / 10) << row.budgets.front();
    EXPECT_LT(waited.back(), row.lastWaitsUnder) << row.budgets.front();
    EXPECT_FALSE(ranOut.empty()) << row.budgets.front();
    for (const std::uint32_t allowed : ranOut) EXPECT_LE(allowed, budget) << row.budgets.front();
  }
}

}  // namespace
}  // namespace zoq::testing
