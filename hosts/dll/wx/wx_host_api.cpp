#include "hosts/dll/wx/wx_host_api.hpp"

#include <span>

#include "json/refcounted_document.hpp"
#include "platform/files.hpp"
#include "platform/modules.hpp"
#include "text/text.hpp"
#include "text/text_between.hpp"

namespace zoq {
namespace {

using json::RefCountedJsonDocument;

constexpr const char* kApiDll = "Api.dll";

std::int32_t Low32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

// Each card's lines joined by CR LF.
std::string JoinLines(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view line : lines) {
    if (!out.empty()) out += "\r\n";
    out += line;
  }
  return out;
}

const std::string& LinkCardTemplate() {
  static const std::string t = JoinLines({
      "<msg>",
      "    <fromusername>[wxid]</fromusername>",
      "    <scene>0</scene>",
      "    <commenturl></commenturl>",
      "    <appmsg appid=\"\" sdkver=\"0\">",
      "        <title>[title]</title>",
      "        <des>[des]</des>",
      "        <action>view</action>",
      "        <type>5</type>",
      "        <showtype>0</showtype>",
      "        <content></content>",
      "        <url>[url]</url>",
      "        <dataurl></dataurl>",
      "        <lowurl></lowurl>",
      "        <thumburl>[thumburl]</thumburl>",
      "        <recorditem>",
      "            <![CDATA[]]>",
      "        </recorditem>",
      "        <extinfo></extinfo>",
      "        <sourceusername></sourceusername>",
      "        <sourcedisplayname></sourcedisplayname>",
      "       <commenturl></commenturl>",
      "        <appattach>",
      " <totallen>0</totallen>",
      "            <attachid></attachid>",
      "      <emoticonmd5></emoticonmd5>",
      "            <fileext></fileext>",
      "        </appattach>",
      "    </appmsg>",
      "    <appinfo>",
      "        <version>1</version>",
      "        <appname>Window wechat</appname>",
      "    </appinfo>",
      "</msg>",
  });
  return t;
}

const std::string& MusicCardTemplate() {
  static const std::string t = JoinLines({
      "<?xml version=\"1.0\"?>",
      "<msg>",
      "\t<appmsg appid=\"\" sdkver=\"0\">",
      "\t\t<title>[title]</title>",
      "\t\t<des>[des]</des>",
      "\t\t<action>view</action>",
      "\t\t<type>3</type>",
      "\t\t<showtype>0</showtype>",
      "\t\t<url>[url]</url>",
      "\t\t<lowurl />",
      "\t\t<thumburl>[thumburl]</thumburl>",
      "    </appmsg>",
      "    <appinfo>",
      "        <version>1</version>",
      "        <appname>Window wechat</appname>",
      "    </appinfo>",
      "</msg>",
  });
  return t;
}

// The placeholders are replaced one after the other over the whole text,
// the values unescaped.
std::string FillCard(std::string card, std::initializer_list<std::pair<std::string_view, const std::string*>> values) {
  for (const auto& [placeholder, value] : values) card = text::ReplaceAll(card, placeholder, *value);
  return card;
}

// ---- Records read from answers ---------------------------------------------

// One field of a record and the member (or key) it comes from: a text or a
// 32-bit number.
template <class R>
struct Field {
  constexpr Field(const char* k, std::string R::*t) : key(k), text(t) {}
  constexpr Field(const char* k, std::int32_t R::*n) : key(k), number(n) {}
  const char* key;
  std::string R::*text = nullptr;
  std::int32_t R::*number = nullptr;
};
template <class R>
using Fields = std::span<const Field<R>>;

// The members at `prefix` + key of a parsed answer (numbers: their low 32 bits).
template <class R>
R ReadMembers(const RefCountedJsonDocument& doc, const std::string& prefix, Fields<R> fields) {
  R r{};
  for (const Field<R>& f : fields) {
    if (f.text) r.*f.text = doc.GetText(prefix + f.key);
    else r.*f.number = Low32(doc.GetInt64(prefix + f.key));
  }
  return r;
}

// Every field cut out of the raw answer (an answer too large to hold gives
// an empty record, here and in the readers below).
template <class R>
R CutFields(std::string_view answer, Fields<R> fields) {
  return hosts::NoThrow(R{}, [&] {
    R r{};
    for (const Field<R>& f : fields) {
      if (f.text) r.*f.text = QuotedField(answer, f.key);
      else r.*f.number = NumberField(answer, f.key);
    }
    return r;
  });
}

// Appends a record for every element of the array at `listPath`, in order.
template <class R>
void AppendElements(const RefCountedJsonDocument& doc, const std::string& listPath, Fields<R> fields,
                    std::vector<R>& list) {
  const std::int32_t n = doc.GetCount(listPath);
  for (std::int32_t i = 0; i < n; ++i)
    list.push_back(ReadMembers(doc, listPath + "[" + std::to_string(i) + "].", fields));
}

// The same from the host's answer; an answer that does not parse adds nothing.
template <class R>
void AppendFromAnswer(const std::string& answer, const std::string& listPath, Fields<R> fields, std::vector<R>& list) {
  hosts::NoThrow(false, [&] {
    RefCountedJsonDocument doc;
    return doc.Load(answer) && (AppendElements(doc, listPath, fields, list), true);
  });
}

using Account = WxAccountRecord;
constexpr Field<Account> kAccountFields[] = {
    {"wxid", &Account::wxid}, {"username", &Account::username}, {"wx_num", &Account::wx_num},
    {"wx_headimgurl", &Account::wx_headimgurl}, {"Enterprise wechat", &Account::EnterpriseFlag},
    {"Enterprise wechat clientId", &Account::EnterpriseClientId}};

using Login = WxLoginInfo;
constexpr Field<Login> kLoginFields[] = {
    {"wxid", &Login::wxid},         {"wx_num", &Login::wx_num},       {"nickname", &Login::nickname},
    {"headimgurl", &Login::headimgurl}, {"country", &Login::country}, {"province", &Login::province},
    {"city", &Login::city},         {"sex", &Login::sex},             {"signature", &Login::signature},
    {"backgroundimgurl", &Login::backgroundimgurl}, {"wx_wind_handle", &Login::wx_wind_handle},
    {"wx_pid", &Login::wx_pid}};

using Contact = WxContactDetail;
constexpr Field<Contact> kContactFields[] = {
    {"wxid", &Contact::wxid},         {"wx_num", &Contact::wx_num},     {"nickname", &Contact::nickname},
    {"headimgurl", &Contact::headimgurl}, {"country", &Contact::country}, {"province", &Contact::province},
    {"city", &Contact::city},         {"sex", &Contact::sex},           {"scene", &Contact::scene},
    {"signature", &Contact::signature}, {"backgroundimgurl", &Contact::backgroundimgurl}};

using Enterprise = WxEnterpriseContact;
constexpr Field<Enterprise> kEnterpriseContactFields[] = {
    {"user_id", &Enterprise::user_id}, {"username", &Enterprise::username}, {"corp_id", &Enterprise::corp_id},
    {"realname", &Enterprise::realname}, {"remark", &Enterprise::remark}, {"position", &Enterprise::position},
    {"sex", &Enterprise::sex},         {"avatar", &Enterprise::avatar}};

using EGroup = WxEnterpriseGroup;
constexpr Field<EGroup> kEnterpriseGroupFields[] = {
    {"conversation_id", &EGroup::conversation_id}, {"nickname", &EGroup::nickname},
    {"create_user_id", &EGroup::create_user_id}, {"total", &EGroup::total}, {"is_external", &EGroup::is_external}};

using Search = WxSearchResult;
constexpr Field<Search> kSearchFields[] = {
    {"from_wxid", &Search::from_wxid}, {"from_nickname", &Search::from_nickname},
    {"headimgurl", &Search::headimgurl}, {"v1", &Search::v1}, {"v2", &Search::v2}, {"sex", &Search::sex},
    {"country", &Search::country},     {"city", &Search::city}, {"province", &Search::province},
    {"signature", &Search::signature}, {"status", &Search::status}, {"status_desc", &Search::status_desc}};

// The plain list operations read every field; those ending in 2 read the
// leading ones of a group (two) or a member (four, see kMemberFields).
constexpr Field<WxGroup> kGroupFields[] = {
    {"wxid", &WxGroup::wxid},           {"nickname", &WxGroup::nickname},
    {"avatar", &WxGroup::avatar},       {"total_member", &WxGroup::total_member},
    {"manager_wxid", &WxGroup::manager_wxid}, {"is_manager", &WxGroup::is_manager}};
constexpr std::size_t kGroup2Fields = 2;

constexpr Field<WxFriend> kFriendFields[] = {
    {"wxid", &WxFriend::wxid}, {"wx_num", &WxFriend::wx_num}, {"nickname", &WxFriend::nickname},
    {"note", &WxFriend::note}};

constexpr Field<WxSubscription> kSubscriptionFields[] = {
    {"wxid", &WxSubscription::wxid}, {"wx_num", &WxSubscription::wx_num},
    {"nickname", &WxSubscription::nickname}};

using Member = WxGroupMember;
constexpr Field<Member> kMemberFields[] = {
    {"wxid", &Member::wxid},         {"wx_num", &Member::wx_num},   {"nickname", &Member::nickname},
    {"group_nickname", &Member::group_nickname}, {"avatar", &Member::avatar}, {"country", &Member::country},
    {"city", &Member::city},         {"province", &Member::province}, {"sex", &Member::sex}};
constexpr std::size_t kMember2Fields = 4;

using Head = WxGroupMemberList;
constexpr Field<Head> kHeadFields[] = {{"group_wxid", &Head::group_wxid}, {"group_name", &Head::group_name},
                                       {"count", &Head::count},           {"owner_wxid", &Head::owner_wxid},
                                       {"owner_nickname", &Head::owner_nickname}};

using Detail = WxGroupMemberDetail;
constexpr Field<Detail> kDetailFields[] = {
    {"wxid", &Detail::wxid},         {"wx_num", &Detail::wx_num},       {"nickname", &Detail::nickname},
    {"nickname_", &Detail::nickname_}, {"headimgurl", &Detail::headimgurl}, {"country", &Detail::country},
    {"province", &Detail::province}, {"city", &Detail::city},           {"sex", &Detail::sex},
    {"scene", &Detail::scene},       {"signature", &Detail::signature}, {"backgroundimgurl", &Detail::backgroundimgurl}};

// The head cut from the raw answer, the members from the parsed one.
WxGroupMemberList GroupMembers(const std::string& answer, Fields<Member> fields) {
  WxGroupMemberList list = CutFields<Head>(answer, kHeadFields);
  AppendFromAnswer(answer, "member_list", fields, list.member_list);
  return list;
}

template <class R>
std::int32_t AppendedLength(const std::string& answer, const char* listKey, Fields<R> fields, std::vector<R>& list) {
  AppendFromAnswer(answer, listKey, fields, list);
  return static_cast<std::int32_t>(list.size());
}

// The records of a parsed answer replace what `list` held.
template <class R>
void ReplaceFromAnswer(const std::string& answer, const std::string& listPath, Fields<R> fields, std::vector<R>& list) {
  list.clear();
  AppendFromAnswer(answer, listPath, fields, list);
}

// The members below `prefix` of an answer that parses; else an empty record.
template <class R>
R RecordFromAnswer(const std::string& answer, const std::string& prefix, Fields<R> fields) {
  return hosts::NoThrow(R{}, [&] {
    RefCountedJsonDocument doc;
    return doc.Load(answer) ? ReadMembers(doc, prefix, fields) : R{};
  });
}

constexpr Field<WxMomentItem> kMomentFields[] = {{"username", &WxMomentItem::username},
                                                 {"nickname", &WxMomentItem::nickname},
                                                 {"pyq_id", &WxMomentItem::pyq_id},
                                                 {"object", &WxMomentItem::object}};

using EFriend = WxEnterpriseFriendDetail;
constexpr Field<EFriend> kEnterpriseFriendFields[] = {
    {"sex", &EFriend::sex},           {"avatar", &EFriend::avatar},     {"remark", &EFriend::remark},
    {"user_id", &EFriend::user_id},   {"username", &EFriend::username}, {"realname", &EFriend::realname},
    {"position", &EFriend::position}};

using Favourite = WxFavouriteItem;
constexpr Field<Favourite> kFavouriteFields[] = {
    {"from_user", &Favourite::from_user}, {"local_id", &Favourite::local_id}, {"type", &Favourite::type},
    {"update_time", &Favourite::update_time}, {"title", &Favourite::title}, {"xml", &Favourite::xml}};

// wxid查详细信息 names three members otherwise; scene is not read.
constexpr Field<Contact> kContactByWxidFields[] = {
    {"wxid", &Contact::wxid},         {"sex", &Contact::sex},           {"account", &Contact::wx_num},
    {"avatar", &Contact::headimgurl}, {"city", &Contact::city},         {"country", &Contact::country},
    {"nickname", &Contact::nickname}, {"province", &Contact::province}, {"signature", &Contact::signature},
    {"sns_pic", &Contact::backgroundimgurl}};

using Invite = WxGroupInviteInfo;
constexpr Field<Invite> kInviteFields[] = {{"wxid", &Invite::wxid},         {"invite_by", &Invite::invite_by},
                                           {"nickname", &Invite::nickname}, {"avatar", &Invite::avatar},
                                           {"flag", &Invite::flag}};

using Notice = WxGroupNotice;
constexpr Field<Notice> kNoticeFields[] = {{"wxid", &Notice::wxid},
                                           {"content", &Notice::content},
                                           {"timestamp", &Notice::timestamp},
                                           {"group_wxid", &Notice::group_wxid}};

}  // namespace

