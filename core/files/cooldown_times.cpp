#include "core/files/cooldown_times.hpp"

#include <algorithm>
#include <array>
#include <iterator>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "core/files/file_writes.hpp"
#include "core/files/ini_items.hpp"
#include "core/files/kept_times.hpp"
#include "platform/files.hpp"
#include "platform/folder_lock.hpp"
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

// Whether a time of the key holds its reply back now: one less than a
// cool-down ago, or ahead of now by a cool-down at most. A time further
// ahead (a clock that was set wrong, put back, a time typed by hand) is
// none: it would silence the key until then.
bool Holds(const DateTime& at, const DateTime& now, std::int32_t cooldownSeconds) {
  const std::int64_t elapsed = SecondsBetween(at, now);
  return elapsed < cooldownSeconds && elapsed >= -std::int64_t{cooldownSeconds};
}

// Something is at the path (a file, or a folder of the name).
bool SomethingAt(const std::string& file) { return platform::FileExists(file) || platform::FolderExists(file); }

// The budget of a reply's test for its waits on other processes: what the
// thread has (OtherProcessWait: a message's), of which a part is kept back
// for the looks at the kept times. While it stands, the waits on the
// folder's write lock and on SAVE (core/files/file_writes.hpp) draw from
// the rest, which is the thread's budget meanwhile; a look draws from the
// rest first, then from the part kept back. At its end, what was drawn
// goes off the thread's budget. So a look behind a stopped writer still
// waits a moment for another process that looks at the kept times (they
// are held for a look or a change alone), and the test waits no longer than
// the budget in all, each wait given what is left.
constexpr std::uint32_t kLooksPartMs = 30;

class TestBudget {
 public:
  TestBudget()
      : looks_(std::min(OtherProcessWait::Left(), kLooksPartMs)),
        rest_(std::in_place, OtherProcessWait::Left() - looks_),
        given_(OtherProcessWait::Left()) {}
  ~TestBudget() {
    const std::uint32_t drawn = given_ - OtherProcessWait::Left() + looksDrawn_;
    rest_.reset();
    OtherProcessWait::Spend(drawn);
  }
  TestBudget(const TestBudget&) = delete;
  TestBudget& operator=(const TestBudget&) = delete;

  std::uint32_t ForALook() const { return OtherProcessWait::Left() + looks_ - looksDrawn_; }
  void Drawn(std::uint32_t ms) {
    const std::uint32_t fromRest = std::min(ms, OtherProcessWait::Left());
    OtherProcessWait::Spend(fromRest);
    looksDrawn_ += std::min(ms - fromRest, looks_ - looksDrawn_);
  }

 private:
  std::uint32_t looks_, looksDrawn_ = 0;
  std::optional<OtherProcessWait> rest_;
  std::uint32_t given_;
};

// While a look waits for the kept times' lock, another process may hold
// it: for the threads in line behind this one at the folder's locks it
// holds (a write of SAVE), that is a wait on other processes.
struct WaitingOnOthers {
  std::optional<platform::FolderLock::OthersHoldUp> waiting{std::in_place};
};

// A look at the kept times: their lock, waited for out of `budget`, or out
// of the thread's budget (OtherProcessWait) without one.
class Look : private WaitingOnOthers, public KeptTimes::Hold {
 public:
  explicit Look(KeptTimes& kept, TestBudget* budget = nullptr)
      : Look(kept, budget, budget ? budget->ForALook() : OtherProcessWait::Left(), platform::Milliseconds()) {}

 private:
  Look(KeptTimes& kept, TestBudget* budget, std::uint32_t allowedMs, std::uint64_t start)
      : KeptTimes::Hold(kept, allowedMs) {
    waiting.reset();
    // One that ran out waited all it was allowed; one that did not, no
    // longer than that (the rest was this system's own work).
    const auto waited =
        *this ? static_cast<std::uint32_t>(std::min<std::uint64_t>(platform::Milliseconds() - start, allowedMs)) : allowedMs;
    if (budget) budget->Drawn(waited);
    else OtherProcessWait::Spend(waited);
    if (!*this) platform::OthersWaitsRanOut::Count(allowedMs);
  }
};

// How many kept times one write takes besides a reply's own: a message's,
// and each of a stop's writes, which it makes for a while at most.
constexpr std::size_t kSettleWithAReply = 8;
constexpr std::size_t kSettleAtAStop = 64;
constexpr std::uint64_t kStopWritesForMs = 1000;

// The value of the key in SAVE as read (none: no value).
std::optional<std::string> ValueIn(const IniImage& image, const std::string& group, const std::string& key) {
  if (BlankIniName(key)) return std::nullopt;
  return image.Value(group, key);
}

