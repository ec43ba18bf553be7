// The libraries and the settings file under load: a host that delivers
// messages on many threads while the owner, the host and another program
// change the files; two host processes sharing one data folder; a library
// deleted and replaced under the plug-in. Through the real DLL and the VLQ
// host's fake API.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "core/files/ini_items.hpp"
#include "core/files/kept_times.hpp"
#include "core/libraries.hpp"
#include "platform/files.hpp"
#include "platform/folder_lock.hpp"
#include "platform/code_pages.hpp"
#include "tests/messages/session.hpp"

namespace zoq::testing {
namespace {

constexpr const char* kStranger = "40001";

// A reply long enough that two of them mixed would show.
std::string LongReply(const std::string& head) { return head + "-" + std::string(300, head.back()) + "-end"; }

// The arguments of VLQ's Event: robot, code, -, group, sender, -, text, ids, -, -, -.
std::vector<Arg> VlqEvent(std::int32_t code, const std::string& sender, const std::string& text,
                          const std::string& robot = kRobot) {
  return {robot, code, std::int32_t(0), std::string(), sender, std::string(), text, std::string("idB"),
          std::string("idA"), std::string(), std::string(), std::int32_t(0)};
}

// What a library file holds: keyword -> reply, as the INI functions read it.
std::map<std::string, std::string> Entries(const std::string& path) {
  IniImage image;
  image.Load(ReadFile(path));
  std::map<std::string, std::string> out;
  for (const std::string& name : image.SectionNames()) out[name] = image.Value(name, "回复").value_or("");
  return out;
}

// The add confirmations among the messages sent ("keyword\r\nreply", the
// default return text): keyword -> reply.
std::map<std::string, std::string> Confirmed(const Sent& sent, const std::string& replyHead) {
  std::map<std::string, std::string> out;
  for (const std::string& m : sent) {
    const std::size_t cut = m.find("\r\n");
    if (cut != std::string::npos && m.compare(cut + 2, replyHead.size(), replyHead) == 0) {
      out[m.substr(0, cut)] = m.substr(cut + 2);
    }
  }
  return out;
}

// What the VLQ host of the run folder `folder` sent.
Sent SentIn(const std::string& folder) {
  Sent sent;
  std::string message;
  for (const FakeCall& c : ParseFakeHostLog(ReadFile(folder + "\\fakehost.log"))) {
    if (IsSend(HostCaseNamed("VLQ"), c, &message)) sent.push_back(message);
  }
  return sent;
}

Files ManyEntries(const char* head, int count, const char* file) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < count; ++i) entries.emplace_back(head + std::to_string(i), LongReply(head + std::to_string(i)));
  return {{file, Library(entries)}};
}

// Sixteen threads deliver messages for keywords that are there all along;
// meanwhile the owner stages and adds keywords to both libraries on two
// threads, the host enables the plug-in again and again (every setting read
// anew), and another program appends to the fuzzy library. Every message is
// answered, each with its own whole reply; every add confirmed is in its
// library. (With the libraries and options kept in memory unguarded, the
// host crashed here; with the files rewritten in place, messages went
// unanswered.)
TEST(SharedFiles, ManyThreadsAnswerEveryMessageWhileTheFilesChange) {
  Files files = ManyEntries("K", 20, "SayZ.ini");
  files.push_back(ManyEntries("M", 10, "SayM.ini").front());
  files.push_back({"admin", "[admin]\r\n主人号码=" + std::string(kOwner) + "\r\n"});
  Session s("shared-threads", HostCaseNamed("VLQ"), files);
  ASSERT_TRUE(s.Start());

  constexpr int kThreads = 16, kRounds = 20, kOwnerRounds = 40;
  std::vector<std::vector<Arg>> messages;
  for (int i = 0; i < 20; ++i) messages.push_back(VlqEvent(1, kStranger, "K" + std::to_string(i)));
  for (int i = 0; i < 10; ++i) messages.push_back(VlqEvent(1, kStranger, "说M" + std::to_string(i) + "吧"));
  ASSERT_TRUE(s.host().Storm(kThreads, kRounds * 30, "Event", messages));
  ASSERT_TRUE(s.host().Storm(2, kOwnerRounds * 4, "Event",
                             {VlqEvent(1, kOwner, "添加词汇A{t}x{n}"), VlqEvent(1, kOwner, "精确回复B{t}x{n}"),
                              VlqEvent(1, kOwner, "添加词汇C{t}x{n}"), VlqEvent(1, kOwner, "模糊回复D{t}x{n}")}));
  ASSERT_TRUE(s.host().Storm(1, 40, "Event", {VlqEvent(12000, "", "", "")}));
  std::atomic<bool> done{false};
  std::thread other([&] {
    for (int k = 0; !done; ++k) {
      HANDLE f = CreateFileA(s.DataFile("SayM.ini").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, 0, nullptr);
      const std::string entry = "[E" + std::to_string(k) + "]\r\n回复=G\r\n";
      DWORD wrote = 0;
      if (f != INVALID_HANDLE_VALUE) ::WriteFile(f, entry.data(), static_cast<DWORD>(entry.size()), &wrote, nullptr);
      if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
      Sleep(2);
    }
  });
  const auto [calls, skews] = s.host().Wait();
  done = true;
  other.join();
  ASSERT_EQ(calls, kThreads * kRounds * 30 + 2 * kOwnerRounds * 4 + 40);  // the host is still there
  EXPECT_EQ(skews, 0);

  const Sent sent = s.TakeSent();
  std::map<std::string, int> answers;
  int confirmations = 0;
  for (const std::string& m : sent) {
    if (m.starts_with("待创建词汇:")) continue;  // a stage's
    if (m.find("\r\n") != std::string::npos) {
      ++confirmations;
      continue;
    }
    ++answers[m];
  }
  for (int i = 0; i < 20; ++i) EXPECT_EQ(answers[LongReply("K" + std::to_string(i))], kThreads * kRounds) << i;
  for (int i = 0; i < 10; ++i) EXPECT_EQ(answers[LongReply("M" + std::to_string(i))], kThreads * kRounds) << i;
  EXPECT_EQ(answers.size(), 30u) << "a reply no template has";
  // The staged keyword is one for both owner threads: each add takes the
  // one staged last, and an add that finds none is an ordinary message.
  const std::map<std::string, std::string> exact = Confirmed(sent, "B"), fuzzy = Confirmed(sent, "D");
  EXPECT_GT(exact.size() + fuzzy.size(), static_cast<std::size_t>(kOwnerRounds));
  EXPECT_EQ(exact.size() + fuzzy.size(), static_cast<std::size_t>(confirmations));
  const auto inExact = Entries(s.DataFile("SayZ.ini")), inFuzzy = Entries(s.DataFile("SayM.ini"));
  for (const auto& [keyword, reply] : exact) EXPECT_EQ(inExact.count(keyword) ? inExact.at(keyword) : "", reply);
  for (const auto& [keyword, reply] : fuzzy) EXPECT_EQ(inFuzzy.count(keyword) ? inFuzzy.at(keyword) : "", reply);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(inExact.at("K" + std::to_string(i)), LongReply("K" + std::to_string(i)));

  // The owner switches replies off and on meanwhile: a message is answered
  // whole or not at all, and the switch ends as the owner left it.
  ASSERT_TRUE(s.host().Storm(kThreads, 300, "Event", messages));
  ASSERT_TRUE(s.host().Storm(1, 41, "Event", {VlqEvent(1, kOwner, "开启问答"), VlqEvent(1, kOwner, "关闭问答")}));
  EXPECT_EQ(s.host().Wait().first, kThreads * 300 + 41);
  std::set<std::string> shown;
  for (const std::string& m : s.TakeSent()) shown.insert(m);
  shown.erase("关键词回复已开启");
  shown.erase("关键词回复已关闭");
  for (const std::string& m : shown) EXPECT_EQ(answers.count(m), 1u) << m;
  s.Private("K1", kStranger);
  EXPECT_EQ(s.TakeSent(), Sent{LongReply("K1")});
}

