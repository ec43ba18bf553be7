// A small HTTP server on 127.0.0.1 (or [::1]) inside the test process:
// answers GET requests from a table of paths and records every request it
// receives.
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zoq::testing {

struct WebRequest {
  std::string line;  // "GET /path HTTP/1.0"
  std::string target;  // percent escapes decoded
  std::string head;  // the request line and every header, as received
};

class WebServer {
 public:
  // On a port of the system's choosing, or on `port` (listening() tells
  // whether it could be had; host() on which loopback address); on [::1]
  // for `ipv6`.
  explicit WebServer(std::uint16_t port = 0, bool ipv6 = false);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // "http://<host>:<port>": 127.0.0.1 (or [::1]) but where the port was
  // taken there
  std::string base() const;
  std::string host() const { return host_; }
  std::string port() const { return std::to_string(port_); }
  bool listening() const { return port_ != 0; }
  // Answers `target` (path and query, percent escapes decoded) with `body`;
  // other targets get 404 with a small error page.
  void Serve(const std::string& target, const std::string& body);
  // Answers every target `path` "?" name "=" value with the value (escapes
  // decoded): a text service that echoes its query.
  void Echo(const std::string& path);
  // Answers `target` with `raw` as written (status line, fields and body);
  // from byte `dripFrom` on one byte per `dripMs` when that is not 0; then
  // bytes "x" until `fillTo` bytes went out; then the connection stays open
  // until the client closes it, or for `holdMs`.
  struct RawAnswer {
    std::string raw;
    std::size_t dripFrom = 0;
    int dripMs = 0;
    std::size_t fillTo = 0;
    int holdMs = 0;
  };
  void Serve(const std::string& target, const RawAnswer& answer);
  // A 200 answer that holds `body`.
  static RawAnswer OkAnswer(const std::string& body);
  // Accepts connections but never answers them (until the server ends, or
  // `seconds` later).
  void Stall(int seconds);
  // "http://127.0.0.1:<port>" of a socket that listens, its queue full, and
  // never accepts.
  std::string DeafBase();
  std::vector<WebRequest> Requests() const;
  std::vector<std::string> Targets() const;

 private:
  void Run();
  void Answer(std::uintptr_t client);

  std::uintptr_t listener_ = ~std::uintptr_t(0);
  std::string host_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> stallSeconds_{0};
  mutable std::mutex mutex_;
  std::map<std::string, std::string> bodies_;
  std::string echo_;
  std::map<std::string, RawAnswer> answers_;
  std::vector<std::uintptr_t> deaf_;  // the deaf listener and the connections that fill its queue
  std::vector<WebRequest> requests_;
  std::thread thread_;
};

}  // namespace zoq::testing
