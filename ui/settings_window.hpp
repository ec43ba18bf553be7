// The settings window: navigation on the left, the options page, the
// keyword-library page and the home page beside it. One window at a time,
// modal on the thread of the settings export that opened it.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/files/ini_image.hpp"
#include "core/plugin.hpp"
#include "platform/http.hpp"
#include "ui/form.hpp"

namespace zoq::ui {

// The keyword library the library page shows: 1 exact (SayZ.ini), 2 fuzzy (SayM.ini).
std::int32_t& LibraryMode();
// The settings key of that library's cool-down.
const char* CooldownKey();
// The position (from 1) of the row the last library search found; 0 none.
std::int32_t& SearchPosition();

// Where the home page fetches its pictures and what it opens (tests point
// these at a local server), and how long a fetch may take.
struct HomeWeb {
  std::string avatarService;       // + "/headimg_dl?dst_uin=<account>&spec=100"
  std::string groupAvatarService;  // + "/gh/<n>/<n>/640/"
  std::string forum;
  platform::HttpTimeouts limits;
};
HomeWeb& HomeWebSettings();
void ResetHomeWebSettings();

// The avatar picture of `account` as bytes; empty when it cannot be fetched.
std::string FetchAvatar(const std::string& account);

// An INI file as the windows show it: its text in GB18030, every character
// it holds whatever its encoding, parsed as the INI functions parse it.
// IniImage holds a text as code page 936 reads it, which has no four-byte
// characters: each one stands in it as a two-byte character the text does
// not use, and is put back in what comes out.
class ShownIni {
 public:
  explicit ShownIni(const std::string& gb18030 = {});
  // The value read whole; names and value in GB18030.
  std::optional<std::string> Value(const std::string& section, const std::string& key) const;
  std::vector<std::string> SectionNames() const;

 private:
  // `text` with each four-byte character in `from` replaced by its stand-in in `to`.
  using Swaps = std::map<std::string, std::string, std::less<>>;
  static std::string Swapped(const std::string& text, const Swaps& from);

  IniImage image_;
  Swaps standIns_, originals_;
};
// The file (none when it is there and cannot be read).
std::optional<ShownIni> ShownFile(const std::string& file);

// A setting of the admin file read whole, in GB18030 (ShownFile); nullopt
// when the key is missing (or the file cannot be read).
std::optional<std::string> StoredAdminItem(const std::string& key);
// The same, or `fallback` when the key is missing: what the boxes show.
std::string WholeAdminItem(const std::string& key, const std::string& fallback);
// Writes `value` as the setting `key` unless the file holds it already: a
// value stored whole stays as it is, byte for byte. False when the write
// failed.
bool StoreAdminItem(const std::string& key, const std::string& value);

// A command word of the options page: its key, the key of the text the
// robot answers after it, and the text the page shows (and so stores) for
// that key while the file holds none.
struct CommandReturnText {
  std::string command, returnText, fallback;
};
// The options page's command words, in the page's order.
std::vector<CommandReturnText> CommandReturnTexts();

// A text or a switch of the core's options, as the window changes it.
using TextOption = std::function<std::string&(Options&)>;
using SwitchOption = std::function<bool&(Options&)>;

class SettingsWindow : public Form {
 public:
  bool Create(const platform::FormClass& windowClass);
  // What the window does when it has been created: fills it and shows the home page.
  void SettingsWindowStart();
  // The page shown: 0 options, 1 keyword library, 2 home.
  int Page() const;

 private:
  void BuildNavigation();
  void BuildOptionsPage();
  void BuildLibraryPage();
  void BuildHomePage();

  void EnableNavButtons();
  // Shows the page and puts the keyboard focus on its first box.
  void ShowPage(int page);
  void FillSettingsControls();
  void LoadReturnTexts();
  void ShowExactLibrary();
  void ShowFuzzyLibrary();
  void ShowLibrary(std::int32_t mode, const char* button);
  // Closes the window once the click has been handled.
  void CloseSettingsWindow();
  // The owner closes the window: a text the file still refuses is named to
  // the owner, who may stay to keep it. The host's close never asks.
  bool OnCloseAsked() override;

  // The options page.
  void ShowOwnerHint();
  void HideOwnerHint();
  // The change handlers of the boxes holding a text setting of the core: the
  // core sees each change at once, the settings file gets it under its key.
  static EditHandler SaveCommandWord(TextOption setting, const char* key);
  static EditHandler SaveOwnerNumber();
  static EditHandler SaveGroupList();

