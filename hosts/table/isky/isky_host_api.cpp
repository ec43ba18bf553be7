#include "hosts/table/isky/isky_host_api.hpp"

#include <atomic>

#include "json/document.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

std::atomic<std::int32_t> g_authCode{0};

constexpr const char* kGroupAvatarService = "https://p.qlogo.cn";

std::string Flag(bool on) { return on ? "1" : "0"; }

// A JSON answer of the host, parsed; nothing for an empty or unparsable one.
struct Answer {
  explicit Answer(const std::string& text) : ok(!text.empty() && doc.Load(text)) {}
  json::JsonDocument doc;
  bool ok;
};

// Reads one record's fields from "data." + name, or, for element k of a
// list, from "data[k]." + name.
class Fields {
 public:
  explicit Fields(const json::JsonDocument& doc) : doc_(doc), prefix_("data.") {}
  Fields(const json::JsonDocument& doc, std::int32_t k) : doc_(doc), prefix_("data[" + text::Decimal(k) + "].") {}

  std::string Text(const char* name) const { return doc_.GetText(prefix_ + name); }
  std::int32_t Int(const char* name) const { return doc_.GetInt(prefix_ + name); }
  std::int64_t Int64(const char* name) const { return doc_.GetInt64(prefix_ + name); }
  bool Bool(const char* name) const { return doc_.GetBool(prefix_ + name); }
  std::string Id(const char* name) const { return text::Decimal(Int64(name)); }
  // Exact, case-sensitive comparisons.
  std::int32_t Sex() const {
    const std::string sex = Text("sex");
    return sex == "male" ? 0 : sex == "female" ? 1 : -1;
  }
  std::int32_t Role() const {
    const std::string role = Text("role");
    return role == "owner" ? 3 : role == "admin" ? 2 : 1;
  }
  // A 64-bit time whose low 32 bits are the seconds, or a 32-bit one.
  IskyDateTime Date64(const char* name) const {
    return IskyHostApi::UnixTimeToDate(static_cast<std::int32_t>(static_cast<std::uint32_t>(Int64(name))));
  }
  IskyDateTime Date32(const char* name) const { return IskyHostApi::UnixTimeToDate(Int(name)); }

 private:
  const json::JsonDocument& doc_;
  std::string prefix_;
};

bool NotZero(const std::string& id) { return text::ReadWholeNumber(id) != 0; }

void Fill(const Fields& f, IskyStrangerInfo& r) {
  r.userId = f.Id("user_id");
  r.nickname = f.Text("nickname");
  r.sex = f.Sex();
  r.age = f.Int("age");
  r.qid = f.Text("qid");
}
void Fill(const Fields& f, IskyFriend& r) {
  r.userId = f.Id("user_id");
  r.nickname = f.Text("nickname");
  r.remark = f.Text("remark");
}
void Fill(const Fields& f, IskyGroupInfo& r) {
  r.groupId = f.Id("group_id");
  r.groupName = f.Text("group_name");
  r.groupMemo = f.Text("group_memo");
  r.createTime = f.Date64("group_create_time");
  r.groupLevel = f.Int64("group_level");
  r.memberCount = f.Int("member_count");
  r.maxMemberCount = f.Int("max_member_count");
}
void Fill(const Fields& f, IskyVipInfo& r) {
  r.userId = f.Id("user_id");
  r.nickname = f.Text("nickname");
  r.level = f.Int64("level");
  r.levelSpeed = static_cast<double>(f.Int64("level_speed"));
  r.vipLevel = f.Text("vip_level");
  r.vipGrowthSpeed = f.Int64("vip_growth_speed");
  r.vipGrowthTotal = f.Int64("vip_growth_total");
}
void Fill(const Fields& f, IskyMemberInfo& r) {
  r.groupId = f.Id("group_id");
  r.userId = f.Id("user_id");
  r.nickname = f.Text("nickname");
  r.card = f.Text("card");
  r.sex = f.Sex();
  r.age = f.Int("age");
  r.area = f.Text("area");
  r.joinTime = f.Date32("join_time");
  r.lastSentTime = f.Date32("last_sent_time");
  r.level = f.Text("level");
  r.role = f.Role();
  r.unfriendly = f.Bool("unfriendly");
  r.title = f.Text("title");
  r.titleExpireTime = f.Date64("title_expire_time");
  r.cardChangeable = f.Bool("card_changeable");
}

