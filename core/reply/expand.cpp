#include "core/reply/expand.hpp"

#include <array>
#include <cstdio>
#include <vector>

#include "core/files/file_writes.hpp"
#include "core/files/ini_items.hpp"
#include "core/hosts.hpp"
#include "core/libraries.hpp"
#include "core/reply/actions.hpp"
#include "core/reply/environment.hpp"
#include "core/reply/no_account_picture.hpp"
#include "core/reply/reply_text.hpp"
#include "core/reply/sending.hpp"
#include "core/settings.hpp"
#include "platform/files.hpp"
#include "platform/http.hpp"
#include "text/encoding.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

using reply::Env;
using reply::ReplyText;
constexpr auto kAnyCase = text::Case::IgnoreAscii;

ReplyText Written(std::string_view s) { return ReplyText::Written(s); }
ReplyText Outside(std::string_view s) { return ReplyText::Outside(s); }

// A variable of kTemplateVariables as the expansion looks for it (whole, or
// the opening of one with an argument), checked when the code is compiled:
// one the table does not hold does not compile.
class Variable {
 public:
  consteval Variable(const char* text) : text_(text) {
    if (!IsTemplateVariable(text_)) throw "a variable that kTemplateVariables does not hold";
  }
  constexpr operator std::string_view() const { return text_; }

 private:
  std::string_view text_;
};

// A number from a to b, the generator reseeded from the tick count first.
std::int32_t Draw(std::int32_t a, std::int32_t b) {
  return Plugin().Draw(Env().tickCount(), a, b);
}

// Step 1: one of the pieces between "[|]" separators. A separator closes
// the piece before it, however empty; the rest after the last one counts
// only when it is not empty.
ZOQ_HOT std::string ChooseAlternative(std::string stored) {
  constexpr std::string_view kSeparator = Variable("[|]");
  if (!text::Contains(stored, kSeparator)) return stored;
  std::vector<std::string> pieces;
  std::size_t from = 0;
  for (std::size_t pos = text::Find(stored, kSeparator); pos != text::npos; pos = text::Find(stored, kSeparator, from)) {
    pieces.push_back(stored.substr(from, pos - from));
    from = pos + kSeparator.size();
  }
  if (from < stored.size()) pieces.push_back(stored.substr(from));
  return pieces[static_cast<std::size_t>(Draw(1, static_cast<std::int32_t>(pieces.size())) - 1)];
}

std::string Format(const char* pattern, int a, int b, int c) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, a, b, c);
  return buffer;
}

// Hosts that take pictures as local files: the expansion downloads them.
bool HostTakesPictureFiles() { return ActiveHost().takesPictureFiles; }

// The picture code of a downloaded picture, written to its fixed file in
// DataFolder. A failed download (empty answer) gives no code and no file.
ReplyText PictureFile(const std::string& bytes, std::string_view fileName, std::string_view attributes = {}) {
  if (bytes.empty()) return {};
  // Written whole and put in place in one step: a message on another thread
  // may be sending the file as it was.
  const std::string path = DataFolder() + std::string(fileName);
  if (!ReplaceWholeFile(path, bytes)) return {};  // no picture rather than another one
  return Written("[P=" + path + std::string(attributes) + "]");
}

// A web picture: downloaded on the hosts that take files, otherwise its
// address goes into the code.
ReplyText WebPicture(const ReplyText& written, std::string_view fileName) {
  const ReplyText address = written.AsAddress();
  if (HostTakesPictureFiles()) return PictureFile(platform::HttpGet(address.text(), platform::kHttpPictureLimit), fileName);
  return Written("[P=") + address + Written(std::string(ActiveHost().webPictureClose));
}

// The QQ avatar image of `account` at size `spec`.
ReplyText QqAvatarAddress(const std::string& account, std::string_view spec) {
  return (Written(Env().avatarService + "/headimg_dl?dst_uin=") + Outside(account) +
          Written("&spec=" + std::string(spec)))
      .AsAddress();
}

