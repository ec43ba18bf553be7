#include "platform/lock.hpp"

#include <windows.h>

namespace zoq::platform {
namespace {

static_assert(sizeof(SRWLOCK) == sizeof(void*));

PSRWLOCK Srw(void** state) { return reinterpret_cast<PSRWLOCK>(state); }

}  // namespace

void Mutex::lock() noexcept { AcquireSRWLockExclusive(Srw(&state_)); }
bool Mutex::try_lock() noexcept { return TryAcquireSRWLockExclusive(Srw(&state_)) != 0; }
void Mutex::unlock() noexcept { ReleaseSRWLockExclusive(Srw(&state_)); }

void Mutex::lock_shared() noexcept { AcquireSRWLockShared(Srw(&state_)); }
bool Mutex::try_lock_shared() noexcept { return TryAcquireSRWLockShared(Srw(&state_)) != 0; }
void Mutex::unlock_shared() noexcept { ReleaseSRWLockShared(Srw(&state_)); }

}  // namespace zoq::platform