// Two host programs started from one folder: both stage and add 150
// keywords at the same time. Every add confirmed is in the library under the
// keyword its confirmation names, what was there stays, and so do the
// settings. (The staged keyword is one for both: an add may take the other's,
// or find none and not be confirmed.)
TEST(SharedFiles, TwoHostProcessesOnOneDataFolderLoseNoAdd) {
  const std::string folder = FreshRunFolder("shared-two-hosts");
  const std::string data = folder + "\\ZOQData\\ZOQ-F-关键词\\";
  CreateDirectoryA((folder + "\\ZOQData").c_str(), nullptr);
  CreateDirectoryA(data.c_str(), nullptr);
  CopyFileA((FakeHostFolder() + "\\VLQapi.dll").c_str(), (folder + "\\VLQapi.dll").c_str(), FALSE);
  const std::string before = ManyEntries("K", 300, "").front().second;
  WriteFile(data + "SayZ.ini", before);
  const std::string admin = "[admin]\r\n主人号码=" + std::string(kOwner) + "\r\n群号列表=111,222\r\n开启命令=开\r\n";
  WriteFile(data + "admin", admin);

  constexpr int kAdds = 150;
  Host first(folder), second(folder);
  for (Host* h : {&first, &second}) {
    ASSERT_TRUE(h->Load());
    h->CallNumber("Event", VlqEvent(12000, "", "", ""));
    h->CallNumber("Event", VlqEvent(1101, "", ""));
  }
  int n = 0;
  for (Host* h : {&first, &second}) {
    const std::string p = "P" + std::to_string(n++) + "x";
    ASSERT_TRUE(h->Storm(1, kAdds * 2, "Event",
                         {VlqEvent(1, kOwner, "添加词汇" + p + "{n}"), VlqEvent(1, kOwner, "精确回复V" + p + "{n}")}));
  }
  for (Host* h : {&first, &second}) EXPECT_EQ(h->Wait().first, kAdds * 2);

  const std::map<std::string, std::string> confirmed = Confirmed(SentIn(folder), "V");
  // An add finds nothing staged only after an add of the other took it.
  EXPECT_GE(confirmed.size(), static_cast<std::size_t>(kAdds));
  const auto now = Entries(data + "SayZ.ini");
  for (const auto& [keyword, reply] : confirmed) EXPECT_EQ(now.count(keyword) ? now.at(keyword) : "", reply) << keyword;
  for (int i = 0; i < 300; ++i) EXPECT_EQ(now.at("K" + std::to_string(i)), LongReply("K" + std::to_string(i)));
  for (const char* key : {"主人号码", "群号列表", "开启命令"}) {
    IniImage settings, stored;
    settings.Load(ReadFile(data + "admin"));
    stored.Load(admin);
    EXPECT_EQ(settings.Value("admin", key), stored.Value("admin", key)) << key;
  }
}

