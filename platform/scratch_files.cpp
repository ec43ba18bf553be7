// The scratch files beside the data files: named for the process, thread
// and call that writes them, so that what a process left behind when it
// ended is known as such.
#include <windows.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/files.hpp"

namespace zoq::platform {
namespace {

// When the process began (the system's file time), 0 when it cannot be told.
std::uint64_t StartTimeOf(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// This process's start time as the scratch names carry it (hexadecimal).
const std::string& StartMark() {
  static const std::string mark = [] {
    char hex[20];
    std::snprintf(hex, sizeof hex, "%llx", static_cast<unsigned long long>(StartTimeOf(GetCurrentProcess())));
    return std::string(hex);
  }();
  return mark;
}

// The process a scratch name names: its id and, when the name carries it,
// its start time.
struct Maker {
  DWORD pid = 0;
  std::optional<std::uint64_t> started;
};

// Reads "<pid>-<start>-<thread>-<count>" or the older "<pid>-<thread>-<count>".
std::optional<Maker> MakerOf(std::string_view marks) {
  std::vector<std::string_view> fields;
  for (std::size_t from = 0;;) {
    const std::size_t dash = marks.find('-', from);
    fields.push_back(marks.substr(from, dash == std::string_view::npos ? dash : dash - from));
    if (dash == std::string_view::npos) break;
    from = dash + 1;
  }
  if (fields.size() != 3 && fields.size() != 4) return std::nullopt;
  const auto number = [](std::string_view field, int base, auto& value) {
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value, base);
    return !field.empty() && error == std::errc() && end == field.data() + field.size();
  };
  Maker maker;
  unsigned long thread = 0, count = 0;
  std::uint64_t started = 0;
  const bool withStart = fields.size() == 4;
  if (!number(fields[0], 10, maker.pid) || (withStart && !number(fields[1], 16, started)) ||
      !number(fields[withStart ? 2 : 1], 10, thread) || !number(fields.back(), 10, count)) {
    return std::nullopt;
  }
  if (withStart) maker.started = started;
  return maker;
}

// Whether the process has ended (or its id now names a process started
// later); false when that cannot be told.
bool HasEnded(const Maker& maker) {
  HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, maker.pid);
  if (!h) return GetLastError() == ERROR_INVALID_PARAMETER;  // no process of that id
  const std::uint64_t started = StartTimeOf(h);
  const bool ended =
      WaitForSingleObject(h, 0) == WAIT_OBJECT_0 || (maker.started && started != 0 && started != *maker.started);
  CloseHandle(h);
  return ended;
}

}  // namespace

std::string ScratchNameFor(const std::string& path, const char* suffix) {
  static std::atomic<unsigned> count{0};
  return path + "." + std::to_string(GetCurrentProcessId()) + "-" + StartMark() + "-" +
         std::to_string(GetCurrentThreadId()) + "-" + std::to_string(++count) + suffix;
}

void RemoveOrphanedScratchFiles(const std::string& folder, const char* suffix) {
  const std::string dir = folder.empty() || folder.back() == '\\' || folder.back() == '/' ? folder : folder + "\\";
  // Wide calls: the folder's path may be longer than the plain form takes.
  const std::wstring wideDir = WidePath(dir + "x"), ending(suffix, suffix + std::strlen(suffix));
  const std::wstring within = wideDir.substr(0, wideDir.size() - 1);
  WIN32_FIND_DATAW found{};
  HANDLE h = FindFirstFileW((within + L"*" + ending).c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring_view name(found.cFileName);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name.size() <= ending.size() ||
        !name.ends_with(ending)) {
      continue;
    }
    const std::wstring_view stem = name.substr(0, name.size() - ending.size());
    const std::size_t dot = stem.rfind(L'.');
    if (dot == std::wstring_view::npos) continue;
    // The marks are ASCII; anything else makes them no marks of ours.
    std::string marks;
    for (const wchar_t c : stem.substr(dot + 1)) marks += c < 0x80 ? static_cast<char>(c) : '?';
    const std::optional<Maker> maker = MakerOf(marks);
    if (maker && HasEnded(*maker)) DeleteFileW((within + found.cFileName).c_str());
  } while (FindNextFileW(h, &found));
  FindClose(h);
}

}  // namespace zoq::platform
