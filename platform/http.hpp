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
// cache, over TLS for an https address; redirects are followed (at most
// ten). Gives the answer body as bytes; any failure gives the empty byte
// set: an answer with an error status, a body larger than `limit` or
// shorter than its declared length, a request unfinished at the total
// time. The caller's thread waits; the request leaves nothing running
// behind it.
std::string HttpGet(const std::string& address, std::size_t limit = kHttpTextLimit);
// The same with limits of its own (a picture by default).
std::string HttpGet(const std::string& address, const HttpTimeouts& limits, std::size_t limit = kHttpPictureLimit);

}  // namespace zoq::platform
