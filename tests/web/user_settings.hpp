// Settings outside the test process that web requests follow, changed by a
// test for its length: the user's proxy (the whole Wine prefix's, so such a
// test runs alone) and a name server that never answers.
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

// A name server that reads the queries sent to it and never answers. The
// process must have been started by tests/web/silent_dns.sh, whose resolver
// configuration names it (and gives up on it after kGivesUpMs); elsewhere
// it is not ready and the lookups of the process go on as ever.
class SilentNameServer {
 public:
  static constexpr std::uint32_t kGivesUpMs = 5000;
  SilentNameServer();
  ~SilentNameServer();
  SilentNameServer(const SilentNameServer&) = delete;
  SilentNameServer& operator=(const SilentNameServer&) = delete;
  bool ready() const { return ready_; }

 private:
  std::uintptr_t socket_ = ~std::uintptr_t(0);
  bool ready_ = false;
};

}  // namespace zoq::testing
