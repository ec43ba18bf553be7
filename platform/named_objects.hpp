// Kernel objects that the processes of the machine share by name: a mutex,
// and a block of memory with a mutex of its own. Made in the namespace every
// session of the machine sees, where every local user (of any integrity
// level) may use them; where that cannot be done (making global objects
// takes a right plain users lack) and no one made them yet, the session's
// own name stands in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zoq::platform {

// The prefix of a name in the namespace every session sees.
inline constexpr const char* kGlobalNames = "Global\\";

// Set by a test: the global namespace refuses to make anything, as it does
// for a user without the right (under Wine anyone may).
inline bool globalNamesRefused = false;

// The mutex of `name` (a global one: kGlobalNames and the rest), opened for
// waiting on it and letting it go only; none when no name could be had.
void* OpenNamedMutex(const std::string& name);

// Fills `count` bytes from the system's random source: a secret no chat,
// file or other program can foresee (what a shared block keys its hash
// with). Should the source fail, the clocks and ids of the moment stand in.
void SecretBytes(void* bytes, std::size_t count);

// `size` bytes that every process opening `name` (a global one) shares,
// zeroed by the first, with a mutex named `name` + "-lock". Where no name
// can be had (or no memory mapped), a block and a mutex of this process's
// own: it still serves this process's threads.
class SharedBlock {
 public:
  SharedBlock(const std::string& name, std::size_t size);
  ~SharedBlock();
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }
  // Whether other processes see it.
  bool shared() const { return shared_; }

  // The block's lock while it stands, when it was had within `waitMs`.
  // Not recursive: a thread holds it once.
  class Hold {
   public:
    Hold(const SharedBlock& block, std::uint32_t waitMs);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    explicit operator bool() const { return held_; }
    // The holder before ended while it held the lock: the block may hold a
    // change made in part.
    bool abandoned() const { return abandoned_; }

   private:
    void* mutex_;
    bool abandoned_, held_;
  };

 private:
  void* mapping_ = nullptr;
  void* mutex_ = nullptr;
  unsigned char* data_ = nullptr;
  std::unique_ptr<unsigned char[]> own_;  // where nothing could be mapped
  std::size_t size_;
  bool shared_;
};

}  // namespace zoq::platform
