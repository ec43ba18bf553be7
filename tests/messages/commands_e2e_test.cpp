// Owner commands, library commands and the must-mention rule through the
// real DLL and the VLQ host's fake API.
#include <gtest/gtest.h>

#include "tests/messages/session_test.hpp"

namespace zoq::testing {
namespace {

// The owners, a small exact library and two fuzzy keywords; `admin` lines
// of a test's own are added to the owners line.
Files CommandFiles(const std::string& adminLines = {}) {
  return {{"admin", "[admin]\r\n主人号码=" + std::string(kOwner) + ",30002\r\n" + adminLines},
          {"SayZ.ini", Library({{"你好", "你好呀"}})},
          {"SayM.ini", Library({{"天气", "晴"}, {"好", "好的"}})}};
}

class CommandsE2eTest : public SessionTest {
 protected:
  Files DataFiles() const override { return CommandFiles(); }
  std::string Admin(const std::string& section, const std::string& key) { return Ini("admin", section, key); }
};

TEST_F(CommandsE2eTest, OwnerSwitchesOffAndOnWithTheDefaultTexts) {
  EXPECT_EQ(s().Group("关闭问答").number, 1);
  EXPECT_EQ(Admin("admin", "插件开关"), "关");
  EXPECT_EQ(s().Group("你好").number, 0);
  EXPECT_EQ(s().Group("开启问答", "111", "3000").number, 0);  // 3000 is inside 30001, no owner
  EXPECT_EQ(s().Private("开启问答").number, 1);
  EXPECT_EQ(Admin("admin", "插件开关"), "开");
  EXPECT_EQ(s().Group("你好").number, 1);
  EXPECT_EQ(s().TakeSent(), (Sent{"关键词回复已关闭", "关键词回复已开启", "你好呀"}));
}

TEST_F(CommandsE2eTest, StageAndAddToBothLibraries) {
  WriteIni("admin", "admin", "添加返回文本", "待创建词汇:[词汇]");
  EXPECT_EQ(s().Group("添加词汇你好").number, 1);
  EXPECT_EQ(Admin("新增词库", "待添词汇"), "你好");
  EXPECT_EQ(s().Group("精确回复世界").number, 1);
  EXPECT_EQ(Admin("新增词库", "待添词汇"), "");
  EXPECT_EQ(ReadIniSections(s().DataFile("admin")), std::vector<std::string>{"admin"});
  EXPECT_EQ(s().Group("你好").number, 1);

  EXPECT_EQ(s().Private("添加词汇早安").number, 1);
  EXPECT_EQ(s().Private("模糊回复早上好").number, 1);
  EXPECT_EQ(ReadIniSections(s().DataFile("admin")), std::vector<std::string>{"admin"});
  EXPECT_EQ(Ini("SayM.ini", "早安", "回复"), "早上好");
  EXPECT_EQ(s().Group("大家 早安").number, 1);
  EXPECT_EQ(s().TakeSent(),
            (Sent{"待创建词汇:你好", "你好\r\n世界", "世界", "待创建词汇:早安", "早安\r\n早上好", "早上好"}));
}

TEST_F(CommandsE2eTest, WhatCouldNotBeReadBackWholeIsRefusedNotConfirmed) {
  WriteIni("admin", "admin", "添加返回文本", "待创建词汇:[词汇]");
  // A keyword past the read buffer (once the host's own crash) stages nothing.
  EXPECT_EQ(s().Group("添加词汇" + std::string(40000, 'k')).number, 1);
  EXPECT_EQ(Admin("新增词库", "待添词汇"), "");
  // A reply past it is not written, and the staged keyword stays.
  s().Group("添加词汇你好");
  EXPECT_EQ(s().Group("精确回复" + std::string(10240, 'r')).number, 1);
  EXPECT_EQ(Admin("新增词库", "待添词汇"), "你好");
  EXPECT_EQ(Ini("SayZ.ini", "你好", "回复"), "你好呀");
  // The longest reply that reads back whole is stored.
  EXPECT_EQ(s().Group("精确回复" + std::string(10239, 'r')).number, 1);
  EXPECT_EQ(Ini("SayZ.ini", "你好", "回复"), std::string(10239, 'r'));
  EXPECT_EQ(s().TakeSent(), (Sent{"待创建词汇:你好", "你好\r\n" + std::string(10239, 'r')}));
}

TEST_F(CommandsE2eTest, AnAbsentStageTextSendsNothing) {
  EXPECT_EQ(s().Group("添加词汇你好").number, 1);
  EXPECT_EQ(Admin("新增词库", "待添词汇"), "你好");
  EXPECT_TRUE(s().TakeCalls().empty());  // no empty message reaches the host
}

TEST_F(CommandsE2eTest, KeywordsWithBracketsAreFound) {
  EXPECT_EQ(s().Group("添加词汇[测试]").number, 1);
  EXPECT_EQ(s().Group("精确回复有括号").number, 1);
  EXPECT_EQ(Ini("SayZ.ini", "&uoS8#测试&uoS9#", "回复"), "有括号");
  EXPECT_EQ(s().Group("[测试]").number, 1);
  EXPECT_EQ(s().Group("&uoS8#测试&uoS9#").number, 1);  // typed in the stored form
  EXPECT_EQ(s().Group("添加词汇[甲]").number, 1);
  EXPECT_EQ(s().Group("模糊回复乙").number, 1);
  EXPECT_EQ(s().Group("说[甲]呀").number, 1);
  EXPECT_EQ(s().TakeSent(), (Sent{"[测试]\r\n有括号", "有括号", "有括号", "[甲]\r\n乙", "乙"}));
}

TEST_F(CommandsE2eTest, DeleteConfirmsOnlyWhatWasRemovedAndUnblocksLaterKeywords) {
  EXPECT_EQ(s().Group("删除词汇你好").number, 1);
  EXPECT_EQ(s().Group("你好").number, 1);  // now the fuzzy "好" answers
  EXPECT_EQ(s().Group("删除词汇不存在").number, 1);
  EXPECT_EQ(s().Group("删除词汇天").number, 1);  // "天" is no keyword of its own
  EXPECT_EQ(s().Group("天气好").number, 1);
  EXPECT_EQ(s().Group("删除词汇天气").number, 1);
  // The deleted keyword neither matches nor blocks the later "好".
  EXPECT_EQ(s().Group("天气好").number, 1);
  EXPECT_EQ(ReadIniSections(s().DataFile("SayM.ini")), std::vector<std::string>{"好"});
  EXPECT_EQ(s().TakeSent(), (Sent{"删除成功", "好的", "晴", "删除成功", "好的"}));
}

TEST_F(CommandsE2eTest, OthersMayNotCommandUnlessAllowed) {
  const std::string other = "40004";
  EXPECT_EQ(s().Group("关闭问答", "111", other).number, 0);
  // Not a command for them: an ordinary message, which the fuzzy "好" answers.
  EXPECT_EQ(s().Group("删除词汇你好", "111", other).number, 1);
  EXPECT_EQ(s().Group("添加词汇新", "111", other).number, 0);
  EXPECT_EQ(Ini("SayZ.ini", "你好", "回复"), "你好呀");
  EXPECT_EQ(Admin("新增词库", "待添词汇"), "");
  EXPECT_EQ(s().TakeSent(), Sent{"好的"});
}

class AllowedE2eTest : public CommandsE2eTest {
  Files DataFiles() const override { return CommandFiles("全员删除=开\r\n全员可用=开\r\n删除返回文本=删了\r\n"); }
};

TEST_F(AllowedE2eTest, EverybodyMayDeleteAndAddWhenTheSwitchesAreOn) {
  const std::string other = "40004";
  EXPECT_EQ(s().Group("删除词汇你好", "111", other).number, 1);
  EXPECT_EQ(s().Group("添加词汇新", "111", other).number, 1);
  EXPECT_EQ(s().Group("精确回复词", "111", other).number, 1);
  EXPECT_EQ(s().Group("关闭问答", "111", other).number, 0);  // switching stays the owner's
  EXPECT_EQ(s().TakeSent(), (Sent{"删了", "新\r\n词"}));
}

class MustMentionE2eTest : public CommandsE2eTest {
  Files DataFiles() const override { return CommandFiles("必须艾特=开\r\n"); }
};

TEST_F(MustMentionE2eTest, OnlyMessagesThatMentionTheRobotAreAnswered) {
  EXPECT_EQ(s().Group("你好").number, 0);
  EXPECT_EQ(s().Private("你好").number, 0);
  EXPECT_EQ(s().Group("[@20001] 你好").number, 1);
  EXPECT_EQ(s().Private("[CQ:at,qq=20001]你好").number, 1);
  EXPECT_EQ(s().Group("[@20002] 你好").number, 0);
  EXPECT_EQ(s().TakeSent(), (Sent{"你好呀", "你好呀"}));
}

// Mended: the fuzzy search ran over the message in the stored bracket form,
// so keywords such as "9", "uoS" or "#" matched every mention or picture.
class LibraryFormsE2eTest : public CommandsE2eTest {
  Files DataFiles() const override {
    return {{"admin", "[admin]\r\n主人号码=" + std::string(kOwner) + "\r\n"},
            {"SayZ.ini", Library({{"你好", "你好呀"}})},
            {"SayM.ini", Library({{"9", "nine"}, {"uoS", "u"}, {"#", "hash"}, {"\x81\x41", "trail"}, {"图", "pic"},
                                  {"&uoS8#甲&uoS9#", "bracketed"}})}};
  }
};

TEST_F(LibraryFormsE2eTest, FuzzyKeywordsMatchTheMessageAsWritten) {
  EXPECT_EQ(s().Group("看[@10001]图").number, 1);
  EXPECT_EQ(s().Group("[pic=abc.jpg]").number, 0);
  EXPECT_EQ(s().Group("\x81\x61").number, 0);  // the second byte of a character is no letter
  EXPECT_EQ(s().Group("说[甲]吧").number, 1);
  EXPECT_EQ(s().Group("写9").number, 1);
  EXPECT_EQ(s().TakeSent(), (Sent{"pic", "bracketed", "nine"}));
}

TEST_F(LibraryFormsE2eTest, ALibraryEditedWhileTheHostRunsAnswersAtTheNextMessage) {
  EXPECT_EQ(s().Group("新词").number, 0);
  WriteFile(s().DataFile("SayZ.ini"), Library({{"你好", "改过了"}, {"新词", "新答"}}));
  EXPECT_EQ(s().Group("新词").number, 1);
  EXPECT_EQ(s().Group("你好").number, 1);
  EXPECT_EQ(s().TakeSent(), (Sent{"新答", "改过了"}));
}

}  // namespace
}  // namespace zoq::testing
