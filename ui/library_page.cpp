// Page 1 "词库": the list of one keyword library, its search, the editor
// boxes that save one or several keywords with one reply, deleting, the
// library's cool-down and media files dropped on the reply box. The list
// shows rows kept here, read from the library file in one pass: any number
// of keywords is listed at once.
#include <algorithm>
#include <utility>

#include "core/files/file_writes.hpp"
#include "core/files/ini_items.hpp"
#include "core/libraries.hpp"
#include "core/plugin.hpp"
#include "core/reply/local_paths.hpp"
#include "core/settings.hpp"
#include "platform/code_pages.hpp"
#include "platform/files.hpp"
#include "text/text.hpp"
#include "ui/settings_window.hpp"
#include "ui/variable_picker.hpp"

namespace zoq::ui {
namespace {

constexpr Colour kListText = 0xECECEC, kListBackground = 0x262F3E;
// Sixteen whole rows fill the list.
constexpr int kListHeight = 256;
constexpr const char* kNotEmpty = "此处不可为空";
// Said in the search box (the page's line for what it has to say) when the
// library file refused a write; the file, the list and the editor stay as
// they were.
constexpr const char* kSaveFailed = "保存失败";
constexpr const char* kDeleteFailed = "删除失败";
// Said when a save found the entry changed in the file since the editor was
// filled: the editor shows the file's value, nothing is written.
constexpr const char* kChangedInFile = "文件已改动";
constexpr const char* kSearchHint = "搜索内容 (CTRL+F)";
constexpr int kKeyDelete = 46, kKeySpace = 32, kKeyEnter = 13;

std::string LibraryFile() { return LibraryMode() == 2 ? FuzzyLibraryFile() : ExactLibraryFile(); }

// Without ASCII and full-width spaces.
std::string WithoutSpaces(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = text::CharLength(s, i);
    const bool space = (n == 1 && s[i] == ' ') || (n == 2 && s.compare(i, 2, "\xA1\xA1") == 0);
    if (!space) out.append(s, i, n);
    i += n;
  }
  return out;
}

// The pieces between "|": a last piece counts only when it is not empty.
std::vector<std::string> Pieces(const std::string& s) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t bar; (bar = text::Find(s, "|", start)) != text::npos; start = bar + 1) {
    pieces.push_back(s.substr(start, bar - start));
  }
  if (start < s.size()) pieces.push_back(s.substr(start));
  return pieces;
}

// The pieces of a name, each in quotes.
std::string Quoted(const std::vector<std::string>& pieces) {
  std::string out;
  for (const std::string& piece : pieces) out += (out.empty() ? "“" : " “") + piece + "”";
  return out;
}

// A dropped file that went in nowhere, for the owner: its path, and on the
// next line why (what the host reads otherwise or lacks, shown; the length)
// and what to do. `why`: of its own name, where the code page holds it.
std::string RefusedFileLines(const platform::DroppedFile& file, const std::optional<PathObstacle>& why) {
  const auto named = [](const std::vector<std::string>& pieces, const char* because) {
    return "文件名里的" + Quoted(pieces) + because + "。请给文件改名，去掉" + (pieces.size() > 1 ? "它们" : "它") +
           "，再拖进来。";
  };
  std::string reason;
  if (!file.name) {
    reason = named(file.lacking, "是框架用的编码（GBK）里没有的字，框架打不开这个文件");
  } else if (why && why->kind == PathObstacle::Kind::TooLong) {
    const auto decimal = [](std::size_t n) { return text::Decimal(static_cast<std::int64_t>(n)); };
    reason = "这个路径有" + decimal(why->length) + "个字符，框架只能打开" + decimal(platform::kLongestAnsiPath) +
             "个字符以内的路径。请把文件移到路径短一些的文件夹里，再拖进来。";
  } else if (why && why->kind == PathObstacle::Kind::NoSuchFile) {
    reason =
        "按这个名字找不到文件（有的程序拖文件时，把名字里框架用的编码没有的字换成了“?”）。请从 Windows "
        "的资源管理器里拖这个文件，或者给它改个名字。";
  } else {
    reason = named(why ? why->pieces : std::vector<std::string>{}, "，框架会读成别的意思，就找不到这个文件了");
  }
  return file.path + "\r\n" + reason;
}

// The cool-down box's change handler: the leading number, for the library
// shown; the core sees it at once, the settings file when the owner pauses
// (a stored text of the same number, full-width digits say, stays).
std::int32_t SettingsRecord::*CooldownField() {
  return LibraryMode() == 1 ? &SettingsRecord::精确冷却 : &SettingsRecord::模糊冷却;
}

