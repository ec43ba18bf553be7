// The main of every test program: GoogleTest's, but where ZOQ_NO_SKIPS is
// set (scripts/test.sh on CI, as root, where everything a test needs can be
// had) a test that skips fails, so that no fault hides behind a skip.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

class SkipFails : public ::testing::EmptyTestEventListener {
  // Runs before the printer's end of the test, which then reports it failed.
  void OnTestEnd(const ::testing::TestInfo& test) override {
    if (test.result()->Skipped()) ADD_FAILURE() << "skipped, and ZOQ_NO_SKIPS is set: every test must run here";
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* noSkips = std::getenv("ZOQ_NO_SKIPS");
  if (noSkips && *noSkips && std::string(noSkips) != "0") {
    ::testing::UnitTest::GetInstance()->listeners().Append(new SkipFails);
  }
  return RUN_ALL_TESTS();
}
