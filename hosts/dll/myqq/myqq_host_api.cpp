#include "hosts/dll/myqq/myqq_host_api.hpp"

#include <algorithm>

#include "hosts/dll/myqq/myqq_reading.hpp"

namespace zoq {

void MyQqHostApi::SendMessage(const std::string& robot, std::int32_t kind, const std::string& group,
                              const std::string& qq, const std::string& message, std::int32_t extra,
                              std::int32_t anonymous, std::int32_t form) {
  anonymous = std::min(anonymous, 1);
  switch (form) {
    case 1: SendXml(robot, anonymous, kind, group, qq, message, 0); break;
    case 2: SendJson(robot, anonymous, kind, group, qq, message); break;
    case 3: SendLongMsg(robot, kind, group, qq, message, anonymous); break;
    default: SendMsgEx(robot, anonymous, kind, group, qq, message, extra); break;
  }
}

std::string MyQqHostApi::GetOnlineAccounts(std::int32_t mode) {
  switch (mode) {
    case 1: return GetQqList();
    case 2: return GetOffLineList();
    default: return GetOnlineQqList();
  }
}

std::string MyQqHostApi::Api_UpVote(const std::string& a, const std::string& b, std::int32_t ex) {
  return ex == 0 ? UpVoteRow(a, b) : UpVoteExRow(a, b);
}

std::string MyQqHostApi::Api_GetGroupPsKey(const std::string& a, std::int32_t kind) {
  switch (kind) {
    case 0: return GroupPsKeyRow(a);
    case 1: return ZonePsKeyRow(a);
    case 2: return BlogPsKeyRow(a);
    case 3: return ClassRoomPsKeyRow(a);
    case 4: return TenPayPsKeyRow(a);
    case 5: return JuBaoPsKeyRow(a);
    case 6: return QqInfoPsKeyRow(a);
    case 7: return QqVipPsKeyRow(a);
    default: return {};
  }
}

std::int64_t MyQqHostApi::Api_GetTimeStamp() { return TimeStampRow(); }

std::int32_t MyQqHostApi::Api_NoAdminInviteGroup(const std::string& a, const std::string& b, const std::string& c,
                                                 std::int32_t mode) {
  return mode == 1 ? AdminInviteRow(a, c, b) : NoAdminInviteRow(a, c, b);
}

std::string MyQqHostApi::Api_DelMsgEssence(const std::string& a, const std::string& b, const std::string& c,
                                           const std::string& d) {
  DelMsgEssenceRow(a, b, c, d);
  return {};
}

namespace {
// The host's status text into `answer` (when given): true exactly for "success".
bool Judged(std::string status, std::string* answer) {
  const bool success = status == "success";
  if (answer) *answer = std::move(status);
  return success;
}
}  // namespace

bool MyQqHostApi::Api_RedPack_Kmp3(const std::string& a, const std::string& b, const std::string& c,
                                   const std::string& d, const std::string& e, const std::string& f, std::int32_t g,
                                   const std::string& h, std::string* answer) {
  return Judged(RedPackKmp3Row(a, b, c, d, e, f, g, h), answer);
}
bool MyQqHostApi::Api_TransferAccounts(const std::string& a, const std::string& b, const std::string& c,
                                       const std::string& d, const std::string& e, const std::string& f,
                                       std::int32_t g, std::string* answer) {
  return Judged(TransferRow(a, b, c, d, e, f, g), answer);
}
bool MyQqHostApi::Api_RedPack_KeyWord(const std::string& a, const std::string& b, const std::string& c,
                                      const std::string& d, const std::string& e, const std::string& f,
                                      std::int32_t g, std::string* answer) {
  return Judged(RedPackKeyWordRow(a, b, c, d, e, f, g), answer);
}
bool MyQqHostApi::Api_RedPack_Luck(const std::string& a, const std::string& b, const std::string& c,
                                   const std::string& d, const std::string& e, const std::string& f,
                                   std::string* answer) {
  return Judged(RedPackLuckRow(a, b, c, d, e, f), answer);
}
bool MyQqHostApi::Api_RedPack_Ordinary(const std::string& a, const std::string& b, const std::string& c,
                                       const std::string& d, const std::string& e, const std::string& f,
                                       std::int32_t g, const std::string& h, std::string* answer) {
  return Judged(RedPackOrdinaryRow(a, b, c, d, e, f, g, h), answer);
}
bool MyQqHostApi::Api_RedPack_Game(const std::string& a, const std::string& b, const std::string& c,
                                   const std::string& d, const std::string& e, const std::string& f, std::int32_t g,
                                   const std::string& h, std::string* answer) {
  return Judged(RedPackGameRow(a, b, c, d, e, f, g, h), answer);
}
bool MyQqHostApi::Api_RedPack_Voice(const std::string& a, const std::string& b, const std::string& c,
                                    const std::string& d, const std::string& e, const std::string& f, std::int32_t g,
                                    std::string* answer) {
  return Judged(RedPackVoiceRow(a, b, c, d, e, f, g), answer);
}
bool MyQqHostApi::Api_RedPack_Exclusive(const std::string& a, const std::string& b, const std::string& c,
                                        const std::string& d, const std::string& e, const std::string& f,
                                        const std::string& g, std::string* answer) {
  return Judged(RedPackExclusiveRow(a, b, c, d, e, f, g), answer);
}

namespace {

constexpr std::string_view kFullWidthSpace = "\xA1\xA1";

// Without leading and trailing ASCII and full-width spaces.
std::string TrimSpaces(const std::string& s) {
  std::size_t begin = 0, end = 0;  // end: after the last character that is no space
  bool leading = true;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = text::CharLength(s, i);
    const std::string_view c(s.data() + i, n);
    const bool space = c == " " || c == kFullWidthSpace;
    if (leading && space) begin = i + n;
    if (!space) {
      leading = false;
      end = i + n;
    }
    i += n;
  }
  return end > begin ? s.substr(begin, end - begin) : std::string();
}

}  // namespace

std::string MyQqHostApi::PickWord(const std::string& source, const std::string& remove, std::int32_t number,
                                  std::int32_t stripMention) {
  std::string t = TrimSpaces(text::ReplaceAll(source, remove, ""));
  for (const char* run : {"    ", "   ", "  "}) t = text::ReplaceAll(t, run, " ");
  std::vector<std::string> pieces;
  if (!t.empty()) {
    std::size_t start = 0;
    for (std::size_t space; (space = t.find(' ', start)) != std::string::npos; start = space + 1)
      pieces.push_back(t.substr(start, space - start));
    pieces.push_back(t.substr(start));
  }
  if (number < 1 || static_cast<std::size_t>(number) > pieces.size()) return {};
  std::string word = pieces[static_cast<std::size_t>(number) - 1];
  if (stripMention == 1) word = text::ReplaceAll(text::ReplaceAll(word, "[@", ""), "]", "");
  return word;
}

}  // namespace zoq