// Host programs on one data folder hold each group's cool-down together,
// also while another program holds SAVE open sharing everything (the time
// of a reply goes into SAVE in place: it stayed in the process that
// answered, and every host answered), once the folder was renamed away and
// another put in its place (a
// program started then, or enabled again, goes by the new folder), once
// every one of them was killed right after a reply and one started again
// (each reply's time is in SAVE at once: 216 of 220 groups answered again
// when it was written behind), and when two of them get every group's
// message on 32 threads each at once (up to 13 of 100 groups were answered
// twice, by threads that waited past their budget for the folder's lock).
TEST(SharedFiles, HostProcessesOnOneDataFolderHoldOneCooldown) {
  const std::string folder = FreshRunFolder("shared-cooldowns"), path = folder + "\\ZOQData\\ZOQ-F-关键词";
  CreateDirectoryA((folder + "\\ZOQData").c_str(), nullptr);
  const Files files{{"SayZ.ini", Library({{"K", "k"}, {"G", "[群号]"}})},
                    {"SayM.ini", ""},
                    {"admin", "[admin]\r\n精确冷却=60\r\n"}};
  const auto make = [&] {
    CreateDirectoryA(path.c_str(), nullptr);
    for (const auto& [name, bytes] : files) WriteFile(path + "\\" + name, bytes);
  };
  make();
  CopyFileA((FakeHostFolder() + "\\VLQapi.dll").c_str(), (folder + "\\VLQapi.dll").c_str(), FALSE);
  std::vector<std::unique_ptr<Host>> hosts;
  const auto start = [&] {
    hosts.push_back(std::make_unique<Host>(folder));
    ASSERT_TRUE(hosts.back()->Load());
    hosts.back()->CallNumber("Event", VlqEvent(12000, "", "", ""));
    hosts.back()->CallNumber("Event", VlqEvent(1101, "", ""));
  };
  start(), start();
  int swaps = 0;
  const auto swap = [&] {
    ASSERT_TRUE(MoveFileA(path.c_str(), (path + "-old" + std::to_string(++swaps)).c_str()));
    make();
    Sleep(200);  // the system reports a change a moment after it
    start();
  };
  const auto killAll = [&] {
    Sleep(200);
    for (auto& host : hosts) host->Kill();
    start();
  };
  HANDLE program = INVALID_HANDLE_VALUE;  // another program holding SAVE open, sharing everything
  const std::string save = path + "\\SAVE";
  const auto readOnly = [&](bool on) { SetFileAttributesA(save.c_str(), on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL); };
  const struct {
    std::size_t host;
    const char* group;
    std::int32_t answered;
    bool swapped = false;  // the folder swapped first
    bool killed = false;   // every host killed first, and one started
    bool started = false;  // a host started first
    bool heldOpen = false;
    bool heldAlone = false;  // the program holds SAVE open, sharing nothing
    int counted = 0;       // the host answers so many private messages first (its 151st reply purges)
    bool letGo = false;    // the program lets go of SAVE first
    std::optional<std::string> owner{};  // the owner writes this time of the group's key first ("": deletes it)
    bool readOnly = false;               // then SAVE is made read-only
  } rows[] = {{0, "111", 1},       {1, "111", 0}, {1, "222", 1}, {0, "222", 0},
              {0, "333", 1, true}, {2, "333", 0}, {1, "333", 0}, {2, "444", 1},
              {3, "444", 0, false, true},
              {3, "555", 1, true}, {3, "555", 0}, {4, "555", 0}, {4, "666", 1}, {3, "666", 0},
              {5, "2", 1, false, false, true, true}, {3, "2", 0, false, false, false, true},
              {4, "2", 0, false, false, false, true}, {5, "3", 1, false, false, false, true},
              {3, "3", 0, false, false, false, true}, {4, "3", 0, false, false, false, true},
              // A purge while the program holds SAVE waits for it to let go,
              // and the times written meanwhile stay. (It took a deletion
              // that waited for the program: SAVE went with the time of 4.)
              {.host = 5, .group = "4", .answered = 1, .heldOpen = true, .counted = 148},
              {.host = 3, .group = "4", .answered = 0, .heldOpen = true},
              {.host = 3, .group = "4", .answered = 0, .letGo = true},
              // The owner's edit of a time that SAVE could not take (it was
              // read-only) wins over the time kept; so does the deletion of
              // a key. (Host 4 held 5 and 8 back.)
              {.host = 3, .group = "5", .answered = 1, .readOnly = true},
              {.host = 4, .group = "5", .answered = 0},
              {.host = 4, .group = "5", .answered = 1, .owner = "2020年1月1日"},
              {.host = 3, .group = "8", .answered = 1, .owner = "2020年1月1日", .readOnly = true},
              {.host = 4, .group = "8", .answered = 0},
              {.host = 4, .group = "8", .answered = 1, .owner = ""},
              // A time more than a cool-down ahead counts as none, and the
              // current time takes its place; one less holds back. (2099
              // silenced its key until then.)
              {.host = 4, .group = "6", .answered = 1, .owner = "2099年1月1日"},
              {.host = 3, .group = "6", .answered = 0},
              {.host = 4, .group = "7", .answered = 0, .owner = LocalTimeTextIn(30)},
              // While the program holds SAVE alone, a host that cannot
              // read it keeps its time without knowing SAVE's value; to a
              // host that has SAVE as it last read it, that is no owner's
              // edit: the kept time holds. (Host 3 forgot it and answered.)
              {.host = 3, .group = "9", .answered = 1},  // SAVE as host 3 wrote it, not as host 4 read it
              {.host = 4, .group = "10", .answered = 1, .heldAlone = true},
              {.host = 3, .group = "10", .answered = 0},
              {.host = 4, .group = "10", .answered = 0, .letGo = true}};
  for (const auto& row : rows) {
    if (row.swapped) swap();
    if (row.killed) killAll();
    if (row.started) start();
    if (row.heldOpen && program == INVALID_HANDLE_VALUE) {
      program = CreateFileA(save.c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(program, INVALID_HANDLE_VALUE);
    }
    if (row.heldAlone) {
      program = CreateFileA(save.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(program, INVALID_HANDLE_VALUE);
    }
    if (row.letGo) CloseHandle(program), program = INVALID_HANDLE_VALUE;
    if (row.counted) {
      ASSERT_TRUE(hosts[row.host]->Storm(1, row.counted, "Event", {VlqEvent(1, kStranger, "K")}));
      ASSERT_EQ(hosts[row.host]->Wait().first, row.counted);
    }
    if (row.owner) {
      readOnly(false);
      WritePrivateProfileStringA(row.group, "K", row.owner->empty() ? nullptr : row.owner->c_str(), save.c_str());
    }
    if (row.readOnly) readOnly(true);
    std::vector<Arg> event = VlqEvent(2, kStranger, "K");
    event[3] = std::string(row.group);
    EXPECT_EQ(hosts[row.host]->CallNumber("Event", event).number, row.answered) << row.host << row.group;
  }
  for (const auto& [folder, group] : {std::pair{path + "-old1", "111"}, {path + "-old1", "222"}, {path + "-old2", "333"},
                                      {path + "-old2", "444"}, {path, "555"}, {path, "666"}, {path, "2"}, {path, "3"},
                                      {path, "4"}, {path, "5"}, {path, "8"}, {path, "6"}}) {
    EXPECT_NE(ReadIniItem(folder + "\\SAVE", group, "K"), "") << group;
  }
  EXPECT_NE(ReadIniItem(save, "5", "K"), "2020年1月1日");
  EXPECT_NE(ReadIniItem(save, "6", "K"), "2099年1月1日");
  // Hosts on the folder, with threads each, every thread the message of
  // each of 100 groups in turn, while nothing else touches the folder; while
  // another process holds the folder's write lock, stopped; while another
  // program opens SAVE without sharing for 50 ms of every 200, or sharing
  // everything for 150 ms of every 200, or keeps it open alone: each group
  // answered once. (20 to 70 groups of 100 were answered more than once;
  // behind a SAVE kept open alone, each thread in line waited its budget
  // after the one before it.) So too with SAVE read-only and 20,000 times
  // kept already, which every message looked at, under the lock every host
  // shares, several times over (with 1,690 a message took 145 ms, and
  // threads in line ran past their budget). While the write lock is
  // held, the first cool-down message of a host started then returns within
  // a message's budget (it waited a second), and so does a stop, which
  // writes every time kept meanwhile.
  enum class Other { Nothing, HoldsWriteLock, ReadOnly, OpensAlone, OpensSharing, KeepsOpenAlone };
  const struct {
    std::size_t hosts;
    int threads;
    Other other;
    int groups = 100;
    ULONGLONG withinMs = 0;  // the storm ends within (the threads in line waited their budget each, one after another)
    int kept = 0;            // times kept first, of groups of their own
  } storms[] = {{2, 32, Other::Nothing},    {4, 16, Other::Nothing},        {1, 16, Other::HoldsWriteLock},
                {1, 16, Other::OpensAlone}, {3, 16, Other::OpensAlone},     {3, 16, Other::OpensSharing},
                {1, 16, Other::KeepsOpenAlone, 20, 10000},                  {3, 16, Other::ReadOnly, 100, 0, 20000}};
  int stormNo = 0;
  for (const auto& storm : storms) {
    const std::string groups = "8" + std::to_string(++stormNo) + "00";
    // Hosts of their own, which count no reply before (the 151st of a host
    // deletes every time).
    for (std::size_t h = 0; h < storm.hosts; ++h) start();
    std::unique_ptr<Host> stopped;
    if (storm.other == Other::HoldsWriteLock) {
      stopped = std::make_unique<Host>(folder);
      ASSERT_EQ(stopped->Command("hold " + Hex(platform::FolderLock::NameFor(path) + "-write")), "ok");
      for (const char* group : {"1", "2"}) {
        std::vector<Arg> first = VlqEvent(2, kStranger, "G");
        first[3] = groups + "-" + group;
        const ULONGLONG begin = GetTickCount64();
        EXPECT_EQ(hosts.back()->CallNumber("Event", first).number, 1) << group;
        EXPECT_LT(GetTickCount64() - begin, 600u) << group;
      }
    }
    std::vector<std::uint64_t> kept;
    if (storm.kept) {
      KeptTimes::Hold hold(KeptTimes::Of(save), 5000);
      ASSERT_TRUE(hold);
      const std::string now = LocalTimeTextIn(0);
      for (int n = 0; n < storm.kept; ++n) {
        kept.push_back(hold.Keep({"k" + std::to_string(n), "G", now}, true, KeptTimes::kAbsent, true));
      }
    }
    if (storm.other == Other::ReadOnly) readOnly(true);
    std::atomic<bool> done{false};
    std::thread program([&] {
      const bool alone = storm.other != Other::OpensSharing, keeps = storm.other == Other::KeepsOpenAlone;
      while (!done && storm.other >= Other::OpensAlone) {
        const HANDLE h = CreateFileA(save.c_str(), GENERIC_READ, alone ? 0 : 7, nullptr, OPEN_EXISTING, 0, nullptr);
        while (keeps && !done) Sleep(10);
        Sleep(alone ? 50 : 150);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        Sleep(alone ? 150 : 50);
      }
    });
    std::vector<Arg> event = VlqEvent(2, kStranger, "G");
    event[3] = groups + "{n}";
    const Sent before = SentIn(folder);
    const ULONGLONG begin = GetTickCount64();
    for (std::size_t h = hosts.size() - storm.hosts; h < hosts.size(); ++h) {
      ASSERT_TRUE(hosts[h]->Storm(storm.threads, storm.groups, "Event", {event}));
    }
    for (std::size_t h = hosts.size() - storm.hosts; h < hosts.size(); ++h) {
      EXPECT_EQ(hosts[h]->Wait().first, storm.threads * storm.groups) << stormNo;
    }
    if (storm.withinMs) EXPECT_LT(GetTickCount64() - begin, storm.withinMs) << stormNo;
    done = true;
    program.join();
    // Then each group once more, one after the other: a group whose every
    // message gave up in line (each waits its budget, however loaded the
    // machine) has no time and is answered now; one answered in the storm
    // is held back. Either way, once.
    for (int g = 0; g < storm.groups; ++g) {
      std::vector<Arg> again = event;
      again[3] = groups + std::to_string(g);
      hosts.back()->CallNumber("Event", again);
    }
    const Sent sent = SentIn(folder);
    std::map<std::string, int> answers;
    for (std::size_t i = before.size(); i < sent.size(); ++i) ++answers[sent[i]];
    EXPECT_EQ(answers.size(), static_cast<std::size_t>(storm.groups)) << stormNo;
    for (const auto& [group, times] : answers) EXPECT_EQ(times, 1) << stormNo << " " << group;
    if (storm.kept) {
      // Every host holds back the groups of the times kept first.
      std::vector<Arg> first = VlqEvent(2, kStranger, "G");
      first[3] = std::string("k0");
      EXPECT_EQ(hosts.back()->CallNumber("Event", first).number, 0);
      KeptTimes::Hold hold(KeptTimes::Of(save), 5000);
      hold.Forget(kept);
    }
    readOnly(false);
    if (stopped) {
      const ULONGLONG begin = GetTickCount64();
      hosts.back()->CallNumber("Event", VlqEvent(12002, "", "", ""));
      EXPECT_LT(GetTickCount64() - begin, 1500u);
      for (int n = 0; n < 100; ++n) EXPECT_NE(ReadIniItem(save, groups + std::to_string(n), "G"), "") << n;
      hosts.back()->CallNumber("Event", VlqEvent(12000, "", "", ""));
      hosts.back()->CallNumber("Event", VlqEvent(1101, "", ""));
    }
  }
  // ZOQData renamed away and made again: the watch of the data folder's
  // name, in the folder that moved, tells nothing; a host enabled again
  // goes by the new folder's lock, and an owner's stage waits for it while
  // another process holds it (the host that went by the old name staged).
  ASSERT_TRUE(MoveFileA((folder + "\\ZOQData").c_str(), (folder + "\\ZOQData-old").c_str()));
  CreateDirectoryA((folder + "\\ZOQData").c_str(), nullptr);
  make();
  WriteFile(path + "\\admin", "[admin]\r\n主人号码=" + std::string(kOwner) + "\r\n");
  for (const std::int32_t code : {12000, 1101}) hosts[4]->CallNumber("Event", VlqEvent(code, "", "", ""));
  {
    // Taken by a wait: another process may have the name open already, and
    // then a mutex made "owned" is not.
    const HANDLE lock = CreateMutexA(nullptr, FALSE, platform::FolderLock::NameFor(path).c_str());
    ASSERT_EQ(WaitForSingleObject(lock, 10000), WAIT_OBJECT_0);
    hosts[4]->CallNumber("Event", VlqEvent(1, kOwner, "添加词汇新"));
    EXPECT_EQ(ReadIniItem(path + "\\admin", "新增词库", "待添词汇"), "");
    ReleaseMutex(lock), CloseHandle(lock);
  }
}

// Times kept while SAVE could not take them (read-only) outlast the host
// process that kept them while another runs on the folder with the plug-in
// enabled, whether that one answered a cool-down before or not: it holds
// their groups back, and its stop writes them once SAVE takes them. (One
// enabled that had answered nothing did not hold them: when the host that
// kept them quit, they were lost, and it answered every one of the groups.)
TEST(SharedFiles, TimesKeptOutlastTheirHostWhileAnotherIsEnabledOnTheFolder) {
  constexpr int kGroups = 20;
  for (const bool answeredBefore : {false, true}) {
    const std::string folder = FreshRunFolder(answeredBefore ? "kept-outlast-answered" : "kept-outlast-idle");
    const std::string path = folder + "\\ZOQData\\ZOQ-F-关键词", save = path + "\\SAVE";
    CreateDirectoryA((folder + "\\ZOQData").c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
    for (const auto& [name, bytes] : Files{{"SayZ.ini", Library({{"K", "k"}})}, {"SayM.ini", ""},
                                           {"admin", "[admin]\r\n精确冷却=60\r\n"}, {"SAVE", "[0]\r\nx=y\r\n"}}) {
      WriteFile(path + "\\" + name, bytes);
    }
    CopyFileA((FakeHostFolder() + "\\VLQapi.dll").c_str(), (folder + "\\VLQapi.dll").c_str(), FALSE);
    const auto group = [](const std::string& name) {
      std::vector<Arg> event = VlqEvent(2, kStranger, "K");
      event[3] = name;
      return event;
    };
    auto keeper = std::make_unique<Host>(folder);
    Host other(folder);
    for (Host* h : {keeper.get(), &other}) {
      ASSERT_TRUE(h->Load());
      h->CallNumber("Event", VlqEvent(12000, "", "", ""));
      h->CallNumber("Event", VlqEvent(1101, "", ""));
    }
    if (answeredBefore) EXPECT_EQ(other.CallNumber("Event", group("1")).number, 1);
    SetFileAttributesA(save.c_str(), FILE_ATTRIBUTE_READONLY);
    for (int n = 0; n < kGroups; ++n) EXPECT_EQ(keeper->CallNumber("Event", group("g" + std::to_string(n))).number, 1);
    keeper->CallNumber("Event", VlqEvent(12002, "", "", ""));
    keeper.reset();  // the host quits
    int answered = 0;
    for (int n = 0; n < kGroups; ++n) answered += other.CallNumber("Event", group("g" + std::to_string(n))).number;
    EXPECT_EQ(answered, 0) << answeredBefore;
    SetFileAttributesA(save.c_str(), FILE_ATTRIBUTE_NORMAL);
    other.CallNumber("Event", VlqEvent(12002, "", "", ""));
    for (int n = 0; n < kGroups; ++n) EXPECT_NE(ReadIniItem(save, "g" + std::to_string(n), "K"), "") << n;
  }
}

// Mended: an owner's editor saving the library in place (it empties the
// file, then writes it, at once or in two goes) while the owner added
// keywords: an add read the emptied or cut file, was confirmed, and its copy
// took the place of the owner's keywords. Every save of the editor finds all
// of them, and so does the end; no copy is left behind. Mended too: the
// editor saving the settings with a key of its own while adds took the
// staged keyword off their end: an add cut the file at the length it had
// read, inside the owner's new text, and the last lines (the owner's
// number) went, or a line was torn. Every line stays whole.
TEST(SharedFiles, AnEditorSavingInPlaceLosesNoKeywordToAnAdd) {
  const std::string owner = "主人号码=" + std::string(kOwner);
  for (const auto& [name, inTwoGoes] : {std::pair{"SayZ.ini", false}, {"SayZ.ini", true}, {"admin", false}}) {
    const bool admin = name == std::string("admin");
    Files files = ManyEntries("K", 300, "SayZ.ini");
    files.push_back({"admin", "[admin]\r\n" + owner + "\r\n精确冷却=30\r\n"});
    Session s("shared-editor", HostCaseNamed("VLQ"), files);
    ASSERT_TRUE(s.Start());
    const std::string file = s.DataFile(name);
    // What of the file is not there or not whole: keywords of the library;
    // lines of the settings, which hold one key the editor sets after
    // "[admin]" and the staged keyword at their end.
    const auto missing = [&, admin = admin] {
      int count = 0;
      if (!admin) {
        const auto entries = Entries(file);
        for (int i = 0; i < 300; ++i) count += entries.count("K" + std::to_string(i)) ? 0 : 1;
        return count;
      }
      const std::string bytes = ReadFile(file);
      for (const char* line : {"[admin]\r\n", "精确冷却=30\r\n"}) count += bytes.find(line) == std::string::npos;
      count += bytes.find(owner + "\r\n") == std::string::npos;
      for (std::size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2) {
        const std::string line = bytes.substr(at, end - at);
        count += !(line == "[admin]" || line == "[新增词库]" || line == owner || line == "精确冷却=30" ||
                   line.starts_with("编辑=") || line.starts_with("待添词汇=A"));
      }
      return count;
    };
    const auto save = [&](const std::string& bytes, DWORD how) {
      // An editor of the settings lets others write the file meanwhile.
      const DWORD share = admin ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : FILE_SHARE_READ;
      HANDLE f = CreateFileA(file.c_str(), GENERIC_WRITE, share, nullptr, how, 0, nullptr);
      if (f == INVALID_HANDLE_VALUE) return false;
      Sleep(3);
      DWORD wrote = 0;
      SetFilePointer(f, 0, nullptr, FILE_END);
      ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
      CloseHandle(f);
      return true;
    };
    constexpr int kAdds = 20;
    ASSERT_TRUE(s.host().Storm(1, kAdds * 2, "Event",
                               {VlqEvent(1, kOwner, "添加词汇A{n}"), VlqEvent(1, kOwner, "精确回复B{n}")}));
    std::atomic<bool> done{false};
    int saves = 0, cut = 0;
    // For 4 s at most: every add waits for a file that stands still, so an
    // editor that never lets go holds each one up to its limit, and on a
    // busy machine the test past its own.
    const ULONGLONG editorEnds = GetTickCount64() + 4000;
    std::thread editor([&, admin = admin, inTwoGoes = inTwoGoes] {
      while (!done && GetTickCount64() < editorEnds) {
        cut += missing();
        std::string bytes = ReadFile(file);
        if (admin) {  // the owner's edit: a key of its own after the section's name
          const std::size_t at = bytes.find("[admin]\r\n") + 9;
          const std::size_t old = bytes.compare(at, 5, "编辑=") == 0 ? bytes.find("\r\n", at) + 2 : at;
          bytes.replace(at, old - at, "编辑=" + std::to_string(saves) + "\r\n");
        }
        const std::size_t half = inTwoGoes ? bytes.size() / 2 : bytes.size();
        if (!save(bytes.substr(0, half), TRUNCATE_EXISTING)) continue;
        if (inTwoGoes) save(bytes.substr(half), OPEN_EXISTING);
        ++saves;
        Sleep(10);
      }
    });
    EXPECT_EQ(s.host().Wait().first, kAdds * 2);
    done = true;
    editor.join();
    EXPECT_GT(saves, 0);
    EXPECT_EQ(cut, 0) << name << inTwoGoes;
    EXPECT_EQ(missing(), 0) << name;
    EXPECT_FALSE(Confirmed(s.TakeSent(), "B").empty()) << name;
    WIN32_FIND_DATAA copy;
    const HANDLE left = FindFirstFileA((file + "*.zoq-write").c_str(), &copy);
    EXPECT_EQ(left, INVALID_HANDLE_VALUE) << copy.cFileName;
    if (left != INVALID_HANDLE_VALUE) FindClose(left);
  }
}

// Another host process on the data folder holds its lock and stops (hung, or
// stopped in a debugger): a message waits on it only briefly; the times in
// SAVE still hold, and a reply's time is in SAVE at once, where another host
// sees it; an add gives up unconfirmed. Once that process dies holding the
// lock, the next writer goes on. Disable and unload wait on it no longer
// than a message. (A message waited 10 to 20 s here, an add 20 s; then the
// times were not read at all while the lock was held; then a time was kept
// in the process only, and a stop waited 2 s and dropped it.)
TEST(SharedFiles, AProcessStoppedHoldingTheLockHoldsUpNoMessageAndOneThatDiedNoWriter) {
  Session s("shared-held", HostCaseNamed("VLQ"),
            {{"admin", "[admin]\r\n主人号码=" + std::string(kOwner) + "\r\n精确冷却=60\r\n"},
             {"SayZ.ini", Library({{"K", "k"}, {"精确回复S", "s"}})}});
  ASSERT_TRUE(s.Start());
  s.Private("添加词汇新");
  s.Group("K", "333");
  auto other = std::make_unique<Host>(s.host().folder());
  const std::string data = s.DataFile(""), lock = platform::FolderLock::NameFor(data.substr(0, data.size() - 1));
  ASSERT_EQ(other->Command("hold " + Hex(lock)), "ok");
  const HANDLE third = CreateMutexA(nullptr, FALSE, lock.c_str());  // the lock outlives its holder
  s.TakeSent();
  const struct {
    int kind;
    const char *group, *sender, *text;
    Sent sent;
    ULONGLONG boundMs;
  } rows[] = {{2, "111", kOwner, "K", {"k"}, 1500}, {2, "111", kOwner, "K", {}, 1500},
              {2, "333", kOwner, "K", {}, 1500},    {1, "", kStranger, "K", {"k"}, 1500},
              {1, "", kOwner, "精确回复R", {}, 6000}};
  for (const auto& row : rows) {
    const ULONGLONG start = GetTickCount64();
    s.Message(row.kind, row.group, row.sender, row.text);
    EXPECT_LT(GetTickCount64() - start, row.boundMs) << row.text;
    EXPECT_EQ(s.TakeSent(), row.sent) << row.text;
  }
  EXPECT_EQ(ReadIniItem(s.DataFile("SAVE"), "111", "K"), "2026年12月5日17时46分29秒");
  // Another host sees that time at once, and holds the group back.
  Host later(s.host().folder());
  ASSERT_TRUE(later.Load());
  for (const std::int32_t code : {12000, 1101}) later.CallNumber("Event", VlqEvent(code, "", "", ""));
  std::vector<Arg> inGroup = VlqEvent(2, kStranger, "K");
  inGroup[3] = std::string("111");
  EXPECT_EQ(later.CallNumber("Event", inGroup).number, 0);
  // Nothing staged: the add command word begins an ordinary message, which
  // does not wait on that process either.
  const std::string staged = ReadFile(s.DataFile("admin"));
  WriteFile(s.DataFile("admin"), staged.substr(0, staged.find("[新增词库]")));
  const ULONGLONG start = GetTickCount64();
  s.Private("精确回复S");
  EXPECT_LT(GetTickCount64() - start, 1500u);
  EXPECT_EQ(s.TakeSent(), Sent{"s"});
  WriteFile(s.DataFile("admin"), staged);
  // An add that waits for the lock while another writer takes the staged
  // keyword is an ordinary message once its turn comes.
  std::thread late([&] { s.Private("精确回复S"); });
  Sleep(100);
  const std::string admin = ReadFile(s.DataFile("admin"));
  WriteFile(s.DataFile("admin"), admin.substr(0, admin.find("[新增词库]")));
  other.reset();
  late.join();
  s.Private("精确回复S");  // nothing staged from the start
  EXPECT_EQ(s.TakeSent(), (Sent{"s", "s"}));
  s.Private("添加词汇新");
  s.TakeSent();
  s.Private("精确回复R");
  s.Group("K", "222");
  s.Group("K", "111");
  EXPECT_EQ(s.TakeSent(), (Sent{"新\r\nR", "k"}));
  // While another process keeps the lock, disable and unload return within
  // a message's budget, a time kept while SAVE was held open goes in, lock
  // or no lock, and so does a reply's at once.
  for (const bool unload : {false, true}) {
    const std::string group = unload ? "777" : "666", kept = unload ? "779" : "669";
    ASSERT_NE(WaitForSingleObject(third, 5000), WAIT_TIMEOUT);
    s.Group("K", group);
    EXPECT_EQ(ReadIniItem(s.DataFile("SAVE"), group, "K"), "2026年12月5日17时46分29秒") << group;
    const HANDLE open = CreateFileA(s.DataFile("SAVE").c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr);
    s.Group("K", kept);
    CloseHandle(open);
    EXPECT_EQ(s.TakeSent(), (Sent{"k", "k"})) << group;
    const ULONGLONG start = GetTickCount64();
    if (unload) s.host().Unload();
    else for (const std::int32_t code : {12002, 12000, s.hostCase().accountCode}) s.Event(code);
    EXPECT_LT(GetTickCount64() - start, 1500u) << group;
    ReleaseMutex(third);
    EXPECT_EQ(ReadIniItem(s.DataFile("SAVE"), kept, "K"), "2026年12月5日17时46分29秒") << kept;
  }
  CloseHandle(third);
}

// Copies that writers left behind when their process ended (killed during a
// write) go when the plug-in starts, and before a write at most once a
// minute; a running process's copy stays. (136 such copies stayed for good.)
TEST(SharedFiles, CopiesLeftByEndedProcessesGoAndARunningOnesStays) {
  Session s("shared-left-copies", HostCaseNamed("VLQ"),
            {{"admin", "[admin]\r\n主人号码=" + std::string(kOwner) + "\r\n"},
             {"SayZ.ini", Library({{"K", "k"}})},
             {"SayM.ini", Library({{"M", "m"}})}});
  // Named as the writers of this process and of one that no longer runs name them.
  const std::string library = s.DataFile("SayZ.ini"), own = "." + std::to_string(GetCurrentProcessId()),
                    ended = ".4000000000";
  // A process that has ended while a handle to it is still held (this test's).
  STARTUPINFOA startup{sizeof startup};
  PROCESS_INFORMATION child{};
  char command[] = "cmd /c exit";
  ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                             &child));
  WaitForSingleObject(child.hProcess, INFINITE);
  FILETIME created{}, exited{}, kernel{}, user{};
  GetProcessTimes(child.hProcess, &created, &exited, &kernel, &user);
  char held[48];
  std::snprintf(held, sizeof held, ".%lu-%llx", child.dwProcessId,
                (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
  const struct {
    std::string name;
    bool stays;
  } rows[] = {
      {library + ended + "-1d9-5-9.zoq-write", false},
      {s.DataFile("头像.png") + ended + "-1d9-5-9.zoq-new", false},
      {library + ended + "-5-9.zoq-write", false},  // named as before the start time was in it
      {platform::ScratchNameFor(library, ".zoq-write"), true},
      {library + own + "-5-9.zoq-write", true},
      {library + own + "-1-5-9.zoq-write", false},  // the id of this process, the start of another
      {library + ".x-5-9.zoq-write", true},
      {library + ended + "-1d9-x-9.zoq-write", true},  // no writer's marks: another program's file
      {library + held + "-5-9.zoq-write", false},
  };
  for (const auto& row : rows) WriteFile(row.name, "copy");
  ASSERT_TRUE(s.Start());
  for (const auto& row : rows) EXPECT_EQ(Exists(row.name), row.stays) << row.name;
  WriteFile(rows[0].name, "copy");
  s.host().SetClock(1000 + 60000, 2026, 12, 5, 6, 17, 47, 29);
  s.Private("添加词汇新");
  EXPECT_FALSE(Exists(rows[0].name));
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
}

// Mended: a data folder of 247 bytes was read and answered, but no write
// reached it (the copy's name was past the plain form's length); a run folder
// whose name the code page cannot hold (Korean, an emoji) got neither.
TEST(SharedFiles, ADataFolderOfAnyLengthOrNameIsAnsweredAndWritten) {
  const std::string root = FreshRunFolder("shared-folders"), data = "\\ZOQData\\ZOQ-F-关键词\\";
  const std::wstring other = platform::AnsiToWide(root) + L"\\\uD55C\uAD6D\U0001F600";
  std::wstring brief(MAX_PATH, L'\0');
  CreateDirectoryW(other.c_str(), nullptr);
  brief.resize(GetShortPathNameW(other.c_str(), brief.data(), MAX_PATH));
  const std::string before = platform::CurrentFolder();
  SetCurrentDirectoryW(other.c_str());  // the folder as the plug-in's calls give it: its short name, whole
  EXPECT_EQ(platform::CurrentFolder(), platform::WideToAnsi(brief));
  platform::SetCurrentFolder(before);
  const std::string longFolder = root + "\\" + std::string(246 - data.size() - root.size(), 'L');
  for (const std::string& folder : {longFolder, platform::WideToAnsi(brief)}) {
    CreateDirectoryA(folder.c_str(), nullptr);
    CopyFileA((FakeHostFolder() + "\\VLQapi.dll").c_str(), (folder + "\\VLQapi.dll").c_str(), FALSE);
    Host h(folder);
    ASSERT_TRUE(h.Load());
    for (const auto& [code, sender, text] : {std::tuple{12000, "", ""}, {1101, "", ""}, {1, "1357924680", "添加词汇新"},
                                             {1, "1357924680", "精确回复好"}, {1, kStranger, "新"}}) {
      h.CallNumber("Event", VlqEvent(code, sender, text));
    }
    EXPECT_EQ(SentIn(folder), (Sent{"待创建词汇:新", "新\r\n好", "好"})) << folder.size() + data.size();
  }
}

// A library deleted while the plug-in runs answers nothing until it is back;
// one put in its place (the same size, the same write time) answers with
// what it holds; so does one edited in place that kept its size and write
// time, with every message on a new thread (the watch died with the thread
// that asked for it). An edit through a link from another folder, which no
// report of the data folder tells of, is answered after the next enable,
// also when it kept the size and the write time (as editors and sync tools
// that restore times do); it was seen only after an unload.
TEST(SharedFiles, ALibraryGoneAnswersNothingAndOneInItsPlaceAnswersItsOwn) {
  Session s("shared-replaced", HostCaseNamed("VLQ"),
            {{"SayZ.ini", Library({{"K", "one"}})}, {"SayM.ini", Library({{"F", "uno"}})}});
  ASSERT_TRUE(s.Start());
  const std::string library = s.DataFile("SayZ.ini"), other = s.DataFile("other.ini"), fuzzy = s.DataFile("SayM.ini");
  const auto replaceWith = [&](const std::string& reply) {
    HANDLE old = CreateFileA(library.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME written{};
    GetFileTime(old, nullptr, nullptr, &written);
    CloseHandle(old);
    WriteFile(other, Library({{"K", reply}}));
    HANDLE copy = CreateFileA(other.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(copy, nullptr, nullptr, &written);
    CloseHandle(copy);
    MoveFileExA(other.c_str(), library.c_str(), MOVEFILE_REPLACE_EXISTING);
  };
  const std::string link = s.host().folder() + "\\link.ini";
  // The library written anew through `path` (its own name or a link), in
  // place, its write time kept if asked.
  const auto edit = [&](const std::string& path, const std::string& reply, bool keepStamp, const char* key = "K") {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    FILETIME written{};
    GetFileTime(f, nullptr, nullptr, &written);
    const std::string bytes = Library({{key, reply}});
    DWORD wrote = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
    SetEndOfFile(f);
    if (keepStamp) SetFileTime(f, nullptr, nullptr, &written);
    CloseHandle(f);
  };
  const auto throughLink = [&](const std::string& reply, bool keepStamp, const std::string& of) {
    DeleteFileA(link.c_str());
    CreateHardLinkA(link.c_str(), of.c_str(), nullptr);
    edit(link, reply, keepStamp, of == fuzzy ? "F" : "K");
    for (const std::int32_t code : {12002, 12000, s.hostCase().accountCode}) s.Event(code);
  };
  const struct {
    std::function<void()> change;
    Sent sent;
    const char* text = "K";
  } rows[] = {
      {[] {}, {"one"}},
      {[&] { DeleteFileA(library.c_str()); }, {}},
      {[&] { WriteFile(library, Library({{"K", "two"}})); }, {"two"}},
      {[&] { edit(library, "owt", true), Sleep(200); }, {"owt"}},  // only the system's report tells
      {[&] { replaceWith("six"); }, {"six"}},
      {[&] { throughLink("ten", true, library); }, {"ten"}},
      {[&] { throughLink("eleven", false, library); }, {"eleven"}},
      {[&] { throughLink("dos", true, fuzzy); }, {"dos"}, "xFx"},
  };
  for (const auto& row : rows) {
    row.change();
    // On a thread of the host that then ends, as hosts that call each
    // message on a thread of its own.
    ASSERT_TRUE(s.host().Storm(1, 1, "Event", {s.EventArgs(1, {}, kStranger, row.text)}));
    s.host().Wait();
    EXPECT_EQ(s.TakeSent(), row.sent) << row.text;
  }
}

}  // namespace
}  // namespace zoq::testing
