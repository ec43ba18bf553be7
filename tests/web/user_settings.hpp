// Settings outside the test process that web requests follow, changed by a
// test for its length: the user's proxy (the whole Wine prefix's, so such a
// test runs alone), and the name server.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace zoq::testing {

// The user's proxy in the Internet Settings of the registry: set as a test
// asks, put back as it was when the object goes (also when the test fails).
class UserProxy {
 public:
  UserProxy();
  ~UserProxy();
  UserProxy(const UserProxy&) = delete;
  UserProxy& operator=(const UserProxy&) = delete;
  // ProxyEnable, ProxyServer ("host:port" or "http=host:port;https=...")
  // and ProxyOverride (the bypass list).
  void Set(bool enabled, const std::string& servers, const std::string& bypass);

 private:
  struct Value {
    unsigned long type = 0;
    std::string bytes;
  };
  std::optional<Value> saved_[3];  // none: the value was not there
};

// Whether a name server that never answers is the only one this process
// asks: tests/web/silent_dns.sh started it, with a resolver configuration
// that gives up on the name server after kSilentNameServerGivesUpMs.
bool SilentNameServerOnly();
inline constexpr std::uint32_t kSilentNameServerGivesUpMs = 5000;

}  // namespace zoq::testing
