// Reply-template expansion: alternatives, every variable per host kind,
// pictures and web texts, with the web services served from this process;
// mute, recall and kick carried out while the template is expanded, here
// through the VLQ host's fake API (each host's calls are in the end-to-end
// tests of the message path).
#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "core/files/ini_items.hpp"
#include "core/program.hpp"
#include "core/random.hpp"
#include "core/reply/actions.hpp"
#include "core/reply/environment.hpp"
#include "core/reply/expand.hpp"
#include "core/reply/no_account_picture.hpp"
#include "core/settings.hpp"
#include "platform/files.hpp"
#include "tests/reply/reply_test_support.hpp"
#include "tests/web/web_server.hpp"

namespace zoq::testing {
namespace {

// A loaded plug-in in a fresh folder, a controlled clock and tick count,
// and the web services served from this process.
class ReplyTest : public ::testing::Test {
 protected:
  ReplyTest() {
    ProgramStart(folder_);
    PluginState& p = Plugin();
    p.HostType = kHostVlq;
    p.SetRobotAccount("10001", false);
    platform::CreateFolder(folder_ + "\\ZOQData");
    platform::CreateFolder(folder_ + "\\ZOQData\\ZOQ-F-关键词");
    p.Change([&](Options& o) { o.DataFolder = DataFolderPaths(folder_ + "\\ZOQData\\ZOQ-F-关键词\\"); });
    reply::Environment& env = reply::Env();
    env.randomPictureApi = web_.base() + "/api/api.php";
    env.textApiHost = env.avatarService = web_.base();
    env.tickCount = [this] { return ticks_; };
    env.now = [this] { return now_; };
  }
  ~ReplyTest() override {
    reply::ResetEnv();
    ProgramExit();
  }
  // Stores `reply` for `keyword` in a library file and expands it for
  // `record_`: the expanded bytes, before any sending.
  std::string Expand(const std::string& reply, const std::string& keyword = "k") {
    WriteIniItem(library_, keyword, std::string(kReplyKey), reply);
    return ExpandReply(record_, library_, keyword).text();
  }
  // A file of the data folder; nothing when there is none.
  static std::optional<std::string> DataFile(const std::string& name) {
    const std::string path = DataFolder() + name;
    if (!platform::FileExists(path)) return std::nullopt;
    return platform::ReadWholeFile(path);
  }