  // The keyword-library page.
  std::string CellText(WindowHandle list, int row, int column) override;
  // Shows rows_ afresh.
  void ShowRows();
  // Selects a row from the program: it reaches the editor boxes only when
  // they hold no typing of the owner's that is not saved.
  void SelectRow(int row);
  void ReloadLibraryList();
  // The cool-down box of the library shown, as the file holds it (or as the
  // core does, where the file lacks it).
  void FillCooldownBox(bool dropTyped);
  void SaveLibraryEntry();
  void DeleteLibraryEntries();
  void ClearEditorBoxes();
  void SearchLibrary();
  void RowToEditor();
  // A picture or voice code for a file of the kinds a code names, by a name
  // the template and the host the window serves read back as that very
  // file: its own, else its short one. For a file of those kinds without
  // such a name, the lines that tell the owner which and why.
  std::optional<std::string> DropMediaFile(const platform::DroppedFile& file);
  // The codes of the files of one drop; a box tells the owner which files
  // went in nowhere and why (of a drop of several files, how many first).
  void DropMediaFiles(const std::vector<platform::DroppedFile>& files);
  // Appends `code` to the reply box, the caret where the owner goes on
  // typing (`caretBeforeEnd` characters before the end), in view.
  void AppendToReply(const std::string& code, int caretBeforeEnd = 0);
  // What the search box (the page's line for what it has to say) says; a
  // success puts its hint back where it said a failure.
  void SayInSearchBox(const char* text);
  void SuccessInSearchBox();
  // The hint in place of what the search box says, where it says `said`.
  void TakeBackFromSearchBox(const std::string& said);
  // Whether the file holds the entry the editor was filled with otherwise
  // now (changed by hand meanwhile): the editor then shows the file's value.
  bool FilledEntryChanged(const std::string& file);
  void OpenVariablePicker();
  void ClearSearchBox();
  // Key-downs of the keyword box, the reply box and the list: true when the
  // key was used up.
  bool KeywordBoxKeyDown(int key, bool ctrlOnly);
  bool ReplyBoxKeyDown(int key, bool ctrlOnly);
  bool LibraryListKeyDown(int key, bool ctrlOnly);
  // The Ctrl shortcuts of the two editor boxes (Ctrl+A selects all of `box`).
  bool EditorShortcut(int key, WindowHandle box);
  // Selects the row of the section (its name compared as the INI functions
  // compare section names), if the list shows it.
  void SelectSection(const std::string& section);

  // The home page.
  void ShowRobotAvatar();
  void FillMakerGroupStrip();
  void ToggleRememberAccount();
  void CopyGroupNumber();
  void ResetCopyCaption();

  void SetSwitchPicture(const char* control, bool on);
  void SetPermissionPicture(const char* control, bool on);
  // The click handler of a switch of the core: flips it, shows it on
  // `statusPicture` and writes it under `key`.
  std::function<void()> ToggleSetting(SwitchOption setting, const char* key, const char* statusPicture,
                                      bool permissionButton);

  WindowHandle tabs_ = nullptr;
  WindowHandle pages_[3] = {};
  // The rows of the library list: the section as the file names it, and
  // what the list shows, the keyword and its reply.
  struct LibraryRow {
    std::string section, keyword, reply;
  };
  std::vector<LibraryRow> rows_;
  bool editorTyped_ = false;  // the editor boxes hold typing not saved
  // The entry the editor was filled with, as the file held it then: a save
  // does not overwrite it once the file holds it otherwise.
  struct Filled {
    std::string section;
    std::optional<std::string> reply;
  };
  std::optional<Filled> filled_;
  bool selectingFromCode_ = false;
};

// Opens the settings window (modal; returns when it has been closed); a
// window that is already open, on any thread, is brought to the front
// instead. false when no window was opened.
bool OpenSettingsWindow();
// The open settings window, or null.
SettingsWindow* OpenedSettingsWindow();
// Closes the open windows (ShutDown and unloading), from any thread: on the
// windows' own thread at once; from another, they are gone when this returns
// unless their thread stays busy (held up in a host call, say) beyond about a
// second: they go then as soon as it is back.
void CloseSettingsWindows();

}  // namespace zoq::ui