EditHandler SaveCooldown() {
  return {[](const std::string& text) {
            Plugin().Change([&](Options& o) { o.Settings.*CooldownField() = text::ReadWholeNumber32(text); });
          },
          [](const std::string&) {
            const std::int32_t seconds = Plugin().Current()->Settings.*CooldownField();
            const std::optional<std::string> stored = StoredAdminItem(CooldownKey());
            return (stored && text::ReadWholeNumber32(*stored) == seconds) ||
                   WriteAdminItem(CooldownKey(), text::Decimal(seconds));
          },
          "冷却时间"};
}

}  // namespace

const char* CooldownKey() { return LibraryMode() == 1 ? "精确冷却" : "模糊冷却"; }

std::int32_t& SearchPosition() {
  static std::int32_t position = 0;
  return position;
}

void SettingsWindow::BuildLibraryPage() {
  WindowHandle page = pages_[1] = Container("词库页面区域", 128, 8, 635, 488, std::nullopt);
  // The strip names the list's columns (the list shows no header of its own).
  WindowHandle header = Container("背景图", 0, 0, 635, 40, Picture::LibraryHeader,
                                  {{"关键词", 14, 0, 100, 40, kDimTextColour}, {"内容", 114, 0, 100, 40, kDimTextColour}},
                                  page);
  WindowHandle search = Edit(header, "词控_搜索框", 328, 4, 272, 30, {false, true}, false);
  platform::SetWindowTextGbk(search, kSearchHint);
  SetTextColour(search, 0x778BAC);
  WindowHandle searchButton = PictureButton(header, "词控_搜索", 604, 4, 30, 30, {Picture::SearchButton}, {});
  platform::AddToolTip(handle(), searchButton, "快捷键 CTRL+F");
  // The list's own scroll bar lies beyond the right edge of the box that
  // holds it: a dark one stands in its place.
  WindowHandle listBox = Container("词库列表区域", 8, 40, 626, kListHeight, std::nullopt, {}, page);
  // A selected row reads the same with the focus in the list or elsewhere.
  const platform::ListLook look{kListText, kListBackground, kListText, kButtonPressedColour, kAccentColour};
  WindowHandle list =
      ReportList(listBox, "词库列表", 0, 0, 626 + platform::SystemScrollBarWidth(), kListHeight, look);
  Named("词库列表滚动条", platform::CreateScrollBarFor(list, 626 - kScrollBarWidth, 0, kScrollBarWidth, kListHeight,
                                                     kListBackground, kScrollThumbColour));
  platform::ListView view(list);
  view.AddColumn(0, "关键词", 100);
  view.AddColumn(1, "回复内容", 500);

  const std::vector<Caption> panelLabels = {
      {"词库编辑", 210, 4, 80, 30, kTextColour},
      {"批量导入关键词可使用|分开", 10, 6, 190, 18, kDimTextColour, false, true},
      {"回车键(Enter) 可快速插入|", 10, 26, 190, 18, kDimTextColour, false, true},
      {"冷却时间", 30, 100, 68, 30, kTextColour},
      {"秒", 160, 100, 30, 30, kTextColour},
      {"相同关键词的触发间隔时间", 10, 134, 196, 16, kDimTextColour, false, true},
      {"每个群冷却时间都是独立的", 10, 150, 196, 16, kDimTextColour, false, true},
  };
  WindowHandle panel = Container("词控_底下背景", 8, 304, 626, 171, Picture::LibraryPanel, panelLabels, page);
  struct Action {
    const char* name;
    Picture picture;
    const char* label;
    void (SettingsWindow::*run)();
  };
  const Action actions[] = {{"词控_删除", Picture::ActionDelete, "删除 DEL", &SettingsWindow::DeleteLibraryEntries},
                            {"词控_橡皮", Picture::ActionEraser, "橡皮 ^R", &SettingsWindow::ClearEditorBoxes},
                            {"词控_变量", Picture::ActionInsert, "插入 ^D", &SettingsWindow::OpenVariablePicker},
                            {"词控_保存", Picture::ActionSave, "保存 ^S", &SettingsWindow::SaveLibraryEntry}};
  for (int i = 0; i < 4; ++i) {
    WindowHandle button = PictureButton(panel, actions[i].name, 530, 4 + 44 * i, 87, 30, {actions[i].picture}, {},
                                        Caption{actions[i].label, 24, 0, 63, 30, kTextColour, true, true});
    if (actions[i].run) On(button, Notice::Click, [this, run = actions[i].run] { (this->*run)(); });
  }
  WindowHandle keyword = Edit(panel, "词控_关键词框", 296, 4, 222, 30, {false, true}, true);
  WindowHandle reply = ScrolledEdit(panel, "词控_回复框", 210, 40, 306, 122);
  // A whole number: digits only.
  WindowHandle cooldown = Edit(panel, "词控_冷却时间", 101, 100, 54, 30, {false, true, 6, true}, true);

  On(searchButton, Notice::Click, [this] { SearchLibrary(); });
  On(search, Notice::FocusGained, [this] { ClearSearchBox(); });
  On(list, Notice::RowSelected, [this] {
    if (!(selectingFromCode_ && editorTyped_)) RowToEditor();
  });
  OnKey(list, [this](int key, bool ctrlOnly) { return LibraryListKeyDown(key, ctrlOnly); });
  OnKey(keyword, [this](int key, bool ctrlOnly) { return KeywordBoxKeyDown(key, ctrlOnly); });
  OnKey(reply, [this](int key, bool ctrlOnly) { return ReplyBoxKeyDown(key, ctrlOnly); });
  for (WindowHandle box : {keyword, reply}) On(box, Notice::Changed, [this] { editorTyped_ = true; });
  OnEdit(cooldown, SaveCooldown());
}