// ---- Fields of unparsed answers --------------------------------------------

std::string QuotedField(std::string_view answer, std::string_view key) {
  return text::TextBetween(answer, "\"" + std::string(key) + "\":\"", "\"");
}

// The number right after the marker: it needs no comma after it, so a last
// member ("sex":2}) reads as what it holds.
std::int32_t NumberField(std::string_view answer, std::string_view key) {
  const std::string marker = "\"" + std::string(key) + "\":";
  const std::size_t at = text::Find(answer, marker, 0, text::Case::Sensitive);
  return at == text::npos ? 0 : text::LeadingNumber32(answer.substr(at + marker.size()));
}

// ---- The binding -----------------------------------------------------------

// Api.dll from the first folder, else as every host API DLL; the module and
// every function found are kept. Nothing found: reported the first time,
// looked for again next time.
void* WxHostApi::Binding::Address(std::size_t, const char* function) {
  {
    std::lock_guard<std::mutex> hold(lock);
    if (const auto it = found.find(function); it != found.end()) return it->second;
  }
  void* const kept = module.Get([this] {
    const std::string folder = firstFolder.get();
    platform::ModuleReference first = folder.empty() ? nullptr : platform::LoadModuleFile(folder + kApiDll);
    return first ? first : hosts::ApiModule(kApiDll);
  });
  void* const address = platform::FindFunction(kept, function);
  if (!address) {
    missing.Report(kApiDll, function);
    return nullptr;
  }
  std::lock_guard<std::mutex> hold(lock);
  found.emplace(function, address);
  return address;
}

