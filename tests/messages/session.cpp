#include "tests/messages/session.hpp"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "core/files/kept_times.hpp"
#include "text/text.hpp"

namespace zoq::testing {
namespace {

std::string Decimal(std::int64_t v) { return std::to_string(v); }
std::int64_t Number(Text s) { return s.empty() ? 0 : std::stoll(s); }
// Every `c` and backslash behind a backslash, as a writer of GBK texts
// does: the second byte of a double-byte character is no character.
std::string Escaped(Text s, char c) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); i += text::CharLength(s, i)) {
    if (s[i] == '\\' || s[i] == c) out += '\\';
    out.append(s, i, text::CharLength(s, i));
  }
  return out;
}

// ---- The numeric-event hosts. VLQ, OQ, SP, ER: Api_SendMsg (robot, kind,
// target, target, message, 0); MingQQ without the 0; XQ with its auth id;
// MyQQ: Api_SendMsgEx (robot, anonymous 0, kind, group, qq, message, 0).

template <const char* Dll, bool Zero = true>
FakeCall ClassicSend(int kind, Text group, Text sender, Text message) {
  const std::string& target = kind == 1 ? sender : group;
  FakeCall c{Dll, "Api_SendMsg", {kRobot, Decimal(kind), target, target, message, "0"}};
  if (!Zero) c.args.pop_back();
  return c;
}
constexpr char kVlq[] = "VLQapi.dll", kOq[] = "OQapi.dll", kSp[] = "SPapi.dll", kEr[] = "ERapi.dll",
               kMingQq[] = "MingQQAPI.DLL";
FakeCall XqSend(int kind, Text group, Text sender, Text message) {
  const std::string& target = kind == 1 ? sender : group;
  return {"xqapi.dll", "S3_Api_SendMsg", {kXqAuthIdHex, kRobot, Decimal(kind), target, target, message, "0"}};
}
FakeCall MyQqSend(int kind, Text group, Text sender, Text message) {
  return {"MyQQApi.DLL", "Api_SendMsgEx", {kRobot, "0", Decimal(kind), group, sender, message, "0"}};
}

// ---- ISky: information (with the auth code), kind, start; JSON events.

constexpr std::int32_t kIskyAuth = -77;

bool IskyStart(Session& s) {
  WriteFile(s.ApiFolder() + "fakehost.answers", FakeHostAnswerLine("Api_GetLoginQQ", kRobot));
  if (!s.Load()) return false;
  // Each export removes exactly its own argument words.
  const CallResult info = s.host().CallText("ISky_Information", {kIskyAuth});
  const CallResult kind = s.host().CallNumber("ISky_Initialization");
  const CallResult start = s.host().CallNumber("ISky_pluginStart");
  return info.text.starts_with("{\"id\":") && info.stackSkew == 0 && kind.number == 0 && kind.stackSkew == 0 &&
         start.number == 0 && start.stackSkew == 0;
}
MessageCall IskyMessage(Session&, int kind, Text group, Text sender, Text text) {
  const std::string json = "{\"isky\":{\"type\":" + Decimal(kind) + (kind == 1 ? "" : ",\"group_id\":" + group) +
                           ",\"user_id\":" + sender + ",\"msg\":\"" + Escaped(text, '"') + "\",\"msg_id\":7}}";
  return {"ISky_Get_New_Msg", {json}};
}
FakeCall IskySend(int kind, Text group, Text sender, Text message) {
  return IskyCall("Api_SendMsg", {Decimal(kind), kind == 2 ? group : "", kind == 1 ? sender : "", message, "1"});
}

// ---- The WeChat-style host: its Api.dll of the edition it names, in the
// folder its initialisation text gives; the robot logs in.

