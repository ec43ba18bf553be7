#include "platform/dll_runtime.hpp"

#include <windows.h>
#include <pthread.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <new>

#include "platform/lock.hpp"

// The C++ runtime's own release of its reserve for exceptions.
namespace __gnu_cxx {
void __freeres() noexcept;
}

// The C++ runtime's entry point of a DLL.
extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE, DWORD, LPVOID);

namespace {

// ---- Mutexes and condition variables. The runtime keeps one in a word:
// a static initializer's value (its kind) until its first use, then the
// address of its block. Every block is on one list until it is destroyed or
// the DLL freed.

constexpr std::intptr_t kNormal = PTHREAD_MUTEX_INITIALIZER;  // also a condition variable's initializer
constexpr std::intptr_t kErrorCheck = PTHREAD_ERRORCHECK_MUTEX_INITIALIZER;  // taken as normal
constexpr std::intptr_t kRecursive = PTHREAD_RECURSIVE_MUTEX_INITIALIZER;

struct Block {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
  bool recursive = false;
  DWORD owner = 0;     // recursive: the thread that holds it
  unsigned depth = 0;  // recursive: how many times it holds it
  Block* previous = nullptr;
  Block* next = nullptr;
};

zoq::platform::Mutex g_listLock;
Block* g_blocks = nullptr;

Block* NewBlock(bool recursive) {
  void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(Block));
  if (!memory) return nullptr;
  Block* b = new (memory) Block;
  b->recursive = recursive;
  std::lock_guard lock(g_listLock);
  b->next = g_blocks;
  if (g_blocks) g_blocks->previous = b;
  g_blocks = b;
  return b;
}

void FreeBlock(Block* b) {
  {
    std::lock_guard lock(g_listLock);
    (b->previous ? b->previous->next : g_blocks) = b->next;
    if (b->next) b->next->previous = b->previous;
  }
  HeapFree(GetProcessHeap(), 0, b);
}

bool IsInitializer(std::intptr_t word) { return word == kNormal || word == kErrorCheck || word == kRecursive; }

// The block of the object in `word`, made now when it was never used; null
// for a word that holds neither.
ZOQ_HOT Block* BlockOf(std::intptr_t* word) {
  std::intptr_t seen = __atomic_load_n(word, __ATOMIC_ACQUIRE);
  if (!IsInitializer(seen)) return reinterpret_cast<Block*>(seen);  // null: not initialised
  Block* made = NewBlock(seen == kRecursive);
  if (!made) return nullptr;
  if (__atomic_compare_exchange_n(word, &seen, reinterpret_cast<std::intptr_t>(made), false, __ATOMIC_ACQ_REL,
                                  __ATOMIC_ACQUIRE)) {
    return made;
  }
  FreeBlock(made);  // another thread made it first
  return reinterpret_cast<Block*>(seen);
}

// A block that exists already: the object was used before.
Block* UsedBlock(std::intptr_t* word) {
  const std::intptr_t seen = __atomic_load_n(word, __ATOMIC_ACQUIRE);
  return IsInitializer(seen) ? nullptr : reinterpret_cast<Block*>(seen);
}

// ---- Thread-specific values, on fiber-local storage: a thread's value is
// handed to the key's destructor when the thread ends, and every thread's
// when the key is freed.

struct Key {
  DWORD index = FLS_OUT_OF_INDEXES;
  void (*destructor)(void*) = nullptr;
};
constexpr unsigned kKeys = 4;
Key g_keys[kKeys];
zoq::platform::Mutex g_keysLock;

template <unsigned K>
void WINAPI DestroyValue(void* value) {
  if (value && g_keys[K].destructor) g_keys[K].destructor(value);
}
constexpr PFLS_CALLBACK_FUNCTION kDestroyValue[kKeys] = {DestroyValue<0>, DestroyValue<1>, DestroyValue<2>,
                                                          DestroyValue<3>};

BOOL CALLBACK RunOnce(PINIT_ONCE, PVOID function, PVOID*) {
  reinterpret_cast<void (*)()>(function)();
  return TRUE;
}

}  // namespace

extern "C" {

int pthread_once(pthread_once_t* once, void (*function)(void)) {
  static_assert(PTHREAD_ONCE_INIT == 0);
  if constexpr (sizeof(pthread_once_t) == sizeof(INIT_ONCE)) {
    InitOnceExecuteOnce(reinterpret_cast<PINIT_ONCE>(once), RunOnce, reinterpret_cast<void*>(function), nullptr);
  } else {
    // x86-64, where pthread_once_t is 32 bits and INIT_ONCE a pointer: 0 not
    // run yet, 1 running, 2 done. The thread that moves it from 0 runs the
    // function; the others wait until it is done, as InitOnce's do.
    static_assert(sizeof(pthread_once_t) == sizeof(LONG));
    auto* state = reinterpret_cast<volatile LONG*>(once);
    if (InterlockedCompareExchange(state, 1, 0) == 0) {
      function();
      InterlockedExchange(state, 2);
    } else {
      for (unsigned spins = 0; InterlockedCompareExchange(state, 2, 2) != 2; ++spins) Sleep(spins < 64 ? 0 : 1);
    }
  }
  return 0;
}

int pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
  std::lock_guard lock(g_keysLock);
  for (unsigned k = 0; k < kKeys; ++k) {
    if (g_keys[k].index != FLS_OUT_OF_INDEXES) continue;
    const DWORD index = FlsAlloc(kDestroyValue[k]);
    if (index == FLS_OUT_OF_INDEXES) return EAGAIN;
    g_keys[k] = Key{index, destructor};
    *key = k;
    return 0;
  }
  return EAGAIN;
}

