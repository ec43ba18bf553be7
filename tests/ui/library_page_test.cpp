// The keyword-library page through the real settings export: listing,
// saving one or several keywords, deleting, searching, the cool-down, keys
// and dropped files.
#include "tests/ui/settings_fixture.hpp"

#include "core/ini_items.hpp"
#include "core/settings.hpp"
#include "platform/ini.hpp"

namespace zoq::testing {
namespace {

using LibraryPageTest = SettingsWindowTest;
using platform::WindowHandle;

struct Page {
  ui::SettingsWindow& w;
  platform::ListView list() const { return platform::ListView(w.Control("词库列表")); }
  WindowHandle keyword() const { return w.Control("词控_关键词框"); }
  WindowHandle reply() const { return w.Control("词控_回复框"); }
  WindowHandle search() const { return w.Control("词控_搜索框"); }
  std::string Text(WindowHandle box) const { return platform::WindowTextGbk(box); }
  void Save(const std::string& keywords, const std::string& answer) const {
    platform::SetWindowTextGbk(keyword(), keywords);
    platform::SetWindowTextGbk(reply(), answer);
    platform::Click(w.Control("词控_保存"));
  }
  void Search(const std::string& wanted) const {
    platform::SetWindowTextGbk(search(), wanted);
    platform::Click(w.Control("词控_搜索"));
  }
};

TEST_F(LibraryPageTest, ListsEscapedNamesAndLoadsARowIntoTheEditor) {
  WriteFile(ExactLibraryFile(), "[a&uoS8#b&uoS9#]\r\n回复=x[N]y\r\n[猫]\r\n回复=喵\r\n");
  Drive(set, [&](ui::SettingsWindow& w) {
    platform::Click(w.Control("按钮_精确词库"));
    Page page{w};
    ASSERT_EQ(page.list().RowCount(), 2);
    EXPECT_EQ(page.list().Cell(0, 0), "a[b]");
    EXPECT_EQ(page.list().Cell(0, 1), "x[N]y");
    page.list().Select(0);
    EXPECT_EQ(page.Text(page.keyword()), "a[b]");
    EXPECT_EQ(page.Text(page.reply()), "x\r\ny");
  });
}

TEST_F(LibraryPageTest, SavesOneOrSeveralKeywordsWithOneReply) {
  WriteFile(ExactLibraryFile(), "[猫]\r\n回复=喵\r\n");
  Drive(set, [&](ui::SettingsWindow& w) {
    platform::Click(w.Control("按钮_精确词库"));
    Page page{w};
    page.Save("你好 | hi|", "l1\r\nl2");
    EXPECT_EQ(ReadIniItem(ExactLibraryFile(), "你好", "回复"), "l1[N]l2");
    EXPECT_EQ(ReadIniItem(ExactLibraryFile(), "hi", "回复"), "l1[N]l2");
    ASSERT_EQ(page.list().RowCount(), 3);  // reloaded from the file
    EXPECT_EQ(page.list().Cell(2, 0), "hi");
    EXPECT_EQ(page.Text(page.keyword()), "");
    EXPECT_EQ(page.Text(page.reply()), "");

    // One keyword refreshes its own row in place, or adds one.
    page.Save("[x]", "one");
    EXPECT_EQ(ReadIniItem(ExactLibraryFile(), "&uoS8#x&uoS9#", "回复"), "one");
    ASSERT_EQ(page.list().RowCount(), 4);
    EXPECT_EQ(page.list().Cell(3, 0), "[x]");
    page.Save("猫|", "喵喵");
    EXPECT_EQ(page.list().RowCount(), 4);
    EXPECT_EQ(page.list().Cell(0, 0), "猫");
    EXPECT_EQ(page.list().Cell(0, 1), "喵喵");
    EXPECT_EQ(page.list().SelectedRow(), 0);

    // Nothing to write: an empty reply, or only empty pieces.
    page.Save("空", "");
    EXPECT_EQ(page.Text(page.reply()), "此处不可为空");
    EXPECT_EQ(ReadIniItem(ExactLibraryFile(), "空", "回复", "<none>"), "<none>");
    page.Save("||", "kept");
    EXPECT_EQ(page.Text(page.keyword()), "此处不可为空");
    EXPECT_EQ(page.Text(page.reply()), "kept");
    EXPECT_EQ(ReadIniSections(ExactLibraryFile()).size(), 4u);
  });
}

TEST_F(LibraryPageTest, FuzzySavesAndDeletesUpdateTheFuzzyKeywords) {
  WriteFile(ExactLibraryFile(), "[猫]\r\n回复=喵\r\n");
  WriteFile(FuzzyLibraryFile(), "[狗]\r\n回复=汪\r\n[鸟]\r\n回复=啾\r\n");
  ReloadFuzzyKeywords();
  Drive(set, [&](ui::SettingsWindow& w) {
    Page page{w};
    platform::Click(w.Control("按钮_精确词库"));
    page.Save("兔", "蹦");
    EXPECT_EQ(Plugin().FuzzyKeywords, (std::vector<std::string>{"狗", "鸟"}));
    platform::Click(w.Control("按钮_模糊词库"));
    page.Save("鱼", "游");
    EXPECT_EQ(Plugin().FuzzyKeywords, (std::vector<std::string>{"狗", "鸟", "鱼"}));

    // By row, by the keyword box, or nothing at all.
    page.list().Select(0);
    platform::Click(w.Control("词控_删除"));
    EXPECT_EQ(Plugin().FuzzyKeywords, (std::vector<std::string>{"鸟", "鱼"}));
    EXPECT_EQ(page.list().RowCount(), 2);
    EXPECT_EQ(page.list().Cell(0, 0), "鸟");
    page.list().Select(-1);
    platform::SetWindowTextGbk(page.keyword(), "鱼");
    platform::PressKey(page.list().get(), 46, false);  // Delete in the list
    EXPECT_EQ(ReadIniSections(FuzzyLibraryFile()), (std::vector<std::string>{"鸟"}));
    EXPECT_EQ(page.list().RowCount(), 2);  // the list is left as it was
    platform::Click(w.Control("词控_删除"));
    EXPECT_EQ(ReadIniSections(FuzzyLibraryFile()), (std::vector<std::string>{"鸟"}));
  });
}

TEST_F(LibraryPageTest, SearchFindsTheNextRowAndStartsOverAfterTheLast) {
  WriteFile(ExactLibraryFile(), "[猫]\r\n回复=喵\r\n[狗]\r\n回复=汪abc\r\n");
  ui::SearchPosition() = 0;
  Drive(set, [&](ui::SettingsWindow& w) {
    platform::Click(w.Control("按钮_精确词库"));
    Page page{w};
    // Ctrl+F before the search box ever had the focus: its first text.
    platform::PressKey(page.keyword(), 'F', true);
    EXPECT_EQ(page.Text(page.search()), "无搜索结果");
    page.Search("");
    EXPECT_EQ(page.Text(page.search()), "未输入搜索内容");
    page.Search("猫");
    EXPECT_EQ(page.list().SelectedRow(), 0);
    EXPECT_EQ(ui::SearchPosition(), 1);
    page.Search("猫");
    EXPECT_EQ(page.Text(page.search()), "无搜索结果");
    EXPECT_EQ(ui::SearchPosition(), 0);
    page.Search("猫喵");  // keyword and reply joined
    EXPECT_EQ(page.list().SelectedRow(), 0);
    page.Search("ABC");
    EXPECT_EQ(page.list().SelectedRow(), 1);
    EXPECT_EQ(ui::SearchPosition(), 0);  // the last row: the next search starts over
    EXPECT_EQ(page.Text(page.search()), "ABC");
  });
}

TEST_F(LibraryPageTest, CooldownKeysAndDroppedFiles) {
  Drive(set, [&](ui::SettingsWindow& w) {
    Page page{w};
    platform::Click(w.Control("按钮_精确词库"));
    WindowHandle cooldown = w.Control("词控_冷却时间");
    platform::SetWindowTextGbk(cooldown, "");
    platform::TypeText(cooldown, "３０");
    EXPECT_EQ(Plugin().Settings.精确冷却, 30);
    EXPECT_EQ(ReadAdminItem("精确冷却"), "30");
    platform::Click(w.Control("按钮_模糊词库"));
    EXPECT_EQ(platform::WindowTextGbk(cooldown), "0");
    EXPECT_EQ(ReadAdminItem("模糊冷却"), "0");
    EXPECT_EQ(Plugin().Settings.精确冷却, 30);

    platform::SetWindowTextGbk(page.keyword(), "a b");
    platform::PressKey(page.keyword(), 32, false);
    EXPECT_EQ(page.Text(page.keyword()), "ab|");
    platform::SetWindowTextGbk(page.reply(), "r");
    platform::PressKey(page.reply(), 'R', true);
    EXPECT_EQ(page.Text(page.keyword()), "");
    EXPECT_EQ(page.Text(page.reply()), "");

    platform::DropFiles(page.reply(), {folder + "\\zoqdata\\pic\\a.PNG", "D:\\music\\x.mp3", "C:\\notes.txt"});
    EXPECT_EQ(page.Text(page.reply()), "[P=[ZOQData]\\pic\\a.PNG][V=D:\\music\\x.mp3]");
  });
}

TEST_F(LibraryPageTest, LongRepliesAreListedEditedAndSavedWhole) {
  std::string longReply;
  while (longReply.size() < 20000) longReply += "长回复0123456789[N]";
  WriteFile(ExactLibraryFile(), "[长]\r\n回复=" + longReply + "\r\n");
  Drive(set, [&](ui::SettingsWindow& w) {
    platform::Click(w.Control("按钮_精确词库"));
    Page page{w};
    EXPECT_EQ(page.list().Cell(0, 1), longReply);
    page.list().Select(0);
    platform::Click(w.Control("词控_保存"));
    EXPECT_EQ(platform::GetIniString(ExactLibraryFile(), "长", "回复", "", 1 << 20), longReply);
    EXPECT_EQ(page.list().Cell(0, 1), longReply);
  });
}

}  // namespace
}  // namespace zoq::testing
