#include "tests/hosts/host_test_support.hpp"

#include <windows.h>

#include <map>
#include <set>

#include "core/error_hook.hpp"

namespace zoq::testing {

std::string FreshTestFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string root = FakeHostBuildFolder() + "\\..\\hosts-test-runs";
  CreateDirectoryA(root.c_str(), nullptr);
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) c = (c == '/' ? '_' : c);
  const std::string folder = root + "\\" + name;
  CreateDirectoryA(folder.c_str(), nullptr);
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((folder + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  return folder;
}

RaisedErrors::RaisedErrors() {
  RegisterErrorHook([this](int code, const std::string& message) {
    codes.push_back(code);
    messages.push_back(message);
  });
}

RaisedErrors::~RaisedErrors() { RegisterErrorHook(nullptr); }

std::vector<std::string> CompareRows(const std::vector<const hosts::HostBinding*>& bindings, const FakeHostDll& fake) {
  std::map<std::string, std::string> exported;
  for (const auto& [name, kinds] : fake.Functions()) exported[name] = kinds;
  std::vector<std::string> differences;
  std::set<std::string> declared;
  for (const hosts::HostBinding* binding : bindings) {
    for (const hosts::HostRowBase* row = binding->firstRow(); row; row = row->next()) {
      declared.insert(row->function());
      const auto it = exported.find(row->function());
      if (it == exported.end()) differences.push_back(std::string(row->operation()) + ": no export " + row->function());
      else if (it->second != row->kinds())
        differences.push_back(std::string(row->function()) + ": declared " + row->kinds() + ", exported " + it->second);
    }
  }
  for (const auto& [name, kinds] : exported)
    if (!declared.count(name)) differences.push_back(name + ": exported, declared by no row");
  if (exported.empty()) differences.push_back("the fake DLL lists no function");
  return differences;
}

}  // namespace zoq::testing
