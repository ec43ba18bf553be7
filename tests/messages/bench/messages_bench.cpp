// The message path through the real DLL under Wine, with libraries of a
// chosen size: enable, the first message after it, then an exact hit, a
// fuzzy hit on the last keyword of the list and a miss, each with a short and
// a 72-character message. Every message's time is split three ways: inside
// the plug-in's export (the host program times the call), of which the fake
// host DLL's own recording of a send is taken out, and the round trip of the
// test host's pipe around it. The cases take turns, as in a real chat. Then
// an event the plug-in passes over, timed the same way (the host's timing and
// the export's way in and out, which every message holds too). Then the
// misses once more, each made twice in a row by the host and the second
// timed: the plug-in's own time while the CPU still holds what it touched.
// Last, each case with the plug-in's image guarded page by page: the pages
// of its code, and of the rest of it, that one message touches.
//
// With "crafted", fuzzy libraries built against the search instead: keywords
// whose polynomial hashes agree in the low 17 bits (what a table of 50,000
// keywords indexes by), and keywords sharing one four-byte prefix over 500
// lengths; each searched by a message of the given size that holds its last
// keyword at the very end.
//
// With "brackets", outside text full of brackets on its way out: "复读"
// followed by n "[" repeated once by "[消息]", and three times by
// "[消息][消息][消息]", for n doubling up to the given count; the time
// should double with n.
//
//   messages_bench.exe [keywords per library (1000)] [rounds (300)]
//   messages_bench.exe crafted [keywords (50000)] [message bytes (1048576)] [rounds (3)]
//   messages_bench.exe brackets [largest n (80000)] [rounds (3)]
//
// With "adds", the owner's add commands on an exact library of the given
// size: each stages a new keyword and adds it (the library written whole,
// checked and put in place); median ms of each inside the DLL (the fake
// host's own time taken out, and given apart). Beside them, the Windows calls
// an add makes, made alone by the same host thread on files of the same
// sizes (add_calls.dll): what an add costs the system at that moment.
//
//   messages_bench.exe adds [keywords (20000)] [rounds (20)]
//
// With "forms", the same libraries and settings file in each form an
// owner's editor saves: GBK, UTF-8 without a mark, UTF-8 with one, UTF-16LE
// with one. The owner's adds (a stage, then the reply stored) on an exact
// library of the given size, one host process a form, the forms taking
// turns at each round; then, each in a host process of its own and taking
// turns, enable with both libraries of the given size, and the first
// message after a hand edit of the exact library. Medians ms inside the DLL,
// and each form's as a ratio of GBK's.
//
//   messages_bench.exe forms [keywords (20000)] [adds (20)] [keywords per library to enable (50000)] [enables (5)]
//
// With "cooldowns", n group messages from n groups, one after the other on
// one thread, an exact keyword with its cool-down on: each reply reads and
// records its group's time under the data folder's lock. Replies a second
// over the whole run, the test host's round trip of each message included,
// and counted on the time inside the export alone (the fake host's send
// taken out): a run whose round trips stall shows it in the first only.
//
//   messages_bench.exe cooldowns [messages (1000)]
//
// Beside them, one write of the same SAVE alone (a time set for a group, as
// a reply's test makes it), made by this program once the host is idle.
// Then the same with SAVE read-only, where every reply's time is kept in the
// table the host processes share: n messages from new groups with no time
// kept before, and n more with 20,000 kept before (put there by this
// program): replies a second, and the median ms inside the export, of each.
//
// With "kept", the kept times against names built to share a hash: an exact
// library of 4,096 keywords of 72 letters whose FNV-1a-32 hashes are one,
// SAVE read-only, one group sending each keyword once (each reply's time
// kept in the table the host processes share): the median ms inside the
// export of the last 256 messages, and before them the enable (which reads
// the library and indexes its names); beside it the same with 4,096 random
// names of 72 letters. Then, timed in this program, the table linked anew
// after a process ended holding its lock, median ms of the given rounds:
// full of short names, full of names of 72 letters, and holding the 4,096
// names of one FNV-1a-32 hash.
//
//   messages_bench.exe kept [rounds (5)]
//
// With "threads", a miss delivered on a new thread of the host each time,
// the thread ending after the call (as hosts that call every message on a
// thread of its own), before and after one hand edit of the fuzzy library:
// median ms of the host's round trip of each (the thread's start and end
// included). The edit is read once; the messages after it cost what they
// cost before.
//
//   messages_bench.exe threads [keywords per library (20000)] [messages (100)]
//
// With "compare", this build of the plug-in and another (a DLL file) loaded
// side by side into one host process, each with the libraries enabled, the
// messages taking turns between them: the two builds' medians of each case
// measured under the same state of the machine, where runs a minute apart
// can differ by twice.
//
//   messages_bench.exe compare <other DLL> [keywords per library (1000)] [rounds (300)]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/files/file_writes.hpp"
#include "core/files/kept_times.hpp"
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