void SettingsWindow::ClearSearchBox() { SayInSearchBox(""); }

bool SettingsWindow::LibraryListKeyDown(int key, bool) {
  if (key == kKeyDelete) DeleteLibraryEntries();
  return false;
}

bool SettingsWindow::KeywordBoxKeyDown(int key, bool ctrlOnly) {
  WindowHandle keyword = Control("词控_关键词框");
  if (key == kKeySpace || key == kKeyEnter) {
    platform::SetWindowTextGb18030(keyword, WithoutSpaces(EditText(keyword)) + "|");
    platform::CaretToEnd(keyword);
    return true;
  }
  return ctrlOnly && EditorShortcut(key, keyword);
}

bool SettingsWindow::ReplyBoxKeyDown(int key, bool ctrlOnly) {
  return ctrlOnly && EditorShortcut(key, Control("词控_回复框"));
}

bool SettingsWindow::EditorShortcut(int key, WindowHandle box) {
  switch (key) {
    case 'S': SaveLibraryEntry(); return true;
    case 'R': ClearEditorBoxes(); return true;
    case 'F': SearchLibrary(); return true;
    case 'A': platform::SelectAllText(box); return true;
    case 'D': OpenVariablePicker(); return true;
    default: return false;
  }
}

void SettingsWindow::OpenVariablePicker() {
  const std::optional<std::string> variable = RunVariablePicker(WindowClass(), handle());
  if (!variable) return;
  // The owner goes on typing in the reply box: an address goes between the
  // "=" and the "]" of a variable that takes one ("[图接口=]").
  platform::SetFocusTo(Control("词控_回复框"));
  AppendToReply(*variable, variable->ends_with("=]") ? 1 : 0);
}

void SettingsWindow::AppendToReply(const std::string& code, int caretBeforeEnd) {
  WindowHandle reply = Control("词控_回复框");
  SetEditText(reply, EditText(reply) + code);
  platform::CaretToEnd(reply, caretBeforeEnd);
  editorTyped_ = true;
}

std::string SettingsWindow::CellText(WindowHandle, int row, int column) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
  return column == 0 ? rows_[row].keyword : rows_[row].reply;
}

void SettingsWindow::ShowRows() { platform::ListView(Control("词库列表")).SetRowCount(static_cast<int>(rows_.size())); }

void SettingsWindow::SelectRow(int row) {
  selectingFromCode_ = true;
  platform::ListView(Control("词库列表")).Select(row);
  selectingFromCode_ = false;
}

void SettingsWindow::ReloadLibraryList() {
  const ShownIni library = ShownFile(LibraryFile()).value_or(ShownIni());
  rows_.clear();
  for (std::string& name : library.SectionNames()) {
    std::string reply = library.Value(name, kReplyKey).value_or("");
    std::string keyword = PlainKeywordForm(name);
    rows_.push_back({std::move(name), std::move(keyword), std::move(reply)});
  }
  ShowRows();
}

void SettingsWindow::FillCooldownBox(bool dropTyped) {
  const std::optional<std::string> stored = StoredAdminItem(CooldownKey());
  const std::int32_t seconds = stored ? text::ReadWholeNumber32(*stored) : Plugin().Current()->Settings.*CooldownField();
  FillEdit(Control("词控_冷却时间"), text::Decimal(seconds), dropTyped);
}

