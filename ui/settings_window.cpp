#include "ui/settings_window.hpp"

#include <atomic>
#include <set>

#include "core/files/ini_items.hpp"
#include "core/files/text_forms.hpp"
#include "core/info/info_records.hpp"
#include "core/plugin.hpp"
#include "core/settings.hpp"
#include "core/web_addresses.hpp"
#include "platform/files.hpp"
#include "platform/http.hpp"
#include "text/text.hpp"
#include "ui/account_chooser.hpp"

namespace zoq::ui {
namespace {

constexpr int kWidth = 780, kHeight = 500;
constexpr const char* kUnstoredText = "尚未保存";
constexpr const char* kTitle = "ZOQ·关键词";
// Asked when the owner closes the window with texts the file refused: each
// one on a line of its own between the two.
constexpr const char* kUnstoredAtClose = "以下内容尚未保存 (设置文件无法写入):\n";
constexpr const char* kLeaveAnyway = "仍要退出设置吗?";
constexpr Colour kWarningColour = 0xFF6B6B;
constexpr const char* kNavButtons[] = {"按钮_插件主页", "按钮_远程命令", "按钮_精确词库", "按钮_模糊词库"};

// Set and read on the window's thread; tests also read it from others.
std::atomic<SettingsWindow*> openWindow = nullptr;
// How long a stop from another thread waits for the windows to be gone.
constexpr unsigned kCloseWaitMs = 1000;

}  // namespace

std::int32_t& LibraryMode() {
  static std::int32_t mode = 0;
  return mode;
}

HomeWeb& HomeWebSettings() {
  static HomeWeb settings{web::kQqAvatarService, web::kQqGroupAvatarService, web::kMakerForum, {3000, 3000, 3000, 3000}};
  return settings;
}

namespace {

// The length of the GB18030 character at `pos`: 4 for lead, digit, lead, digit.
std::size_t Gb18030CharLength(std::string_view s, std::size_t pos) {
  const auto at = [&](std::size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0; };
  const auto digit = [](unsigned char c) { return c >= '0' && c <= '9'; };
  if (text::IsLeadByte(at(pos)) && digit(at(pos + 1)) && text::IsLeadByte(at(pos + 2)) && digit(at(pos + 3))) return 4;
  return text::CharLength(s, pos);
}

// Hands `take` each character of a GB18030 text.
template <typename Take>
void ForEachGb18030Char(std::string_view s, Take take) {
  for (std::size_t pos = 0, n; pos < s.size(); pos += n) {
    n = Gb18030CharLength(s, pos);
    take(s.substr(pos, n));
  }
}

}  // namespace

ShownIni::ShownIni(const std::string& gb18030) {
  std::vector<bool> usedPairs(0x10000);
  std::set<std::string, std::less<>> fours;
  ForEachGb18030Char(gb18030, [&](std::string_view c) {
    if (c.size() == 2) usedPairs[static_cast<unsigned char>(c[0]) << 8 | static_cast<unsigned char>(c[1])] = true;
    if (c.size() == 4) fours.emplace(c);
  });
  // Stand-ins of high bytes only: none reads as a bracket or a blank.
  unsigned pair = 0x8180;
  const auto taken = [&] { return usedPairs[pair] || (pair & 0xFF) < 0x80 || (pair & 0xFF) == 0xFF; };
  for (const std::string& c : fours) {
    while (pair <= 0xFEFE && taken()) ++pair;
    if (pair > 0xFEFE) break;  // a text of too many characters: the rest stand as 936 reads them
    const std::string standIn{static_cast<char>(pair >> 8), static_cast<char>(pair++)};
    standIns_[c] = standIn;
    originals_[standIn] = c;
  }
  image_.Load(Swapped(gb18030, standIns_));
}

std::string ShownIni::Swapped(const std::string& text, const Swaps& from) {
  if (from.empty()) return text;
  std::string out;
  ForEachGb18030Char(text, [&](std::string_view c) {
    const auto swapped = from.find(c);
    out += swapped == from.end() ? c : std::string_view(swapped->second);
  });
  return out;
}

std::optional<std::string> ShownIni::Value(const std::string& section, const std::string& key) const {
  const std::optional<std::string> value = image_.Value(Swapped(section, standIns_), key, kWholeIniValue);
  return value ? std::optional(Swapped(*value, originals_)) : std::nullopt;
}

std::vector<std::string> ShownIni::SectionNames() const {
  std::vector<std::string> names = image_.SectionNames();
  for (std::string& name : names) name = Swapped(name, originals_);
  return names;
}

std::optional<ShownIni> ShownFile(const std::string& file) {
  std::optional<std::string> bytes =
      platform::FileExists(file) ? platform::ReadWholeFileIfPossible(file) : std::optional<std::string>("");
  if (!bytes) return std::nullopt;
  return ShownIni(Gb18030TextOf(std::move(*bytes)));
}

std::optional<std::string> StoredAdminItem(const std::string& key) {
  const std::optional<ShownIni> admin = ShownFile(AdminFile());
  return admin ? admin->Value(kAdminSection, key) : std::nullopt;
}

std::string WholeAdminItem(const std::string& key, const std::string& fallback) {
  return StoredAdminItem(key).value_or(fallback);
}

bool StoreAdminItem(const std::string& key, const std::string& value) {
  return StoredAdminItem(key) == value || WriteAdminItem(key, value);
}

void ResetHomeWebSettings() {
  HomeWebSettings() = HomeWeb{web::kQqAvatarService, web::kQqGroupAvatarService, web::kMakerForum, {3000, 3000, 3000, 3000}};
}

bool SettingsWindow::Create(const platform::FormClass& windowClass) {
  if (!CreateWindowOf(windowClass, kTitle, kWidth, kHeight, Picture::Background)) return false;
  BuildNavigation();
  tabs_ = platform::CreateTabs(handle(), 128, 8, 635, 488, {"设置", "词库", "主页"});
  BuildOptionsPage();
  BuildLibraryPage();
  BuildHomePage();
  // The pages lie over the tab control, which only keeps the page number:
  // it stays hidden, and the navigation buttons switch the pages.
  platform::ShowWindowIf(tabs_, false);
  for (WindowHandle page : pages_) {
    if (page) platform::RaiseAboveSiblings(page);
  }
  Label(handle(), "版本标签", 24, 470, 76, 24, "1.0.0", true, kColumnColour);
  // Shown while a typed text is not stored (the file refused it): it is
  // tried again until it lands.
  WindowHandle unstored = Label(handle(), "未保存提示", 8, 440, 108, 24, kUnstoredText, true, kColumnColour);
  SetTextColour(unstored, kWarningColour);
  platform::ShowWindowIf(unstored, false);
  UnstoredSign(unstored);
  return true;
}

void SettingsWindow::BuildNavigation() {
  const char* labels[] = {"插件主页", "远程命令", "精确词库", "模糊词库"};
  void (SettingsWindow::*actions[])() = {&SettingsWindow::FillSettingsControls, &SettingsWindow::LoadReturnTexts,
                                         &SettingsWindow::ShowExactLibrary, &SettingsWindow::ShowFuzzyLibrary};
  for (int i = 0; i < 4; ++i) {
    WindowHandle button =
        PictureButton(handle(), kNavButtons[i], 1, 132 + 60 * i, 122, 50, {Picture::NavPlain}, {Picture::NavLit},
                      Caption{labels[i], 0, 0, 122, 50, kDimTextColour, true}, kAccentColour);
    On(button, Notice::Click, [this, action = actions[i]] { (this->*action)(); });
  }
  WindowHandle quit = PictureButton(handle(), "退出设置", 1, 372, 122, 50, {Picture::ExitLit}, {Picture::ExitPressed},
                                    Caption{"退出设置", 0, 0, 122, 50, 0xFFFFFF, true}, 0xFFFFFF);
  On(quit, Notice::Click, [this] { CloseSettingsWindow(); });
}

void SettingsWindow::CloseSettingsWindow() { platform::PostClose(handle()); }

bool SettingsWindow::OnCloseAsked() {
  if (platform::ModalSessionClosing()) return true;
  try {
    SaveEdits();  // what the file takes now goes without a word
    const std::vector<std::string> items = UnstoredItems();
    if (items.empty()) return true;
    std::string question = kUnstoredAtClose;
    for (const std::string& item : items) question += item + "\n";
    question += kLeaveAnyway;
    return platform::AskYesNo(handle(), question, kTitle);
  } catch (...) {
    return true;
  }
}

int SettingsWindow::Page() const { return platform::SelectedTab(tabs_); }

void SettingsWindow::SettingsWindowStart() {
  // The robot's and the maker group's pictures share one wait.
  const platform::HttpBudget web(HomeWebSettings().limits.totalMs);
  const std::shared_ptr<const Options> o = Plugin().Current();
  SetPermissionPicture("删除词汇", o->Settings.全员删除);
  SetPermissionPicture("词库权限", o->Settings.全员可用);
  OnDrop(Control("词控_回复框"),
         [this](const std::vector<platform::DroppedFile>& files) { DropMediaFiles(files); });
  SetEditText(Control("主页_登录号头像"), Plugin().RobotAccount());
  ShowRobotAvatar();
  platform::SetWindowTextGbk(Control("版本标签"), VersionText());
  FillSettingsControls();
  FillMakerGroupStrip();
}

void SettingsWindow::EnableNavButtons() {
  for (const char* name : kNavButtons) platform::EnableWindowIf(Control(name), true);
}

void SettingsWindow::ShowPage(int page) {
  SaveEdits();  // before a page's boxes are filled again
  platform::SelectTab(tabs_, page);
  for (int i = 0; i < 3; ++i) platform::ShowWindowIf(pages_[i], i == page);
  // The clicked navigation button is disabled next: the focus must not stay
  // on it. The library page's first box is the editor's keyword box (the
  // search box clears itself when it gains the focus).
  const char* first[] = {"主人号码", "词控_关键词框", "主页_群号列表"};
  platform::SetFocusTo(Control(first[page]));
}

void SettingsWindow::ShowExactLibrary() { ShowLibrary(1, "按钮_精确词库"); }
void SettingsWindow::ShowFuzzyLibrary() { ShowLibrary(2, "按钮_模糊词库"); }

namespace {

// What the library page says of a library whose text does not read whole in
// its form, naming the line where it first does not; nothing for one that
// reads whole.
std::string FormNote(const std::string& file) {
  const std::optional<std::string> bytes = platform::ReadWholeFileIfPossible(file);
  const FormTrouble trouble = bytes ? TroubleOf(*bytes) : FormTrouble{};
  const std::string line = text::Decimal(static_cast<std::int64_t>(trouble.line));
  switch (trouble.kind) {
    case FormTrouble::Kind::Mixed: return "文件混用了两种编码 (第" + line + "行)";
    case FormTrouble::Kind::Broken: return "第" + line + "行有残缺的字, 文件不会被改写";
    default: return {};
  }
}

}  // namespace

void SettingsWindow::ShowLibrary(std::int32_t mode, const char* button) {
  EnableNavButtons();
  platform::EnableWindowIf(Control(button), false);
  ShowPage(1);
  // A cool-down typed for the other library and refused is not this one's.
  FillCooldownBox(std::exchange(LibraryMode(), mode) != mode);
  ReloadLibraryList();
  const std::string note = FormNote(mode == 2 ? FuzzyLibraryFile() : ExactLibraryFile());
  if (!note.empty()) SayInSearchBox(note.c_str());
}

void SettingsWindow::SetSwitchPicture(const char* control, bool on) {
  SetPicture(Control(control), {on ? Picture::SwitchOnPicture : Picture::SwitchOffPicture});
}

void SettingsWindow::SetPermissionPicture(const char* control, bool on) {
  SetPicture(Control(control), {on ? Picture::PicButtonOnPicture : Picture::PicButtonOffPicture});
}

namespace {

// `asRead`: what the core holds of the text typed (as the enable reads it).
EditHandler SaveTextSetting(TextOption setting, const char* key, std::string (*asRead)(std::string_view) = nullptr) {
  return {[setting, asRead](const std::string& text) {
            Plugin().Change([&](Options& o) { setting(o) = asRead ? asRead(text) : text; });
          },
          [key](const std::string& text) { return StoreAdminItem(key, text); }, key};
}

}  // namespace

EditHandler SettingsWindow::SaveCommandWord(TextOption setting, const char* key) {
  return SaveTextSetting(std::move(setting), key);
}
EditHandler SettingsWindow::SaveOwnerNumber() {
  return SaveTextSetting([](Options& o) -> std::string& { return o.Settings.主人号码; }, "主人号码", NumberListAsRead);
}
EditHandler SettingsWindow::SaveGroupList() {
  return SaveTextSetting([](Options& o) -> std::string& { return o.群号列表; }, "群号列表", NumberListAsRead);
}

std::function<void()> SettingsWindow::ToggleSetting(SwitchOption setting, const char* key, const char* statusPicture,
                                                    bool permissionButton) {
  return [this, setting, key, statusPicture, permissionButton] {
    bool on = false;
    Plugin().Change([&](Options& o) { on = setting(o) = !setting(o); });
    if (permissionButton) {
      SetPermissionPicture(statusPicture, on);
    } else {
      SetSwitchPicture(statusPicture, on);
    }
    WriteAdminItem(key, on ? kSwitchOn : kSwitchOff);
  };
}

SettingsWindow* OpenedSettingsWindow() { return openWindow; }

void CloseSettingsWindows() { platform::CloseModalSession(kCloseWaitMs); }

bool OpenSettingsWindow() {
  // First, so that it ends last: a stop export waiting on another thread
  // goes on once nothing of the windows is left.
  platform::ModalSession session;
  if (!session.begun()) {  // a window is open already (on this thread or another)
    platform::FrontModalSession();
    return false;
  }
  const platform::ModuleHandle module = platform::OwnModule();
  platform::ActivationContext commonControls6(module);
  platform::FormClass windowClass(module, "ZoqSettingsWindow");
  // The stop exports and unloading close the windows from whatever thread
  // they come: set once, it stays.
  Plugin().SetCloseWindows(CloseSettingsWindows);
  // Without an account the chooser comes first; the settings window opens
  // once it has closed with an account taken.
  if (!Plugin().AccountStarted() && !RunAccountChooser(windowClass)) return true;
  SettingsWindow window;
  if (!window.Create(windowClass)) return false;
  openWindow = &window;
  window.SettingsWindowStart();
  platform::ShowWindowNow(window.handle());
  platform::RunModal(window.handle());
  openWindow = nullptr;
  // What was typed and could not be stored goes with the window: the file
  // tells again (unless the plug-in went with it, unloaded meanwhile).
  if (PluginState* p = PluginIfAlive()) p->ForgetPendingAdminItems();
  return true;
}

}  // namespace zoq::ui
