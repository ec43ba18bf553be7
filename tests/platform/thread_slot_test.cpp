// A pointer of each thread's own: in the system's slots of the thread's
// block, in those behind it, in fiber-local storage when the host holds
// every thread-local slot, and nowhere (read as null) when it holds those too.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/thread_slot.hpp"

namespace zoq::testing {
namespace {

using platform::ThreadSlot;

void* Value(std::size_t thread, std::size_t slot) { return reinterpret_cast<void*>((thread + 1) << 16 | (slot + 1)); }

// Each thread sees null in every slot until it sets one, then its own
// pointer; reading one leaves the thread's last error as it was.
void ExpectEachThreadItsOwn(const std::vector<std::unique_ptr<ThreadSlot>>& slots) {
  for (std::size_t s = 0; s < slots.size(); ++s) slots[s]->set(Value(0, s));
  std::vector<std::thread> threads;
  for (std::size_t t = 1; t <= 3; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t s = 0; s < slots.size(); ++s) EXPECT_EQ(slots[s]->get(), nullptr) << "slot " << s;
      for (std::size_t s = 0; s < slots.size(); ++s) slots[s]->set(Value(t, s));
      for (std::size_t s = 0; s < slots.size(); ++s) {
        SetLastError(1234);
        EXPECT_EQ(slots[s]->get(), Value(t, s)) << "slot " << s;
        EXPECT_EQ(GetLastError(), 1234u) << "slot " << s;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (std::size_t s = 0; s < slots.size(); ++s) {
    EXPECT_EQ(slots[s]->get(), Value(0, s)) << "slot " << s;
    slots[s]->set(nullptr);
    EXPECT_EQ(slots[s]->get(), nullptr) << "slot " << s;
  }
}

TEST(ThreadSlot, EachThreadKeepsItsOwnPointerInTheBlockAndBehindIt) {
  // More slots than the thread's block holds (64), whatever the process
  // took before.
  std::vector<std::unique_ptr<ThreadSlot>> slots;
  for (int i = 0; i < 100; ++i) slots.push_back(std::make_unique<ThreadSlot>());
  ExpectEachThreadItsOwn(slots);

  // A slot made where one was given back reads null on every thread.
  slots.back()->set(Value(0, 0));
  std::thread([&] { slots.back()->set(Value(1, 0)); }).join();
  slots.pop_back();
  slots.push_back(std::make_unique<ThreadSlot>());
  EXPECT_EQ(slots.back()->get(), nullptr);
}

TEST(ThreadSlot, WithEveryThreadLocalSlotTakenItKeepsThePointersInFiberStorage) {
  std::vector<DWORD> taken, fibers;
  for (DWORD i; (i = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(i);
  // One fiber-local slot left: a slot given back gives it back.
  for (DWORD i; (i = FlsAlloc(nullptr)) != FLS_OUT_OF_INDEXES;) fibers.push_back(i);
  ASSERT_FALSE(fibers.empty());
  {  // none left of either: it keeps nothing, and reads null without touching the last error
    const ThreadSlot none;
    SetLastError(1234);
    none.set(Value(0, 0));
    EXPECT_EQ(none.get(), nullptr);
    EXPECT_EQ(GetLastError(), 1234u);
  }
  FlsFree(fibers.back());
  fibers.pop_back();
  std::vector<void*> kept;
  for (int round = 0; round < 2; ++round) {
    const ThreadSlot slot;
    slot.set(Value(0, 0));
    kept.push_back(slot.get());
  }
  for (DWORD i : fibers) FlsFree(i);
  std::vector<std::unique_ptr<ThreadSlot>> slots;
  for (int i = 0; i < 3; ++i) slots.push_back(std::make_unique<ThreadSlot>());
  for (DWORD i : taken) TlsFree(i);
  ASSERT_FALSE(taken.empty());
  EXPECT_EQ(kept, std::vector<void*>(2, Value(0, 0)));
  ExpectEachThreadItsOwn(slots);
}

}  // namespace
}  // namespace zoq::testing
