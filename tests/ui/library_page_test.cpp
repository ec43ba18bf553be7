// The keyword-library page through the real settings export, keys through the
// window's own loop: listing, the editor, saving, deleting, searching, the
// cool-down, dropped files and the variable picker.
#include <windows.h>

#include <commctrl.h>

#include <cctype>
#include <tuple>

#include "platform/files.hpp"
#include "tests/ui/host_sends.hpp"
#include "tests/ui/settings_fixture.hpp"
#include "text/text.hpp"
#include "ui/variable_picker.hpp"

namespace zoq::testing {
namespace {

using LibraryPageTest = SettingsWindowTest;

platform::ListView List(ui::SettingsWindow& w) { return platform::ListView(w.Control("词库列表")); }
// The rows as the list shows them: keyword=reply.
std::vector<std::string> Rows(ui::SettingsWindow& w) {
  std::vector<std::string> rows;
  for (int i = 0; i < List(w).RowCount(); ++i) rows.push_back(List(w).Cell(i, 0) + "=" + List(w).Cell(i, 1));
  return rows;
}
// The owner fills the editor boxes (the reply pasted) and saves; or searches.
void Save(ui::SettingsWindow& w, const std::string& keywords, const std::string& reply) {
  platform::SetWindowTextGbk(w.Control("词控_关键词框"), keywords);
  platform::SetWindowTextGbk(w.Control("词控_回复框"), reply);
  platform::Click(w.Control("词控_保存"));
}
void Search(ui::SettingsWindow& w, const std::string& wanted) {
  platform::SetWindowTextGbk(w.Control("词控_搜索框"), wanted);
  platform::Click(w.Control("词控_搜索"));
}
// A row as the list draws it: its background, the colour at its left edge
// (the focus mark) and whether light text stands in each of its two columns
// (100 and 500 pixels wide).
std::tuple<COLORREF, COLORREF, bool, bool> RowLook(ui::SettingsWindow& w, int row) {
  RECT r{LVIR_BOUNDS};
  SendMessageW(w.Control("词库列表"), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
  const Printed printed(w.Control("词库列表"));
  const int middle = (r.top + r.bottom) / 2;
  const auto light = [](COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200; };
  const auto lightIn = [&](int left, int right) { return printed.Count({left, r.top, right, r.bottom}, light) > 0; };
  return {printed.At(4, middle), printed.At(1, middle), lightIn(0, 100), lightIn(100, 600)};
}
// The owner clicks a row with the mouse.
void ClickRow(ui::SettingsWindow& w, int row) {
  RECT r{LVIR_BOUNDS};
  SendMessageW(w.Control("词库列表"), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
  ClickWithMouse(w.Control("词库列表"), 20, (r.top + r.bottom) / 2);
}
// How many pixels of the list, left of its slim bar, the screen shows
// otherwise than a whole repaint draws them: marks left behind.
int MarksLeft(ui::SettingsWindow& w) {
  const WindowHandle list = w.Control("词库列表");
  const Printed shown(list, true), afresh(list);
  POINT bar{};
  MapWindowPoints(w.Control("词库列表滚动条"), list, &bar, 1);
  int marks = 0;
  for (int y = 0; y < afresh.All().bottom; ++y)
    for (int x = 0; x < bar.x; ++x) marks += shown.At(x, y) != afresh.At(x, y);
  return marks;
}
// The box as Windows' own edit box is: EM_SETSEL moves the caret and leaves
// the lines in view as they were (Wine's scrolls to the caret), so that the
// caret comes into view only when the program scrolls to it.
LRESULT CALLBACK SelectsWithoutScrolling(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message == WM_NCDESTROY) RemoveWindowSubclass(box, SelectsWithoutScrolling, 7);
  if (message != EM_SETSEL) return DefSubclassProc(box, message, wParam, lParam);
  const LRESULT first = SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0);
  const LRESULT result = DefSubclassProc(box, message, wParam, lParam);
  SendMessageW(box, EM_LINESCROLL, 0, first - SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0));
  return result;
}
void AsWindowsBox(WindowHandle box) { SetWindowSubclass(box, SelectsWithoutScrolling, 7, 0); }
// Counts the presses and releases of the left button that reach a window.
LRESULT CALLBACK CountsClicks(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR count) {
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, CountsClicks, 8);
  if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) ++*reinterpret_cast<int*>(count);
  return DefSubclassProc(window, message, wParam, lParam);
}
// The caret's line among the lines the box shows, from its first one on.
bool CaretLineInView(WindowHandle box) {
  RECT r{};
  GetClientRect(box, &r);
  const auto first = SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), line = SendMessageW(box, EM_LINEFROMCHAR, -1, 0);
  const auto next = SendMessageW(box, EM_POSFROMCHAR, SendMessageW(box, EM_LINEINDEX, first + 1, 0), 0);
  return line >= first && (line - first) * static_cast<short>(HIWORD(next)) < r.bottom;  // a line's height
}
std::string Editor(ui::SettingsWindow& w) { return Text(w, "词控_关键词框") + "/" + Text(w, "词控_回复框"); }
// The boxes the window shows while it lives, each answered at once: their
// texts, and each one's title and flags.
class Boxes {
 public:
  Boxes() {
    platform::SetMessageBoxHook([this](const std::string& text, const std::string& title, unsigned flags) {
      texts.push_back(text), looks.push_back(title + "|" + std::to_string(flags));
      return IDOK;
    });
  }
  ~Boxes() { platform::SetMessageBoxHook(nullptr); }
  std::vector<std::string> Take() { return looks.clear(), std::exchange(texts, {}); }
  std::vector<std::string> texts, looks;
};
std::string Stored(const std::string& section) { return ReadIniItem(ExactLibraryFile(), section, "回复", "<none>"); }

TEST_F(LibraryPageTest, ListsNamesAndRepliesWholeAndTheOwnersRowGoesIntoTheEditor) {
  std::string longReply, more;
  while (longReply.size() < 20000) longReply += "长回复0123456789[N]";
  for (int i = 0; i < 40; ++i) more += "[k" + std::to_string(i) + "]\r\n回复=r\r\n";
  // 乗 is 81 5C in GBK: its second byte is a backslash.
  WriteFile(ExactLibraryFile(), "[a&uoS8#b&uoS9#]\r\n回复=x[N]乗\\\r\n[长]\r\n回复=" + longReply + "\r\n" + more);
  Drive(set, {[&](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                const std::vector<std::string> rows = Rows(w);
                EXPECT_EQ(std::vector<std::string>(rows.begin(), rows.begin() + 3),
                          (std::vector<std::string>{"a[b]=x[N]乗\\", "长=" + longReply, "k0=r"}));
                Focus(w, "词库列表");
                PressKey(VK_DOWN);
              },
              [&](ui::SettingsWindow& w) {
                EXPECT_EQ(Editor(w), "a[b]/x\r\n乗\\");
                // The selected row reads light on the design's blue with the focus in the
                // list or elsewhere; while the list has the focus, the row is marked.
                const COLORREF plain = RGB(38, 47, 62), selected = RGB(31, 79, 102), mark = RGB(46, 170, 220);
                const std::tuple<const char*, int, COLORREF, COLORREF> looks[] = {{"词库列表", 0, selected, mark},
                                                                                  {"词库列表", 1, plain, plain},
                                                                                  {"词控_关键词框", 0, selected, selected}};
                for (const auto& [focus, row, background, edge] : looks) {
                  Focus(w, focus);
                  EXPECT_EQ(RowLook(w, row), std::tuple(background, edge, true, true)) << focus << " " << row;
                }
                // Row 2 clicked, then row 6, then Down: the list on the screen is what a
                // whole repaint draws.
                ClickRow(w, 2);
              },
              [](ui::SettingsWindow& w) { ClickRow(w, 6); },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(MarksLeft(w), 0);
                PressKey(VK_DOWN);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(std::pair(MarksLeft(w), List(w).SelectedRow()), std::pair(0, 7));
                List(w).Select(1);
                // The dark scroll bars, clicked below their thumbs: a page on.
                for (const char* bar : {"词库列表滚动条", "词控_回复框滚动条"}) ClickWithMouse(w.Control(bar));
              },
              [&](ui::SettingsWindow& w) {
                const auto ask = [&](const char* control, UINT message) {
                  return SendMessageW(w.Control(control), message, 0, 0);
                };
                EXPECT_EQ(ask("词库列表", LVM_GETTOPINDEX), ask("词库列表", LVM_GETCOUNTPERPAGE));
                RECT row{LVIR_BOUNDS}, list{};  // whole rows fill the list: the last one is not cut
                SendMessageW(w.Control("词库列表"), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
                GetClientRect(w.Control("词库列表"), &list);
                EXPECT_EQ(ask("词库列表", LVM_GETCOUNTPERPAGE) * (row.bottom - row.top), list.bottom);
                EXPECT_GT(ask("词控_回复框", EM_GETFIRSTVISIBLELINE), 0);
                List(w).Select(1);
                platform::Click(w.Control("词控_保存"));
                EXPECT_EQ(WholeIniItem(ExactLibraryFile(), "长", "回复", ""), longReply);
                EXPECT_EQ(Rows(w)[1], "长=" + longReply);
              }});
}

