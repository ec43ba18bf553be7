// A host process with the real plug-in and one host's fake API DLL, driven
// through that host's numeric event export: the shared bench of the message
// path's end-to-end tests and of its benchmark.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tests/fakehost/fakehost_client.hpp"
#include "tests/host/harness.hpp"

namespace zoq::testing {

inline constexpr const char* kRobot = "20001";
inline constexpr const char* kOwner = "30001";

// One host of the numeric-event family as the tests see it.
struct NumericHostCase {
  const char* name;         // for test names and run folders
  const char* eventExport;  // the event export
  int words;                // its argument words: 12 or 11
  const char* apiDll;       // the fake API DLL to put beside the host
  std::int32_t accountCode;
  std::int32_t lifecycleResult;  // what enable and disable return
  std::int32_t handledOffset;    // added to the handler's 0 or 1
  // The host call that sends `message` to `target` (kind 1 private, 2 group).
  FakeCall (*sendCall)(int kind, const std::string& group, const std::string& sender, const std::string& message);
};

inline void PrintTo(const NumericHostCase& c, std::ostream* os) { *os << c.name; }

const std::vector<NumericHostCase>& NumericHostCases();
const NumericHostCase& NumericHostCaseNamed(const std::string& name);

// The XQ auth id the sessions hand over: (65535, 7) -> bytes ff ff ff ff 07 00 00 00.
inline constexpr const char* kXqAuthIdHex = "ffffffff07000000";

class Session {
 public:
  // A fresh run folder with the host, the plug-in and the host's fake API
  // DLL; `files` are written into the data folder before anything runs
  // (name, bytes), so they stand instead of the defaults.
  Session(const std::string& runName, const NumericHostCase& hc,
          const std::vector<std::pair<std::string, std::string>>& files = {});

  Host& host() { return host_; }
  const NumericHostCase& hostCase() const { return case_; }
  std::string DataFile(const std::string& name) const;

  // Loads the plug-in and, for XQ, binds the API and hands over the auth id.
  bool Load();
  // The export that Load needed and the plug-in does not have, if any.
  CallResult Event(std::int32_t code, const std::string& group = {}, const std::string& sender = {},
                   const std::string& text = {}, const std::string& robot = kRobot);
  // Load, enable (12000) and take the robot account.
  bool Start();
  CallResult Private(const std::string& text, const std::string& sender = kOwner) {
    return Event(1, {}, sender, text);
  }
  CallResult Group(const std::string& text, const std::string& group = "111", const std::string& sender = kOwner) {
    return Event(2, group, sender, text);
  }
  void SetClock(int year, int month, int day, int hour, int minute, int second);

  // The host calls recorded since the last time they were taken.
  std::vector<FakeCall> TakeCalls();
  // The messages sent since then, in order.
  std::vector<std::string> TakeSent();

 private:
  std::string folder_;
  const NumericHostCase& case_;
  Host host_;
  std::size_t seen_ = 0;
};

// The text of a library file: each (keyword, reply) a section with 回复.
std::string Library(const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace zoq::testing
