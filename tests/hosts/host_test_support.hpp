// Shared pieces of the host adapter tests: a fresh folder per test and the
// adapter fixture.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hosts/call/host_call.hpp"
#include "tests/fakehost/fakehost_client.hpp"

namespace zoq::testing {

// <build>/hosts-test-runs/<suite>.<test>, emptied of files and made anew.
std::string FreshTestFolder();

// The API table the function-table host would hand over: every function of
// `fake` with its address.
std::string ApiTableOf(const FakeHostDll& fake);

// A call as the fake DLL records it.
inline FakeCall Call(const std::string& dll, const std::string& function, std::vector<std::string> args) {
  return {dll, function, std::move(args)};
}

// A test of one adapter object against a fresh copy of its host's fake DLL.
template <class Api>
class AdapterTest : public ::testing::Test {
 protected:
  explicit AdapterTest(const char* dll) : dll_(dll) {}
  FakeCall Expect(const std::string& function, std::vector<std::string> args) const {
    return Call(dll_, function, std::move(args));
  }

  const char* dll_;
  std::string folder_ = FreshTestFolder();
  FakeHostDll fake_{dll_, folder_};
  Api api_;
};

}  // namespace zoq::testing