TEST_F(LibraryPageTest, SavesOneOrSeveralKeywordsWithOneReplyAndDeletes) {
  WriteFile(ExactLibraryFile(), "[猫]\r\n回复=喵\r\n[abc]\r\n回复=old\r\n");
  WriteFile(FuzzyLibraryFile(), "[狗[1]\r\n回复=汪\r\n[鸟]\r\n回复=啾\r\n");  // 狗[1: a bracket not stored as &uoS8#
  ReloadFuzzyKeywords();
  Drive(set, {[](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                // Another program changes the reply after the list was read: the chosen
                // row shows the file's; and again before the owner saves: the file's
                // value stays, the editor shows it and the search box says so.
                WriteIniItem(ExactLibraryFile(), "猫", "回复", "HAND");
                List(w).Select(0);
                EXPECT_EQ(Editor(w), "猫/HAND");
                WriteIniItem(ExactLibraryFile(), "猫", "回复", "HAND2");
                Save(w, "猫", "HAND!");
                EXPECT_EQ(Stored("猫") + "," + Editor(w) + "," + Text(w, "词控_搜索框"), "HAND2,猫/HAND2,文件已改动");
                Save(w, "猫", "喵");
                EXPECT_EQ(Stored("猫") + "," + Text(w, "词控_搜索框"), "喵,搜索内容 (CTRL+F)");
                Save(w, "你　好 | hi|", "l1\r\nl2\nl3\rl4");  // blanks of both widths, line breaks of every kind
                EXPECT_EQ(Stored("你好") + Stored("hi"), "l1[N]l2[N]l3[N]l4l1[N]l2[N]l3[N]l4");
                EXPECT_EQ(List(w).RowCount(), 4);  // reloaded from the file
                EXPECT_EQ(Editor(w), "/");
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
                EXPECT_EQ(Editor(w), "空/此处不可为空");
                Save(w, "||", "kept");
                EXPECT_EQ(Editor(w), "此处不可为空/kept");
                EXPECT_EQ(ReadIniSections(ExactLibraryFile()).size(), 5u);
                EXPECT_EQ(Plugin().FuzzyKeywords(), (std::vector<std::string>{"狗[1", "鸟"}));  // saved to the other library
                platform::Click(w.Control("按钮_模糊词库"));
                Save(w, "鱼", "游");
                EXPECT_EQ(Plugin().FuzzyKeywords(), (std::vector<std::string>{"狗[1", "鸟", "鱼"}));
                // By the selected row (its section as the file names it), by the keyword box
                // (Delete in the list), or nothing at all; the list shows what the file holds.
                List(w).Select(0);
                platform::Click(w.Control("词控_删除"));
                EXPECT_EQ(Plugin().FuzzyKeywords(), (std::vector<std::string>{"鸟", "鱼"}));
                EXPECT_EQ(Rows(w), (std::vector<std::string>{"鸟=啾", "鱼=游"}));
                platform::SetWindowTextGbk(w.Control("词控_关键词框"), "鱼");
                Focus(w, "词库列表");
                PressKey(VK_DELETE);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(ReadIniSections(FuzzyLibraryFile()), (std::vector<std::string>{"鸟"}));
                EXPECT_EQ(Rows(w), (std::vector<std::string>{"鸟=啾"}));
                platform::Click(w.Control("词控_删除"));
                EXPECT_EQ(ReadIniSections(FuzzyLibraryFile()), (std::vector<std::string>{"鸟"}));
                // A write the file refuses (a read-only library): the row stays where it
                // was, the editor keeps what the owner typed, the search box says so.
                SetFileAttributesA(FuzzyLibraryFile().c_str(), FILE_ATTRIBUTE_READONLY);
                List(w).Select(0);
                platform::Click(w.Control("词控_删除"));
                const auto shown = [&] { return std::tuple(Rows(w), List(w).SelectedRow(), Text(w, "词控_搜索框"), Editor(w)); };
                EXPECT_EQ(shown(), std::tuple(std::vector<std::string>{"鸟=啾"}, 0, "删除失败", "鸟/啾"));
                Save(w, "鸟|鱼", "新");
                EXPECT_EQ(shown(), std::tuple(std::vector<std::string>{"鸟=啾"}, 0, "保存失败", "鸟|鱼/新"));
                // The next success clears the failure's words.
                SetFileAttributesA(FuzzyLibraryFile().c_str(), FILE_ATTRIBUTE_NORMAL);
                platform::Click(w.Control("词控_保存"));
                EXPECT_EQ(Rows(w), (std::vector<std::string>{"鸟=新", "鱼=新"}));
                EXPECT_EQ(Text(w, "词控_搜索框"), "搜索内容 (CTRL+F)");
                SetFileAttributesA(FuzzyLibraryFile().c_str(), FILE_ATTRIBUTE_READONLY);
                List(w).Select(1);
                platform::Click(w.Control("词控_删除"));
                SetFileAttributesA(FuzzyLibraryFile().c_str(), FILE_ATTRIBUTE_NORMAL);
                platform::Click(w.Control("词控_删除"));
                EXPECT_EQ(Rows(w), (std::vector<std::string>{"鸟=新"}));
                EXPECT_EQ(Text(w, "词控_搜索框"), "搜索内容 (CTRL+F)");
              }});
}

// Letters typed over the list go to the next keyword that begins with them
// (the same letter again: to the next one), each word after a pause.
TEST_F(LibraryPageTest, SearchAndTypingOverTheListFindTheNextRowAndKeepWhatTheOwnerTyped) {
  WriteFile(ExactLibraryFile(), "[猫]\r\n回复=喵\r\n[狗]\r\n回复=汪abc\r\n");
  WriteFile(FuzzyLibraryFile(), "[apple]\r\n回复=0\r\n[banana]\r\n回复=1\r\n[blueberry]\r\n回复=2\r\n"
                                "[cherry]\r\n回复=3\r\n[Mango]\r\n回复=4\r\n[avocado]\r\n回复=5\r\n");
  const auto typeAfterAPause = [](const char* letters) {
    return [letters](ui::SettingsWindow&) { Sleep(1000), TypeText(letters); };
  };
  ui::SearchPosition() = 0;
  Drive(set, {[](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                Focus(w, "词控_关键词框");
                PressKey('F', true);  // before the search box ever had the focus: its first text
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Text(w, "词控_搜索框"), "无搜索结果");
                Search(w, "");
                EXPECT_EQ(Text(w, "词控_搜索框"), "未输入搜索内容");
                Search(w, "猫");  // found in the first row
                EXPECT_EQ(std::pair(List(w).SelectedRow(), ui::SearchPosition()), std::pair(0, 1));
                EXPECT_EQ(Text(w, "词控_搜索框"), "猫");
                EXPECT_EQ(Editor(w), "猫/喵");  // the editor held nothing unsaved
                Search(w, "猫");
                EXPECT_EQ(Text(w, "词控_搜索框") + std::to_string(ui::SearchPosition()), "无搜索结果0");
                Focus(w, "词控_回复框");
                TypeText("新");
              },
              [](ui::SettingsWindow& w) {
                Search(w, "ABC");  // keyword and reply joined, letters of either case
                EXPECT_EQ(std::pair(List(w).SelectedRow(), ui::SearchPosition()), std::pair(1, 0));  // starts over
                EXPECT_EQ(Text(w, "词控_搜索框"), "ABC");
                EXPECT_EQ(Editor(w), "猫/新喵");
                platform::Click(w.Control("词控_保存"));  // a success leaves the owner's search words
                EXPECT_EQ(Stored("猫") + "," + Text(w, "词控_搜索框"), "新喵,ABC");
                platform::Click(w.Control("按钮_模糊词库"));
                Focus(w, "词库列表");
                TypeText("a");  // no row chosen yet: from the top
              },
              [](ui::SettingsWindow& w) { EXPECT_EQ(Editor(w), "apple/0"); }, typeAfterAPause("m"),
              [](ui::SettingsWindow& w) { EXPECT_EQ(Editor(w), "Mango/4"); }, typeAfterAPause("ban"),
              [](ui::SettingsWindow& w) { EXPECT_EQ(Editor(w), "banana/1"); }, typeAfterAPause("bb"),
              // b: blueberry; b again: the next row with b, banana.
              [](ui::SettingsWindow& w) { EXPECT_EQ(Editor(w), "banana/1"); }, typeAfterAPause("b"),
              // From the selected row on, not from the top.
              [](ui::SettingsWindow& w) { EXPECT_EQ(Editor(w), "blueberry/2"); }});
}

