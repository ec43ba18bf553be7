// A crash on any thread of a test program ends it at once, with code 3 and
// a line on stderr ("<program>: exception <code> at <address>, thread <id>"),
// not in the debugger. Under Wine a crash on a thread other than the main
// one ends the program with code 0 once the debugger has written its
// report, which CTest counts as passed; and a process's code reaches Linux
// cut to its low byte, which an exception's code may have 0 in.
#pragma once

#include <windows.h>

#include <cstdio>

namespace zoq::testing {

inline const char*& CrashingProgram() {
  static const char* name = "test program";
  return name;
}

inline LONG WINAPI EndOnACrash(EXCEPTION_POINTERS* e) {
  char line[128];
  const int n = std::snprintf(line, sizeof line, "%s: exception %08lX at %p, thread %lu\n", CrashingProgram(),
                              e->ExceptionRecord->ExceptionCode, e->ExceptionRecord->ExceptionAddress,
                              GetCurrentThreadId());
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(n > 0 ? n : 0), &written, nullptr);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

// From now on a crash ends `program` (nothing else runs on the way out that
// a crash on another thread could hang).
inline void EndProgramOnACrash(const char* program) {
  CrashingProgram() = program;
  SetUnhandledExceptionFilter(&EndOnACrash);
}

}  // namespace zoq::testing
