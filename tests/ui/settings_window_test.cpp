// The settings window, its options page and its home page through the real
// settings exports, keys through the window's own message loop; and a host
// that unloads the real DLL while a window is open.
#include <windows.h>

#include <commctrl.h>
#include <zlib.h>

#include <array>
#include <cstring>

#include "core/info/info_records.hpp"
#include "core/program.hpp"
#include "core/settings.hpp"
#include "platform/files.hpp"
#include "text/text.hpp"
#include "tests/host/harness.hpp"
#include "tests/ui/settings_fixture.hpp"
#include "ui/image.hpp"
#include "ui/pictures.hpp"

namespace zoq::testing {
namespace {

// An 8 x 8 grey JPEG.
const std::string kJpeg(
    "\xFF\xD8\xFF\xE0\x00\x10\x4A\x46\x49\x46\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xFF\xDB\x00\x43\x00\x10\x0B"
    "\x0C\x0E\x0C\x0A\x10\x0E\x0D\x0E\x12\x11\x10\x13\x18\x28\x1A\x18\x16\x16\x18\x31\x23\x25\x1D\x28\x3A\x33\x3D"
    "\x3C\x39\x33\x38\x37\x40\x48\x5C\x4E\x40\x44\x57\x45\x37\x38\x50\x6D\x51\x57\x5F\x62\x67\x68\x67\x3E\x4D\x71"
    "\x79\x70\x64\x78\x5C\x65\x67\x63\xFF\xC0\x00\x0B\x08\x00\x08\x00\x08\x01\x01\x11\x00\xFF\xC4\x00\x14\x00\x01"
    "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x06\xFF\xC4\x00\x14\x10\x01\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\x48\xFF\xD9",
    159);

// `bytes` with a big-endian word of `size` bytes at `at`.
std::string With(std::string bytes, std::size_t at, unsigned value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * (size - 1 - i)));
  return bytes;
}

