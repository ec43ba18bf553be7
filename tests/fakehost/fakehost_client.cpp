#include "tests/fakehost/fakehost_client.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <sstream>

#include "tests/fakehost/log_format.hpp"

namespace zoq::testing {
namespace {

using fakehost::Escape;
using fakehost::Unescape;

std::string ExeFolder() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n);
  return p.substr(0, p.find_last_of('\\'));
}

}  // namespace

std::string FakeHostBuildFolder() {
  const std::string bin = ExeFolder();
  return bin.substr(0, bin.find_last_of('\\')) + "\\fakehosts";
}

std::string FreshTestRunFolder(const std::string& runs) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string root = FakeHostBuildFolder() + "\\..\\" + runs;
  CreateDirectoryA(root.c_str(), nullptr);
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) c = (c == '/' ? '_' : c);
  const std::string folder = root + "\\" + name;
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(folder), ignored);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::vector<FakeCall> ParseFakeHostLog(const std::string& text) {
  std::vector<FakeCall> calls;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> fields;
    std::size_t f = start;
    while (true) {
      const std::size_t tab = text.find('\t', f);
      if (tab == std::string::npos || tab > end) {
        fields.push_back(Unescape(text.substr(f, end - f)));
        break;
      }
      fields.push_back(Unescape(text.substr(f, tab - f)));
      f = tab + 1;
    }
    if (fields.size() >= 2) calls.push_back({fields[0], fields[1], {fields.begin() + 2, fields.end()}});
    start = end + 1;
  }
  return calls;
}

std::string FakeHostAnswerLine(const std::string& function, const std::optional<std::string>& value) {
  return value ? function + "\t" + Escape(*value) + "\n" : function + "\n";
}

FakeHostDll::FakeHostDll(const std::string& file, const std::string& folder) {
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::size_t cut = file.find_last_of('\\');
  path_ = folder + "\\" + (cut == std::string::npos ? file : file.substr(cut + 1));
  if (!CopyFileA((FakeHostBuildFolder() + "\\" + file).c_str(), path_.c_str(), FALSE)) return;
  module_ = LoadLibraryA(path_.c_str());
}

FakeHostDll::~FakeHostDll() {
  if (module_) FreeLibrary(static_cast<HMODULE>(module_));
}

void* FakeHostDll::Export(const char* name) const {
  return module_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), name)) : nullptr;
}

void FakeHostDll::Reset() {
  if (auto fn = reinterpret_cast<void (*)()>(Export("FakeHost_Reset"))) fn();
}

void FakeHostDll::SetAnswer(const std::string& function, const std::optional<std::string>& value) {
  auto fn = reinterpret_cast<void (*)(const char*, const char*, int)>(Export("FakeHost_SetAnswer"));
  if (fn) fn(function.c_str(), value ? value->data() : nullptr, value ? static_cast<int>(value->size()) : 0);
}

std::vector<FakeCall> FakeHostDll::Calls() const {
  auto fn = reinterpret_cast<const char* (*)()>(Export("FakeHost_Log"));
  return fn ? ParseFakeHostLog(fn()) : std::vector<FakeCall>{};
}

std::vector<std::pair<std::string, std::string>> FakeHostDll::Functions() const {
  std::vector<std::pair<std::string, std::string>> out;
  auto fn = reinterpret_cast<const char* (*)()>(Export("FakeHost_Functions"));
  if (!fn) return out;
  std::istringstream lines(fn());
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name, kinds, result;
    if (fields >> name >> kinds >> result) out.emplace_back(name, (kinds == "-" ? std::string() : kinds) + " " + result);
  }
  return out;
}

int FakeHostDll::LiveBlocks() const {
  auto fn = reinterpret_cast<int (*)()>(Export("FakeHost_LiveBlocks"));
  return fn ? fn() : -1;
}

}  // namespace zoq::testing
