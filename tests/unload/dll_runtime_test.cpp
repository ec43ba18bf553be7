// The DLL's own threads runtime under threads that race: runtime_probe.dll,
// built on it as the plug-in is, runs the races and says what went wrong;
// it is loaded and freed several times, as the runtime starts afresh each
// time.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/host/harness.hpp"

namespace zoq::testing {
namespace {

TEST(DllRuntime, StaticsCallOnceMutexesAndThreadLocalsHoldWhenThreadsRace) {
  for (int load = 0; load < 3; ++load) {
    HMODULE probe = LoadLibraryA((BinFolder() + "\\runtime_probe.dll").c_str());
    ASSERT_NE(probe, nullptr);
    using Probe = const char* (*)();
    const auto run = reinterpret_cast<Probe>(reinterpret_cast<void*>(GetProcAddress(probe, "RuntimeProbe")));
    ASSERT_NE(run, nullptr);
    const std::string wrong = run();
    FreeLibrary(probe);
    EXPECT_EQ(wrong, "") << "load " << load;
  }
}

}  // namespace
}  // namespace zoq::testing
