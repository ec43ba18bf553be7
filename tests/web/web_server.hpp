// A small HTTP server on 127.0.0.1 inside the test process: answers GET
// requests from a table of paths and records every request it receives.
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
  WebServer();
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // "http://127.0.0.1:<port>"
  std::string base() const;
  // Answers `target` (path and query, percent escapes decoded) with `body`;
  // other targets get 404 with a small error page.
  void Serve(const std::string& target, const std::string& body);
  // Accepts connections but never answers them (until the server ends, or
  // `seconds` later).
  void Stall(int seconds);
  // Sends every body one byte per `milliseconds` from now on (0: at once).
  void Trickle(int milliseconds);

  // Ways a broken or hostile service answers `target`.
  enum class Shape {
    TrickledStatusLine,  // the whole answer one byte per 100 ms
    TrickledHeaders,     // the status line at once, then header bytes one per 100 ms, without end
    Silent,              // reads the request, never answers
    HugeBody,            // declares 1 GiB and sends it as fast as it can
    ShortBody,           // declares 100 bytes, sends 50 and closes
  };
  void Serve(const std::string& target, Shape shape);
  // Answers `target` with a redirect to `location`.
  void Redirect(const std::string& target, const std::string& location);
  // "http://127.0.0.1:<port>" of a socket that listens but never accepts,
  // its queue already full.
  std::string DeafBase();
  std::vector<WebRequest> Requests() const;
  std::vector<std::string> Targets() const;

 private:
  void Run();
  void Answer(std::uintptr_t client);
  void AnswerShape(std::uintptr_t client, Shape shape);

  std::uintptr_t listener_ = ~std::uintptr_t(0);
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> stallSeconds_{0};
  std::atomic<int> trickleMs_{0};
  mutable std::mutex mutex_;
  std::map<std::string, std::string> bodies_;
  std::map<std::string, Shape> shapes_;
  std::map<std::string, std::string> redirects_;
  std::vector<std::uintptr_t> deaf_;  // the deaf listener, then the connections that fill its queue
  std::vector<WebRequest> requests_;
  std::thread thread_;
};

}  // namespace zoq::testing
