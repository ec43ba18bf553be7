// The keyword-library page through the real settings export, keys through
// the window's own message loop: listing, the editor, saving one or several
// keywords, deleting, searching, the cool-down and dropped files.
#include <windows.h>

#include "platform/ini.hpp"
#include "tests/ui/settings_fixture.hpp"

namespace zoq::testing {
namespace {

using LibraryPageTest = SettingsWindowTest;

platform::ListView List(ui::SettingsWindow& w) { return platform::ListView(w.Control("词库列表")); }
std::vector<std::string> Rows(ui::SettingsWindow& w) {
  std::vector<std::string> rows;
  for (int i = 0; i < List(w).RowCount(); ++i) rows.push_back(List(w).Cell(i, 0) + "=" + List(w).Cell(i, 1));
  return rows;
}
// The owner fills the editor boxes (the reply pasted) and saves.
void Save(ui::SettingsWindow& w, const std::string& keywords, const std::string& reply) {
  platform::SetWindowTextGbk(w.Control("词控_关键词框"), keywords);
  platform::SetWindowTextGbk(w.Control("词控_回复框"), reply);
  platform::Click(w.Control("词控_保存"));
}
void Search(ui::SettingsWindow& w, const std::string& wanted) {
  platform::SetWindowTextGbk(w.Control("词控_搜索框"), wanted);
  platform::Click(w.Control("词控_搜索"));
}
std::string Stored(const std::string& section) { return ReadIniItem(ExactLibraryFile(), section, "回复", "<none>"); }

TEST_F(LibraryPageTest, ListsEscapedNamesAndTheOwnersRowGoesIntoTheEditor) {
  WriteFile(ExactLibraryFile(), "[a&uoS8#b&uoS9#]\r\n回复=x[N]y\r\n[猫]\r\n回复=喵\r\n");
  Drive(set, {[](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                EXPECT_EQ(Rows(w), (std::vector<std::string>{"a[b]=x[N]y", "猫=喵"}));
                Focus(w, "词库列表");
                platform::PressKey(VK_DOWN);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(List(w).SelectedRow(), 0);
                EXPECT_EQ(Text(w, "词控_关键词框"), "a[b]");
                EXPECT_EQ(Text(w, "词控_回复框"), "x\r\ny");
              }});
}

TEST_F(LibraryPageTest, SavesOneOrSeveralKeywordsWithOneReply) {
  WriteFile(ExactLibraryFile(), "[猫]\r\n回复=喵\r\n[abc]\r\n回复=old\r\n");
  Drive(set, {[](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                Save(w, "你好 | hi|", "l1\r\nl2\nl3\rl4");  // line breaks of every kind
                EXPECT_EQ(Stored("你好"), "l1[N]l2[N]l3[N]l4");
                EXPECT_EQ(Stored("hi"), "l1[N]l2[N]l3[N]l4");
                EXPECT_EQ(List(w).RowCount(), 4);  // reloaded from the file
                EXPECT_EQ(Text(w, "词控_关键词框") + Text(w, "词控_回复框"), "");

                // One keyword refreshes its own row in place (the row of the
                // same section, whatever the case of its letters), or adds one.
                Save(w, "[x]", "one");
                EXPECT_EQ(Stored("&uoS8#x&uoS9#"), "one");
                Save(w, "ABC|", "new");
                EXPECT_EQ(Rows(w), (std::vector<std::string>{"猫=喵", "abc=new", "你好=l1[N]l2[N]l3[N]l4",
                                                             "hi=l1[N]l2[N]l3[N]l4", "[x]=one"}));
                EXPECT_EQ(List(w).SelectedRow(), 1);

                // Nothing to write: an empty reply, or only empty pieces.
                Save(w, "空", "");
                EXPECT_EQ(Text(w, "词控_回复框"), "此处不可为空");
                EXPECT_EQ(Stored("空"), "<none>");
                Save(w, "||", "kept");
                EXPECT_EQ(Text(w, "词控_关键词框"), "此处不可为空");
                EXPECT_EQ(Text(w, "词控_回复框"), "kept");

                // Ctrl+S in a box.
                platform::SetWindowTextGbk(w.Control("词控_关键词框"), "键");
                Focus(w, "词控_回复框");
                platform::PressKey('S', true);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Stored("键"), "kept");
                EXPECT_EQ(ReadIniSections(ExactLibraryFile()).size(), 6u);
              }});
}

TEST_F(LibraryPageTest, FuzzySavesAndDeletesUpdateTheFuzzyKeywords) {
  WriteFile(ExactLibraryFile(), "[猫]\r\n回复=喵\r\n");
  WriteFile(FuzzyLibraryFile(), "[狗]\r\n回复=汪\r\n[鸟]\r\n回复=啾\r\n");
  ReloadFuzzyKeywords();
  Drive(set, {[](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                Save(w, "兔", "蹦");
                EXPECT_EQ(Plugin().FuzzyKeywords, (std::vector<std::string>{"狗", "鸟"}));
                platform::Click(w.Control("按钮_模糊词库"));
                Save(w, "鱼", "游");
                EXPECT_EQ(Plugin().FuzzyKeywords, (std::vector<std::string>{"狗", "鸟", "鱼"}));
                // By the selected row, by the keyword box (Delete in the list), or nothing at all.
                List(w).Select(0);
                platform::Click(w.Control("词控_删除"));
                EXPECT_EQ(Plugin().FuzzyKeywords, (std::vector<std::string>{"鸟", "鱼"}));
                EXPECT_EQ(Rows(w), (std::vector<std::string>{"鸟=啾", "鱼=游"}));
                platform::SetWindowTextGbk(w.Control("词控_关键词框"), "鱼");
                Focus(w, "词库列表");
                platform::PressKey(VK_DELETE);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(ReadIniSections(FuzzyLibraryFile()), (std::vector<std::string>{"鸟"}));
                EXPECT_EQ(List(w).RowCount(), 2);  // the list is left as it was
                platform::Click(w.Control("词控_删除"));
                EXPECT_EQ(ReadIniSections(FuzzyLibraryFile()), (std::vector<std::string>{"鸟"}));
              }});
}

TEST_F(LibraryPageTest, SearchFindsTheNextRowAndKeepsWhatTheOwnerTyped) {
  WriteFile(ExactLibraryFile(), "[猫]\r\n回复=喵\r\n[狗]\r\n回复=汪abc\r\n");
  ui::SearchPosition() = 0;
  Drive(set, {[](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                Focus(w, "词控_关键词框");
                platform::PressKey('F', true);  // before the search box ever had the focus: its first text
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Text(w, "词控_搜索框"), "无搜索结果");
                Search(w, "");
                EXPECT_EQ(Text(w, "词控_搜索框"), "未输入搜索内容");
                Search(w, "猫");
                EXPECT_EQ(List(w).SelectedRow(), 0);
                EXPECT_EQ(ui::SearchPosition(), 1);
                EXPECT_EQ(Text(w, "词控_关键词框"), "猫");  // the editor held nothing unsaved
                Search(w, "猫");
                EXPECT_EQ(Text(w, "词控_搜索框"), "无搜索结果");
                EXPECT_EQ(ui::SearchPosition(), 0);
                Focus(w, "词控_回复框");
                platform::TypeText("新");
              },
              [](ui::SettingsWindow& w) {
                Search(w, "ABC");  // keyword and reply joined, letters of either case
                EXPECT_EQ(List(w).SelectedRow(), 1);
                EXPECT_EQ(ui::SearchPosition(), 0);  // the last row: the next search starts over
                EXPECT_EQ(Text(w, "词控_搜索框"), "ABC");
                EXPECT_EQ(Text(w, "词控_关键词框") + Text(w, "词控_回复框"), "猫新喵");
              }});
}

