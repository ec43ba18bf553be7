#include "core/hosts.hpp"

#include "json/wide_document.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

std::string Robot() { return Plugin().RobotAccount(); }
// The function-table host takes numbers: a text that is no number gives 0.
std::int64_t Number(const std::string& s) { return text::ReadWholeNumber(s); }
std::int32_t Low32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }
bool IsGuild(const MessageRecord& r) { return r.kind == MessageKind::Channel || r.kind == MessageKind::ChannelDirect; }

// ---- The classic hosts, XQ and MyQQ: the robot, the group and the rest as texts.

template <auto Member>
struct Classic {
  static void Send(HostAdapters& h, const MessageRecord& r, const std::string& m) {
    if (r.kind == MessageKind::Private) (h.*Member).SendPrivateMessage(Robot(), r.sender, m);
    else (h.*Member).SendGroupMessage(Robot(), r.group, m);
  }
};

template <auto Member>
struct TextActions {
  static void Mute(HostAdapters& h, const MessageRecord& r, std::int32_t seconds) {
    (h.*Member).MuteMember(Robot(), r.group, r.sender, seconds);
  }
  static void Recall(HostAdapters& h, const MessageRecord& r) {
    (h.*Member).RecallMessage(Robot(), r.group, r.idB, r.idA);
  }
  static void Kick(HostAdapters& h, const MessageRecord& r) { (h.*Member).KickMember(Robot(), r.group, r.sender, 0); }
};

// XQ takes the one number twice: the sender, or the group.
void XqSend(HostAdapters& h, const MessageRecord& r, const std::string& m) {
  const std::string& target = r.kind == MessageKind::Private ? r.sender : r.group;
  h.xq.SendMessage(Robot(), static_cast<std::int32_t>(r.kind), target, target, m);
}

// MyQQ: an ordinary message (form 0), not anonymous.
void MyQqSend(HostAdapters& h, const MessageRecord& r, const std::string& m) {
  h.myqq.SendMessage(Robot(), static_cast<std::int32_t>(r.kind), r.group, r.sender, m, 0, 0, 0);
}

// ---- ISky: no robot; the ids as the host gave them.

void IskySend(HostAdapters& h, const MessageRecord& r, const std::string& m) {
  if (r.kind == MessageKind::Private) h.isky.SendPrivateMessage(r.sender, m);
  else h.isky.SendGroupMessage(r.group, m);
}
void IskyMute(HostAdapters& h, const MessageRecord& r, std::int32_t seconds) {
  h.isky.MuteMember(r.group, r.sender, seconds);
}
void IskyRecall(HostAdapters& h, const MessageRecord& r) { h.isky.RecallMessage(Low32(Number(r.idA))); }
void IskyKick(HostAdapters& h, const MessageRecord& r) { h.isky.KickMember(r.group, r.sender, false); }

// ---- The function-table host: 64-bit numbers; guild records through the
// channel operations, group records through the group ones.

void TableSend(HostAdapters& h, const MessageRecord& r, const std::string& m) {
  TableHostApi& t = h.table;
  const std::int64_t robot = Number(Robot());
  switch (r.kind) {
    case MessageKind::Private: t.SendPrivateMessage(robot, Number(r.sender), m); break;
    case MessageKind::Group: t.SendGroupMessage(robot, Number(r.group), m, false); break;
    case MessageKind::Channel: t.SendChannelMessage(robot, Number(r.group), r.subchannel, m); break;
    case MessageKind::ChannelDirect: t.SendChannelDirectMessage(robot, Number(r.group), r.subchannel, m); break;
  }
}
void TableMute(HostAdapters& h, const MessageRecord& r, std::int32_t seconds) {
  const std::int64_t robot = Number(Robot()), group = Number(r.group), sender = Number(r.sender);
  if (r.kind == MessageKind::Group) h.table.MuteMember(robot, group, sender, seconds);
  if (IsGuild(r)) h.table.MuteChannelMember(robot, group, sender, seconds);
}
void TableRecall(HostAdapters& h, const MessageRecord& r) {
  const std::int64_t robot = Number(Robot()), group = Number(r.group);
  const std::int32_t idA = Low32(Number(r.idA));
  if (r.kind == MessageKind::Group) h.table.RecallMessage(robot, group, Number(r.idB), idA);
  if (IsGuild(r)) h.table.RecallChannelMessage(robot, group, r.subchannel, idA);
}
void TableKick(HostAdapters& h, const MessageRecord& r) {
  const std::int64_t robot = Number(Robot()), group = Number(r.group), sender = Number(r.sender);
  if (r.kind == MessageKind::Group) h.table.KickMember(robot, group, sender, false);
  if (IsGuild(r)) h.table.KickChannelMember(robot, group, sender, false);
}

