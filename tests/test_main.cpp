// The main of every test program: GoogleTest's, but where ZOQ_NO_SKIPS is
// set (scripts/test.sh on CI, as root, where everything a test needs can be
// had) a test that skips fails, so that no fault hides behind a skip; under
// Windows a crash on any thread fails the program, and in the x86-64 build
// the tests run with nothing of theirs below 4 GB.
#include <gtest/gtest.h>

#ifdef _WIN32
#include "tests/end_on_crash.hpp"
#include "tests/high_addresses.hpp"
#endif

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class SkipFails : public ::testing::EmptyTestEventListener {
  // Runs before the printer's end of the test, which then reports it failed.
  void OnTestEnd(const ::testing::TestInfo& test) override {
    if (test.result()->Skipped()) ADD_FAILURE() << "skipped, and ZOQ_NO_SKIPS is set: every test must run here";
  }
};

// With --gtest_brief only failures are printed; the order of a shuffled
// run is told still, so that a failure that hangs on it can be run again.
class SeedOfTheOrder : public ::testing::EmptyTestEventListener {
  void OnTestIterationStart(const ::testing::UnitTest& unit, int iteration) override {
    std::printf("Iteration %d, tests in the order of seed %d\n", iteration + 1, unit.random_seed());
    std::fflush(stdout);
  }
};

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  zoq::testing::EndProgramOnACrash("test program");
#endif
  ::testing::InitGoogleTest(&argc, argv);
  const char* noSkips = std::getenv("ZOQ_NO_SKIPS");
  if (noSkips && *noSkips && std::string(noSkips) != "0") {
    ::testing::UnitTest::GetInstance()->listeners().Append(new SkipFails);
  }
  if (GTEST_FLAG_GET(brief) && GTEST_FLAG_GET(shuffle)) {
    ::testing::UnitTest::GetInstance()->listeners().Append(new SeedOfTheOrder);
  }
#ifdef _WIN32
  // In the x86-64 build, nothing made from here on lies below 4 GB.
  return zoq::testing::RunAboveLowAddresses([] { return RUN_ALL_TESTS(); });
#else
  return RUN_ALL_TESTS();
#endif
}