// An event code no host of the family sends: passed over.
constexpr std::int32_t kPassedOver = 9999;

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

// The five cases: an exact hit, a fuzzy hit on the last keyword of the list
// and a miss, short and of 72 characters.
std::vector<Case> MessageCases(const std::vector<std::pair<std::string, std::string>>& exact,
                               const std::vector<std::pair<std::string, std::string>>& fuzzy, int keywords) {
  const std::string lastFuzzy = fuzzy.back().first;
  int lastFuzzyCharacters = 0;
  for (std::size_t i = 0; i < lastFuzzy.size(); i += static_cast<unsigned char>(lastFuzzy[i]) >= 0x81 ? 2 : 1) {
    ++lastFuzzyCharacters;
  }
  return {
      {"exact hit, short", exact[static_cast<std::size_t>(keywords / 2)].first, 1, {}, {}, {}},
      {"fuzzy hit, short", Filler(1) + lastFuzzy, 1, {}, {}, {}},
      {"miss, short", Filler(4), 0, {}, {}, {}},
      {"fuzzy hit, 72 chars", Filler(30) + lastFuzzy + Filler(std::max(0, 42 - lastFuzzyCharacters)), 1, {}, {}, {}},
      {"miss, 72 chars", Filler(72), 0, {}, {}, {}},
  };
}

// ---- Crafted libraries ----------------------------------------------------

constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";

// Keywords of eight bytes: four of their own, then four solved so that the
// polynomial hash (h = h * 1099511628211 + byte + 1) of the whole keyword is
// 12345 in its low 17 bits. The message: the keywords' first seven bytes one
// after the other.
std::vector<std::string> CollidingKeywords(int count) {
  constexpr std::uint32_t kMask = (1u << 17) - 1, kBase = 1099511628211ull & kMask, kTarget = 12345;
  std::vector<std::int32_t> low(kMask + 1, -1);  // (x2 + 1) * B + x3 + 1 -> the pair
  for (int i = 0; i < 36 * 36; ++i) {
    const std::uint32_t x2 = static_cast<unsigned char>(kAlphabet[i / 36]), x3 = static_cast<unsigned char>(kAlphabet[i % 36]);
    low[((x2 + 1) * kBase + x3 + 1) & kMask] = i;
  }
  std::vector<std::string> keywords;
  for (int n = 0; static_cast<int>(keywords.size()) < count; ++n) {
    std::string k;
    for (int v = n, i = 0; i < 4; ++i, v /= 36) k += kAlphabet[v % 36];
    std::uint32_t h = 0;
    for (unsigned char c : k) h = (h * kBase + c + 1) & kMask;
    for (int i = 0; i < 36 * 36; ++i) {
      const std::uint32_t x0 = static_cast<unsigned char>(kAlphabet[i / 36]), x1 = static_cast<unsigned char>(kAlphabet[i % 36]);
      const std::uint32_t head = (((h * kBase + x0 + 1) * kBase + x1 + 1) * kBase * kBase) & kMask;
      const std::int32_t pair = low[(kTarget - head) & kMask];
      if (pair < 0) continue;
      keywords.push_back(k + static_cast<char>(x0) + static_cast<char>(x1) + kAlphabet[pair / 36] + kAlphabet[pair % 36]);
      break;
    }
  }
  return keywords;
}

// Keywords "abcd" and a tail of letters from e to z, of 500 lengths (5 to
// 504 bytes). The message: "abcd" over and over.
std::vector<std::string> PrefixKeywords(int count) {
  std::vector<std::string> keywords;
  unsigned x = 12345;
  for (int i = 0; i < count; ++i) {
    std::string k = "abcd";
    const int length = 5 + i % 500;
    while (static_cast<int>(k.size()) < length) {
      x = x * 1103515245u + 12345u;
      k += static_cast<char>('e' + (x >> 16) % 22);
    }
    keywords.push_back(k);
  }
  return keywords;
}

