// The lock that host threads share state under; the data folder's lock
// between this process's threads.
#include <gtest/gtest.h>

#include <windows.h>

#include <mutex>
#include <shared_mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/files.hpp"
#include "platform/folder_lock.hpp"
#include "platform/lock.hpp"

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
// end a thread it calls on) passes it on.
TEST(FolderLock, ThreadsTakeTurnsAndOneThatEndedInItsTurnPassesIt) {
  const std::string folder = platform::CurrentFolder() + "\\folder-lock-test";
  for (const bool ends : {false, true}) {
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
      auto* lock = new platform::FolderLock(folder, 0, 10000);
      SetEvent(taken);
      if (ends) return;
      Sleep(300);
      delete lock;
    });
    WaitForSingleObject(taken, INFINITE);
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(platform::FolderLock(folder, 0, 10000).held()) << ends;
    EXPECT_LT(GetTickCount64() - start, 5000u) << ends;
    other.join();
    CloseHandle(taken);
  }
}

}  // namespace
}  // namespace zoq::testing
