// The HTTP GET of web texts and pictures, against the in-process server.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/http.hpp"
#include "tests/web/web_server.hpp"

namespace zoq::testing {
namespace {

// Shorter request limits while it lives.
class ShortTimeouts {
 public:
  explicit ShortTimeouts(std::uint32_t ms) : saved_(platform::HttpTimeoutSettings()) {
    platform::HttpTimeoutSettings() = {ms, ms, ms};
  }
  ~ShortTimeouts() { platform::HttpTimeoutSettings() = saved_; }

 private:
  platform::HttpTimeouts saved_;
};

TEST(HttpGet, SendsOneUncachedHttp10Request) {
  WebServer web;
  web.Serve("/a/b.php?type=text&x=1", "answer");
  EXPECT_EQ(platform::HttpGet(web.base() + "/a/b.php?type=text&x=1"), "answer");
  EXPECT_EQ(platform::HttpGet(web.base() + "/a/b.php?type=text&x=1"), "answer");  // not from a cache
  const auto requests = web.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].line, "GET /a/b.php?type=text&x=1 HTTP/1.0");
  const std::string& head = requests[0].head;
  EXPECT_NE(head.find("\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"), std::string::npos)
      << head;
  EXPECT_NE(head.find("\r\nAccept: */*\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("no-cache"), std::string::npos) << head;
}

TEST(HttpGet, BytesBeyondAsciiReachTheServerUnchanged) {
  WebServer web;
  const std::string target = "/t?q=\xE4\xBD\xA0 \xC4\xE3&r=%41";
  web.Serve("/t?q=\xE4\xBD\xA0 \xC4\xE3&r=A", "ok");
  EXPECT_EQ(platform::HttpGet(web.base() + target), "ok");
  ASSERT_EQ(web.Requests().size(), 1u);
  EXPECT_EQ(web.Requests()[0].line, "GET /t?q=%E4%BD%A0%20%C4%E3&r=%41 HTTP/1.0");
}

TEST(HttpGet, KeepsEveryByteOfTheBody) {
  WebServer web;
  std::string body;
  for (int i = 0; i < 40000; ++i) body.push_back(static_cast<char>(i * 7 % 256));
  web.Serve("/bin", body);
  EXPECT_EQ(platform::HttpGet(web.base() + "/bin"), body);
  web.Serve("/", "root");
  EXPECT_EQ(platform::HttpGet(web.base()), "root");
}

TEST(HttpGet, AnyFailureGivesTheEmptyByteSet) {
  ShortTimeouts limits(1000);
  WebServer web;
  EXPECT_EQ(platform::HttpGet(""), "");
  EXPECT_EQ(platform::HttpGet("not an address"), "");
  EXPECT_EQ(platform::HttpGet("ftp://127.0.0.1/x"), "");
  EXPECT_EQ(platform::HttpGet(web.base() + "/missing"), "");  // 404 with an error page
  // TLS against a server that speaks plain HTTP fails.
  EXPECT_EQ(platform::HttpGet("https://127.0.0.1:" + web.base().substr(web.base().rfind(':') + 1) + "/x"), "");
}

// Mended: a service that accepts and never answers used to hold the thread
// for as long as it kept the connection.
TEST(HttpGet, ADeadServiceCannotHoldTheThread) {
  ShortTimeouts limits(500);
  WebServer web;
  web.Serve("/slow", "late");
  web.Stall(60);
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(platform::HttpGet(web.base() + "/slow"), "");
  EXPECT_LT(GetTickCount64() - start, 15000u);
  // What ships: a few seconds each.
  const platform::HttpTimeouts shipped;
  for (std::uint32_t ms : {shipped.connectMs, shipped.sendMs, shipped.receiveMs}) EXPECT_LE(ms, 10000u);
}

// Mended: a server that sends a byte now and then kept every wait short and
// the request going for as long as it liked.
TEST(HttpGet, ATricklingServiceIsCutOffAtTheTotalTime) {
  platform::HttpTimeouts limits = platform::HttpTimeoutSettings();
  const platform::HttpTimeouts saved = limits;
  limits.totalMs = 1500;
  platform::HttpTimeoutSettings() = limits;
  WebServer web;
  web.Serve("/drip", std::string(40, 'x'));  // 40 bytes at 200 ms each: 8 s
  web.Trickle(200);
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(platform::HttpGet(web.base() + "/drip"), "");
  EXPECT_LT(GetTickCount64() - start, 6000u);
  platform::HttpTimeoutSettings() = saved;
  EXPECT_LE(saved.totalMs, 10000u);  // what ships: a few seconds
}

// Mended: answers had no size limit.
TEST(HttpGet, AnAnswerPastItsLimitIsAFailure) {
  WebServer web;
  web.Serve("/big", std::string(1000, 'b'));
  EXPECT_EQ(platform::HttpGet(web.base() + "/big", 999), "");
  EXPECT_EQ(platform::HttpGet(web.base() + "/big", 1000), std::string(1000, 'b'));
  EXPECT_LT(platform::kHttpTextLimit, platform::kHttpPictureLimit);
}

}  // namespace
}  // namespace zoq::testing
