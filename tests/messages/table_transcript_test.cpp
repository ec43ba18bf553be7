// The function-table host through the real DLL: 初始化 hands over a real API
// table (the fake host's functions in the host process), and the events
// arrive as packed records in the host's memory.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/messages/session.hpp"

namespace zoq::testing {
namespace {

constexpr const char* kTableDll = "tablehost.dll";

// A packed event record built in the host's memory.
class Record {
 public:
  Record(Host& host, std::size_t size) : host_(host), bytes_(size, '\0') {}
  Record& Number(std::size_t at, std::int64_t v) {
    std::memcpy(&bytes_[at], &v, 8);
    return *this;
  }
  Record& Word(std::size_t at, std::int32_t v) {
    std::memcpy(&bytes_[at], &v, 4);
    return *this;
  }
  Record& Text(std::size_t at, const std::string& text) {
    return Word(at, static_cast<std::int32_t>(host_.Block(text)));
  }
  std::int32_t Address() const { return static_cast<std::int32_t>(host_.Block(bytes_)); }

 private:
  Host& host_;
  std::string bytes_;
};

class TableTranscriptTest : public ::testing::Test {
 protected:
  TableTranscriptTest()
      : s_(std::string("table-") + ::testing::UnitTest::GetInstance()->current_test_info()->name(), kCase,
           {{"SayZ.ini", Library({{"你好", "你好呀[N]朋友"}, {"罚", "[踢出][撤回][禁言120]罚"},
                                 {"a&uoS8#N&uoS9#b&uoS8#N&uoS9#c&uoS8#N&uoS9#d", "折行"}})}}) {}

  void SetUp() override {
    ASSERT_TRUE(s_.Load());
    ASSERT_TRUE(host().Preload(kTableDll));
  }
  Host& host() { return s_.host(); }

  // The host's API table: these functions of the fake host, by address.
  std::string ApiTable() {
    std::string table;
    for (const char* f : {"发送好友消息", "发送群消息", "发送频道消息", "发送频道私信消息", "撤回消息_群聊",
                          "撤回频道消息", "禁言群成员", "禁言频道成员", "删除群成员", "移除频道成员"}) {
      table += (table.empty() ? "{\"" : ",\"") + std::string(f) + "\":" +
               std::to_string(host().FunctionAddress(kTableDll, f));
    }
    return table + "}";
  }

  // An event export called with one record address: its result (the stack
  // checked on the way).
  std::int32_t Event(const char* name, std::int32_t record) {
    const CallResult r = host().CallNumber(name, {record});
    EXPECT_TRUE(r.ok) << r.raw;
    EXPECT_EQ(r.stackSkew, 0) << name;
    return r.number;
  }
  std::int32_t Private(const std::string& text, std::int64_t robot = 20001) {
    return Event("ZOQ_Frekey",
                 Record(host(), 128).Number(0, 30001).Number(8, robot).Word(16, 3).Number(44, 4).Text(68, text).Address());
  }
  std::int32_t Group(const std::string& text) {
    return Event("ZOQ_FrFeSxKey", Record(host(), 120)
                                      .Number(0, 30001).Number(8, 20001).Word(16, -5).Number(24, 111)
                                      .Number(44, 9876543210123LL).Text(76, text).Address());
  }
  // Push kind 0: a channel message; 1: a direct message.
  std::int32_t Guild(std::int32_t kind, const std::string& text) {
    return Event("ZOQ_QGPush", Record(host(), 168)
                                   .Number(8, 70007).Word(16, 77).Number(24, 40004).Number(36, 50005)
                                   .Number(48, 60006).Number(68, 40005).Number(76, 80008).Word(144, kind)
                                   .Text(152, text).Address());
  }
  std::int32_t Account(std::int64_t robot, std::int32_t type = 31) {
    return Event("ZOQ_ToTKeyEv", Record(host(), 68).Number(24, robot).Word(60, type).Address());
  }
  FakeCall Expect(const std::string& function, std::vector<std::string> args) {
    args.insert(args.begin(), "KEY");
    return FakeCall{kTableDll, function, std::move(args)};
  }
  std::int32_t Lifecycle(const char* name) {
    const CallResult r = host().CallNumber(name);
    EXPECT_EQ(r.stackSkew, 0) << name;
    return r.number;
  }

