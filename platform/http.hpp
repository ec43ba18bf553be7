// HTTP GET of web texts and pictures.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace zoq::platform {

// Limits of one request, in milliseconds: a dead web service must not hold
// the host's thread for long.
struct HttpTimeouts {
  std::uint32_t connectMs = 5000;
  std::uint32_t sendMs = 5000;
  std::uint32_t receiveMs = 5000;
  std::uint32_t totalMs = 8000;  // the whole request, however the server trickles
};
// The limits every later request uses (tests shorten them).
HttpTimeouts& HttpTimeoutSettings();

// The largest answers taken: a text, and a picture.
inline constexpr std::size_t kHttpTextLimit = std::size_t{1} << 20;
inline constexpr std::size_t kHttpPictureLimit = std::size_t{8} << 20;

// One "GET" request, version HTTP/1.0, never taken from or written to the
// local cache, over TLS for an https address. Gives the answer body as
// bytes; any failure gives the empty byte set: an answer with an error
// status, a body larger than `limit`, a request still unfinished after the
// total time. The caller's thread waits.
std::string HttpGet(const std::string& address, std::size_t limit = kHttpTextLimit);
// The same with limits of its own (a picture by default).
std::string HttpGet(const std::string& address, const HttpTimeouts& limits, std::size_t limit = kHttpPictureLimit);

}  // namespace zoq::platform