void SettingsWindow::SelectSection(const std::string& section) {
  const auto row = std::find_if(rows_.begin(), rows_.end(), [&](const LibraryRow& r) {
    return text::EqualsIgnoreAsciiCase(r.section, section);  // one section for the INI functions
  });
  if (row != rows_.end()) SelectRow(static_cast<int>(row - rows_.begin()));
}

void SettingsWindow::SaveLibraryEntry() {
  WindowHandle keywordBox = Control("词控_关键词框"), replyBox = Control("词控_回复框");
  const std::string reply = text::LineBreaksAsN(EditText(replyBox));
  if (reply.empty()) {
    SetEditText(replyBox, kNotEmpty);
    return;
  }
  const std::string keywords = WithoutSpaces(EditText(keywordBox));
  if (keywords.empty()) return;
  const std::vector<std::string> pieces = Pieces(StoredKeywordForm(keywords));
  const std::string file = LibraryFile();
  std::vector<std::string> written;
  std::vector<IniChange> changes;
  for (const std::string& piece : pieces) {
    if (piece.empty()) continue;
    changes.push_back({piece, std::string(kReplyKey), reply});
    written.push_back(piece);
  }
  // Nothing written (no piece, or only empty ones, as "||"): what was typed
  // stays, and the keyword box says what is missing.
  if (written.empty()) {
    SetEditText(keywordBox, kNotEmpty);
    return;
  }
  {
    // No other writer between the look at the file and the write.
    const DataFolderLock lock(file);
    const bool filledEntry = filled_ && std::any_of(written.begin(), written.end(), [&](const std::string& s) {
      return SameIniName(s, filled_->section);
    });
    if (filledEntry && FilledEntryChanged(file)) return;
    // All of them or none (a full disk, a read-only file): what was typed
    // stays, to be saved again.
    if (!WriteIniChanges(file, changes)) {
      SayInSearchBox(kSaveFailed);
      return;
    }
  }
  SuccessInSearchBox();
  if (LibraryMode() == 2) ReloadFuzzyKeywords();
  ClearEditorBoxes();
  // The list shows what the file holds now; one keyword saved: its row.
  ReloadLibraryList();
  if (written.size() == 1) SelectSection(written.front());
}

void SettingsWindow::DeleteLibraryEntries() {
  // The selected row's section by the name the file gives it, or the keyword box's.
  const int row = platform::ListView(Control("词库列表")).SelectedRow();
  std::string section;
  if (row >= 0 && row < static_cast<int>(rows_.size())) {
    section = rows_[row].section;
  } else {
    section = EditText(Control("词控_关键词框"));
    if (section.empty()) return;
    section = StoredKeywordForm(section);
  }
  if (!WriteIniItem(LibraryFile(), section, std::nullopt, std::nullopt)) {
    SayInSearchBox(kDeleteFailed);
    return;
  }
  SuccessInSearchBox();
  // A deleted fuzzy keyword must stop matching at once, as a saved one starts to.
  if (LibraryMode() == 2) ReloadFuzzyKeywords();
  ClearEditorBoxes();
  ReloadLibraryList();  // what the file holds now
}

void SettingsWindow::ClearEditorBoxes() {
  SetEditText(Control("词控_关键词框"), "");
  SetEditText(Control("词控_回复框"), "");
  editorTyped_ = false;
  filled_.reset();
}

void SettingsWindow::SayInSearchBox(const char* text) { platform::SetWindowTextGbk(Control("词控_搜索框"), text); }

void SettingsWindow::SuccessInSearchBox() {
  for (const char* failure : {kSaveFailed, kDeleteFailed, kChangedInFile}) TakeBackFromSearchBox(failure);
}

void SettingsWindow::TakeBackFromSearchBox(const std::string& said) {
  if (!said.empty() && platform::WindowTextGbk(Control("词控_搜索框")) == said) SayInSearchBox(kSearchHint);
}

bool SettingsWindow::FilledEntryChanged(const std::string& file) {
  const std::optional<ShownIni> image = ShownFile(file);
  const std::optional<std::string> now = image ? image->Value(filled_->section, kReplyKey) : filled_->reply;
  // Deleted meanwhile: saving makes it again, as the owner asked.
  if (!now || now == filled_->reply) return false;
  filled_->reply = now;
  SetEditText(Control("词控_回复框"), text::ReplaceAll(*now, "[N]", "\r\n"));
  SayInSearchBox(kChangedInFile);
  ReloadLibraryList();
  return true;
}