int Crafted(int count, std::size_t messageBytes, int rounds) {
  const struct {
    const char* name;
    std::vector<std::string> keywords;
    std::string (*message)(const std::vector<std::string>&, std::size_t);
  } libraries[] = {
      {"colliding hashes", CollidingKeywords(count),
       [](const std::vector<std::string>& k, std::size_t size) {
         std::string m;
         for (std::size_t i = 0; m.size() + 7 + k.back().size() <= size; ++i) m += k[i % k.size()].substr(0, 7);
         return m + k.back();
       }},
      {"one prefix, 500 lengths", PrefixKeywords(count),
       [](const std::vector<std::string>& k, std::size_t size) {
         std::string m;
         while (m.size() + 4 + k.back().size() <= size) m += "abcd";
         return m + k.back();
       }},
  };
  std::printf("crafted fuzzy libraries: %d keywords, a %zu-byte message holding the last one at its end\n", count,
              messageBytes);
  std::printf("%-26s %12s %14s %10s %10s %10s %12s %12s\n", "library", "enable ms", "message ms", "build ms",
              "search ms", "found", "index MiB", "file MiB");
  for (const auto& library : libraries) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const std::string& k : library.keywords) entries.emplace_back(k, "found");
    const std::string sayM = Library(entries);
    Session s("messages-bench-crafted", NumericHostCaseNamed("VLQ"), {{"SayZ.ini", ""}, {"SayM.ini", sayM}});
    if (!s.Load()) return 1;
    Host& host = s.host();
    s.Event(12000);
    const double enableMs = host.Spent("VLQapi.dll").first / 1e6;
    s.Event(1101);
    const std::string message = library.message(library.keywords, messageBytes);
    std::vector<double> inside;
    for (int round = 0; round < rounds; ++round) {
      const CallResult r = s.Group(message);
      inside.push_back(host.Spent("VLQapi.dll").first / 1e6);
      if (r.number != 1) {
        std::printf("%s: the handler gave %d\n", library.name, r.number);
        return 1;
      }
    }
    // The index alone, in this process: built, then searched once.
    LARGE_INTEGER t0, t1, t2;
    zoq::FuzzyMatcher matcher;
    QueryPerformanceCounter(&t0);
    matcher.Build(library.keywords);
    QueryPerformanceCounter(&t1);
    const std::int32_t found = matcher.FirstIn(message);
    QueryPerformanceCounter(&t2);
    std::printf("%-26s %12.1f %14.1f %10.1f %10.1f %10d %12.2f %12.2f\n", library.name, enableMs, Median(inside),
                Milliseconds(t0, t1), Milliseconds(t1, t2), found, matcher.MemoryBytes() / 1048576.0,
                sayM.size() / 1048576.0);
  }
  return 0;
}

int Brackets(int largest, int rounds) {
  Session s("messages-bench-brackets", NumericHostCaseNamed("VLQ"),
            {{"SayZ.ini", ""}, {"SayM.ini", Library({{"三遍", "[消息][消息][消息]"}, {"复读", "[消息]"}})}});
  if (!s.Load()) return 1;
  Host& host = s.host();
  s.Event(12000);
  s.Event(1101);
  std::printf("outside brackets sent: median ms inside the export, %d rounds\n", rounds);
  std::printf("%10s %16s %16s\n", "n", "once", "three times");
  for (int n = std::max(1, largest / 8); n <= largest; n *= 2) {
    double ms[2];
    for (int k = 0; k < 2; ++k) {
      std::vector<double> inside;
      for (int round = 0; round < rounds; ++round) {
        if (s.Group((k ? "三遍" : "复读") + std::string(static_cast<std::size_t>(n), '[')).number != 1) return 1;
        inside.push_back(host.Spent("VLQapi.dll").first / 1e6);
      }
      ms[k] = Median(inside);
    }
    std::printf("%10d %16.1f %16.1f\n", n, ms[0], ms[1]);
  }
  return s.TakeSent().size() == 0 ? 1 : 0;
}

