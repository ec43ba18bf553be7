// Shared pieces of the reply tests: a loaded plug-in in a fresh folder, a
// controlled clock, and the web services served from this process.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/plugin.hpp"
#include "platform/clock.hpp"
#include "tests/fakehost/fakehost_client.hpp"
#include "tests/web/web_server.hpp"

namespace zoq::testing {

// <build>/reply-test-runs/<suite>.<test>, emptied and made anew.
std::string FreshReplyFolder();

class ReplyTest : public ::testing::Test {
 protected:
  ReplyTest();
  ~ReplyTest() override;

  // Stores `reply` for `keyword` in a library file and expands it for
  // `record_`.
  std::string Expand(const std::string& reply, const std::string& keyword = "k");
  std::string ReadDataFile(const std::string& name) const;
  bool DataFileExists(const std::string& name) const;

  std::string folder_ = FreshReplyFolder();
  std::string library_;
  MessageRecord record_;
  std::uint32_t ticks_ = 4242;  // what every reseeding reads
  platform::LocalTime now_{2024, 3, 5, 2, 9, 5, 7, 0};
  WebServer web_;
};

// The fake API DLL `dll`, loaded once per process (the adapters find a
// loaded module by its file name).
FakeHostDll& Fake(const std::string& dll);

// The ISky host active, with auth code 77; Expect puts it before the
// arguments.
class IskyHostTest : public ReplyTest {
 protected:
  IskyHostTest();
  FakeCall Expect(const char* function, std::vector<std::string> args) const;
  FakeHostDll& fake_ = Fake("message.dll");
};

// The function-table host active: its table lists every function of the
// fake host, with the plug-in key "KEY", which Expect puts first.
class TableHostTest : public ReplyTest {
 protected:
  TableHostTest();
  FakeCall Expect(const char* function, std::vector<std::string> args) const;
  FakeHostDll& fake_ = Fake("tablehost.dll");
};

}  // namespace zoq::testing
