// The function-table host's adapter: the API table lookup, and the
// operations the core calls against the fake host's functions, whose
// addresses the test lists in the table.
#include <windows.h>

#include <cstring>
#include <functional>

#include "hosts/adapters.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

TEST(TableLookup, FindsMembersByTheirWholeName) {
  TableHostApi api;
  EXPECT_EQ(api.LookupApiAddress("a"), 0u);  // no table yet
  api.InitApiTable("key", "{\"a\":1,\"b\":2}");
  EXPECT_EQ(api.LookupApiAddress("a"), 1u);
  EXPECT_EQ(api.LookupApiAddress("b"), 2u);  // the last member ends at the brace
  EXPECT_EQ(api.LookupApiAddress("c"), 0u);
  api.InitApiTable("key", "{\"a\": 1,\"b\": 2}");
  EXPECT_EQ(api.LookupApiAddress("a"), 1u);
  EXPECT_EQ(api.LookupApiAddress("b"), 2u);
  api.InitApiTable("key", "{\"a\" :1,\"b\" :2}");
  EXPECT_EQ(api.LookupApiAddress("a"), 0u);
  api.InitApiTable("key", "{\"撤回消息_群聊s\":5,\"撤回消息_群聊\":6,\"发送群消息\":7,\"x\":8,\"x\":9,\"big\":4294967295}");
  EXPECT_EQ(api.LookupApiAddress("撤回消息_群聊"), 6u);
  EXPECT_EQ(api.LookupApiAddress("群消息"), 0u);
  EXPECT_EQ(api.LookupApiAddress("x"), 8u);  // the first member of a name
  EXPECT_EQ(api.LookupApiAddress("big"), 4294967295u);
  api.InitApiTable("key", "{\"q\":\"12\"}");
  EXPECT_EQ(api.LookupApiAddress("q"), 0u);
  // "#引号" in a name stands for a double quote.
  api.InitApiTable("key", "{\"a\":1,\"b\":2}");
  EXPECT_EQ(api.LookupApiAddress("a#引号:1,#引号b"), 2u);
  EXPECT_EQ(api.LookupApiAddress("#引号a"), 0u);
}

class TableHostTest : public AdapterTest<TableHostApi> {
 protected:
  TableHostTest() : AdapterTest("tablehost.dll") {}
  std::uintptr_t Address(const std::string& function) const {
    return reinterpret_cast<std::uintptr_t>(GetProcAddress(static_cast<HMODULE>(fake_.module()), function.c_str()));
  }
  // The table the host would hand over: every function of the fake host,
  // but those of `except`; `extra` members come first.
  std::string ApiTable(const std::string& except = {}, const std::string& extra = {}) const {
    std::string table = "{" + extra;
    for (const auto& [name, kinds] : fake_.Functions()) {
      if (name == except) continue;
      table += (table.size() > 1 ? ",\"" : "\"") + name + "\":" + std::to_string(Address(name));
    }
    return table + "}";
  }
  // The last call the fake host received.
  FakeCall Last() const {
    const auto calls = fake_.Calls();
    return calls.empty() ? FakeCall{} : calls.back();
  }
};

TEST_F(TableHostTest, EveryDeclaredRowMatchesTheHostsList) {
  ASSERT_TRUE(fake_.loaded());
  EXPECT_EQ(CompareRows(api_.Declarations(), fake_), std::vector<std::string>{});
}

TEST_F(TableHostTest, BeforeTheTableArrivesNothingIsCalled) {
  fake_.SetAnswer("发送群消息", "sent");
  fake_.SetAnswer("禁言群成员", "1");
  EXPECT_EQ(api_.SendGroupMessage(1, 2, "x"), "");
  EXPECT_FALSE(api_.MuteMember(1, 2, 3, 60));
  EXPECT_TRUE(fake_.Calls().empty());
  api_.InitApiTable("KEY", ApiTable());
  EXPECT_EQ(api_.SendGroupMessage(1, 2, "x"), "sent");
  EXPECT_TRUE(api_.MuteMember(1, 2, 3, 60));
}

TEST_F(TableHostTest, AnEmptyKeyGoesAsAnEmptyText) {
  api_.InitApiTable("", ApiTable());
  api_.GetOnlineAccounts();
  const auto calls = fake_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args, std::vector<std::string>{""});
}

}  // namespace
}  // namespace zoq::testing

