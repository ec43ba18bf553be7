// The neutral in-text codes: folding the hosts' codes in, and turning them
// into each host's codes on the way out.
#include <gtest/gtest.h>

#include "core/messages/sending.hpp"

namespace zoq::testing {
namespace {

TEST(NormalizeIncomingText, FoldsEachHostCodeIntoTheNeutralOne) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"你好\r\n世界", "你好[N]世界"},
      {"\\u005b测试\\u005d", "[测试]"},
      {"\\U005B测试\\U005D", "[测试]"},
      {"[at=10001] 你好", "[@10001] 你好"},
      {"[IR:at=10001]", "[@10001]"},
      {"[CQ:at,qq=10001]早", "[@10001]早"},
      {"[CQ:AT,QQ=10001]", "[@10001]"},
      {"[AT=10001]", "[@10001]"},
      {"&uoS8#测试&uoS9#", "[测试]"},
      {"&UOS8#x&UoS9#", "[x]"},
      {"无码的文字", "无码的文字"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeIncomingText(c.in), c.out) << c.in;
}

TEST(NormalizeIncomingText, RunsTheReplacementsInOrder) {
  // An escaped bracket becomes "[" before the openers are folded.
  EXPECT_EQ(NormalizeIncomingText("\\u005bat=10001]"), "[@10001]");
  // "&uoS8#" comes last: what it turns into is not folded again.
  EXPECT_EQ(NormalizeIncomingText("&uoS8#at=10001]"), "[at=10001]");
}

TEST(NormalizeIncomingText, NeverMatchesInsideADoubleByteCharacter) {
  // 0x81 0x5B is one GBK character whose trail byte is "[".
  const std::string trail = "\x81[at=1]";
  EXPECT_EQ(NormalizeIncomingText(trail), trail);
  EXPECT_EQ(ToHostCodes("\x81[N]", kHostVlq), "\x81[N]");
  EXPECT_EQ(ToHostCodes("\x81[P=a]", kHostVlq), "\x81[P=a]");
}

TEST(ToHostCodes, TurnsLineBreaksAndStoredBracketsWithExactCase) {
  EXPECT_EQ(ToHostCodes("一[N]二", kHostVlq), "一\r\n二");
  EXPECT_EQ(ToHostCodes("一[n]二", kHostVlq), "一[n]二");
  EXPECT_EQ(ToHostCodes("&uoS8#x&uoS9#", kHostVlq), "[x]");
  EXPECT_EQ(ToHostCodes("&UOS8#x&UOS9#", kHostVlq), "&UOS8#x&UOS9#");
  EXPECT_EQ(ToHostCodes("[@10001] 你好", kHostVlq), "[@10001] 你好");
}

TEST(ToHostCodes, IskyDecidesFileUrlsPerCodeFromItsOwnPath) {
  // A web address elsewhere in the reply does not change a local file's code.
  EXPECT_EQ(ToHostCodes("见 http://x.cn [P=C:\\a.png][P=https://p.cn/1.jpg][P=HTTP://q.cn/2.jpg]", kHostIsky),
            "见 http://x.cn [CQ:image,file=file:///C:\\a.png][CQ:image,file=https://p.cn/1.jpg]"
            "[CQ:image,file=HTTP://q.cn/2.jpg]");
  EXPECT_EQ(ToHostCodes("[V=http://v.cn/a.mp3][V=D:\\httpfiles\\b.mp3]", kHostIsky),
            "[CQ:record,file=http://v.cn/a.mp3][CQ:record,file=file:///D:\\httpfiles\\b.mp3]");
  // "http" without "://" is a local name.
  EXPECT_EQ(ToHostCodes("[P=httpd.png]", kHostIsky), "[CQ:image,file=file:///httpd.png]");
}

}  // namespace
}  // namespace zoq::testing
