// The typed call path: words, text blocks, missing functions and libraries,
// and host functions declared with another number of arguments.
#include <windows.h>

#include <cstring>

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

// Calls one host function of the fake DLL through the call path.
template <class Sig, class... A>
auto CallRow(LibraryBinding& binding, const char* function, A&&... args) {
  // A binding keeps one address per slot: a slot of its own for every name.
  const std::size_t slot = std::hash<std::string>{}(function ? function : "") % 4096;
  return Row<Sig>::Call(binding, slot, function, std::forward<A>(args)...);
}

class HostCallTest : public ::testing::Test {
 protected:
  HostCallTest() {
    SetFaultSink([] { ++faults; });
    faults = 0;
  }
  ~HostCallTest() override { SetFaultSink(nullptr); }
  static inline int faults = 0;
  std::string folder_ = FreshTestFolder();
  FakeHostDll fake_{"VLQapi.dll", folder_};
  LibraryBinding library_{"VLQapi.dll"};
};

TEST_F(HostCallTest, AFunctionDeclaredWithMoreArgumentsIsReportedAndTheProcessGoesOn) {
  ASSERT_TRUE(fake_.loaded());
  fake_.SetAnswer("Api_GetNick", "nick");
  CallRow<void(Text, Text)>(library_, "Api_OutPutLog", "line", "extra");
  EXPECT_EQ((CallRow<Text(Text, Text, Text)>(library_, "Api_GetNick", "1", "2", "3")), "");  // not the host's
  EXPECT_EQ(faults, 2);
  // The calls did reach the host, and a well-declared call works after them.
  EXPECT_EQ((CallRow<Text(Text, Text)>(library_, "Api_GetNick", "1", "2")), "nick");
  EXPECT_EQ(fake_.Calls().size(), 3u);
  EXPECT_EQ(faults, 2);
}

TEST_F(HostCallTest, AFunctionDeclaredWithFewerArgumentsIsReportedToo) {
  fake_.SetAnswer("Api_Shutup", "7");
  EXPECT_EQ((CallRow<Int(Text, Text, Text)>(library_, "Api_Shutup", "1", "2", "3")), 0);  // it took a fourth word
  EXPECT_EQ(faults, 1);
  EXPECT_EQ((CallRow<Int(Text, Text, Text, Int)>(library_, "Api_Shutup", "1", "2", "3", 4)), 7);
  EXPECT_EQ(faults, 1);
  const auto calls = fake_.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].args, (std::vector<std::string>{"1", "2", "3", "4"}));
}

TEST_F(HostCallTest, AMissingFunctionGivesTheEmptyResultAndRaisesNothing) {
  EXPECT_EQ((CallRow<Text(Text)>(library_, "Api_NoSuchFunction", "x")), "");
  EXPECT_EQ((CallRow<Int(Text)>(library_, "Api_NoSuchNumber", "x")), 0);
  EXPECT_FALSE((CallRow<Bool()>(library_, "Api_NoSuchTruth")));
  EXPECT_EQ((CallRow<Text()>(library_, nullptr)), "");  // a row this host does not have
  EXPECT_TRUE(fake_.Calls().empty());
  EXPECT_EQ(faults, 0);
}

TEST_F(HostCallTest, AMissingLibraryIsLookedForAgainByItsName) {
  LibraryBinding late{"OQapi.dll"};
  CallRow<void(Text)>(late, "Api_OutPutLog", "before");
  FakeHostDll oq("OQapi.dll", folder_ + "\\oq");  // the host loads its DLL now
  ASSERT_TRUE(oq.loaded());
  CallRow<void(Text)>(late, "Api_OutPutLog", "after");
  EXPECT_EQ(oq.Calls(), (std::vector<FakeCall>{Call("OQapi.dll", "Api_OutPutLog", {"after"})}));
  EXPECT_EQ(faults, 0);
}

// Mended: a DLL the host had not loaded was looked for along the general
// search path, where one planted in the current folder could win.
TEST_F(HostCallTest, ADllIsNeverTakenFromTheCurrentFolder) {
  const std::string planted = folder_ + "\\planted";
  platform::CreateFolder(planted);
  ASSERT_TRUE(platform::WriteWholeFile(planted + "\\SPapi.dll",
                                       platform::ReadWholeFile(FakeHostBuildFolder() + "\\SPapi.dll")));
  const std::string before = platform::CurrentFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(planted));
  LibraryBinding binding{"SPapi.dll"};
  CallRow<void(Text)>(binding, "Api_OutPutLog", "planted?");
  platform::SetCurrentFolder(before);
  EXPECT_FALSE(platform::FileExists(planted + "\\fakehost.log"));  // the planted DLL recorded no call
}

TEST_F(HostCallTest, OptionalArgumentsTakeTheirDefaultsAndOutArgumentsAnAddress) {
  CallRow<void(Text, Text, Opt<Text, Str{"默认"}>, Opt<Int, -3>)>(library_, "Api_KickGroupMBR", "1", "2");
  CallRow<void(Text, Text, Opt<Text, Str{"默认"}>, Opt<Int, -3>)>(library_, "Api_KickGroupMBR", "1", "2", "x", 2.9);
  // The fake host reads its fourth argument as bytes: here the variable's.
  std::int64_t out = 0x4142;
  using Upload = Text(Text, Int, Opt<Text>, Opt<Out<std::int64_t>>);
  CallRow<Upload>(library_, "Api_UpLoadPic", "1", true, "3", &out);
  CallRow<Upload>(library_, "Api_UpLoadPic", "1", 2);
  const auto calls = fake_.Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].args, (std::vector<std::string>{"1", "2", "默认", "-3"}));
  EXPECT_EQ(calls[1].args, (std::vector<std::string>{"1", "2", "x", "2"}));   // 2.9 converts to 2
  EXPECT_EQ(calls[2].args, (std::vector<std::string>{"1", "1", "3", "BA"}));  // the caller's variable
  EXPECT_EQ(calls[3].args, (std::vector<std::string>{"1", "2", "", ""}));     // a zeroed one, never null
}

TEST_F(HostCallTest, TheFileRecordAndFileAnswersServeOtherProcesses) {
  ASSERT_TRUE(platform::WriteWholeFile(folder_ + "\\fakehost.answers",
                                       FakeHostAnswerLine("Api_GetNick", "名\t字") +
                                           FakeHostAnswerLine("Api_GetGroupName", std::nullopt)));
  EXPECT_EQ((CallRow<Text(Text, Text)>(library_, "Api_GetNick", "1", "a\r\nb")), "名\t字");
  EXPECT_EQ((CallRow<Text(Text, Text)>(library_, "Api_GetGroupName", "1", "")), "");
  fake_.SetAnswer("Api_GetNick", "in-process");  // an answer set in-process comes first
  EXPECT_EQ((CallRow<Text(Text, Text)>(library_, "Api_GetNick", "1", "2")), "in-process");

  const std::vector<FakeCall> expected{Call("VLQapi.dll", "Api_GetNick", {"1", "a\r\nb"}),
                                       Call("VLQapi.dll", "Api_GetGroupName", {"1", ""}),
                                       Call("VLQapi.dll", "Api_GetNick", {"1", "2"})};
  EXPECT_EQ(ParseFakeHostLog(platform::ReadWholeFile(folder_ + "\\fakehost.log")), expected);
  EXPECT_EQ(fake_.Calls(), expected);
}

}  // namespace
}  // namespace zoq::testing
