#include "tests/reply/reply_test_support.hpp"

#include <windows.h>

#include <map>
#include <memory>

namespace zoq::testing {

FakeHostDll& Fake(const std::string& dll) {
  static std::map<std::string, std::unique_ptr<FakeHostDll>> loaded;
  auto& fake = loaded[dll];
  if (!fake) {
    // A folder of this process's own: tests run in parallel processes.
    const std::string folder =
        FakeHostBuildFolder() + "\\..\\reply-test-runs\\hosts-" + std::to_string(GetCurrentProcessId());
    fake = std::make_unique<FakeHostDll>(dll, folder);
  }
  return *fake;
}

}  // namespace zoq::testing
