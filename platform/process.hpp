// Outside programs run to their end: started with a hidden window and a
// standard input that is already at its end (so a program that asks a
// question reads no answer and goes on), waited for without a time limit.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace zoq::platform {

// Runs `program` (a full path) with `commandLine` as the command line the
// program sees, in the working folder `folder`; the exit code, or nothing
// when the program could not be started.
std::optional<std::uint32_t> RunProgram(const std::string& program, const std::string& commandLine,
                                        const std::string& folder);

}  // namespace zoq::platform