namespace zoq::testing {
namespace {

// A process-heap block of an odd size, holding `text`: freed blocks are told
// from live ones by address and size.
std::uint32_t HeapText(std::size_t size, const std::string& text = "t") {
  char* p = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
  std::memcpy(p, text.c_str(), text.size() + 1);
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}
bool LiveBlock(std::uint32_t address, std::size_t size) {
  bool live = false;
  HANDLE heap = GetProcessHeap();
  HeapLock(heap);
  PROCESS_HEAP_ENTRY entry{};
  while (HeapWalk(heap, &entry)) {
    live = live || ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && entry.cbData == size &&
                    reinterpret_cast<std::uintptr_t>(entry.lpData) == address);
  }
  HeapUnlock(heap);
  return live;
}
// What a host does: stores its own block in the caller's array variable.
template <class L>
void HostStores(hosts::HostArray<L>& array, std::uint32_t block) {
  hosts::FreeHostArray(array.address(), nullptr, 0, -1);
  std::memcpy(static_cast<void*>(&array), &block, 4);
}
void Put(std::uint32_t block, std::size_t offset, std::uint32_t value) {
  std::memcpy(reinterpret_cast<char*>(static_cast<std::uintptr_t>(block)) + offset, &value, 4);
}

TEST_F(TableHostTest, EveryKindCrossesAsTheHostWantsIt) {
  api_.InitApiTable("KEY", ApiTable());
  hosts::HostI64Array members({5, -6});
  const struct {
    const char* what;
    std::function<void()> call;
    FakeCall expected;
  } cases[] = {
      {"i64: both words, negative and above 32 bits", [&] { api_.是否被禁言(-9876543210123LL, 6442450944LL); },
       Expect("是否被禁言", {"KEY", "-9876543210123", "6442450944"})},
      {"an empty text is an empty text", [&] { api_.取昵称_从缓存(""); }, Expect("取昵称_从缓存", {"KEY", ""})},
      {"int and bool", [&] { api_.撤回消息_私聊本身(1, 2, 3, -4, 5); },
       Expect("撤回消息_私聊本身", {"KEY", "1", "2", "3", "-4", "5"})},
      {"bool", [&] { api_.设置管理员(1, 2, 3, true); }, Expect("设置管理员", {"KEY", "1", "2", "3", "1"})},
      {"double", [&] { api_.上报当前位置(1, 2, 1.5, -2.25); }, Expect("上报当前位置", {"KEY", "1", "2", "1.5", "-2.25"})},
      {"bytes: address and length", [&] { api_.上传头像(1, std::string("p\tn")); }, Expect("上传头像", {"KEY", "1", "p\tn"})},
      {"empty bytes", [&] { api_.上传群头像(1, 2, ""); }, Expect("上传群头像", {"KEY", "1", "2", ""})},
      {"omitted out-arguments: zeroed variables", [&] { api_.发送群临时消息(1, 2, 3, "x"); },
       Expect("发送群临时消息", {"KEY", "1", "2", "3", "x", "ptr", "ptr"})},
      {"omitted arguments without default", [&] { api_.设置频道全员禁言(1, 2); },
       Expect("设置频道全员禁言", {"KEY", "1", "2", "0"})},
      {"omitted texts and numbers", [&] { api_.分享音乐(1, 2, "a", "b", "c", "d"); },
       Expect("分享音乐", {"KEY", "1", "2", "a", "b", "c", "d", "", "0", "0"})},
      {"an array of i64", [&] { api_.移除频道成员_批量(1, 2, &members, true); },
       Expect("移除频道成员_批量", {"KEY", "1", "2", "array:2,5,-6", "1"})},
      {"nothing but the key", [&] { api_.框架重启(); }, Expect("框架重启", {"KEY"})},
  };
  for (const auto& c : cases) {
    c.call();
    EXPECT_EQ(Last(), c.expected) << c.what;
  }
  EXPECT_EQ(fake_.Calls().size(), std::size(cases));

  fake_.SetAnswer("修改昵称", "2");
  EXPECT_TRUE(api_.修改昵称(1, "n"));  // any word but 0 is true
  fake_.SetAnswer("是否被禁言", "-9876543210123");
  EXPECT_EQ(api_.是否被禁言(1, 2), -9876543210123LL);
  fake_.SetAnswer("取管理层列表", std::nullopt);
  EXPECT_EQ(api_.取管理层列表(1, 2), "");
}

TEST_F(TableHostTest, TheStackStaysIntactWhateverTheCalleePops) {
  int faults = 0;
  static int* counter = nullptr;
  counter = &faults;
  hosts::SetFaultSink([] { ++*counter; });
  // The table names functions that take other arguments: 框架重启 gives one
  // word to a function that removes five, 退出频道 five to one that removes three.
  api_.InitApiTable("KEY", ApiTable({}, "\"框架重启\":" + std::to_string(Address("是否被禁言")) + ",\"退出频道\":" +
                                            std::to_string(Address("获取skey")) + ","));
  api_.框架重启();
  EXPECT_FALSE(api_.退出频道(1, 2));
  hosts::SetFaultSink(nullptr);
  EXPECT_EQ(faults, 2);
  fake_.SetAnswer("QQ点赞", "ok");
  EXPECT_EQ(api_.QQ点赞(7, 8), "ok");
  EXPECT_EQ(Last(), Expect("QQ点赞", {"KEY", "7", "8"}));
}

TEST_F(TableHostTest, UploadsPutTheSizeOrTheLengthIntoTheCode) {
  api_.InitApiTable("KEY", ApiTable());
  fake_.SetAnswer("上传好友图片", "[pic,hash=1]");
  EXPECT_EQ(api_.上传好友图片(1, 2, false, "png"), "[pic,hash=1,wide=0,high=0,cartoon=false]");
  EXPECT_EQ(Last(), Expect("上传好友图片", {"KEY", "1", "2", "0", "png"}));
  fake_.SetAnswer("上传频道图片", "[pic]");
  EXPECT_EQ(api_.上传频道图片(1, 2, 3, "png", 300, -200, true), "[pic,wide=300,high=-200,cartoon=true]");
  fake_.SetAnswer("上传群语音", "[voice]");
  EXPECT_EQ(api_.上传群语音(1, 2, 0, "", "amr", 15), "[voice,time=15]");
  EXPECT_EQ(Last(), Expect("上传群语音", {"KEY", "1", "2", "0", "", "amr"}));
  fake_.SetAnswer("上传群语音", "上传失败");
  EXPECT_EQ(api_.上传群语音(1, 2, 0, "", "amr", 15), "上传失败");
  api_.InitApiTable("KEY", ApiTable("上传群图片"));
  EXPECT_EQ(api_.上传群图片(1, 2, false, "png", 1, 1), "");
}

TEST_F(TableHostTest, DirectChannelIdsComeBackAsNumbers) {
  api_.InitApiTable("KEY", ApiTable());
  fake_.SetAnswer("取私信频道Id", "1");
  fake_.SetAnswer("取私信频道Id#4", "１２3");  // full-width digits count
  fake_.SetAnswer("取私信频道Id#5", "");
  std::int64_t first = 9, second = 9;
  EXPECT_TRUE(api_.取私信频道Id(1, 2, 3, &first, &second));
  EXPECT_EQ(first, 123);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(Last(), Expect("取私信频道Id", {"KEY", "1", "2", "3", "ptr", "ptr"}));
  EXPECT_EQ(fake_.LiveBlocks(), 0);  // the operation's own variables freed the host's texts
  api_.InitApiTable("KEY", ApiTable("取私信频道Id"));
  first = second = 9;
  EXPECT_FALSE(api_.取私信频道Id(1, 2, 3, &first, &second));
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 0);
}