// One record from a single answer; false when the answer is empty or no JSON.
template <class Record>
bool ReadOne(const std::string& text, Record& record) {
  const Answer a(text);
  if (!a.ok) return false;
  Fill(Fields(a.doc), record);
  return true;
}

// Every element of "data" (an array, or an object's members in order).
template <class Record>
std::int32_t ReadList(const std::string& text, std::vector<Record>& list) {
  const Answer a(text);
  if (!a.ok) return 0;
  const std::int32_t n = a.doc.GetCount("data");
  if (n < 1) return 0;
  Record work;
  for (std::int32_t k = 0; k < n; ++k) {
    Fill(Fields(a.doc, k), work);
    list.push_back(work);
  }
  return n;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t days, IskyDateTime& d) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d.day = static_cast<std::int32_t>(doy - (153 * mp + 2) / 5 + 1);
  d.month = static_cast<std::int32_t>(mp < 10 ? mp + 3 : mp - 9);
  d.year = static_cast<std::int32_t>(yoe + era * 400 + (d.month <= 2 ? 1 : 0));
}

}  // namespace

void IskyHostApi::SetAuthCode(std::int32_t code) { g_authCode = code; }

void IskyHostApi::Binding::PushLead(hosts::WordList& words) const {
  words.Push32(g_authCode);
}

bool IskyHostApi::GetGocqInfo(IskyFrameInfo& info) {
  const Answer a(GocqInfoAnswer());
  if (!a.ok) return false;
  info.name = a.doc.GetText("name");
  info.version = a.doc.GetText("version");
  return true;
}

bool IskyHostApi::GetVersionInfo(IskyVersionInfo& info) {
  const Answer a(GocqInfoAnswer());
  if (!a.ok) return false;
  info.app_version = a.doc.GetText("app_version");
  info.app_full_name = a.doc.GetText("app_full_name");
  info.runtime_version = a.doc.GetText("runtime_version");
  info.runtime_os = a.doc.GetText("runtime_os");
  info.version = a.doc.GetText("version");
  return true;
}

std::string IskyHostApi::GetGroupAvatarUrl(const std::string& group) {
  const std::string n = text::Decimal(text::ReadWholeNumber(group));
  return std::string(kGroupAvatarService) + "/gh/" + n + "/" + n + "/100";
}

// ---- CQ codes

std::string IskyHostApi::EscapeCqText(const std::string& s) {
  std::string out = text::ReplaceAll(s, "&", "&amp;");
  out = text::ReplaceAll(out, "[", "&#91;");
  out = text::ReplaceAll(out, "]", "&#93;");
  return text::ReplaceAll(out, ",", "&#44;");
}

std::string IskyHostApi::XmlCode(const std::string& data) { return "[CQ:xml,data=" + data + "]"; }
std::string IskyHostApi::TtsCode(const std::string& s) { return "[CQ:tts,text=" + s + "]"; }
std::string IskyHostApi::PokeCode(std::int64_t user) { return "[CQ:poke,qq=" + text::Decimal(user) + "]"; }
std::string IskyHostApi::GiftCode(std::int64_t user, std::int32_t gift) {
  return "[CQ:gift,qq=" + text::Decimal(user) + ",id=" + text::Decimal(gift) + "]";
}
std::string IskyHostApi::FaceCode(std::int32_t face) { return "[CQ:face,id=" + text::Decimal(face) + "]"; }

namespace {

std::string ContentAndImage(const std::string& content, const std::string& image) {
  std::string out;
  if (!content.empty()) out += ",content=" + content;
  if (!image.empty()) out += ",image=" + image;
  return out;
}

std::string StylePart(std::int32_t style) {
  if (style == 1) return ",type=flash";
  if (style == 2) return ",type=show";
  return {};
}

std::string Optional(const char* key, std::optional<std::int32_t> value) {
  return value ? std::string(",") + key + "=" + text::Decimal(*value) : std::string();
}
std::string Optional(const char* key, std::optional<bool> value) {
  return value ? std::string(",") + key + "=" + Flag(*value) : std::string();
}

}  // namespace

