#include "platform/http.hpp"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace zoq::platform {
namespace {

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr const char* kAcceptHeader = "Accept: */*\r\n";

struct HandleCloser {
  void operator()(void* h) const { InternetCloseHandle(static_cast<HINTERNET>(h)); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The limits, none beyond the time left of the whole request.
void ApplyTimeouts(HINTERNET h, const HttpTimeouts& t, DWORD left) {
  DWORD connect = std::min<DWORD>(t.connectMs, left), send = std::min<DWORD>(t.sendMs, left),
        receive = std::min<DWORD>(t.receiveMs, left);
  InternetSetOptionA(h, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
  InternetSetOptionA(h, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof send);
  InternetSetOptionA(h, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
  InternetSetOptionA(h, INTERNET_OPTION_DATA_SEND_TIMEOUT, &send, sizeof send);
  InternetSetOptionA(h, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

// Bytes beyond ASCII, blanks and control characters of an address travel
// percent-escaped: the request line stays ASCII whatever code page
// WinInet converts it with, and the server reads the same bytes back.
std::string EscapeForRequestLine(const std::string& object) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : object) {
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

struct Address {
  bool secure = false;
  std::string host;
  INTERNET_PORT port = 0;
  std::string object;  // path and query
};

bool Crack(const std::string& written, Address& out) {
  const std::string address = EscapeForRequestLine(written);
  std::vector<char> host(address.size() + 1), path(address.size() + 1), extra(address.size() + 1);
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!InternetCrackUrlA(address.c_str(), static_cast<DWORD>(address.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  out.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  out.host.assign(host.data(), parts.dwHostNameLength);
  out.port = parts.nPort;
  out.object.assign(path.data(), parts.dwUrlPathLength);
  out.object.append(extra.data(), parts.dwExtraInfoLength);
  if (out.object.empty()) out.object = "/";
  return !out.host.empty();
}

}  // namespace

HttpTimeouts& HttpTimeoutSettings() {
  static HttpTimeouts timeouts;
  return timeouts;
}

std::string HttpGet(const std::string& address, std::size_t limit) {
  return HttpGet(address, HttpTimeoutSettings(), limit);
}

std::string HttpGet(const std::string& address, const HttpTimeouts& limits, std::size_t limit) {
  const ULONGLONG deadline = GetTickCount64() + limits.totalMs;
  // The milliseconds left, 0 once the deadline has passed.
  const auto left = [&]() -> DWORD {
    const ULONGLONG now = GetTickCount64();
    return now < deadline ? static_cast<DWORD>(deadline - now) : 0;
  };
  Address a;
  if (address.empty() || !Crack(address, a)) return {};
  Handle session(InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return {};
  ApplyTimeouts(session.get(), limits, left());
  Handle connection(InternetConnectA(static_cast<HINTERNET>(session.get()), a.host.c_str(), a.port, nullptr,
                                     nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return {};
  ApplyTimeouts(connection.get(), limits, left());
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                INTERNET_FLAG_NO_UI;
  if (a.secure) flags |= INTERNET_FLAG_SECURE;
  Handle request(HttpOpenRequestA(static_cast<HINTERNET>(connection.get()), "GET", a.object.c_str(), "HTTP/1.0",
                                  nullptr, nullptr, flags, 0));
  if (!request) return {};
  ApplyTimeouts(request.get(), limits, left());
  if (!HttpSendRequestA(static_cast<HINTERNET>(request.get()), kAcceptHeader, static_cast<DWORD>(-1), nullptr, 0)) {
    return {};
  }
  // An answer other than success (a 404 page, say) is a failure, not a body.
  DWORD status = 0, size = sizeof status;
  if (!HttpQueryInfoA(static_cast<HINTERNET>(request.get()), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                      &size, nullptr) ||
      status < 200 || status > 299) {
    return {};
  }
  // A declared length past the limit fails before anything is read.
  DWORD declared = 0;
  size = sizeof declared;
  if (HttpQueryInfoA(static_cast<HINTERNET>(request.get()), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                     &declared, &size, nullptr) &&
      declared > limit) {
    return {};
  }
  // Read what has arrived, with the time left as the limit of every wait.
  std::string body;
  char chunk[8192];
  for (;;) {
    const DWORD remaining = left();
    if (remaining == 0) return {};
    ApplyTimeouts(request.get(), limits, remaining);
    DWORD available = 0;
    if (!InternetQueryDataAvailable(static_cast<HINTERNET>(request.get()), &available, 0, 0)) return {};
    if (available == 0) break;
    DWORD got = 0;
    if (!InternetReadFile(static_cast<HINTERNET>(request.get()), chunk, std::min<DWORD>(available, sizeof chunk),
                          &got)) {
      return {};
    }
    if (got == 0) break;
    if (body.size() + got > limit) return {};
    body.append(chunk, got);
  }
  return body;
}

}  // namespace zoq::platform
