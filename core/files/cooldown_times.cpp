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
#include "core/files/kept_times.hpp"
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

// Whether a reply whose key last answered at the later of `a` and `b` may
// go now.
bool Passes(const DateTime& a, const DateTime& b, const DateTime& now, std::int32_t cooldownSeconds) {
  return SecondsBetween(SecondsBetween(a, b) > 0 ? b : a, now) >= cooldownSeconds;
}

// Something is at the path (a file, or a folder of the name).
bool SomethingAt(const std::string& file) { return platform::FileExists(file) || platform::FolderExists(file); }

// How long a look at the kept times waits for another process at least:
// they are held for a look or a change alone, so only a process stopped in
// that moment keeps them longer. (Past that, a reply is held back: it
// could not be tested.)
constexpr std::uint32_t kKeptTimesAtLeastMs = 50;
std::uint32_t KeptTimesWait() { return std::max(OtherProcessWait::Left(), kKeptTimesAtLeastMs); }

// An owner who deleted SAVE (no file is there now) forgets the times kept
// while it was there, and the ones it took.
void ForgetIfDeleted(KeptTimes::Hold& hold, bool fileThere) {
  if (fileThere) return;
  std::vector<std::uint64_t> deleted;
  for (const KeptTimes::Entry& k : hold.Entries(/*alsoInFile=*/true)) {
    if (k.fileWasThere || k.inFile) deleted.push_back(k.id);
  }
  hold.Forget(deleted);
}

// Of SAVE as read (`fileThere`: whether a file is there): the kept times its
// write takes, each later than the file's time of its key; in `settled`,
// every kept time that write settles, those and the ones the file holds a
// time as late for. A time whose names the file would not give back as
// written (a key with "=") is never written, and stays.
std::vector<IniChange> Settle(KeptTimes::Hold& hold, const IniImage& image, bool fileThere,
                              std::vector<std::uint64_t>& settled) {
  ForgetIfDeleted(hold, fileThere);
  settled.clear();
  std::vector<IniChange> toWrite;
  for (const KeptTimes::Entry& k : hold.Entries()) {
    if (!ReadsBackAsSet(k.time)) continue;
    const std::optional<std::string> inFile = image.Value(k.time.section, *k.time.key);
    if (!inFile || SecondsBetween(ParseDateTime(*k.time.value), ParseDateTime(*inFile)) < 0) {
      toWrite.push_back(k.time);
    }
    settled.push_back(k.id);
  }
  return toWrite;
}

// SAVE holds what the write settled (a time kept meanwhile for the same
// key stays kept).
void Settled(KeptTimes& kept, const std::vector<std::uint64_t>& settled) {
  KeptTimes::Hold hold(kept, KeptTimesWait());
  if (hold) hold.InFile(settled);
}

// Writes the kept times of `file` that SAVE takes, under the write lock
// when it is had in time, else without it.
void WriteKept(const std::string& file, KeptTimes& kept) {
  std::vector<std::uint64_t> settled;
  const Update update = UpdateIniFile(
      file,
      [&](const IniImage& image, bool fileThere) -> std::optional<std::vector<IniChange>> {
        KeptTimes::Hold hold(kept, KeptTimesWait());
        if (!hold) return std::nullopt;
        std::vector<IniChange> changes = Settle(hold, image, fileThere, settled);
        if (settled.empty()) return std::nullopt;
        return changes;
      },
      Writers::Anyone);
  if (update == Update::Written) Settled(kept, settled);
}

}  // namespace