TEST_F(LibraryPageTest, TabEscKeywordBoxKeysCooldownAndDroppedFiles) {
  Boxes boxes;
  WriteAdminItem("模糊冷却", "30");  // by hand: the core still holds 0
  WriteFile(FuzzyLibraryFile(), "[猫]\r\n回复=喵\r\n");
  Drive(set, {[](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                // A single-line box keeps its line in the middle: its client area is a
                // line of its own font high, as far from its top as from its bottom.
                const WindowHandle box = w.Control("词控_关键词框");
                HDC dc = GetDC(nullptr);
                HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(box, WM_GETFONT, 0, 0)));
                TEXTMETRICW font{};
                GetTextMetricsW(dc, &font);
                SelectObject(dc, old), ReleaseDC(nullptr, dc);
                RECT client{};
                GetClientRect(box, &client);
                POINT top{};
                MapWindowPoints(box, nullptr, &top, 1);
                const platform::Rect outer = platform::WindowRect(box);
                const int above = top.y - outer.top, below = outer.height - above - client.bottom;
                EXPECT_EQ(client.bottom, font.tmHeight);
                EXPECT_LE(std::abs(above - below), 1) << above << " " << below;
                Focus(w, "词控_搜索框");
                for (int stop = 0; stop < 14; ++stop) PressKey(VK_TAB);  // round the page's 14 stops
                PressKey(VK_TAB, false, true);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(platform::FocusedWindow(), w.Control("退出设置"));
                Focus(w, "词控_回复框");  // Esc in a multi-line box leaves the page standing
                PressKey(VK_ESCAPE);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_TRUE(platform::IsVisible(w.Control("词控_回复框")));
                Focus(w, "词控_关键词框");
                TypeText("a b");
                PressKey(VK_RETURN);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Text(w, "词控_关键词框"), "ab|");
                TypeText("c");
                PressKey(VK_SPACE);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Text(w, "词控_关键词框"), "ab|c|");
                platform::SetWindowTextGbk(w.Control("词控_回复框"), "r");
                PressKey('R', true);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Editor(w), "/");
                platform::SetWindowTextGbk(w.Control("词控_冷却时间"), "");
                Focus(w, "词控_冷却时间");
                TypeText("1a３");
                platform::SetClipboardText("x0");
                PressKey('V', true);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Text(w, "词控_冷却时间"), "1３0");  // a whole number
                EXPECT_TRUE(ClipboardFree());
                EXPECT_EQ(Plugin().Current()->Settings.精确冷却, 130);
                platform::Click(w.Control("按钮_模糊词库"));
                EXPECT_EQ(Text(w, "词控_冷却时间"), "30");
                EXPECT_EQ(Admin("精确冷却") + "," + Admin("模糊冷却"), "130,30");  // the one shown is stored
                // Two of them have no name a host reads as that file (no short name either).
                for (const std::string& made : {Plugin().RunDirectory + "\\ZOQData\\pic", Plugin().RunDirectory + "\\music"}) {
                  platform::CreateFolder(made);
                }
                WriteFile(Plugin().RunDirectory + "\\ZOQData\\pic\\a.PNG", "a");
                WriteFile(Plugin().RunDirectory + "\\music\\x.mp3", "x");
                platform::DropFiles(w.Control("词控_回复框"),
                                    {Plugin().RunDirectory + "\\zoqdata\\pic\\a.PNG",
                                     platform::WideToGb18030(L"D:\\music\\고양이.mp3"), Plugin().RunDirectory + "\\music\\x.mp3",
                                     "C:\\notes.txt", "D:\\music\\a]b.wav"});
              },
              [&](ui::SettingsWindow& w) {
                const std::vector<std::string> said = boxes.Take();
                ASSERT_EQ(said.size(), 1u);
                EXPECT_TRUE(said[0].starts_with("2个文件没有放进回复框：")) << said[0];
                EXPECT_EQ(Text(w, "词控_搜索框"), "");  // as the Tab round left it
                Search(w, "猫");  // a row found: the codes, not saved yet, stay
                Focus(w, "词控_回复框");
                TypeText("z");  // after the codes
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Text(w, "词控_回复框"), "[P=[ZOQData]\\pic\\a.PNG][V=" + Plugin().RunDirectory + "\\music\\x.mp3]z");
                SetFileAttributesA(AdminFile().c_str(), FILE_ATTRIBUTE_READONLY);
                platform::SetWindowTextGbk(w.Control("词控_冷却时间"), "");
                Focus(w, "词控_冷却时间");
                TypeText("45");
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Admin("模糊冷却"), "30");  // refused
                platform::Click(w.Control("按钮_精确词库"));  // the typed time was the other library's
                EXPECT_EQ(Text(w, "词控_冷却时间"), "130");
                SetFileAttributesA(AdminFile().c_str(), FILE_ATTRIBUTE_NORMAL);
                Focus(w, "词控_回复框");
                EXPECT_EQ(Admin("精确冷却") + "," + Admin("模糊冷却"), "130,30");
                platform::Click(w.Control("按钮_模糊词库"));
                EXPECT_EQ(Text(w, "词控_冷却时间") + "," + Admin("模糊冷却"), "30,30");
                EXPECT_FALSE(platform::IsVisible(w.Control("未保存提示")));
                // The file lacks the exact library's time and refuses it: shown as not stored.
                std::string admin = ReadFile(AdminFile());
                const std::string line = "精确冷却=130\r\n";
                ASSERT_NE(admin.find(line), std::string::npos);
                WriteFile(AdminFile(), admin.erase(admin.find(line), line.size()));
                SetFileAttributesA(AdminFile().c_str(), FILE_ATTRIBUTE_READONLY);
                platform::Click(w.Control("按钮_精确词库"));
                EXPECT_EQ(Text(w, "词控_冷却时间"), "130");
                EXPECT_TRUE(platform::IsVisible(w.Control("未保存提示")));
                SetFileAttributesA(AdminFile().c_str(), FILE_ATTRIBUTE_NORMAL);
              }});
}

// The bytes of the file that a host opens by `path` with the ANSI functions;
// "<error N>" where they refuse it.
std::string OpenedByAnsiName(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<error " + std::to_string(GetLastError()) + ">";
  std::string bytes(4096, '\0');
  DWORD got = 0;
  ::ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr), CloseHandle(f);
  return bytes.substr(0, got);
}