// ---- Start, information, errors ----------------------------------------------

std::int32_t WxHostApi::InitApp(const std::string& hostJson) {
  RefCountedJsonDocument doc;
  doc.Load(hostJson);
  binding_.identity.set({doc.GetText("AppName"), doc.GetText("FileName")});
  const HostIdentity& identity = binding_.identity.get();
  const std::string edition = doc.GetText("Version");
  const std::string folder = doc.GetText("path");
  // Without a folder of its own the host's Api.dll is found by the standard
  // search, never below the root of the current drive.
  const auto setFirstFolder = [&](std::string_view below) {
    if (!folder.empty()) binding_.firstFolder.set(folder + std::string(below));
  };
  if (edition == "VLW") {
    setFirstFolder("\\Bin\\");
    const std::string fVersion = doc.GetText("F_Version");
    const WxInitRecord record{identity.AppName.c_str(), identity.FileName.c_str(),
                              Low32(doc.GetInt64("LogOutput")), Low32(doc.GetInt64("P_state")), fVersion.c_str(),
                              Low32(doc.GetInt64("P_update"))};
    doc.Clear();
    return InitAppRow(record);
  }
  if (edition == "VLW_Pro" || edition == "VLW_Max") {
    setFirstFolder("\\Bin\\Bin\\");
    binding_.proMode = 1;
  }
  return 0;
}