template <bool Pro>
bool WxStart(Session& s) {
  const std::string json = std::string("{\"AppName\":\"") + kWxApp + "\",\"FileName\":\"" + kWxFile +
                           "\",\"Version\":\"" + (Pro ? "VLW_Max" : "VLW") + "\",\"path\":\"" +
                           Escaped(s.host().folder() + "\\wxhost", '"') + "\",\"LogOutput\":1,\"F_Version\":\"9.9\"}";
  return s.Load() && s.host().CallNumber("Initialization", {std::string("ignored"), json}).number == 0 &&
         s.host().CallNumber("Enable").number == 0 &&
         s.host().CallNumber("Login", {std::int32_t(0), std::string(kRobot), std::int32_t(0)}).number == 0;
}
MessageCall WxMessage(Session&, int kind, Text group, Text sender, Text text) {
  const std::string robot(kRobot), none;
  const std::int32_t delivered = 1, zero = 0;
  if (kind == 1) return {"EventPrivateChat", {robot, delivered, sender, none, text, zero, zero}};
  return {"EventGroupChat", {robot, delivered, group, none, sender, none, text, none, zero, zero}};
}
template <bool Pro>
FakeCall WxSend(int kind, Text group, Text sender, Text message) {
  return WxCall(Pro, "SendTextMsg", {kind == 1 ? sender : group, message}, kRobot);
}

// ---- The function-table host: 初始化 hands over a real API table (the fake
// host's functions in the host process); events are packed records.

bool TableStart(Session& s) {
  Host& h = s.host();
  if (!s.Load() || !h.Preload(kTableDll)) return false;
  std::string table;
  for (const char* f : {"发送好友消息", "发送群消息", "发送频道消息", "发送频道私信消息", "撤回消息_群聊",
                        "撤回频道消息", "禁言群成员", "禁言频道成员", "删除群成员", "移除频道成员", "取频道用户资料"}) {
    table += (table.empty() ? "{\"" : ",\"") + std::string(f) + "\":" + Decimal(h.FunctionAddress(kTableDll, f));
  }
  const CallResult init = h.CallText("初始化", {table + "}", std::string(kTableKey)});
  return init.ok && init.stackSkew == 0 && h.CallNumber("ZOQ_KyOn").number == 0 &&
         h.CallNumber("ZOQ_ToTKeyEv", {Record(h, 68).Number(24, Number(kRobot)).Word(60, 31).Address()}).number == 0;
}
MessageCall TableMessage(Session& s, int kind, Text group, Text sender, Text text) {
  Record r(s.host(), 128);
  r.Number(0, Number(sender)).Number(8, Number(kRobot));
  if (kind == 1) return {"ZOQ_Frekey", {r.Word(16, 3).Number(44, 4).Text(68, text).Address()}};
  r.Word(16, -5).Number(24, Number(group)).Number(44, 9876543210123LL).Text(76, text);
  return {"ZOQ_FrFeSxKey", {r.Address()}};
}
FakeCall TableSend(int kind, Text group, Text sender, Text message) {
  if (kind == 1) return TableCall("发送好友消息", {kRobot, sender, message, "ptr", "ptr"});
  return TableCall("发送群消息", {kRobot, group, message, "0"});
}

const HostCase kHosts[] = {
    {"VLQ", "Event", 12, kVlq, 1101, 0, 0, ClassicSend<kVlq>},
    {"OQ", "OQ_Event", 12, kOq, 1101, 0, 0, ClassicSend<kOq>},
    {"XQ", "XQ_Event", 12, "xqapi.dll", 1101, 0, 0, XqSend},
    {"MingQQ", "MQEvent", 11, kMingQq, 1101, 0, 0, ClassicSend<kMingQq, false>},
    {"SP", "SP_Event", 11, kSp, 1101, 0, 0, ClassicSend<kSp>},
    {"ER", "ER_Event", 11, kEr, 1101, 0, 0, ClassicSend<kEr>},
    {"MyQQ", "MQ_Event", 11, "MyQQApi.DLL", 11001, 10, 1, MyQqSend},
    {"ISky", "", 0, "message.dll", 0, 0, 0, IskySend, IskyStart, IskyMessage},
    {"Table", "", 0, kTableDll, 0, 0, 0, TableSend, TableStart, TableMessage},
    {"WX", "", 0, "wx\\Api.dll", 0, 0, 0, WxSend<false>, WxStart<false>, WxMessage, "\\wxhost\\Bin"},
    {"WXpro", "", 0, "wx-pro\\Api.dll", 0, 0, 0, WxSend<true>, WxStart<true>, WxMessage, "\\wxhost\\Bin\\Bin"},
};

}  // namespace