// The file a host opens for the first picture code `opener` of `sent`: the
// path as the host reads it, a character at a time, to the code's "]" (or,
// where it splits codes at commas, to a comma); a host that reads it as a
// file address decodes it ("&amp;", the "%" escapes; a "#" ends it).
std::string PathTheHostOpens(const std::string& sent, const std::string& opener, bool commas, bool address) {
  std::size_t begin = sent.find(opener);
  if (begin == std::string::npos) return "<no code>";
  std::size_t end = begin += opener.size();
  while (end < sent.size() && sent[end] != ']' && !(commas && sent[end] == ',')) end += text::CharLength(sent, end);
  const std::string path = sent.substr(begin, end - begin);
  if (!address) return path;
  const std::string plain = text::ReplaceAll(path, "&amp;", "&");
  std::string decoded;
  for (std::size_t i = 0; i < plain.size() && plain[i] != '#'; ++i) {
    const bool escape = plain[i] == '%' && i + 2 < plain.size() && std::isxdigit(static_cast<unsigned char>(plain[i + 1])) &&
                        std::isxdigit(static_cast<unsigned char>(plain[i + 2]));
    decoded += escape ? static_cast<char>(std::stoi(plain.substr(i + 1, 2), nullptr, 16)) : plain[i];
    i += escape ? 2 : 0;
  }
  return decoded;
}

// Files of the test's own in a folder `拖放`, each holding its name; the
// wide path of one.
struct DropFolder {
  explicit DropFolder(const std::string& folder) : files(platform::AnsiToWide(folder) + L"\\拖放") {
    CreateDirectoryW(files.c_str(), nullptr);
  }
  std::wstring Make(const std::wstring& name, const std::string& bytes = {}) const {
    const std::wstring path = files + L"\\" + name;
    const std::string held = bytes.empty() ? platform::WideToGb18030(name) : bytes;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD wrote = 0;
    ::WriteFile(f, held.data(), static_cast<DWORD>(held.size()), &wrote, nullptr), CloseHandle(f);
    return path;
  }
  std::wstring files;
};

// A dropped file goes by a name the template and the hosts read back as
// that very file: its own, where their code page holds it as the reply box
// reads it, nothing in it is read otherwise (a bracket, a comma, a code) and
// the ANSI functions open it (259 characters at most), else its short name
// (8.3), the kind still that of its whole name; on a volume without short
// names no code goes in and a box says which file and why (the search box
// is left as it is). While the window knows no host yet, what any host
// reads otherwise counts. The reply box shows the code, at its end (a box
// of Windows scrolls only when asked to); saved, the robot sends it through
// the host, which opens the file dropped by it, not the decoy that the name
// read otherwise names.
TEST_F(LibraryPageTest, ADroppedFileGoesByANameTheHostsOpenAsThatFile) {
  Boxes boxes;
  const DropFolder drop(folder);
  const std::wstring& files = drop.files;
  CreateDirectoryW((files + L"\\사진").c_str(), nullptr);
  CreateDirectoryW((files + L"\\[ZOQData]").c_str(), nullptr);
  drop.Make(L"1.wav", "decoy");  // what "€1.wav" reads as, once "€" is lost
  FakeHostDll& vlq = Fake("VLQapi.dll");
  const char* hint = "搜索内容 (CTRL+F)";
  const std::string korean = platform::WideToGb18030(L"“고” “양” “이”");  // as the box shows them
  // A name that makes the path as long as the ANSI functions open, and one more.
  const std::wstring longest = std::wstring(259 - files.size() - 5, L'm') + L".png";
  struct Drop {
    std::wstring name;  // of a file of `files`
    bool shortNames;    // the volume makes them
    const char* code;   // before the name; null: none
    bool byShortName;
    const char* said = nullptr;      // in the box: what the name holds that keeps it out; null: no box
    const wchar_t* decoy = nullptr;  // the file the name read otherwise names
  };
  const Drop drops[] = {{L"€1.wav", true, "[V=", true},
                        {L"a]b.png", true, "[P=", true, nullptr, L"a"},
                        {L"b]x.wav", true, "[V=", true, nullptr, L"b"},
                        {L"a].png", true, "[P=", true, nullptr, L"a"},
                        {L"x[消息].png", true, "[P=", true, nullptr, L"x.png"},
                        {L"a[N]b.png", true, "[P=", true},
                        {L"q[P=C.png", true, "[P=", true, nullptr, L"q[pic=C.png"},
                        {L"notes&uoS9#.png", true, "[P=", true, nullptr, L"notes"},
                        {L"d,e.png", true, "[P=", true},  // split at the comma by two hosts
                        {L"photo%41x.png", true, "[P=", true},  // decoded by ISky: photoAx.png
                        {L"photo&amp;.png", true, "[P=", true},
                        {L"{提示}.png", true, "[P=", true},  // a mention on the WeChat-style host
                        {std::wstring(250, L'l') + L".png", true, "[P=", true},  // too long for ANSI functions
                        {longest, true, "[P=", false},
                        {L"m" + longest, true, "[P=", true},
                        {L"m" + longest, false, nullptr, false, "这个路径有260个字符"},
                        {L"a]b.png", false, nullptr, false, "“]”"},
                        {L"[ZOQData]\\p.png", true, "[P=", true},  // not the data folder
                        {L"사진\\고양이.png", true, "[P=", true},
                        {L"고양이.flac", true, "[V=", true},  // ".FLA" in its short name
                        {L"猫咪的照片.png", true, "[P=", false},
                        {L"고양이.txt", false, nullptr, false},  // no code to go in: nothing to say
                        {L"고양이.png", false, nullptr, false, korean.c_str()},
                        {L"猫.gif", false, "[P=", false},
                        {L"고양이.png", false, nullptr, false, korean.c_str()},
                        {L"고양이.txt", false, nullptr, false}};
  std::string lines;
  for (int i = 0; i < 30; ++i) lines += "行\r\n";
  std::vector<Step> steps = {[](ui::SettingsWindow& w) {
    platform::Click(w.Control("按钮_精确词库"));
    AsWindowsBox(w.Control("词控_回复框"));
  }};
  for (const Drop& dropped : drops) {
    const std::wstring path = drop.Make(dropped.name);
    if (dropped.decoy) drop.Make(dropped.decoy, "decoy");
    std::wstring brief(MAX_PATH, L'\0');
    brief.resize(GetShortPathNameW((L"\\\\?\\" + path).c_str(), brief.data(), MAX_PATH));
    brief.erase(0, 4);
    ASSERT_NE(brief, path);
    const std::string name = platform::WideToAnsi(dropped.byShortName ? brief : path);
    steps.push_back([&, path](ui::SettingsWindow& w) {  // dropped through the window's loop
      platform::SetWindowTextGbk(w.Control("词控_回复框"), lines);
      platform::volumeWithoutShortNames = !dropped.shortNames;
      Plugin().HostType = kHostNone;
      platform::DropFiles(w.Control("词控_回复框"), {platform::WideToGb18030(path)});
    });
    steps.push_back([&, name, path](ui::SettingsWindow& w) {
      platform::volumeWithoutShortNames = false;
      Plugin().HostType = kHostVlq;
      const std::string shown = Text(w, "词控_回复框");
      ASSERT_EQ(shown.substr(0, lines.size()), lines);
      EXPECT_EQ(shown.substr(lines.size()), dropped.code ? dropped.code + name + "]" : "");
      const std::vector<std::string> said = boxes.Take();
      ASSERT_EQ(said.size(), dropped.said ? 1u : 0u);
      if (dropped.said) {
        EXPECT_EQ(said[0].rfind("这个文件没有放进回复框：\r\n\r\n" + platform::WideToGb18030(path) + "\r\n", 0), 0u) << said[0];
        EXPECT_NE(said[0].find(dropped.said), std::string::npos) << said[0];
      }
      EXPECT_EQ(Text(w, "词控_搜索框"), hint);
      if (!dropped.code) return;
      EXPECT_TRUE(CaretLineInView(w.Control("词控_回复框")));
      platform::SetWindowTextGbk(w.Control("词控_关键词框"), "k");
      Focus(w, "词控_关键词框");
      PressKey('S', true);
    });
    steps.push_back([&](ui::SettingsWindow&) {
      if (!dropped.code) return;
      // Sent, and opened by the path in the code as the host reads it (to
      // the first "]") and opens it: the file dropped.
      const std::string sent = Answered(vlq, "10002", "k"), opener = dropped.code[1] == 'P' ? "[pic=" : "[voi=";
      const std::size_t at = sent.find(opener) + opener.size();
      const std::string opened = sent.substr(at, sent.find(']', at) - at);
      EXPECT_EQ(OpenedByAnsiName(opened), platform::WideToGb18030(dropped.name)) << sent;
    });
  }
  steps.push_back([&](ui::SettingsWindow& w) {
    Save(w, "k", "r");
    EXPECT_EQ(Text(w, "词控_搜索框"), hint);
  });
  Drive(set, steps);
}