// ---- The WeChat-style host: wxid texts; a message of an enterprise account
// (flag 1) is answered through the enterprise send, one of another (flag 0)
// through the plain one; a message with any other flag is not answered.

void WxSend(HostAdapters& h, const MessageRecord& r, const std::string& m) {
  const std::string& target = r.kind == MessageKind::Private ? r.sender : r.group;
  if (r.enterprise == 1) h.wx.SendEnterpriseTextMessage(Robot(), target, m);
  else if (r.enterprise == 0) h.wx.SendTextMessage(Robot(), target, m);
}
void WxKick(HostAdapters& h, const MessageRecord& r) { h.wx.KickMember(Robot(), r.group, r.sender); }

void Nothing(HostAdapters&, const MessageRecord&) {}
void NoSend(HostAdapters&, const MessageRecord&, const std::string&) {}
void NoMute(HostAdapters&, const MessageRecord&, std::int32_t) {}

// The pieces between CR LF; the last piece counts only when it is not empty.
std::vector<std::string> CrLfPieces(const std::string& answer) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t end; (end = answer.find("\r\n", start)) != std::string::npos; start = end + 2) {
    pieces.push_back(answer.substr(start, end - start));
  }
  if (start < answer.size()) pieces.push_back(answer.substr(start));
  return pieces;
}

// The function-table host's "QQlist": one member per account, named by the
// account; those whose "登录状态" is "未登录" are not on line.
std::vector<std::string> TableAccounts(const std::string& answer) {
  json::WideJsonDocument document;
  document.Load(answer);
  std::vector<std::string> accounts;
  const std::int32_t n = document.GetCount("QQlist");
  for (std::int32_t i = 0; i < n; ++i) {
    const std::string member = "QQlist[" + std::to_string(i) + "]";
    if (document.GetText(member + ".登录状态") != "未登录") accounts.push_back(document.GetName(member));
  }
  return accounts;
}


std::vector<std::string> NoAccounts(HostAdapters&) { return {}; }

// ISky: the login account, when it is a number of 5 digits or more.
std::vector<std::string> IskyAccounts(HostAdapters& h) {
  std::string account = h.isky.GetLoginAccount();
  if (account.size() > 4) return {account};
  return {};
}

std::vector<std::string> TableOnline(HostAdapters& h) { return TableAccounts(h.table.GetOnlineAccounts()); }

template <auto Member>
std::vector<std::string> ListedAccounts(HostAdapters& h) {
  return CrLfPieces((h.*Member).GetOnlineAccounts());
}

// The WeChat-style host: a host whose version says "VLW-" lists its accounts,
// another one names its one logged-in account.
std::vector<std::string> WxAccounts(HostAdapters& h) {
  if (h.wx.GetFrameVersion().find("VLW-") == std::string::npos) {
    std::string account = h.wx.GetLoginAccount();
    if (account.size() > 1) return {account};
    return {};
  }
  std::vector<WxAccountRecord> records;
  h.wx.GetAccountList(records);
  std::vector<std::string> accounts;
  for (const WxAccountRecord& r : records) accounts.push_back(r.wxid);
  return accounts;
}