// The avatar picture of a guild member: the address in the member's profile
// of the function-table host, fetched; no address, no fetch.
std::string ChannelAvatar(const MessageRecord& record) {
  ChannelUserProfile profile;
  Hosts().table.GetChannelUserProfile(text::ReadWholeNumber(Plugin().RobotAccount()),
                                      text::ReadWholeNumber(record.sender), &profile);
  const std::string address = profile.AvatarAddress();
  return address.empty() ? std::string() : platform::HttpGet(address, platform::kHttpPictureLimit);
}

struct AvatarVariable {
  Variable variable;
  std::string_view fileName;
  bool large;
  std::string_view spec;
};
constexpr std::array<AvatarVariable, 2> kAvatars{{
    {"[头像]", "头像.png", false, "100"},
    {"[大头]", "大头.png", true, "640"},
}};

ReplyText AvatarPicture(const MessageRecord& record, const AvatarVariable& a) {
  if (!HostTakesPictureFiles()) return Written("[P=") + QqAvatarAddress(record.sender, a.spec) + Written("]");
  if (record.kind == MessageKind::Channel || record.kind == MessageKind::ChannelDirect) {
    return PictureFile(ChannelAvatar(record), a.fileName, ",wide=200,high=200,cartoon=false");
  }
  return PictureFile(DownloadAvatarWx(record.sender, a.large), a.fileName);
}

struct WebTextVariable {
  Variable variable;
  std::string_view path;
  bool escapeSyntax;
};
constexpr std::array<WebTextVariable, 4> kWebTexts{{
    {"[绿茶]", "/api/ZOQ/GreenTeaSayAPI.php?type=text", true},
    {"[一言]", "/api/ZOQ/OneSayAPI.php?type=text", true},
    {"[诗词]", "/api/ZOQ/OnePoemsAPI.php?type=text", true},
    {"[舔狗]", "/api/ZOQ/SuckDogAPI.php?type=text", false},
}};

// The text a web address answers, as GBK with escapes.
ReplyText WebText(const std::string& address, bool escapeSyntax) {
  return Outside(encoding::DecodeWebText(platform::HttpGet(address), escapeSyntax));
}

// A whole variable that the template may hold: replaced by what `value`
// gives, which runs only when the variable is there.
template <class Value>
void ReplaceWhenPresent(ReplyText& t, Variable variable, Value&& value, text::Case mode = kAnyCase) {
  if (t.Contains(variable, mode)) t.Replace(variable, value(), mode);
}

// The sender's mention: the host's code around the number, or its fixed
// text; none for a host without a mention.
ReplyText MentionOf(const std::string& sender) {
  const HostProfile& host = ActiveHost();
  if (!host.fixedMention.empty()) return Written(host.fixedMention);
  if (host.mentionOpener.empty()) return {};
  return Written(host.mentionOpener) + ReplyText::Number(sender) + Written("]");
}

constexpr std::array<const char*, 7> kWeekdays{"日", "一", "二", "三", "四", "五", "六"};

// Whether a template may hold a variable: every variable begins with "["
// and a character of two bytes, or "Z" ([ZOQData], [ZOQAdmin]) or "@" ([@]).
bool MayHoldVariable(std::string_view s) {
  for (std::size_t at = s.find('['); at != std::string_view::npos && at + 1 < s.size(); at = s.find('[', at + 1)) {
    const unsigned char next = static_cast<unsigned char>(s[at + 1]);
    if (next >= 0x80 || next == 'Z' || next == '@') return true;
  }
  return false;
}

}  // namespace

std::string SenderMentionCode(const std::string& sender) { return MentionOf(sender).text(); }

std::string DownloadAvatarWx(const std::string& account, bool large) {
  const PluginState& p = Plugin();
  const HostProfile& host = ActiveHost();
  if (host.avatarAddress) {
    if (p.RobotAccount().size() <= 3) return NoAccountPicture();
    // The host knows the address; none known: no picture.
    const std::string address = host.avatarAddress(Hosts(), account);
    return address.empty() ? std::string() : platform::HttpGet(address, platform::kHttpPictureLimit);
  }
  return platform::HttpGet(QqAvatarAddress(account, large ? "640" : "100").text(), platform::kHttpPictureLimit);
}

