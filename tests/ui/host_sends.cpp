#include "tests/ui/host_sends.hpp"

#include <gtest/gtest.h>

#include "tests/messages/session.hpp"

namespace zoq::testing {

std::vector<std::string> SentThroughHost(const std::string& host, const std::vector<std::string>& replies) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (std::size_t i = 0; i < replies.size(); ++i) entries.push_back({"k" + std::to_string(i), replies[i]});
  Session s("ui-sent-" + host, HostCaseNamed(host), {{"SayZ.ini", Library(entries)}});
  EXPECT_TRUE(s.Start()) << host;
  s.TakeCalls();
  std::vector<std::string> sent;
  for (const auto& [keyword, reply] : entries) {
    s.Private(keyword);
    const Sent one = s.TakeSent();
    sent.push_back(one.size() == 1 ? one[0] : "<" + std::to_string(one.size()) + " sends>");
  }
  return sent;
}

}  // namespace zoq::testing
