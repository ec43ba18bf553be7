// The message handler: owner commands, library commands, the must-mention
// rule, lookups and cool-downs, through the real DLL and the VLQ host's fake
// API; the date-time texts of `SAVE` and the test of one key in this process.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "core/files/cooldown_times.hpp"
#include "core/files/file_writes.hpp"
#include "core/files/ini_items.hpp"
#include "core/files/kept_times.hpp"
#include "core/messages/commands.hpp"
#include "core/messages/cooldown.hpp"
#include "core/settings.hpp"
#include "platform/files.hpp"
#include "platform/folder_lock.hpp"
#include "tests/core/core_fixture.hpp"
#include "tests/messages/session.hpp"

namespace zoq::testing {
namespace {

// A started session of the VLQ host with the data files the test names.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    session_ = std::make_unique<Session>(std::string(info->test_suite_name()) + "-" + info->name(),
                                         HostCaseNamed("VLQ"), DataFiles());
    ASSERT_TRUE(session_->Start());
  }
  virtual Files DataFiles() const = 0;

  Session& s() { return *session_; }
  std::string Ini(const std::string& file, const std::string& section, const std::string& key) {
    return ReadIniItem(s().DataFile(file), section, key);
  }
  void WriteIni(const std::string& file, const std::string& section, const std::string& key, const std::string& value) {
    WriteIniItem(s().DataFile(file), section, key, value);
  }

 private:
  std::unique_ptr<Session> session_;
};

// The owners, a small exact library (with a section of no name, which
// blocks no write) and fuzzy keywords; `admin` lines of a test's own follow
// the owners line.
Files CommandFiles(const std::string& adminLines = {}) {
  return {{"admin", "[admin]\r\n主人号码=" + std::string(kOwner) + ",30002\r\n" + adminLines},
          {"SayZ.ini", Library({{"你好", "你好呀"}}) + "[]\r\n回复=空\r\n" + Library({{"Hello", "hi"}, {"复读", "x"}})},
          {"SayM.ini", Library({{"天气", "晴"}, {"好", "好的"}, {"复读", "[消息]"}})}};
}

// Group messages of `sender` in turn, each with the export's result.
void Say(Session& s, const std::vector<std::pair<std::string, std::int32_t>>& steps, const char* sender = kOwner) {
  for (const auto& [text, result] : steps) EXPECT_EQ(s.Group(text, "111", sender).number, result) << text;
}

struct CommandsE2eTest : SessionTest {
  Files DataFiles() const override { return CommandFiles(); }
};

TEST_F(CommandsE2eTest, OwnersSwitchStageAddAndDelete) {
  Say(s(), {{"关闭问答", 1}, {"你好", 0}, {"添加词汇x", 0}});
  EXPECT_EQ(Ini("admin", "admin", "插件开关"), "关");
  Say(s(), {{"开启问答", 0}}, "3000");  // 3000 is inside 30001: no owner
  // Mended: with no stage text stored (the window not opened yet), it was staged and
  // nothing was said; now the window's text is. One stored empty says nothing.
  Say(s(), {{"开启问答", 1}, {"添加词汇你好", 1}});
  EXPECT_EQ(Ini("admin", "新增词库", "待添词汇"), "你好");
  EXPECT_EQ(Ini("admin", "admin", "插件开关"), "开");
  WriteIni("admin", "admin", "添加返回文本", "");
  Say(s(), {{"添加词汇你好", 1}});
  WriteIni("admin", "admin", "添加返回文本", "待创建词汇:[词汇]");
  Say(s(), {{"精确回复世界", 1}, {"你好", 1}, {"添加词汇[早安]", 1}, {"模糊回复早上好", 1}, {"大家 [早安]", 1}});
  EXPECT_EQ(ReadIniSections(s().DataFile("admin")), std::vector<std::string>{"admin"});
  EXPECT_EQ(Ini("SayM.ini", "&uoS8#早安&uoS9#", "回复"), "早上好");
  // Delete: the section of the keyword itself, in either library or both,
  // matched as the INI functions match names; confirmed only when removed.
  Say(s(), {{"删除词汇天", 1}, {"删除词汇 ", 1}, {"删除词汇hELLO", 1}, {"删除词汇复读", 1}, {"删除词汇天气", 1},
            {"天气好", 1}, {"复读一下", 0}});
  EXPECT_EQ(ReadIniSections(s().DataFile("SayZ.ini")), std::vector<std::string>{"你好"});
  EXPECT_EQ(s().TakeSent(), (Sent{"关键词回复已关闭", "关键词回复已开启", "待创建词汇:你好", "你好\r\n世界", "世界",
                                  "待创建词汇:[早安]", "[早安]\r\n早上好", "早上好", "删除成功", "删除成功",
                                  "删除成功", "好的"}));
  // Mended: a keyword named with a blank before it was confirmed and stayed.
  Say(s(), {{"删除词汇 你好", 1}, {"你好", 1}});
  EXPECT_EQ(s().TakeSent(), (Sent{"删除成功", "好的"}));
  EXPECT_EQ(ReadFile(s().DataFile("SayZ.ini")), "[]\r\n回复=空\r\n");
}

// What most editors save: the libraries and the settings file in UTF-8
// without a mark (the emoji GBK cannot hold). Mended: read as GBK, their
// keywords got no answer and the owners none of their commands.
class Utf8FilesE2eTest : public SessionTest {
  Files DataFiles() const override {
    return {{"admin", Utf8(u8"[admin]\r\n主人号码=30001\r\n添加返回文本=暂存:[词汇]\r\n")},
            {"SayZ.ini", Utf8(u8"[早安]\r\n回复=早上好\r\n[表情]\r\n回复=😀\r\n")},
            {"SayM.ini", Utf8(u8"[天气]\r\n回复=晴\r\n")}};
  }
};

