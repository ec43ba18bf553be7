#include "core/messages/cooldown.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/file_writes.hpp"
#include "core/ini_items.hpp"
#include "core/settings.hpp"
#include "platform/files.hpp"
#include "platform/folder_lock.hpp"
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

// The times recorded and not yet written to SAVE, in memory that every
// process of the data folder shares, read and changed with the folder's lock
// held: "group\0key\0time\0" one after the other, the latest last. They
// are written when the first of them is a second old (at the next cool-down
// test), when no more fit, and when the plug-in stops.
constexpr std::size_t kRecordedBytes = 65536;
constexpr std::uint64_t kWriteAfterMs = 1000;

struct Recorded {
  std::uint32_t used;
  std::uint32_t unused;
  std::uint64_t since;  // when the first was recorded (ms since the system started, the same in every process)
  char records[kRecordedBytes - 16];

  // The latest time of the key, read as the INI functions would read it
  // once written.
  std::optional<std::string> Find(const std::string& group, const std::string& key) const {
    std::optional<std::string> found;
    ForEach([&](const char* g, const char* k, const char* t) {
      if (SameIniName(g, group) && SameIniName(k, key)) found = t;
    });
    return found;
  }

  // Each whole record in `used`: what another process left is read within
  // the memory, whatever it holds.
  template <typename Take>
  void ForEach(Take take) const {
    const std::size_t end = std::min<std::size_t>(used, sizeof records);
    const auto next = [&](std::size_t at) { return at + strnlen(records + at, end - at) + 1; };
    for (std::size_t at = 0; at < end;) {
      const std::size_t k = next(at), t = k < end ? next(k) : end + 1, after = t < end ? next(t) : end + 1;
      if (after > end) return;
      take(records + at, records + k, records + t);
      at = after;
    }
  }

  bool Add(const std::string& group, const std::string& key, const std::string& time, std::uint64_t now) {
    const std::size_t bytes = group.size() + key.size() + time.size() + 3;
    if (used > sizeof records || bytes > sizeof records - used) return false;
    if (used == 0) since = now;
    char* at = records + used;
    for (const std::string* part : {&group, &key, &time}) {
      std::memcpy(at, part->c_str(), part->size() + 1);
      at += part->size() + 1;
    }
    used += static_cast<std::uint32_t>(bytes);
    return true;
  }

  // Writes them to `file` with what `more` adds; false, and kept, when the
  // file cannot be written.
  bool WriteTo(const std::string& file, std::vector<IniChange> more = {}) {
    std::vector<IniChange> changes;
    ForEach([&](const char* g, const char* k, const char* t) { changes.push_back({g, k, t}); });
    changes.insert(changes.end(), more.begin(), more.end());
    if (!WriteIniChanges(file, changes)) return false;
    used = 0;
    return true;
  }
};

// Whether a name is written and read back as it is, with no other name of
// the file taken for it: kept in memory; others are written at once.
bool KeptAsItIs(const std::string& name) {
  if (name.empty() || name.front() == ' ' || name.back() == ' ') return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || std::strchr("=;[]\"'", c) != nullptr;
  });
}

struct RecordedTimes {
  std::mutex lock;
  // By the name of the data folder's lock: the SAVE file and the memory.
  std::map<std::string, std::pair<std::string, std::unique_ptr<platform::SharedMemory>>> byFolder;
};

RecordedTimes& AllRecorded() {
  static RecordedTimes all;
  return all;
}

// The times recorded for the data folder of `file`; none when the memory
// cannot be had. With the folder's lock held.
Recorded* RecordedFor(const std::string& file) {
  const std::size_t cut = platform::LastPathSeparator(file);
  const std::string name =
      platform::FolderLock::KeptNameFor(cut == std::string::npos ? std::string(".") : file.substr(0, cut)) + "-SAVE";
  RecordedTimes& all = AllRecorded();
  std::lock_guard<std::mutex> hold(all.lock);
  auto& [path, memory] = all.byFolder[name];
  if (!memory) memory = std::make_unique<platform::SharedMemory>(name, sizeof(Recorded));
  path = file;
  return static_cast<Recorded*>(memory->data());
}

}  // namespace

ZOQ_HOT bool CooldownPasses(const std::string& group, const std::string& key, std::int32_t cooldownSeconds,
                    const std::string& fallback) {
  // A record without a group (a private message) has nothing to keep: a
  // section without a name is never read back, so it is not written.
  if (cooldownSeconds <= 0 || BlankIniName(group)) return true;
  // Read and written by one writer at a time: two messages at once, in
  // this process or another, let one reply through.
  const std::string file = CooldownFile();
  const DataFolderLock folder(file);
  const DateTime now = FromLocalTime(platform::Now());
  // While another process keeps the folder too long, the times it holds
  // are not looked at and the time goes unrecorded, as on a full disk.
  Recorded* recorded = folder.held() ? RecordedFor(file) : nullptr;
  const std::uint64_t at = platform::Milliseconds();
  if (recorded && recorded->used != 0 && at - recorded->since >= kWriteAfterMs) recorded->WriteTo(file);
  const std::optional<std::string> kept = recorded ? recorded->Find(group, key) : std::nullopt;
  const DateTime last = ParseDateTime(kept ? *kept : ReadIniItemNow(file, group, key, fallback));
  if (SecondsBetween(last, now) < cooldownSeconds) return false;
  if (!folder.held()) return true;
  const std::string time = FormatDateTime(now);
  const bool keep = recorded && KeptAsItIs(group) && KeptAsItIs(key);
  if (keep && recorded->Add(group, key, time, at)) return true;
  // Written at once, after what is kept (which then goes).
  if (!recorded || !recorded->WriteTo(file, {{group, key, time}})) WriteIniItem(file, group, key, time);
  return true;
}

void WriteRecordedCooldowns() {
  // Also those of a folder that was at the path before: to the one there now.
  RecordedTimes& all = AllRecorded();
  std::vector<std::pair<std::string, Recorded*>> kept;
  {
    std::lock_guard<std::mutex> hold(all.lock);
    for (const auto& [name, times] : all.byFolder) kept.emplace_back(times.first, static_cast<Recorded*>(times.second->data()));
  }
  for (const auto& [file, recorded] : kept) {
    if (!recorded || !recorded->used) continue;  // no wait on the lock for nothing
    const DataFolderLock folder(file);
    if (folder.held()) recorded->WriteTo(file);
  }
}

bool ForgetCooldowns(const std::string& file) {
  const DataFolderLock folder(file);
  if (!folder.held()) return false;
  if (Recorded* recorded = RecordedFor(file)) recorded->used = 0;
  return RemoveDataFile(file);
}

}  // namespace zoq
