#include "core/files/cooldown_times.hpp"

#include <algorithm>
#include <array>
#include <iterator>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

#include "core/files/file_writes.hpp"
#include "core/files/ini_items.hpp"
#include "platform/files.hpp"
#include "platform/lock.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

// Days since 1 January 1970 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int DaysInMonth(int year, int month) {
  static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

bool IsValid(const DateTime& t) {
  return t.year >= 100 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= DaysInMonth(t.year, t.month) && t.hour < 24 && t.minute < 60 && t.second < 60;
}

// One part of a date-time text: up to `maxDigits` ASCII digits, then the
// unit character, a separator or the end.
struct PartRule {
  int maxDigits;
  std::string_view unit;
  bool blankEnds;
};

constexpr std::array<PartRule, 6> kParts{{
    {4, "年", false},
    {2, "月", false},
    {2, "日", true},
    {2, "时", false},
    {2, "分", false},
    {2, "秒", false},
}};

// Reads the number at `pos` and its end; false when the part is not there.
bool ReadPart(std::string_view s, std::size_t& pos, const PartRule& rule, int& value) {
  std::size_t digits = 0;
  value = 0;
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && digits < static_cast<std::size_t>(rule.maxDigits)) {
    value = value * 10 + (s[pos] - '0');
    ++pos;
    ++digits;
  }
  if (digits == 0) return false;
  if (pos == s.size()) return true;
  if (text::StartsWith(s.substr(pos), rule.unit)) {
    pos += rule.unit.size();
    return true;
  }
  const char c = s[pos];
  if (c == '/' || c == '-' || c == ':' || c == '.' || (rule.blankEnds && c == ' ')) {
    ++pos;
    return true;
  }
  return false;
}

}  // namespace

std::string FormatDateTime(const DateTime& t) {
  char buf[96];
  int n = std::snprintf(buf, sizeof buf, "%d年%d月%d日", t.year, t.month, t.day);
  if (t.second != 0) {
    n += std::snprintf(buf + n, sizeof buf - n, "%d时%d分%d秒", t.hour, t.minute, t.second);
  } else if (t.minute != 0) {
    n += std::snprintf(buf + n, sizeof buf - n, "%d时%d分", t.hour, t.minute);
  } else if (t.hour != 0) {
    n += std::snprintf(buf + n, sizeof buf - n, "%d时", t.hour);
  }
  return std::string(buf, static_cast<std::size_t>(n));
}

DateTime ParseDateTime(std::string_view s) {
  std::array<int, 6> values{};
  std::size_t pos = 0;
  std::size_t read = 0;
  while (read < kParts.size() && pos < s.size()) {
    if (!ReadPart(s, pos, kParts[read], values[read])) return kEarliestDate;
    ++read;
  }
  if (read < 3 || pos != s.size()) return kEarliestDate;
  const DateTime t{values[0], values[1], values[2], values[3], values[4], values[5]};
  return IsValid(t) ? t : kEarliestDate;
}

DateTime FromLocalTime(const platform::LocalTime& t) {
  return DateTime{t.year, t.month, t.day, t.hour, t.minute, t.second};
}

std::int64_t SecondsBetween(const DateTime& from, const DateTime& to) {
  auto seconds = [](const DateTime& t) {
    return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  };
  return seconds(to) - seconds(from);
}

namespace {

// A time this process recorded and could not write (SAVE is read-only, a
// folder, held by a program that shares nothing, the disk is full), and
// whether a file was there then: an owner who deletes SAVE resets it too.
struct KeptTime {
  IniChange time;
  bool fileWasThere;
  std::uint64_t id;  // what a write that took it tells it by
};

// The kept times, by the file they belong in. They count in every test of
// this process and go into the file with its next write that can be made,
// where a later time the file holds stays. A time whose names the file
// would not give back as written (a key with "=") is never written, and
// holds its replies in this process alone.
struct UnwrittenTimes {
  platform::Mutex lock;
  std::map<std::string, std::vector<KeptTime>> byFile;
  std::uint64_t lastId = 0;

  // The latest time kept for the key (kEarliestDate for none).
  DateTime Latest(const std::string& file, const std::string& group, const std::string& key) const {
    DateTime latest = kEarliestDate;
    const auto it = byFile.find(file);
    if (it == byFile.end()) return latest;
    for (const KeptTime& k : it->second) {
      const DateTime t = ParseDateTime(*k.time.value);
      if (SameIniName(k.time.section, group) && SameIniName(*k.time.key, key) && SecondsBetween(latest, t) > 0) {
        latest = t;
      }
    }
    return latest;
  }

  // Of the file as read (`image`; `fileThere`: whether a file is there):
  // the kept times its next write takes, each later than the file's time
  // of its key; in `settled`, every kept time that write settles, those and
  // the ones the file holds a time as late for. An owner who deleted the
  // file forgets the times kept while it was there.
  std::vector<IniChange> Settle(const std::string& file, const IniImage& image, bool fileThere,
                                std::vector<std::uint64_t>& settled) {
    std::vector<IniChange> toWrite;
    const auto it = byFile.find(file);
    if (it == byFile.end()) return toWrite;
    if (!fileThere) std::erase_if(it->second, [](const KeptTime& k) { return k.fileWasThere; });
    for (const KeptTime& k : it->second) {
      if (!ReadsBackAsSet(k.time)) continue;
      const std::optional<std::string> inFile = image.Value(k.time.section, *k.time.key);
      if (!inFile || SecondsBetween(ParseDateTime(*k.time.value), ParseDateTime(*inFile)) < 0) {
        toWrite.push_back(k.time);
      }
      settled.push_back(k.id);
    }
    if (it->second.empty()) byFile.erase(it);
    return toWrite;
  }