int Adds(int keywords, int rounds) {
  const std::string admin = "[admin]\r\n主人号码=" + std::string(kOwner) + "\r\n";
  const std::string library = Library(Entries(1, keywords));
  Session s("messages-bench-adds", NumericHostCaseNamed("VLQ"),
            {{"SayZ.ini", library}, {"SayM.ini", ""}, {"admin", admin}});
  if (!s.Load()) return 1;
  Host& host = s.host();
  s.Event(12000);
  s.Event(1101);
  // The add's Windows calls alone, by the host's thread that calls the
  // plug-in (a DLL of this build loaded beside it), in a folder of the run.
  char self[MAX_PATH];
  const std::string bin(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
  if (host.Command("load " + Hex(bin.substr(0, bin.rfind('\\') + 1) + "add_calls.dll")) != "ok" ||
      host.Command("use 0") != "ok") {
    std::printf("add_calls.dll did not load\n");
    return 1;
  }
  const auto callsAlone = [&](int round) {
    host.Command("use 1");
    const bool ready = host.CallNumber("AddCallsReady", {s.ApiFolder() + "add-calls\\", s.DataFile("SayZ.ini"),
                                                         admin + "[新增词库]\r\n待添词汇=新0\r\n",
                                                         static_cast<std::int32_t>(admin.size()), round})
                           .number == 1;
    const bool done = ready && host.CallNumber("AddCallsOnce").number == 1;
    host.Command("use 0");
    return done ? host.Spent("VLQapi.dll").first / 1e6 : -1.0;
  };
  // Inside the DLL: the export's time without the fake host's own (its
  // send, which appends to its log).
  std::vector<double> stage, add, send, calls;
  long long fake = host.Spent("VLQapi.dll").second;
  const auto inside = [&](std::vector<double>& into) {
    const auto [call, fakeNow] = host.Spent("VLQapi.dll");
    into.push_back((call - (fakeNow - fake)) / 1e6);
    send.push_back((fakeNow - fake) / 1e6);
    fake = fakeNow;
  };
  for (int round = 0; round < rounds; ++round) {
    s.Private("添加词汇新" + std::to_string(round));
    inside(stage);
    s.Private("精确回复答" + std::to_string(round));
    inside(add);
    calls.push_back(callsAlone(round));
    if (calls.back() < 0) {
      std::printf("the add's calls alone failed\n");
      return 1;
    }
  }
  std::printf("owner adds, exact library of %d keywords (%zu bytes): median ms inside the DLL, %d rounds\n",
              keywords, ReadFile(s.DataFile("SayZ.ini")).size(), rounds);
  std::printf("%12s %12s %18s %26s\n", "stage", "add", "fake host's send", "the add's system calls alone");
  std::printf("%12.2f %12.2f %18.2f %26.2f\n", Median(stage), Median(add), Median(send), Median(calls));
  // Each stage and each add confirmed.
  return s.TakeSent().size() == static_cast<std::size_t>(2 * rounds) ? 0 : 1;
}

// ---- Forms -----------------------------------------------------------------

struct Form {
  const char* name;
  const char* mark;
  UINT codePage;  // of the text after the mark; 1200: UTF-16LE
};
constexpr Form kForms[] = {{"GBK", "", 936}, {"UTF-8", "", CP_UTF8}, {"UTF-8 with BOM", "\xEF\xBB\xBF", CP_UTF8},
                           {"UTF-16LE with BOM", "\xFF\xFE", 1200}};

// A GBK text as a file of the form.
std::string InForm(const std::string& gbk, const Form& form) {
  if (form.codePage == 936) return gbk;
  std::wstring wide(gbk.size(), L'\0');
  wide.resize(static_cast<std::size_t>(
      MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), static_cast<int>(wide.size()))));
  std::string out = form.mark;
  if (form.codePage == 1200) {
    for (const wchar_t c : wide) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return out;
  }
  std::string utf8(wide.size() * 3, '\0');
  utf8.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                                           utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr)));
  return out + utf8;
}

