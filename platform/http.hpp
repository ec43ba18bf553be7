// HTTP GET of web texts and pictures.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace zoq::platform {

// Limits of one request, in milliseconds: a dead or hostile web service
// must not hold the host's thread for long.
struct HttpTimeouts {
  std::uint32_t connectMs = 5000;  // one connection attempt
  std::uint32_t sendMs = 5000;     // the longest wait for the server to take more of the request
  std::uint32_t receiveMs = 5000;  // the longest wait for the next bytes of the answer
  std::uint32_t totalMs = 8000;    // everything: connecting, every redirect, headers and body
};
// The limits every later request uses (tests shorten them).
HttpTimeouts& HttpTimeoutSettings();

// The largest answers taken: a text, and a picture.
inline constexpr std::size_t kHttpTextLimit = std::size_t{1} << 20;
inline constexpr std::size_t kHttpPictureLimit = std::size_t{8} << 20;

// One "GET" request, version HTTP/1.0, never taken from or written to a
// cache, over TLS for an https address, through the user's proxy as WinInet
// reads it (the proxy server for the address's scheme unless its bypass list
// names the host, for that scheme where the entry names one; https through
// a tunnel; the loopback, by name or address, direct unless the list holds
// "<-loopback>"); redirects are followed (at most ten). Gives
// the answer body as bytes; any failure gives the empty byte set: an answer
// with an error status, one without a body (204), one that declares two
// different lengths, a body larger than `limit` or shorter than its
// declared length, a request unfinished at the total time or at the end of
// the thread's budget. The caller's thread waits; the request leaves nothing
// running behind it.
std::string HttpGet(const std::string& address, std::size_t limit = kHttpTextLimit);
// The same with limits of its own (a picture by default).
std::string HttpGet(const std::string& address, const HttpTimeouts& limits, std::size_t limit = kHttpPictureLimit);

// How many times this process looked at the user's proxy settings, all
// told: each request takes them as last looked at, until the registry's
// Internet Settings change (what a test counts them by).
std::uint64_t ProxySettingsLooks();

// One budget for every web request the calling thread makes while the scope
// lives: they all end `totalMs` after it was opened at the latest, and a
// request made once it is spent gives the empty answer at once. An inner
// scope never ends later than the one around it.
class HttpBudget {
 public:
  explicit HttpBudget(std::uint32_t totalMs = HttpTimeoutSettings().totalMs);
  ~HttpBudget();
  HttpBudget(const HttpBudget&) = delete;
  HttpBudget& operator=(const HttpBudget&) = delete;
  // The end of the calling thread's innermost budget (tick count); 0: none.
  static std::uint64_t EndOnThisThread();

 private:
  HttpBudget* outer_;
  std::uint64_t end_;
};

}  // namespace zoq::platform
