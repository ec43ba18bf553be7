// libFuzzer entry of the parser fuzz target.
#include <cstdio>
#include <cstdlib>

#include "tests/json/fuzz/fuzz_parse.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string error = zoq::json::fuzz::CheckParse(data, size);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::abort();
  }
  return 0;
}
