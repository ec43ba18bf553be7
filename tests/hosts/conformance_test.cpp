// Every adapter declares each host function as the host's own list has it:
// the same name, argument kinds and result kind, and no function of the list
// goes undeclared (for the WeChat-style host, in each of its two editions).
// The plain forwards need no test beyond this one.
#include <functional>
#include <map>
#include <set>

#include "hosts/adapters.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

// Every row of `rows` is exported by `fake` with the same argument and
// result kinds, and every function of `fake` is declared by some row; the
// differences, one line each.
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

template <class Api>
std::function<hosts::RowDeclarations()> RowsOf() {
  return [] { return Api().Declarations(); };
}

TEST(Conformance, EveryDeclaredRowMatchesTheHostsList) {
  const struct {
    const char* dll;
    std::function<hosts::RowDeclarations()> rows;
  } adapters[] = {
      {"VLQapi.dll", RowsOf<VlqHostApi>()},  {"OQapi.dll", RowsOf<OqHostApi>()},
      {"MingQQAPI.DLL", RowsOf<MingQqHostApi>()}, {"SPapi.dll", RowsOf<SpHostApi>()},
      {"ERapi.dll", RowsOf<ErHostApi>()},    {"MyQQApi.DLL", RowsOf<MyQqHostApi>()},
      {"message.dll", RowsOf<IskyHostApi>()}, {"tablehost.dll", RowsOf<TableHostApi>()},
      {"xqapi.dll", RowsOf<XqHostApi>()},
  };
  for (const auto& a : adapters) {
    const FakeHostDll fake(a.dll, FreshTestFolder());
    ASSERT_TRUE(fake.loaded()) << a.dll;
    EXPECT_EQ(CompareRows(a.rows(), fake), std::vector<std::string>{}) << a.dll;
  }
}

// Each edition's library exports what the rows declare for that edition,
// with the same kinds, and nothing else; a row of every edition is exported
// by at least one of them (the basic edition alone has InitApp, ...).
TEST(Conformance, EachWeChatStyleEditionExportsWhatTheRowsDeclareForIt) {
  const std::string folder = FreshTestFolder();
  const FakeHostDll basic("wx\\Api.dll", folder + "\\basic"), pro("wx-pro\\Api.dll", folder + "\\pro");
  const hosts::RowDeclarations rows = WxHostApi().Declarations();
  std::set<std::string> exported;
  for (const auto& [edition, fake] : {std::pair{hosts::kBasicEdition, &basic}, std::pair{hosts::kProEdition, &pro}}) {
    std::set<std::string> names;
    for (const auto& [name, kinds] : fake->Functions()) names.insert(name);
    hosts::RowDeclarations declared;
    for (const hosts::RowDeclaration& row : rows)
      if (row.edition == edition || (row.edition.empty() && names.count(row.function))) declared.push_back(row);
    EXPECT_EQ(CompareRows(declared, *fake), std::vector<std::string>{}) << edition;
    exported.insert(names.begin(), names.end());
  }
  for (const hosts::RowDeclaration& row : rows) EXPECT_TRUE(exported.count(row.function)) << row.function;
  EXPECT_GT(rows.size(), 60u);
}

}  // namespace
}  // namespace zoq::testing