  std::string folder_ = FreshTestRunFolder("reply-test-runs");
  std::string library_ = folder_ + "\\ZOQData\\ZOQ-F-关键词\\SayM.ini";
  MessageRecord record_{MessageKind::Group, "20002", "30003", "k", "7", "8"};
  std::uint32_t ticks_ = 4242;  // what every reseeding reads
  platform::LocalTime now_{2024, 3, 5, 2, 9, 5, 7, 0};
  WebServer web_;
};

// The generator as the expansion must drive it: reseeded from the tick
// count before each draw, the reseeding offset carried on.
struct Replica {
  RandomSource random;
  std::int32_t Draw(std::uint32_t ticks, std::int32_t lo, std::int32_t hi) {
    random.Reseed(ticks);
    return random.Between(lo, hi);
  }
};

using ExpandTest = ReplyTest;

TEST_F(ExpandTest, AlternativesAndNumbersFollowTheGeneratorAndItsReseeding) {
  Replica replica;
  std::set<std::string> seen;
  for (std::uint32_t t = 0; t < 24; ++t) {
    ticks_ = t * 977;
    const std::int32_t piece = replica.Draw(ticks_, 1, 2), number = replica.Draw(ticks_, 1, 9000);
    EXPECT_EQ(Expand("x[数字9000][|]y[数字9000][|]"), (piece == 1 ? "x" : "y") + std::to_string(number));
    seen.insert(Expand("[|]a"));  // a leading separator makes an empty alternative
    replica.Draw(ticks_, 1, 2);
  }
  EXPECT_EQ(seen, (std::set<std::string>{"", "a"}));
  // One number per kind and expansion; the bound read as a whole number.
  const struct {
    const char* variable;
    std::int32_t lo, hi;
  } bounds[] = {{"[数字]", 1, 99}, {"[数字０]", 1, 0}, {"[数字-5]", 0, 1}, {"[数字x]", 1, 0}, {"[数字７]", 1, 7}};
  for (const auto& b : bounds) EXPECT_EQ(Expand(b.variable), std::to_string(replica.Draw(ticks_, b.lo, b.hi)));
  EXPECT_EQ(Expand("[数字5][数字5]"), std::string(2, static_cast<char>('0' + replica.Draw(ticks_, 1, 5))));
  EXPECT_EQ(Expand("[数字5][数字6]"), std::to_string(replica.Draw(ticks_, 1, 5)) + "[数字6]");
  EXPECT_EQ(Expand("[数字12"), "[数字12");  // no closing: drawn, nothing replaced
}

TEST_F(ExpandTest, VariablesOfTheMessageAndTheTime) {
  for (int day = 0; day < 7; ++day) {
    now_.weekday = day;
    EXPECT_EQ(Expand("星期[星期]"), "星期" + std::string("日一二三四五六").substr(2 * day, 2));  // GBK: 2 bytes each
  }
  EXPECT_EQ(Expand("[时间] [日期]|[号码]@[群号]"), "9时5分7秒 2024年3月5日|30003@20002");
  EXPECT_EQ(Expand("[ZOQData]|[ZOQAdmin]|[zoqdata]"), folder_ + "\\ZOQData|" + folder_ + "\\ZOQAdmin|[zoqdata]");
  // 0x81 0x5B is one GBK character whose second byte is "[".
  EXPECT_EQ(Expand("\x81[号码]\x81\x5B[号码]"), "\x81[号码]\x81\x5B" "30003");
  const struct {
    const char* text;
    const char* keyword;
    const char* reply;
    const char* expanded;
    const char* textAfter;  // "[目标]" takes its mention out of the record
  } cases[] = {
      {"打[@123]和[@456]", "k", "[目标]+[目标]", "123+123", "打和[@456]"},
      {"没有人", "k", "<[目标]>", "<>", "没有人"},
      {"复读一下复读", "复读", "[消息]", "一下", "复读一下复读"},
      {"复读一下复读", "复读", "[号码][消息]", "30003一下", "复读一下复读"},  // a variable right before outside text
      {"说[甲]呀[甲]", "&uoS8#甲&uoS9#", "[消息]", "说呀", "说[甲]呀[甲]"},  // the keyword as the message writes it
  };
  for (const auto& c : cases) {
    record_.text = record_.delivered = c.text;
    EXPECT_EQ(Expand(c.reply, c.keyword), c.expanded) << c.text;
    EXPECT_EQ(record_.text, c.textAfter);
  }
  // The exact keyword is the message text itself, even in its stored form
  // or once "[目标]" has changed the text: "[消息]" is empty.
  WriteIniItem(library_, std::string("&uoS8#@1&uoS9#x"), std::string(kReplyKey), std::string("<[目标]|[消息]>"));
  record_.text = record_.delivered = "[@1]x";
  EXPECT_EQ(ExpandReply(record_, library_, "&uoS8#@1&uoS9#x", /*keywordIsMessageText=*/true).text(), "<1|>");
  record_ = {MessageKind::Private, "", "30003"};
  EXPECT_EQ(Expand("[号码]@[群号]"), "30003@");
}

TEST_F(ExpandTest, PictureAddressesGoIntoTheCodeOrAreDownloadedByHost) {
  const std::string avatar = web_.base() + "/headimg_dl?dst_uin=30003&spec=";
  for (std::int32_t host : {kHostVlq, kHostXq, kHostOq, kHostMingQq, kHostSp, kHostEr, kHostIsky}) {
    Plugin().HostType = host;
    const std::string close = host == kHostIsky ? ",cache=0]" : "]";
    EXPECT_EQ(Expand("[头像][大头]|[二次元]|[图接口=http://pics.test/a.png]"),
              "[P=" + avatar + "100][P=" + avatar + "640]|[P=" + web_.base() + "/api/api.php" + close +
                  "|[P=http://pics.test/a.png" + close);
  }
  EXPECT_TRUE(web_.Requests().empty());
  web_.Serve("/api/api.php", "random-picture");
  web_.Serve("/pic?id=1", "api-picture");
  web_.Serve("/headimg_dl?dst_uin=30003&spec=100", "small-avatar");
  web_.Serve("/headimg_dl?dst_uin=30003&spec=640", "large-avatar");
  const std::string large(8 << 20, 'p');  // as large as a picture may be
  web_.Serve("/large.png", large);
  const auto code = [](const char* file) { return "[P=" + DataFolder() + file + "]"; };
  for (std::int32_t host : {kHostTable, kHostMyQq}) {
    Plugin().HostType = host;
    EXPECT_EQ(Expand("[二次元][图接口=" + web_.base() + "/pic?id=1][图接口=other][头像][大头]"),
              code("二次元.png") + code("图接口.png") + "[图接口=other]" + code("头像.png") + code("大头.png"));
    EXPECT_TRUE(DataFile("二次元.png") == "random-picture" && DataFile("图接口.png") == "api-picture" &&
                DataFile("头像.png") == "small-avatar" && DataFile("大头.png") == "large-avatar");
    EXPECT_EQ(Expand("[图接口=" + web_.base() + "/large.png]"), code("图接口.png"));
    EXPECT_TRUE(DataFile("图接口.png") == large);
  }
  // The WeChat-style host without a robot account: the built-in picture.
  Plugin().HostType = kHostWx;
  Plugin().SetRobotAccount("abc", false);
  EXPECT_EQ(Expand("[头像][二次元]"), code("头像.png") + code("二次元.png"));
  const std::string picture = NoAccountPicture();
  EXPECT_EQ(DataFile("头像.png"), picture);
  EXPECT_EQ(picture.size(), 5161u);
  EXPECT_EQ(picture.substr(0, 24), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x64\0\0\0\x64", 24));  // 100 x 100
}

// Mended: a failed download used to leave a code naming an empty file.
TEST_F(ExpandTest, AFailedDownloadLeavesNoPictureCode) {
  Plugin().HostType = kHostMyQq;
  EXPECT_EQ(Expand("a[二次元]b[头像]c[图接口=" + web_.base() + "/gone]d"), "abcd");
  for (const char* file : {"二次元.png", "头像.png", "图接口.png"}) EXPECT_FALSE(DataFile(file)) << file;
  EXPECT_EQ(web_.Requests().size(), 3u);
}

TEST_F(ExpandTest, TextApisSendUtf8AndDecodeTheAnswer) {
  EXPECT_TRUE(ExpandReply(record_, library_, "missing").empty());  // no template: nothing fetched
  EXPECT_EQ(Expand("plain"), "plain");
  EXPECT_EQ(Expand("[|]"), "");
  EXPECT_TRUE(web_.Requests().empty());  // mended: the four web texts used to be fetched for every reply
  web_.Serve("/t?q=\xE4\xBD\xA0", "\xE5\xA5\xBD[x]\xF0\x9F\x98\x80");
  EXPECT_EQ(Expand("<[文接口=" + web_.base() + "/t?q=\\u4F60]>"), "<好[x]\\uD83D\\uDE00>");
  web_.Serve("/gbk", "\xC4\xE3\xBA\xC3");  // not UTF-8: lost whole
  EXPECT_EQ(Expand("<[文接口=" + web_.base() + "/gbk]>[文接口=elsewhere]"), "<>[文接口=elsewhere]");
  EXPECT_EQ(Expand("[文接口=" + web_.base() + "/t"), "[文接口=" + web_.base() + "/t");
  std::vector<std::string> targets{"/t?q=\xE4\xBD\xA0", "/gbk"};
  for (const auto& [api, answer] :
       {std::pair{"GreenTeaSay", "[a]\\"}, {"OneSay", "\xE4\xB8\x80[b]"}, {"OnePoems", "[c]"}, {"SuckDog", "[d]"}}) {
    targets.push_back("/api/ZOQ/" + std::string(api) + "API.php?type=text");
    web_.Serve(targets.back(), answer);
  }
  EXPECT_EQ(Expand("[舔狗]|[诗词]|[一言]|[绿茶]|[绿茶]"),
            "[d]|\\u005bc\\u005d|一\\u005bb\\u005d|\\u005ba\\u005d\\u005c|\\u005ba\\u005d\\u005c");
  EXPECT_EQ(web_.Targets(), targets);
}

// Mended: inserted text used to change the address it went into.
TEST_F(ExpandTest, InsertedTextIsOneQueryValueOfAWebAddress) {
  web_.Serve("/api?msg=a&admin=1#x", "\xE5\xA5\xBD");
  web_.Serve("/api?msg=../../x?y=1 \xE5\xA5\xBD", "\xE5\xA5\xBD");  // the server decodes to UTF-8
  web_.Serve("/fanyi?msg=hi]there", "\xE5\xA5\xBD");
  for (const auto& [text, path] :
       {std::pair{"问a&admin=1#x", "/api"}, {"问../../x?y=1 好", "/api"}, {"问hi]there", "/fanyi"}}) {
    record_.text = text;
    EXPECT_EQ(Expand("[文接口=" + web_.base() + path + "?msg=[消息]]!", "问"), "好!") << text;
  }
  const auto requests = web_.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].line, "GET /api?msg=a%26admin%3D1%23x HTTP/1.0");
  EXPECT_EQ(requests[1].line, "GET /api?msg=..%2F..%2Fx%3Fy%3D1%20%E5%A5%BD HTTP/1.0");
  record_.text = "图a&b=/c";
  EXPECT_EQ(Expand("[图接口=http://pics.test/?n=[消息]&k=v]", "图"), "[P=http://pics.test/?n=a%26b%3D%2Fc&k=v]");
  EXPECT_EQ(Expand("[图接口=http://pics.test/?n=[号码]]"), "[P=http://pics.test/?n=30003]");
}

class ActionsTest : public ReplyTest {
 protected:
  ActionsTest() {
    for (const char* dll : kDlls) Fake(dll).Reset();
  }
  static FakeCall Call(const char* last, const char* function = "Api_Shutup", const char* group = "20002",
                       const char* third = "30003") {
    return {"VLQapi.dll", function, {"10001", group, third, last}};
  }
  static std::vector<FakeCall> Calls() { return Fake("VLQapi.dll").Calls(); }
  static constexpr const char* kDlls[] = {"VLQapi.dll", "OQapi.dll", "SPapi.dll", "ERapi.dll", "MingQQAPI.DLL",
                                          "MyQQApi.DLL"};
};

TEST_F(ActionsTest, OneMutePerExpansionWithTheFirstDurationsLowBits) {
  EXPECT_EQ(Expand("[禁言5][禁言10][禁言5]"), "[禁言10]");
  EXPECT_EQ(Expand("[禁言600]"), "");
  EXPECT_EQ(Expand("[禁言4294967356]"), "");  // only the low 32 bits
  EXPECT_EQ(Expand("[禁言x][禁言"), "[禁言");  // no number: 0
  EXPECT_EQ(Expand("[禁言"), "[禁言");         // no closing: 0, nothing removed
  MuteSender(record_, 2147483648LL);
  EXPECT_EQ(Calls(), (std::vector<FakeCall>{Call("5"), Call("600"), Call("60"), Call("0"), Call("0"), Call("-2147483648")}));
  Fake("VLQapi.dll").Reset();
  EXPECT_EQ(Expand("套餐[禁言[数字100]]"), "套餐");  // a drawn number written in the template
  ASSERT_EQ(Calls().size(), 1u);
  const int seconds = std::stoi(Calls()[0].args.back());
  EXPECT_TRUE(seconds >= 1 && seconds <= 100) << seconds;
}

TEST_F(ActionsTest, ActionsRunOnAnyKindWhenTheyAreReachedInTheChosenAlternative) {
  record_ = {MessageKind::Private, "", "30003", "k", "7", "8"};
  EXPECT_EQ(Expand("[撤回]"), "");  // alone, it leaves nothing to send
  EXPECT_EQ(Calls(), std::vector<FakeCall>{Call("7", "Api_WithdrawMsg", "", "8")});
  Fake("VLQapi.dll").Reset();
  for (std::uint32_t t = 0; t < 16; ++t) {
    ticks_ = t * 313;
    Expand("[踢出][|]stay");
  }
  EXPECT_GT(Calls().size(), 0u);
  EXPECT_LT(Calls().size(), 16u);
}

TEST_F(ActionsTest, WithoutAnActiveHostNothingIsCalledOrMentioned) {
  for (std::int32_t host : {std::int32_t{kHostNone}, std::int32_t{2}}) {
    Plugin().HostType = host;
    EXPECT_EQ(Expand("[@][禁言][撤回][踢出]x"), "x");  // no mention either
    for (const char* dll : kDlls) EXPECT_TRUE(Fake(dll).Calls().empty()) << dll;
  }
}

}  // namespace
}  // namespace zoq::testing