std::string WxHostApi::BuildPluginInfo(const WxPluginInfoRecord& info) {
  RefCountedJsonDocument doc;
  doc.LoadNew();
  doc.SetInt64("SdkVersion", info.sdkVersion);
  doc.SetText("PluginID", info.pluginId);
  doc.SetText("Name", info.name);
  doc.SetText("Author", info.author);
  doc.SetText("Version", info.version);
  doc.SetText("Desc", info.description);
  doc.SetText("Img", Base64Encode(info.icon));
  doc.SetInt64("priority", info.priority);
  doc.SetText("Contact", info.contact);
  return doc.ToText();
}

std::string WxHostApi::Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k)
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

void WxHostApi::ReportError(std::int32_t code, const std::string& message) {
  const HostIdentity& identity = binding_.identity.get();
  ErrorRow(identity.AppName, identity.FileName, code, message);
}

// ---- Accounts ------------------------------------------------------------------

std::string WxHostApi::GetLoginAccount() {
  if (binding_.proMode == 0) return LoginWxidRow();
  RefCountedJsonDocument doc;
  if (!doc.Load(AccountListRow())) return {};
  return doc.GetCount("data") == 1 ? doc.GetText("data[0].wxid") : std::string();
}

std::string WxHostApi::GetAccountList(std::vector<WxAccountRecord>& list) {
  if (binding_.proMode != 1) return {};
  const std::string answer = AccountListRow();
  AppendFromAnswer<Account>(answer, "data", kAccountFields, list);
  return answer;
}

