// Outside programs run to their end: started with a hidden window and a
// standard input that is already at its end (so a program that asks a
// question reads no answer and goes on), waited for without a time limit.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zoq::platform {

// Runs `program` (a full path) with `commandLine` as the command line the
// program sees, in the working folder `folder`; the exit code, or nothing
// when the program could not be started.
std::optional<std::uint32_t> RunProgram(const std::string& program, const std::string& commandLine,
                                        const std::string& folder);

// Runs `other` on a thread of its own while `mine` runs on this thread, and
// returns when both are done (one after the other here when no thread can
// be made, or `other` is empty). What either throws is thrown here once
// both ended, `mine`'s first.
void RunTogether(const std::function<void()>& other, const std::function<void()>& mine);

}  // namespace zoq::platform