TEST_F(Utf8FilesE2eTest, AreAnsweredObeyedAndWrittenBackInUtf8) {
  Say(s(), {{"早安", 1}, {"今天天气", 1}, {"关闭问答", 1}, {"早安", 0}, {"开启问答", 1}, {"添加词汇午安", 1}});
  const std::string admin = Utf8(u8"[admin]\r\n主人号码=30001\r\n添加返回文本=暂存:[词汇]\r\n插件开关=开\r\n");
  EXPECT_EQ(ReadFile(s().DataFile("admin")), admin + Utf8(u8"[新增词库]\r\n待添词汇=午安\r\n"));
  Say(s(), {{"精确回复下午好", 1}, {"午安", 1}});
  EXPECT_EQ(s().TakeSent(), (Sent{"早上好", "晴", "关键词回复已关闭", "关键词回复已开启", "暂存:午安", "午安\r\n下午好", "下午好"}));
  EXPECT_EQ(ReadFile(s().DataFile("admin")), admin);
  const std::string exact = Utf8(u8"[早安]\r\n回复=早上好\r\n[表情]\r\n回复=😀\r\n[午安]\r\n回复=下午好\r\n");
  EXPECT_EQ(ReadFile(s().DataFile("SayZ.ini")), exact);
}

TEST_F(CommandsE2eTest, WhatCouldNotBeReadBackWholeIsRefusedNotConfirmed) {
  WriteIni("admin", "admin", "添加返回文本", "待创建词汇:[词汇]");
  // A keyword past the read buffer (once the host's own crash) stages nothing.
  Say(s(), {{"添加词汇" + std::string(40000, 'k'), 1}});
  EXPECT_EQ(Ini("admin", "新增词库", "待添词汇"), "");
  // A reply past it is not written, and the staged keyword stays.
  Say(s(), {{"添加词汇你好", 1}, {"精确回复" + std::string(10240, 'r'), 1}});
  EXPECT_EQ(Ini("admin", "新增词库", "待添词汇"), "你好");
  EXPECT_EQ(Ini("SayZ.ini", "你好", "回复"), "你好呀");
  // The longest reply that reads back whole is stored.
  Say(s(), {{"精确回复" + std::string(10239, 'r'), 1}});
  EXPECT_EQ(Ini("SayZ.ini", "你好", "回复"), std::string(10239, 'r'));
  EXPECT_EQ(s().TakeSent(), (Sent{"待创建词汇:你好", "你好\r\n" + std::string(10239, 'r')}));
  // A delete the file refuses (read-only) is not confirmed: the keyword answers.
  SetFileAttributesA(s().DataFile("SayZ.ini").c_str(), FILE_ATTRIBUTE_READONLY);
  Say(s(), {{"删除词汇你好", 1}, {"你好", 1}});
  SetFileAttributesA(s().DataFile("SayZ.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(s().TakeSent(), Sent{std::string(10239, 'r')});
}

TEST_F(CommandsE2eTest, OthersMayNotCommandAndAnEditedLibraryAnswersAtOnce) {
  // Not commands for them: ordinary messages, which the fuzzy "好" answers.
  Say(s(), {{"关闭问答", 0}, {"删除词汇你好", 1}, {"添加词汇新", 0}, {"精确回复你", 0}}, "40004");
  EXPECT_EQ(Ini("admin", "新增词库", "待添词汇"), "");
  WriteFile(s().DataFile("SayZ.ini"), Library({{"你好", "改过了"}, {"新词", "新答"}}));
  Say(s(), {{"新词", 1}, {"你好", 1}});
  EXPECT_EQ(s().TakeSent(), (Sent{"好的", "新答", "改过了"}));
}

// Mended: a keyword or reply stored through the chat used to be confirmed
// with its codes live.
class AllowedE2eTest : public CommandsE2eTest {
  Files DataFiles() const override {
    return CommandFiles("全员删除=开\r\n全员可用=开\r\n删除返回文本=删了\r\n添加返回文本=待:[词汇]\r\n");
  }
};

TEST_F(AllowedE2eTest, EverybodyMayDeleteAndAddAndSeesWhatWasStoredAsText) {
  Say(s(), {{"删除词汇你好", 1}, {"添加词汇[pic=C:\\a.png]", 1}, {"精确回复[CQ:at,qq=all]&uoS8#N]", 1},
            {"关闭问答", 0}}, "40004");  // switching stays the owner's
  EXPECT_EQ(Ini("SayZ.ini", "&uoS8#pic=C:\\a.png&uoS9#", "回复"), "[@all][N]");
  EXPECT_EQ(s().TakeSent(), (Sent{"删了", "待:［pic=C:\\a.png］", "［pic=C:\\a.png］\r\n［@all］\r\n"}));
  // Each switch alone opens its own commands only.
  const struct {
    const char *deleteForAll, *addForAll;
    std::vector<std::pair<std::string, std::int32_t>> steps;
    Sent sent;
  } rows[] = {{"关", "开", {{"删除词汇Hello", 0}, {"添加词汇新", 1}}, {"待:新"}},
              {"开", "关", {{"删除词汇Hello", 1}, {"精确回复旧", 0}}, {"删了"}}};
  for (const auto& r : rows) {
    WriteIni("admin", "admin", "全员删除", r.deleteForAll);
    WriteIni("admin", "admin", "全员可用", r.addForAll);
    s().Event(12000);
    Say(s(), r.steps, "40004");
    EXPECT_EQ(s().TakeSent(), r.sent) << r.deleteForAll;
  }
  EXPECT_EQ(Ini("SayZ.ini", "Hello", "回复") + Ini("admin", "新增词库", "待添词汇"), "新");
}

// Mended: brackets typed as escapes used to make a mention of the robot.
class MustMentionE2eTest : public CommandsE2eTest {
  Files DataFiles() const override { return CommandFiles("必须艾特=开\r\n删除命令=\r\n添加命令=\r\n开启命令=\r\n"); }
};

TEST_F(MustMentionE2eTest, OnlyRealMentionsOfTheRobotAreAnsweredAndEmptyCommandWordsAreNone) {
  Say(s(), {{"你好", 0}, {"[@20002] 你好", 0}, {"\\u005b@20001\\u005d 你好", 0}, {"&uoS8#@20001&uoS9# 你好", 0},
            {"[@20001] 你好", 1}, {"[CQ:at,qq=20001]你好", 1}, {"[@20001] 复读一下", 1}, {"", 0}});
  EXPECT_EQ(s().Private("你好").number, 0);
  EXPECT_EQ(s().Private("[at=20001]你好").number, 1);
  // Before the mend an empty delete word deleted the keyword of every text.
  EXPECT_EQ(Ini("SayZ.ini", "你好", "回复"), "你好呀");
  EXPECT_EQ(s().TakeSent(), (Sent{"你好呀", "你好呀", "一下", "你好呀"}));  // the mention went with its blank
}

// Mended: the fuzzy search ran over the message in the stored bracket form,
// so keywords such as "9", "uoS" or "#" matched every mention or picture.
// An exact keyword of a library of 16 sections answers in any ASCII case.
class LibraryFormsE2eTest : public CommandsE2eTest {
  Files DataFiles() const override {
    std::vector<std::pair<std::string, std::string>> exact{{"你好", "你好呀"}, {"Hello", "hi"}};
    while (exact.size() < 16) exact.push_back({"k" + std::to_string(exact.size()), "v"});
    return {{"SayZ.ini", Library(exact)},
            {"SayM.ini", Library({{"9", "nine"}, {"uoS", "u"}, {"#", "hash"}, {"\x81\x41", "trail"}, {"图", "pic"},
                                  {"&uoS8#甲&uoS9#", "bracketed"}, {"a", "letter"}, {"天气", "晴"}, {"阿", "a"}})}};
  }
};

TEST_F(LibraryFormsE2eTest, FuzzyKeywordsMatchTheMessageAsWritten) {
  Say(s(), {{"看[@10001]图", 1}, {"[pic=xyz.jpg]", 0}, {"\x81\x61", 0}, {"说[甲]吧", 1}, {"写9", 1},
            {"\x81\x61" "A", 1}, {"天　气", 1}, {"天 气", 1}, {"hELLO", 1}, {"阿", 1},
            // 啊、 is B0 A1 A1 A2: no full-width blank, although its bytes
            // without the middle two would read 阿 (B0 A2); 、 is no blank.
            {"啊、", 0}, {"天、气", 0}});
  EXPECT_EQ(s().TakeSent(), (Sent{"pic", "bracketed", "nine", "letter", "晴", "晴", "hi", "a"}));
}

TEST(DateTimeText, LeavesOutTrailingZeroPartsAndReadsBackWithEverySeparator) {
  const std::pair<DateTime, const char*> written[] = {
      {{2026, 12, 5, 17, 46, 29}, "2026年12月5日17时46分29秒"}, {{2026, 12, 5, 18, 0, 0}, "2026年12月5日18时"},
      {{2026, 12, 5, 18, 5, 0}, "2026年12月5日18时5分"},        {{2026, 12, 5, 0, 0, 7}, "2026年12月5日0时0分7秒"},
      {{2026, 12, 5, 17, 1, 0}, "2026年12月5日17时1分"},        {{2026, 12, 5, 0, 1, 0}, "2026年12月5日0时1分"},
      {{2026, 1, 2, 0, 0, 0}, "2026年1月2日"}};
  for (const auto& [t, text] : written) {
    EXPECT_EQ(FormatDateTime(t), text);
    EXPECT_EQ(SecondsBetween(t, ParseDateTime(text)), 0) << text;
  }
  const std::pair<DateTime, const char*> read[] = {
      {{2026, 12, 5, 17, 46, 29}, "2026/12/5 17:46:29"}, {{2026, 12, 5, 17, 46, 29}, "2026-12-05-17-46-29"},
      {{2026, 12, 5, 17, 46, 29}, "2026.12.5.17.46.29"}, {{2026, 12, 5, 17, 46, 29}, "2026年12月5日17:46:29"},
      {{2026, 12, 5, 17, 46, 29}, "2026:12:5:17:46:29"}, {{2026, 12, 5, 17, 46, 29}, "2026/12/5/17/46/29"},
      {{2026, 12, 5, 0, 0, 0}, "2026/12/5"},             {{2026, 12, 5, 9, 30, 0}, "2026-12-5 9:30"},
      {{2026, 12, 5, 17, 0, 0}, "2026/12/5 17时"},  // a blank ends the day only
      {{2000, 2, 29, 23, 0, 0}, "2000-02-29 23:00"},
  };
  for (const auto& [t, text] : read) EXPECT_EQ(SecondsBetween(t, ParseDateTime(text)), 0) << text;
}

TEST(DateTimeText, WhatIsNoDateCountsAsTheEarliestDate) {
  for (const char* s : {"", "0", "abc", "2026", "2026年12月", "2026年13月5日", "2026年2月30日", "2026年12月5日25时",
                        "12026年1月1日", "2026年12月5日17时46分29秒后", "2026年12月5日  17时", "2026/12 5 17时",
                        "2100年2月29日", "2026年12月5日24时", "2026年12月0日", "2026年0月5日", "2026/12/0 17:00"}) {
    EXPECT_EQ(SecondsBetween(kEarliestDate, ParseDateTime(s)), 0) << s;
  }
}

TEST(DateTimeText, SecondsBetweenCountsDaysAcrossMonthsAndLeapYears) {
  EXPECT_EQ(SecondsBetween({2026, 12, 31, 23, 59, 50}, {2027, 1, 1, 0, 0, 10}), 20);
  EXPECT_EQ(SecondsBetween({2028, 2, 28, 0, 0, 0}, {2028, 3, 1, 0, 0, 0}), 2 * 86400);
  EXPECT_EQ(SecondsBetween({2026, 12, 5, 17, 0, 10}, {2026, 12, 5, 17, 0, 0}), -10);
  EXPECT_GT(SecondsBetween(kEarliestDate, {2026, 1, 1, 0, 0, 0}), std::int64_t{1900} * 365 * 86400);
}

using CooldownTest = CoreTest;

TEST_F(CooldownTest, OldOrUnreadableTimesPassAFutureOneHoldsAndNoCooldownOrGroupWritesNothing) {
  LoadSettings();
  for (const auto& [group, seconds] : {std::pair{"111", 0}, {"111", -5}, {"", 60}, {"", 60}}) {
    EXPECT_TRUE(CooldownPasses(group, "你好", seconds, "0"));
  }
  WriteUnwrittenCooldowns();  // nor kept to be written later
  EXPECT_FALSE(Exists(CooldownFile()));
  // A time ahead of now by a cool-down at most holds; one further ahead (a
  // clock that was set wrong or put back, a time typed by hand) counts as
  // none, and the current time takes its place (it held the key until then).
  // A time from now is taken as its row is tested, and a row is judged on a
  // try that the clock's second did not end in (a time taken when the rows
  // were built, the second ended before "秒" was tested under load).
  const struct {
    const char* key;
    std::string time;  // "": the time `in` seconds from now
    std::int64_t in;
    int seconds;
    bool passes;
  } rows[] = {{"旧", "2000/1/1 0:00:00", 0, 3600, true}, {"乱", "不是日期", 0, 3600, true},
              {"新", "9999年1月1日", 0, 3600, true},     {"秒", "", 0, 1, false},  // one second is a cool-down too
              {"近", "", 1800, 3600, false},             {"满", "", 60, 60, false},
              {"远", "", 7200, 3600, true},              {"过", "", 90, 60, true}};
  for (const auto& row : rows) {
    int tries = 0;
    for (bool judged = false; !judged && tries < 100; ++tries) {
      const std::string time = row.time.empty() ? LocalTimeTextIn(row.in) : row.time;
      WriteIniItem(CooldownFile(), "111", std::string(row.key), time);
      const bool passed = CooldownPasses("111", row.key, row.seconds, "0");
      if (!row.time.empty() || LocalTimeTextIn(row.in) == time) {
        judged = true;
        EXPECT_EQ(passed, row.passes) << row.key;
        EXPECT_EQ(ReadIniItemNow(CooldownFile(), "111", row.key) == time, !row.passes) << row.key;
      }
    }
    EXPECT_LT(tries, 100) << row.key;
  }
}

// Another program that does something once, at a step of the plug-in's
// next read or write of a file that comes to it (core/files/file_writes.hpp).
struct OtherProgramOnce {
  static inline WriteStep at{};
  static inline std::function<void()> does;
  static void Step(WriteStep step) {
    if (step == at && does) std::exchange(does, nullptr)();
  }
};

// Every time is in SAVE at once, whatever the name of its group, also when
// another program saves SAVE between the reply's read and its write, and
// the owner's edit of it, or the deletion of its line, holds after; one
// whose key the file would not give back as written ("=" in it) holds its
// replies in its own group, and is never written (not with the times after
// it either). (Read again, the reply was held back by its own time; with
// the line deleted, by the time in SAVE as it was.)
TEST_F(CooldownTest, EveryTimeIsInTheFileAtOnce) {
  LoadSettings();
  const std::string file = CooldownFile();
  otherProgramAt = &OtherProgramOnce::Step;
  const struct {
    const char *group, *key;
    bool inFile;
    bool ownerDeletes = false;  // the line, not edited
    bool otherSaves = false;    // between the reply's read and its write
  } rows[] = {{"111", "键", true},  {"1=2", "键", true},  {"a[b", "键", true},        {"111", "a=b", false},
              {"222", "键", true},  {"222", "a=b", false}, {"333", "键", true, true}, {"444", "键", true, false, true}};
  for (const auto& [group, key, inFile, ownerDeletes, otherSaves] : rows) {
    OtherProgramOnce::at = WriteStep::FileRead;
    if (otherSaves) OtherProgramOnce::does = [&] { WritePrivateProfileStringA("other", "k", "v", file.c_str()); };
    EXPECT_TRUE(CooldownPasses(group, key, 60, "0")) << group << key;
    EXPECT_FALSE(OtherProgramOnce::does) << group << key << ": it came";
    EXPECT_EQ(ReadIniItemNow(file, group, key, "") != "", inFile) << group << key;
    EXPECT_FALSE(CooldownPasses(group, key, 60, "0")) << group << key;
    if (!inFile) continue;
    WritePrivateProfileStringA(group, key, ownerDeletes ? nullptr : "2000年1月1日", file.c_str());
    EXPECT_TRUE(CooldownPasses(group, key, 60, "0")) << group << key;
  }
  otherProgramAt = nullptr;
  EXPECT_FALSE(CooldownPasses("111", "a=b", 60, "0"));
  EXPECT_EQ(ReadIniItemNow(file, "111", "a", ""), "");
  EXPECT_EQ(ReadIniItemNow(file, "other", "k", ""), "v");
  ASSERT_TRUE(ForgetCooldowns(file));
}

// The name of the lock of the data folder of `file`.
std::string FolderLockOf(const std::string& file) {
  return platform::FolderLock::NameFor(file.substr(0, platform::LastPathSeparator(file)));
}

// As another process holds the data folder's lock (or another named mutex:
// its write lock, the kept times'), stopped, or for `forMs`: a thread of
// this one holding its named mutex.
class LockHolder {
 public:
  explicit LockHolder(const std::string& file) : LockHolder(Named{FolderLockOf(file)}) {}
  struct Named {
    std::string lock;
  };
  explicit LockHolder(const Named& named, DWORD forMs = INFINITE) {
    thread_ = std::thread([this, lock = named.lock, forMs] {
      const HANDLE mutex = CreateMutexA(nullptr, FALSE, lock.c_str());
      WaitForSingleObject(mutex, INFINITE);
      SetEvent(taken_);
      WaitForSingleObject(release_, forMs);
      ReleaseMutex(mutex);
      CloseHandle(mutex);
    });
    WaitForSingleObject(taken_, INFINITE);
  }
  ~LockHolder() {
    SetEvent(release_);
    thread_.join();
    CloseHandle(taken_), CloseHandle(release_);
  }

 private:
  HANDLE taken_ = CreateEventA(nullptr, TRUE, FALSE, nullptr), release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread thread_;
};

// Another process keeping the data folder's lock does not keep a reply's
// time out of SAVE. Where SAVE cannot be written, the time is kept in this
// process: it holds its replies (a key the file cannot take too, which
// keeps no other time out), goes into SAVE with the next write that can be
// made, lock or no lock, where a later time of the file stays; the purge
// and the owner's deletion of SAVE forget it, and a purge that cannot
// delete SAVE says so and forgets nothing; the owner's edit of its key in
// SAVE, once SAVE can be written again, stands over it; but not a time
// older than the kept one that SAVE held while it could not be read (held
// alone, written by another since this process read it). A time in SAVE
// before another program opened it alone, this process's or another's,
// still holds its replies, also when SAVE was written again since this
// process read it. Held open by a program that lets others only read, SAVE
// takes no write: a kept time that a write could not put there is offered
// again (also after a time SAVE will not take), and so is one behind times
// SAVE holds already. The owner's deletion of SAVE stands at the stop (it
// is not made anew with the times kept), and a stop with 20,000 times to
// write writes for a while only: the rest stay kept; it writes into the
// SAVE of the path the folder was last reached by. (A time SAVE could not
// take was lost at the stop; behind 64 that SAVE held, too.)
TEST_F(CooldownTest, ATimeThatCannotBeWrittenHoldsItsRepliesAndIsWrittenAtTheStop) {
  LoadSettings();
  const std::string file = CooldownFile();
  HANDLE open = INVALID_HANDLE_VALUE;
  const auto readOnly = [&](bool on) {
    SetFileAttributesA(file.c_str(), on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
  };
  const auto openAlone = [&](bool on) {
    if (on) open = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (!on) CloseHandle(open);
  };
  const auto folder = [&](bool on) {
    if (on) DeleteFileA(file.c_str()), CreateDirectoryA(file.c_str(), nullptr);
    if (!on) RemoveDirectoryA(file.c_str()), WriteIniItem(file, "0", "x", "y");
  };
  const auto sharingReads = [&](bool on) {
    if (on) open = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (!on) CloseHandle(open);
  };
  const auto keep = [&](const std::string& head, int count, const std::string& time, const std::string& in) {
    KeptTimes::Hold hold(KeptTimes::Of(in), 5000);
    ASSERT_TRUE(hold);
    for (int i = 0; i < count; ++i) hold.Keep({head + std::to_string(i), "键", time}, true, KeptTimes::kAbsent, true);
  };
  enum class Then {
    Stop,
    NewerWritten,
    OwnerDeletes,
    Purged,
    OwnerEdits,
    OwnerDeletesAndStops,
    StopAfterThousands,
    FolderReplacedAndStops,
    FolderRenamedAndStops
  };
  // before SAVE refuses writes: nothing, a reply (and then SAVE written
  // again as it was, as another process writes it), a time another wrote
  // (an older one, which this process did not read), times of 64 other
  // groups kept that SAVE holds already (a write put them there, and could
  // not mark them)
  enum class First { Nothing, Answered, AnsweredThenRewritten, OtherWrote, OtherWroteOlder, SaveHoldsOthersKept };
  const struct {
    std::function<void(bool)> block;  // makes SAVE refuse writes, or lets it take them again
    bool otherHoldsLock;
    Then then;
    bool purgedWhileBlocked = false;
    First first = First::Nothing;
  } rows[] = {{nullptr, true, Then::Stop},              {readOnly, false, Then::Stop},
              {readOnly, true, Then::Stop},             {readOnly, false, Then::NewerWritten},
              {readOnly, false, Then::OwnerDeletes},    {folder, false, Then::OwnerDeletes},
              {openAlone, false, Then::Purged, false},  {folder, false, Then::Purged, true},
              {openAlone, false, Then::Purged, false, First::Answered},
              {openAlone, false, Then::Purged, false, First::OtherWrote},
              {openAlone, false, Then::Purged, false, First::AnsweredThenRewritten},
              {readOnly, false, Then::OwnerEdits},      {openAlone, false, Then::OwnerEdits},
              {sharingReads, false, Then::Stop},        {openAlone, false, Then::Stop, false, First::OtherWroteOlder},
              {readOnly, false, Then::Stop, false, First::SaveHoldsOthersKept},
              {readOnly, false, Then::OwnerDeletesAndStops}, {readOnly, false, Then::StopAfterThousands},
              {readOnly, false, Then::FolderReplacedAndStops}, {readOnly, false, Then::FolderRenamedAndStops}};
  int n = 0;
  for (const auto& row : rows) {
    const std::string group = std::to_string(++n);
    const auto passes = [&] {
      const OtherProcessWait none(0);
      return CooldownPasses(group, "键", 60, "0");
    };
    const auto inFile = [&] { return ReadIniItemNow(file, group, "键", ""); };
    ASSERT_TRUE(WriteIniItem(file, "0", "x", "y"));
    std::optional<LockHolder> other;
    if (row.otherHoldsLock) other.emplace(file);
    const auto block = [&](bool on) {
      if (row.block) row.block(on);
    };
    if (row.first == First::Answered || row.first == First::AnsweredThenRewritten) EXPECT_TRUE(passes()) << n;
    if (row.first == First::AnsweredThenRewritten) {
      Sleep(50);  // a stamp of its own
      platform::WriteWholeFile(file, platform::ReadWholeFile(file));
    }
    if (row.first == First::OtherWrote) {
      WritePrivateProfileStringA(group.c_str(), "键", LocalTimeTextIn(0).c_str(), file.c_str());
      EXPECT_FALSE(passes()) << n;
    }
    if (row.first == First::OtherWroteOlder) {
      WritePrivateProfileStringA(group.c_str(), "键", "2000年1月1日", file.c_str());
    }
    if (row.first == First::SaveHoldsOthersKept) {
      keep(group + "-", 64, "2020年1月1日", file);
      for (int i = 0; i < 64; ++i) WriteIniItem(file, group + "-" + std::to_string(i), "键", "2020年1月1日");
    }
    block(true);
    EXPECT_EQ(passes(), row.first == First::Nothing || row.first == First::OtherWroteOlder ||
                            row.first == First::SaveHoldsOthersKept)
        << n;
    {
      const OtherProcessWait none(0);
      EXPECT_TRUE(CooldownPasses(group, "a=b", 60, "0")) << n;  // kept in this process alone
    }
    EXPECT_FALSE(passes()) << n;
    EXPECT_EQ(inFile() != "", !row.block) << n;
    switch (row.then) {
      case Then::Stop:
        WriteUnwrittenCooldowns();
        block(false);
        EXPECT_FALSE(passes()) << n;
        WriteUnwrittenCooldowns();
        EXPECT_NE(inFile(), "") << n;
        // Once in SAVE, the owner's edit of it holds.
        WritePrivateProfileStringA(group.c_str(), "键", "2000年1月1日", file.c_str());
        EXPECT_TRUE(passes()) << n;
        break;
      case Then::NewerWritten:
        block(false);
        WriteIniItem(file, group, "键", "9999年1月1日");
        WriteUnwrittenCooldowns();
        EXPECT_EQ(inFile(), "9999年1月1日") << n;
        break;
      case Then::OwnerDeletes:
        block(false);
        EXPECT_TRUE(DeleteFileA(file.c_str())) << n;
        EXPECT_TRUE(passes()) << n;
        break;
      case Then::OwnerEdits:
        // The owner's edit of the key, made after the time was kept, wins
        // over it (it held the key until the time it kept was over).
        block(false);
        WritePrivateProfileStringA(group.c_str(), "键", "2000年1月1日", file.c_str());
        EXPECT_TRUE(passes()) << n;
        EXPECT_NE(inFile(), "2000年1月1日") << n;
        break;
      case Then::Purged:
        EXPECT_EQ(ForgetCooldowns(file), row.purgedWhileBlocked) << n;
        EXPECT_EQ(passes(), row.purgedWhileBlocked) << n;
        block(false);
        EXPECT_TRUE(ForgetCooldowns(file)) << n;
        EXPECT_TRUE(passes()) << n;
        break;
      case Then::OwnerDeletesAndStops:
        block(false);
        EXPECT_TRUE(DeleteFileA(file.c_str())) << n;
        WriteUnwrittenCooldowns();
        EXPECT_FALSE(Exists(file)) << n;
        EXPECT_TRUE(passes()) << n;
        break;
      case Then::StopAfterThousands: {
        // So many in another data folder too: the stop writes for a while
        // in all, not in each (the one written second gets one write).
        const std::string other = CoreTest::folder + "\\other\\SAVE";
        CreateDirectoryA((CoreTest::folder + "\\other").c_str(), nullptr);
        ASSERT_TRUE(WriteIniItem(other, "0", "x", "y"));
        keep(group + "-", 20000, LocalTimeTextIn(0), file);
        keep(group + "-", 20000, LocalTimeTextIn(0), other);
        block(false);
        const ULONGLONG start = GetTickCount64();
        WriteUnwrittenCooldowns();
        EXPECT_LT(GetTickCount64() - start, 5000u) << n;
        EXPECT_NE(inFile(), "") << n;  // the oldest first
        const std::size_t here = ReadIniSections(file).size(), there = ReadIniSections(other).size();
        EXPECT_LT(std::max(here, there), 20000u) << n;
        EXPECT_LE(std::min(here, there), 66u) << n;
        EXPECT_TRUE(ForgetCooldowns(other)) << n;
        break;
      }
      case Then::FolderReplacedAndStops: {
        // The owner moves the data folder away and makes a new one under
        // its path before the stop: the old folder's times are none of the
        // new SAVE's.
        block(false);
        const std::string data = file.substr(0, file.rfind('\\')), away = data + "-away";
        const std::string name = KeptTimes::BlockNameFor(file);
        ASSERT_TRUE(MoveFileA(data.c_str(), away.c_str())) << n;
        CreateDirectoryA(data.c_str(), nullptr);
        ASSERT_TRUE(WriteIniItem(file, "0", "x", "y")) << n;
        for (int waited = 0; KeptTimes::BlockNameFor(file) == name && waited < 5000; waited += 20) Sleep(20);
        WriteUnwrittenCooldowns();
        EXPECT_EQ(inFile(), "") << n;
        DeleteFileA(file.c_str()), RemoveDirectoryA(data.c_str());
        ASSERT_TRUE(MoveFileA(away.c_str(), data.c_str())) << n;
        for (int waited = 0; KeptTimes::BlockNameFor(file) != name && waited < 5000; waited += 20) Sleep(20);
        break;
      }
      case Then::FolderRenamedAndStops: {
        // The same folder reached by another path (renamed, or a folder
        // made later that the system gave the old one's number): the stop
        // writes into the SAVE of the path it was last reached by.
        const std::string data = file.substr(0, file.rfind('\\')), renamed = data + "-renamed";
        const std::string renamedFile = renamed + file.substr(file.rfind('\\'));
        ASSERT_TRUE(MoveFileA(data.c_str(), renamed.c_str())) << n;
        KeptTimes::Of(renamedFile);
        SetFileAttributesA(renamedFile.c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteUnwrittenCooldowns();
        EXPECT_NE(ReadIniItemNow(renamedFile, group, "键", ""), "") << n;
        ASSERT_TRUE(MoveFileA(renamed.c_str(), data.c_str())) << n;
        KeptTimes::Of(file);
        break;
      }
    }
    ForgetCooldowns(file);
  }
}

// A message's waits on other processes (another process stopped holding
// the kept times' lock, or the folder's write lock, or both, or holding the
// write lock for a moment; SAVE as this process last read it, which a time
// in it holds the reply back by, or written by another since) come out of
// one budget: each wait is given what is left of it, the waits that run
// out the budget in all and no more, a part of it kept for the looks at the
// kept times (behind a stopped writer a look still waits a moment for
// another process's). A message that gives up waited its whole budget.
// (Behind the kept times' lock each wait had the budget anew: 200 ms of
// 100.) So too behind a thread of this process that holds the write lock
// and waits on the kept times' lock with a longer budget (a message waited
// as long as that one). A time another process puts in SAVE, and marks
// there, while the message reads SAVE without the write lock holds it back:
// SAVE is read again. (It was tested against SAVE as read, and answered
// too.)
TEST_F(CooldownTest, AMessageWaitsOnOtherProcessesItsBudgetInAllAndNoMore) {
  LoadSettings();
  const std::string file = CooldownFile();
  const std::uint32_t all = kMessageFolderWaitMs, looks = 30;
  KeptTimes::Of(file);  // its lock is there
  const LockHolder::Named kept{KeptTimes::BlockNameFor(file) + "-lock"}, writer{FolderLockOf(file) + "-write"};
  constexpr DWORD kStopped = INFINITE;
  const struct {
    bool keptStopped;
    DWORD writerFor;  // ms another process holds the write lock (0: none)
    bool asLastRead;
    bool answered;
    // What the waits that ran out were allowed, in turn, where the first to
    // run out was the first wait (none: waits before it took what they took).
    std::optional<std::vector<std::uint32_t>> ranOut;
    bool otherWritesAsRead = false;  // another process puts the group's time in SAVE as the message reads it
    std::uint32_t aheadMs = 0;  // the budget of a thread of this process ahead of the message (none: 0)
  } rows[] = {{true, 0, true, false, {{all, 0}}},
              {true, 0, false, false},
              {false, kStopped, false, true, {{all - looks}}},
              {true, kStopped, false, false, {{all - looks, looks}}},
              {true, kStopped, true, false, {{all, 0, 0}}},
              {true, 40, false, false},
              {false, kStopped, true, false, std::nullopt, true},
              {true, 0, false, false, std::nullopt, false, 2000}};
  otherProgramAt = &OtherProgramOnce::Step;
  OtherProgramOnce::at = WriteStep::BytesRead;
  int n = 0;
  for (const auto& row : rows) {
    const std::string group = std::to_string(++n), before = "[0]\r\nx=" + std::string(60, 'y') + "\r\n";
    ASSERT_TRUE(WriteIniItem(file, "0", "x", std::string(60, 'y')));
    if (!row.asLastRead) WritePrivateProfileStringA("0", "x", std::string(61, 'z').c_str(), file.c_str());
    if (row.otherWritesAsRead) {
      // In place, SAVE's size and times kept: as last read, by its stamp.
      OtherProgramOnce::does = [&] {
        const std::string time = FormatDateTime(FromLocalTime(platform::Now()));
        const std::string added = "\r\n[" + group + "]\r\n键=" + time;
        KeptTimes::Hold other(KeptTimes::Of(file), 1000);
        const std::uint64_t id = other.Keep({group, "键", time}, true, KeptTimes::kAbsent, true);
        WriteInPlaceKeepingTimes(file, before.substr(0, before.size() - 2 - added.size()) + added + "\r\n");
        other.InFile({id});
      };
    }
    std::optional<LockHolder> keptHeld, writerHeld;
    if (row.keptStopped) keptHeld.emplace(kept);
    if (row.writerFor) writerHeld.emplace(writer, row.writerFor);
    std::thread ahead;
    if (row.aheadMs) {
      ahead = std::thread([&] {
        const OtherProcessWait longer(row.aheadMs);
        CooldownPasses(group + "-ahead", "键", 60, "0");
      });
      // Once it holds the write lock.
      const HANDLE lock = CreateMutexA(nullptr, FALSE, writer.lock.c_str());
      for (int waited = 0; WaitForSingleObject(lock, 0) == WAIT_OBJECT_0 && waited < 5000; waited += 5) {
        ReleaseMutex(lock), Sleep(5);
      }
      CloseHandle(lock);
    }
    const platform::OthersWaitsRanOut ranOut;
    const OtherProcessWait message(all);
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(CooldownPasses(group, "键", 60, "0"), row.answered) << n;
    const ULONGLONG took = GetTickCount64() - start;
    keptHeld.reset();
    if (ahead.joinable()) ahead.join();
    if (!row.answered && !row.otherWritesAsRead) {
      EXPECT_GE(took + 5, all) << n;  // it gave up
    }
    EXPECT_LT(took, 1500u) << n;
    EXPECT_LE(ranOut.Sum() + OtherProcessWait::Left(), all) << n;  // what ran out is off the budget
    EXPECT_EQ(ranOut.allowed.empty(), !row.keptStopped && row.writerFor != kStopped) << n;
    if (row.ranOut) {
      EXPECT_EQ(ranOut.allowed, *row.ranOut) << n;
    }
    EXPECT_FALSE(OtherProgramOnce::does) << n << ": it came";
  }
  otherProgramAt = nullptr;
}

using StagingTest = CoreTest;

// Mended: an add that could not read the staged keyword (another program
// held the settings file without sharing) stored its reply under "无".
TEST_F(StagingTest, AnAddThatCannotReadTheStagedKeywordStoresNothing) {
  LoadSettings();
  WriteAdminItem("主人号码", "1");
  HANDLE held = CreateFileA(AdminFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(AddExactReply(*Plugin().Current(), "好").empty());
  CloseHandle(held);
  EXPECT_EQ(ReadIniSections(ExactLibraryFile()).size(), 22u);
}

class CooldownE2eTest : public SessionTest {
 protected:
  Files DataFiles() const override {
    return {{"admin", "[admin]\r\n精确冷却=60\r\n模糊冷却=６０\r\n"},
            {"SayZ.ini", Library({{"你好", "你好呀"}, {"禁", "[禁言60]禁了"}, {"撤", "[撤回]"}})},
            {"SayM.ini", Library({{"空", "[撤回]"}, {"天气", "晴"}})}};
  }
  // As the file holds it right after the reply, where the owner and every
  // other process read it.
  std::string Save(const std::string& group, const std::string& key) { return Ini("SAVE", group, key); }
  // The calls taken since the last time: how many sends, how many actions.
  std::pair<int, int> SendsAndActions() {
    int sends = 0, actions = 0;
    for (const FakeCall& c : s().TakeCalls()) ++(IsSend(s().hostCase(), c) ? sends : actions);
    return {sends, actions};
  }
};

TEST_F(CooldownE2eTest, ExactRepliesAreHeldPerGroupAfterTheirExpansion) {
  EXPECT_EQ(s().Group("你好").number, 1);
  EXPECT_EQ(Save("111", "你好"), "2026年12月5日17时46分29秒");
  s().SetClock(2026, 12, 5, 17, 46, 39);
  for (const auto& [group, result] : {std::pair{"111", 0}, {"222", 1}, {"", 1}, {"", 1}}) {  // private: no group
    EXPECT_EQ(*group ? s().Group("你好", group).number : s().Private("你好").number, result) << group;
  }
  s().SetClock(2026, 12, 5, 17, 47, 29);
  EXPECT_EQ(s().Group("你好").number, 1);
  EXPECT_EQ(Save("111", "你好"), "2026年12月5日17时47分29秒");
  s().SetClock(2026, 12, 5, 18, 0, 0);
  EXPECT_EQ(s().Group("你好", "222").number, 1);
  EXPECT_EQ(Save("222", "你好"), "2026年12月5日18时");
  EXPECT_EQ(ReadIniSections(s().DataFile("SAVE")), (std::vector<std::string>{"111", "222"}));
  EXPECT_EQ(SendsAndActions(), std::pair(6, 0));
  // The template's actions run also when its reply is held back.
  EXPECT_EQ(s().Group("禁").number, 1);
  s().SetClock(2026, 12, 5, 18, 0, 10);
  EXPECT_EQ(s().Group("禁").number, 0);
  EXPECT_EQ(SendsAndActions(), std::pair(1, 2));
  // An exact template that expands to nothing is no exact answer: no time.
  EXPECT_EQ(s().Group("撤").number, 0);
  EXPECT_EQ(Save("111", "撤"), "");
  // Two threads deliver the same message to each group at once: one answer.
  const std::string none;
  const std::vector<Arg> inGroup{std::string(kRobot), 2, 0, std::string("9{n}"), std::string(kOwner), none,
                                 std::string("你好"), std::string("i"), std::string("i"), none, none, 0};
  ASSERT_TRUE(s().host().Storm(2, 100, "Event", {inGroup}));
  EXPECT_EQ(s().host().Wait().first, 200);
  EXPECT_EQ(s().TakeSent().size(), 100u);
}

TEST_F(CooldownE2eTest, FuzzyKeywordsAreTestedBeforeTheExpansion) {
  EXPECT_EQ(s().Group("空空").number, 0);  // expands to nothing, yet its time is written
  EXPECT_EQ(Save("111", "空"), "2026年12月5日17时46分29秒");
  EXPECT_EQ(SendsAndActions(), std::pair(0, 1));
  EXPECT_EQ(s().Group("天气好").number, 1);
  s().SetClock(2026, 12, 5, 17, 47, 28);
  EXPECT_EQ(s().Group("天气好").number, 0);
  s().SetClock(2026, 12, 5, 17, 47, 29);
  EXPECT_EQ(s().Group("好天气").number, 1);
  EXPECT_EQ(s().TakeSent(), (Sent{"晴", "晴"}));
  EXPECT_EQ(Save("111", "天气"), "2026年12月5日17时47分29秒");
  // The owner's edit of the file holds, and so does the file deleted; while
  // a program keeps SAVE open (sharing everything: a sync tool, a scanner)
  // a message waits on it briefly (each took 2 s).
  HANDLE open = INVALID_HANDLE_VALUE;
  const struct {
    std::function<void()> edit;
    std::int32_t answered;
    const char* group = "111";
  } rows[] = {{[] {}, 0},
              {[&] { WriteIni("SAVE", "111", "天气", "2026年12月5日17时46分00秒"); }, 1},
              {[] {}, 0},
              {[&] { DeleteFileA(s().DataFile("SAVE").c_str()); }, 1},
              {[] {}, 0},
              {[&] { open = CreateFileA(s().DataFile("SAVE").c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr); },
               1, "333"},
              {[] {}, 0, "333"},
              {[&] { CloseHandle(open); }, 0, "333"}};
  for (const auto& row : rows) {
    row.edit();
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(s().Group("天气", row.group).number, row.answered) << &row - rows;
    EXPECT_LT(GetTickCount64() - start, 1500u) << &row - rows;
  }
}

// Also while another process keeps the data folder's lock (the purge was
// skipped then, and counting started again); while another program holds
// SAVE open, alone or sharing its deletion, the purge waits for it, and the
// next counted reply deletes SAVE (counting started again without it). (A
// program that shared the deletion had it wait for it to let go of SAVE,
// and then take every time written meanwhile with it.)
TEST_F(CooldownE2eTest, TheHundredAndFiftyFirstCountedReplyDeletesSave) {
  int counted = 0;  // since the last purge
  enum While { LockHeld, Nothing, SaveHeldOpen, SaveHeldOpenSharing };
  for (const While during : {LockHeld, Nothing, SaveHeldOpen, SaveHeldOpenSharing}) {
    std::optional<LockHolder> other;
    if (during == LockHeld) other.emplace(s().DataFile("SAVE"));
    const char* group2 = during == LockHeld ? "222" : during == Nothing ? "224" : during == SaveHeldOpen ? "226" : "228";
    WriteIni("SAVE", "111", "你好", "2026年12月5日17时46分29秒");
    ASSERT_EQ(s().Group("你好", group2).number, 1);
    for (int i = counted + 1; i < 150; ++i) ASSERT_EQ(s().Private("你好").number, 1) << i;
    EXPECT_EQ(s().Group("开启问答").number, 0);  // not an owner here: nothing counted
    EXPECT_TRUE(Exists(s().DataFile("SAVE")));
    const DWORD share = during == SaveHeldOpenSharing ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
    const HANDLE open = during >= SaveHeldOpen ? CreateFileA(s().DataFile("SAVE").c_str(), GENERIC_READ, share, nullptr,
                                                             OPEN_EXISTING, 0, nullptr)
                                               : INVALID_HANDLE_VALUE;
    EXPECT_EQ(s().Private("你好").number, 1);
    if (open != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(Exists(s().DataFile("SAVE")));
      // A time written meanwhile, in place, stays once the program lets go.
      if (share) EXPECT_EQ(s().Group("你好", "229").number, 1);
      CloseHandle(open);
      EXPECT_TRUE(Exists(s().DataFile("SAVE"))) << during;
      if (share) EXPECT_EQ(Save("229", "你好"), "2026年12月5日17时46分29秒");
      EXPECT_EQ(s().Private("你好").number, 1);
    }
    EXPECT_FALSE(Exists(s().DataFile("SAVE"))) << during;
    // Counting starts again: the held keys answer at once.
    EXPECT_EQ(s().Group("你好", group2).number, 1) << during;
    EXPECT_EQ(s().Group("你好").number, 1) << during;
    EXPECT_EQ(Save("111", "你好"), "2026年12月5日17时46分29秒");
    counted = 2;
  }
}

}  // namespace
}  // namespace zoq::testing