FakeCall IskyCall(Text function, std::vector<std::string> args) {
  args.insert(args.begin(), Decimal(kIskyAuth));
  return {"message.dll", function, std::move(args)};
}
FakeCall TableCall(Text function, std::vector<std::string> args) {
  args.insert(args.begin(), kTableKey);
  return {kTableDll, function, std::move(args)};
}
FakeCall WxCall(bool pro, Text function, std::vector<std::string> args, const char* robot) {
  if (robot && pro) args.insert(args.begin(), robot);
  args.insert(args.begin(), {kWxFile, kWxApp});
  return {"Api.dll", function, std::move(args)};
}

std::span<const HostCase> NumericHostCases() { return {kHosts, 7}; }
std::span<const HostCase> AllHostCases() { return {kHosts, 10}; }
const HostCase& HostCaseNamed(Text name) {
  for (const HostCase& c : kHosts) {
    if (name == c.name) return c;
  }
  throw std::invalid_argument("no such host: " + name);
}
const HostCase& NumericHostCaseNamed(Text name) { return HostCaseNamed(name); }

bool IsSend(const HostCase& hc, const FakeCall& c, std::string* message) {
  for (int kind : {1, 2}) {
    // Where this host's send call of that kind carries the message.
    const FakeCall probe = hc.sendCall(kind, "g", "s", "\x01");
    const std::size_t at = std::find(probe.args.begin(), probe.args.end(), "\x01") - probe.args.begin();
    if (c.function != probe.function || at >= c.args.size()) continue;
    if (message) *message = c.args[at];
    return true;
  }
  return false;
}

std::string Library(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out;
  for (const auto& [keyword, reply] : entries) out += "[" + keyword + "]\r\n回复=" + reply + "\r\n";
  return out;
}

void EndWithKeptTimesHeld(const std::string& file) {
  std::thread([&] {
    const HANDLE lock = OpenMutexA(SYNCHRONIZE, FALSE, (KeptTimes::BlockNameFor(file) + "-lock").c_str());
    WaitForSingleObject(lock, INFINITE);
    CloseHandle(lock);
  }).join();
}

std::string LocalTimeTextIn(std::int64_t seconds) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER at{{now.dwLowDateTime, now.dwHighDateTime}};
  at.QuadPart += seconds * 10000000;
  const FILETIME then{at.LowPart, at.HighPart};
  FILETIME local;
  SYSTEMTIME t;
  FileTimeToLocalFileTime(&then, &local);
  FileTimeToSystemTime(&local, &t);
  char text[64];
  std::snprintf(text, sizeof text, "%d年%d月%d日%d时%d分%d秒", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return text;
}

Session::Session(Text runName, const HostCase& hc, const Files& files, const char* apiDll)
    : folder_(FreshRunFolder(runName)), case_(hc), host_(folder_) {
  const std::string dll = apiDll ? apiDll : hc.apiDll, below = hc.apiFolder;
  for (const std::string& d : {folder_ + "\\ZOQData", DataFile("")}) CreateDirectoryA(d.c_str(), nullptr);
  for (std::size_t at = 1; at <= below.size(); ++at) {
    if (at == below.size() || below[at] == '\\') CreateDirectoryA((folder_ + below.substr(0, at)).c_str(), nullptr);
  }
  if (!dll.empty()) {
    CopyFileA((FakeHostFolder() + "\\" + dll).c_str(), (ApiFolder() + dll.substr(dll.rfind('\\') + 1)).c_str(), FALSE);
  }
  for (const auto& [name, bytes] : files) WriteFile(DataFile(name), bytes);
}