int Forms(int keywords, int adds, int enableKeywords, int enables) {
  constexpr std::size_t kCount = std::size(kForms);
  double addMs[kCount], enableMs[kCount], editMs[kCount];
  // The adds: a host process a form, all of them loaded; each round takes
  // the forms in another order.
  {
    const std::string admin = "[admin]\r\n主人号码=" + std::string(kOwner) + "\r\n";
    const std::string library = Library(Entries(1, keywords));
    std::vector<std::unique_ptr<Session>> sessions;
    std::vector<double> times[kCount];
    for (const Form& form : kForms) {
      sessions.push_back(std::make_unique<Session>(
          std::string("messages-bench-forms-") + std::to_string(&form - kForms), NumericHostCaseNamed("VLQ"),
          Files{{"SayZ.ini", InForm(library, form)}, {"SayM.ini", ""}, {"admin", InForm(admin, form)}}));
      Session& s = *sessions.back();
      if (!s.Load()) return 1;
      s.Event(12000);
      s.Event(1101);
    }
    for (int round = 0; round < adds; ++round) {
      for (std::size_t turn = 0; turn < kCount; ++turn) {
        const std::size_t f = (turn + static_cast<std::size_t>(round)) % kCount;
        Session& s = *sessions[f];
        Host& host = s.host();
        s.Private("添加词汇新" + std::to_string(round));
        const long long fakeBefore = host.Spent("VLQapi.dll").second;
        s.Private("精确回复答" + std::to_string(round));
        const auto [call, fakeAfter] = host.Spent("VLQapi.dll");
        times[f].push_back((call - (fakeAfter - fakeBefore)) / 1e6);
      }
    }
    for (std::size_t f = 0; f < kCount; ++f) {
      addMs[f] = Median(times[f]);
      const std::string now = ReadFile(sessions[f]->DataFile("SayZ.ini"));
      // Each add stored, in the file's own form.
      if (sessions[f]->TakeSent().size() != static_cast<std::size_t>(2 * adds) ||
          now.find(InForm("[新" + std::to_string(adds - 1) + "]", kForms[f]).substr(std::strlen(kForms[f].mark))) ==
              std::string::npos) {
        std::printf("%s: the adds were not all made\n", kForms[f].name);
        return 1;
      }
    }
  }
  // Enable and the first message after a hand edit: a fresh host process
  // each, the forms taking turns.
  {
    const auto exact = Entries(1, enableKeywords), fuzzy = Entries(2, enableKeywords);
    const std::string sayZ = Library(exact), sayM = Library(fuzzy), edit = "[edited]\r\n回复=x\r\n";
    const std::string& hit = exact[static_cast<std::size_t>(enableKeywords / 2)].first;
    std::vector<double> enabled[kCount], edited[kCount];
    for (int round = 0; round < enables; ++round) {
      for (std::size_t turn = 0; turn < kCount; ++turn) {
        const std::size_t f = (turn + static_cast<std::size_t>(round)) % kCount;
        Session s("messages-bench-forms-enable", NumericHostCaseNamed("VLQ"),
                  {{"SayZ.ini", InForm(sayZ, kForms[f])}, {"SayM.ini", InForm(sayM, kForms[f])}});
        if (!s.Load()) return 1;
        Host& host = s.host();
        s.Event(12000);
        enabled[f].push_back(host.Spent("VLQapi.dll").first / 1e6);
        s.Event(1101);
        WriteFile(s.DataFile("SayZ.ini"), InForm(sayZ + edit, kForms[f]));
        Sleep(200);  // the system reports the change a moment after it
        const long long fakeBefore = host.Spent("VLQapi.dll").second;
        if (s.Group(hit).number != 1) {
          std::printf("%s: the keyword was not answered after the edit\n", kForms[f].name);
          return 1;
        }
        const auto [call, fakeAfter] = host.Spent("VLQapi.dll");
        edited[f].push_back((call - (fakeAfter - fakeBefore)) / 1e6);
      }
    }
    for (std::size_t f = 0; f < kCount; ++f) enableMs[f] = Median(enabled[f]), editMs[f] = Median(edited[f]);
  }
  std::printf("forms: median ms inside the DLL, each form beside GBK in the same run, the forms taking turns\n");
  std::printf("adds: exact library of %d keywords, %d adds; enable: %d + %d keywords, %d enables\n", keywords, adds,
              enableKeywords, enableKeywords, enables);
  std::printf("%-18s %10s %7s %12s %7s %18s %7s\n", "form", "add", "xGBK", "enable", "xGBK", "after a hand edit",
              "xGBK");
  for (std::size_t f = 0; f < kCount; ++f) {
    std::printf("%-18s %10.2f %7.2f %12.2f %7.2f %18.2f %7.2f\n", kForms[f].name, addMs[f], addMs[f] / addMs[0],
                enableMs[f], enableMs[f] / enableMs[0], editMs[f], editMs[f] / editMs[0]);
  }
  return 0;
}

