// The settings file `admin`, the data folders and the keyword libraries.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/files/ini_items.hpp"
#include "core/plugin.hpp"

namespace zoq {

inline constexpr const char* kAdminSection = "admin";
inline constexpr const char* kStagingSection = "新增词库";
inline constexpr const char* kStagingKey = "待添词汇";
// What the stage command answers while section `admin` holds no `添加返回文本`
// (a key there, empty too, is answered as it stands): the text the settings
// window shows for it, and stores once the owner opens its page.
inline constexpr const char* kDefaultStageConfirmation = "待创建词汇:[词汇]";

// A key of section `admin` that the enable reads, and the value that stands
// for it while the file does not hold it.
struct AdminItem {
  std::string_view key;
  std::string_view fallback;
};

// Every key of section `admin` that LoadSettings reads, in the order read.
inline constexpr AdminItem kAdminItems[] = {
    {"插件开关", kSwitchOn},
    {"好友权限", kSwitchOn},
    {"群组权限", kSwitchOn},
    {"主人号码", "1357924680"},
    {"全员删除", kSwitchOff},
    {"全员可用", kSwitchOff},
    {"开启命令", "开启问答"},
    {"关闭命令", "关闭问答"},
    {"添加命令", "添加词汇"},
    {"删除命令", "删除词汇"},
    {"精确命令", "精确回复"},
    {"模糊命令", "模糊回复"},
    {"必须艾特", kSwitchOff},
    {"精确冷却", "0"},
    {"模糊冷却", "0"},
    {"仅限群号", kSwitchOff},
    {"群号列表", "多群可使用任意符号分割"},
    {"记忆登录", kSwitchOff},
    {"记忆号码", ""},
};

// DataFolder, and the paths inside it: of the current options, or of the
// options a message took at its start.
std::string DataFolder();
const std::string& AdminFile(const Options& o);
const std::string& ExactLibraryFile(const Options& o);
const std::string& FuzzyLibraryFile(const Options& o);
const std::string& CooldownFile(const Options& o);
std::string AdminFile();
std::string ExactLibraryFile();
std::string FuzzyLibraryFile();
std::string CooldownFile();

// Reads a key of section `admin`, with its default; a value typed in a
// window and not yet written reads as written.
std::string ReadAdminItem(const std::string& key, const std::string& defaultValue = {});
// Writes a key of section `admin` at once; false when the write failed.
bool WriteAdminItem(const std::string& key, const std::string& value);
// A value the owner typed in a window, to be read as stored until the
// window writes it (nullopt: written now, the file tells again).
void TypedAdminItem(const std::string& key, const std::optional<std::string>& value);

// A list of numbers (the owner numbers, the allowed groups) as the options
// hold it, to be compared with the numbers of a message: its full-width
// digits as the same ASCII digits, as a number setting reads them.
std::string NumberListAsRead(std::string_view list);

// Every enable path runs it after storing HostType: folders, options,
// default libraries, fuzzy keywords.
void LoadSettings();
// Every disable path: closes the windows, forgets the robot account.
void ShutDown();

// FuzzyKeywords := the section names of SayM.ini in file order.
// `meanwhile`: run on another thread while the file is read and their index
// is built; `anew`: the file read again whatever its stamps say.
void ReloadFuzzyKeywords(const std::function<void()>& meanwhile = {}, bool anew = false);

// Reseeds the random generator from the tick count (shared offset).
void ReseedRandom();

}  // namespace zoq