WxLoginInfo WxHostApi::取登录账号信息() {
  if (binding_.proMode != 0) return {};
  RefCountedJsonDocument doc;
  doc.Load(LoginInfoRow());
  return ReadMembers<Login>(doc, "", kLoginFields);
}

// ---- Sends that reorder their arguments, and the cards ----------------------------

// The fourth argument (d) is not passed on.
void WxHostApi::SendGroupMsgAndAtByByteHex(const std::string& robot, const std::string& a, const std::string& b,
                                           const std::string& c, const std::string&, const std::string& e) {
  GroupAtRow(robot, a, b, c, e);
}

void WxHostApi::SendLinkMsg_企业(const std::string& robot, const std::string& a, const std::string& b,
                                 const std::string& c, const std::string& d, const std::string& e) {
  EnterpriseLinkRow(robot, a, e, d, b, c);
}

std::string WxHostApi::LinkCard(const std::string& title, const std::string& des, const std::string& thumburl,
                                const std::string& url) {
  return FillCard(LinkCardTemplate(), {{"[title]", &title}, {"[des]", &des}, {"[thumburl]", &thumburl}, {"[url]", &url}});
}

std::string WxHostApi::MusicCard(const std::string& title, const std::string& des, const std::string& url,
                                 const std::string& thumburl) {
  return FillCard(MusicCardTemplate(), {{"[title]", &title}, {"[des]", &des}, {"[url]", &url}, {"[thumburl]", &thumburl}});
}