int Cooldowns(int messages) {
  Session s("messages-bench-cooldowns", NumericHostCaseNamed("VLQ"),
            {{"SayZ.ini", Library({{"K", "k"}})}, {"SayM.ini", ""}, {"admin", "[admin]\r\n精确冷却=60\r\n"}});
  if (!s.Load()) return 1;
  Host& host = s.host();
  s.Event(12000);
  s.Event(1101);
  std::vector<double> inside;
  double insideMs = 0;
  long long fake = host.Spent("VLQapi.dll").second;
  LARGE_INTEGER start, stop;
  QueryPerformanceCounter(&start);
  for (int i = 0; i < messages; ++i) {
    if (s.Group("K", std::to_string(100000 + i)).number != 1) return 1;
    const auto [call, fakeNow] = host.Spent("VLQapi.dll");
    inside.push_back(call / 1e6);
    insideMs += (call - (fakeNow - fake)) / 1e6;
    fake = fakeNow;
  }
  QueryPerformanceCounter(&stop);
  const double seconds = Milliseconds(start, stop) / 1000;
  std::printf("cool-downs: %d group messages from %d groups, one data folder, one thread\n", messages, messages);
  std::printf("median ms inside the export: %.3f\n", Median(inside));
  std::printf("replies per second: %.0f\n", messages / seconds);
  std::printf("replies per second inside the plug-in: %.0f\n", messages / (insideMs / 1000));
  const std::string save = s.DataFile("SAVE");
  const std::size_t bytes = ReadFile(save).size();
  std::vector<double> writes;
  for (int i = 0; i < std::min(messages, 200); ++i) {
    QueryPerformanceCounter(&start);
    const bool written = zoq::WriteIniChanges(save, {{std::to_string(100000 + i), "K", "2026年12月5日17时47分29秒"}});
    QueryPerformanceCounter(&stop);
    if (!written) return 1;
    writes.push_back(Milliseconds(start, stop));
  }
  std::printf("one write of SAVE alone (%zu bytes), median ms: %.3f\n", bytes, Median(writes));
  // SAVE read-only: each reply's time is kept, with none or 20,000 before it.
  zoq::KeptTimes& table = zoq::KeptTimes::Of(save);
  SetFileAttributesA(save.c_str(), FILE_ATTRIBUTE_READONLY);
  for (const int keptBefore : {0, 20000}) {
    {
      zoq::KeptTimes::Hold hold(table, 5000);
      if (!hold) return 1;
      hold.Clear();
      const std::string now = LocalTimeTextIn(0);
      for (int n = 0; n < keptBefore; ++n) hold.Keep({"k" + std::to_string(n), "K", now}, true, zoq::KeptTimes::kAbsent, true);
    }
    inside.clear();
    QueryPerformanceCounter(&start);
    for (int i = 0; i < messages; ++i) {
      if (s.Group("K", std::to_string(keptBefore ? 400000 + i : 300000 + i)).number != 1) return 1;
      inside.push_back(host.Spent("VLQapi.dll").first / 1e6);
    }
    QueryPerformanceCounter(&stop);
    std::printf("SAVE read-only, %d times kept before: replies per second %.0f, median ms inside the export %.3f\n",
                keptBefore, messages / (Milliseconds(start, stop) / 1000), Median(inside));
  }
  SetFileAttributesA(save.c_str(), FILE_ATTRIBUTE_NORMAL);
  {
    zoq::KeptTimes::Hold hold(table, 5000);
    if (hold) hold.Clear();
  }
  return s.TakeSent().size() == static_cast<std::size_t>(3 * messages) ? 0 : 1;
}

int Kept(int rounds) {
  const std::vector<std::string> colliding = NamesOfOneFnv1aHash();
  const std::vector<std::string> random = [&] {
    std::vector<std::string> names;
    unsigned x = 12345;
    for (std::size_t i = 0; i < colliding.size(); ++i) {
      std::string name(72, 'a');
      for (char& c : name) x = x * 1103515245u + 12345u, c = static_cast<char>('a' + (x >> 16) % 26);
      names.push_back(name);
    }
    return names;
  }();
  for (const auto* names : {&colliding, &random}) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const std::string& name : *names) entries.emplace_back(name, "k");
    Session s(names == &random ? "messages-bench-kept-random" : "messages-bench-kept-one-hash",
              NumericHostCaseNamed("VLQ"),
              {{"SayZ.ini", Library(entries)}, {"SayM.ini", ""}, {"admin", "[admin]\r\n精确冷却=60\r\n"},
               {"SAVE", "[0]\r\nx=y\r\n"}});
    if (!s.Load()) return 1;
    s.Event(12000);
    const double enableMs = s.host().Spent("VLQapi.dll").first / 1e6;
    s.Event(1101);
    const std::string save = s.DataFile("SAVE");
    SetFileAttributesA(save.c_str(), FILE_ATTRIBUTE_READONLY);
    std::vector<double> inside;
    for (const std::string& name : *names) {
      if (s.Group(name).number != 1) break;
      inside.push_back(s.host().Spent("VLQapi.dll").first / 1e6);
    }
    SetFileAttributesA(save.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (inside.size() != names->size()) return 1;
    std::printf("%zu keywords of 72 letters, %s: enable ms %.3f; SAVE read-only: median ms inside the export of the "
                "last 256: %.3f\n",
                names->size(), names == &random ? "random" : "of one FNV-1a-32 hash", enableMs,
                Median({inside.end() - 256, inside.end()}));
  }
  const std::string save = FreshRunFolder("messages-bench-relink") + "\\SAVE";
  zoq::KeptTimes& table = zoq::KeptTimes::Of(save);
  const std::string now = LocalTimeTextIn(0);
  const auto relink = [&](const char* what, std::size_t count, const std::function<std::string(std::size_t)>& key) {
    std::size_t held = 0;
    {
      zoq::KeptTimes::Hold hold(table, 5000);
      if (!hold) return false;
      hold.Clear();
      for (std::size_t i = 0; i < count; ++i) hold.Keep({"111", key(i), now}, true, zoq::KeptTimes::kAbsent, true);
      for (std::size_t i = 0; i < count; ++i) held += hold.Find("111", key(i)).has_value();
    }
    std::vector<double> ms;
    for (int round = 0; round < rounds; ++round) {
      EndWithKeptTimesHeld(save);
      LARGE_INTEGER start, stop;
      QueryPerformanceCounter(&start);
      const zoq::KeptTimes::Hold hold(table, 5000);
      QueryPerformanceCounter(&stop);
      if (!hold) return false;
      ms.push_back(Milliseconds(start, stop));
    }
    std::printf("the relink after a process ended holding the table, %s (%zu times held): median ms %.3f\n", what,
                held, Median(ms));
    return true;
  };
  const bool linked =
      relink("full of short names", 60000, [](std::size_t i) { return "k" + std::to_string(i); }) &&
      relink("full of random names of 72 letters", 30000,
             [&](std::size_t i) { return random[i % random.size()] + std::to_string(i / random.size()); }) &&
      relink("4,096 names of one FNV-1a-32 hash", colliding.size(), [&](std::size_t i) { return colliding[i]; });
  zoq::KeptTimes::Hold hold(table, 5000);
  if (hold) hold.Clear();
  return linked ? 0 : 1;
}