// Whether SAVE's value of a kept time's key, as read, is one someone else
// put there after the time was kept (the owner's edit, or a deletion of the
// key): neither what SAVE held then, nor this time, nor the time it took
// the place of, which a write of this system may still have put there.
bool ChangedSinceKept(const KeptTimes::Time& k, const std::optional<std::string>& inFile) {
  if (k.before == KeptTimes::kUnknown || inFile == k.time.value) return false;
  const KeptTimes::FileValue now = KeptTimes::ValueInFile(inFile);
  return now != k.before && now != k.replaced;
}

// Whether the time the table has for the key holds its reply back, SAVE
// read as `image` (none where it could not be read), `inFile` its value of
// the key: a time SAVE took only stands for SAVE where SAVE could not be
// read; a kept one gives way to a change of its key in SAVE made since,
// and is forgotten.
bool KeptHolds(KeptTimes::Hold& hold, const std::string& group, const std::string& key, const IniImage* image,
               const std::optional<std::string>& inFile, const DateTime& now, std::int32_t cooldownSeconds) {
  const std::optional<KeptTimes::Time> k = hold.Find(group, key);
  if (!k || (image && k->inFile)) return false;
  if (image && ChangedSinceKept(*k, inFile)) {
    hold.Forget({k->id});
    return false;
  }
  return Holds(ParseDateTime(*k->time.value), now, cooldownSeconds);
}

// Of SAVE as read (`fileThere`: whether a file is there): the kept times
// its write takes, the time of the id `mine` and at most `most` of the
// oldest others, each later than the file's time of its key (or where the
// file's is ahead of now); in `settled`, every kept time that write
// settles, those and the ones the file holds a time as late for. A kept
// time whose key someone changed in SAVE since is forgotten: the file's
// value stands. None when nothing is to be written or settled.
std::optional<std::vector<IniChange>> Settle(KeptTimes::Hold& hold, const IniImage& image, bool fileThere,
                                             const DateTime& now, std::size_t most, std::uint64_t mine,
                                             std::vector<std::uint64_t>& settled) {
  hold.FileSeen(fileThere);
  settled.clear();
  std::vector<IniChange> toWrite;
  std::vector<std::uint64_t> changed;
  for (KeptTimes::Time& k : hold.Unwritten(most, mine)) {
    const std::optional<std::string> inFile = image.Value(k.time.section, *k.time.key);
    if (k.id != mine && ChangedSinceKept(k, inFile)) {
      changed.push_back(k.id);
      continue;
    }
    const DateTime fileTime = inFile ? ParseDateTime(*inFile) : kEarliestDate;
    if (SecondsBetween(ParseDateTime(*k.time.value), fileTime) < 0 || SecondsBetween(fileTime, now) < 0) {
      toWrite.push_back(std::move(k.time));
    }
    settled.push_back(k.id);
  }
  hold.Forget(changed);
  if (settled.empty() && changed.empty()) return std::nullopt;
  return toWrite;
}

// SAVE holds what the write settled (a time kept meanwhile for the same
// key stays kept).
void Settled(KeptTimes& kept, const std::vector<std::uint64_t>& settled, TestBudget* budget = nullptr) {
  Look hold(kept, budget);
  if (hold) hold.InFile(settled);
}

// Writes at most kSettleAtAStop of the oldest kept times of `file` that
// SAVE takes, under the write lock when it is had in time, else without
// it. Whether it got on and more may be left.
bool WriteKept(const std::string& file, KeptTimes& kept) {
  {
    // Only where a kept time can be written: a stop with none opens nothing.
    Look hold(kept);
    bool more = false;
    if (!hold) return false;
    if (hold.Unwritten(1, 0, &more).empty()) return more;
  }
  const DateTime now = FromLocalTime(platform::Now());
  std::vector<std::uint64_t> settled;
  const Update update = UpdateIniFile(
      file,
      [&](const IniImage& image, bool fileThere) -> std::optional<std::vector<IniChange>> {
        if (platform::IsReadOnlyFile(file)) return std::nullopt;
        Look hold(kept);
        if (!hold) return std::nullopt;
        return Settle(hold, image, fileThere, now, kSettleAtAStop, 0, settled);
      },
      Writers::Anyone);
  if (update != Update::Written) return false;
  Settled(kept, settled);
  return true;
}

}  // namespace

