// The MyQQ adapter's native text decoding.
#include <gtest/gtest.h>

#include "hosts/dll/myqq/myqq_text.hpp"

namespace zoq::myqq {
namespace {

TEST(MyQqText, UnescapeKeepsJsonJson) {
  const std::pair<std::string, std::string> cases[] = {
      {R"({"n":"\u4e2d'x'"})" "\r\n", R"({"n":"中'x'"})" "\r\n"},
      {"\rA\rB", "A\rB"},                                       // only a leading CR goes
      {R"(\u0022\u005c\u000a\u2028\u0041)", R"(\u0022\u005c\u000a\u2028A)"},
      {R"(\\u0041 \n \")", R"(\\u0041 \n \")"},                 // other backslash sequences stay
      {"%41%u4e2d 50% off %4 %zz %22", "A中 50% off %4 %zz %22"},
      {R"(\ud83d\ude00|\ud83d|\u0e01x|’)", "||x|’"},            // no GBK form: empty
      {R"(\u4E2D\u4e2)", R"(中\u4e2)"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(UnescapeUnicodeText(in), out) << in;
  EXPECT_EQ(PercentDecodeText(R"(%41B\u0041%u4e2d)"), R"(AB\u0041中)");
}

TEST(MyQqText, HexAndCodeUnits) {
  EXPECT_EQ(HexTextToInteger("4e 2d"), 0x4E2D);
  EXPECT_EQ(HexTextToInteger("ff"), 255);
  EXPECT_EQ(HexTextToInteger(""), 0);
  EXPECT_EQ(HexTextToInteger("1g"), 14);  // a non-digit counts -2
  EXPECT_EQ(CodeUnitToGbkText(std::string("\x2D\x4E\0\0\0\0\0\0", 8)), "中");
  EXPECT_EQ(CodeUnitToGbkText(std::string("\x3D\xD8", 2)), "");
}

TEST(MyQqText, HtmlEntitiesInTheirOrder) {
  std::string value = R"(&lt;b&gt; &amp;amp; \u003c&#92;&nbsp;&quot;&#39;\u0026)";
  EXPECT_EQ(DecodeHtmlEntities(value), R"(<b> &amp; <\ "'&)");
  EXPECT_EQ(value, R"(<b> &amp; <\ "'&)");
}

}  // namespace
}  // namespace zoq::myqq
