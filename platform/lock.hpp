// A lock for state that host threads share, over the system's slim
// reader/writer lock: it needs nothing created or freed, so a static one
// holds no system object and leaves nothing behind when the DLL is unloaded
// (std::mutex, over the threads library, keeps a block and, once it was
// waited on, an event that nothing ever frees). Exclusive like std::mutex
// (lock, try_lock, unlock: std::lock_guard, std::unique_lock,
// std::scoped_lock), shared like std::shared_mutex (lock_shared,
// try_lock_shared, unlock_shared: std::shared_lock). Not recursive: a
// thread that holds it must not take it again.
#pragma once

namespace zoq::platform {

class Mutex {
 public:
  constexpr Mutex() noexcept = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock() noexcept;
  bool try_lock() noexcept;
  void unlock() noexcept;

  void lock_shared() noexcept;
  bool try_lock_shared() noexcept;
  void unlock_shared() noexcept;

 private:
  void* state_ = nullptr;  // the SRWLOCK
};

}  // namespace zoq::platform
