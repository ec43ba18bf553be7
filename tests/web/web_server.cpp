#include "tests/web/web_server.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>


namespace zoq::testing {
namespace {

bool Readable(SOCKET s, int milliseconds) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv{milliseconds / 1000, (milliseconds % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &tv) > 0;
}

std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Keeps the connection open, reading what comes, until the client closes
// it, `ms` pass or the server ends.
void HoldOpen(SOCKET client, ULONGLONG ms, const std::atomic<bool>& stop) {
  char buffer[4096];
  for (const ULONGLONG until = GetTickCount64() + ms; !stop && GetTickCount64() < until;) {
    if (Readable(client, 50) && recv(client, buffer, sizeof buffer, 0) <= 0) return;
  }
}

// Sends `a`, as long as the client takes it and the server runs.
void Send(SOCKET client, const WebServer::RawAnswer& a, const std::atomic<bool>& stop) {
  std::size_t sent = 0;
  while (sent < a.raw.size() && !stop) {
    const bool drip = a.dripMs > 0 && sent >= a.dripFrom;
    const std::size_t piece =
        drip ? 1 : std::min<std::size_t>((a.dripMs > 0 ? a.dripFrom : a.raw.size()) - sent, 65536);
    const int n = send(client, a.raw.data() + sent, static_cast<int>(piece), 0);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
    if (drip) Sleep(static_cast<DWORD>(a.dripMs));
  }
  const std::string fill(65536, 'x');
  for (int n = 0; sent < a.fillTo && !stop && n >= 0; sent += static_cast<std::size_t>(n)) {
    n = send(client, fill.data(), static_cast<int>(std::min(fill.size(), a.fillTo - sent)), 0);
  }
  HoldOpen(client, static_cast<ULONGLONG>(a.holdMs), stop);
}

sockaddr_in Loopback(std::uint16_t port, std::uint32_t address = INADDR_LOOPBACK) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(address);
  addr.sin_port = htons(port);
  return addr;
}

// A socket listening on `address` of 127.0.0.0/8 (or [::1]) at `port` (0:
// any), and the port it was given (0: none).
SOCKET Listen(int backlog, std::uint16_t& port, bool ipv6 = false, std::uint32_t address = INADDR_LOOPBACK) {
  sockaddr_in6 v6{};
  v6.sin6_family = AF_INET6;
  v6.sin6_addr = in6addr_loopback;
  v6.sin6_port = htons(port);
  sockaddr_in v4 = Loopback(port, address);
  auto* addr = ipv6 ? reinterpret_cast<sockaddr*>(&v6) : reinterpret_cast<sockaddr*>(&v4);
  int length = ipv6 ? sizeof v6 : sizeof v4;
  const SOCKET s = socket(addr->sa_family, SOCK_STREAM, IPPROTO_TCP);
  const bool ok = bind(s, addr, length) == 0 && listen(s, backlog) == 0 && getsockname(s, addr, &length) == 0;
  port = ok ? ntohs(ipv6 ? v6.sin6_port : v4.sin_port) : 0;
  return s;
}

}  // namespace

WebServer::WebServer(std::uint16_t port, bool ipv6) : host_(ipv6 ? "[::1]" : "127.0.0.1"), port_(port) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  listener_ = Listen(16, port_, ipv6);
  // A given port may be held on 127.0.0.1 by another program, or by what a
  // server of an earlier test left waiting there: the next loopback address
  // then (127.80.0.1, ...).
  for (std::uint32_t next = 0x7F500001; !ipv6 && port != 0 && !listening() && next < 0x7F500101 &&
                                        WSAGetLastError() == WSAEADDRINUSE;
       ++next) {
    closesocket(static_cast<SOCKET>(listener_));
    port_ = port;
    listener_ = Listen(16, port_, false, next);
    host_ = inet_ntoa(Loopback(0, next).sin_addr);
  }
  if (listening()) thread_ = std::thread([this] { Run(); });
}

WebServer::~WebServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  closesocket(static_cast<SOCKET>(listener_));
  for (std::uintptr_t s : deaf_) closesocket(static_cast<SOCKET>(s));
  WSACleanup();
}

std::string WebServer::base() const { return "http://" + host_ + ":" + port(); }

WebServer::RawAnswer WebServer::OkAnswer(const std::string& body) {
  return {"HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
          std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body};
}

void WebServer::Serve(const std::string& target, const std::string& body) { Serve(target, OkAnswer(body)); }

void WebServer::Serve(const std::string& target, const RawAnswer& answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_[target] = answer;
}

void WebServer::Echo(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  echo_ = path + "?";
}

void WebServer::Stall(int seconds) { stallSeconds_ = seconds; }

std::string WebServer::DeafBase() {
  std::uint16_t port = 0;
  deaf_.push_back(Listen(1, port));
  const sockaddr_in addr = Loopback(port);
  for (u_long nonBlocking = 1; deaf_.size() % 4 != 0;) {  // later connections find no room
    const SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ioctlsocket(c, FIONBIO, &nonBlocking);
    connect(c, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    deaf_.push_back(c);
  }
  Sleep(100);
  return "http://127.0.0.1:" + std::to_string(port);
}

std::vector<WebRequest> WebServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::vector<std::string> WebServer::Targets() const {
  std::vector<std::string> targets;
  for (const WebRequest& r : Requests()) targets.push_back(r.target);
  return targets;
}

void WebServer::Run() {
  const SOCKET listener = static_cast<SOCKET>(listener_);
  while (!stop_) {
    if (!Readable(listener, 50)) continue;
    const SOCKET client = accept(listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    Answer(client);
    closesocket(client);
  }
}

void WebServer::Answer(std::uintptr_t socketValue) {
  const SOCKET client = static_cast<SOCKET>(socketValue);
  const ULONGLONG deadline = GetTickCount64() + 10000;
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && GetTickCount64() < deadline && !stop_) {
    if (!Readable(client, 50)) continue;
    const int got = recv(client, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    head.append(buffer, static_cast<std::size_t>(got));
    if (head[0] < 'A' || head[0] > 'Z') return;  // not HTTP (a TLS greeting, say)
  }
  WebRequest request;
  request.head = head.substr(0, head.find("\r\n\r\n") + 2);
  request.line = head.substr(0, head.find("\r\n"));
  const std::size_t first = request.line.find(' ');
  const std::size_t last = request.line.rfind(' ');
  if (first != std::string::npos && last > first) request.target = PercentDecoded(request.line.substr(first + 1, last - first - 1));
  RawAnswer answer{"HTTP/1.0 404 Not Found\r\nContent-Length: 39\r\nConnection: close\r\n\r\n"
                   "<html><body>404 Not Found</body></html>"};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    if (auto it = answers_.find(request.target); it != answers_.end()) {
      answer = it->second;
    } else if (!echo_.empty() && request.target.starts_with(echo_) && request.target.find('=') != std::string::npos) {
      answer = OkAnswer(request.target.substr(request.target.find('=') + 1));
    }
  }
  if (const int stall = stallSeconds_; stall > 0) {
    HoldOpen(client, static_cast<ULONGLONG>(stall) * 1000, stop_);
    return;
  }
  Send(client, answer, stop_);
  shutdown(client, SD_SEND);
}

}  // namespace zoq::testing
