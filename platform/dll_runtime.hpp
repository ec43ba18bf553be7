// The threads runtime of the plug-in DLL. The C++ runtime linked into the
// DLL (its guards of function statics, the exception tables it registers at
// load, its thread-local variables, std::mutex) asks a threads library for
// ten functions: pthread_once, pthread_key_create, pthread_getspecific,
// pthread_setspecific, pthread_mutex_init, _lock, _unlock, _destroy,
// pthread_cond_wait and _broadcast. dll_runtime.cpp gives them on the
// system's own one-time initialisation, fiber-local storage, slim locks and
// condition variables, in place of the threads library: that one keeps a
// thread-local storage slot, and for each thread that met it a thread handle
// and an event, which nothing gives back when the DLL is freed, so that a
// host that loads and frees the plug-in runs out of slots after about a
// thousand times. Everything made here is given back by ReleaseDllRuntime.
//
// Only the DLL links it (the test programs keep the threads library, for
// std::thread). Code in the DLL that needs any other function of the threads
// library (std::thread, std::condition_variable, std::shared_mutex, sleeps)
// pulls the library in beside these and fails to link with "multiple
// definition of pthread_..."; use platform/lock.hpp and the system's threads.
#pragma once

namespace zoq::platform {

// Gives back what the threads runtime holds: the thread-local variables of
// every thread (each thread's block is freed), every mutex and condition
// variable the runtime made, and the C++ runtime's reserve for exceptions.
// Called by DllEntry when the DLL is freed, after DllMain and the static
// destructors: no code of the DLL may run afterwards.
void ReleaseDllRuntime() noexcept;

// The body of the DLL's entry point (linked with --entry): the C++
// runtime's own entry point (DllMain, and the static constructors and
// destructors around it), then, when the host frees the DLL or its loading
// failed, `releaseFirst` (what else outlives the static destructors) and
// ReleaseDllRuntime, once everything else has run. Not when the process
// ends: its other threads are gone then, whatever they held.
int DllEntry(void* module, unsigned long reason, void* reserved, void (*releaseFirst)() noexcept = nullptr) noexcept;

}  // namespace zoq::platform
