// GBK text helpers: built natively (sanitizers) and for Windows. The texts
// are written as GBK bytes, so both builds see the same input.
#include "text/text.hpp"
#include "text/text_between.hpp"

#include <gtest/gtest.h>

namespace zoq::text {
namespace {

// 乗 is 81 5C in GBK: its trail byte is a backslash; 表 is B1 ED.
const std::string kJou = "\x81\x5C";

TEST(TextFind, NeverMatchesOnATrailByte) {
  EXPECT_EQ(Find(kJou, "\\"), npos);
  EXPECT_EQ(Find("a" + kJou + "\\", "\\"), 3u);
  // "\xED\xB1" would match inside "\xB1\xED\xB1\xED" at offset 1 bytewise.
  const std::string twice = "\xB1\xED\xB1\xED";
  EXPECT_EQ(Find(twice, "\xED\xB1"), npos);
  EXPECT_EQ(Find(twice, "\xB1\xED", 2), 2u);
  // An ASCII keyword is not found inside a double-byte character.
  EXPECT_FALSE(Contains("\xC4\x40", "@"));
  EXPECT_TRUE(Contains("\xC4\x40@", "@"));
  EXPECT_EQ(Find("abc", ""), npos);
  EXPECT_EQ(Find("ab", "abc"), npos);
}

// A lead byte takes the byte after it only when that is a trail byte, as
// Windows reads code page 936; before any other byte it stands alone.
TEST(TextCharLength, ALeadByteTakesOnlyATrailByte) {
  const struct {
    std::string s;
    std::size_t pos, length;
  } cases[] = {
      {"\x81\x3F", 0, 1}, {"\x81\x40", 0, 2}, {"\x81\x7E", 0, 2}, {"\x81\x7F", 0, 1}, {"\x81\x80", 0, 2},
      {"\xFE\xFE", 0, 2}, {"\x81\xFF", 0, 1}, {"\x81/", 0, 1},     {"\x81:", 0, 1},     {"x\x81", 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CharLength(c.s, c.pos), c.length) << ::testing::PrintToString(c.s);
    EXPECT_EQ(IsLoneLeadByte(c.s, c.pos), c.length == 1) << ::testing::PrintToString(c.s);  // each begins with a lead byte
  }
  EXPECT_FALSE(IsLoneLeadByte("a\x81", 0));
  // The byte after a lone lead byte is a character of its own.
  EXPECT_EQ(Find("\x81/nul", "/"), 1u);
  EXPECT_EQ(Find("\x81\x2F\x81\x2F", "\x2F\x81"), 1u);
}

TEST(TextFind, IgnoresAsciiCaseOnlyWhenAsked) {
  EXPECT_EQ(Find("x[CQ:AT]", "[cq:at]"), npos);
  EXPECT_EQ(Find("x[CQ:AT]", "[cq:at]", 0, Case::IgnoreAscii), 1u);
  // Case folding touches ASCII letters only, never GBK bytes.
  EXPECT_EQ(Find("\xC1\xAA", "\xE1\xAA", 0, Case::IgnoreAscii), npos);
  // ... not even the second byte of a character that looks like a letter.
  EXPECT_EQ(Find("x\x81\x61", "\x81\x41", 0, Case::IgnoreAscii), npos);
  EXPECT_FALSE(EqualsIgnoreAsciiCase("\x81\x61", "\x81\x41"));
  EXPECT_EQ(Find("A\x81\x61", "a\x81\x61", 0, Case::IgnoreAscii), 0u);
  EXPECT_TRUE(EqualsIgnoreAsciiCase("[Dx]", "[dX]"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("ab", "abc"));
  EXPECT_TRUE(StartsWith("[ABC]", "[ab", Case::IgnoreAscii));
}

TEST(TextReplace, ReplacesLeftToRightWithoutRescanning) {
  EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceAll("[x][x]", "[x]", "[x][x]"), "[x][x][x][x]");
  EXPECT_EQ(ReplaceAll("abab", "", "z"), "abab");
  EXPECT_EQ(ReplaceFirst("a-a-a", "a", "b"), "b-a-a");
  EXPECT_EQ(ReplaceAll(kJou + "\\" + kJou, "\\", "/"), kJou + "/" + kJou);
  EXPECT_EQ(ReplaceAll("[AB][ab]", "[ab]", "-", Case::IgnoreAscii), "--");
}

TEST(TextNumber, ReadsLeadingWholeNumbers) {
  EXPECT_EQ(ReadWholeNumber("120"), 120);
  EXPECT_EQ(ReadWholeNumber("  -42abc"), -42);
  EXPECT_EQ(ReadWholeNumber("+7"), 7);
  // Full-width digits ０..９ (A3 B0..A3 B9), alone or mixed with ASCII ones.
  EXPECT_EQ(ReadWholeNumber("\xA3\xB1\xA3\xB2\xA3\xB0"), 120);
  EXPECT_EQ(ReadWholeNumber("1\xA3\xB5" "\xC3\xEB"), 15);
  EXPECT_EQ(ReadWholeNumber("\xA3\xB9\xA3\xB8" "\xA3\xBA"), 98);  // ９ and ８; "：" is none
  EXPECT_EQ(ReadWholeNumber("abc"), 0);
  EXPECT_EQ(ReadWholeNumber(""), 0);
  EXPECT_EQ(ReadWholeNumber("-"), 0);
  EXPECT_EQ(ReadWholeNumber("99999999999999999999999"), INT64_MAX);
  EXPECT_EQ(ReadWholeNumber32("99999999999"), INT32_MAX);
  EXPECT_EQ(ReadWholeNumber32("-99999999999"), INT32_MIN);
}

TEST(TextNumber, ListHoldsWholeNumbersOnly) {
  EXPECT_TRUE(ListHoldsNumber("111,222", "222"));
  EXPECT_FALSE(ListHoldsNumber("111,222", "22"));
  EXPECT_FALSE(ListHoldsNumber("10001", "1000"));
  EXPECT_TRUE(ListHoldsNumber("10001 1000", "1000"));
  EXPECT_TRUE(ListHoldsNumber("\xD6\xF7\xC8\xCB" "1000" "\xBA\xCD" "2000", "2000"));
  EXPECT_FALSE(ListHoldsNumber("111", ""));
}

// Bytes as UTF-8 as a whole, byte for byte (texts are written as bytes:
// the sources' own texts are GBK in the Windows build).
TEST(TextUtf8, TheLongestCharacterOfBytesThatAreUtf8AsAWhole) {
  const struct {
    std::string bytes;
    int longest;
  } rows[] = {
      {"", 0}, {"abc\r\n", 1}, {"\xC3\xA8", 2}, {"a\xC2\x80z\xDF\xBF", 2},
      {"\xE6\x97\xA9\xE5\xAE\x89", 3}, {"\xC3\xA8\xE0\xA0\x80", 3}, {"\xEF\xBF\xBF", 3},
      {"\xED\x9F\xBF", 3}, {"\xEE\x80\x80", 3}, {"x\xF0\x90\x80\x80", 4}, {"\xF4\x8F\xBF\xBF\xC3\xA8", 4},
      {"\xF3\xBF\xBF\xBF", 4},
      // Not UTF-8: bytes that start or continue no character, overlong forms,
      // surrogates, beyond U+10FFFF, a character cut short or broken.
      {"\x80", 0}, {"a\xBF", 0}, {"\xC0\x80", 0}, {"\xC1\xBF", 0}, {"\xE0\x9F\xBF", 0},
      {"\xF0\x8F\xBF\xBF", 0}, {"\xED\xA0\x80", 0}, {"\xED\xBF\xBF", 0}, {"\xF4\x90\x80\x80", 0},
      {"\xF5\x80\x80\x80", 0}, {"\xFE", 0}, {"\xFF", 0}, {"\xE6\x97", 0}, {"\xE6\x97\xA9\xC3", 0},
      {"\xE6\x97" "a", 0}, {"\xC3\xC3\xA8", 0}, {"\xF0\x90\x80\xC0", 0},
      // GBK text: 早安 (D4 E7 B0 B2), 开 (BF AA), 猫 and 路 (C3 A8, C2 B7) alone.
      {"\xD4\xE7\xB0\xB2", 0}, {"\xBF\xAA", 0}, {"\xC3\xA8\xC2\xB7", 2},
  };
  for (const auto& row : rows) EXPECT_EQ(LongestUtf8Character(row.bytes), row.longest) << ::testing::PrintToString(row.bytes);
}

TEST(TextBetween, CutsBetweenTheFirstStartAndTheNextEnd) {
  EXPECT_EQ(TextBetween("{\"wxid\":\"abc\",\"n\":1}", "\"wxid\":\"", "\""), "abc");
  EXPECT_EQ(TextBetween("{\"wxid\":\"abc\",\"n\":1}", "#引号wxid#引号:#引号", "#引号"), "abc");
  EXPECT_EQ(TextBetween("k=1;k=2;", "k=", ";"), "1");  // the first occurrence
  EXPECT_EQ(TextBetween("k=1;k=2;", "k=", ";", 3), "2");  // from the 1-based position 3
  EXPECT_EQ(TextBetween("k=1;", "k=", ";", -5), "1");
  EXPECT_EQ(TextBetween("k=1;", "k=", ";", 40), "");
  EXPECT_EQ(TextBetween("ab", "a", "b"), "");          // the end right after the start
  EXPECT_EQ(TextBetween("]x[a", "[", "]"), "");        // an end only before the start
  EXPECT_EQ(TextBetween("abc", "a", ""), "");          // an empty end marker
  EXPECT_EQ(TextBetween("abc;d", "", ";"), "abc");     // an empty start marker: the first byte
  EXPECT_EQ(TextBetween("", "", ";"), "");
}

TEST(TextBetween, IgnoresCaseOnlyWhenAskedAndOnlyForAsciiLetters) {
  EXPECT_EQ(TextBetween("\"sex\":1,", "\"SEX\":", ","), "");
  EXPECT_EQ(TextBetween("\"sex\":1,", "\"SEX\":", ",", 1, Case::IgnoreAscii), "1");
}

TEST(TextBetween, NeverMatchesFromTheSecondByteOfACharacter) {
  // 0x81 0x7D is one GBK character whose second byte is "}".
  const std::string text = "a\x81\x7D" "b}c";
  EXPECT_EQ(TextBetween(text, "a", "}"), "\x81\x7D" "b");
  EXPECT_EQ(TextBetween(text, "}", "c"), "");
  EXPECT_EQ(TextBetween(std::string("x\x81"), "x", "\x81"), "");  // a lead byte at the very end
}

TEST(TextBetween, LeadingNumbersWrapToThirtyTwoBits) {
  EXPECT_EQ(LeadingNumber32("  42}"), 42);
  EXPECT_EQ(LeadingNumber32("-7"), -7);
  EXPECT_EQ(LeadingNumber32("4294967295"), -1);
  EXPECT_EQ(LeadingNumber32("\"12\""), 0);
  EXPECT_EQ(LeadingNumber32(""), 0);
  EXPECT_EQ(LeadingNumber32("1\xA3\xB2" "3x"), 123);  // a full-width 2
  EXPECT_EQ(LeadingNumber32("\xA3\xB9"), 9);
  EXPECT_EQ(LeadingNumber32("\xA3\xC1" "1"), 0);     // a full-width letter is no digit
}

TEST(AllTextsBetween, CollectsOverlappingPiecesInOrder) {
  std::vector<std::string> pieces{"old"};
  EXPECT_EQ(AllTextsBetween("{a{b}c}", "{", "}", pieces), 2);
  EXPECT_EQ(pieces, (std::vector<std::string>{"a{b", "b"}));
  EXPECT_EQ(AllTextsBetween("no markers", "{", "}", pieces), 0);
  EXPECT_TRUE(pieces.empty());
  EXPECT_EQ(AllTextsBetween("[x][y]", "[", "]", pieces, {.prefix = "<", .suffix = ">", .keepStartMarker = true}), 2);
  EXPECT_EQ(pieces, (std::vector<std::string>{"[<x>", "[<y>"}));
  EXPECT_EQ(AllTextsBetween("[x][y]", "[", "]", pieces, {.keepEndMarker = true, .start = 3}), 1);
  EXPECT_EQ(pieces, std::vector<std::string>{"y]"});
  EXPECT_EQ(AllTextsBetween("<A><b>", "<a", ">", pieces, {.mode = Case::IgnoreAscii}), 1);
}

TEST(AllTextsBetween, KeepsOnlyPiecesShorterThanTheMaximum) {
  std::vector<std::string> pieces;
  EXPECT_EQ(AllTextsBetween("(ab)(abc)", "(", ")", pieces, {.maxLength = 3}), 1);
  EXPECT_EQ(pieces, std::vector<std::string>{"ab"});
  EXPECT_EQ(AllTextsBetween("(ab)(abc)", "(", ")", pieces, {.maxLength = -1}), 0);
}

// Mended: an empty marker finds nothing instead of looping.
TEST(AllTextsBetween, AnEmptyMarkerGivesNoPieces) {
  std::vector<std::string> pieces{"old"};
  EXPECT_EQ(AllTextsBetween("abc", "", "c", pieces), 0);
  EXPECT_EQ(AllTextsBetween("abc", "a", "", pieces), 0);
  EXPECT_TRUE(pieces.empty());
}

// The hash of an index's names: every bit of every byte, the length and
// each half of the key move it (a name built to land where another does
// must be built against a key no one sees), and it reads no byte past the
// name.
TEST(HalfSipHash13, EveryBitTheLengthAndTheKeyMoveIt) {
  const std::uint32_t key[2] = {0x03020100u, 0x07060504u};
  std::string all(16, '\0');
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<char>(i * 37 + 1);
  for (std::size_t length = 0; length <= 12; ++length) {
    const std::string_view name = std::string_view(all).substr(0, length);
    const std::uint32_t hash = HalfSipHash13(key, name);
    SCOPED_TRACE(length);
    EXPECT_NE(HalfSipHash13(key, std::string(name) + '\0'), hash);
    const std::uint32_t otherKeys[][2] = {{key[0] ^ 1u, key[1]}, {key[0], key[1] ^ 0x80000000u}};
    for (const auto& other : otherKeys) EXPECT_NE(HalfSipHash13(other, name), hash);
    for (std::size_t bit = 0; bit < 8 * length; ++bit) {
      std::string flipped(name);
      flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << bit % 8));
      EXPECT_NE(HalfSipHash13(key, flipped), hash) << "bit " << bit;
    }
  }
}

}  // namespace
}  // namespace zoq::text
