// A host that loads, starts, uses, stops and frees the plug-in over and
// over keeps nothing of it: after the first cycles, its handles (of every
// kind), thread-local and fiber-local storage slots and threads stay the
// same from one cycle to the next, and its heap and private memory stop
// growing; its handles also where each reply is fetched from the web. The
// cycles run in unloadcycles.exe, beside the real DLL and the host's fake
// API, in a run folder of their own.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/host/harness.hpp"
#include "tests/web/web_server.hpp"

namespace zoq::testing {
namespace {

// What unloadcycles.exe measured after one cycle.
struct Cycle {
  std::map<std::string, long long> values;  // loaded, replies, handles, tls, fls, heap, private, threads
  std::map<std::string, long long> kinds;   // handles by kind
};

// The lines that begin with `head` (a cycle's, or a long run's samples).
std::vector<Cycle> Parse(const std::string& output, const std::string& head = "cycle ") {
  std::vector<Cycle> cycles;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with(head)) continue;
    std::istringstream words(line);
    std::string name, value;
    Cycle c;
    while (words >> name >> value) {
      if (name != "kinds") {
        c.values[name] = std::stoll(value);
        continue;
      }
      std::istringstream kinds(value);
      for (std::string kind; std::getline(kinds, kind, ',');) {
        const std::size_t eq = kind.rfind('=');
        c.kinds[kind.substr(0, eq)] = std::stoll(kind.substr(eq + 1));
      }
    }
    cycles.push_back(c);
  }
  return cycles;
}

// Runs `command` in `folder`; its standard output.
std::string RunProgram(const std::string& folder, std::string command) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  CreatePipe(&read, &write, &sa, 0);
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &si, &pi);
  CloseHandle(write);
  std::string output;
  char chunk[4096];
  for (DWORD n = 0; started && ::ReadFile(read, chunk, sizeof chunk, &n, nullptr) && n > 0;) output.append(chunk, n);
  CloseHandle(read);
  if (started) {
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  return output;
}

constexpr int kWarmUp = 20;  // the first cycles may still fill caches
constexpr int kCycles = 120;

// A run folder with unloadcycles.exe, the plug-in and the host's fake API.
std::string UnloadFolder(const std::string& name, const std::string& api) {
  const std::string folder = FreshRunFolder(name);
  for (const std::string& file : {std::string("unloadcycles.exe"), PluginFileName()}) {
    CopyFileA((BinFolder() + "\\" + file).c_str(), (folder + "\\" + file).c_str(), FALSE);
  }
  CopyFileA((FakeHostFolder() + "\\" + api).c_str(), (folder + "\\" + api).c_str(), FALSE);
  return folder;
}

