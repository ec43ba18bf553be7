// The typed call path: words, text blocks, missing functions and libraries,
// and host functions declared with another number of arguments.
#include <windows.h>

#include <cstring>

#include "core/error_hook.hpp"
#include "platform/files.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

using namespace zoq::hosts;

TEST(HostCallWords, EachKindBecomesItsWords) {
  const std::string text = "abc", empty;
  WordList w;
  ArgKind<Text>::Push(w, empty);
  ArgKind<Int>::Push(w, -2);
  ArgKind<Bool>::Push(w, true);
  ArgKind<I64>::Push(w, -0x123456789LL);
  ArgKind<Bytes>::Push(w, empty);
  ArgKind<Bytes>::Push(w, text);
  ArgKind<BytesAddress>::Push(w, empty);
  ArgKind<CountedBytes>::Push(w, empty);
  ArgKind<CountedBytes>::Push(w, text);
  ArgKind<Double>::Push(w, 60.0);
  ASSERT_EQ(w.count, 14u);
  EXPECT_EQ(w.words[0], reinterpret_cast<std::uintptr_t>(empty.c_str()));  // never null
  EXPECT_NE(w.words[0], 0u);
  EXPECT_EQ(w.words[1], 0xFFFFFFFEu);
  EXPECT_EQ(w.words[2], 1u);
  EXPECT_EQ(w.words[3], 0xDCBA9877u);  // low word first
  EXPECT_EQ(w.words[4], 0xFFFFFFFEu);
  EXPECT_EQ(w.words[5], 0u);  // an empty byte set goes as null
  EXPECT_EQ(w.words[6], reinterpret_cast<std::uintptr_t>(text.data()));
  EXPECT_NE(w.words[7], 0u);  // ... but as a valid address where the host wants one
  EXPECT_EQ(w.words[8], 0u);
  EXPECT_EQ(w.words[9], 0u);
  EXPECT_EQ(w.words[10], reinterpret_cast<std::uintptr_t>(text.data()));
  EXPECT_EQ(w.words[11], 3u);
  EXPECT_EQ(w.words[12], 0u);  // 60.0 is 0x404E000000000000
  EXPECT_EQ(w.words[13], 0x404E0000u);
}

TEST(HostCallWords, ResultsReadFromTheReturnedWords) {
  const char* text = "host text";
  EXPECT_EQ(ResultKind<Text>::Read(reinterpret_cast<std::uintptr_t>(text), 0), "host text");
  EXPECT_EQ(ResultKind<Text>::Read(0, 0), "");
  EXPECT_EQ(ResultKind<Int>::Read(0xFFFFFFFF, 0), -1);
  EXPECT_TRUE(ResultKind<Bool>::Read(2, 0));
  EXPECT_FALSE(ResultKind<Bool>::Read(0, 0));
  EXPECT_EQ(ResultKind<I64>::Read(0xFFFFFFFE, 0xFFFFFFFF), -2);
}

std::uint32_t MakeBlock(std::int32_t length, const std::string& bytes) {
  auto* block = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, 4 + bytes.size()));
  std::memcpy(block, &length, 4);
  std::memcpy(block + 4, bytes.data(), bytes.size());
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(block));
}

TEST(HostTextBlock, CopiesUpToTheFirstNulAndTheLength) {
  EXPECT_EQ(ReadHostTextBlock(MakeBlock(5, std::string("ab\0cd", 5))), "ab");
  EXPECT_EQ(ReadHostTextBlock(MakeBlock(3, "xyzzy")), "xyz");
  EXPECT_EQ(ReadHostTextBlock(MakeBlock(0, "ab")), "");
  EXPECT_EQ(ReadHostTextBlock(MakeBlock(-4, "ab")), "");
  EXPECT_EQ(ReadHostTextBlock(0), "");
}

class HostCallTest : public ::testing::Test {
 protected:
  std::string folder_ = FreshTestFolder();
  FakeHostDll fake_{"VLQapi.dll", folder_};
  LibraryBinding library_{"VLQapi.dll"};
};

TEST_F(HostCallTest, AFunctionDeclaredWithMoreArgumentsIsReportedAndTheProcessGoesOn) {
  ASSERT_TRUE(fake_.loaded());
  RaisedErrors errors;
  HostRow<void(Text, Text)> tooLong{library_, "OutputLog", "Api_OutPutLog"};
  HostRow<Text(Text, Text, Text)> nickTooLong{library_, "GetNick", "Api_GetNick"};
  fake_.SetAnswer("Api_GetNick", "nick");
  tooLong("line", "extra");
  EXPECT_EQ(nickTooLong("1", "2", "3"), "");  // the empty result, not the host's
  ASSERT_EQ(errors.codes, (std::vector<int>{kErrStackImbalance, kErrStackImbalance}));
  EXPECT_EQ(errors.messages[0], "调用DLL命令后发现堆栈错误");
  // The calls did reach the host, and a well-declared call works after them.
  HostRow<Text(Text, Text)> nick{library_, "GetNick", "Api_GetNick"};
  EXPECT_EQ(nick("1", "2"), "nick");
  EXPECT_EQ(fake_.Calls().size(), 3u);
  EXPECT_EQ(errors.codes.size(), 2u);
}

