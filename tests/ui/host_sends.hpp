// Replies of the settings window's libraries sent through a host: the real
// DLL in a host process of its own with the host's fake API (kept apart
// from the window's tests, which define names of their own).
#pragma once
#include <string>
#include <vector>

namespace zoq::testing {

// What the host `host` (a host case's name: "VLQ", "ISky", ...) sends for
// each of `replies`: an exact library of the keywords k0, k1, ... with them,
// each keyword asked in a private message; "<n sends>" where it sent n
// messages other than one.
std::vector<std::string> SentThroughHost(const std::string& host, const std::vector<std::string>& replies);

}  // namespace zoq::testing
