// Reply-template expansion: alternatives, every variable per host kind,
// pictures and web texts, with the web services served from this process.
#include <set>

#include "core/expand.hpp"
#include "core/ini_items.hpp"
#include "core/settings.hpp"
#include "core/random.hpp"
#include "core/reply/no_account_picture.hpp"
#include "tests/reply/reply_test_support.hpp"

namespace zoq::testing {
namespace {

// The generator as the expansion must drive it: reseeded from the tick
// count before each draw, the reseeding offset carried on.
struct Replica {
  RandomSource random;
  std::int32_t Draw(std::uint32_t ticks, std::int32_t lo, std::int32_t hi) {
    random.Reseed(ticks);
    return random.Between(lo, hi);
  }
};

using AlternativesTest = ReplyTest;

TEST_F(AlternativesTest, EachDrawFollowsTheGeneratorAndItsReseeding) {
  Replica replica;
  std::set<std::string> seen;
  for (std::uint32_t t = 0; t < 24; ++t) {
    ticks_ = t * 977;
    const std::string got = Expand("a[|]b[|]");
    EXPECT_EQ(got, replica.Draw(ticks_, 1, 2) == 1 ? "a" : "b") << "ticks " << ticks_;
    seen.insert(got);
  }
  EXPECT_EQ(seen, (std::set<std::string>{"a", "b"}));
}

TEST_F(AlternativesTest, ALeadingSeparatorMakesAnEmptyAlternative) {
  std::set<std::string> seen;
  for (std::uint32_t t = 0; t < 24; ++t) {
    ticks_ = t * 131;
    seen.insert(Expand("[|]a"));
  }
  EXPECT_EQ(seen, (std::set<std::string>{"", "a"}));
}

TEST_F(AlternativesTest, TheChoiceAndTheNumberDrawEachReseedFromTheTickCount) {
  Replica replica;
  for (std::uint32_t t = 0; t < 6; ++t) {
    ticks_ = 100000 + t * 7;
    const std::int32_t piece = replica.Draw(ticks_, 1, 2);
    const std::int32_t number = replica.Draw(ticks_, 1, 9000);
    EXPECT_EQ(Expand("x[数字9000][|]y[数字9000]"), (piece == 1 ? "x" : "y") + std::to_string(number));
  }
}

TEST_F(AlternativesTest, NoTemplateGivesNothingAndFetchesNothing) {
  EXPECT_EQ(ExpandReply(record_, library_, "missing"), "");
  EXPECT_EQ(Expand(""), "");
  EXPECT_TRUE(web_.Requests().empty());
}

using VariablesTest = ReplyTest;

TEST_F(VariablesTest, WeekdayTimeAndDateComeFromOneTimeStamp) {
  const char* names[] = {"日", "一", "二", "三", "四", "五", "六"};
  for (int day = 0; day < 7; ++day) {
    now_.weekday = day;
    EXPECT_EQ(Expand("星期[星期]"), std::string("星期") + names[day]);
  }
  EXPECT_EQ(Expand("[时间] [日期]"), "9时5分7秒 2024年3月5日");
  now_ = {2023, 12, 31, 0, 23, 59, 58, 0};
  EXPECT_EQ(Expand("[日期][时间][日期]"), "2023年12月31日23时59分58秒2023年12月31日");
}

TEST_F(VariablesTest, TargetIsTheFirstMentionAndLeavesTheRecord) {
  record_.text = "打[@123]和[@456]";
  EXPECT_EQ(Expand("[目标]+[目标]"), "123+123");
  EXPECT_EQ(record_.text, "打和[@456]");
  record_.text = "没有人";
  EXPECT_EQ(Expand("<[目标]>"), "<>");
  EXPECT_EQ(record_.text, "没有人");
}

TEST_F(VariablesTest, MessageLosesEveryKeyword) {
  record_.text = "复读一下复读";
  EXPECT_EQ(Expand("[消息]", "复读"), "一下");
  record_.text = "精确";
  EXPECT_EQ(Expand("<[消息]>", "精确"), "<>");  // the exact library passes the text as keyword
  // A keyword stored with brackets is taken out as the message writes it.
  record_.text = "说[甲]呀[甲]";
  EXPECT_EQ(Expand("[消息]", "&uoS8#甲&uoS9#"), "说呀");
}

TEST_F(VariablesTest, AnExactReplysMessageIsAlwaysEmpty) {
  // The exact keyword is the message text itself, even when its section name
  // is the stored form (brackets) or "[目标]" has just changed the text.
  const std::string section = "&uoS8#@123&uoS9#x";
  WriteIniItem(library_, section, std::string(kReplyKey), std::string("<[目标]|[消息]>"));
  record_.text = "[@123]x";
  EXPECT_EQ(ExpandReply(record_, library_, section, /*keywordIsMessageText=*/true), "<123|>");
  EXPECT_EQ(record_.text, "x");
}

TEST_F(VariablesTest, SenderGroupAndFolders) {
  EXPECT_EQ(Expand("[号码]@[群号]"), "30003@20002");
  record_.kind = MessageKind::Private;
  record_.group.clear();
  EXPECT_EQ(Expand("[号码]@[群号]"), "30003@");
  EXPECT_EQ(Expand("[P=[ZOQData]\\a.png][V=[ZOQAdmin]\\b.amr]"),
            "[P=" + folder_ + "\\ZOQData\\a.png][V=" + folder_ + "\\ZOQAdmin\\b.amr]");
  EXPECT_EQ(Expand("[zoqdata][ZOQDATA]"), "[zoqdata][ZOQDATA]");  // steps 2 to 12 match exactly
}

TEST_F(VariablesTest, NoVariableStartsInsideADoubleByteCharacter) {
  // 0x81 0x5B is one GBK character whose second byte is "[".
  EXPECT_EQ(Expand("\x81[号码]\x81[踢出]"), "\x81[号码]\x81[踢出]");
  EXPECT_EQ(Expand("\x81\x5B[号码]"), "\x81\x5B" "30003");
}

TEST_F(VariablesTest, MentionCodeFollowsTheActiveHost) {
  const std::pair<std::int32_t, std::string> kinds[] = {
      {kHostNone, ""}, {kHostIsky, "[CQ:at,qq=30003]"}, {kHostWx, "{提示} "}, {kHostOq, "[at=30003]"}, {2, ""}};
  for (const auto& [host, code] : kinds) {
    Plugin().HostType = host;
    EXPECT_EQ(Expand("[@]hi"), code + "hi") << "host " << host;
  }
}

TEST_F(VariablesTest, OneNumberPerKindAndExpansion) {
  Replica replica;
  EXPECT_EQ(Expand("[数字5][数字5]"), std::string(2, static_cast<char>('0' + replica.Draw(ticks_, 1, 5))));
  EXPECT_EQ(Expand("[数字5][数字6]"), std::to_string(replica.Draw(ticks_, 1, 5)) + "[数字6]");
  EXPECT_EQ(Expand("[数字]"), std::to_string(replica.Draw(ticks_, 1, 99)));
  EXPECT_EQ(Expand("[数字０]"), std::to_string(replica.Draw(ticks_, 1, 0)));   // full-width digits
  EXPECT_EQ(Expand("[数字-5]"), std::to_string(replica.Draw(ticks_, 0, 1)));
  EXPECT_EQ(Expand("[数字x]"), std::to_string(replica.Draw(ticks_, 1, 0)));
  EXPECT_EQ(Expand("[数字７]"), std::to_string(replica.Draw(ticks_, 1, 7)));
  EXPECT_EQ(Expand("[数字12"), "[数字12");  // no closing: drawn, nothing replaced
  replica.Draw(ticks_, 1, 99);
  EXPECT_EQ(Expand("[数字9000]"), std::to_string(replica.Draw(ticks_, 1, 9000)));
}

class PicturesTest : public ReplyTest {
 protected:
  std::string Code(const std::string& file) const { return "[P=" + Plugin().DataFolder + file + "]"; }
};

TEST_F(PicturesTest, AddressesGoIntoTheCodeOnHostsThatFetchThemselves) {
  const std::string avatar = web_.base() + "/headimg_dl?dst_uin=30003&spec=";
  for (std::int32_t host : {kHostVlq, kHostXq, kHostOq, kHostMingQq, kHostSp, kHostEr}) {
    Plugin().HostType = host;
    EXPECT_EQ(Expand("[头像][大头]"), "[P=" + avatar + "100][P=" + avatar + "640]");
    EXPECT_EQ(Expand("[二次元]|[图接口=http://pics.test/a.png]"),
              "[P=" + web_.base() + "/api/api.php]|[P=http://pics.test/a.png]");
  }
  Plugin().HostType = kHostIsky;
  EXPECT_EQ(Expand("[二次元]|[图接口=http://pics.test/a.png]"),
            "[P=" + web_.base() + "/api/api.php,cache=0]|[P=http://pics.test/a.png,cache=0]");
  EXPECT_TRUE(web_.Requests().empty());
}

TEST_F(PicturesTest, HostsThatTakeFilesGetTheDownloadedPicture) {
  web_.Serve("/api/api.php", "random-picture");
  web_.Serve("/pic?id=1", "api-picture");
  web_.Serve("/headimg_dl?dst_uin=30003&spec=100", "small-avatar");
  web_.Serve("/headimg_dl?dst_uin=30003&spec=640", "large-avatar");
  for (std::int32_t host : {kHostTable, kHostMyQq}) {
    Plugin().HostType = host;
    EXPECT_EQ(Expand("[二次元][图接口=" + web_.base() + "/pic?id=1][图接口=other]"),
              Code("二次元.png") + Code("图接口.png") + "[图接口=other]");
    EXPECT_EQ(ReadDataFile("二次元.png"), "random-picture");
    EXPECT_EQ(ReadDataFile("图接口.png"), "api-picture");
    EXPECT_EQ(Expand("[头像][大头]"), Code("头像.png") + Code("大头.png"));
    EXPECT_EQ(ReadDataFile("头像.png"), "small-avatar");
    EXPECT_EQ(ReadDataFile("大头.png"), "large-avatar");
  }
  Plugin().HostType = kHostWx;
  EXPECT_EQ(Expand("[二次元]"), Code("二次元.png"));
}

TEST_F(PicturesTest, WithoutARobotAccountTheWeChatStyleHostGetsTheBuiltInPicture) {
  Plugin().HostType = kHostWx;
  Plugin().RobotAccount = "abc";
  EXPECT_EQ(Expand("[头像]"), Code("头像.png"));
  const std::string picture = ReadDataFile("头像.png");
  EXPECT_EQ(picture, NoAccountPicture());
  EXPECT_EQ(picture.size(), 5161u);
  EXPECT_EQ(picture.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(picture.substr(16, 8), std::string("\0\0\0\x64\0\0\0\x64", 8));  // 100 x 100
  EXPECT_TRUE(web_.Requests().empty());
}

// Mended: a failed download used to leave a code naming an empty file.
TEST_F(PicturesTest, AFailedDownloadLeavesNoPictureCode) {
  Plugin().HostType = kHostMyQq;
  EXPECT_EQ(Expand("a[二次元]b[头像]c[图接口=" + web_.base() + "/gone]d"), "abcd");
  EXPECT_FALSE(DataFileExists("二次元.png"));
  EXPECT_FALSE(DataFileExists("头像.png"));
  EXPECT_FALSE(DataFileExists("图接口.png"));
  EXPECT_EQ(web_.Requests().size(), 3u);
}

using GuildAvatarTest = TableHostTest;

TEST_F(GuildAvatarTest, TheAddressComesFromTheMembersProfile) {
  Plugin().RobotAccount = "20001";
  record_.kind = MessageKind::Channel;
  record_.sender = "60006";
  web_.Serve("/guild/a.png", "guild-avatar");
  fake_.SetAnswer("取频道用户资料#3", "||名字|" + web_.base() + "/guild/a.png|c|d|e");
  EXPECT_EQ(Expand("[头像]"), "[P=" + Plugin().DataFolder + "头像.png,wide=200,high=200,cartoon=false]");
  EXPECT_EQ(ReadDataFile("头像.png"), "guild-avatar");
  EXPECT_EQ(fake_.Calls(), std::vector<FakeCall>{Expect("取频道用户资料", {"20001", "60006", "ptr"})});
  EXPECT_EQ(fake_.LiveBlocks(), 0);  // the profile's texts are freed
}

// Mended: a profile without an address used to be fetched all the same.
TEST_F(GuildAvatarTest, NoAddressNoFetchAndNoFile) {
  record_.kind = MessageKind::ChannelDirect;
  fake_.SetAnswer("取频道用户资料#3", "||名字||c");
  EXPECT_EQ(Expand("[大头]"), "");
  EXPECT_FALSE(DataFileExists("大头.png"));
  EXPECT_TRUE(web_.Requests().empty());
}

using WebTextsTest = ReplyTest;

TEST_F(WebTextsTest, TextApiSendsUtf8AndDecodesTheAnswer) {
  web_.Serve("/t?q=\xE4\xBD\xA0", "\xE5\xA5\xBD[x]\xF0\x9F\x98\x80");
  for (std::int32_t host : {kHostIsky, kHostVlq, kHostMyQq}) {
    Plugin().HostType = host;
    EXPECT_EQ(Expand("<[文接口=" + web_.base() + "/t?q=\\u4F60]>"), "<好[x]\\uD83D\\uDE00>");
  }
  EXPECT_EQ(web_.Targets(), std::vector<std::string>(3, "/t?q=\xE4\xBD\xA0"));
  web_.Serve("/gbk", "\xC4\xE3\xBA\xC3");  // not UTF-8: lost whole
  EXPECT_EQ(Expand("<[文接口=" + web_.base() + "/gbk]>"), "<>");
  EXPECT_EQ(Expand("<[文接口=" + web_.base() + "/t]>[文接口=elsewhere]"), "<>[文接口=elsewhere]");
  EXPECT_EQ(Expand("[文接口=" + web_.base() + "/t"), "[文接口=" + web_.base() + "/t");
}

TEST_F(WebTextsTest, FourTextApisInTheirOrderWithTheirSyntaxEscapes) {
  web_.Serve("/api/ZOQ/GreenTeaSayAPI.php?type=text", "[a]\\");
  web_.Serve("/api/ZOQ/OneSayAPI.php?type=text", "\xE4\xB8\x80[b]");
  web_.Serve("/api/ZOQ/OnePoemsAPI.php?type=text", "[c]");
  web_.Serve("/api/ZOQ/SuckDogAPI.php?type=text", "[d]");
  EXPECT_EQ(Expand("[舔狗]|[诗词]|[一言]|[绿茶]|[绿茶]"),
            "[d]|\\u005bc\\u005d|一\\u005bb\\u005d|\\u005ba\\u005d\\u005c|\\u005ba\\u005d\\u005c");
  EXPECT_EQ(web_.Targets(), (std::vector<std::string>{
                                "/api/ZOQ/GreenTeaSayAPI.php?type=text", "/api/ZOQ/OneSayAPI.php?type=text",
                                "/api/ZOQ/OnePoemsAPI.php?type=text", "/api/ZOQ/SuckDogAPI.php?type=text"}));
}

// Mended: the four web texts used to be fetched for every reply.
TEST_F(WebTextsTest, OnlyTheTextsTheTemplateHoldsAreFetched) {
  web_.Serve("/api/ZOQ/OneSayAPI.php?type=text", "one");
  EXPECT_EQ(Expand("plain"), "plain");
  EXPECT_EQ(Expand("[|]"), "");
  EXPECT_TRUE(web_.Requests().empty());
  EXPECT_EQ(Expand("[一言]!"), "one!");
  EXPECT_EQ(web_.Targets(), (std::vector<std::string>{"/api/ZOQ/OneSayAPI.php?type=text"}));
}

// Mended: text the expansion inserts used to be expanded by every later step.
using InsertedTextTest = ReplyTest;

TEST_F(InsertedTextTest, MessageTextIsNeverReadAsVariables) {
  record_.text = "复读[文接口=" + web_.base() + "/x][二次元][ZOQData][数字5][星期][号码][一言]";
  EXPECT_EQ(Expand("[消息]", "复读"),
            "[文接口=" + web_.base() + "/x][二次元][ZOQData][数字5][星期][号码][一言]");
  EXPECT_TRUE(web_.Requests().empty());
}

TEST_F(InsertedTextTest, PictureAndVoiceCodesInInsertedTextAreBroken) {
  record_.text = "复读[P=C:\\secret.png]&uoS8#V=C:\\a.amr]";
  EXPECT_EQ(Expand("[P=[ZOQData]\\ok.png][消息]", "复读"),
            "[P=" + folder_ + "\\ZOQData\\ok.png]［P=C:\\secret.png]［V=C:\\a.amr]");
  web_.Serve("/w", "[p=C:\\x.png]");
  EXPECT_EQ(Expand("[文接口=" + web_.base() + "/w]"), "［p=C:\\x.png]");
  record_.text = "复读P=C:\\b.png]";
  EXPECT_EQ(Expand("[[消息]", "复读"), "［P=C:\\b.png]");  // a code formed across the seam
}

TEST_F(InsertedTextTest, HostCodesOfLocalFilesInInsertedTextAreBroken) {
  record_.text = "复读[pic=C:\\windows\\win.ini][CQ:image,file=file:///C:/a.png][voi=..\\b.amr]"
                 "[picFile,path=\\\\srv\\c.png][pic={5F3A}.jpg][CQ:image,file=http://x.test/d.png][CQ:image,file=e.image]";
  EXPECT_EQ(Expand("[消息]", "复读"),
            "［pic=C:\\windows\\win.ini]［CQ:image,file=file:///C:/a.png]［voi=..\\b.amr]"
            "［picFile,path=\\\\srv\\c.png][pic={5F3A}.jpg][CQ:image,file=http://x.test/d.png][CQ:image,file=e.image]");
  // The template's own codes stay, and so does a code whose path alone is
  // the template's.
  record_.text = "复读C:\\a.png";
  EXPECT_EQ(Expand("[pic=D:\\b.png][pic=[消息]]", "复读"), "[pic=D:\\b.png]［pic=C:\\a.png]");
}

TEST_F(InsertedTextTest, InsertedTextIsOneQueryValueOfAWebAddress) {
  web_.Serve("/api?msg=a&admin=1#x", "\xE5\xA5\xBD");
  web_.Serve("/api?msg=../../x?y=1 \xE5\xA5\xBD", "\xE5\xA5\xBD");  // the server decodes to UTF-8
  record_.text = "问a&admin=1#x";
  EXPECT_EQ(Expand("[文接口=" + web_.base() + "/api?msg=[消息]]", "问"), "好");
  record_.text = "问../../x?y=1 好";
  EXPECT_EQ(Expand("[文接口=" + web_.base() + "/api?msg=[消息]]", "问"), "好");
  const auto requests = web_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].line, "GET /api?msg=a%26admin%3D1%23x HTTP/1.0");
  EXPECT_EQ(requests[1].line, "GET /api?msg=..%2F..%2Fx%3Fy%3D1%20%E5%A5%BD HTTP/1.0");
  Plugin().HostType = kHostVlq;
  record_.text = "图a&b=/c";
  EXPECT_EQ(Expand("[图接口=http://pics.test/?n=[消息]&k=v]", "图"), "[P=http://pics.test/?n=a%26b%3D%2Fc&k=v]");
}

TEST_F(InsertedTextTest, TemplateVariablesStillTakeInsertedArguments) {
  web_.Serve("/fanyi?msg=hi]there", "\xE5\xA5\xBD");
  record_.text = "翻译hi]there";
  EXPECT_EQ(Expand("[文接口=" + web_.base() + "/fanyi?msg=[消息]]!", "翻译"), "好!");
  EXPECT_EQ(web_.Targets(), (std::vector<std::string>{"/fanyi?msg=hi]there"}));
  Plugin().HostType = kHostVlq;
  EXPECT_EQ(Expand("[图接口=http://pics.test/?n=[号码]]"), "[P=http://pics.test/?n=30003]");
}

}  // namespace
}  // namespace zoq::testing