std::string IskyHostApi::ShareCode(const std::string& url, const std::string& title, const std::string& content,
                                   const std::string& image) {
  return "[CQ:share,url=" + url + ",title=" + title + ContentAndImage(content, image) + "]";
}

std::string IskyHostApi::MusicCode(std::int32_t source, std::int64_t song) {
  static constexpr const char* kSources[] = {"qq", "163", "xm"};
  if (source < 1 || source > 3) return {};
  return std::string("[CQ:music,type=") + kSources[source - 1] + ",id=" + text::Decimal(song) + "]";
}

std::string IskyHostApi::CustomMusicCode(const std::string& url, const std::string& audio, const std::string& title,
                                         const std::string& content, const std::string& image) {
  return "[CQ:music,type=custom,url=" + url + ",audio=" + audio + ",title=" + title + ContentAndImage(content, image) +
         "]";
}

std::string IskyHostApi::LocalImageCode(std::int32_t style, const std::string& path,
                                        std::optional<std::int32_t> effect) {
  return ImageCode(style, "file:///" + path, effect);
}

std::string IskyHostApi::ImageCode(std::int32_t style, const std::string& address, std::optional<std::int32_t> effect,
                                   std::optional<bool> cache) {
  return "[CQ:image,file=" + address + StylePart(style) + Optional("id", effect) + Optional("cache", cache) + "]";
}

std::string IskyHostApi::LocalVoiceCode(const std::string& path, std::optional<bool> magic) {
  return VoiceCode("file:///" + path, magic);
}

std::string IskyHostApi::VoiceCode(const std::string& address, std::optional<bool> magic, std::optional<bool> cache) {
  return "[CQ:record,file=" + address + Optional("magic", magic) + Optional("cache", cache) + "]";
}

// ---- Readers

bool IskyHostApi::GetStrangerInfo(const std::string& user, std::int32_t option, IskyStrangerInfo& info) {
  return ReadOne(StrangerAnswer(user, option), info) && NotZero(info.userId);
}

std::int32_t IskyHostApi::GetFriendList(std::vector<IskyFriend>& list) {
  list.clear();
  return ReadList(FriendListAnswer(), list);
}

bool IskyHostApi::GetGroupInfo(const std::string& group, std::int32_t option, IskyGroupInfo& info) {
  return ReadOne(GroupAnswer(group, option), info) && NotZero(info.groupId);
}

std::int32_t IskyHostApi::GetGroupList(std::vector<IskyGroupInfo>& list) {
  list.clear();
  return ReadList(GroupListAnswer(), list);
}

bool IskyHostApi::GetVipInfo(const std::string& user, IskyVipInfo& info) {
  return ReadOne(VipAnswer(user), info) && NotZero(info.userId);
}

bool IskyHostApi::GetGroupMemberInfo(const std::string& group, const std::string& user, std::int32_t option,
                                     IskyMemberInfo& info) {
  return ReadOne(MemberAnswer(group, user, option), info) && NotZero(info.groupId) && NotZero(info.userId);
}

std::int32_t IskyHostApi::GetGroupMemberList(const std::string& group, std::vector<IskyMemberInfo>& list) {
  list.clear();
  return ReadList(MemberListAnswer(group), list);
}

IskyDateTime IskyHostApi::UnixTimeToDate(std::int32_t seconds) {
  // 1970-01-01 08:00:00 plus the seconds.
  const std::int64_t total = std::int64_t{seconds} + 8 * 3600;
  std::int64_t days = total / 86400;
  std::int64_t rest = total % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  IskyDateTime d;
  CivilFromDays(days, d);
  d.hour = static_cast<std::int32_t>(rest / 3600);
  d.minute = static_cast<std::int32_t>(rest % 3600 / 60);
  d.second = static_cast<std::int32_t>(rest % 60);
  return d;
}

}  // namespace zoq
