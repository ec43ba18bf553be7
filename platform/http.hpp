// HTTP GET of web texts and pictures.
#pragma once
#include <cstdint>
#include <string>

namespace zoq::platform {

// Limits of one request, in milliseconds: a dead web service must not hold
// the host's thread for long.
struct HttpTimeouts {
  std::uint32_t connectMs = 5000;
  std::uint32_t sendMs = 5000;
  std::uint32_t receiveMs = 5000;
};
// The limits every later request uses (tests shorten them).
HttpTimeouts& HttpTimeoutSettings();

// One "GET" request, version HTTP/1.0, never taken from or written to the
// local cache, over TLS for an https address. Gives the answer body as
// bytes; any failure, an answer with an error status included, gives the
// empty byte set. The caller's thread waits.
std::string HttpGet(const std::string& address);
// The same with limits of its own.
std::string HttpGet(const std::string& address, const HttpTimeouts& limits);

}  // namespace zoq::platform
