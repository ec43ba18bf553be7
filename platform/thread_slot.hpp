// A pointer of each thread's own, in a slot of the system's thread-local
// storage: read and written in the thread's own block, where a C++
// thread_local of this runtime is emulated, several calls deep on every use
// (code that a message which comes to an idle CPU then fetches anew). Null on
// a thread that set none. Where the system has no slot left (the host holds
// them all), in a slot of its fiber-local storage (of the same pointer per
// thread for a thread that makes no fibers); without that too, it keeps
// nothing and reads null.
#pragma once

namespace zoq::platform {

class ThreadSlot {
 public:
  ThreadSlot() noexcept;
  ~ThreadSlot();
  ThreadSlot(const ThreadSlot&) = delete;
  ThreadSlot& operator=(const ThreadSlot&) = delete;
  void* get() const noexcept;
  void set(void* value) const noexcept;

 private:
  unsigned long index_;
  unsigned long fiberIndex_ = 0xFFFFFFFF;  // FLS_OUT_OF_INDEXES: none
};

// The same for pointers of one type.
template <typename T>
class ThreadPointer {
 public:
  T* get() const noexcept { return static_cast<T*>(slot_.get()); }
  void set(T* value) const noexcept { slot_.set(const_cast<void*>(static_cast<const void*>(value))); }

 private:
  ThreadSlot slot_;
};

}  // namespace zoq::platform
