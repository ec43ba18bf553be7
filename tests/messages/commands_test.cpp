// The library commands against real INI files: staging, adding to both
// libraries, deleting, and what the handler makes of command words.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/ini_items.hpp"
#include "core/messages/commands.hpp"
#include "core/messages/handler.hpp"
#include "core/settings.hpp"
#include "tests/core/core_fixture.hpp"

namespace zoq::testing {
namespace {

class CommandTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    LoadSettings();
  }
  static std::string Reply(const std::string& file, const std::string& keyword) {
    return ReadIniItem(file, keyword, kReplyKey);
  }
  static std::string Staged() { return ReadIniItem(AdminFile(), kStagingSection, kStagingKey); }
  static bool Listed(const std::string& keyword) {
    const auto& k = Plugin().FuzzyKeywords;
    return std::find(k.begin(), k.end(), keyword) != k.end();
  }
};

TEST_F(CommandTest, StoredKeywordFormReplacesBrackets) {
  EXPECT_EQ(StoredKeywordForm("[测试]"), "&uoS8#测试&uoS9#");
  EXPECT_EQ(StoredKeywordForm("a[[b"), "a&uoS8#&uoS8#b");
  EXPECT_EQ(StoredKeywordForm("\x81[x"), "\x81[x");  // a trail byte is no bracket
}

TEST_F(CommandTest, AddFuzzyRefillsTheKeywordListAtItsEnd) {
  StageKeyword("新词");
  WriteAdminItem("模糊返回文本", "[回复]<-[词汇]");
  EXPECT_EQ(AddFuzzyReply("答"), "答<-新词");
  EXPECT_EQ(Plugin().FuzzyKeywords.back(), "新词");
  EXPECT_EQ(Reply(FuzzyLibraryFile(), "新词"), "答");
}

TEST_F(CommandTest, AddWithNothingStagedGoesToNone) {
  EXPECT_EQ(AddExactReply("孤"), "无[N]孤");
  EXPECT_EQ(Reply(ExactLibraryFile(), "无"), "孤");
}

TEST_F(CommandTest, DeleteRemovesTheOwnSectionWhereItExistsAndReportsIt) {
  // "好" is a fuzzy keyword inside "你好", but "你好" itself is in neither.
  WriteIniItem(FuzzyLibraryFile(), std::string("好"), std::string(kReplyKey), std::string("好的"));
  ReloadFuzzyKeywords();
  EXPECT_FALSE(DeleteKeyword("你好"));
  EXPECT_EQ(Reply(FuzzyLibraryFile(), "好"), "好的");

  EXPECT_TRUE(DeleteKeyword("好"));
  EXPECT_EQ(Reply(FuzzyLibraryFile(), "好"), "");
  EXPECT_FALSE(Listed("好"));  // the list is read again at once

  EXPECT_TRUE(DeleteKeyword("头像"));  // exact library
  EXPECT_EQ(Reply(ExactLibraryFile(), "头像"), "");
  EXPECT_FALSE(DeleteKeyword("头像"));

  // In both libraries: both go.
  WriteIniItem(ExactLibraryFile(), std::string("复读"), std::string(kReplyKey), std::string("x"));
  EXPECT_TRUE(DeleteKeyword("复读"));
  EXPECT_EQ(Reply(ExactLibraryFile(), "复读"), "");
  EXPECT_EQ(Reply(FuzzyLibraryFile(), "复读"), "");
  EXPECT_FALSE(Listed("复读"));
}

TEST_F(CommandTest, DeleteMatchesSectionNamesAsTheIniFunctionsDo) {
  WriteIniItem(ExactLibraryFile(), std::string("Hello"), std::string(kReplyKey), std::string("x"));
  EXPECT_TRUE(DeleteKeyword("hELLO"));
  EXPECT_EQ(Reply(ExactLibraryFile(), "Hello"), "");
  EXPECT_FALSE(DeleteKeyword(" "));
}

// The handler's command path, without a host: HostType 0 sends nothing, so
// only the results and the files show what happened.
class HandlerCommandTest : public CommandTest {
 protected:
  std::int32_t Say(const std::string& sender, const std::string& text) {
    MessageRecord r;
    r.kind = MessageKind::Group;
    r.group = "111";
    r.sender = sender;
    r.text = text;
    return HandleMessage(r);
  }
};

TEST_F(HandlerCommandTest, EmptyCommandWordsAreDisabled) {
  SettingsRecord& s = Plugin().Settings;
  s.主人号码 = "10001";
  s.全员删除 = true;
  s.删除命令.clear();
  s.添加命令.clear();
  s.开启命令.clear();
  // Before the mend an empty delete word deleted the text's keyword.
  EXPECT_EQ(Say("50000", "星期几"), 1);  // answered from the library, not deleted
  EXPECT_NE(Reply(ExactLibraryFile(), "星期几"), "");
  EXPECT_EQ(Say("10001", "你好"), 0);
  EXPECT_EQ(Staged(), "");
  EXPECT_EQ(Say("10001", ""), 0);
}

TEST_F(HandlerCommandTest, SearchesNeverMatchInsideADoubleByteCharacter) {
  // 0x81 0x41 is one GBK character whose trail byte is "A".
  WriteIniItem(FuzzyLibraryFile(), std::string("a"), std::string(kReplyKey), std::string("字母"));
  ReloadFuzzyKeywords();
  EXPECT_EQ(Say("50000", "\x81\x41"), 0);
  EXPECT_EQ(Say("50000", "\x81\x41" "A"), 1);
  // Removing the command word "A" leaves the character's trail byte alone.
  WriteIniItem(ExactLibraryFile(), std::string("\x81\x41"), std::string(kReplyKey), std::string("字"));
  Plugin().Settings.主人号码 = "10001";
  Plugin().Settings.删除命令 = "A";
  EXPECT_EQ(Say("10001", "A\x81\x41"), 1);
  EXPECT_EQ(Reply(ExactLibraryFile(), "\x81\x41"), "");
}

}  // namespace
}  // namespace zoq::testing
