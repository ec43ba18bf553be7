// The settings window: navigation on the left, the options page, the
// keyword-library page and the home page beside it. One window at a time,
// modal on the thread of the settings export that opened it.
#pragma once
#include <cstdint>
#include <string>

#include "platform/http.hpp"
#include "ui/form.hpp"

namespace zoq::ui {

// The keyword library the library page shows: 1 exact (SayZ.ini), 2 fuzzy (SayM.ini).
std::int32_t& LibraryMode();
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

class SettingsWindow : public Form {
 public:
  bool Create(const platform::FormClass& windowClass);
  // What the window does when it has been created: fills it and shows the home page.
  void Start();
  // The page shown: 0 options, 1 keyword library, 2 home.
  int Page() const;

 private:
  void BuildNavigation();
  void BuildOptionsPage();
  void BuildLibraryPage();
  void BuildHomePage();

  void EnableNavButtons();
  void ShowPage(int page);
  void FillSettingsControls();
  void LoadReturnTexts();
  void ShowExactLibrary();
  void ShowFuzzyLibrary();
  void ShowLibrary(std::int32_t mode, const char* button);

  // The keyword-library page.
  void ReloadLibraryList();
  void SaveLibraryEntry();
  void DeleteLibraryEntries();
  void ClearEditorBoxes();
  void SearchLibrary();
  void RowToEditor();
  void SaveCooldown();
  void DropMediaFile(const std::string& path);
  void ShowVariablePicker();
  void EditorShortcut(int key, WindowHandle box);
  // Writes one row of the list: the row of `shownKeyword`, or a new last one.
  void RefreshRow(const std::string& shownKeyword, const std::string& reply);

  void ShowRobotAvatar();
  void FillMakerGroupStrip();
  void ToggleRememberAccount();

  void SetSwitchPicture(const char* control, bool on);
  void SetPermissionPicture(const char* control, bool on);
  // A switch of the core: flips it, shows it and writes it.
  void BindSwitch(const char* button, bool& setting, const char* key, const char* statusPicture,
                  bool permissionButton);

  WindowHandle tabs_ = nullptr;
  WindowHandle pages_[3] = {};
};

// Opens the settings window (modal; returns when it has been closed); a
// window that is already open is brought to the front instead. false when
// no window was opened.
bool OpenSettingsWindow();
// The open settings window, or null.
SettingsWindow* OpenedSettingsWindow();
// Destroys the open windows (ShutDown and unloading).
void CloseSettingsWindows();

}  // namespace zoq::ui