TEST_F(HostCallTest, AFunctionDeclaredWithFewerArgumentsIsReportedToo) {
  RaisedErrors errors;
  fake_.SetAnswer("Api_Shutup", "7");
  HostRow<Int(Text, Text, Text)> tooShort{library_, "MuteMember", "Api_Shutup"};
  EXPECT_EQ(tooShort("1", "2", "3"), 0);  // the host took a fourth word of the caller's
  EXPECT_EQ(errors.codes, std::vector<int>{kErrStackImbalance});
  HostRow<Int(Text, Text, Text, Int)> shutUp{library_, "MuteMember", "Api_Shutup"};
  EXPECT_EQ(shutUp("1", "2", "3", 4), 7);
  EXPECT_EQ(errors.codes.size(), 1u);
  const auto calls = fake_.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].args, (std::vector<std::string>{"1", "2", "3", "4"}));
}

TEST_F(HostCallTest, AMissingFunctionGivesTheEmptyResultAndRaisesNothing) {
  RaisedErrors errors;
  HostRow<Text(Text)> text{library_, "Missing", "Api_NoSuchFunction"};
  HostRow<Int(Text)> number{library_, "Missing", "Api_NoSuchNumber"};
  HostRow<Bool()> truth{library_, "Missing", "Api_NoSuchTruth"};
  EXPECT_EQ(text("x"), "");
  EXPECT_EQ(number("x"), 0);
  EXPECT_FALSE(truth());
  EXPECT_TRUE(fake_.Calls().empty());
  EXPECT_TRUE(errors.codes.empty());
}

TEST_F(HostCallTest, AMissingLibraryGivesTheEmptyResult) {
  RaisedErrors errors;
  LibraryBinding absent{"NoSuchHostApi.dll"};
  HostRow<Text()> online{absent, "GetOnlineAccounts", "Api_GetOnLineList"};
  EXPECT_EQ(online(), "");
  EXPECT_TRUE(errors.codes.empty());
  EXPECT_TRUE(fake_.Calls().empty());
}

TEST_F(HostCallTest, ALibraryMissingAtTheFirstCallIsLookedForAgainByItsName) {
  RaisedErrors errors;
  LibraryBinding late{"OQapi.dll"};
  HostRow<void(Text)> log{late, "OutputLog", "Api_OutPutLog"};
  log("before");
  FakeHostDll oq("OQapi.dll", folder_ + "\\oq");  // the host loads its DLL now
  ASSERT_TRUE(oq.loaded());
  log("after");
  log("again");
  EXPECT_EQ(oq.Calls(), (std::vector<FakeCall>{Call("OQapi.dll", "Api_OutPutLog", {"after"}),
                                               Call("OQapi.dll", "Api_OutPutLog", {"again"})}));
  EXPECT_TRUE(errors.codes.empty());
}

TEST_F(HostCallTest, RowsRegisterInOrderAndRowsWithoutAFunctionAreNotDeclared) {
  LibraryBinding binding{"VLQapi.dll"};
  HostRow<void(Text)> first{binding, "A", "Api_A"};
  HostRow<void(Text)> absent{binding, "B", nullptr};
  HostRow<Int(Text, I64, CountedBytes)> second{binding, "C", "Api_C"};
  ASSERT_EQ(binding.firstRow(), &first);
  EXPECT_EQ(first.next(), &second);
  EXPECT_EQ(second.next(), nullptr);
  EXPECT_EQ(second.kinds(), "tlc");
  absent("nothing happens");
  EXPECT_TRUE(fake_.Calls().empty());
  {
    HostRow<void()> passing{binding, "D", "Api_D"};
    EXPECT_EQ(second.next(), &passing);
  }
  EXPECT_EQ(second.next(), nullptr);  // a row that ends leaves the list
  HostRow<void()> last{binding, "E", "Api_E"};
  EXPECT_EQ(second.next(), &last);
}

TEST_F(HostCallTest, TheFileRecordAndFileAnswersServeOtherProcesses) {
  ASSERT_TRUE(platform::WriteWholeFile(folder_ + "\\fakehost.answers",
                                       FakeHostAnswerLine("Api_GetNick", "名\t字") +
                                           FakeHostAnswerLine("Api_GetGroupName", std::nullopt)));
  HostRow<Text(Text, Text)> nick{library_, "GetNick", "Api_GetNick"};
  HostRow<Text(Text, Text)> groupName{library_, "GetGroupName", "Api_GetGroupName"};
  EXPECT_EQ(nick("1", "a\r\nb"), "名\t字");
  EXPECT_EQ(groupName("1", ""), "");
  fake_.SetAnswer("Api_GetNick", "in-process");  // an answer set in-process comes first
  EXPECT_EQ(nick("1", "2"), "in-process");

  const std::vector<FakeCall> expected{Call("VLQapi.dll", "Api_GetNick", {"1", "a\r\nb"}),
                                       Call("VLQapi.dll", "Api_GetGroupName", {"1", ""}),
                                       Call("VLQapi.dll", "Api_GetNick", {"1", "2"})};
  EXPECT_EQ(ParseFakeHostLog(platform::ReadWholeFile(folder_ + "\\fakehost.log")), expected);
  EXPECT_EQ(fake_.Calls(), expected);
}

}  // namespace
}  // namespace zoq::testing