// A picture of w x h pixels, all of one colour (R, G, B, A), as PNG bytes.
std::string SolidPng(int w, int h, const std::array<std::uint8_t, 4>& rgba) {
  std::string rows;
  for (int y = 0; y < h; ++y) {
    rows += '\0';  // no filter
    for (int x = 0; x < w; ++x) rows.append(reinterpret_cast<const char*>(rgba.data()), 4);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
  std::string packed(packedSize, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(rows.data()),
           static_cast<uLong>(rows.size()));
  packed.resize(packedSize);
  const auto chunk = [](const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const auto sum = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return With(std::string(4, '\0'), 0, static_cast<unsigned>(data.size()), 4) + body +
           With(std::string(4, '\0'), 0, static_cast<unsigned>(sum), 4);
  };
  const std::string header = With(With(std::string("\0\0\0\0\0\0\0\0\x08\x06\0\0\0", 13), 0, w, 4), 4, h, 4);
  return "\x89PNG\r\n\x1A\n" + chunk("IHDR", header) + chunk("IDAT", packed) + chunk("IEND", "");
}

// The page shown, and which page buttons are enabled: all but the page's own.
std::string Page(ui::SettingsWindow& w) {
  std::string page = std::to_string(w.Page());
  for (const char* button : {"按钮_插件主页", "按钮_远程命令", "按钮_精确词库", "按钮_模糊词库"}) {
    page += "01"[platform::IsEnabled(w.Control(button))];
  }
  return page;
}

using namespace std::string_literals;

// Opening a library, the page's search box names the line where the file of
// the library shown mixes two encodings (the third here), or holds a
// character that is cut (UTF-16 ending in half a pair, on its second line); a
// file that reads whole leaves the box's hint.
TEST_F(SettingsWindowTest, ALibraryThatDoesNotReadWholeIsToldWhereWhenItIsShown) {
  const std::string mixed = Utf8(u8"[早安]\r\n回复=早上好\r\n") + "[\xCE\xE7]\r\n" + Utf8(u8"[晚安]\r\n回复=好梦\r\n");
  const std::string cut = "\xFF\xFE[\0k\0]\0\r\0\n\0\x00\xD8"s;
  const struct {
    const char* button;
    std::string exact, fuzzy;
    const char* said;
  } rows[] = {{"按钮_精确词库", mixed, "", "文件混用了两种编码 (第3行)"},
              {"按钮_模糊词库", "", mixed, "文件混用了两种编码 (第3行)"},
              {"按钮_模糊词库", mixed, "", "搜索内容 (CTRL+F)"},
              {"按钮_精确词库", cut, "", "第2行有残缺的字, 文件不会被改写"}};
  for (const auto& row : rows) {
    WriteFile(ExactLibraryFile(), row.exact);
    WriteFile(FuzzyLibraryFile(), row.fuzzy);
    std::string said;
    Drive(set, {[&](ui::SettingsWindow& w) { platform::Click(w.Control(row.button)); },
                [&](ui::SettingsWindow& w) { said = Text(w, "词控_搜索框"); }});
    EXPECT_EQ(said, row.said) << row.button << " " << &row - rows;
  }
}

// Each export opens the window; the avatar service answers each time with
// other bytes: pictures are drawn 100 pixels wide under the frame, and broken,
// foreign or oversized ones (a header that claims a side beyond the cap) give
// an empty picture.
TEST_F(SettingsWindowTest, EachSettingsExportOpensTheWindowOnTheHomePageWithTheAvatarAsItCame) {
  const std::string png(ui::PictureData(ui::Picture::Background)), garbled = With(png, png.size() / 2, 0x55, 1);
  std::string wide = With(png, 16, ui::kMaxPictureSide + 1, 4);  // with a valid checksum
  wide = With(wide, 29, crc32(0, reinterpret_cast<const Bytef*>(wide.data() + 12), 17), 4);
  const std::string avatars[] = {png,     kJpeg, "", "GIF89a......", png.substr(0, png.size() / 2), kJpeg.substr(0, 40),
                                 garbled, wide,  With(kJpeg, kJpeg.find("\xFF\xC0") + 7, ui::kMaxPictureSide + 8, 2), png};
  const int widths[] = {800, 8, 0, 0, 0, 0, 0, 0, 0, 800};
  const Export exports[] = {set, OQ_SetUp, MQset, SP_SetUp, ER_SetUp, XQ_SetUp, MQ_Set, ISky_Menu, Settings, ZOQ_MeKyu};
  for (std::size_t i = 0; i < 10; ++i) {
    server.Serve("/headimg_dl?dst_uin=10001&spec=100", avatars[i]);
    EXPECT_EQ(Drive(exports[i], {[&](ui::SettingsWindow& w) {
                      EXPECT_EQ(Page(w), "20111");
                      EXPECT_EQ(Text(w, "版本标签") + "," + Text(w, "主页_登录号头像") + "," + Text(w, "主页_群号显示"),
                                VersionText() + ",10001,Q群 735921846");
                      SIZE ideal{};  // its controls are those of Common Controls 6
                      EXPECT_TRUE(
                          SendMessageW(w.Control("主页_复制"), BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
                      const std::vector<ui::PictureItem> items = w.ItemsOf(w.Control("头像动画框"));
                      ASSERT_EQ(items.size(), 2u);
                      const int width = items[0].picture.bitmap ? items[0].picture.bitmap->width() : 0;
                      const int scale = width ? 100000 / width : 1000;
                      EXPECT_EQ(std::vector<int>({width, items[0].scaleX, items[0].scaleY}),
                                std::vector<int>({widths[i], scale, scale}));
                      EXPECT_EQ(items[1].picture.builtIn, ui::Picture::AvatarOverlayPicture);
                      EXPECT_EQ(w.ShownBitmap(w.Control("群头像")), nullptr);  // the group picture was not served
                    }}),
              0);
    EXPECT_EQ(ui::OpenedSettingsWindow(), nullptr);
  }
  EXPECT_EQ(server.Targets().at(0) + " " + server.Targets().at(1),
            "/headimg_dl?dst_uin=10001&spec=100 /gh/735921846/735921846/640/");
}

// The avatar is drawn in its own colours over the box's background (what
// the box shows without an avatar), its transparency as it came, every pixel.
TEST_F(SettingsWindowTest, TheAvatarIsDrawnInItsOwnColours) {
  const std::string avatars[] = {"", SolidPng(4, 3, {200, 100, 30, 255}), SolidPng(4, 3, {200, 100, 30, 0}),
                                 SolidPng(4, 3, {200, 100, 30, 128})};
  std::vector<COLORREF> shown;
  for (const std::string& avatar : avatars) {
    server.Serve("/headimg_dl?dst_uin=10001&spec=100", avatar);
    Drive(set, {[&](ui::SettingsWindow& w) {
            // The middle of the box (within the overlay's ring) shows one colour.
            const Printed box(w.Control("头像动画框"));
            const COLORREF middle = box.At(50, 40);
            const int same = box.Count({30, 20, 70, 60}, [&](COLORREF c) { return c == middle; });
            shown.push_back(same == 40 * 40 ? middle : CLR_INVALID);
          }});
  }
  const COLORREF behind = shown[0];
  const auto half = [&](int (*part)(COLORREF), int own) { return part(behind) + (own - part(behind)) * 128 / 255; };
  const COLORREF mixed = RGB(half([](COLORREF c) -> int { return GetRValue(c); }, 200),
                             half([](COLORREF c) -> int { return GetGValue(c); }, 100),
                             half([](COLORREF c) -> int { return GetBValue(c); }, 30));
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(std::vector<COLORREF>(shown.begin() + 1, shown.end()), (std::vector<COLORREF>{RGB(200, 100, 30), behind, mixed}))
      << std::hex << behind;
}

// The robot's and the maker group's pictures share one wait of the shipped
// length: against a service that never answers, the window opens once it is
// spent, and the second picture is not even asked for.
TEST_F(SettingsWindowTest, TheTwoOpeningPicturesShareOneWait) {
  ui::ResetHomeWebSettings();
  const platform::HttpTimeouts shipped = ui::HomeWebSettings().limits;
  ui::HomeWebSettings() = {server.base(), server.base(), "https://bbs.example", shipped};
  server.Stall(2 * shipped.totalMs / 1000 + 5);
  EXPECT_EQ(Drive(set, {[](ui::SettingsWindow& w) { EXPECT_EQ(w.ShownBitmap(w.Control("群头像")), nullptr); }}), 0);
  EXPECT_EQ(server.Targets(), std::vector<std::string>{"/headimg_dl?dst_uin=10001&spec=100"});
}

// A fresh data folder: each navigation button, clicked with the mouse, leaves
// the focus on its page's first box, from which Tab goes on; the pages store
// what they show where the file lacks it, so that the owner's commands are
// answered with the return texts the options page showed. Values stored
// whole are shown whole and stay byte for byte.
TEST_F(SettingsWindowTest, PagesStoreWhatTheyShowWhereTheFileLacksItAndTheRobotAnswersWithIt) {
  const char* kReturnTexts[] = {"开启返回文本", "关闭返回文本", "添加返回文本", "删除返回文本", "精确返回文本", "模糊返回文本"};
  struct Navigation {
    const char *button, *page, *first;  // the focus after the click
    std::vector<std::string> tabs;      // then where Tab takes it, round to the first again
  };
  const std::vector<std::string> nav = {"按钮_插件主页", "按钮_远程命令", "按钮_精确词库", "按钮_模糊词库", "退出设置"};
  const auto without = [&](const char* own) {
    std::vector<std::string> others;
    for (const std::string& b : nav) {
      if (b != own) others.push_back(b);
    }
    return others;
  };
  const auto ring = [](std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  const std::vector<std::string> library = {"词控_回复框", "词控_冷却时间"}, libraryTop = {
      "词控_搜索框", "词控_搜索", "词库列表", "词控_删除", "词控_橡皮", "词控_变量", "词控_保存", "词控_关键词框"};
  const Navigation navigation[] = {
      {"按钮_精确词库", "11101", "词控_关键词框", ring({library, without("按钮_精确词库"), libraryTop})},
      {"按钮_模糊词库", "11110", "词控_关键词框", ring({library, without("按钮_模糊词库"), libraryTop})},
      {"按钮_插件主页", "20111", "主页_群号列表",
       ring({{"主页_复制", "主页_访问论坛"}, without("按钮_插件主页"),
             {"主页_记忆控制", "主页_群号控制", "主页_私聊控制", "主页_群聊控制", "主页_仅限艾特", "主页_群号列表"}})},
      {"按钮_远程命令", "01011", "主人号码",
       ring({{"开启命令", "开启返回文本", "关闭命令", "关闭返回文本", "添加命令", "添加返回文本", "删除命令",
              "删除返回文本", "精确命令", "精确返回文本", "模糊命令", "模糊返回文本"},
             without("按钮_远程命令"), {"插件开关", "删除词汇", "词库权限", "主人号码"}})}};
  ASSERT_FALSE(platform::FileExists(DataFile("admin")));
  std::map<std::string, std::string> shown;
  std::vector<Step> steps;
  auto seen = std::make_shared<std::vector<std::string>>();
  for (const Navigation& n : navigation) {
    steps.push_back([n](ui::SettingsWindow& w) { ClickWithMouse(w.Control(n.button)); });
    steps.push_back([n, seen](ui::SettingsWindow& w) {
      EXPECT_EQ(Page(w), n.page);
      EXPECT_EQ(platform::FocusedWindow(), w.Control(n.first)) << n.button;
      seen->clear();
      PressKey(VK_TAB);
    });
    for (std::size_t i = 0; i < n.tabs.size(); ++i) {
      steps.push_back([n, seen, i](ui::SettingsWindow& w) {
        seen->push_back(FocusedName(w, n.tabs));
        if (i + 1 < n.tabs.size()) return PressKey(VK_TAB);
        EXPECT_EQ(*seen, n.tabs) << n.button;
      });
    }
  }
  steps.back() = [&, last = steps.back()](ui::SettingsWindow& w) {
    last(w);
    for (const char* box : kReturnTexts) shown[box] = Text(w, box);
  };
  Drive(set, steps);
  EXPECT_EQ(shown["关闭返回文本"] + "," + shown["添加返回文本"], "词库功能已关闭,待创建词汇:[词汇]");
  for (const char* key : kReturnTexts) EXPECT_EQ(Admin(key), text::LineBreaksAsN(shown[key])) << key;
  EXPECT_EQ(Admin("关闭命令") + Admin("群号列表") + Admin("模糊冷却"), "关闭问答多群可使用任意符号分割0");

  // The owner's commands through the host's event export, answered as shown.
  FakeHostDll& vlq = Fake("VLQapi.dll");
  const auto answer = [&](const std::string& message) { return Answered(vlq, "1357924680", message); };
  const auto as = [&](const char* key, const std::string& keyword, const std::string& reply = {}) {
    return text::ReplaceAll(text::ReplaceAll(shown[key], "[词汇]", keyword), "[回复]", reply);
  };
  EXPECT_EQ(answer("关闭问答"), as("关闭返回文本", ""));
  EXPECT_EQ(answer("开启问答"), as("开启返回文本", ""));
  EXPECT_EQ(answer("添加词汇测试词"), as("添加返回文本", "测试词"));
  EXPECT_EQ(answer("精确回复你好"), as("精确返回文本", "测试词", "你好"));
  EXPECT_EQ(answer("添加词汇模糊词"), as("添加返回文本", "模糊词"));
  EXPECT_EQ(answer("模糊回复世界"), as("模糊返回文本", "模糊词", "世界"));
  EXPECT_EQ(answer("删除词汇测试词"), as("删除返回文本", ""));

  const std::string longText(10300, 'x'), longList(10300, '7');  // longer than the core reads
  const std::string wide = text::ReplaceAll(std::string(6090, 'x'), "x", "字");  // cut once at the first key, it was
  for (const auto& [key, value] : {std::pair{"开启返回文本", longText}, {"主人号码", longList}, {"群号列表", longList},
                                   {"精确返回文本", std::string("a[N]b")}, {"关闭命令", std::string("\"q\"")},
                                   {"关闭返回文本", wide}})
    WriteAdminItem(key, value);
  const std::string before = ReadFile(DataFile("admin"));
  Drive(set, {[&](ui::SettingsWindow& w) {
          EXPECT_EQ(Text(w, "主页_群号列表"), longList);
          platform::Click(w.Control("按钮_远程命令"));
          EXPECT_EQ(std::vector<std::string>({Text(w, "开启返回文本"), Text(w, "主人号码"), Text(w, "精确返回文本")}),
                    std::vector<std::string>({longText, longList, "a\r\nb"}));
          EXPECT_EQ(Plugin().Current()->Settings.主人号码, longList);
          ClickWithMouse(w.Control("开启返回文本滚动条"));  // its slim bar, below the thumb: a page on
        },
        [&](ui::SettingsWindow& w) {
          EXPECT_GT(SendMessageW(w.Control("开启返回文本"), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
          EXPECT_TRUE(Text(w, "关闭返回文本") == wide);
          Focus(w, "关闭返回文本");
          PressKey(VK_END, true);
          TypeText("z");
        },
        [](ui::SettingsWindow&) { PressKey(VK_TAB); }});
  EXPECT_TRUE(ReadFile(DataFile("admin")) == text::ReplaceAll(before, wide, wide + "z")) << "not only what was typed";
}

TEST_F(SettingsWindowTest, TypedTextReachesTheCoreAtOnceAndTheFileWhenTheOwnerLeavesTheBox) {
  for (const char* key : {"主人号码", "开启返回文本", "关闭返回文本"}) WriteAdminItem(key, "");
  FakeHostDll& vlq = Fake("VLQapi.dll");
  Drive(set, {[](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_远程命令"));
                Focus(w, "主人号码");
                TypeText("1２");
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Plugin().Current()->Settings.主人号码, "12");  // a full-width digit as the same digit
                EXPECT_EQ(Admin("主人号码"), "");  // not at every keystroke
                EXPECT_TRUE(platform::IsVisible(w.Control("号码提示")));
                for (int stop = 0; stop < 20; ++stop) PressKey(VK_TAB);  // round the page's 20 stops
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Admin("主人号码"), "1２");  // as typed
                EXPECT_EQ(platform::FocusedWindow(), w.Control("主人号码"));
                Focus(w, "开启返回文本");
                TypeText("a");
                PressKey(VK_RETURN);  // a new line in a multi-line box
              },
              [](ui::SettingsWindow& w) {
                EXPECT_FALSE(platform::IsVisible(w.Control("号码提示")));
                TypeText("b");
              },
              [&](ui::SettingsWindow&) {
                // The robot answers with what the box shows, before the file has it.
                EXPECT_EQ(Admin("开启返回文本"), "");
                EXPECT_EQ(Answered(vlq, "12", "开启问答"), "a\r\nb");
                PressKey(VK_TAB);
              },
              [](ui::SettingsWindow& w) {
                Focus(w, "关闭返回文本");
                platform::SetClipboardText("x\ny\rz\r\nw");  // pasted: lone LF and CR too
                PressKey('V', true);
              },
              [](ui::SettingsWindow&) { PressKey(VK_TAB); },
              [&](ui::SettingsWindow& w) {
                EXPECT_EQ(Admin("开启返回文本") + "," + Admin("关闭返回文本"), "a[N]b,x[N]y[N]z[N]w");
                EXPECT_EQ(Answered(vlq, "12", "关闭问答"), "x\r\ny\r\nz\r\nw");
                SetFileAttributesA(AdminFile().c_str(), FILE_ATTRIBUTE_READONLY);  // refuses a change
                Focus(w, "关闭返回文本");
                TypeText("!");
              },
              [](ui::SettingsWindow&) { PressKey(VK_TAB); },
              [&](ui::SettingsWindow& w) {
                // Not stored: the robot goes on answering with what the box shows.
                EXPECT_EQ(Admin("关闭返回文本"), "x[N]y[N]z[N]w");
                EXPECT_EQ(Answered(vlq, "12", "关闭问答"), "x\r\ny\r\nz\r\nw!");
                SetFileAttributesA(AdminFile().c_str(), FILE_ATTRIBUTE_NORMAL);
                Focus(w, "开启返回文本");
                TypeText("!");
              },
              [](ui::SettingsWindow&) {}});  // taken; the window closes before the owner pauses
  // Closing stored what the file refused before; once the window is gone,
  // nothing typed stands for the file: an edit by hand is answered.
  EXPECT_EQ(Admin("关闭返回文本"), "x[N]y[N]z[N]w!");
  WriteAdminItem("开启返回文本", "by hand");
  EXPECT_EQ(Answered(vlq, "12", "开启问答"), "by hand");
}

// A return text the file refuses (read-only) is answered as the file will
// read it back, and the window says it is not stored; once the file takes
// writes, it is stored at the next pause, at a page switch or as the window
// closes, and from then on the file's own value is answered. A window the
// host closes (on its thread or from another) while the file still refuses
// takes what was typed with it; the owner closing it (Alt+F4, the quit
// button) is asked first: 否 stays, 是 leaves. The question names every text
// refused, in the order of the pages.
TEST_F(SettingsWindowTest, ARefusedTextIsTriedAgainUntilItIsStored) {
  enum class Then { Pause, PageSwitch, Close, OwnerCloses, CloseRefused, ClosedElsewhere, OwnerStays, OwnerLeaves, ClosedWhileAsked };
  std::vector<std::string> asked;
  Then then{};
  HWND shown = nullptr;
  std::thread elsewhere;
  platform::SetMessageBoxHook([&](const std::string& text, const std::string& title, unsigned flags) {
    asked.push_back(text + "|" + title + "|" + std::to_string(flags));
    if (then != Then::ClosedWhileAsked) return then == Then::OwnerStays ? IDNO : IDYES;
    // The host closes the windows while the question is up: the window goes
    // (and the box with it) without asking again.
    elsewhere = std::thread(ui::CloseSettingsWindows);
    for (MSG m; IsWindow(shown) && GetMessageW(&m, nullptr, 0, 0);) DispatchMessageW(&m);
    return 0;
  });
  FakeHostDll& vlq = Fake("VLQapi.dll");
  WriteAdminItem("主人号码", "12");  // reaches the core as the page opens
  WriteAdminItem("插件开关", "关");   // off already: the command writes nothing
  Plugin().Change([](Options& o) { o.插件开关 = false; });
  struct Row {
    Then then;
    std::vector<std::pair<const char*, const char*>> more = {};  // boxes typed in too, and their pages' buttons
    std::string named = "关闭返回文本\n";
  };
  const Row rows[] = {{Then::Pause}, {Then::PageSwitch}, {Then::Close}, {Then::OwnerCloses}, {Then::CloseRefused},
                      {Then::ClosedElsewhere}, {Then::OwnerStays}, {Then::OwnerLeaves}, {Then::ClosedWhileAsked},
                      {Then::OwnerLeaves,
                       {{"开启命令", "按钮_远程命令"}, {"词控_冷却时间", "按钮_精确词库"}, {"主页_群号列表", "按钮_插件主页"}},
                       "开启命令\n关闭返回文本\n冷却时间\n群号列表\n"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(then = row.then));
    const bool refused = then >= Then::CloseRefused, owner = then == Then::OwnerCloses || then >= Then::OwnerStays;
    WriteAdminItem("关闭返回文本", "OLD");
    asked.clear();
    std::vector<Step> steps = {[&](ui::SettingsWindow& w) {
                  shown = w.handle();
                  SetFileAttributesA(AdminFile().c_str(), FILE_ATTRIBUTE_READONLY);
                  platform::Click(w.Control("按钮_远程命令"));
                  Focus(w, "关闭返回文本");
                  PressKey(VK_END, true);
                  TypeText(" \"NEW\" ");
                },
                [](ui::SettingsWindow&) { PressKey(VK_TAB); },
                [&](ui::SettingsWindow& w) {
                  EXPECT_EQ(Admin("关闭返回文本"), "OLD");
                  EXPECT_EQ(Answered(vlq, "12", "关闭问答"), "OLD \"NEW\"");  // blanks at the end go
                  EXPECT_TRUE(platform::IsVisible(w.Control("未保存提示")));
                  const Printed sign(w.Control("未保存提示"));  // in red
                  const auto red = [](COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) < 140 && GetBValue(c) < 140; };
                  EXPECT_GT(sign.Count(sign.All(), red), 20);
                  // on the window's own dark ground, behind the letters too
                  EXPECT_EQ(sign.Count(sign.All(), [](COLORREF c) { return GetRValue(c) + GetGValue(c) > 400; }), 0);
                  if (then == Then::PageSwitch) {  // still refused: the page shows the typed text again
                    platform::Click(w.Control("按钮_精确词库"));
                    platform::Click(w.Control("按钮_远程命令"));
                    EXPECT_EQ(Text(w, "关闭返回文本"), "OLD \"NEW\" ");
                    EXPECT_TRUE(platform::IsVisible(w.Control("未保存提示")));
                  }
                  if (!refused) SetFileAttributesA(AdminFile().c_str(), FILE_ATTRIBUTE_NORMAL);
                  if (then == Then::PageSwitch) {
                    platform::Click(w.Control("按钮_精确词库"));
                    platform::Click(w.Control("按钮_远程命令"));
                  }
                  if (then == Then::Pause) Sleep(1700);
                },
                [](ui::SettingsWindow&) {}};  // the pause is over
    for (const auto& [box, page] : row.more) {
      steps.push_back([box, page](ui::SettingsWindow& w) {
        platform::Click(w.Control(page));
        Focus(w, box);
        TypeText("7");
      });
    }
    steps.push_back([&](ui::SettingsWindow& w) {
      if (owner) return then == Then::OwnerLeaves ? ClickWithMouse(w.Control("退出设置")) : PressKeyWithAlt(VK_F4);
      if (then == Then::ClosedElsewhere) elsewhere = std::thread(ui::CloseSettingsWindows);
      if (then >= Then::Close) return;
      EXPECT_EQ(Admin("关闭返回文本"), "OLD \"NEW\"");
      EXPECT_FALSE(platform::IsVisible(w.Control("未保存提示")));
      WriteAdminItem("关闭返回文本", "HAND");
      EXPECT_EQ(Answered(vlq, "12", "关闭问答"), "HAND");
    });
    if (then == Then::OwnerStays) steps.push_back([](ui::SettingsWindow&) {});  // still open; the host closes it
    Drive(set, steps, (owner && then != Then::OwnerStays) || then == Then::ClosedElsewhere);
    if (elsewhere.joinable()) elsewhere.join();
    EXPECT_EQ(asked, std::vector<std::string>(then >= Then::OwnerStays, "以下内容尚未保存 (设置文件无法写入):\n" + row.named +
                                              "仍要退出设置吗?|ZOQ·关键词|" + std::to_string(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2)));
    if (then == Then::Close || then == Then::OwnerCloses) {
      EXPECT_EQ(Admin("关闭返回文本"), "OLD \"NEW\"");
    }
    if (refused) {
      SetFileAttributesA(AdminFile().c_str(), FILE_ATTRIBUTE_NORMAL);
      EXPECT_EQ(Answered(vlq, "12", "关闭问答"), "OLD");
    }
  }
  platform::SetMessageBoxHook(nullptr);
}

TEST_F(SettingsWindowTest, SwitchesFlipShowAndWriteTheirSettingAndCopyTheGroupNumber) {
  struct Switch {
    const char *page, *button, *picture, *key;
    bool (*setting)();
  };
  const Switch switches[] = {
      {"按钮_远程命令", "插件开关", "插件开关图", "插件开关", [] { return Plugin().Current()->插件开关; }},
      {"按钮_远程命令", "删除词汇", "删除词汇", "全员删除", [] { return Plugin().Current()->Settings.全员删除; }},
      {"按钮_插件主页", "主页_群号控制", "主页_群号图", "仅限群号", [] { return Plugin().Current()->仅限群号; }}};
  Drive(set, {[&](ui::SettingsWindow& w) {
          for (const Switch& s : switches) {
            platform::Click(w.Control(s.page));
            for (const bool now : {!s.setting(), s.setting()}) {
              platform::Click(w.Control(s.button));
              EXPECT_EQ(s.setting(), now) << s.key;
              const bool own = std::string(s.button) == s.picture;  // a permission button shows its own state
              using enum ui::Picture;
              EXPECT_EQ(w.ShownBuiltIn(w.Control(s.picture)), own ? (now ? PicButtonOnPicture : PicButtonOffPicture)
                                                                   : (now ? SwitchOnPicture : SwitchOffPicture));
              EXPECT_EQ(Admin(s.key), now ? "开" : "关") << s.key;
            }
          }
          for (const char* account : {"10001", "20002"}) {  // remembering the account: its state is in the file only
            Plugin().SetRobotAccount(account, false);
            platform::Click(w.Control("主页_记忆控制"));
            EXPECT_EQ(Admin("记忆号码"), account);
          }
          EXPECT_EQ(Admin("记忆登录"), "关");
          EXPECT_EQ(w.ShownBuiltIn(w.Control("主页_记忆图")), ui::Picture::SwitchOffPicture);
          Focus(w, "主页_复制");
          platform::Click(w.Control("主页_复制"));
          EXPECT_TRUE(ClipboardFree());
          EXPECT_EQ(platform::ClipboardText() + Text(w, "主页_复制"), "735921846OK");
          Focus(w, "主页_群号列表");
          EXPECT_EQ(Text(w, "主页_复制"), "复制 ");
          // From the keyboard: Space and Enter click the switch (or button) with the focus.
          Focus(w, "主页_私聊控制");
          PressKey(VK_SPACE);
        },
        [](ui::SettingsWindow& w) {
          EXPECT_FALSE(Plugin().Current()->Settings.好友权限);
          const Printed focused(w.Control("主页_私聊控制"));  // it shows the focus, its frame's corners too
          const RECT all = focused.All();
          EXPECT_EQ(std::vector<COLORREF>({focused.At(0, 0), focused.At(all.right - 1, 0), focused.At(0, all.bottom - 1)}),
                    std::vector<COLORREF>(3, RGB(46, 170, 220)));
          PressKey(VK_RETURN);
        },
        [](ui::SettingsWindow& w) {
          EXPECT_TRUE(Plugin().Current()->Settings.好友权限);
          Focus(w, "按钮_精确词库");
          PressKey(VK_RETURN);
        },
        [](ui::SettingsWindow& w) { EXPECT_EQ(w.Page(), 1); }});
}

// The stop export on the window's own thread, unloading, and the stop export
// "end" on another thread: with the window's thread in its loop, sending to a
// window of the stopping thread (as a host call may), or held up beyond the
// stop's wait, which then returns without the window gone (it goes once its
// thread is back). The settings export returns; what was typed is kept.
TEST_F(SettingsWindowTest, ShutDownOrUnloadingClosesTheWindowAndKeepsWhatWasTyped) {
  enum class Stop { OwnThread, Unloading, OtherThread, SendingToIt, HeldUp };
  const std::pair<Stop, bool> rows[] = {{Stop::OwnThread, true},   {Stop::Unloading, true}, {Stop::OtherThread, true},
                                        {Stop::SendingToIt, true}, {Stop::HeldUp, false}};
  for (const auto& [stop, goneOnReturn] : rows) {
    SCOPED_TRACE(static_cast<int>(stop));
    WriteAdminItem("群号列表", "");
    OtherThreadStop other;
    bool goneAtOnce = false;
    Script script({[] {
                     EXPECT_EQ(OQ_SetUp(), 0);  // returns at once: the open window stays
                     Focus(*ui::OpenedSettingsWindow(), "主页_群号列表");
                     TypeText("9");
                   },
                   [&, stop = stop] {
                     ui::SettingsWindow& w = *ui::OpenedSettingsWindow();
                     const HWND window = w.handle();
                     if (stop == Stop::OwnThread || stop == Stop::Unloading) {
                       EXPECT_EQ(stop == Stop::OwnThread ? ER_DestroyPlugin() : (ProgramExit(), 0), 0);
                       goneAtOnce = !IsWindow(window) && !w.handle();
                       return;
                     }
                     other.Start([window] { return !IsWindow(window) && !ui::OpenedSettingsWindow(); });
                     if (stop == Stop::SendingToIt) other.SendToIt();
                     EXPECT_TRUE(stop != Stop::HeldUp || WaitFor([&] { return other.stopped.load(); }));
                   }});
    EXPECT_EQ(set(), 0);
    other.Finish();
    if (stop == Stop::OwnThread || stop == Stop::Unloading) {
      EXPECT_TRUE(goneAtOnce);
    } else {
      EXPECT_EQ(other.result, 0);
      EXPECT_EQ(other.goneOnReturn, goneOnReturn);
    }
    EXPECT_EQ(ui::OpenedSettingsWindow(), nullptr);
    if (!PluginIfAlive()) ProgramStart(folder), LoadSettings();
    EXPECT_EQ(Admin("群号列表"), "9");
    Plugin().SetRobotAccount(Plugin().RobotAccount(), true);
  }
}

// The host's own loop is told to end (its quit message) while the window is
// open, a box being typed in: the window closes, what was typed is kept, the
// export returns and the host's loop still gets the message, with its exit
// code.
TEST_F(SettingsWindowTest, AQuitWhileOpenClosesTheWindowAndReachesTheHostsLoop) {
  WriteAdminItem("群号列表", "");
  Script script({[] {
                   Focus(*ui::OpenedSettingsWindow(), "主页_群号列表");
                   TypeText("９");
                 },
                 [] {
                   EXPECT_EQ(Plugin().Current()->群号列表, "9");  // a full-width digit as the same digit
                   PostQuitMessage(7);
                 }});
  EXPECT_EQ(set(), 0);
  EXPECT_EQ(Admin("群号列表"), "９");  // as typed
  EXPECT_EQ(ui::OpenedSettingsWindow(), nullptr);
  MSG quit{};
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 7u);
}

// The host frees the DLL while the settings window, the chooser or the
// function-table host's runtime-error box (its channel send declared without
// arguments) is open, then it closes: the DLL goes once the export has
// returned, or stays for good after the box; the host goes on.
TEST(UnloadWhileOpen, TheHostFreesTheDllFromATimerOrAThreadAndGoesOn) {
  for (const char* helper : {"unload-timer.dll", "unload-thread.dll"}) {
    for (const std::string open : {"chooser", "settings", "box"}) {
      Host host(FreshRunFolder(std::string("ui-") + helper + "-" + open));
      WriteFile(host.folder() + "\\" + helper, ReadFile(BinFolder() + "\\ui_unload_helper.dll"));
      ASSERT_TRUE(host.Load());
      for (const std::int32_t code : {12000, 1101}) {  // enabled with an account: the settings window opens
        if (open == "settings")
          host.CallNumber("Event", {"10001", code, 0, Null{}, Null{}, Null{}, Null{}, Null{}, Null{}, Null{}, Null{}, 0});
      }
      const std::string send = std::to_string(host.FunctionAddress("kernel32.dll", "GetTickCount"));
      if (open == "box")
        host.CallText("初始化", {"{\"发送频道消息\":" + send + "}", std::string("KEY")}), host.CallNumber("ZOQ_KyOn");
      std::string message(168, '\0');  // "我的号码" from sender 1 in channel 0
      const std::uintptr_t text = host.Block("我的号码");
      message[48] = 1, std::memcpy(&message[152], &text, sizeof text);
      ASSERT_TRUE(host.Preload(host.folder() + "\\" + helper));
      const CallResult r = open == "box" ? host.CallNumber("ZOQ_QGPush", {Address{host.Block(message)}})
                                         : host.CallNumber("set");
      EXPECT_EQ(r.raw + (host.FunctionAddress(PluginFileName(), "set") ? " kept" : ""),
                open == "box" ? "ok 0 1 kept" : "ok 0 0") << helper << " " << open;
      EXPECT_TRUE(host.Load() && host.CallText("info").ok) << helper << " " << open;
    }
  }
}

}  // namespace
}  // namespace zoq::testing
