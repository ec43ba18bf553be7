#include "tests/messages/session.hpp"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

namespace zoq::testing {
namespace {

std::string Decimal(int v) { return std::to_string(v); }

// VLQ, OQ, SP, ER: Api_SendMsg (robot, kind, target, target, message, 0).
FakeCall ClassicSend(const char* dll, int kind, const std::string& group, const std::string& sender,
                     const std::string& message) {
  const std::string& target = kind == 1 ? sender : group;
  return {dll, "Api_SendMsg", {kRobot, Decimal(kind), target, target, message, "0"}};
}

template <const char* Dll>
FakeCall ClassicSendOf(int kind, const std::string& group, const std::string& sender, const std::string& message) {
  return ClassicSend(Dll, kind, group, sender, message);
}

constexpr char kVlqDll[] = "VLQapi.dll";
constexpr char kOqDll[] = "OQapi.dll";
constexpr char kSpDll[] = "SPapi.dll";
constexpr char kErDll[] = "ERapi.dll";

FakeCall MingQqSend(int kind, const std::string& group, const std::string& sender, const std::string& message) {
  FakeCall c = ClassicSend("MingQQAPI.DLL", kind, group, sender, message);
  c.args.pop_back();  // MingQQ's Api_SendMsg has no trailing 0
  return c;
}

FakeCall XqSend(int kind, const std::string& group, const std::string& sender, const std::string& message) {
  const std::string& target = kind == 1 ? sender : group;
  return {"xqapi.dll", "S3_Api_SendMsg", {kXqAuthIdHex, kRobot, Decimal(kind), target, target, message, "0"}};
}

// MyQQ: Api_SendMsgEx (robot, anonymous 0, kind, group, qq, message, 0).
FakeCall MyQqSend(int kind, const std::string& group, const std::string& sender, const std::string& message) {
  return {"MyQQApi.DLL", "Api_SendMsgEx", {kRobot, "0", Decimal(kind), group, sender, message, "0"}};
}

}  // namespace

const std::vector<NumericHostCase>& NumericHostCases() {
  static const std::vector<NumericHostCase> cases{
      {"VLQ", "Event", 12, kVlqDll, 1101, 0, 0, ClassicSendOf<kVlqDll>},
      {"OQ", "OQ_Event", 12, kOqDll, 1101, 0, 0, ClassicSendOf<kOqDll>},
      {"XQ", "XQ_Event", 12, "xqapi.dll", 1101, 0, 0, XqSend},
      {"MingQQ", "MQEvent", 11, "MingQQAPI.DLL", 1101, 0, 0, MingQqSend},
      {"SP", "SP_Event", 11, kSpDll, 1101, 0, 0, ClassicSendOf<kSpDll>},
      {"ER", "ER_Event", 11, kErDll, 1101, 0, 0, ClassicSendOf<kErDll>},
      {"MyQQ", "MQ_Event", 11, "MyQQApi.DLL", 11001, 10, 1, MyQqSend},
  };
  return cases;
}

const NumericHostCase& NumericHostCaseNamed(const std::string& name) {
  for (const NumericHostCase& c : NumericHostCases()) {
    if (name == c.name) return c;
  }
  throw std::invalid_argument("no such host: " + name);
}

std::string Library(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out;
  for (const auto& [keyword, reply] : entries) out += "[" + keyword + "]\r\n回复=" + reply + "\r\n";
  return out;
}

Session::Session(const std::string& runName, const NumericHostCase& hc,
                 const std::vector<std::pair<std::string, std::string>>& files)
    : folder_(FreshRunFolder(runName)), case_(hc), host_(folder_, {hc.apiDll}) {
  if (files.empty()) return;
  CreateDirectoryA((folder_ + "\\ZOQData").c_str(), nullptr);
  CreateDirectoryA((folder_ + "\\ZOQData\\ZOQ-F-关键词").c_str(), nullptr);
  for (const auto& [name, bytes] : files) WriteFile(DataFile(name), bytes);
}

std::string Session::DataFile(const std::string& name) const { return folder_ + "\\ZOQData\\ZOQ-F-关键词\\" + name; }

bool Session::Load() {
  if (!host_.Load()) return false;
  SetClock(2026, 12, 5, 17, 46, 29);
  if (std::string(case_.name) != "XQ") return true;
  // XQ: its API DLL is loaded by the host; the information request binds it
  // and the auth id comes with its own export.
  if (!host_.Preload(case_.apiDll)) return false;
  if (!host_.CallText("XQ_Create", {std::string()}).ok) return false;
  if (!host_.CallVoid("XQ_AuthId", {std::int32_t(65535), std::int32_t(7)}).ok) return false;
  TakeCalls();  // binding asks the host's version: not part of any transcript
  return true;
}

CallResult Session::Event(std::int32_t code, const std::string& group, const std::string& sender,
                          const std::string& text, const std::string& robot) {
  std::vector<Arg> args{robot, code, std::int32_t(0), group, sender, std::string(), text, std::string("idB"),
                        std::string("idA"), std::string()};
  if (case_.words == 12) args.push_back(std::string());
  args.push_back(std::int32_t(0));
  return host_.CallNumber(case_.eventExport, args);
}

bool Session::Start() {
  return Load() && Event(12000).number == case_.lifecycleResult && Event(case_.accountCode).ok;
}

void Session::SetClock(int year, int month, int day, int hour, int minute, int second) {
  // Only the date matters to the weekday-free tests: Saturday is as good as any.
  host_.SetClock(1000, year, month, day, 6, hour, minute, second);
}

std::vector<FakeCall> Session::TakeCalls() {
  const std::vector<FakeCall> all = ParseFakeHostLog(ReadFile(folder_ + "\\fakehost.log"));
  std::vector<FakeCall> fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(seen_, all.size())), all.end());
  seen_ = all.size();
  return fresh;
}

std::vector<std::string> Session::TakeSent() {
  // Where this host's send call carries the message.
  const FakeCall probe = case_.sendCall(1, "g", "s", "\x01");
  std::size_t at = 0;
  while (at < probe.args.size() && probe.args[at] != "\x01") ++at;
  std::vector<std::string> sent;
  for (const FakeCall& c : TakeCalls()) {
    if (c.function == probe.function && at < c.args.size()) sent.push_back(c.args[at]);
  }
  return sent;
}

}  // namespace zoq::testing
