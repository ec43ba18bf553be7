// Runs the fuzz targets' checks over the committed seed corpus.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/json/fuzz/fuzz_ops.hpp"
#include "tests/json/fuzz/fuzz_parse.hpp"

namespace zoq::json::test {
namespace {

TEST(JsonFuzzReplay, SeedCorpus) {
  const std::filesystem::path dir = ZOQ_JSON_CORPUS;
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_EQ(fuzz::CheckParse(data, bytes.size()), "") << entry.path().filename().string();
    EXPECT_EQ(fuzz::CheckOps(data, bytes.size()), "") << entry.path().filename().string();
    ++files;
  }
  EXPECT_GE(files, 10u);
}

}  // namespace
}  // namespace zoq::json::test