  // The file holds what the write settled: those kept times go (one kept
  // meanwhile stays).
  void Settled(const std::string& file, const std::vector<std::uint64_t>& settled) {
    const auto it = byFile.find(file);
    if (it == byFile.end()) return;
    std::erase_if(it->second, [&](const KeptTime& k) {
      return std::find(settled.begin(), settled.end(), k.id) != settled.end();
    });
    if (it->second.empty()) byFile.erase(it);
  }

  void Keep(const std::string& file, IniChange time, bool fileWasThere) {
    std::vector<KeptTime>& times = byFile[file];
    std::erase_if(times, [&](const KeptTime& k) {
      return SameIniName(k.time.section, time.section) && SameIniName(*k.time.key, *time.key);
    });
    times.push_back({std::move(time), fileWasThere, ++lastId});
  }
};

UnwrittenTimes& Unwritten() {
  static UnwrittenTimes times;
  return times;
}

// Whether a reply whose key last answered at the later of `a` and `b` may
// go now.
bool Passes(const DateTime& a, const DateTime& b, const DateTime& now, std::int32_t cooldownSeconds) {
  return SecondsBetween(SecondsBetween(a, b) > 0 ? b : a, now) >= cooldownSeconds;
}

// Something is at the path (a file, or a folder of the name).
bool SomethingAt(const std::string& file) { return platform::FileExists(file) || platform::FolderExists(file); }

}  // namespace

// Out of line: only a reply with a cool-down comes here, and it reads and
// writes the file; the code every message runs stays together.
__attribute__((noinline)) bool TestAndRecord(const std::string& file, const std::string& group,
                                             const std::string& key, std::int32_t cooldownSeconds,
                                             const std::string& fallback) {
  // The test is part of the write of the time: read, tested and written
  // again whenever another writer, in this process or another, changed
  // the file first. So of two messages at once one reply goes, lock or no
  // lock.
  const DateTime now = FromLocalTime(platform::Now());
  // A time in the file as last read, which is still that file, holds the
  // reply back without the write lock and without opening it: the file's
  // times only move on (a purge or an owner's edit met a moment late is one
  // the message came before).
  const std::shared_ptr<const IniImage> unchanged = IniImageIfUnchanged(file);
  if (unchanged && !BlankIniName(key) &&
      !Passes(ParseDateTime(unchanged->Value(group, key).value_or(fallback)), kEarliestDate, now, cooldownSeconds)) {
    return false;
  }
  const IniChange mine{group, key, FormatDateTime(now)};
  const bool writable = ReadsBackAsSet(mine);
  UnwrittenTimes& u = Unwritten();
  DateTime inFile = ParseDateTime(fallback);  // as the file read last, or the fallback
  std::vector<std::uint64_t> settled;
  const Update update = UpdateIniFile(
      file,
      [&](const IniImage& image, bool fileThere) -> std::optional<std::vector<IniChange>> {
        inFile = ParseDateTime(BlankIniName(key) ? std::string() : image.Value(group, key).value_or(fallback));
        settled.clear();
        std::lock_guard<platform::Mutex> hold(u.lock);
        std::vector<IniChange> changes = u.Settle(file, image, fileThere, settled);
        const DateTime kept = u.Latest(file, group, key);
        if (!Passes(inFile, kept, now, cooldownSeconds)) return std::nullopt;
        if (writable) changes.push_back(mine);
        return changes;
      },
      Writers::Anyone);
  if (update == Update::Declined) return false;
  std::lock_guard<platform::Mutex> hold(u.lock);
  if (update == Update::Written) {
    u.Settled(file, settled);
    if (writable) return true;
  }
  // Not in the file: tested again with the times this process's other
  // threads kept meanwhile, and kept, in one step.
  const DateTime kept = u.Latest(file, group, key);
  if (!Passes(inFile, kept, now, cooldownSeconds)) return false;
  u.Keep(file, mine, SomethingAt(file));
  return true;
}

namespace {

// Writes the times kept for `file` that can be written.
void WriteKept(const std::string& file) {
  UnwrittenTimes& u = Unwritten();
  std::vector<std::uint64_t> settled;
  const Update update = UpdateIniFile(
      file,
      [&](const IniImage& image, bool fileThere) -> std::optional<std::vector<IniChange>> {
        settled.clear();
        std::lock_guard<platform::Mutex> hold(u.lock);
        std::vector<IniChange> changes = u.Settle(file, image, fileThere, settled);
        if (settled.empty()) return std::nullopt;
        return changes;
      },
      Writers::Anyone);
  if (update != Update::Written) return;
  std::lock_guard<platform::Mutex> hold(u.lock);
  u.Settled(file, settled);
}

}  // namespace

void WriteUnwrittenCooldowns() {
  // A stop waits on another process no longer than a message does.
  const OtherProcessWait stop(kMessageFolderWaitMs);
  std::vector<std::string> files;
  {
    UnwrittenTimes& u = Unwritten();
    std::lock_guard<platform::Mutex> hold(u.lock);
    for (const auto& [file, times] : u.byFile) {
      if (std::any_of(times.begin(), times.end(), [](const KeptTime& k) { return ReadsBackAsSet(k.time); })) {
        files.push_back(file);
      }
    }
  }
  for (const std::string& file : files) WriteKept(file);
}

bool ForgetCooldowns(const std::string& file) {
  // Deleted also while another process keeps the folder's lock; a file
  // that cannot be deleted (held, read-only) keeps every time, and so does
  // this process.
  if (!RemoveDataFile(file, Writers::Anyone) && platform::FileExists(file)) return false;
  UnwrittenTimes& u = Unwritten();
  std::lock_guard<platform::Mutex> hold(u.lock);
  u.byFile.erase(file);
  return true;
}

}  // namespace zoq