  static inline const NumericHostCase kCase{"Table", "", 0, kTableDll, 0, 0, 0, nullptr};
  Session s_;
};

TEST_F(TableTranscriptTest, StartsFromItsTableAndAnswersEveryKindOfMessage) {
  const CallResult init = host().CallText("初始化", {ApiTable(), std::string("KEY")});
  ASSERT_TRUE(init.ok) << init.raw;
  EXPECT_EQ(init.stackSkew, 0);
  EXPECT_EQ(init.text, "{\"sdkv\":\"4.5.3\",\"appname\":\"ZOQ·关键词\"}");
  EXPECT_EQ(Lifecycle("ZOQ_KyOn"), 0);
  EXPECT_EQ(Private("你好"), 0);  // no account taken yet
  EXPECT_EQ(Account(20002, 30), 0);  // another event type takes nothing
  EXPECT_EQ(Account(20001), 0);
  EXPECT_EQ(Account(20002), 0);  // the first account stays
  EXPECT_EQ(Private("你好", 20002), 0);

  EXPECT_EQ(Private("你好"), 1);
  EXPECT_EQ(Private("a\r\nb\nc\rd"), 1);  // each line break one [N]
  EXPECT_EQ(Group("罚"), 1);
  EXPECT_EQ(Guild(0, "罚"), 1);
  EXPECT_EQ(Guild(1, "你好"), 1);
  EXPECT_EQ(s_.TakeCalls(),
            (std::vector<FakeCall>{
                Expect("发送好友消息", {"20001", "30001", "你好呀\r\n朋友", "ptr", "ptr"}),
                Expect("发送好友消息", {"20001", "30001", "折行", "ptr", "ptr"}),
                Expect("禁言群成员", {"20001", "111", "30001", "120"}),
                Expect("撤回消息_群聊", {"20001", "111", "9876543210123", "-5"}),
                Expect("删除群成员", {"20001", "111", "30001", "0"}),
                Expect("发送群消息", {"20001", "111", "罚", "0"}),
                Expect("禁言频道成员", {"20001", "40004", "60006", "120"}),
                Expect("撤回频道消息", {"20001", "40004", "50005", "77"}),
                Expect("移除频道成员", {"20001", "40004", "60006", "0"}),
                Expect("发送频道消息", {"20001", "40004", "50005", "罚"}),
                Expect("发送频道私信消息", {"20001", "40005", "80008", "你好呀\r\n朋友"}),
            }));

  EXPECT_EQ(Lifecycle("ZOQ_KyFOn"), 0);
  EXPECT_EQ(Private("你好"), 0);  // the account is forgotten
  EXPECT_TRUE(s_.TakeCalls().empty());
}

TEST_F(TableTranscriptTest, NullRecordsNullTextsAndOtherGuildKindsSendNothing) {
  host().CallText("初始化", {ApiTable(), std::string("KEY")});
  Lifecycle("ZOQ_KyOn");
  Account(20001);
  for (const char* e : {"ZOQ_Frekey", "ZOQ_FrFeSxKey", "ZOQ_QGPush", "ZOQ_ToTKeyEv"}) EXPECT_EQ(Event(e, 0), 0) << e;
  // Every text pointer null: an empty message, which no keyword matches.
  EXPECT_EQ(Event("ZOQ_Frekey", Record(host(), 128).Number(0, 30001).Number(8, 20001).Address()), 0);
  EXPECT_EQ(Event("ZOQ_FrFeSxKey", Record(host(), 120).Number(0, 30001).Number(8, 20001).Number(24, 111).Address()), 0);
  EXPECT_EQ(Event("ZOQ_QGPush", Record(host(), 168).Number(8, 1).Number(48, 2).Address()), 0);
  EXPECT_EQ(Guild(2, "你好"), 0);
  EXPECT_EQ(Guild(7, "你好"), 0);
  EXPECT_TRUE(s_.TakeCalls().empty());
  EXPECT_EQ(Private("你好"), 1);  // and the plug-in goes on
}

}  // namespace
}  // namespace zoq::testing