// Out of line: only a reply with a cool-down comes here, and it reads and
// writes the file; the code every message runs stays together.
__attribute__((noinline)) bool TestAndRecord(const std::string& file, const std::string& group,
                                             const std::string& key, std::int32_t cooldownSeconds,
                                             const std::string& fallback) {
  const DateTime now = FromLocalTime(platform::Now());
  // A time in the file as last read, which is still that file, holds the
  // reply back without any lock and without opening it: the file's times
  // only move on (a purge or an owner's edit met a moment late is one the
  // message came before).
  const std::shared_ptr<const IniImage> unchanged = IniImageIfUnchanged(file);
  if (unchanged && !BlankIniName(key) &&
      !Passes(ParseDateTime(unchanged->Value(group, key).value_or(fallback)), kEarliestDate, now, cooldownSeconds)) {
    return false;
  }
  const IniChange mine{group, key, FormatDateTime(now)};
  KeptTimes& kept = KeptTimes::Of(file);
  const auto inFile = [&](const IniImage& image) {
    return ParseDateTime(BlankIniName(key) ? std::string() : image.Value(group, key).value_or(fallback));
  };
  // The test, against SAVE as read and the kept times of every process, and
  // the keep of this reply's time are one step under the kept times' lock,
  // in whatever thread or process: of two messages at once one reply goes.
  const auto testAndKeep = [&](KeptTimes::Hold& hold, const DateTime& fileTime, bool fileThere, bool alsoInFile) {
    ForgetIfDeleted(hold, fileThere);
    const std::optional<std::string> keptTime = hold.ValueOf(group, key, alsoInFile);
    if (!Passes(fileTime, keptTime ? ParseDateTime(*keptTime) : kEarliestDate, now, cooldownSeconds)) return false;
    hold.Keep(mine, fileThere);
    return true;
  };
  // With the write lock, SAVE is read, tested and written in one step, and
  // no other writer takes a time out of the kept ones meanwhile; the time
  // and the ones kept before go into SAVE, and out of the kept ones.
  const FolderWriteLock writing(file);
  bool keeps = false;  // this reply's time is kept
  if (writing.held()) {
    std::vector<std::uint64_t> settled;
    const Update update = UpdateIniFile(
        file,
        [&](const IniImage& image, bool fileThere) -> std::optional<std::vector<IniChange>> {
          KeptTimes::Hold hold(kept, KeptTimesWait());
          if (!hold || (!keeps && !(keeps = testAndKeep(hold, inFile(image), fileThere, false)))) return std::nullopt;
          return Settle(hold, image, fileThere, settled);
        },
        Writers::Anyone);
    if (update == Update::Written) Settled(kept, settled);
    if (keeps || update == Update::Declined) return keeps;
  }
  // Without the write lock, or SAVE not read under it in time (another
  // program holds it alone): tested against SAVE as it stands now or as
  // last read while it is still that file, and the kept times; a time that
  // went into SAVE while SAVE was read is looked for again in SAVE. Where
  // SAVE cannot be had at all, the times it took stand for it.
  for (int look = 0; look < 3; ++look) {
    std::uint32_t moved = 0;
    {
      KeptTimes::Hold hold(kept, KeptTimesWait());
      if (!hold) return false;
      moved = hold.Moved();
    }
    const std::shared_ptr<const IniImage> image = SteadyIniImage(file);
    KeptTimes::Hold hold(kept, KeptTimesWait());
    if (!hold) return false;
    if (image && hold.Moved() != moved) continue;
    return testAndKeep(hold, image ? inFile(*image) : ParseDateTime(fallback), SomethingAt(file), !image);
  }
  return false;
}

void WriteUnwrittenCooldowns() {
  // A stop waits on another process no longer than a message does.
  const OtherProcessWait stop(kMessageFolderWaitMs);
  for (const auto& [file, kept] : KeptTimes::Opened()) {
    // Only where a kept time can be written: a stop with none opens nothing.
    bool any = false;
    {
      KeptTimes::Hold hold(*kept, KeptTimesWait());
      for (const KeptTimes::Entry& k : hold ? hold.Entries() : std::vector<KeptTimes::Entry>{}) {
        any = any || ReadsBackAsSet(k.time);
      }
    }
    if (any) WriteKept(file, *kept);
  }
}

bool ForgetCooldowns(const std::string& file) {
  // Under the write lock, so that no write comes between the deletion and
  // the kept times' and puts the old times back. Deleted also while another
  // process keeps the folder's lock; a file that cannot be deleted (held,
  // read-only) keeps every time, and so do the kept ones.
  const FolderWriteLock writing(file);
  if (!writing.held()) return false;
  if (!RemoveDataFile(file, Writers::Anyone) && platform::FileExists(file)) return false;
  KeptTimes::Hold hold(KeptTimes::Of(file), KeptTimesWait());
  if (!hold) return false;
  hold.Clear();
  return true;
}

}  // namespace zoq
