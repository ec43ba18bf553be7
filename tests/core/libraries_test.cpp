// The libraries in memory against the Windows INI functions themselves: for
// files written to catch every parsing rule, every probe must give what
// GetPrivateProfileStringA and GetPrivateProfileSectionNamesA give.
#include <gtest/gtest.h>

#include "core/ini_items.hpp"
#include "core/libraries.hpp"
#include "core/settings.hpp"
#include "platform/code_pages.hpp"
#include "platform/files.hpp"
#include "platform/ini.hpp"
#include "tests/fakehost/fakehost_client.hpp"

namespace zoq::testing {
namespace {

struct IniCase {
  const char* name;
  std::string file;
  std::vector<std::string> probes;  // section names asked for, key 回复
};

const std::string kLong(10300, 'a');
std::string Cjk(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "字";
  return s;
}

std::vector<IniCase> Cases() {
  return {
      {"plain", "[你好]\r\n回复=你好呀\r\n[早安]\r\n回复=早\r\n", {"你好", "早安", "晚安", "你"}},
      {"case", "[Hello]\r\n回复=x\r\n[ＡＢ]\r\n回复=fw\r\n[ΩЖ]\r\n回复=gr\r\n",
       {"hello", "HELLO", " hello ", "hello\t", "ａｂ", "ＡＢ", "ωж", "ΩЖ", "\x81\x61"}},
      {"duplicates", "[a]\r\nx=1\r\n[A]\r\n回复=second\r\n[b]\r\n回复=b1\r\n[B]\r\n回复=b2\r\n", {"a", "A", "b", "B"}},
      {"blanks", "[ spaced ]\r\n回复=s\r\n[tab]\t\r\n回复 =  padded value  \r\n[　wide　]\r\n回复=w\r\n",
       {"spaced", " spaced ", "tab", "　wide　", "wide", "\x1Atab"}},
      {"quotes",
       "[q1]\r\n回复=\"quoted\"\r\n[q2]\r\n回复='single'\r\n[q3]\r\n回复=\"open\r\n[q4]\r\n回复=\"\r\n[q5]\r\n回复=\"\"\r\n"
       "[q6]\r\n回复=\"a\"b\"\r\n[q7]\r\n回复='mixed\"\r\n",
       {"q1", "q2", "q3", "q4", "q5", "q6", "q7"}},
      {"keys",
       "[k1]\r\n 回复 = v \r\n[k2]\r\n回复\r\n回复=later\r\n[k3]\r\n回 复=x\r\n[k4]\r\n回复==eq\r\n[k5]\r\n;回复=c\r\n"
       "[k6]\r\n回复=\r\n回复=second\r\n",
       {"k1", "k2", "k3", "k4", "k5", "k6"}},
      {"headers",
       "回复=orphan\r\n[a]b]\r\n回复=ab\r\n[open\r\n回复=after open\r\n  [ind]  \r\n回复=i\r\n[]\r\n回复=empty\r\n"
       "[x]trailing\r\n回复=t\r\n[\x81\x5D]\r\n回复=trail\r\n",
       {"a]b", "a", "open", "ind", "x", "x]trailing", "\x81\x5D"}},
      {"line ends", "[cr]\r回复=r\r[lf]\n回复=n\n\n[mixed]\n\r回复=m\r\n", {"cr", "lf", "mixed"}},
      {"long",
       "[long]\r\n回复=" + kLong + "\r\n[cjk]\r\n回复=" + Cjk(6000) + "\r\n[edge]\r\n回复=" + std::string(10238, 'e') +
           "字\r\n[odd]\r\n回复=" + std::string(10237, 'o') + "字字\r\n[q1]\r\n回复=\"" + std::string(10239, 'q') +
           "\"\r\n[q2]\r\n回复=\"" + std::string(10238, 'q') + "\"\r\n[q3]\r\n回复=\"" + std::string(10240, 'q') + "\"\r\n",
       {"long", "cjk", "edge", "odd", "q1", "q2", "q3"}},
      {"bom", "\xEF\xBB\xBF[\xE4\xBD\xA0\xE5\xA5\xBD]\r\n\xE5\x9B\x9E\xE5\xA4\x8D=utf8\r\n[Ab]\r\n\xE5\x9B\x9E\xE5\xA4\x8D=x\r\n",
       {"你好", "ab"}},
      {"odd bytes",
       "[a\x81]\r\n回复=lead at end\r\n[b]\r\n回复=x\x81\r\n[\x80\xFF]\r\n回复=single\x80\xFF\r\n[c]\r\n回复=a\x81\x7F\x81!b\r\n"
       "[d]\r\n回复=x\x81\n[e]\r\n回复=after a lead byte at the line's end\r\n",
       {"a\x81", "b", "\x80\xFF", "c", "d", "e"}},
  };
}

class LibrariesTest : public ::testing::TestWithParam<IniCase> {};

TEST_P(LibrariesTest, AnswersAsTheIniFunctions) {
  const IniCase& c = GetParam();
  const std::string file = FreshTestRunFolder("libraries-test") + "\\case.ini";
  ASSERT_TRUE(platform::WriteWholeFile(file, c.file));
  IniImage image;
  image.Load(platform::FileTextAsAnsi(c.file));
  EXPECT_EQ(image.SectionNames(), platform::GetIniSectionNames(file, kIniSectionListBuffer));
  const std::string absent = "\x01absent";
  for (const std::string& probe : c.probes) {
    const std::string windows = platform::GetIniString(file, probe, kReplyKey, absent, kIniValueBuffer);
    EXPECT_EQ(image.Value(probe, kReplyKey).value_or(absent), windows) << "[" << probe << "]";
  }
}

INSTANTIATE_TEST_SUITE_P(Files, LibrariesTest, ::testing::ValuesIn(Cases()), [](const auto& info) {
  std::string name = info.param.name;
  for (char& ch : name)
    if (ch == ' ') ch = '_';
  return name;
});

TEST(FuzzyMatcher, FirstKeywordInLibraryOrderAtACharacterBoundary) {
  FuzzyMatcher m;
  m.Build({"天气", "AB", "", "气", "\x81\x41", "ab", "b"});
  EXPECT_EQ(m.FirstIn("今天天气不错"), 0);  // 天气 before 气, wherever each stands
  EXPECT_EQ(m.FirstIn("xa气B"), 3);
  EXPECT_EQ(m.FirstIn("aB"), 1);  // AB before ab and b, ASCII case ignored
  EXPECT_EQ(m.FirstIn("xyz"), -1);
  EXPECT_EQ(m.FirstIn(""), -1);
  EXPECT_EQ(m.FirstIn("\x81\x61"), -1);      // a second byte is no letter
  EXPECT_EQ(m.FirstIn("\x82\x81\x41"), -1);  // and no match starts on one
  EXPECT_EQ(m.FirstIn("z\x81\x41"), 4);
}

}  // namespace
}  // namespace zoq::testing
