// libFuzzer entry of a fuzz target: ZOQ_FUZZ_CHECK names its check.
#include <cstdio>
#include <cstdlib>

#include "tests/json/fuzz/fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string error = zoq::json::fuzz::ZOQ_FUZZ_CHECK(data, size);
  if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str()), std::abort();
  return 0;
}