void SettingsWindow::SearchLibrary() {
  WindowHandle box = Control("词控_搜索框");
  const std::string wanted = EditText(box);
  if (wanted.empty()) {
    SayInSearchBox("未输入搜索内容");
    return;
  }
  const int n = static_cast<int>(rows_.size());
  std::int32_t& position = SearchPosition();
  int p = position + 1;
  for (; p <= n; ++p) {
    if (p < 1) continue;
    if (text::Contains(rows_[p - 1].keyword + rows_[p - 1].reply, wanted, text::Case::IgnoreAscii)) {
      position = p;
      SelectRow(p - 1);
      break;
    }
  }
  if (p >= n) position = 0;
  if (p < 1 || p > n || rows_[p - 1].reply.empty()) SayInSearchBox("无搜索结果");
}

void SettingsWindow::RowToEditor() {
  const int row = platform::ListView(Control("词库列表")).SelectedRow();
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  LibraryRow& chosen = rows_[row];
  // What the file holds now (another program may have changed it since the
  // list was read); the list's row follows.
  const std::optional<ShownIni> image = ShownFile(LibraryFile());
  std::optional<std::string> reply = chosen.reply;
  if (image) reply = image->Value(chosen.section, kReplyKey);
  chosen.reply = reply.value_or("");
  platform::Redraw(Control("词库列表"));
  SetEditText(Control("词控_关键词框"), chosen.keyword);
  SetEditText(Control("词控_回复框"), text::ReplaceAll(chosen.reply, "[N]", "\r\n"));
  editorTyped_ = false;
  filled_ = Filled{chosen.section, reply};
}

std::optional<std::string> SettingsWindow::DropMediaFile(const platform::DroppedFile& file) {
  // The two folders below the running directory as the reply variables that
  // the expansion turns back into them.
  const std::string& run = Plugin().RunDirectory;
  constexpr std::pair<const char*, const char*> kFolders[] = {{"\\ZOQData", "[ZOQData]"}, {"\\ZOQAdmin", "[ZOQAdmin]"}};
  const auto withFolderVariables = [&](std::string path) {
    for (const auto& [folder, variable] : kFolders) {
      path = text::ReplaceAll(path, run + folder, variable, text::Case::IgnoreAscii);
    }
    return path;
  };
  // The kind by the whole name (a short one keeps three letters of ".flac").
  const std::string whole = withFolderVariables(file.path);
  const auto holdsAny = [&](std::initializer_list<const char*> endings) {
    for (const char* e : endings) {
      if (text::Contains(whole, e, text::Case::IgnoreAscii)) return true;
    }
    return false;
  };
  const char* code = holdsAny({".jpg", ".gif", ".png", ".bmp"})   ? "[P="
                     : holdsAny({".amr", ".mp3", ".wav", ".flac"}) ? "[V="
                                                                   : nullptr;
  if (!code) return std::nullopt;
  // A name the host the window serves would take for another file, or for
  // none, is no code: looked at as the host receives it, the folders
  // expanded back (a name holding a folder variable's text holds brackets).
  std::optional<PathObstacle> why;
  for (const std::optional<std::string>* name : {&file.name, &file.shortName}) {
    if (!*name) continue;
    const std::optional<PathObstacle> obstacle = WhyHostMissesPath(**name, Plugin().HostType);
    const std::string inserted = withFolderVariables(**name);
    std::string received = inserted;
    for (const auto& [folder, variable] : kFolders) received = text::ReplaceAll(received, variable, run + folder);
    if (!obstacle && text::EqualsIgnoreAsciiCase(received, **name)) {
      AppendToReply(code + inserted + "]");
      return std::nullopt;
    }
    if (name == &file.name) why = obstacle;
  }
  return RefusedFileLines(file, why);
}

void SettingsWindow::DropMediaFiles(const std::vector<platform::DroppedFile>& files) {
  std::string refused;
  std::size_t count = 0;
  for (const platform::DroppedFile& file : files) {
    if (const std::optional<std::string> why = DropMediaFile(file)) refused += "\r\n\r\n" + *why, ++count;
  }
  if (count == 0) return;
  const std::string head =
      files.size() > 1 ? text::Decimal(static_cast<std::int64_t>(count)) + "个文件没有放进回复框：" : "这个文件没有放进回复框：";
  // Last: the window may be gone once the box has been closed.
  platform::ShowWarning(handle(), head + refused, platform::WindowTextGbk(handle()));
}

}  // namespace zoq::ui
