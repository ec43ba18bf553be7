// A host process with the real plug-in and one host's fake API, driven
// through that host's own exports: the shared bench of the message path's
// end-to-end tests and of its benchmark. Each of the ten hosts is a row of
// HostCase: how it starts, delivers a message and sends.
#pragma once
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tests/colliding_names.hpp"
#include "tests/fakehost/fakehost_client.hpp"
#include "tests/host/harness.hpp"

namespace zoq::testing {

inline constexpr const char* kRobot = "20001";
inline constexpr const char* kOwner = "30001";
// The XQ auth id the sessions hand over: (65535, 7) -> bytes ff ff ff ff 07 00 00 00.
inline constexpr const char* kXqAuthIdHex = "ffffffff07000000";

using Text = const std::string&;
using Files = std::vector<std::pair<std::string, std::string>>;
using Sent = std::vector<std::string>;
class Session;

// The export that delivers a message and its arguments.
struct MessageCall {
  std::string exportName;
  std::vector<Arg> args;
};

struct HostCase {
  const char* name;         // for test names and run folders
  const char* eventExport;  // the numeric event export; "" for the other hosts
  int words;                // its argument words: 12 or 11
  const char* apiDll;       // the fake API DLL, below the fake host folder
  std::int32_t accountCode;
  std::int32_t lifecycleResult;  // what enable and disable return
  std::int32_t handledOffset;    // added to the handler's 0 or 1
  // The host call that sends `message` (kind 1 private to `sender`, 2 to `group`).
  FakeCall (*sendCall)(int kind, Text group, Text sender, Text message);
  // The hosts without numeric events: how each starts and delivers a message.
  bool (*start)(Session&) = nullptr;
  MessageCall (*message)(Session&, int kind, Text group, Text sender, Text text) = nullptr;
  const char* apiFolder = "";  // where the host keeps its API, below its folder
};
inline void PrintTo(const HostCase& c, std::ostream* os) { *os << c.name; }

// The seven hosts of numeric events, and all ten (the WeChat-style host in
// its basic edition; "WXpro" names the professional one).
std::span<const HostCase> NumericHostCases();
std::span<const HostCase> AllHostCases();
const HostCase& HostCaseNamed(Text name);
const HostCase& NumericHostCaseNamed(Text name);
// Whether `call` is a send of the host; `message`: what it sends.
bool IsSend(const HostCase& hc, const FakeCall& call, std::string* message = nullptr);

// Calls of the ISky host (its auth code first), the function-table host (its
// plug-in key first) and the WeChat-style host (its identity first and, for
// a function with a robot in the professional edition, the robot).
inline constexpr const char* kTableDll = "tablehost.dll";
inline constexpr const char* kTableKey = "KEY";
inline constexpr const char* kWxApp = "微信框架";
inline constexpr const char* kWxFile = "wx.exe";
FakeCall IskyCall(Text function, std::vector<std::string> args);
FakeCall TableCall(Text function, std::vector<std::string> args);
FakeCall WxCall(bool pro, Text function, std::vector<std::string> args, const char* robot = nullptr);

class Session {
 public:
  // A fresh run folder with the host, the plug-in and the host's fake API
  // (`apiDll` in place of the case's own: "" for none); `files` are written
  // into the data folder before anything runs.
  Session(Text runName, const HostCase& hc, const Files& files = {}, const char* apiDll = nullptr);

  Host& host() { return host_; }
  const HostCase& hostCase() const { return case_; }
  std::string DataFile(Text name) const;
  std::string ApiFolder() const { return folder_ + case_.apiFolder + "\\"; }

  bool Load();  // the plug-in, the clock and, for XQ, the API bound and the auth id
  // Another build of the plug-in (a DLL file), copied into the run folder and
  // loaded beside the first with the same clock; the calls go to it until the
  // host's "use" command turns them (benchmarks comparing builds).
  bool LoadBeside(Text dll);
  CallResult Event(std::int32_t code, Text group = {}, Text sender = {}, Text text = {}, Text robot = kRobot);
  std::vector<Arg> EventArgs(std::int32_t code, Text group = {}, Text sender = {}, Text text = {},
                             Text robot = kRobot) const;  // the numeric event's arguments
  bool Start();  // loads the plug-in, enables it, hands over the robot account
  // A message of kind 1 (private) or 2 (group): the export's result.
  CallResult Message(int kind, Text group, Text sender, Text text);
  CallResult Private(Text text, Text sender = kOwner) { return Message(1, {}, sender, text); }
  CallResult Group(Text text, Text group = "111", Text sender = kOwner) { return Message(2, group, sender, text); }
  // Group messages `texts`, one after the other, handed to the host in one
  // command: whether it made every call.
  bool Groups(const std::vector<std::string>& texts, Text group = "111", Text sender = kOwner);
  void SetClock(int year, int month, int day, int hour, int minute, int second);

  // The host calls since the last time they were taken; the messages sent.
  std::vector<FakeCall> TakeCalls();
  Sent TakeSent();

 private:
  std::string folder_;
  const HostCase& case_;
  Host host_;
  std::size_t seen_ = 0;
};

// A packed event record of the function-table host in the host's memory:
// 64-bit numbers, 32-bit words and addresses of texts at their offsets (an
// address a whole word: in the x86-64 build it takes the 4 unused bytes
// after its place too).
class Record {
 public:
  Record(Host& host, std::size_t size) : host_(host), bytes_(size, '\0') {}
  Record& Number(std::size_t at, std::int64_t v) { return Put(at, &v, 8); }
  Record& Word(std::size_t at, std::int32_t v) { return Put(at, &v, 4); }
  Record& Text(std::size_t at, const std::string& s) {
    const std::uintptr_t address = host_.Block(s);
    return Put(at, &address, sizeof address);
  }
  testing::Address Address() const { return {host_.Block(bytes_)}; }

 private:
  Record& Put(std::size_t at, const void* v, std::size_t size) {
    bytes_.replace(at, size, static_cast<const char*>(v), size);
    return *this;
  }
  Host& host_;
  std::string bytes_;
};

// The text of a library file: each (keyword, reply) a section with 回复.
std::string Library(const std::vector<std::pair<std::string, std::string>>& entries);

// The machine's local date and time `seconds` from now, as a time of SAVE
// ("2026年12月5日17时46分29秒", every part written).
std::string LocalTimeTextIn(std::int64_t seconds);


// Another process that ends while it holds the kept cool-down times of SAVE
// `file` (a thread of this one, as the lock sees it): the next holder finds
// the table as that process may have left it, and makes it whole.
void EndWithKeptTimesHeld(const std::string& file);

}  // namespace zoq::testing
