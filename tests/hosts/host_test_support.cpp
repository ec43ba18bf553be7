#include "tests/hosts/host_test_support.hpp"

#include <windows.h>

namespace zoq::testing {

std::string FreshTestFolder() { return FreshTestRunFolder("hosts-test-runs"); }

std::string ApiTableOf(const FakeHostDll& fake) {
  std::string table = "{";
  for (const auto& [name, kinds] : fake.Functions()) {
    const auto address = reinterpret_cast<std::uintptr_t>(GetProcAddress(static_cast<HMODULE>(fake.module()), name.c_str()));
    table += (table.size() > 1 ? ",\"" : "\"") + name + "\":" + std::to_string(address);
  }
  return table + "}";
}

}  // namespace zoq::testing