void WxHostApi::SendLinkCard(const std::string& robot, const std::string& target, const std::string& title,
                             const std::string& des, const std::string& thumburl, const std::string& url) {
  SendLinkMsg(robot, target, LinkCard(title, des, thumburl, url));
}

// `f` is not used.
void WxHostApi::SendMusicCard(const std::string& robot, const std::string& target, const std::string& title,
                              const std::string& des, const std::string& url, const std::string&,
                              const std::string& thumburl) {
  SendLinkMsg(robot, target, MusicCard(title, des, url, thumburl));
}

// ---- Contacts and groups ---------------------------------------------------------

WxContactDetail WxHostApi::GetDetailInfoByWxid(const std::string& robot, const std::string& wxid) {
  return CutFields<Contact>(DetailInfoRow(robot, wxid), kContactFields);
}

std::int32_t WxHostApi::BuildingGroup(const std::string& robot, const std::vector<std::string>& wxids) {
  if (wxids.size() < 2) return -1;
  std::string joined;
  for (std::size_t i = 0; i < wxids.size(); ++i) joined += (i ? "|" : "") + wxids[i];
  return BuildingGroupRow(robot, joined);
}

// ---- Mentions ------------------------------------------------------------------

namespace {

// The places in `s` where `marker` begins, in order; a match begins only
// where a GBK character begins.
std::vector<std::size_t> Occurrences(std::string_view s, std::string_view marker) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < s.size(); i += text::CharLength(s, i))
    if (s.compare(i, marker.size(), marker) == 0) at.push_back(i);
  return at;
}

// The first of a list of places at or after a position, asked for rising
// positions.
class Cursor {
 public:
  explicit Cursor(const std::vector<std::size_t>& at) : at_(at) {}
  std::size_t From(std::size_t position) {
    while (next_ < at_.size() && at_[next_] < position) ++next_;
    return next_ < at_.size() ? at_[next_] : text::npos;
  }

 private:
  const std::vector<std::size_t>& at_;
  std::size_t next_ = 0;
};

// The entries of a mention list: the text between every "{" and the first
// "}" after it. The next "{" is looked for right after the one before, so
// entries nest and overlap ({a{b}c} holds a{b and b); they are walked by
// their bounds, rising, so that nothing is copied per entry.
class Entries {
 public:
  explicit Entries(std::string_view s)
      : s_(s), opens_(Occurrences(s, "{")), closes_(Occurrences(s, "}")), quotes_(Occurrences(s, "\"")) {}

  // The text after `marker` up to the next double quote, inside one entry
  // (as text::TextBetween cuts it out of the entry), for entries asked in
  // their order.
  class Field {
   public:
    Field(const Entries& entries, std::string_view marker)
        : s_(entries.s_), size_(marker.size()), at_(Occurrences(entries.s_, marker)), markers_(at_),
          quotes_(entries.quotes_) {}
    std::string_view In(std::size_t begin, std::size_t end) {
      const std::size_t m = markers_.From(begin);
      if (m == text::npos || m + size_ > end) return {};
      const std::size_t q = quotes_.From(m + size_);
      if (q == text::npos || q >= end) return {};
      return s_.substr(m + size_, q - m - size_);
    }

   private:
    std::string_view s_;
    std::size_t size_;
    std::vector<std::size_t> at_;
    Cursor markers_;
    Cursor quotes_;
  };

  // Calls `visit`(begin, end) for every entry, in order.
  template <class F>
  void Each(F&& visit) const {
    Cursor close(closes_);
    for (const std::size_t open : opens_) {
      const std::size_t end = close.From(open + 1);
      if (end == text::npos) return;
      visit(open + 1, end);
    }
  }

 private:
  std::string_view s_;
  std::vector<std::size_t> opens_, closes_, quotes_;
};

}  // namespace