TEST_F(LibraryPageTest, KeywordBoxKeysCooldownAndDroppedFiles) {
  Drive(set, {[](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                Focus(w, "词控_关键词框");
                platform::TypeText("a b");
                platform::PressKey(VK_RETURN);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Text(w, "词控_关键词框"), "ab|");
                platform::TypeText("c");
                platform::PressKey(VK_SPACE);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Text(w, "词控_关键词框"), "ab|c|");
                platform::SetWindowTextGbk(w.Control("词控_回复框"), "r");
                platform::PressKey('R', true);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Text(w, "词控_关键词框") + Text(w, "词控_回复框"), "");
                platform::SetWindowTextGbk(w.Control("词控_冷却时间"), "");
                Focus(w, "词控_冷却时间");
                platform::TypeText("1a３");
                platform::SetClipboardText("x0");
                platform::PressKey('V', true);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Text(w, "词控_冷却时间"), "1３0");  // a whole number
                EXPECT_EQ(Plugin().Settings.精确冷却, 130);
                platform::Click(w.Control("按钮_模糊词库"));
                EXPECT_EQ(Text(w, "词控_冷却时间"), "0");
                EXPECT_EQ(ReadAdminItem("精确冷却"), "130");
                EXPECT_EQ(ReadAdminItem("模糊冷却", "<missing>"), "<missing>");

                platform::DropFiles(w.Control("词控_回复框"), {Plugin().RunDirectory + "\\zoqdata\\pic\\a.PNG",
                                                               "D:\\music\\x.mp3", "C:\\notes.txt"});
                EXPECT_EQ(Text(w, "词控_回复框"), "[P=[ZOQData]\\pic\\a.PNG][V=D:\\music\\x.mp3]");
              }});
}

TEST_F(LibraryPageTest, LongRepliesAreListedEditedAndSavedWhole) {
  std::string longReply;
  while (longReply.size() < 20000) longReply += "长回复0123456789[N]";
  WriteFile(ExactLibraryFile(), "[长]\r\n回复=" + longReply + "\r\n");
  Drive(set, {[&](ui::SettingsWindow& w) {
    platform::Click(w.Control("按钮_精确词库"));
    EXPECT_EQ(List(w).Cell(0, 1), longReply);
    List(w).Select(0);
    platform::Click(w.Control("词控_保存"));
    EXPECT_EQ(platform::GetIniString(ExactLibraryFile(), "长", "回复", "", 1 << 20), longReply);
    EXPECT_EQ(List(w).Cell(0, 1), longReply);
  }});
}

}  // namespace
}  // namespace zoq::testing
