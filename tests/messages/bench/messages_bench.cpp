// Time per message through the real DLL with 5,000 exact and 5,000 fuzzy
// keywords, for an exact hit, a fuzzy hit on the last keyword and a miss.
// Times are taken around each event call of the host process, so they hold
// the round trip to that process and the fake host's recording of each send;
// an ignored event measures the round trip alone. The cases take turns, so
// that each message follows messages of the other kinds as in a real chat.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/messages/session.hpp"

namespace {

using namespace zoq::testing;

constexpr int kKeywords = 5000;
constexpr int kWarmUp = 20;
constexpr int kRounds = 400;
constexpr double kGoalMs = 1.0;

std::string Numbered(const char* stem, int i) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%04d", stem, i);
  return buf;
}

std::vector<std::pair<std::string, std::string>> Entries(const char* stem) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < kKeywords; ++i) entries.emplace_back(Numbered(stem, i), Numbered("回答", i) + "[N]好的");
  return entries;
}

struct Figures {
  double median = 0;
  double p99 = 0;
};

Figures Summarise(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
}

struct Case {
  const char* name;
  std::int32_t expected;  // the handler's result every message must give
  std::function<std::int32_t()> event;
  std::vector<double> ms;
};

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart);
  }();
  return 1000.0 * double(to.QuadPart - from.QuadPart) / frequency;
}

}  // namespace

int main() {
  Session s("messages-bench", NumericHostCaseNamed("VLQ"),
            {{"SayZ.ini", Library(Entries("精确关键词"))}, {"SayM.ini", Library(Entries("模糊词"))}});
  if (!s.Start()) {
    std::printf("the plug-in did not start\n");
    return 1;
  }
  // The INI functions re-read a file written in the last two seconds at
  // every call; the libraries of a running robot are older than that.
  Sleep(2500);
  const std::string lastFuzzy = "大家好" + Numbered("模糊词", kKeywords - 1) + "呀";
  const std::string middleExact = Numbered("精确关键词", kKeywords / 2);
  std::vector<Case> cases{
      {"round trip (ignored)", 0, [&] { return s.Event(5, "111", kOwner, "你好").number; }, {}},
      {"exact hit", 1, [&] { return s.Group(middleExact).number; }, {}},
      {"fuzzy hit, last", 1, [&] { return s.Group(lastFuzzy).number; }, {}},
      {"miss", 0, [&] { return s.Group("这句话哪个词也不是").number; }, {}},
  };
  for (int round = 0; round < kWarmUp + kRounds; ++round) {
    for (Case& c : cases) {
      LARGE_INTEGER start, stop;
      QueryPerformanceCounter(&start);
      const std::int32_t result = c.event();
      QueryPerformanceCounter(&stop);
      if (result != c.expected) {
        std::printf("%s: the handler gave %d\n", c.name, result);
        return 1;
      }
      if (round >= kWarmUp) c.ms.push_back(Milliseconds(start, stop));
    }
  }
  std::printf("messages bench: %d exact and %d fuzzy keywords, %d messages each (goal: median <= %.1f ms)\n",
              kKeywords, kKeywords, kRounds, kGoalMs);
  std::printf("%-22s %10s %10s %12s %14s\n", "case", "median ms", "p99 ms", "net median", "net / goal");
  const Figures baseline = Summarise(cases[0].ms);
  for (const Case& c : cases) {
    const Figures f = Summarise(c.ms);
    const double net = std::max(0.0, f.median - baseline.median);
    std::printf("%-22s %10.3f %10.3f %12.3f %13.2fx\n", c.name, f.median, f.p99, net, net / kGoalMs);
  }
  return 0;
}
