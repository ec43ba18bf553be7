// The web texts' encodings: GBK texts with "\u" escapes to UTF-8 addresses,
// UTF-8 answers to GBK texts.
#include <gtest/gtest.h>

#include "text/encoding.hpp"

namespace zoq::encoding {
namespace {

struct Case {
  std::string input;
  std::string expected;
};

class UnescapeToUtf8Test : public ::testing::TestWithParam<Case> {};

TEST_P(UnescapeToUtf8Test, GivesTheUtf8Bytes) { EXPECT_EQ(UnescapeToUtf8(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Escapes, UnescapeToUtf8Test,
    ::testing::Values(
        Case{"abc", "abc"}, Case{"", ""},
        Case{"\\u4F60\\u597d", "\xE4\xBD\xA0\xE5\xA5\xBD"},          // digits of either case
        Case{"\\uD83D\\uDE00", "\xF0\x9F\x98\x80"},                  // a pair of escapes
        Case{"\\\\u0041", "\\\\u0041"}, Case{"\\U0041", "\\U0041"},  // no escapes
        Case{"x\\u12", "x\\u12"}, Case{"x\\", "x\\"},                // cut short
        Case{"\\uD83D", "\\uD83D"}, Case{"\\uD83Dx", "\\uD83Dx"},    // a half with no room after it
        Case{"\\uD83D\\uDE", "\\uD83D\\uDE"},                        // the second escape cut short
        Case{"\\uD83Dxyz", "xyz"},                                   // a lone half gives nothing
        Case{"\\uD83D\\u0041", "A"},                                 // ... the next escape is read alone
        Case{"\\uDE00\\uDE00", ""},                                  // a pair that starts with a low half
        Case{"你好", "\xE4\xBD\xA0\xE5\xA5\xBD"},                    // GBK text
        Case{"a\\ug00Ab", "a\\ug00Ab"},                              // "\u" without four digits stays
        Case{"\\u0000z", "\\u0000z"},                                // as does "\u0000"
        Case{"q=\\u4F60&r=1", "q=\xE4\xBD\xA0&r=1"}));

TEST(UnescapeToUtf8, KeepsAPlainCharacterBeyondU0000FFFF) {
  // GB18030 writes U+1F600 with four bytes; it comes back as one character.
  EXPECT_EQ(UnescapeToUtf8(std::string("\x94\x39\xFC\x36", 4)), "\xF0\x9F\x98\x80");
}

TEST(UnescapeToUtf8, TextEndingInsideACharacterGivesNothing) {
  EXPECT_EQ(UnescapeToUtf8(std::string("ab\xC4", 3)), "");
}

struct WebCase {
  std::string answer;
  bool escapeSyntax;
  std::string expected;
};

class DecodeWebTextTest : public ::testing::TestWithParam<WebCase> {};

TEST_P(DecodeWebTextTest, GivesTheGbkText) {
  EXPECT_EQ(DecodeWebText(GetParam().answer, GetParam().escapeSyntax), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DecodeWebTextTest,
    ::testing::Values(
        WebCase{"\xE4\xBD\xA0\xE5\xA5\xBD", false, "你好"},
        WebCase{"\xF0\x9F\x98\x80", false, "\\uD83D\\uDE00"},           // beyond U+FFFF
        WebCase{"\xC3\x80", false, "\\u00C0"},                          // four bytes in GB18030
        WebCase{"\xE2\x82\xAC", false, "\xA2\xE3"},                     // two bytes in GB18030
        WebCase{"\xEF\xBB\xBFok", false, "\\uFEFFok"},                  // byte-order mark
        WebCase{std::string("a\x01" "b", 3), false, "a b"},             // U+0001
        WebCase{std::string("ab\0cd", 5), false, "ab"},                 // a zero ends the text
        WebCase{"[a]\\b", true, "\\u005ba\\u005d\\u005cb"},             // syntax escaped
        WebCase{"[a]\\b", false, "[a]\\b"},                             // ... or not
        WebCase{"\xC3\x28", false, ""},                                 // invalid UTF-8
        WebCase{"\xC4\xE3\xBA\xC3", false, ""},                         // a GBK answer is lost whole
        WebCase{"", false, ""}, WebCase{"\\u4F60 &amp;", false, "\\u4F60 &amp;"}));

TEST(Conversions, FailWholeOrSkipAsTheirTargetsSay) {
  EXPECT_EQ(Utf8ToUtf16be("A\xE4\xBD\xA0"), std::string("\x00" "A" "\x4F\x60", 4));
  EXPECT_EQ(Utf16beToUtf8(std::string("\x4F\x60", 2)), "\xE4\xBD\xA0");
  EXPECT_EQ(Utf16beToUtf8(std::string("\xD8\x3D", 2)), "");       // a lone half: rejected whole
  EXPECT_EQ(Utf16beToUtf8(std::string("\x00" "A" "\x00", 3)), "");  // ends inside a unit
  // Invalid GB18030 bytes are skipped one at a time; invalid units two bytes at a time.
  EXPECT_EQ(Gb18030ToUtf16be(std::string("A\xFF" "B", 3)), std::string("\x00" "A" "\x00" "B", 4));
  EXPECT_EQ(Utf16beToGb18030(std::string("\x00" "A" "\xDC\x00" "\x00" "B", 6)), "AB");
  EXPECT_EQ(Utf16beToGb18030(std::string("\x00" "A" "\x00", 3)), "");
  EXPECT_EQ(Gb18030ToUtf16be(std::string("A\xC4", 2)), "");
}

}  // namespace
}  // namespace zoq::encoding
