// The settings file `admin`, the data folders and the keyword libraries.
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "core/plugin.hpp"

namespace zoq {

inline constexpr const char* kAdminSection = "admin";
inline constexpr const char* kStagingSection = "新增词库";
inline constexpr const char* kStagingKey = "待添词汇";

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