// The short markers have no quote before the key: the tail of a longer key
// ("from_wxid") matches too. Every entry replaces the user: the last one
// stays.
WxAtUser WxHostApi::ParseAtList(const std::string& message) {
  return hosts::NoThrow(WxAtUser{}, [&] {
    const Entries entries(message);
    Entries::Field wxid(entries, "wxid\":\""), nickname(entries, "nickname\":\"");
    std::string_view lastWxid, lastNickname;
    entries.Each([&](std::size_t begin, std::size_t end) {
      lastWxid = wxid.In(begin, end);
      lastNickname = nickname.In(begin, end);
    });
    return WxAtUser{std::string(lastWxid), std::string(lastNickname)};
  });
}

std::int32_t WxHostApi::ParseAtUserList(const std::string& message, std::vector<WxAtUserItem>& items) {
  hosts::NoThrow(0, [&] {
    // The list markers take the first entry's opening and the last one's closing brace.
    const std::string list = "{" + text::TextBetween(message, "\"atuserlist\":[{", "}]") + "}";
    const Entries entries(list);
    Entries::Field wxid(entries, "\"wxid\":\""), nickname(entries, "\"nickname\":\""),
        from(entries, "\"position_from\":\""), to(entries, "\"position_to\":\"");
    entries.Each([&](std::size_t begin, std::size_t end) {
      items.push_back({std::string(wxid.In(begin, end)), std::string(nickname.In(begin, end)),
                       text::LeadingNumber32(from.In(begin, end)), text::LeadingNumber32(to.In(begin, end))});
    });
    return 0;
  });
  return static_cast<std::int32_t>(items.size());
}

// ---- Enterprise lists ------------------------------------------------------------

std::string WxHostApi::获取内部联系人_企业(const std::string& robot, std::vector<WxEnterpriseContact>& list) {
  const std::string answer = InternalContactsRow(robot);
  AppendFromAnswer<Enterprise>(answer, "data", kEnterpriseContactFields, list);
  return answer;
}

std::string WxHostApi::获取外部联系人_企业(const std::string& robot, std::vector<WxEnterpriseContact>& list) {
  const std::string answer = ExternalContactsRow(robot);
  AppendFromAnswer<Enterprise>(answer, "data", kEnterpriseContactFields, list);
  return answer;
}

std::string WxHostApi::获取群列表_企业(const std::string& robot, std::vector<WxEnterpriseGroup>& list) {
  const std::string answer = EnterpriseGroupsRow(robot);
  AppendFromAnswer<EGroup>(answer, "data", kEnterpriseGroupFields, list);
  return answer;
}

std::string WxHostApi::获取群成员列表_企业(const std::string& robot, const std::string& group,
                                           std::vector<WxEnterpriseContact>& list) {
  const std::string answer = EnterpriseMembersRow(robot, group);
  AppendFromAnswer<Enterprise>(answer, "data.member_list", kEnterpriseContactFields, list);
  return answer;
}

// ---- Friends and groups ------------------------------------------------------------

WxSearchResult WxHostApi::SearchAccount(const std::string& robot, const std::string& search) {
  return CutFields<Search>(SearchAccountRow(robot, search), kSearchFields);
}

void WxHostApi::邀请好友入群_企业(const std::string& robot, const std::string& group,
                                  const std::vector<std::string>& wxids) {
  std::string joined;
  for (std::size_t i = 0; i < wxids.size(); ++i) joined += (i ? "," : "") + wxids[i];
  EnterpriseInviteRow(robot, group, joined);
}

// ---- Lists and member details ------------------------------------------------------

WxGroupMemberList WxHostApi::GetGroupMember(const std::string& robot, const std::string& group, std::int32_t option) {
  return GroupMembers(GroupMemberRow(robot, group, option), kMemberFields);
}

WxGroupMemberList WxHostApi::GetGroupMember2(const std::string& robot, const std::string& group, std::int32_t option) {
  return GroupMembers(GroupMember2Row(robot, group, option), Fields<Member>(kMemberFields).first(kMember2Fields));
}

