#include "tests/web/web_server.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>

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

// Keeps the connection open, answering nothing, until the client gives up.
void WaitForClientToLeave(SOCKET client, ULONGLONG until, const std::atomic<bool>& stop) {
  char buffer[4096];
  while (!stop && GetTickCount64() < until) {
    if (Readable(client, 50) && recv(client, buffer, sizeof buffer, 0) <= 0) return;
  }
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

}  // namespace

WebServer::WebServer() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(s, 16);
  int length = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &length);
  port_ = ntohs(addr.sin_port);
  listener_ = s;
  thread_ = std::thread([this] { Run(); });
}

WebServer::~WebServer() {
  stop_ = true;
  thread_.join();
  closesocket(static_cast<SOCKET>(listener_));
  for (std::uintptr_t s : deaf_) closesocket(static_cast<SOCKET>(s));
  WSACleanup();
}

std::string WebServer::base() const { return "http://127.0.0.1:" + std::to_string(port_); }

void WebServer::Serve(const std::string& target, const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  bodies_[target] = body;
}

void WebServer::Serve(const std::string& target, Shape shape) {
  std::lock_guard<std::mutex> lock(mutex_);
  shapes_[target] = shape;
}

void WebServer::Redirect(const std::string& target, const std::string& location) {
  std::lock_guard<std::mutex> lock(mutex_);
  redirects_[target] = location;
}

void WebServer::Stall(int seconds) { stallSeconds_ = seconds; }
void WebServer::Trickle(int milliseconds) { trickleMs_ = milliseconds; }

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
  std::string body;
  bool found = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    requests_.push_back(request);
    if (auto it = shapes_.find(request.target); it != shapes_.end()) {
      const Shape shape = it->second;
      lock.unlock();
      return AnswerShape(socketValue, shape);
    }
    if (auto it = redirects_.find(request.target); it != redirects_.end()) {
      const std::string answer =
          "HTTP/1.0 302 Found\r\nLocation: " + it->second + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      send(client, answer.data(), static_cast<int>(answer.size()), 0);
      return;
    }
    if (auto it = bodies_.find(request.target); it != bodies_.end()) {
      body = it->second;
      found = true;
    }
  }
  if (const int stall = stallSeconds_; stall > 0) {
    return WaitForClientToLeave(client, GetTickCount64() + static_cast<ULONGLONG>(stall) * 1000, stop_);
  }
  if (!found) body = "<html><body>404 Not Found</body></html>";
  const std::string answer = std::string(found ? "HTTP/1.0 200 OK" : "HTTP/1.0 404 Not Found") +
                             "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  // Trickling: the head at once, then the body one byte at a time.
  const int trickle = trickleMs_;
  const std::size_t headSize = answer.size() - body.size();
  std::size_t sent = 0;
  while (sent < answer.size() && !stop_) {
    std::size_t piece = answer.size() - sent;
    if (trickle > 0) piece = sent < headSize ? headSize - sent : 1;
    const int n = send(client, answer.data() + sent, static_cast<int>(piece), 0);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
    if (trickle > 0 && sent > headSize) Sleep(static_cast<DWORD>(trickle));
  }
  shutdown(client, SD_SEND);
}

// ---- Broken and hostile services -----------------------------------------

namespace {

// Sends `bytes` over and over one at a time, 100 ms apart, for as long as
// the client stays and the server runs (at most 30 s).
void Drip(SOCKET client, const std::string& bytes, const std::atomic<bool>& stop) {
  for (std::size_t i = 0, n = 0; !stop && n < 300; i = (i + 1) % bytes.size(), ++n) {
    if (send(client, &bytes[i], 1, 0) != 1) return;
    Sleep(100);
  }
}

SOCKET LoopbackSocket(sockaddr_in& addr) {
  addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}

}  // namespace

void WebServer::AnswerShape(std::uintptr_t socketValue, Shape shape) {
  const SOCKET client = static_cast<SOCKET>(socketValue);
  const auto head = [](const std::string& status, const std::string& fields) {
    return "HTTP/1.0 " + status + "\r\n" + fields + "Connection: close\r\n\r\n";
  };
  switch (shape) {
    case Shape::TrickledStatusLine:
      return Drip(client, head("200 OK", "Content-Length: 2\r\n") + "ok", stop_);
    case Shape::TrickledHeaders: {
      const std::string status = "HTTP/1.0 200 OK\r\nX-Slow: ";
      if (send(client, status.data(), static_cast<int>(status.size()), 0) > 0) Drip(client, "abcdefgh", stop_);
      return;
    }
    case Shape::Silent:
      return WaitForClientToLeave(client, ~0ull, stop_);
    case Shape::HugeBody: {
      const std::string answer = head("200 OK", "Content-Length: 1073741824\r\n");
      const std::string chunk(65536, 'h');
      if (send(client, answer.data(), static_cast<int>(answer.size()), 0) <= 0) return;
      for (int i = 0; i < 16384 && !stop_; ++i) {
        if (send(client, chunk.data(), static_cast<int>(chunk.size()), 0) <= 0) return;
      }
      return;
    }
    case Shape::ShortBody: {
      const std::string answer = head("200 OK", "Content-Length: 100\r\n") + std::string(50, 's');
      send(client, answer.data(), static_cast<int>(answer.size()), 0);
      return;
    }
  }
}

std::string WebServer::DeafBase() {
  sockaddr_in addr;
  if (deaf_.empty()) {
    const SOCKET s = LoopbackSocket(addr);
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(s, 1);
    deaf_.push_back(s);
  }
  int length = sizeof addr;
  getsockname(static_cast<SOCKET>(deaf_[0]), reinterpret_cast<sockaddr*>(&addr), &length);
  // Fill its queue: later connections find no room.
  while (deaf_.size() < 4) {
    sockaddr_in unused;
    const SOCKET c = LoopbackSocket(unused);
    u_long nonBlocking = 1;
    ioctlsocket(c, FIONBIO, &nonBlocking);
    connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    deaf_.push_back(c);
  }
  Sleep(100);
  return "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
}

}  // namespace zoq::testing