// Neither changes the thread's last error: a thread-local variable may be
// read between a system call and the look at its error.
ZOQ_HOT void* pthread_getspecific(pthread_key_t key) {
  if (key >= kKeys || g_keys[key].index == FLS_OUT_OF_INDEXES) return nullptr;
  const DWORD error = GetLastError();
  void* value = FlsGetValue(g_keys[key].index);
  SetLastError(error);
  return value;
}

int pthread_setspecific(pthread_key_t key, const void* value) {
  if (key >= kKeys || g_keys[key].index == FLS_OUT_OF_INDEXES) return EINVAL;
  const DWORD error = GetLastError();
  const BOOL ok = FlsSetValue(g_keys[key].index, const_cast<void*>(value));
  SetLastError(error);
  return ok ? 0 : ENOMEM;
}

int pthread_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t* attributes) {
  const bool recursive = attributes && (*attributes & 3) == PTHREAD_MUTEX_RECURSIVE;
  *mutex = recursive ? kRecursive : kNormal;  // the block comes with the first use
  return 0;
}

int pthread_mutex_destroy(pthread_mutex_t* mutex) {
  if (Block* b = UsedBlock(mutex)) {
    *mutex = b->recursive ? kRecursive : kNormal;
    FreeBlock(b);
  }
  return 0;
}

ZOQ_HOT int pthread_mutex_lock(pthread_mutex_t* mutex) {
  Block* b = BlockOf(mutex);
  if (!b) return EINVAL;
  if (!b->recursive) {
    AcquireSRWLockExclusive(&b->lock);
    return 0;
  }
  const DWORD self = GetCurrentThreadId();
  if (__atomic_load_n(&b->owner, __ATOMIC_RELAXED) != self) {
    AcquireSRWLockExclusive(&b->lock);
    __atomic_store_n(&b->owner, self, __ATOMIC_RELAXED);
  }
  ++b->depth;
  return 0;
}

ZOQ_HOT int pthread_mutex_unlock(pthread_mutex_t* mutex) {
  Block* b = UsedBlock(mutex);
  if (!b) return EPERM;
  if (b->recursive) {
    if (__atomic_load_n(&b->owner, __ATOMIC_RELAXED) != GetCurrentThreadId()) return EPERM;
    if (--b->depth > 0) return 0;
    __atomic_store_n(&b->owner, DWORD(0), __ATOMIC_RELAXED);
  }
  ReleaseSRWLockExclusive(&b->lock);
  return 0;
}

int pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex) {
  Block* c = BlockOf(condition);
  Block* m = UsedBlock(mutex);
  if (!c || !m) return EINVAL;
  // A recursive mutex is let go whole while the thread waits.
  const unsigned depth = m->depth;
  if (m->recursive) {
    m->depth = 0;
    __atomic_store_n(&m->owner, DWORD(0), __ATOMIC_RELAXED);
  }
  SleepConditionVariableSRW(&c->condition, &m->lock, INFINITE, 0);
  if (m->recursive) {
    __atomic_store_n(&m->owner, GetCurrentThreadId(), __ATOMIC_RELAXED);
    m->depth = depth;
  }
  return 0;
}

int pthread_cond_broadcast(pthread_cond_t* condition) {
  Block* c = BlockOf(condition);
  if (!c) return EINVAL;
  WakeAllConditionVariable(&c->condition);
  return 0;
}

}  // extern "C"

namespace zoq::platform {

void ReleaseDllRuntime() noexcept {
  for (Key& k : g_keys) {
    if (k.index != FLS_OUT_OF_INDEXES) FlsFree(k.index);  // hands every thread's value to the destructor
    k = Key{};
  }
  while (g_blocks) FreeBlock(g_blocks);
  __gnu_cxx::__freeres();
}

int DllEntry(void* module, unsigned long reason, void* reserved, void (*releaseFirst)() noexcept) noexcept {
  const BOOL ok = DllMainCRTStartup(module, reason, reserved);
  if ((reason == DLL_PROCESS_DETACH && !reserved) || (reason == DLL_PROCESS_ATTACH && !ok)) {
    if (releaseFirst) releaseFirst();
    ReleaseDllRuntime();
  }
  return ok;
}

}  // namespace zoq::platform