int Threads(int keywords, int messages) {
  const std::string sayM = Library(Entries(2, keywords));
  Session s("messages-bench-threads", NumericHostCaseNamed("VLQ"),
            {{"SayZ.ini", Library(Entries(1, keywords))}, {"SayM.ini", sayM}});
  if (!s.Load()) return 1;
  Host& host = s.host();
  s.Event(12000);
  s.Event(1101);
  const std::vector<Arg> miss = s.EventArgs(2, "111", kOwner, Filler(12));
  const auto each = [&] {
    std::vector<double> ms;
    for (int i = 0; i < messages; ++i) {
      LARGE_INTEGER start, stop;
      QueryPerformanceCounter(&start);
      const bool called = host.Storm(1, 1, "Event", {miss}) && host.Wait().first == 1;
      QueryPerformanceCounter(&stop);
      if (!called) return -1.0;
      ms.push_back(Milliseconds(start, stop));
    }
    return Median(ms);
  };
  const double before = each();
  WriteFile(s.DataFile("SayM.ini"), sayM + "[edited]\r\n回复=x\r\n");
  Sleep(200);  // the system reports the change a moment after it
  const double after = each();
  if (before < 0 || after < 0) return 1;
  std::printf("a miss on a new thread each, %d + %d keywords, %d messages: median ms round trip\n", keywords, keywords,
              messages);
  std::printf("before a hand edit %.3f; after it %.3f\n", before, after);
  return s.TakeSent().empty() ? 0 : 1;
}

