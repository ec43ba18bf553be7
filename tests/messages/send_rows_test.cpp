// Replies sent through the ISky and function-table adapters: the host's own
// codes and the exact arguments of each row, guild messages through the
// function-table host whatever host is active.
#include "core/messages/sending.hpp"
#include "tests/reply/reply_test_support.hpp"

namespace zoq::testing {
namespace {

using IskySendTest = IskyHostTest;

TEST_F(IskySendTest, PrivateToTheSenderAndGroupToTheGroupWithTheFlagOne) {
  SendReply(record_, "图[P=C:\\a.png][N]完");
  record_.kind = MessageKind::Private;
  record_.group.clear();
  SendReply(record_, "私聊");
  EXPECT_EQ(fake_.Calls(),
            (std::vector<FakeCall>{Expect("Api_SendMsg", {"2", "20002", "", "图[CQ:image,file=file:///C:\\a.png]\r\n完", "1"}),
                                   Expect("Api_SendMsg", {"1", "", "30003", "私聊", "1"})}));
}

using TableSendTest = TableHostTest;

TEST_F(TableSendTest, PrivateAndGroupRowsTakeSixtyFourBitNumbers) {
  Plugin().RobotAccount = "6442450944";
  SendReply(record_, "群[P=C:\\a.png]");
  record_.kind = MessageKind::Private;
  record_.group.clear();
  SendReply(record_, "私");
  record_.sender = "not a number";
  SendReply(record_, "零");
  EXPECT_EQ(fake_.Calls(),
            (std::vector<FakeCall>{Expect("发送群消息", {"6442450944", "20002", "群[picFile,path=C:\\a.png]", "0"}),
                                   Expect("发送好友消息", {"6442450944", "30003", "私", "ptr", "ptr"}),
                                   Expect("发送好友消息", {"6442450944", "0", "零", "ptr", "ptr"})}));
}

TEST_F(TableSendTest, GuildMessagesGoToTheChannelRowsWhateverHostIsActive) {
  Plugin().HostType = kHostVlq;  // codes follow the active host
  record_.group = "40004";
  record_.subchannel = 50005;
  record_.kind = MessageKind::Channel;
  SendReply(record_, "频道[P=a.png]");
  record_.kind = MessageKind::ChannelDirect;
  SendReply(record_, "私信");
  record_.kind = static_cast<MessageKind>(5);
  SendReply(record_, "无处可发");
  EXPECT_EQ(fake_.Calls(),
            (std::vector<FakeCall>{Expect("发送频道消息", {"10001", "40004", "50005", "频道[pic=a.png]"}),
                                   Expect("发送频道私信消息", {"10001", "40004", "50005", "私信"})}));
}

}  // namespace
}  // namespace zoq::testing
