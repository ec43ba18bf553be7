// In-process tests of the core: a fresh run folder per test, the plug-in's
// state started on it and released afterwards.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "core/plugin.hpp"
#include "core/program.hpp"
#include "tests/host/harness.hpp"

namespace zoq::testing {

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = FreshRunFolder(std::string("core-") + info->test_suite_name() + "-" + info->name());
    ProgramStart(folder);
  }
  void TearDown() override { ProgramExit(); }

  std::string DataFile(const std::string& name) const { return folder + "\\ZOQData\\ZOQ-F-关键词\\" + name; }

  std::string folder;
};

}  // namespace zoq::testing
