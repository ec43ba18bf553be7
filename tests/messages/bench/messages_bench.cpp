// The message path through the real DLL under Wine, with libraries of a
// chosen size: enable, the first message after it, then an exact hit, a
// fuzzy hit on the last keyword of the list and a miss, each with a short and
// a 72-character message. Every message's time is split three ways: inside
// the plug-in's export (the host program times the call), of which the fake
// host DLL's own recording of a send is taken out, and the round trip of the
// test host's pipe around it. The cases take turns, as in a real chat.
//
//   messages_bench.exe [keywords per library (1000)] [rounds (300)]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "core/libraries.hpp"
#include "tests/messages/session.hpp"

namespace {

using namespace zoq::testing;

// Keywords are made of one set of characters, the words around them of
// another, so that a message holds exactly the keywords a case puts in it.
// Both are GBK level-one characters: lead bytes B0..C7 and D0..D7.
std::string Character(int lead, int n) {
  return {static_cast<char>(lead + n / 94), static_cast<char>(0xA1 + n % 94)};
}
std::string KeywordCharacter(unsigned n) { return Character(0xB0, static_cast<int>(n % (24 * 94))); }
std::string FillerCharacter(unsigned n) { return Character(0xD0, static_cast<int>(n % (8 * 94))); }

// Keyword i: two to five characters, varied first characters.
std::string Keyword(unsigned seed, int i) {
  unsigned x = seed * 2654435761u + static_cast<unsigned>(i) * 40503u + 12345u;
  std::string k;
  const int length = 2 + static_cast<int>(x % 4);
  for (int c = 0; c < length; ++c) {
    x = x * 1103515245u + 12345u;
    k += KeywordCharacter(x >> 8);
  }
  return k + std::to_string(i);  // unique
}

std::string Filler(int characters) {
  std::string s;
  for (int i = 0; i < characters; ++i) s += FillerCharacter(static_cast<unsigned>(i) * 7u + 3u);
  return s;
}

std::vector<std::pair<std::string, std::string>> Entries(unsigned seed, int count) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < count; ++i) entries.emplace_back(Keyword(seed, i), "回答" + std::to_string(i) + "[N]好的");
  return entries;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

struct Case {
  const char* name;
  std::string message;
  std::int32_t expected;  // the handler's result every message must give
  std::vector<double> total, inside, fake;
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

int main(int argc, char** argv) {
  const int keywords = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 300;
  const auto exact = Entries(1, keywords), fuzzy = Entries(2, keywords);
  const std::string sayZ = Library(exact), sayM = Library(fuzzy);
  Session s("messages-bench-" + std::to_string(keywords), NumericHostCaseNamed("VLQ"),
            {{"SayZ.ini", sayZ}, {"SayM.ini", sayM}});
  if (!s.Load()) {
    std::printf("the plug-in did not load\n");
    return 1;
  }
  Host& host = s.host();
  const long long memoryBefore = host.PeakMemory();
  const CallResult enabled = s.Event(12000);
  const double enableMs = host.Spent("VLQapi.dll").first / 1e6;
  s.Event(1101);
  const std::string lastFuzzy = fuzzy.back().first;
  int lastFuzzyCharacters = 0;
  for (std::size_t i = 0; i < lastFuzzy.size(); i += static_cast<unsigned char>(lastFuzzy[i]) >= 0x81 ? 2 : 1) {
    ++lastFuzzyCharacters;
  }
  std::vector<Case> cases{
      {"exact hit, short", exact[static_cast<std::size_t>(keywords / 2)].first, 1, {}, {}, {}},
      {"fuzzy hit, short", Filler(1) + lastFuzzy, 1, {}, {}, {}},
      {"miss, short", Filler(4), 0, {}, {}, {}},
      {"fuzzy hit, 72 chars", Filler(30) + lastFuzzy + Filler(std::max(0, 42 - lastFuzzyCharacters)), 1, {}, {}, {}},
      {"miss, 72 chars", Filler(72), 0, {}, {}, {}},
  };
  // The first message after enable reads the exact library.
  const CallResult first = s.Group(cases[0].message);
  const double firstMs = host.Spent("VLQapi.dll").first / 1e6;
  const long long memoryAfter = host.PeakMemory();
  if (!enabled.ok || first.number != 1) {
    std::printf("enable or the first message failed\n");
    return 1;
  }
  int replies = 1;
  const int warmUp = std::min(20, rounds);
  for (int round = 0; round < warmUp + rounds; ++round) {
    for (Case& c : cases) {
      long long fakeBefore = host.Spent("VLQapi.dll").second;
      LARGE_INTEGER start, stop;
      QueryPerformanceCounter(&start);
      const std::int32_t result = s.Group(c.message).number;
      QueryPerformanceCounter(&stop);
      const auto [inside, fakeAfter] = host.Spent("VLQapi.dll");
      if (result != c.expected) {
        std::printf("%s: the handler gave %d\n", c.name, result);
        return 1;
      }
      replies += result;
      if (round < warmUp) continue;
      const double fake = (fakeAfter - fakeBefore) / 1e6;
      c.total.push_back(Milliseconds(start, stop));
      c.inside.push_back(inside / 1e6 - fake);
      c.fake.push_back(fake);
    }
  }
  const std::size_t sent = s.TakeSent().size();
  if (sent != static_cast<std::size_t>(replies)) {
    std::printf("%zu replies sent, %d expected\n", sent, replies);
    return 1;
  }
  std::printf("messages bench: %d exact + %d fuzzy keywords (%zu + %zu bytes on disk), %d rounds, %d replies sent\n",
              keywords, keywords, sayZ.size(), sayM.size(), rounds, replies);
  std::printf("enable: %.3f ms inside the export; first message after it: %.3f ms\n", enableMs, firstMs);
  std::printf("peak working set: %.1f MiB before enable, %.1f MiB after the first message (+%.1f MiB)\n",
              memoryBefore / 1048576.0, memoryAfter / 1048576.0, (memoryAfter - memoryBefore) / 1048576.0);
  // The index itself, built here the way the plug-in builds it: both files
  // kept whole, their section tables, and the fuzzy keywords' table.
  zoq::IniImage exactImage, fuzzyImage;
  exactImage.Load(sayZ);
  fuzzyImage.Load(sayM);
  zoq::FuzzyMatcher matcher;
  matcher.Build(fuzzyImage.SectionNames());
  const double disk = double(sayZ.size() + sayM.size());
  const double tables = double(exactImage.MemoryBytes() + fuzzyImage.MemoryBytes() - sayZ.size() - sayM.size() +
                               matcher.MemoryBytes());
  std::printf("index: %.2f MiB of tables (%.2fx the %.2f MiB on disk); with the files kept whole %.2fx\n",
              tables / 1048576.0, tables / disk, disk / 1048576.0, (tables + disk) / disk);
  std::printf("%-22s %14s %14s %14s\n", "median ms", "inside DLL", "fake host", "round trip");
  for (const Case& c : cases) {
    const double inside = Median(c.inside), fake = Median(c.fake);
    std::printf("%-22s %14.4f %14.4f %14.4f\n", c.name, inside, fake, Median(c.total) - inside - fake);
  }
  return 0;
}
