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
  WSACleanup();
}

std::string WebServer::base() const { return "http://127.0.0.1:" + std::to_string(port_); }

void WebServer::Serve(const std::string& target, const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  bodies_[target] = body;
}

void WebServer::Echo(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  echo_ = path + "?";
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
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    if (auto it = bodies_.find(request.target); it != bodies_.end()) {
      body = it->second;
      found = true;
    } else if (!echo_.empty() && request.target.starts_with(echo_) && request.target.find('=') != std::string::npos) {
      body = request.target.substr(request.target.find('=') + 1);
      found = true;
    }
  }
  if (const int stall = stallSeconds_; stall > 0) {
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(stall) * 1000;
    while (!stop_ && GetTickCount64() < until) {
      if (Readable(client, 50) && recv(client, buffer, sizeof buffer, 0) <= 0) return;  // the client gave up
    }
    return;
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

}  // namespace zoq::testing
