// The cool-down file `SAVE`: the time of the last reply of each key in each
// group, kept as a date-time text; the test and write of one key's time, the
// times kept beside it (core/files/kept_times.hpp) while the file cannot be
// written, and the purge.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.hpp"

namespace zoq {

struct DateTime {
  int year = 100, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
};

// The earliest date: what every unreadable value counts as.
inline constexpr DateTime kEarliestDate{};

// "2026年12月5日17时46分29秒"; trailing zero parts of the time are left out
// ("…18时"), and at midnight the whole time part.
std::string FormatDateTime(const DateTime& t);

// Reads year, month, day and optional hour, minute, second, each ended by its
// unit character or by "/", "-", ":" or "." (after the day also a blank) or
// by the end of the text. Anything else gives kEarliestDate.
DateTime ParseDateTime(std::string_view s);

DateTime FromLocalTime(const platform::LocalTime& t);

// Whole seconds from `from` to `to` (negative when `from` is later).
std::int64_t SecondsBetween(const DateTime& from, const DateTime& to);

// The test of one key with a cool-down in one group, `file` being SAVE:
// true when the reply may be sent, in which case the current time is written
// for the key in the file at once. `fallback` is the value an absent key
// reads as. A time holds the reply back from a cool-down before it up to a
// cool-down after it; one further ahead of now counts as none. The test and
// the record of the time are one step for every thread and host process of
// the machine. A time that cannot be written in the caller's budget
// (another process keeps the folder's write lock, another program keeps
// SAVE alone, SAVE is read-only, the disk is full) is kept where every host
// process sees it, holds its replies back and goes into the file with the
// next writes that can be made, a few with each; a change of its key in
// SAVE made since (the owner's edit, or deletion, of the key) stands over
// it. What a test costs does not grow with the times kept. Its waits on
// other processes (the folder's write lock, SAVE held by another program,
// the kept times' lock) are drawn from the thread's budget for them
// (OtherProcessWait) and wait no longer than it in all, of which a part
// (30 ms) is kept for the looks at the kept times: behind a stopped writer
// they still wait a moment for another process's look.
bool TestAndRecord(const std::string& file, const std::string& group, const std::string& key,
                   std::int32_t cooldownSeconds, const std::string& fallback);

// Writes the times that could not be written yet (when the plug-in stops),
// for a second at most.
void WriteUnwrittenCooldowns();

// Deletes every cool-down time of the data folder of `file` (the file SAVE);
// false, and every time kept, when SAVE is still there by its name (another
// program has it open, it is read-only).
bool ForgetCooldowns(const std::string& file);

}  // namespace zoq