TEST_F(TableHostTest, ListsFreeTheCallersArrayAndLeaveTheEmptyOne) {
  // Two friends, each with texts and an array of two blocks at offset 56.
  std::vector<std::pair<std::uint32_t, std::size_t>> blocks;
  const auto block = [&](std::size_t size) {
    blocks.emplace_back(HeapText(size), size);
    return blocks.back().first;
  };
  const std::uint32_t array = block(1001);
  Put(array, 0, 1);
  Put(array, 4, 2);
  for (std::size_t r = 0; r < 2; ++r) {
    const std::uint32_t record = block(1003 + 2 * r);
    for (std::uint16_t offset : FriendInfo::kTexts) Put(record, offset, block(1011 + offset + 100 * r));
    const std::uint32_t inner = block(1005 + 2 * r);
    Put(inner, 0, 1);
    Put(inner, 4, 2);
    Put(inner, 8, block(1201 + 4 * r));
    Put(inner, 12, block(1203 + 4 * r));
    Put(record, 56, inner);
    Put(array, 8 + 4 * r, record);
  }
  hosts::HostArray<FriendInfo> friends;
  HostStores(friends, array);
  ASSERT_EQ(friends.size(), 2u);
  for (const auto& [address, size] : blocks) ASSERT_TRUE(LiveBlock(address, size)) << size;

  api_.InitApiTable("KEY", ApiTable("取好友列表"));  // the host lacks the function
  EXPECT_EQ(api_.取好友列表(1, &friends), 0);
  for (const auto& [address, size] : blocks) EXPECT_FALSE(LiveBlock(address, size)) << size;
  EXPECT_EQ(friends.size(), 0u);
  EXPECT_NE(friends.address(), 0u);
  EXPECT_TRUE(fake_.Calls().empty());

  // With the function, the host finds the empty array and stores its own.
  api_.InitApiTable("KEY", ApiTable());
  fake_.SetAnswer("取群成员列表", "3");
  fake_.SetAnswer("取群成员列表#3", "2");
  hosts::HostArray<GroupMemberInfo> members;
  EXPECT_EQ(api_.取群成员列表(1, 2, &members), 3);
  EXPECT_EQ(Last(), Expect("取群成员列表", {"KEY", "1", "2", "array:0"}));
  EXPECT_EQ(members.size(), 2u);
  EXPECT_EQ(fake_.LiveBlocks(), 3);  // the host's array and records, held by `members`
  hosts::HostArray<GroupInfo> groups;
  EXPECT_EQ(api_.取群列表(1, &groups), 0);
  EXPECT_EQ(Last(), Expect("取群列表", {"KEY", "1", "array:0"}));
}

}  // namespace
}  // namespace zoq::testing
