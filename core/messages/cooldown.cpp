#include "core/messages/cooldown.hpp"

#include <algorithm>
#include <array>
#include <iterator>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

#include "core/file_writes.hpp"
#include "core/ini_items.hpp"
#include "core/settings.hpp"
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

// The times this process recorded and could not write yet (another process
// kept the data folder's lock past the message's budget, the disk was full),
// by the file they belong in. They count in every test of this process and
// go into the file with its next write; a time whose names the file would
// not give back as written (a key with "=") is never written, and holds its
// replies in this process alone.
struct UnwrittenTimes {
  platform::Mutex lock;
  std::map<std::string, std::vector<IniChange>> byFile;
};

UnwrittenTimes& Unwritten() {
  static UnwrittenTimes times;
  return times;
}

bool SameTimeKey(const IniChange& c, const std::string& group, const std::string& key) {
  return SameIniName(c.section, group) && SameIniName(*c.key, key);
}

// Writes what is kept for `file`, with its folder's lock held; what was
// written is no longer kept (what was kept meanwhile stays).
void WriteUnwritten(const std::string& file) {
  UnwrittenTimes& u = Unwritten();
  std::vector<IniChange> kept;
  {
    std::lock_guard<platform::Mutex> hold(u.lock);
    const auto it = u.byFile.find(file);
    if (it == u.byFile.end()) return;
    std::copy_if(it->second.begin(), it->second.end(), std::back_inserter(kept), ReadsBackAsSet);
  }
  if (kept.empty() || !WriteIniChanges(file, kept)) return;
  std::lock_guard<platform::Mutex> hold(u.lock);
  const auto it = u.byFile.find(file);
  if (it == u.byFile.end()) return;
  std::erase_if(it->second, [&](const IniChange& c) {
    return std::any_of(kept.begin(), kept.end(), [&](const IniChange& w) {
      return w.section == c.section && w.key == c.key && w.value == c.value;
    });
  });
  if (it->second.empty()) u.byFile.erase(it);
}

// The test of a key that has a cool-down: apart from the message path,
// which reads and writes the file then.
__attribute__((noinline)) bool TestAndRecord(const std::string& group, const std::string& key,
                                             std::int32_t cooldownSeconds, const std::string& fallback) {
  // Read and written by one writer at a time: two messages at once, in
  // this process or another, let one reply through. A file is read without
  // the lock too: while another process keeps it too long, the times the
  // file holds still count.
  const std::string file = CooldownFile();
  const DataFolderLock folder(file);
  const DateTime now = FromLocalTime(platform::Now());
  DateTime last = ParseDateTime(ReadIniItemNow(file, group, key, fallback));
  UnwrittenTimes& u = Unwritten();
  bool passes = false;
  {
    // Tested and kept in one step: another thread of this process that
    // cannot write either sees the time.
    std::lock_guard<platform::Mutex> hold(u.lock);
    const auto it = u.byFile.find(file);
    if (it != u.byFile.end()) {
      for (const IniChange& c : it->second) {
        const DateTime kept = ParseDateTime(*c.value);
        if (SameTimeKey(c, group, key) && SecondsBetween(last, kept) > 0) last = kept;
      }
    }
    passes = SecondsBetween(last, now) >= cooldownSeconds;
    if (passes) {
      std::vector<IniChange>& times = u.byFile[file];
      std::erase_if(times, [&](const IniChange& c) { return SameTimeKey(c, group, key); });
      times.push_back({group, key, FormatDateTime(now)});
    }
  }
  if (folder.held()) WriteUnwritten(file);
  return passes;
}

}  // namespace

ZOQ_HOT bool CooldownPasses(const std::string& group, const std::string& key, std::int32_t cooldownSeconds,
                            const std::string& fallback) {
  // A record without a group (a private message) has nothing to keep: a
  // section without a name is never read back, so it is not written.
  if (cooldownSeconds <= 0 || BlankIniName(group)) return true;
  return TestAndRecord(group, key, cooldownSeconds, fallback);
}

void WriteUnwrittenCooldowns() {
  std::vector<std::string> files;
  {
    UnwrittenTimes& u = Unwritten();
    std::lock_guard<platform::Mutex> hold(u.lock);
    for (const auto& [file, times] : u.byFile) {
      if (std::any_of(times.begin(), times.end(), ReadsBackAsSet)) files.push_back(file);
    }
  }
  for (const std::string& file : files) {
    const DataFolderLock folder(file);
    if (folder.held()) WriteUnwritten(file);
  }
}

bool ForgetCooldowns(const std::string& file) {
  const DataFolderLock folder(file);
  if (!folder.held()) return false;
  {
    UnwrittenTimes& u = Unwritten();
    std::lock_guard<platform::Mutex> hold(u.lock);
    u.byFile.erase(file);
  }
  return RemoveDataFile(file);
}

}  // namespace zoq