// Asked for the robot's account (the settings window), for the accounts of
// the account chooser before one is taken, and for a sender once the robot's
// account is known (the reply's avatar variables): until an account is
// taken, the account asked about stands for the robot too.
std::string WxAvatarAddress(HostAdapters& h, const std::string& account) {
  const PluginState& p = Plugin();
  return h.wx.GetAvatarUrl(p.AccountStarted() ? p.RobotAccount() : account, account);
}

constexpr std::string_view kPic = "[pic=", kVoi = "[voi=";

template <auto Member>
HostProfile ClassicProfile(std::int32_t type, const ClassicHostConfig& config) {
  using A = TextActions<Member>;
  return {type,       config.mentionPrefix, {},       kPic,     kPic,
          kVoi,       kVoi,                 false,    "]",      &Classic<Member>::Send,
          &A::Mute,   &A::Recall,           &A::Kick, &ListedAccounts<Member>, nullptr,
          {},         {},                   DeliveredMedia::BracedId};
}

using XqActions = TextActions<&HostAdapters::xq>;
using MyQqActions = TextActions<&HostAdapters::myqq>;

const HostProfile kProfiles[] = {
    {kHostNone, {}, {}, {}, {}, {}, {}, false, "]", &NoSend, &NoMute, &Nothing, &Nothing, &NoAccounts, nullptr},
    {kHostIsky, "[CQ:at,qq=", {}, "[CQ:image,file=", "[CQ:image,file=file:///", "[CQ:record,file=",
     "[CQ:record,file=file:///", false, ",cache=0]", &IskySend, &IskyMute, &IskyRecall, &IskyKick, &IskyAccounts,
     nullptr, "&#91;", "&#93;", DeliveredMedia::CqCodes, {}, true},
    {kHostTable, "[@", {}, "[picFile,path=", "[picFile,path=", "[AudioFile,path=", "[AudioFile,path=", true, "]",
     &TableSend, &TableMute, &TableRecall, &TableKick, &TableOnline, nullptr, {}, {}, DeliveredMedia::None, {}, true},
    ClassicProfile<&HostAdapters::vlq>(kHostVlq, kVlqHost),
    {kHostWx, {}, "{提示} ", kPic, kPic, kVoi, kVoi, true, "]", &WxSend, &NoMute, &Nothing, &WxKick, &WxAccounts,
     &WxAvatarAddress, {}, {}, DeliveredMedia::None, "{提示}"},
    {kHostXq, "[@", {}, kPic, kPic, kVoi, kVoi, false, "]", &XqSend, &XqActions::Mute, &XqActions::Recall,
     &XqActions::Kick, &ListedAccounts<&HostAdapters::xq>, nullptr, {}, {}, DeliveredMedia::BracedId},
    ClassicProfile<&HostAdapters::oq>(kHostOq, kOqHost),
    ClassicProfile<&HostAdapters::mingqq>(kHostMingQq, kMingQqHost),
    ClassicProfile<&HostAdapters::sp>(kHostSp, kSpHost),
    ClassicProfile<&HostAdapters::er>(kHostEr, kErHost),
    {kHostMyQq, "[@", {}, kPic, kPic, kVoi, kVoi, true, "]", &MyQqSend, &MyQqActions::Mute, &MyQqActions::Recall,
     &MyQqActions::Kick, &ListedAccounts<&HostAdapters::myqq>, nullptr, {}, {}, DeliveredMedia::BracedId},
};

}  // namespace

ZOQ_HOT HostAdapters& Hosts() { return *Plugin().Adapters; }

ZOQ_HOT const HostProfile& HostProfileOf(std::int32_t hostType) {
  for (const HostProfile& p : kProfiles)
    if (p.hostType == hostType) return p;
  return kProfiles[0];
}

ZOQ_HOT const HostProfile& ActiveHost() { return HostProfileOf(Plugin().HostType); }
const HostProfile& GuildHost() { return HostProfileOf(kHostTable); }
std::span<const HostProfile> HostProfiles() { return kProfiles; }

std::vector<std::string> OnlineAccounts() { return ActiveHost().accounts(Hosts()); }

}  // namespace zoq