ZOQ_HOT ReplyText ExpandReply(MessageRecord& record, const std::string& libraryFile, const std::string& keyword,
                      bool keywordIsMessageText) {
  PluginState& p = Plugin();
  std::string stored = p.Libraries.Reply(libraryFile, keyword);
  if (stored.empty()) return {};
  ReplyText t = ReplyText::WrittenMoving(ChooseAlternative(std::move(stored)));
  // Most replies hold none: nothing below would find one.
  if (!MayHoldVariable(t.text())) return t;
  const platform::LocalTime now = Env().now();

  constexpr auto kExact = text::Case::Sensitive;
  ReplaceWhenPresent(t, "[星期]", [&] { return Written(kWeekdays[static_cast<std::size_t>(now.weekday) % 7]); },
                     kExact);
  ReplaceWhenPresent(
      t, "[目标]",
      [&] {
        // Only a mention the host made names the target, and only by its number.
        const std::string target = FirstMentionedNumber(record.text, record.delivered);
        if (!target.empty()) record.text = text::ReplaceFirst(record.text, "[@" + target + "]", "");
        return ReplyText::Number(target);
      },
      kExact);
  ReplaceWhenPresent(
      t, "[消息]",
      [&] {
        // The message holds the keyword with plain brackets.
        return ReplyText::Message(keywordIsMessageText ? std::string()
                                                       : text::ReplaceAll(record.text, PlainKeywordForm(keyword), ""));
      },
      kExact);
  ReplaceWhenPresent(t, "[号码]", [&] { return ReplyText::Number(record.sender); }, kExact);
  ReplaceWhenPresent(t, "[群号]", [&] { return ReplyText::Number(record.group); }, kExact);
  ReplaceWhenPresent(t, "[时间]", [&] { return Written(Format("%d时%d分%d秒", now.hour, now.minute, now.second)); },
                     kExact);
  ReplaceWhenPresent(t, "[日期]", [&] { return Written(Format("%d年%d月%d日", now.year, now.month, now.day)); },
                     kExact);
  ReplaceWhenPresent(t, "[@]", [&] { return MentionOf(record.sender); }, kExact);
  ReplaceWhenPresent(t, "[ZOQData]", [&] { return Written(p.RunDirectory + "\\ZOQData"); }, kExact);
  ReplaceWhenPresent(t, "[ZOQAdmin]", [&] { return Written(p.RunDirectory + "\\ZOQAdmin"); }, kExact);

  if (const auto number = t.FindVariable(Variable("[数字"), "]")) {
    const std::int32_t bound = number->argument.empty() ? 99 : text::ReadWholeNumber32(number->argument.text());
    t.Replace(number->whole, Written(text::Decimal(Draw(1, bound))), kExact);
  }

  for (const AvatarVariable& a : kAvatars) {
    ReplaceWhenPresent(t, a.variable, [&] { return AvatarPicture(record, a); });
  }
  ReplaceWhenPresent(t, "[二次元]", [&] { return WebPicture(Written(Env().randomPictureApi), "二次元.png"); });
  if (const auto picture = t.FindVariable(Variable("[图接口="), "]")) {
    t.Replace(picture->whole, WebPicture(picture->argument, "图接口.png"), kAnyCase);
  }
  if (const auto web = t.FindVariable(Variable("[文接口="), "]")) {
    const std::string address = web->argument.AsAddress(&encoding::UnescapeToUtf8).text();
    t.Replace(web->whole, WebText(address.substr(0, address.find('\0')), false), kAnyCase);
  }

  if (t.Contains(Variable("[禁言"), kAnyCase)) {
    t.Replace(Variable("[禁言]"), Written("[禁言60]"), kAnyCase);
    const auto mute = t.FindVariable(Variable("[禁言"), "]");
    MuteSender(record, text::ReadWholeNumber(mute->argument.text()));
    t.Replace(mute->whole, {}, kAnyCase);
  }
  ReplaceWhenPresent(t, "[撤回]", [&] {
    RecallSenderMessage(record);
    return ReplyText();
  });
  ReplaceWhenPresent(t, "[踢出]", [&] {
    KickSender(record);
    return ReplyText();
  });

  for (const WebTextVariable& w : kWebTexts) {
    ReplaceWhenPresent(t, w.variable, [&] { return WebText(Env().textApiHost + std::string(w.path), w.escapeSyntax); });
  }
  return t;
}

}  // namespace zoq