// On a volume without short names a file goes in by its own name unless the
// host the window serves reads something in it otherwise: VLQ and the
// WeChat-style host read a code to its "]" (a "[" or "]" that is the second
// byte of a character, as in 遊 and 沒, is none), the function-table host and
// ISky split it at commas, ISky reads the file as an address, decoded, and
// the WeChat-style host reads "{提示}" as a mention. Each file that went in
// is sent through its host and opened by the path that host receives: the
// file dropped, not a decoy beside it that the path read otherwise names.
TEST_F(LibraryPageTest, ADroppedNameIsRefusedOnlyForWhatTheWindowsHostReadsOtherwise) {
  Boxes boxes;
  const DropFolder drop(folder);
  struct Host {
    std::int32_t type;
    const char* name;
    std::string opener;
    bool commas, address;
  };
  const Host hosts[] = {{kHostVlq, "VLQ", "[pic=", false, false},
                        {kHostTable, "Table", "[picFile,path=", true, false},
                        {kHostIsky, "ISky", "[CQ:image,file=file:///", true, true},
                        {kHostWx, "WX", "[pic=", false, false}};
  struct Name {
    const wchar_t* name;
    const char* misread[4];  // by host: what the box shows of it; null: it goes in
    const wchar_t* decoy = nullptr;
  };
  const Name names[] = {{L"遊戲截圖.png", {}},
                        {L"沒問題.jpg", {}},
                        {L"閉註隱.bmp", {}},
                        {L"100%.jpg", {nullptr, nullptr, "“%”", nullptr}},
                        {L"#1.png", {nullptr, nullptr, "“#”", nullptr}},
                        {L"%E5%9B%BE.jpg", {nullptr, nullptr, "“%”", nullptr}, L"图.jpg"},
                        {L"a,b.png", {nullptr, "“,”", "“,”", nullptr}, L"a"},
                        {L"{提示}.png", {nullptr, nullptr, nullptr, "“{提示}”"}}};
  std::vector<std::vector<std::pair<std::string, std::string>>> library(std::size(hosts));  // code, file's bytes
  std::vector<Step> steps = {[](ui::SettingsWindow& w) { platform::Click(w.Control("按钮_精确词库")); }};
  for (std::size_t h = 0; h < std::size(hosts); ++h) {
    for (const Name& n : names) {
      const std::wstring path = drop.Make(n.name);
      if (n.decoy) drop.Make(n.decoy, "decoy");
      steps.push_back([&, h, path](ui::SettingsWindow& w) {
        platform::SetWindowTextGbk(w.Control("词控_回复框"), "");
        platform::volumeWithoutShortNames = true;
        Plugin().HostType = hosts[h].type;
        platform::DropFiles(w.Control("词控_回复框"), {platform::WideToGb18030(path)});
      });
      steps.push_back([&, h, path](ui::SettingsWindow& w) {
        platform::volumeWithoutShortNames = false;
        Plugin().HostType = kHostVlq;
        SCOPED_TRACE(std::string(hosts[h].name) + " " + platform::WideToGb18030(n.name));
        const char* misread = n.misread[h];
        const std::vector<std::string> said = boxes.Take();
        ASSERT_EQ(said.size(), misread ? 1u : 0u);
        if (misread) {
          EXPECT_NE(said[0].find("文件名里的" + std::string(misread) + "，"), std::string::npos) << said[0];
          EXPECT_EQ(Text(w, "词控_回复框"), "");
          return;
        }
        const std::string code = "[P=" + platform::WideToAnsi(path) + "]";
        EXPECT_EQ(Text(w, "词控_回复框"), code);
        library[h].push_back({code, platform::WideToGb18030(n.name)});
      });
    }
  }
  Drive(set, steps);
  for (std::size_t h = 0; h < std::size(hosts); ++h) {
    std::vector<std::string> replies;
    for (const auto& [code, bytes] : library[h]) replies.push_back(code);
    const std::vector<std::string> sent = SentThroughHost(hosts[h].name, replies);
    for (std::size_t i = 0; i < sent.size(); ++i) {
      const std::string path = PathTheHostOpens(sent[i], hosts[h].opener, hosts[h].commas, hosts[h].address);
      EXPECT_EQ(OpenedByAnsiName(path), library[h][i].second) << hosts[h].name << " " << sent[i];
    }
  }
}

// A drop whose files went in nowhere says so in a box over the window, a
// warning: which file (its whole path) and why (the characters the host
// reads otherwise or its code page lacks, shown; the length; a name that
// names no file, as a drag source of the code page hands over a name with
// "?" for what the code page lacks), and what to do; of a drop of several
// files, how many went in nowhere first, one as well. The others go in.
// What the owner typed in the search box stays.
TEST_F(LibraryPageTest, ADropThatWentInNowhereSaysWhichFileAndWhyAndLeavesTheSearchAlone) {
  Boxes boxes;
  const DropFolder drop(folder);
  const std::wstring longest = std::wstring(260 - drop.files.size() - 5, L'm') + L".png";  // 260 characters
  const std::string again = "。请给文件改名，去掉它，再拖进来。", againAll = "。请给文件改名，去掉它们，再拖进来。";
  struct Row {
    std::int32_t host;
    std::vector<std::wstring> names;
    bool ansi;
    std::string said;      // "{i}": the path of the i-th file as the box shows it
    std::string inserted;  // "{i}": its path in the ANSI code page
  };
  const Row rows[] = {
      {kHostTable, {L"a,b.png"}, false,
       "这个文件没有放进回复框：\r\n\r\n{0}\r\n文件名里的“,”，框架会读成别的意思，就找不到这个文件了" + again, ""},
      {kHostIsky, {L"猫.png", L"100%#.jpg"}, false,
       "1个文件没有放进回复框：\r\n\r\n{1}\r\n文件名里的“%” “#”，框架会读成别的意思，就找不到这个文件了" + againAll,
       "[P={0}]"},
      {kHostVlq, {L"고양이.png", L"猫.png", longest}, false,
       "2个文件没有放进回复框：\r\n\r\n{0}\r\n文件名里的" + platform::WideToGb18030(L"“고” “양” “이”") +
           "是框架用的编码（GBK）里没有的字，框架打不开这个文件" +
           againAll + "\r\n\r\n{2}\r\n这个路径有260个字符，框架只能打开259个字符以内的路径。请把文件移到路径短一些的文件夹里，再拖进来。",
       "[P={1}]"},
      {kHostVlq, {L"고양이.png", L"猫.png"}, true,
       "1个文件没有放进回复框：\r\n\r\n{0}\r\n按这个名字找不到文件（有的程序拖文件时，把名字里框架用的编码没有的字换成了“?”）。请从 "
       "Windows 的资源管理器里拖这个文件，或者给它改个名字。",
       "[P={1}]"},
      {kHostVlq, {L"猫.txt"}, false, "", ""}};
  std::vector<Step> steps = {[](ui::SettingsWindow& w) {
                               platform::Click(w.Control("按钮_精确词库"));
                               Focus(w, "词控_搜索框");
                               TypeText("早安");
                             }};
  for (const Row& row : rows) {
    std::vector<std::string> dropped;
    std::string said = row.said, inserted = row.inserted;
    for (std::size_t i = 0; i < row.names.size(); ++i) {
      const std::wstring path = drop.Make(row.names[i]);
      dropped.push_back(platform::WideToGb18030(path));
      const std::string at = "{" + std::to_string(i) + "}";
      said = text::ReplaceAll(said, at, row.ansi ? platform::WideToAnsi(path) : dropped.back());
      inserted = text::ReplaceAll(inserted, at, platform::WideToAnsi(path));
    }
    steps.push_back([&, dropped](ui::SettingsWindow& w) {
      platform::SetWindowTextGbk(w.Control("词控_回复框"), "");
      platform::volumeWithoutShortNames = true;
      Plugin().HostType = row.host;
      platform::DropFiles(w.Control("词控_回复框"), dropped, row.ansi);
    });
    steps.push_back([&, said, inserted](ui::SettingsWindow& w) {
      platform::volumeWithoutShortNames = false;
      Plugin().HostType = kHostVlq;
      EXPECT_EQ(boxes.looks, said.empty() ? std::vector<std::string>{}
                                          : std::vector<std::string>{"ZOQ·关键词|" + std::to_string(MB_OK | MB_ICONWARNING)});
      EXPECT_EQ(boxes.Take(), said.empty() ? std::vector<std::string>{} : std::vector<std::string>{said});
      EXPECT_EQ(Text(w, "词控_回复框"), inserted);
      EXPECT_EQ(Text(w, "词控_搜索框"), "早安");
    });
  }
  Drive(set, steps);
}

