// Per-group cool-downs of keywords on the message path: the test of a
// reply's key against the times of the file `SAVE` (core/files/cooldown_times.hpp).
#pragma once
#include <cstdint>
#include <string>

namespace zoq {

// The cool-down test of one key in one group: true when the reply may be
// sent, in which case the current time is written for the key in SAVE at
// once. `fallback` is the value an absent key reads as. A cool-down of 0 or
// less always passes and touches nothing. A time that cannot be written
// (another program keeps SAVE alone, the disk is full) is kept where every
// host process of the machine sees it, holds its replies back and goes into
// SAVE with the next write that can be made.
bool CooldownPasses(const std::string& group, const std::string& key, std::int32_t cooldownSeconds,
                    const std::string& fallback);

}  // namespace zoq