// Out of line: only a reply with a cool-down comes here, and it reads and
// writes the file; the code every message runs stays together.
__attribute__((noinline)) bool TestAndRecord(const std::string& file, const std::string& group,
                                             const std::string& key, std::int32_t cooldownSeconds,
                                             const std::string& fallback) {
  TestBudget budget;
  const DateTime now = FromLocalTime(platform::Now());
  // A time in the file as last read, which is still that file, holds the
  // reply back without any lock and without opening it: the file's times
  // only move on (a purge or an owner's edit met a moment late is one the
  // message came before).
  const std::shared_ptr<const IniImage> unchanged = IniImageIfUnchanged(file);
  if (unchanged && !BlankIniName(key) &&
      Holds(ParseDateTime(unchanged->Value(group, key).value_or(fallback)), now, cooldownSeconds)) {
    return false;
  }
  KeptTimes& kept = KeptTimes::Of(file);
  // So does a kept time (SAVE read-only, say), under the kept times' lock
  // alone.
  if (unchanged) {
    Look hold(kept, &budget);
    if (hold && KeptHolds(hold, group, key, unchanged.get(), ValueIn(*unchanged, group, key), now, cooldownSeconds)) {
      return false;
    }
  }
  const IniChange mine{group, key, FormatDateTime(now)};
  const bool writable = ReadsBackAsSet(mine);
  std::uint64_t mineId = 0;
  // The test, against SAVE as read (`image`; none where it cannot be had)
  // and the kept times of every process, and the keep of this reply's time
  // are one step under the kept times' lock, in whatever thread or process:
  // of two messages at once one reply goes.
  const auto testAndKeep = [&](KeptTimes::Hold& hold, const IniImage* image, bool fileThere) {
    hold.FileSeen(fileThere);
    const std::optional<std::string> inFile = image ? ValueIn(*image, group, key) : std::nullopt;
    if (KeptHolds(hold, group, key, image, inFile, now, cooldownSeconds) ||
        Holds(ParseDateTime(inFile.value_or(fallback)), now, cooldownSeconds)) {
      return false;
    }
    mineId = hold.Keep(mine, fileThere, image ? KeptTimes::ValueInFile(inFile) : KeptTimes::kUnknown, writable);
    return true;
  };
  // With the write lock, SAVE is read, tested and written in one step, and
  // no other writer takes a time out of the kept ones meanwhile; the time
  // and a few kept before it go into SAVE, and out of the kept ones.
  const FolderWriteLock writing(file);
  bool keeps = false;  // this reply's time is kept
  if (writing.held()) {
    std::vector<std::uint64_t> settled;
    const Update update = UpdateIniFile(
        file,
        [&](const IniImage& image, bool fileThere) -> std::optional<std::vector<IniChange>> {
          // A file that cannot take a write is not written: the time is kept.
          const bool readOnly = platform::IsReadOnlyFile(file);
          Look hold(kept, &budget);
          if (!hold || (!keeps && !(keeps = testAndKeep(hold, &image, fileThere))) || readOnly) return std::nullopt;
          return Settle(hold, image, fileThere, now, kSettleWithAReply, mineId, settled);
        },
        Writers::Anyone);
    if (update == Update::Written) Settled(kept, settled, &budget);
    if (keeps || update == Update::Declined) return keeps;
  }
  // Without the write lock, or SAVE not read under it in time (another
  // program holds it alone): tested against SAVE as it stands now or as
  // last read while it is still that file, and the kept times; a time that
  // went into SAVE while SAVE was read is looked for again in SAVE.
  for (int look = 0; look < 3; ++look) {
    std::uint32_t moved = 0;
    {
      Look hold(kept, &budget);
      if (!hold) return false;
      moved = hold.Moved();
    }
    const std::shared_ptr<const IniImage> image = SteadyIniImage(file);
    Look hold(kept, &budget);
    if (!hold) return false;
    if (image && hold.Moved() != moved) continue;
    return testAndKeep(hold, image.get(), SomethingAt(file));
  }
  return false;
}

void WriteUnwrittenCooldowns() {
  // A stop waits on another process no longer than a message does, and
  // writes for a while at most, whatever the data folders it wrote in: what
  // it leaves stays kept while another host process on the folder runs.
  const OtherProcessWait stop(kMessageFolderWaitMs);
  const std::uint64_t until = platform::Milliseconds() + kStopWritesForMs;
  for (const auto& [file, kept] : KeptTimes::Opened()) {
    while (WriteKept(file, *kept) && platform::Milliseconds() < until) {
    }
  }
}

bool ForgetCooldowns(const std::string& file) {
  // Under the write lock, so that no write comes between the deletion and
  // the kept times' and puts the old times back. Deleted also while another
  // process keeps the folder's lock; a file that cannot be deleted (open in
  // another program, read-only) keeps every time, and so do the kept ones.
  const FolderWriteLock writing(file);
  if (!writing.held()) return false;
  if (!RemoveDataFile(file, Writers::Anyone) && platform::FileExists(file)) return false;
  Look hold(KeptTimes::Of(file));
  if (!hold) return false;
  hold.Clear();
  return true;
}

}  // namespace zoq