// A visible dialog window (a message box) among a thread's windows: kept in
// the HWND at `found`.
BOOL CALLBACK KeepVisibleDialog(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) *reinterpret_cast<HWND*>(found) = window;
  return TRUE;
}

// The box itself (no hook): a box of the system over the window, with the
// window's title; its text as the box reads it, every character of the
// file's name shown, the ones the code page lacks too. Closed, the window
// goes on.
TEST_F(LibraryPageTest, TheBoxOfARefusedDropIsTheSystemsBoxOverTheWindow) {
  const DropFolder drop(folder);
  const std::wstring path = drop.Make(L"고양이.png");
  struct Shown {
    HWND box = nullptr, owner = nullptr;
    std::wstring title, text;  // the text: the longest of its labels
  } shown;
  Drive(set, {[&](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                platform::volumeWithoutShortNames = true;
                platform::DropFiles(w.Control("词控_回复框"), {platform::WideToGb18030(path)});
              },
              [&](ui::SettingsWindow&) {  // in the box's own loop
                platform::volumeWithoutShortNames = false;
                EnumThreadWindows(GetCurrentThreadId(), KeepVisibleDialog, reinterpret_cast<LPARAM>(&shown.box));
                ASSERT_NE(shown.box, nullptr);
                shown.owner = GetWindow(shown.box, GW_OWNER);
                const auto text = [](HWND window) {
                  std::wstring t(GetWindowTextLengthW(window) + 1, L'\0');
                  t.resize(GetWindowTextW(window, t.data(), static_cast<int>(t.size())));
                  return t;
                };
                shown.title = text(shown.box);
                for (HWND c = GetWindow(shown.box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                  if (text(c).size() > shown.text.size()) shown.text = text(c);
                }
                PostMessageW(shown.box, WM_COMMAND, IDOK, 0);
              },
              [&](ui::SettingsWindow& w) {
                EXPECT_FALSE(IsWindow(shown.box));
                EXPECT_EQ(shown.owner, w.handle());
                EXPECT_EQ(Text(w, "词控_回复框"), "");
              }});
  const std::string said = "这个文件没有放进回复框：\r\n\r\n" + platform::WideToGb18030(path) + "\r\n文件名里的" +
                           platform::WideToGb18030(L"“고” “양” “이”") +
                           "是框架用的编码（GBK）里没有的字，框架打不开这个文件。请给文件改名，去掉它们，再拖进来。";
  EXPECT_EQ(platform::WideToGb18030(shown.title), "ZOQ·关键词");
  EXPECT_EQ(platform::WideToGb18030(shown.text), said);
}

// The list's slim bar: its thumb stands where the list is and is as long as
// the share in view, 16 pixels at least; dragged (wherever it was taken), it
// takes the list to the row nearest its top; a click above it goes a page
// back, the wheel scrolls; keys that scroll the list move it; a list that
// shows all its rows has no thumb. The page
// around the list is painted to its very edge.
TEST_F(LibraryPageTest, TheListsSlimBarShowsWhereTheListIsAndScrollsIt) {
  constexpr int kRows = 400;
  std::string rows;
  for (int i = 0; i < kRows; ++i) rows += "[k" + std::to_string(i) + "]\r\n回复=r\r\n";
  WriteFile(ExactLibraryFile(), rows);
  const auto ask = [](ui::SettingsWindow& w, UINT message) {
    return static_cast<int>(SendMessageW(w.Control("词库列表"), message, 0, 0));
  };
  const auto bar = [](ui::SettingsWindow& w) { return w.Control("词库列表滚动条"); };
  const auto height = [&](ui::SettingsWindow& w) { return platform::WindowRect(bar(w)).height; };
  const auto scrolls = [&](ui::SettingsWindow& w) { return kRows - ask(w, LVM_GETCOUNTPERPAGE); };
  const auto room = [&](ui::SettingsWindow& w) { return height(w) - 16; };  // beside the thumb
  const auto thumbTop = [&](ui::SettingsWindow& w) { return room(w) * ask(w, LVM_GETTOPINDEX) / scrolls(w); };
  // The first and last row of the bar's middle column drawn in the thumb's colour, as the screen shows it.
  const auto thumbRows = [&](ui::SettingsWindow& w) {
    const Printed shown(bar(w), true);
    std::vector<int> at;
    for (int y = 0; y < height(w); ++y) {
      if (shown.At(5, y) == RGB(0x4A, 0x5A, 0x72)) at.push_back(y);
    }
    return at.empty() ? std::pair(-1, -1) : std::pair(at.front(), at.back());
  };
  const auto drag = [&](ui::SettingsWindow& w, int from, int to) {
    PostMessageW(bar(w), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, from));
    PostMessageW(bar(w), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, to));
    PostMessageW(bar(w), WM_LBUTTONUP, 0, MAKELPARAM(5, to));
  };
  // Where the thumb's top is dragged to, and the row nearest it: one past the
  // row it passed, for a top beyond the middle between two rows.
  int to = 0, before = 0;
  const auto nearest = [&](ui::SettingsWindow& w) { return (2 * to * scrolls(w) + room(w)) / (2 * room(w)); };
  Drive(set, {[](ui::SettingsWindow& w) { platform::Click(w.Control("按钮_精确词库")); },
              [&](ui::SettingsWindow& w) {
                // The page's left edge, beside the list, is painted as the rest of the page.
                const Printed page(w.Control("词库页面区域"), true);
                EXPECT_EQ(page.At(0, 100), page.At(4, 100));
                EXPECT_EQ(thumbRows(w), std::pair(1, 14));
                for (to = room(w) / 2; to * scrolls(w) % room(w) * 2 < room(w);) ++to;
                drag(w, 0, to);  // taken at its very top
              },
              [&](ui::SettingsWindow& w) {
                EXPECT_EQ(ask(w, LVM_GETTOPINDEX), nearest(w));
                EXPECT_EQ(thumbRows(w), std::pair(thumbTop(w) + 1, thumbTop(w) + 14));
                before = ask(w, LVM_GETTOPINDEX);
                ClickWithMouse(bar(w), 5, 1);
              },
              [&](ui::SettingsWindow& w) {
                EXPECT_EQ(ask(w, LVM_GETTOPINDEX), before - ask(w, LVM_GETCOUNTPERPAGE));
                const int from = thumbTop(w) + 8;  // taken in its middle
                to = thumbTop(w) + 10;
                drag(w, from, from + 10);
              },
              [&](ui::SettingsWindow& w) {
                EXPECT_EQ(ask(w, LVM_GETTOPINDEX), nearest(w));
                before = ask(w, LVM_GETTOPINDEX);
                PostMessageW(bar(w), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
              },
              [&](ui::SettingsWindow& w) {
                EXPECT_GT(ask(w, LVM_GETTOPINDEX), before);
                Focus(w, "词库列表");
                PressKey(VK_END);
              },
              [&](ui::SettingsWindow& w) {
                EXPECT_EQ(ask(w, LVM_GETTOPINDEX), scrolls(w));
                EXPECT_EQ(thumbRows(w).second, height(w) - 2);
                // As many rows as the list shows at once: no thumb.
                std::string fit;
                for (int i = 0; i < ask(w, LVM_GETCOUNTPERPAGE); ++i) fit += "[f" + std::to_string(i) + "]\r\n回复=r\r\n";
                WriteFile(ExactLibraryFile(), fit);
                platform::Click(w.Control("按钮_模糊词库"));
                platform::Click(w.Control("按钮_精确词库"));
              },
              [&](ui::SettingsWindow& w) {
                EXPECT_EQ(ask(w, LVM_GETITEMCOUNT), ask(w, LVM_GETCOUNTPERPAGE));
                EXPECT_EQ(thumbRows(w), std::pair(-1, -1));
              }});
}

