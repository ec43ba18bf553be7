#include "tests/hosts/host_test_support.hpp"

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