std::int32_t WxHostApi::GetGrouplist(const std::string& robot, std::vector<WxGroup>& list, std::int32_t option) {
  return AppendedLength<WxGroup>(GrouplistRow(robot, option), "group_list", kGroupFields, list);
}

std::int32_t WxHostApi::GetGrouplist2(const std::string& robot, std::vector<WxGroup>& list, std::int32_t option) {
  return AppendedLength(Grouplist2Row(robot, option), "group_list", Fields<WxGroup>(kGroupFields).first(kGroup2Fields),
                        list);
}

std::int32_t WxHostApi::GetFriendlist(const std::string& robot, std::vector<WxFriend>& list, std::int32_t option) {
  return AppendedLength<WxFriend>(FriendlistRow(robot, option), "friend_list", kFriendFields, list);
}

std::int32_t WxHostApi::GetFriendlist2(const std::string& robot, std::vector<WxFriend>& list, std::int32_t option) {
  return AppendedLength<WxFriend>(Friendlist2Row(robot, option), "friend_list", kFriendFields, list);
}

std::int32_t WxHostApi::GetSubscriptionlist(const std::string& robot, std::vector<WxSubscription>& list,
                                            std::int32_t option) {
  return AppendedLength<WxSubscription>(SubscriptionlistRow(robot, option), "mp_list", kSubscriptionFields, list);
}

std::int32_t WxHostApi::GetSubscriptionlist2(const std::string& robot, std::vector<WxSubscription>& list,
                                             std::int32_t option) {
  return AppendedLength<WxSubscription>(Subscriptionlist2Row(robot, option), "mp_list", kSubscriptionFields, list);
}

WxGroupMemberDetail WxHostApi::GetGroupMemberDetailInfo(const std::string& robot, const std::string& id1,
                                                        const std::string& id2) {
  return CutFields<Detail>(MemberDetailRow(robot, id1, id2), kDetailFields);
}

// ---- Moments and enterprise friends --------------------------------------------------

WxEnterpriseFriendDetail WxHostApi::获取好友详细_企业(const std::string& robot, const std::string& friendId) {
  return RecordFromAnswer<EFriend>(EnterpriseFriendRow(robot, friendId), "data.", kEnterpriseFriendFields);
}

void WxHostApi::获取朋友圈(const std::string& robot, const std::string& second, std::int32_t third,
                           std::vector<WxMomentItem>& moments) {
  ReplaceFromAnswer<WxMomentItem>(MomentsRow(robot, second, third), "pyq_list", kMomentFields, moments);
}

void WxHostApi::获取好友朋友圈(const std::string& robot, const std::string& friendId, const std::string& third,
                               std::int32_t fourth, std::vector<WxMomentItem>& moments) {
  ReplaceFromAnswer<WxMomentItem>(FriendMomentsRow(robot, friendId, third, fourth), "pyq_list", kMomentFields,
                                  moments);
}

// ---- Favourites, contact details, invitations and notices ----------------------------------

void WxHostApi::获取收藏列表(const std::string& robot, std::vector<WxFavouriteItem>& favourites) {
  ReplaceFromAnswer<Favourite>(FavouritesRow(robot), "data.items", kFavouriteFields, favourites);
}

WxContactDetail WxHostApi::wxid查详细信息(const std::string& robot, const std::string& wxid) {
  return RecordFromAnswer<Contact>(ContactByWxidRow(robot, wxid), "data.", kContactByWxidFields);
}

void WxHostApi::获取群成员邀请信息(const std::string& robot, const std::string& group,
                                   std::vector<WxGroupInviteInfo>& members) {
  ReplaceFromAnswer<Invite>(InvitationsRow(robot, group), "data.member_list", kInviteFields, members);
}

void WxHostApi::获取群公告列表(const std::string& robot, std::vector<WxGroupNotice>& notices) {
  ReplaceFromAnswer<Notice>(NoticesRow(robot), "data", kNoticeFields, notices);
}

}  // namespace zoq
