// The HTTP GET as the user's proxy and the system's name server direct it.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/http.hpp"
#include "tests/web/user_settings.hpp"
#include "tests/web/web_server.hpp"

namespace zoq::testing {
namespace {

// Mended: every request went direct, whatever the user's proxy; a name
// that begins with "127." went direct as the loopback; a bypass entry for
// one scheme sent the other direct too.
TEST(HttpProxy, RequestsGoThroughTheUsersProxyUnlessItsListSendsThemDirect) {
  WebServer web, proxy, standard(80), web6(0, true);  // a proxy named without its port is on port 80
  UserProxy settings;
  const std::string port = web.port(), server = "127.0.0.1:" + proxy.port();
  const std::string numeric = "http://127.0.0.1:" + port + "/w", named = "http://localhost:" + port + "/w";
  const std::string lookalike = "http://127.zoq.test:" + port + "/w", v6 = web6.base() + "/w";
  web.Serve("/w", "direct");
  web6.Serve("/w", "direct");
  for (const std::string& address : {numeric, named, lookalike, v6}) proxy.Serve(address, "proxied");
  standard.Serve(named, "proxied on 80");
  proxy.Serve("localhost:" + port, WebServer::RawAnswer{"HTTP/1.0 200 Connection established\r\n\r\n"});
  struct Row {
    bool enabled;
    std::string servers, bypass, address, body;
  };
  std::vector<Row> rows = {
      {true, server, "", numeric, "direct"},  // loopback goes direct
      {true, server, "<-loopback>", numeric, "proxied"},
      {false, server, "<-loopback>", numeric, "direct"},
      {true, "http://" + server + "/", "<-loopback>", named, "proxied"},
      {true, "https=" + server, "<-loopback>", named, "direct"},  // no proxy for http
      {true, "ftp=127.0.0.1:1 http=" + server, "<-loopback>", named, "proxied"},
      {true, server, "<-loopback>;LOCAL*", named, "direct"},
      {true, server, "<-loopback> <local>", named, "direct"},  // a name without a dot
      {true, server, "<-loopback>;<local>", numeric, "proxied"},
      {true, server, "<-loopback>", "https://localhost:" + port + "/w", ""},  // a tunnel; TLS then fails
      {true, server, "", lookalike, "proxied"},  // a name, not the loopback's address
      {true, server, "<-loopback>;https://localhost", named, "proxied"},  // an entry for https only
      {true, server, "<-loopback>;HTTP://local*", named, "direct"},
      {true, server, "", v6, "direct"},  // the loopback's IPv6 address
      {true, server, "<-loopback>", v6, "proxied"},
      {true, "127.0.0.1:" + std::to_string(std::stoi(proxy.port()) + 65536), "<-loopback>", numeric,
       "direct"},  // no port: no proxy
      {true, "127.0.0.1:65535", "<-loopback>", numeric, ""},  // the highest port is one: its proxy does not answer
  };
  if (standard.listening()) rows.push_back({true, standard.host(), "<-loopback>", named, "proxied on 80"});
  for (const Row& row : rows) {
    settings.Set(row.enabled, row.servers, row.bypass);
    EXPECT_EQ(platform::HttpGet(row.address), row.body) << row.servers << " | " << row.bypass << " | " << row.address;
  }
  std::vector<std::string> lines;
  for (const WebRequest& r : proxy.Requests()) lines.push_back(r.line);
  EXPECT_EQ(lines, (std::vector<std::string>{"GET " + numeric + " HTTP/1.0", "GET " + named + " HTTP/1.0",
                                             "GET " + named + " HTTP/1.0", "GET " + numeric + " HTTP/1.0",
                                             "CONNECT localhost:" + port + " HTTP/1.0",
                                             "GET " + lookalike + " HTTP/1.0", "GET " + named + " HTTP/1.0",
                                             "GET " + v6 + " HTTP/1.0"}));
  if (!standard.listening()) GTEST_SKIP() << "the row of port 80 needs the port (root)";
}

// Mended: every request looked at the user's proxy settings anew, and
// Wine's WinInet keeps 512 bytes of each look: the host process grew with
// every web reply. A change of the settings is looked at once, by the
// first request after it.
TEST(HttpProxy, SettingsAreLookedAtOnceAfterEachChange) {
  WebServer web, proxy;
  UserProxy settings;
  const std::string address = "http://127.0.0.1:" + web.port() + "/w", server = "127.0.0.1:" + proxy.port();
  web.Serve("/w", "direct");
  proxy.Serve(address, "proxied");
  platform::HttpGet(address);
  const struct {
    bool enabled;
    const char* bypass;
    const char* body;
  } rows[] = {
      {true, "<-loopback>", "proxied"},
      {true, "", "direct"},
      {false, "<-loopback>", "direct"},
      {true, "<-loopback>", "proxied"},
  };
  for (const auto& row : rows) {
    settings.Set(row.enabled, server, row.bypass);
    const std::uint64_t before = platform::ProxySettingsLooks();
    for (int i = 0; i < 20; ++i) EXPECT_EQ(platform::HttpGet(address), row.body) << row.bypass << " " << i;
    EXPECT_EQ(platform::ProxySettingsLooks() - before, 1u) << row.enabled << " " << row.bypass;
  }
}

// The threads and handles of this process.
struct Counts {
  int threads = 0, handles = 0;
  static Counts Now() {
    Counts c;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 t{sizeof t};
    for (BOOL more = Thread32First(snapshot, &t); more; more = Thread32Next(snapshot, &t)) {
      c.threads += t.th32OwnerProcessID == GetCurrentProcessId();
    }
    CloseHandle(snapshot);
    // The handle table of the system (GetProcessHandleCount gives 0 under Wine).
    using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    struct Entry {
      ULONG process;
      UCHAR type, flags;
      USHORT handle;
      void* object;
      ACCESS_MASK access;
    };
    std::vector<ULONG> table(1 << 16);
    ULONG size = 0;
    while (query(16, table.data(), static_cast<ULONG>(table.size() * sizeof(ULONG)), &size) ==
           static_cast<LONG>(0xC0000004)) {  // too small
      table.resize(table.size() * 2);
    }
    const auto* entries = reinterpret_cast<const Entry*>(table.data() + 1);
    c.handles = static_cast<int>(std::count_if(entries, entries + table[0], [](const Entry& e) {
      return e.process == GetCurrentProcessId();
    }));
    return c;
  }
};

// One request for each address, each on a thread of its own, all let go at
// once: what each got and how long it took.
struct Asked {
  std::string body;
  ULONGLONG ms = 0;
};
struct Asker {
  const std::string& address;
  const platform::HttpTimeouts& limits;
  std::atomic<int>& waiting;  // for the others, before asking
  Asked asked;
};
DWORD WINAPI Ask(void* context) {
  Asker& a = *static_cast<Asker*>(context);
  for (--a.waiting; a.waiting > 0;) SwitchToThread();
  const ULONGLONG start = GetTickCount64();
  a.asked.body = platform::HttpGet(a.address, a.limits);
  a.asked.ms = GetTickCount64() - start;
  return 0;
}
std::vector<Asked> AskAtOnce(const std::vector<std::string>& addresses, const platform::HttpTimeouts& limits) {
  std::atomic<int> waiting{static_cast<int>(addresses.size())};
  std::vector<Asker> askers;
  for (const std::string& address : addresses) askers.push_back({address, limits, waiting, {}});
  std::vector<HANDLE> threads;
  for (Asker& asker : askers) threads.push_back(CreateThread(nullptr, 0, Ask, &asker, 0, nullptr));
  WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
  for (HANDLE t : threads) CloseHandle(t);
  std::vector<Asked> asked;
  for (const Asker& a : askers) asked.push_back(a.asked);
  return asked;
}

// Mended: every request given up on left a lookup of its own running and
// its event open until some later request; a name server that never
// answers gathered a lookup (a thread of the system's) per request. The
// locks over the running lookups and over the proxy settings each kept an
// event from the first time a thread waited on them (requests asked at
// once, or one that met the wait freeing a lookup): a handle more for as
// long as the process ran.
TEST(HttpLookups, RequestsForANameShareOneLookupAndNothingOutlastsIt) {
  if (!SilentNameServerOnly()) GTEST_SKIP() << "runs under tests/web/silent_dns.sh, as root";
  WebServer web;
  platform::HttpGet(web.base());  // what the first request of a process loads
  const std::string silent = "http://silent.zoq.test/x";
  const Counts before = Counts::Now();
  int most = 0;
  // Round after round, so many threads ask at once, each within so many
  // milliseconds: eight share the lookup that one of them starts, eight
  // that outlast it wake together when the resolver gives up on it, eight
  // more come after.
  const struct {
    int threads;
    std::uint32_t totalMs;
  } rounds[] = {{8, 1000}, {1, 1000}, {1, 1000}, {1, 1000}, {8, 3000}, {8, 1000}};
  for (const auto& round : rounds) {
    platform::HttpTimeouts limits;
    limits.totalMs = round.totalMs;
    for (const Asked& asked : AskAtOnce(std::vector<std::string>(round.threads, silent), limits)) {
      EXPECT_EQ(asked.body, "");
      EXPECT_LT(asked.ms, limits.totalMs + 2500u);  // slack for a loaded machine
      if (&round == rounds) {
        ASSERT_GE(asked.ms, limits.totalMs - 100u) << "the name server answered";
      }
    }
    most = std::max(most, Counts::Now().threads - before.threads);
  }
  EXPECT_LE(most, 2);  // the lookup, and the wait for its end
  // Then eight threads at once, each for a name of its own: each starts a
  // lookup (and the thread it runs on) while the others wait their turn.
  std::vector<std::string> own;
  for (int i = 0; i < 8; ++i) own.push_back("http://n" + std::to_string(i) + ".silent.zoq.test/x");
  for (const Asked& asked : AskAtOnce(own, platform::HttpTimeouts{.totalMs = 1000})) EXPECT_EQ(asked.body, "");
  // Nothing is left once the resolver has given up, but for a deadline.
  const ULONGLONG until = GetTickCount64() + kSilentNameServerGivesUpMs + platform::HttpTimeoutSettings().totalMs;
  Counts after = Counts::Now();
  for (; GetTickCount64() < until && (after.threads > before.threads || after.handles > before.handles); Sleep(100)) {
    after = Counts::Now();
  }
  EXPECT_LE(after.threads, before.threads);
  EXPECT_LE(after.handles, before.handles);
}

}  // namespace
}  // namespace zoq::testing
