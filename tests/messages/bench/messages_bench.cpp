// Time per message through the real DLL with 5,000 exact and 5,000 fuzzy
// keywords, for an exact hit, a fuzzy hit on the last keyword and a miss.
// Times are taken around each event call of the host process, so they hold
// the round trip to that process; an ignored event measures that alone.
#include <windows.h>

#include <algorithm>
#include <cstdio>
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

// `event` returns the handler's result; every timed call must give `expected`.
template <class F>
Figures Measure(F&& event, std::int32_t expected, bool& ok) {
  LARGE_INTEGER frequency, start, stop;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> ms;
  for (int i = 0; i < kWarmUp + kRounds; ++i) {
    QueryPerformanceCounter(&start);
    const std::int32_t result = event();
    QueryPerformanceCounter(&stop);
    if (result != expected) ok = false;
    if (i >= kWarmUp) ms.push_back(1000.0 * double(stop.QuadPart - start.QuadPart) / double(frequency.QuadPart));
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
}

}  // namespace

int main() {
  Session s("messages-bench", NumericHostCaseNamed("VLQ"),
            {{"SayZ.ini", Library(Entries("精确关键词"))}, {"SayM.ini", Library(Entries("模糊词"))}});
  if (!s.Start()) {
    std::printf("the plug-in did not start\n");
    return 1;
  }
  const std::string lastFuzzy = "大家好" + Numbered("模糊词", kKeywords - 1) + "呀";
  bool ok = true;
  const Figures baseline = Measure([&] { return s.Event(5, "111", kOwner, "你好").number; }, 0, ok);
  const Figures exact = Measure([&] { return s.Group(Numbered("精确关键词", kKeywords / 2)).number; }, 1, ok);
  const Figures fuzzy = Measure([&] { return s.Group(lastFuzzy).number; }, 1, ok);
  const Figures miss = Measure([&] { return s.Group("这句话哪个词也不是").number; }, 0, ok);
  if (!ok) {
    std::printf("a message was not answered as expected\n");
    return 1;
  }
  std::printf("messages bench: %d exact and %d fuzzy keywords, %d messages each (goal: median <= %.1f ms)\n",
              kKeywords, kKeywords, kRounds, kGoalMs);
  std::printf("%-22s %10s %10s %12s %14s\n", "case", "median ms", "p99 ms", "net median", "net / goal");
  const struct {
    const char* name;
    Figures f;
  } rows[] = {{"round trip (ignored)", baseline}, {"exact hit", exact}, {"fuzzy hit, last", fuzzy}, {"miss", miss}};
  for (const auto& r : rows) {
    const double net = std::max(0.0, r.f.median - baseline.median);
    std::printf("%-22s %10.3f %10.3f %12.3f %13.2fx\n", r.name, r.f.median, r.f.p99, net, net / kGoalMs);
  }
  return 0;
}
