// The runtime-error hook and the random source.
#include <gtest/gtest.h>

#include <vector>

#include "core/error_hook.hpp"
#include "core/random.hpp"
#include "tests/core/core_fixture.hpp"

namespace zoq::testing {
namespace {

using RuntimeErrorTest = CoreTest;

TEST_F(RuntimeErrorTest, TheLastRegisteredHandlerReceivesCodeAndTextAndNothingEscapes) {
  // The load's hook reports to the never-bound XQ object and the process goes on (or this test would end here).
  RaiseRuntimeError(kErrMissingDllCommand, RuntimeErrorMessage(kErrMissingDllCommand, "VLQapi.dll", "Api_SendMsg"));
  EXPECT_EQ(RuntimeErrorMessage(kErrMissingDllCommand, "a.dll", "F"), "无法找到指定DLL库文件“a.dll”中的输出命令“F”");
  EXPECT_EQ(BuildRuntimeErrorReport(6, RuntimeErrorMessage(6)), "澜错误代码:6\r\n澜错误信息:调用DLL命令后发现堆栈错误");
  std::vector<std::pair<int, std::string>> first, second;
  RegisterErrorHook([&](int code, const std::string& m) { first.emplace_back(code, m); });
  RegisterErrorHook([&](int code, const std::string& m) { second.emplace_back(code, m); });
  RaiseRuntimeError(kErrStackImbalance, RuntimeErrorMessage(kErrStackImbalance));
  EXPECT_TRUE(first.empty());
  EXPECT_EQ(second, (std::vector<std::pair<int, std::string>>{{6, "调用DLL命令后发现堆栈错误"}}));
  RegisterErrorHook([](int, const std::string&) { throw 1; });
  EXPECT_NO_THROW(RaiseRuntimeError(1, RuntimeErrorMessage(1)));
}

TEST(RandomSource, FollowsTheLinearCongruentialSequenceBetweenBounds) {
  RandomSource r;
  r.Reseed(1000);
  EXPECT_EQ(r.offset(), 332u);
  EXPECT_EQ(r.Between(5, 5), 5);
  EXPECT_EQ(r.state(), 1000u);  // equal bounds: no draw
  EXPECT_EQ(r.Draw(), 3304);
  EXPECT_EQ(r.Between(1, 99), 1 + 8221 % 99);
  EXPECT_EQ(r.Between(10, 1), 1 + 26849 % 10);  // order of the bounds does not matter
  // The offset is shared by every reseeding: the same tick count seeds anew.
  r.Reseed(1000);
  EXPECT_EQ(r.state(), 1332u);
  EXPECT_EQ(r.offset(), 484u);
  for (int i = 0; i < 200; ++i) {
    const int v = r.Between(1, -5);  // a negative bound counts as 0
    EXPECT_TRUE(v == 0 || v == 1);
  }
}

}  // namespace
}  // namespace zoq::testing
