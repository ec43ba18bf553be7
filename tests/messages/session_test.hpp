// A test fixture around a started Session of one host (VLQ unless a test
// says otherwise), with the data files it names in place beforehand.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/ini_items.hpp"
#include "tests/messages/session.hpp"

namespace zoq::testing {

using Files = std::vector<std::pair<std::string, std::string>>;
using Sent = std::vector<std::string>;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    session_ = std::make_unique<Session>(std::string(info->test_suite_name()) + "-" + info->name(),
                                         NumericHostCaseNamed("VLQ"), DataFiles());
    ASSERT_TRUE(session_->Start());
  }
  virtual Files DataFiles() const = 0;

  Session& s() { return *session_; }
  std::string Ini(const std::string& file, const std::string& section, const std::string& key) {
    return ReadIniItem(s().DataFile(file), section, key);
  }
  void WriteIni(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value) {
    WriteIniItem(s().DataFile(file), section, key, value);
  }

 private:
  std::unique_ptr<Session> session_;
};

}  // namespace zoq::testing