int Compare(const std::string& other, int keywords, int rounds) {
  const auto exact = Entries(1, keywords), fuzzy = Entries(2, keywords);
  Session s("messages-bench-compare", NumericHostCaseNamed("VLQ"),
            {{"SayZ.ini", Library(exact)}, {"SayM.ini", Library(fuzzy)}});
  if (!s.Load()) return 1;
  Host& host = s.host();
  if (!s.LoadBeside(other)) {
    std::printf("%s did not load\n", other.c_str());
    return 1;
  }
  std::vector<Case> cases[2] = {MessageCases(exact, fuzzy, keywords), MessageCases(exact, fuzzy, keywords)};
  for (int which : {0, 1}) {
    host.Command("use " + std::to_string(which));
    s.Event(12000);
    s.Event(1101);
  }
  long long fakeBefore = host.Spent("VLQapi.dll").second;
  const int warmUp = std::min(20, rounds);
  for (int round = 0; round < warmUp + rounds; ++round) {
    for (std::size_t i = 0; i < cases[0].size(); ++i) {
      for (int turn = 0; turn < 2; ++turn) {
        const int which = (round + turn) % 2;  // each goes first every other round
        host.Command("use " + std::to_string(which));
        Case& c = cases[which][i];
        if (s.Group(c.message).number != c.expected) {
          std::printf("%s: build %d answered otherwise\n", c.name, which);
          return 1;
        }
        const auto [inside, fakeAfter] = host.Spent("VLQapi.dll");
        if (round >= warmUp) c.inside.push_back((inside - (fakeAfter - fakeBefore)) / 1e6);
        fakeBefore = fakeAfter;
      }
    }
  }
  std::printf("compare: %d exact + %d fuzzy keywords, %d rounds, the messages taking turns between the builds\n",
              keywords, keywords, rounds);
  std::printf("median ms inside DLL      this build    %s\n", other.c_str());
  for (std::size_t i = 0; i < cases[0].size(); ++i) {
    std::printf("%-22s %13.4f %13.4f\n", cases[0][i].name, Median(cases[0][i].inside), Median(cases[1][i].inside));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "compare") {
    return Compare(argv[2], argc > 3 ? std::atoi(argv[3]) : 1000, argc > 4 ? std::atoi(argv[4]) : 300);
  }
  if (argc > 1 && std::string(argv[1]) == "cooldowns") return Cooldowns(argc > 2 ? std::atoi(argv[2]) : 1000);
  if (argc > 1 && std::string(argv[1]) == "forms") {
    return Forms(argc > 2 ? std::atoi(argv[2]) : 20000, argc > 3 ? std::atoi(argv[3]) : 20,
                 argc > 4 ? std::atoi(argv[4]) : 50000, argc > 5 ? std::atoi(argv[5]) : 5);
  }
  if (argc > 1 && std::string(argv[1]) == "kept") return Kept(argc > 2 ? std::atoi(argv[2]) : 5);
  if (argc > 1 && std::string(argv[1]) == "threads") {
    return Threads(argc > 2 ? std::atoi(argv[2]) : 20000, argc > 3 ? std::atoi(argv[3]) : 100);
  }
  if (argc > 1 && std::string(argv[1]) == "adds") {
    return Adds(argc > 2 ? std::atoi(argv[2]) : 20000, argc > 3 ? std::atoi(argv[3]) : 20);
  }
  if (argc > 1 && std::string(argv[1]) == "brackets") {
    return Brackets(argc > 2 ? std::atoi(argv[2]) : 80000, argc > 3 ? std::atoi(argv[3]) : 3);
  }
  if (argc > 1 && std::string(argv[1]) == "crafted") {
    return Crafted(argc > 2 ? std::atoi(argv[2]) : 50000, argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1048576,
                   argc > 4 ? std::atoi(argv[4]) : 3);
  }
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
  std::vector<Case> cases = MessageCases(exact, fuzzy, keywords);
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
  // An event the plug-in passes over, timed the same way: the host's timing
  // and the export's way in and out, which every case holds too.
  std::vector<double> passedOver;
  for (int round = 0; round < rounds; ++round) {
    s.Event(kPassedOver);
    passedOver.push_back(host.Spent("VLQapi.dll").first / 1e6);
  }
  // The misses again, each delivered twice in a row with the second timed:
  // the plug-in's own work while what it touches is still in the CPU's
  // caches. What the rows above take more is what the CPU lost while the
  // host waited for the message.
  std::vector<double> again[2];
  const Case* const misses[2] = {&cases[2], &cases[4]};
  host.Command("twice 1");
  for (int round = 0; round < rounds; ++round) {
    for (int m = 0; m < 2; ++m) {
      if (s.Group(misses[m]->message).number != 0) {
        std::printf("%s: answered when made twice\n", misses[m]->name);
        return 1;
      }
      again[m].push_back(host.Spent("VLQapi.dll").first / 1e6);
    }
  }
  host.Command("twice 0");
  // Each case once more with every page of the plug-in's image guarded: the
  // pages a message touches, which a CPU that went idle fetches anew.
  std::string pages;
  host.CountPages(true);
  for (const Case& c : cases) {
    replies += s.Group(c.message).number;
    const auto [code, other] = host.PagesTouched();
    pages += std::string(pages.empty() ? "" : "; ") + c.name + " " + std::to_string(code) + " + " + std::to_string(other);
  }
  host.CountPages(false);
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
  const std::vector<std::string> fuzzyKeywords = fuzzyImage.SectionNames();
  LARGE_INTEGER built[2];
  QueryPerformanceCounter(&built[0]);
  matcher.Build(fuzzyKeywords);
  QueryPerformanceCounter(&built[1]);
  const double disk = double(sayZ.size() + sayM.size());
  const double tables = double(exactImage.MemoryBytes() + fuzzyImage.MemoryBytes() - sayZ.size() - sayM.size() +
                               matcher.MemoryBytes());
  std::printf("index: %.2f MiB of tables (%.2fx the %.2f MiB on disk); with the files kept whole %.2fx; "
              "the fuzzy index built in %.3f ms\n",
              tables / 1048576.0, tables / disk, disk / 1048576.0, (tables + disk) / disk, Milliseconds(built[0], built[1]));
  std::printf("%-22s %14s %14s %14s\n", "median ms", "inside DLL", "fake host", "round trip");
  for (const Case& c : cases) {
    const double inside = Median(c.inside), fake = Median(c.fake);
    std::printf("%-22s %14.4f %14.4f %14.4f\n", c.name, inside, fake, Median(c.total) - inside - fake);
  }
  std::printf("an event passed over, inside DLL: %.4f\n", Median(passedOver));
  std::printf("the second of two calls in a row, inside DLL: miss short %.4f, miss 72 chars %.4f\n", Median(again[0]),
              Median(again[1]));
  std::printf("pages of the plug-in's image a message touches, code + the rest: %s\n", pages.c_str());
  return 0;
}
