#include "tests/hosts/host_test_support.hpp"

#include <windows.h>

#include <map>
#include <set>

#include "core/error_hook.hpp"

namespace zoq::testing {

std::string FreshTestFolder() { return FreshTestRunFolder("hosts-test-runs"); }

RaisedErrors::RaisedErrors() {
  RegisterErrorHook([this](int code, const std::string& message) {
    codes.push_back(code);
    messages.push_back(message);
  });
}

RaisedErrors::~RaisedErrors() { RegisterErrorHook(nullptr); }

std::string ApiTableOf(const FakeHostDll& fake) {
  std::string table = "{";
  for (const auto& [name, kinds] : fake.Functions()) {
    const auto address = reinterpret_cast<std::uintptr_t>(GetProcAddress(static_cast<HMODULE>(fake.module()), name.c_str()));
    table += (table.size() > 1 ? ",\"" : "\"") + name + "\":" + std::to_string(address);
  }
  return table + "}";
}

std::vector<std::string> CompareRows(const hosts::RowDeclarations& rows, const FakeHostDll& fake) {
  std::map<std::string, std::string> exported;
  for (const auto& [name, signature] : fake.Functions()) exported[name] = signature;
  std::vector<std::string> differences;
  std::set<std::string> declared;
  for (const hosts::RowDeclaration& row : rows) {
    declared.insert(row.function);
    const std::string signature = row.kinds + " " + row.result;
    const auto it = exported.find(row.function);
    if (it == exported.end()) differences.push_back(row.operation + ": no export " + row.function);
    else if (it->second != signature)
      differences.push_back(row.function + ": declared " + signature + ", exported " + it->second);
  }
  for (const auto& [name, signature] : exported)
    if (!declared.count(name)) differences.push_back(name + ": exported, declared by no row");
  if (exported.empty()) differences.push_back("the fake DLL lists no function");
  return differences;
}

}  // namespace zoq::testing