TEST(LoadUnloadCycles, LeaveNothingBehindInTheHostProcess) {
  WebServer web;
  web.Serve("/t", Utf8(u8"好"));  // web texts are UTF-8
  const struct {
    const char* name;
    const char* host;
    const char* api;  // the host's fake API DLL
    const char* answers;
    std::string reply;
    // Whether a reply fetches its text. Then only the handles and slots are
    // compared: the system's thread pool, which a request's lookup waits in,
    // keeps its workers a while, and Wine's WinInet keeps 512 bytes of the
    // look at the proxy settings that each load makes.
    bool web;
  } cases[] = {
      {"vlq", "vlq", "VLQapi.dll", "", "好", false},
      {"isky", "isky", "message.dll", "Api_GetLoginQQ\t20001\n", "好", false},
      {"vlq-web", "vlq", "VLQapi.dll", "", "[文接口=" + web.base() + "/t]", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = UnloadFolder(std::string("unload-") + c.name, c.api);
    WriteFile(folder + "\\fakehost.answers", c.answers);
    CreateDirectoryA((folder + "\\ZOQData").c_str(), nullptr);
    CreateDirectoryA((folder + "\\ZOQData\\ZOQ-F-关键词").c_str(), nullptr);
    WriteFile(folder + "\\ZOQData\\ZOQ-F-关键词\\SayZ.ini", "[你好]\r\n回复=" + c.reply + "\r\n");

    // A message from the host's thread and one from a thread of its own in
    // each cycle.
    const std::string output = RunProgram(folder, "\"" + folder + "\\unloadcycles.exe\" \"" + PluginFileName() +
                                                      "\" " + std::to_string(kCycles) + " " + c.host + " threads");
    const std::vector<Cycle> cycles = Parse(output);
    ASSERT_EQ(cycles.size(), static_cast<std::size_t>(kCycles + 1))
        << "the output ends: " << output.substr(output.size() > 400 ? output.size() - 400 : 0);
    for (int n = 1; n <= kCycles; ++n) {
      ASSERT_EQ(cycles[n].values.at("loaded"), 0) << "cycle " << n;
      ASSERT_EQ(cycles[n].values.at("replies"), 2) << "cycle " << n;
    }
    const Cycle &first = cycles[kWarmUp], &middle = cycles[(kWarmUp + kCycles) / 2], &last = cycles[kCycles];
    for (const char* measure : {"handles", "tls", "fls", "threads"}) {
      if (c.web && measure == std::string("threads")) continue;
      EXPECT_EQ(last.values.at(measure), first.values.at(measure)) << measure;
    }
    EXPECT_EQ(last.kinds, first.kinds);
    // Memory may grow once (a cache the system fills late), but not in both
    // halves: something kept in every cycle would.
    for (const char* measure : {"heap", "private"}) {
      if (c.web) break;
      const long long before = middle.values.at(measure) - first.values.at(measure);
      const long long after = last.values.at(measure) - middle.values.at(measure);
      EXPECT_TRUE(before == 0 || after == 0) << measure << " grew by " << before << " then " << after << " bytes";
    }
  }
}

// A host that calls every message on a thread of its own, which ends after
// it, keeps no more handles or threads after two thousand messages than
// after the first, and its private memory levels off once the first
// hundreds are through (a slab kept for each thread that ended grew it by
// about 56 KB a message): the long run of unloadcycles.exe (its own data
// folder, cool-downs on, SAVE read-only for the first half, a library
// rewritten every second), short.
TEST(LongRun, EachMessageOnAThreadOfItsOwnLeavesNoHandleOrThreadAndMemoryLevelsOff) {
  constexpr int kMessages = 2000, kEvery = 250, kWarmedUp = 750 / kEvery;
  constexpr long long kPrivateRise = 2 << 20;  // a heap's region more or less, not a slab a message
  for (const auto& [host, api] : {std::pair{"vlq", "VLQapi.dll"}, std::pair{"isky", "message.dll"}}) {
    SCOPED_TRACE(host);
    const std::string folder = UnloadFolder(std::string("long-run-") + host, api);
    const std::string output =
        RunProgram(folder, "\"" + folder + "\\unloadcycles.exe\" \"" + PluginFileName() + "\" " +
                               std::to_string(kMessages) + " " + host + " run " + std::to_string(kEvery) +
                               " lead threads=1");
    const std::vector<Cycle> samples = Parse(output, "messages ");
    ASSERT_EQ(samples.size(), std::size_t{kMessages / kEvery + 1}) << output;
    for (std::size_t n = 1; n < samples.size(); ++n) {
      EXPECT_GT(samples[n].values.at("replies"), 0) << "sample " << n;
      EXPECT_EQ(samples[n].values.at("handles"), samples[1].values.at("handles")) << "sample " << n;
      EXPECT_EQ(samples[n].values.at("threads"), samples[1].values.at("threads")) << "sample " << n;
      EXPECT_EQ(samples[n].kinds, samples[1].kinds) << "sample " << n;
      if (n > kWarmedUp) {
        EXPECT_LE(samples[n].values.at("private"), samples[kWarmedUp].values.at("private") + kPrivateRise)
            << "sample " << n;
      }
    }
  }
}

}  // namespace
}  // namespace zoq::testing