std::string Utf16le(const char16_t* text) {
  std::string bytes;
  for (; *text; ++text) bytes += {static_cast<char>(*text & 0xFF), static_cast<char>(*text >> 8)};
  return bytes;
}

// The owner chooses the row (or the options page), types one key at the end
// of the reply (of the return text) and saves: every other character of the
// file stays, whatever its encoding or length.
TEST_F(LibraryPageTest, AKeyTypedKeepsEveryOtherCharacterOfTheFile) {
  const std::string x40k(40000, 'x');  // beyond the edit control's own limit
  // 200 different four-byte characters of GB18030 from U+20100 (past U+20087 to U+200CC,
  // some of which it writes back in two bytes); `at` counts from U+10000, 90 30 81 30.
  std::string fours;
  for (int at = 0x10100; at < 0x10100 + 200; ++at)
    for (const int b : {0x90 + at / 12600, 0x30 + at / 1260 % 10, 0x81 + at / 10 % 126, 0x30 + at % 10})
      fours += static_cast<char>(b);
  struct Row {
    bool admin;
    std::string before, after;
    const char* said = "搜索内容 (CTRL+F)";  // in the search box: no failure
    int at = VK_END;                           // with Ctrl: where the key goes
    const char* shown = nullptr;               // the box's text before the key
  };
  const Row rows[] = {
      {false, Utf8(u8"\uFEFF[kw]\r\n回复=手写😀ok\r\n"), Utf8(u8"\uFEFF[kw]\r\n回复=手写😀okZ\r\n")},
      {false, "[kw]\r\n回复=\xca\xd6\x81\x80\x94\x39\xfc\x36ok\r\n", "[kw]\r\n回复=\xca\xd6\x81\x80\x94\x39\xfc\x36okZ\r\n"},
      {false, "\xFF\xFE" + Utf16le(u"[kw]\r\n回复=안녕ok\r\n"), "\xFF\xFE" + Utf16le(u"[kw]\r\n回复=안녕okZ\r\n")},
      // UTF-8 without a mark, as most editors save it.
      {false, Utf8(u8"[kw]\r\n回复=手写😀ok\r\n"), Utf8(u8"[kw]\r\n回复=手写😀okZ\r\n")},
      {false, Utf8(u8"[早安]\r\n回复=早上好[N]ok\r\n"), Utf8(u8"[早安]\r\n回复=早上好[N]okZ\r\n"), "搜索内容 (CTRL+F)",
       VK_END, "早上好\r\nok"},
      {true, Utf8(u8"[admin]\r\n开启返回文本=早安😀ok\r\n"), Utf8(u8"开启返回文本=早安😀okZ\r\n")},
      {true, Utf8(u8"[admin]\r\n开启返回文本=早安ok\r\n"), Utf8(u8"开启返回文本=Z早安ok\r\n"), "", VK_HOME, "早安ok"},
      {false, "[kw]\r\n回复=" + x40k + "\r\n", "[kw]\r\n回复=" + x40k + "Z\r\n"},
      // A text that ends in a four-byte character (a rare one, an emoji), typed before it.
      {false, "[kw]\r\n回复=ok\x95\x32\x82\x36\r\n", "[kw]\r\n回复=Zok\x95\x32\x82\x36\r\n", "搜索内容 (CTRL+F)", VK_HOME},
      {true, Utf8(u8"\uFEFF[admin]\r\n开启返回文本=hi😀\r\n"), Utf8(u8"开启返回文本=Zhi😀\r\n"), "", VK_HOME},
      {true, Utf8(u8"\uFEFF[admin]\r\n开启返回文本=hi😀ok\r\n"), Utf8(u8"开启返回文本=hi😀okZ\r\n")},
      // More four-byte characters than one lead byte has stand-ins for.
      {false, "[kw]\r\n回复=" + fours + "ok\r\n", "[kw]\r\n回复=" + fours + "okZ\r\n"},
      // The file's last character cut (three bytes of four): the reply is shown and saved as
      // the INI functions read it, the bytes that are no character as "?"; the last line
      // gains no line end.
      {false, "[kw]\r\n回复=手写ok\x95\x32\x82", "[kw]\r\n回复=手写ok??Z"},
      // A UTF-16 file cut inside its last character (half a surrogate pair, the first and
      // the last there is): the reply is shown without it; the save is refused, and the
      // file stays whole.
      {false, "\xFF\xFE" + Utf16le(u"[kw]\r\n回复=안녕ok") + std::string(1, '\0') + "\xD8",
       "\xFF\xFE" + Utf16le(u"[kw]\r\n回复=안녕ok") + std::string(1, '\0') + "\xD8",
       "保存失败"},
      {false, "\xFF\xFE" + Utf16le(u"[kw]\r\n回复=안녕ok") + "\xFF\xDB", "\xFF\xFE" + Utf16le(u"[kw]\r\n回复=안녕ok") + "\xFF\xDB",
       "保存失败"},
      // UTF-16 without a mark, by its NUL bytes.
      {false, Utf16le(u"[kw]\r\n回复=안녕ok\r\n"), Utf16le(u"[kw]\r\n回复=안녕okZ\r\n")},
      // UTF-8 with two lines of GBK (the third and fourth): read as GBK (its UTF-8 回复 is
      // another key there, and the reply shown empty), every byte kept; the search box names
      // the line where the file mixes two encodings.
      {false, Utf8(u8"[kw]\r\n回复=早安ok\r\n") + "[\xCE\xE7]\r\n回复=x\r\n" + Utf8(u8"[晚安]\r\n回复=好梦\r\n[早]\r\n回复=早\r\n"),
       Utf8(u8"[kw]\r\n回复=早安ok\r\n") + "回复=Z\r\n[\xCE\xE7]\r\n回复=x\r\n" +
           Utf8(u8"[晚安]\r\n回复=好梦\r\n[早]\r\n回复=早\r\n"),
       "文件混用了两种编码 (第3行)", VK_END, ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.after.substr(0, 40));
    const std::string file = row.admin ? AdminFile() : ExactLibraryFile();
    WriteFile(file, row.before);
    std::string said;
    Drive(set, {[&](ui::SettingsWindow& w) {
                  platform::Click(w.Control(row.admin ? "按钮_远程命令" : "按钮_精确词库"));
                  if (!row.admin) ClickRow(w, 0);
                },
                [&](ui::SettingsWindow& w) {
                  if (row.shown) EXPECT_EQ(Text(w, row.admin ? "开启返回文本" : "词控_回复框"), row.shown);
                  Focus(w, row.admin ? "开启返回文本" : "词控_回复框");
                  PressKey(row.at, true);
                  TypeText("Z");
                  row.admin ? PressKey(VK_TAB) : PressKey('S', true);
                },
                [&](ui::SettingsWindow& w) { said = row.admin ? row.said : Text(w, "词控_搜索框"); }});
    if (row.admin) {
      EXPECT_NE(ReadFile(file).find(row.after), std::string::npos) << ReadFile(file);
    } else {
      EXPECT_TRUE(ReadFile(file) == row.after) << ReadFile(file).substr(0, 60);
    }
    EXPECT_EQ(said, row.said);
  }
}

ui::VariablePicker& Picker() { return *ui::OpenedVariablePicker(); }
std::string Help(const char* label) { return platform::WindowTextGbk(Picker().Control(label)); }