std::string Session::DataFile(Text name) const { return folder_ + "\\ZOQData\\ZOQ-F-关键词\\" + name; }

namespace {
// Where every session's clock starts (a Saturday).
void SetStartClock(Session& s) { s.SetClock(2026, 12, 5, 17, 46, 29); }
}  // namespace

bool Session::Load() {
  if (!host_.Load()) return false;
  SetStartClock(*this);
  if (std::string(case_.name) != "XQ") return true;
  // XQ: its API DLL is loaded by the host; the information request binds it
  // and the auth id comes with its own export.
  if (!host_.Preload(case_.apiDll) || !host_.CallText("XQ_Create", {std::string()}).ok) return false;
  if (!host_.CallVoid("XQ_AuthId", {std::int32_t(65535), std::int32_t(7)}).ok) return false;
  TakeCalls();  // binding asks the host's version: not part of any transcript
  return true;
}

bool Session::LoadBeside(Text dll) {
  const std::string copy = "compared.dll";
  if (!CopyFileA(dll.c_str(), (host_.folder() + "\\" + copy).c_str(), FALSE) ||
      host_.Command("load " + Hex(copy)) != "ok") {
    return false;
  }
  SetStartClock(*this);
  return true;
}

std::vector<Arg> Session::EventArgs(std::int32_t code, Text group, Text sender, Text text, Text robot) const {
  std::vector<Arg> args{robot, code, std::int32_t(0), group, sender, std::string(), text, std::string("idB"),
                        std::string("idA"), std::string()};
  if (case_.words == 12) args.push_back(std::string());
  args.push_back(std::int32_t(0));
  return args;
}

CallResult Session::Event(std::int32_t code, Text group, Text sender, Text text, Text robot) {
  return host_.CallNumber(case_.eventExport, EventArgs(code, group, sender, text, robot));
}

bool Session::Start() {
  if (case_.start) return case_.start(*this);
  return Load() && Event(12000).number == case_.lifecycleResult && Event(case_.accountCode).ok;
}

namespace {
MessageCall CallOf(Session& s, int kind, Text group, Text sender, Text text) {
  const HostCase& hc = s.hostCase();
  if (hc.message) return hc.message(s, kind, group, sender, text);
  return {hc.eventExport, s.EventArgs(kind, group, sender, text)};
}
}  // namespace

CallResult Session::Message(int kind, Text group, Text sender, Text text) {
  const MessageCall call = CallOf(*this, kind, group, sender, text);
  return host_.CallNumber(call.exportName, call.args);
}

bool Session::Groups(const std::vector<std::string>& texts, Text group, Text sender) {
  if (texts.empty()) return true;
  std::vector<std::vector<Arg>> sets;
  std::string exportName;
  for (const std::string& text : texts) {
    MessageCall call = CallOf(*this, 2, group, sender, text);
    exportName = call.exportName;
    sets.push_back(std::move(call.args));
  }
  const long calls = static_cast<long>(texts.size());
  return host_.Storm(1, calls, exportName, sets) && host_.Wait() == std::pair{calls, 0L};
}

void Session::SetClock(int year, int month, int day, int hour, int minute, int second) {
  // Only the date matters to the weekday-free tests: Saturday is as good as any.
  host_.SetClock(1000, year, month, day, 6, hour, minute, second);
}

std::vector<FakeCall> Session::TakeCalls() {
  const std::vector<FakeCall> all = ParseFakeHostLog(ReadFile(ApiFolder() + "fakehost.log"));
  std::vector<FakeCall> fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(seen_, all.size())), all.end());
  seen_ = all.size();
  return fresh;
}

Sent Session::TakeSent() {
  Sent sent;
  std::string message;
  for (const FakeCall& c : TakeCalls()) {
    if (IsSend(case_, c, &message)) sent.push_back(message);
  }
  return sent;
}

}  // namespace zoq::testing
