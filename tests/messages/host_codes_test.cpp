// Host codes. In this process: the hosts' codes folded in on the way in,
// and on the way out the one place where written bytes become each host's
// codes and outside bytes stay text. Through the real DLL, every host:
// started, it answers exact and fuzzy keywords in a group and in private
// with its own send call, and the owner's template with its codes and
// actions; outside text repeated by a fuzzy "[消息]" or by a text service
// that echoes it sends no live code, runs no action and makes no request.
#include <gtest/gtest.h>

#include <utility>

#include "core/reply/sending.hpp"
#include "tests/messages/session.hpp"
#include "text/text.hpp"
#include "tests/web/web_server.hpp"

namespace zoq::testing {
namespace {

using reply::ReplyText;

TEST(NormalizeIncomingText, FoldsEachHostCodeIntoTheNeutralOneInOrder) {
  const struct {
    const char* in;
    std::int32_t host;
    const char* out;
  } cases[] = {
      {"你好\r\n世界", kHostVlq, "你好[N]世界"},    {"\\u005b测试\\U005D", kHostVlq, "[测试]"},
      {"[at=10001] 你好", kHostVlq, "[@10001] 你好"}, {"[IR:at=10001][AT=1]", kHostVlq, "[@10001][@1]"},
      {"[CQ:AT,QQ=10001]早", kHostVlq, "[@10001]早"}, {"&uoS8#测试&UOS9#", kHostVlq, "[测试]"},
      {"\\u005bat=10001]", kHostVlq, "[@10001]"},    // an escaped bracket is undone before the openers fold
      {"&uoS8#at=10001]", kHostVlq, "[at=10001]"},   // the stored bracket comes last
      {"&#91;x&#93;", kHostVlq, "&#91;x&#93;"},     {"&#91;CQ:at,qq=1&#93;", kHostIsky, "[@1]"},  // ISky's own escapes
      {"\x81[at=1]", kHostVlq, "\x81[at=1]"},        // 0x81 0x5B is one GBK character
      {"一\r二\n三\r\n四\n\r\n", kHostVlq, "一\r二\n三[N]四\n[N]"},  // a CR or LF alone is no line break here
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeIncomingText(c.in, c.host), c.out) << c.in;
}

// The codes a host that reads bytes finds in `sent`: each "[" byte with the
// first "]" byte after it and no "[" between, whose body begins, blanks
// (control bytes, spaces, full-width spaces) skipped, with "@" or with ASCII
// letters and "=", "," or ":" (every host's
// codes do); on the WeChat-style host (`wx`) also each "{提示}".
std::vector<std::string> CodesReadByBytes(const std::string& sent, bool wx) {
  const auto isCode = [](std::string_view body) {
    std::size_t first = 0;
    while (first < body.size() && (static_cast<unsigned char>(body[first]) <= ' ' || body.substr(first, 2) == "\xA1\xA1")) {
      first += body[first] == '\xA1' ? 2 : 1;
    }
    if (first == body.size() || body[first] == '@') return first != body.size();
    const std::size_t end = body.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ \t", first);
    return end != first && end != std::string_view::npos && std::string_view("=,:").find(body[end]) != std::string_view::npos;
  };
  std::vector<std::string> codes;
  for (std::size_t i = 0, open = std::string::npos; i < sent.size(); ++i) {
    if (sent[i] == '[') open = i;
    if (sent[i] == ']' && open != std::string::npos && isCode(std::string_view(sent).substr(open + 1, i - open - 1))) {
      codes.push_back(sent.substr(open, i + 1 - open));
    }
    if (sent[i] == ']') open = std::string::npos;
  }
  for (std::size_t at = 0; wx && (at = sent.find("{提示}", at)) != std::string::npos; ++at) codes.push_back("{提示}");
  return codes;
}

// Pieces alternate: written, outside, written, ... With `asTheyAre`, the
// outside bytes as they are: a piece may end in a lead byte alone, which the
// owner's byte after it would complete.
ReplyText Pieces(std::initializer_list<const char*> pieces, bool asTheyAre = false) {
  ReplyText t;
  bool outside = false;
  for (const char* p : pieces) {
    const bool piece = std::exchange(outside, !outside);
    if (piece && !asTheyAre) t += ReplyText::Outside(p);
    else t.Append(p, piece ? ReplyText::Origin::Outside : ReplyText::Origin::Written);
  }
  return t;
}
ReplyText RawPieces(std::initializer_list<const char*> pieces) { return Pieces(pieces, true); }

TEST(ToHostCodes, WrittenBytesMakeTheHostsCodesOutsideBytesStayText) {
  const struct {
    ReplyText text;
    std::int32_t host;
    const char* sent;
  } cases[] = {
      {Pieces({"一[N]二[n]&uoS8#x&uoS9#&UOS8#[@10001]"}), kHostVlq, "一\r\n二[n][x]&UOS8#[@10001]"},
      {Pieces({"\x81[N]\x81[P=a]"}), kHostVlq, "\x81[N]\x81[P=a]"},
      // ISky chooses a web or a file code for each code by its own path.
      {Pieces({"见 http://x.cn [P=C:\\a.png][p=https://p.cn/1.jpg][V=HTTP://q.cn/2.mp3][P=httpd.png]"}), kHostIsky,
       "见 http://x.cn [CQ:image,file=file:///C:\\a.png][CQ:image,file=https://p.cn/1.jpg]"
       "[CQ:record,file=HTTP://q.cn/2.mp3][CQ:image,file=file:///httpd.png]"},
      {Pieces({"[P=a.png][V=b.amr]"}), kHostTable, "[picFile,path=a.png][AudioFile,path=b.amr]"},
      {Pieces({"[P=a.png]"}), kHostNone, "[P=a.png]"},
      {Pieces({"&uoS", "8#x"}), kHostVlq, "&uoS8#x"},  // a stored bracket not wholly written stays as it is
      // A written bracket opens a code only under a written name...
      {Pieces({"[@", "30001", "][CQ:at,qq=", "30001", "]"}), kHostIsky, "[@30001][CQ:at,qq=30001]"},
      {Pieces({"[", "@all", "][", "pic=http://x.cn/a.png", "]"}), kHostVlq, "［@all]［pic=http://x.cn/a.png]"},
      {Pieces({"[P", "=a.png", "]"}), kHostVlq, "［P=a.png]"},
      {Pieces({"[CQ", ":image,file=http://x.cn/a.png", "][pic", "_a=1", "]"}), kHostIsky,
       "&#91;CQ:image,file=http://x.cn/a.png]&#91;pic_a=1]"},
      // ... and none whose outside bytes name a file of this machine in any key.
      {Pieces({"[pic=", " C:\\a.png", "][P=", "..\\b.png", "][P=", "http://x.cn/?a=1", "]"}), kHostVlq,
       "［pic= C:\\a.png]［P=..\\b.png][pic=http://x.cn/?a=1]"},
      {Pieces({"[CQ:image,file=", "e.image,type=show,file= file:///C:/x", "]"}), kHostIsky,
       "&#91;CQ:image,file=e.image,type=show,file= file:///C:/x]"},
      {Pieces({"[P=C:\\a.png]"}), kHostVlq, "[pic=C:\\a.png]"},
      {Pieces({"[[哈哈]][a[P=b]"}), kHostVlq, "[[哈哈]][a[pic=b]"},  // the owner's brackets as written
      // A lead byte alone goes out as "?": inert where outside text is it or the byte after it.
      {Pieces({"[P=C:\\pics\\", "cat\x81" "0\x81" "0", "]"}), kHostVlq, "［P=C:\\pics\\cat\x81" "0\x81" "0]"},
      {Pieces({"[V=C:\\pics\\\x81", "0", "]"}), kHostTable, "［V=C:\\pics\\\x81" "0]"},
      {Pieces({"[V=C:\\pics\\\x81" "0", "a", "]"}), kHostTable, "[AudioFile,path=C:\\pics\\\x81" "0a]"},
      // No character of outside text's byte and the owner's: the lead byte
      // goes out as "?", the owner's byte after it as the owner's.
      {RawPieces({"", "a\x81", "{提示}"}), kHostWx, "a?{提示}"},
      {RawPieces({"", "a\x81", "[P=http://x.cn/a.png]"}), kHostVlq, "a?[pic=http://x.cn/a.png]"},
      {RawPieces({"[P=http://x.cn/", "\x81", "]"}), kHostVlq, "[pic=http://x.cn/?]"},
      {RawPieces({"a\x81", "[pic=C:/w.ini]"}), kHostVlq, "a?［pic=C:/w.ini］"},
      {RawPieces({"\x81", "A"}), kHostVlq, "?A"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToHostCodes(c.text, c.host), c.sent) << c.text.text();
  // A picture the host delivered, by its own id, passes from the message
  // where the message brought it, its "]" too.
  const ReplyText message = ReplyText::Message("[pic={5F3A}.jpg][CQ:image,file=e.image,type=show][pic=a..b]");
  EXPECT_EQ(ToHostCodes(message, kHostVlq, "x[pic={5F3A}.jpg]"), "[pic={5F3A}.jpg]［CQ:image,file=e.image,type=show］［pic=a..b］");
  EXPECT_EQ(ToHostCodes(ReplyText::Message("[pic={5F3A}.jpg") + ReplyText::Written("]"), kHostVlq, "[pic={5F3A}.jpg]"),
            "［pic={5F3A}.jpg]");
  EXPECT_EQ(ToHostCodes(message, kHostIsky, "[CQ:image,file=e.image,type=show]"),
            "&#91;pic={5F3A}.jpg&#93;[CQ:image,file=e.image,type=show]&#91;pic=a..b&#93;");
}

// The owner's "[@][P=C:\a.png]" as each host receives it, and the calls of
// "[禁言][撤回][踢出]" in group 111, with the message's ids.
std::pair<std::string, std::vector<FakeCall>> OwnTemplate(const HostCase& hc) {
  const std::string name = hc.name;
  if (name == "ISky") {
    return {"[CQ:at,qq=30001][CQ:image,file=file:///", {IskyCall("Api_SetGroupBan", {"111", kOwner, "60"}),
            IskyCall("Api_DeleteMsg", {"7"}), IskyCall("Api_SetGroupKick", {"111", kOwner, "0"})}};
  }
  if (name == "Table") {
    return {"[@30001][picFile,path=", {TableCall("禁言群成员", {kRobot, "111", kOwner, "60"}),
            TableCall("撤回消息_群聊", {kRobot, "111", "9876543210123", "-5"}),
            TableCall("删除群成员", {kRobot, "111", kOwner, "0"})}};
  }
  if (name == "WX") return {"{提示} [pic=", {WxCall(false, "RemoveGroupMember", {"111", kOwner})}};
  const bool xq = name == "XQ", at = name == "OQ" || name == "SP" || name == "ER";
  const auto call = [&](const std::string& function, std::vector<std::string> args) {
    if (xq) args.insert(args.begin(), kXqAuthIdHex);
    return FakeCall{hc.apiDll, (xq ? "S3_" : "") + function, std::move(args)};
  };
  return {std::string(at ? "[at=30001]" : "[@30001]") + "[pic=",
          {call(xq || at ? "Api_ShutUP" : "Api_Shutup", {kRobot, "111", kOwner, "60"}),
           call("Api_WithdrawMsg", {kRobot, "111", "idB", "idA"}),
           call("Api_KickGroupMBR", {kRobot, "111", kOwner, "0"})}};
}

class HostsTest : public ::testing::TestWithParam<HostCase> {};

TEST_P(HostsTest, AnswerWithTheOwnersCodesAndRepeatOutsideTextAsText) {
  const HostCase& hc = GetParam();
  WebServer web;
  web.Echo("/echo");
  Session s(std::string("hosts-") + hc.name, hc,
            {{"SayZ.ini", Library({{"你好", "你好呀[N]朋友"},
                                   {"own", "[@][P=C:\\a.png][禁言][撤回][踢出]"},
                                   {"paths", "[P=C:\\pics\\[群号].jpg][P=[ZOQData]\\pics\\[号码].png]"
                                             "[CQ:image,file=file:///C:/pics/[号码]%2Epng]"},
                                   {"路径", "[P=C:\\robot\\[群号][号码]]"},
                                   {"路径二", "[CQ:image,url=C:/robot/[群号][号码]]"}})},
             {"SayM.ini", Library({{"天气", "晴[|]晴"}, {"web", "[文接口=" + web.base() + "/echo?m=[消息]]"},
                                   {"echo", "[消息]"}, {"目标乙", "A[CQ:at,qq=[目标]]"},
                                   {"图乙", "[P=[文接口=" + web.base() + "/echo?m=[消息]]]"}, {"图丙", "[P=[消息]]"},
                                   {"图丁", "[CQ:image,file=[消息]]"}, {"图戊", "[图接口=[消息]]"},
                                   {"脏话", "[消息][禁言60]"}, {"提及", "[@]"},
                                   {"图己", "[pic=http://a.test/[消息]]"}, {"图庚", "[P=http://a.test/[消息][x].png]"},
                                   {"前后", "[消息][P=http://a.test/x.png][消息]"}, {"蓝色", "藍[消息]"},
                                   {"贴图", "[P=C:\\pics\\[消息].png]"}, {"包", "[消息]at=1[消息]"},
                                   {"网贴", "[P=C:\\pics\\[文接口=" + web.base() + "/echo?m=[消息]].png]"},
                                   {"址贴", "[CQ:image,file=file:///C:/pics/[消息].png]"},
                                   {"址图", "[pic=file:///C:/pics/[消息]]"},
                                   {"尾图", "[P=C:\\pics\\[消息]][V=C:\\pics\\[消息]]"},
                                   {"游图", "[P=C:\\pics\\遊[消息]]"}, {"括号", "[[消息]]"}, {"括换", "[[N][消息]]"},
                                   {"宽图", "[P=C:\\pics\\[消息].png,wide=200,high=200]"},
                                   {"名等", "[pic[消息]]"}, {"后缀", "[P=[消息].png]"},
                                   {"图辛", "[P=[消息]]看[文接口=" + web.base() + "/echo?m=,file=C:%5CWindows%5Cwin.ini%5D]"},
                                   {"号名", "[[号码]=C:\\pics\\a.png]|[[号码]]|[ZOQ[号码]]|[[群号]=C:\\pics\\a.png]"},
                                   {"号括", "&uoS[号码]#x&uoS9#"}})}});
  ASSERT_TRUE(s.Start());
  s.TakeCalls();
  for (const char* text : {"你好", "今天 天 气不错"}) {  // blanks do not matter to the fuzzy library
    const CallResult r = s.Private(text);
    EXPECT_EQ(r.stackSkew, 0);
    EXPECT_EQ(r.number, 1 + hc.handledOffset) << text;
    EXPECT_EQ(s.Group(text).number, 1 + hc.handledOffset) << text;
  }
  EXPECT_EQ(s.TakeCalls(), (std::vector<FakeCall>{hc.sendCall(1, "", kOwner, "你好呀\r\n朋友"),
                                                  hc.sendCall(2, "111", kOwner, "你好呀\r\n朋友"),
                                                  hc.sendCall(1, "", kOwner, "晴"),
                                                  hc.sendCall(2, "111", kOwner, "晴")}));
  s.Group("own");
  const auto [codes, actions] = OwnTemplate(hc);
  std::vector<FakeCall> calls = actions;
  calls.push_back(hc.sendCall(2, "111", kOwner, codes + "C:\\a.png]"));
  EXPECT_EQ(s.TakeCalls(), calls);

  // The owner's local paths hold the numbers the plug-in puts in, and stay
  // live; so does the owner's own escape in a file address.
  const std::string name = hc.name;
  const bool isky = name == "ISky", wx = name == "WX", table = name == "Table", commas = isky || table;
  const std::string data = s.DataFile("");
  const std::string fileCode = isky ? "[CQ:image,file=file:///" : table ? "[picFile,path=" : "[pic=";
  const std::string folder = data.substr(0, data.rfind("\\ZOQ-F-"));
  const auto paths = [&](const std::string& group, const std::string& sender) {
    return fileCode + "C:\\pics\\" + group + ".jpg]" + fileCode + folder + "\\pics\\" + sender +
           ".png][CQ:image,file=file:///C:/pics/" + sender + "%2Epng]";
  };
  s.Group("paths");
  EXPECT_EQ(s.TakeSent(), Sent{paths("111", kOwner)});
  // So are ids of letters (the WeChat-style host's wxid and chat rooms) on
  // the hosts that hand them over as texts; an id that steps up stays
  // outside text, and no path of the owner's takes it.
  if (!isky && !table) {
    s.Group("paths", "5@chatroom", "wxid_a-b.C");
    EXPECT_EQ(s.TakeSent(), Sent{paths("5@chatroom", "wxid_a-b.C")});
    s.Group("paths", "..");  // "C:\pics\...jpg" steps nowhere
    EXPECT_EQ(s.TakeSent(), Sent{paths("..", kOwner)});
    // The finished name, not each id: none that Windows opens as another
    // file, in a file's key or another's, after "\\" or "/".
    const struct {
      const char *group, *sender;
      bool live;
    } names[] = {{".", ".", false},  {"abc", ".", false}, {"co", "N.png", false}, {"nu", "L", false},
                 {"lpt", "9", false}, {"com1", "0", true}, {"a", ".b", true}, {"a", "b\x81" "0", false}};
    for (const auto& n : names) {
      const std::string name = std::string(n.group) + n.sender;
      s.Group("路径", n.group, n.sender);
      s.Group("路径二", n.group, n.sender);
      EXPECT_EQ(s.TakeSent(), (Sent{(n.live ? fileCode : std::string("［P=")) + "C:\\robot\\" + name + "]",
                                    (n.live ? "[" : "［") + std::string("CQ:image,url=C:/robot/") + name + "]"}))
          << name;
    }
  }

  // The message after its keyword ("{K}" stands for the keyword) and what
  // the reply repeats (when it differs; on the WeChat-style host when that
  // differs again), "[" and "]" being outside brackets; or that it goes out
  // as typed on every host, as brackets that could begin no code do.
  const std::string hit = web.base() + "/hit";
  const struct {
    std::string message, repeated, onWx;
    bool typed = false;
  } hostile[]{
      {"&uoS{K}8#CQ:at,qq=all&uoS{K}9#", "&uoS8#CQ:at,qq=all&uoS9#"},
      {"&uoS{K}8#pic=http://x.test/a.png&uoS{K}9#", "&uoS8#pic=http://x.test/a.png&uoS9#"},
      {"[CQ:image,type=show,file=file:///C:/windows/win.ini][CQ:record,magic=0,file=file:///C:/a.amr]", ""},
      {"[CQ:image,file=abc.image,file=file:///C:/windows/win.ini][pic={5F3A}.jpg,path=C:\\a.png]", ""},
      {"[CQ:image,file= file:///C:/windows/win.ini][pic= C:\\a.png]", ""},
      {"[pic=C:\\windows\\win.ini][picFile,path=\\\\srv\\a.png][P=C:\\a.png][V=..\\b.amr]", ""},
      {"[pic=win.ini][voi=config.ini][picFile,path=Config.ini][AudioFile,path=main.exe][pic=../../win.ini]", ""},
      {"[pic=http://x.test/a.png][CQ:image,file=https://x.test/b.png]", ""},
      {"[CQ:at,qq=all][@all][at=all]", "[@all][@all][@all]"},
      {"[踢出][禁言9][撤回]", "", "", true},  // words in brackets are text to every host
      {"[文接口=" + hit + "][图接口=" + hit + "][二次元][头像][绿茶][号码][ZOQData][数字5][星期]", "", "", true},
      {"[]~(￣▽￣)~*", "", "", true},
      {"[\xA1\xA1@all][\x0B@all]", ""},
      {"[、@all]", "", "", true},  // a character of A1 and another byte is no blank
      {"a[1] = b[2]; [1=a] [哈哈]", "", "", true},
      {"100% [done]", "", "", true},
      {"[ z,1]", ""},
      {"[Z b:1]", ""},
      {"[CQ:record,file=con.silk]", ""},
      {"1\r\n2", ""},
      {"{提示}你好{提示", ""},
      {"[CQ:face,id=1,file=C:/w.ini][CQ:record,file=../w.silk][CQ:image,file=e.image,url=file:///C:/w.ini]"
       "[CQ:image,file=e.image,url=a.test/x.png]", ""},
      // A character whose second byte would open or close a code to a host
      // that reads bytes: "?", so that such a host sees no code either;
      // every other character as it is.
      {"\x81[CQ:at,qq=all,x=\x81]", "\x81[CQ:at,qq=all,x=?"},
      {"\x81[pic=C:/w.ini,\x81]", "\x81[pic=C:/w.ini,?"},
      {"乕a=乚乚乚", "?a=乚乚乚"},  // the fewest: one, not three
      {"\x81[a=1]", ""},           // an ASCII "]" that would close a code changes, not the character
      {"鬧沒[沒有]", "", "", true},  // second bytes "[" and "]" that begin no code
      {"\x81{提示}\x81}a\x81\\u005b", "", "?提示}\x81}a\x81\\u005b"},
      // A "{" that is a character of its own after one of one byte, and the second byte of 藍.
      {"a{提示}藍提示}", "", "a｛提示｝?提示}"},
      {"复读沒問題，運氣好，請看標題：聖誕節藍色郵件", ""},
      {"遊戲沒問題", "", "", true},
  };
  const std::string open = isky ? "&#91;" : "［", close = isky ? "&#93;" : "］";
  const auto brackets = [&](const std::string& t) {
    return text::ReplaceAll(text::ReplaceAll(t, "[", open), "]", close);
  };
  const auto inert = [&](const std::string& t) {
    return brackets(wx ? text::ReplaceAll(t, "{提示}", "｛提示｝") : t);
  };
  // A picture the host delivered, by its own id, is repeated from the
  // message as it came, never from a web answer.
  const std::string delivered = isky ? "[CQ:image,file=5f3a01.image]" : "[pic={5F3A-01}.jpg]";
  const bool repeats = !wx && !table;
  std::string sent;
  const auto expectSent = [&](const std::string& message, const std::string& expected,
                              std::vector<FakeCall> before = {}) {
    EXPECT_EQ(s.Group(message).number, 1 + hc.handledOffset) << message;
    calls = s.TakeCalls();
    ASSERT_EQ(calls.size(), before.size() + 1) << message;  // no other action
    EXPECT_EQ(std::vector<FakeCall>(calls.begin(), calls.end() - 1), before) << message;
    EXPECT_TRUE(IsSend(hc, calls.back(), &sent)) << message;
    EXPECT_EQ(sent, expected) << message;
  };
  for (const std::string keyword : {"echo", "web"}) {
    for (const auto& [message, repeated, onWx, typed] : hostile) {
      expectSent(keyword + text::ReplaceAll(message, "{K}", keyword),
                 typed ? message : wx && !onWx.empty() ? onWx : inert(repeated.empty() ? message : repeated));
      EXPECT_EQ(CodesReadByBytes(sent, wx), std::vector<std::string>{}) << message;
    }
    const bool repeated = repeats && keyword == "echo";
    expectSent(keyword + delivered, repeated ? delivered : inert(delivered));
    // Typed with escapes, it is the chat user's text.
    expectSent(keyword + "\\u005b" + delivered.substr(1, delivered.size() - 2) + "\\u005d", inert(delivered));
    // A code with a "[" inside is no picture of the host's.
    expectSent(keyword + "[pic={5F3A}.jpg" + delivered, open + "pic={5F3A}.jpg" + (repeated ? delivered : inert(delivered)));
    // ISky's own faces, voices and pictures with an address, as delivered;
    // the WeChat-style host's emoticons, words in brackets, on every host.
    const std::string own = "[CQ:face,id=14][CQ:record,file=5f3a02.silk][CQ:image,file=5f3a03.image,url=https://a.test/0?a=1]";
    if (isky) expectSent(keyword + own, repeated ? own : inert(own));
    const std::string words = "你好[微笑][呲牙]";
    expectSent(keyword + words + "[OK][沒]", words + "[OK][沒]");
  }
  const std::size_t asked = std::size(hostile) + (isky ? 5 : 4);
  EXPECT_EQ(web.Targets().size(), asked);
  for (const std::string& target : web.Targets()) EXPECT_TRUE(target.starts_with("/echo?m=")) << target;

  // The owner's codes around outside text: a code's extent is the owner's
  // brackets'; outside text gives a number to a mention and a web address
  // to a picture, nothing else.
  const std::string picture = isky ? "[CQ:image,file=" : table ? "[picFile,path=" : "[pic=";
  const auto sticker = [&](const std::string& name, bool live) {
    return std::pair{"贴图" + name, (live ? fileCode : open + "P=") + "C:\\pics\\" + name + ".png]"};
  };
  // A lead byte before a byte that is no trail byte stands alone, as Windows
  // reads it: the "/" or ":" after it counts (ISky's event, read the same
  // way, brings the lead byte as "?").
  const auto loneLead = [&](const std::string& name) {
    const std::string shown = isky ? text::ReplaceAll(name, "\x81", "?") : name;
    return std::pair{"贴图" + name, open + "P=C:\\pics\\" + shown + ".png]"};
  };
  // The name as the owner's picture and voice paths end in it, and as it
  // arrives (ISky brings a lead byte alone as "?").
  const std::string voiceCode = isky ? "[CQ:record,file=file:///" : table ? "[AudioFile,path=" : "[voi=";
  const auto ending = [&](const std::string& name, bool live, std::string shown = "") {
    if (shown.empty()) shown = name;
    return std::pair{"尾图" + name, live ? fileCode + "C:\\pics\\" + shown + "]" + voiceCode + "C:\\pics\\" + shown + "]"
                                         : open + "P=C:\\pics\\" + shown + "]" + open + "V=C:\\pics\\" + shown + "]"};
  };
  const std::vector<std::pair<std::string, std::string>> owners{
      {"目标乙&uoS8#@all&uoS9#", "A[CQ:at,qq=]"},
      {"目标乙 &#91;@all&#93;", "A[CQ:at,qq=]"},
      {"目标乙\\u005b@123]", "A[CQ:at,qq=]"},
      {"目标乙[@1,qq=all][CQ:at,qq=123]", "A[CQ:at,qq=123]"},
      {"图乙http://a.test/x.png]x,file=file:///C:/w.ini", open + "P=http://a.test/x.png" + close + "x,file=file:///C:/w.ini]"},
      {"图乙http://a.test/x.png,url=../../w.ini", open + "P=http://a.test/x.png,url=../../w.ini]"},
      {"图乙win.ini", open + "P=win.ini]"},
      {"图乙http://a.test/x.png", picture + "http://a.test/x.png]"},
      {"图丙http://a.test/x.png]x,file=file:///C:/w.ini", open + "P=http://a.test/x.png" + close + "x,file=file:///C:/w.ini]"},
      {"图丙C:\\w.ini", open + "P=C:\\w.ini]"},
      {"图丁win.ini", open + "CQ:image,file=win.ini]"},
      {"图丁http://a.test/y.png,file=C:/w.ini", open + "CQ:image,file=http://a.test/y.png,file=C:/w.ini]"},
      {"图丁http://a.test/y.png,audio=win.ini", open + "CQ:image,file=http://a.test/y.png,audio=win.ini]"},
      {"图丁http://a.test/y.png,url=C:/w.ini", open + "CQ:image,file=http://a.test/y.png,url=C:/w.ini]"},
      {"图丁http://a.test/y.png,url=D:", open + "CQ:image,file=http://a.test/y.png,url=D:]"},
      // The owner's "]" closes the code, never a second one that outside
      // text opens with a character whose second byte is "[".
      {"图丙http://a.test/a\x81]\x81[pic=C:/w.ini", picture + "http://a.test/a??pic=C:/w.ini]"},
      {"图丁http://a.test/a\x81]\x81[pic=C:/w.ini", "[CQ:image,file=http://a.test/a??pic=C:/w.ini]"},
      // Blanks around an outside address: the web code, as the check saw it,
      // the blanks left out.
      {"图丙 http://a.test/x.png", picture + "http://a.test/x.png]"},
      {"图丙\thttp://a.test/x.png", picture + "http://a.test/x.png]"},
      {"图丙\r\nhttp://a.test/x.png", picture + "http://a.test/x.png]"},
      {"图丙[N]http://a.test/x.png\t", picture + "http://a.test/x.png]"},
      {"图丁 http://a.test/y.png", "[CQ:image,file=http://a.test/y.png]"},
      // A lead byte alone before the blanks left out: "?", never the first
      // byte of a character with the owner's "]" (the text after that "]"
      // could then stand in the code).
      {"图辛 http://e.test/\xD6 ", picture + "http://e.test/?]看,file=C:\\Windows\\win.ini]"},
      {"图丁 http://a.test/\xFE\r\n", "[CQ:image,file=http://a.test/?]"},
      // No code whose name outside text begins after the owner's "[",
      // whatever blanks stand before it.
      {"括号\r\n@all", open + "\r\n@all]"}, {"括号\x0B@all", open + "\x0B@all]"},
      {"括号\xA1\xA1@all", open + "\xA1\xA1@all]"}, {"括换@all", open + "\r\n@all]"}, {"括号、@all", "[、@all]"},
      // Where the host splits a code at commas, none from outside text; the
      // owner's keep working.
      {"宽图cat", fileCode + "C:\\pics\\cat.png,wide=200,high=200]"},
      {"宽图a,wide=1", (commas ? open + "P=" : fileCode) + "C:\\pics\\a,wide=1.png,wide=200,high=200]"},
      {"图丙http://a.test/x.png,wide=1", (commas ? open + "P=" : picture) + "http://a.test/x.png,wide=1]"},
      // The address checked is the one the host reads, to the code's "]" or
      // to its comma: the blanks before the comma stay where they are in it.
      {"图乙 http://a.test/a.png ,wide=1",
       commas ? open + "P= http://a.test/a.png ,wide=1]" : picture + "http://a.test/a.png ,wide=1]"},
      {"图丙\thttp://a.test/x.png\t,wide=1\t",
       commas ? open + "P=\thttp://a.test/x.png\t,wide=1\t]" : picture + "http://a.test/x.png\t,wide=1]"},
      {"图丙http://a.test/a.png,..\\..\\w.ini", open + "P=http://a.test/a.png,..\\..\\w.ini]"},
      // A path from the "=" on, the blanks after it too: none of outside
      // blanks alone, none that outside blanks begin.
      {"图丙\x0B\x0C", open + "P=\x0B\x0C]"}, {"后缀\x0B\x0C", open + "P=\x0B\x0C.png]"},
      // The "=" after the owner's name is the owner's too.
      {"名等=http://a.test/x.png", open + "pic=http://a.test/x.png]"},
      // A line break only where the owner wrote all of "[N]".
      {"图己x[N", "[pic=http://a.test/x" + open + "N]"},
      // No code with another written "[" in it.
      {"图庚a", open + "P=http://a.test/a[x].png]"},
      // A second byte backslash is text; "[" or "]" opens or closes nothing here.
      {"图丙http://a.test/運動.png", picture + "http://a.test/運動.png]"},
      {"前后沒遊", "沒遊" + picture + "http://a.test/x.png]沒遊"},
      // The owner's second byte "{" before outside "提示}".
      {"蓝色提示}", wx ? "藍提示｝" : "藍提示}"},
      // Outside text in the owner's local path, read whole as the host reads
      // it, names one plain file in the owner's folder; ISky decodes "%".
      sticker("cat", true), sticker("猫", true), sticker("a b", true), sticker("%2e%2e", !isky),
      sticker("..", false), sticker("x.", false), sticker("a\\b", false), sticker(",\\..\\..\\windows\\win", false),
      sticker("con", false), sticker("con ", false), sticker("a:b", false),
      loneLead("\x81/nul"), loneLead("\x81/x"), loneLead("x\x81/con"), loneLead("\x81:x"),
      // The name as it is sent: none that ends in a control byte, none with
      // a character that goes out as "?" (a second byte "[" or "]", or "{"
      // where a code in braces begins).
      ending("cat", true), ending("cat\t", false), ending("cat\x0B", false), ending("cat\x0C", false),
      ending("cat\r", false, table ? "cat\r\n" : ""), ending("cat\n", false, table ? "cat\r\n" : ""),
      ending("cat\r\n", false), ending("\x81[", false), ending("x\x81[", false), ending("\x81[\x81]", false),
      ending("\x81&uoS8#", false, isky ? "?[" : "\x81["), ending("\x81\r\n", false, isky ? "?\r\n" : ""),
      ending("\x81{提示}", !wx, wx ? "?提示}" : ""), ending("cat\x81" "0\x81" "0", false, isky ? "cat?0?0" : ""),
      {"游图戲", fileCode + "C:\\pics\\遊戲]"},  // the owner's 遊 (second byte "[") is the owner's
      // The console's devices, with any extension.
      sticker("CONIN$", false), sticker("conout$", false), sticker("CoNiN$.txt", false),
      // ISky's escape of an outside bracket ends its file address ("#").
      {"贴图[x", isky ? open + "P=C:\\pics\\[x.png]" : fileCode + "C:\\pics\\［x.png]"},
      // ISky and the function-table host end the path at a comma, and read the keys after it.
      sticker("con,x", !commas), sticker("a,file=x", !commas), ending("a,path=Config.ini", !commas),
      ending("a,path=main.exe", !commas), ending("a.png,path=win.ini", !commas),
      ending("a,wide=1,high=1,cartoon=true", !commas), ending("a,time=99", !commas),
      {"网贴cat", fileCode + "C:\\pics\\cat.png]"},
      // A file address ends its path at "#" or "?", and decodes "%".
      {"址贴cat", "[CQ:image,file=file:///C:/pics/cat.png]"},
      {"址贴猫", "[CQ:image,file=file:///C:/pics/猫.png]"},
      {"址贴notes.txt#", open + "CQ:image,file=file:///C:/pics/notes.txt#.png]"},
      {"址贴x?y", open + "CQ:image,file=file:///C:/pics/x?y.png]"},
      {"址图%2e%2e%5cwin.ini", open + "pic=file:///C:/pics/%2e%2e%5cwin.ini]"},
      {"网贴,\\..\\..\\windows\\win", open + "P=C:\\pics\\,\\..\\..\\windows\\win.png]"},
      {"图丙,\\..\\..\\..\\Windows\\win.ini", open + "P=,\\..\\..\\..\\Windows\\win.ini]"},
      // Outside brackets in the owner's code change, and around the owner's
      // text where they could make a code; a "]" that closes none stays.
      {"图丙http://a.test/[1]", picture + "http://a.test/" + open + "1" + close + "]"},
      {"图丙http://a.test/鬧", picture + "http://a.test/?]"},
      {"包][", "]" + open + "at=1" + close + "["},
      {"echo[A=1]]", open + "A=1" + close + "]"},
      // A line break after a lead byte alone stays one; one before all else
      // is one.
      {"echox\x81\r\ny", isky ? "x?\r\ny" : "x\x81\r\ny"},
      {"\r\necho", "\r\n"}, {"\necho", table ? "\r\n" : "\n"},
  };
  for (const auto& [message, expected] : owners) expectSent(message, expected);
  EXPECT_EQ(web.Targets().size(), asked + 8);

  // A picture address made of the message: the hosts that take addresses
  // get an inert code, those that download get nothing from a local name.
  const bool downloads = wx || table || name == "MyQQ";
  s.Group("图戊C:\\windows\\win.ini");
  EXPECT_EQ(s.TakeSent(), downloads ? Sent{} : Sent{open + "P=C%3A%5Cwindows%5Cwin.ini" + (isky ? ",cache=0]" : "]")});

  // Nor does an id make a stored bracket.
  s.Group("号括", "111", "8");
  EXPECT_EQ(s.TakeSent(), Sent{"&uoS8#x]"});

  // A lead byte left alone at the end of outside text pairs with none of
  // the owner's bytes: the mute after it still runs.
  const std::vector<FakeCall> mute = wx ? std::vector<FakeCall>{} : std::vector<FakeCall>{actions[0]};
  expectSent("脏话abc\x81", "abc?", mute);
  expectSent("脏话abc\x81\x81\x81", "abc\x81\x81?", mute);

  // The sender in the sender's mention is outside text unless it is a number
  // (the hosts that hand over the sender as a text).
  if (!isky && !table) {
    const std::string at = name == "OQ" || name == "SP" || name == "ER" ? "at=" : "@";
    for (const std::string sender : {"1,qq=all", "1]x[CQ:at,qq=all", "all", "ALL", "notify@all", "@all", "D:"}) {
      s.Group("提及", "111", sender);
      EXPECT_EQ(s.TakeSent(), Sent{wx ? "{提示} " : open + at + brackets(sender) + "]"})
          << sender;
    }
    // An id names no code and completes no variable, whatever variable
    // brings it.
    for (const std::string id : {"pic", "P", "V", "@", "N", "Data", "ZOQData"}) {
      s.Group("号名", id, id);
      EXPECT_EQ(s.TakeSent(), Sent{open + id + "=C:\\pics\\a.png]|" + open + id + "]|" + open + "ZOQ" + id + "]|" + open +
                                   id + "=C:\\pics\\a.png]"})
          << id;
    }
  }
}

// A web address from outside text goes out without the blanks after it; a
// lead byte alone at its end, which would take the owner's "]" as its
// second byte, goes out as "?": every lead byte, each blank or none, in
// the neutral picture and voice codes and the host's own picture code.
TEST_P(HostsTest, ALeadByteAloneBeforeBlanksLeftOutPairsWithNoByteOfTheOwners) {
  const HostCase& hc = GetParam();
  const std::string name = hc.name;
  const std::string picture = name == "ISky" ? "[CQ:image,file=" : name == "Table" ? "[picFile,path=" : "[pic=";
  const std::string voice = name == "ISky" ? "[CQ:record,file=" : name == "Table" ? "[AudioFile,path=" : "[voi=";
  Session s(std::string("lead-blank-") + hc.name, hc,
            {{"SayM.ini", Library({{"尾址", "[P=[消息]]|[V=[消息]]|" + picture + "[消息]]"}})}});
  ASSERT_TRUE(s.Start());
  s.TakeCalls();
  std::vector<std::string> messages;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (const char* blank : {" ", "\t", "\r\n", "\x0C", ""}) {
      messages.push_back("尾址 http://e.test/" + std::string(1, static_cast<char>(lead)) + blank);
    }
  }
  ASSERT_TRUE(s.Groups(messages));
  const std::string address = "http://e.test/?]";
  const Sent sent = s.TakeSent();
  ASSERT_EQ(sent.size(), messages.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i], picture + address + "|" + voice + address + "|" + picture + address) << Hex(messages[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(Hosts, HostsTest, ::testing::ValuesIn(AllHostCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zoq::testing