// A step that opens the picker returns when it has closed; the step after it runs in the picker.
TEST_F(LibraryPageTest, TheVariablePickerOpensBesideTheWindowAndAppendsThePickedVariableWhereTheOwnerGoesOnTyping) {
  const Step openPicker = [](ui::SettingsWindow& w) { platform::Click(w.Control("词控_变量")); };
  Drive(set, {[&](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                platform::SetWindowTextGbk(w.Control("词控_回复框"), "你好");
                platform::MoveWindowTo(w.handle(), 50, 50);
                openPicker(w);
              },
              [](ui::SettingsWindow& w) {
                ASSERT_NE(ui::OpenedVariablePicker(), nullptr);
                const platform::Rect p = platform::WindowRect(Picker().handle());
                EXPECT_EQ(std::vector<int>({p.left, p.top, p.width, p.height}), std::vector<int>({715, -60, 480, 720}));
                EXPECT_FALSE(platform::IsEnabled(w.handle()));  // modal
                EXPECT_EQ(Help("标签6"), " 说明: [@]=关键词触发者 [@ID]=艾特填写ID");
                platform::Click(Picker().Control("变量艾特"));
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Text(w, "词控_回复框"), "你好[@]");
                EXPECT_TRUE(platform::IsEnabled(w.handle()));
                Focus(w, "词控_回复框");
                PressKey('D', true);
              },
              [](ui::SettingsWindow&) { platform::Click(Picker().Control("变量图接口")); }, openPicker,
              [](ui::SettingsWindow&) { platform::Click(Picker().Control("取消")); }, openPicker,
              [](ui::SettingsWindow&) {
                Focus(Picker(), "变量日期");
                PressKey(VK_ESCAPE);
              },
              [&](ui::SettingsWindow& w) {
                EXPECT_EQ(ui::OpenedVariablePicker(), nullptr);  // cancel and Esc insert nothing
                EXPECT_EQ(Text(w, "词控_回复框"), "你好[@][图接口=]");
                // The keyboard alone: Ctrl+D, Esc in the picker; the window is active again,
                // the focus in the reply box, which takes the next key, and Ctrl+S saves.
                platform::SetWindowTextGbk(w.Control("词控_关键词框"), "键盘");
                Focus(w, "词控_回复框");
                PressKey(VK_END, true), PressKey('D', true);
              },
              [](ui::SettingsWindow&) {
                ASSERT_NE(ui::OpenedVariablePicker(), nullptr);
                PressKey(VK_ESCAPE);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(std::pair(GetActiveWindow(), GetFocus()), std::pair(w.handle(), w.Control("词控_回复框")));
                TypeText("k"), PressKey('S', true);
              },
              [&](ui::SettingsWindow& w) {
                EXPECT_EQ(Stored("键盘") + "," + Editor(w), "你好[@][图接口=]k,键盘/你好[@][图接口=]k");  // its row chosen
                Plugin().HostType = kHostWx;
                openPicker(w);
              },
              [](ui::SettingsWindow&) {
                EXPECT_EQ(Help("标签6") + "," + Help("标签3"), " 说明: 微信当前不支持该变量, 说明: 返回当前xxxx年xx月xx日");
                platform::Click(Picker().Control("取消"));
              }});
  // Picked with the mouse, Enter or Space, the picker opened by Ctrl+D in a box or by its
  // button: "http" typed next goes where the owner goes on typing (into the brackets of a
  // variable that takes an address), the caret in view. Esc with the box that had the
  // focus hidden meanwhile: the focus is where keys are seen.
  // A double click on a variable: the picker closes on its first click, and the
  // second, on the list under it, reaches no window (the reply typed stays, the
  // row chosen too); a second click later, or elsewhere, or after a press
  // released over another program, chooses the row it is on (and the next
  // pick, after a click elsewhere, is a click of its own).
  std::string lines, rows;
  for (int i = 0; i < 30; ++i) lines += "行\r\n";
  for (int i = 0; i < 20; ++i) rows += "[k" + std::to_string(i) + "]\r\n回复=r\r\n";
  WriteFile(ExactLibraryFile(), rows);
  enum Second { kNone, kAtOnce, kLater, kElsewhere, kReleasedAway };
  struct Pick {
    const char* from;      // Ctrl+D pressed in this box, or this button clicked
    const char* variable;  // null: `from` hidden, then Esc
    int key;               // pressed on the variable's button with the focus; 0: the mouse
    std::string before, after;
    Second second = kNone;  // a second click of the mouse, where it stands or on a row
  };
  int selected = -1, listClicks = 0;
  const Pick picks[] = {{"词控_回复框", "变量艾特", 0, "ra", "ra[@]http"},
                        {"词控_变量", "变量图接口", 0, "ra", "ra[图接口=http]"},
                        {"词控_关键词框", "变量文接口", VK_RETURN, lines + "ra", lines + "ra[文接口=http]"},
                        {"词控_回复框", "变量日期", VK_RETURN, "ra", "ra[日期]http"},
                        {"词控_回复框", "变量数字", VK_SPACE, "ra", "ra[数字]http"},
                        {"词控_回复框", "变量星期", 0, lines + "ra", lines + "ra[星期]http", kAtOnce},
                        {"词控_回复框", "变量星期", 0, "ra", "r", kLater},
                        {"词控_回复框", "变量星期", 0, "ra", "r", kElsewhere},
                        {"词控_回复框", "变量星期", 0, "ra", "r", kReleasedAway},
                        {"词控_关键词框", nullptr, 0, "ra", "ra"}};
  std::vector<Step> steps = {[&](ui::SettingsWindow& w) {
    platform::Click(w.Control("按钮_精确词库"));
    AsWindowsBox(w.Control("词控_回复框"));
    SetWindowSubclass(w.Control("词库列表"), CountsClicks, 8, reinterpret_cast<DWORD_PTR>(&listClicks));
  }};
  for (const Pick& pick : picks) {
    steps.push_back([&](ui::SettingsWindow& w) {
      selected = List(w).SelectedRow(), listClicks = 0;
      platform::SetWindowTextGbk(w.Control("词控_回复框"), pick.before);
      if (pick.from == std::string("词控_变量")) return ClickWithMouse(w.Control(pick.from));
      Focus(w, pick.from);
      PressKey('D', true);
    });
    steps.push_back([&pick](ui::SettingsWindow& w) {
      if (!pick.variable) return platform::ShowWindowIf(w.Control(pick.from), false), PressKey(VK_ESCAPE);
      if (!pick.key) return ClickWithMouse(Picker().Control(pick.variable));
      Focus(Picker(), pick.variable);
      PressKey(pick.key);
    });
    steps.push_back([&pick](ui::SettingsWindow& w) {
      // The picker has gone: a second click where it was falls on a row of the list
      // (at once: at the corner of the system's rectangle of a double click).
      POINT at{};
      GetCursorPos(&at);
      const int dx = GetSystemMetrics(SM_CXDOUBLECLK) / 2, dy = GetSystemMetrics(SM_CYDOUBLECLK) / 2;
      if (pick.second == kAtOnce) SetCursorPos(at.x + dx, at.y + dy);
      if (pick.second == kLater) Sleep(GetDoubleClickTime() + 100);
      if (pick.second == kReleasedAway) ClickWhereTheMouseIs(false);
      if (pick.second == kElsewhere) ClickRow(w, 10);
      else if (pick.second) EXPECT_EQ(ClickWhereTheMouseIs(), w.Control("词库列表"));
      const HWND focus = GetFocus();
      EXPECT_TRUE(IsWindowVisible(focus) && IsWindowEnabled(focus)) << pick.from;
      POINT caret{};
      RECT box{};
      GetCaretPos(&caret), GetClientRect(w.Control("词控_回复框"), &box);
      if (pick.variable) {
        EXPECT_EQ(std::tuple(focus, caret.y >= 0 && caret.y < box.bottom), std::tuple(w.Control("词控_回复框"), true));
        EXPECT_TRUE(CaretLineInView(w.Control("词控_回复框"))) << pick.variable;
      }
      TypeText("http");
    });
    steps.push_back([&](ui::SettingsWindow& w) {
      const bool chosen = pick.second > kAtOnce;
      EXPECT_EQ(std::pair(listClicks, List(w).SelectedRow() != selected), std::pair(chosen ? 2 : 0, chosen));
      EXPECT_EQ(Text(w, "词控_回复框"), pick.after);
      platform::ShowWindowIf(w.Control(pick.from), true);
    });
  }
  Drive(set, steps);
}

}  // namespace
}  // namespace zoq::testing
