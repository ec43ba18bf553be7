// The WeChat-style host's adapter against the two editions of its fake
// Api.dll: the basic one in <folder>\Bin\, the professional one in
// <folder>\Bin\Bin\, as the host lays them out.
#include <functional>
#include <map>
#include <set>

#include "hosts/adapters.hpp"
#include "platform/modules.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

constexpr const char* kApp = "应用";
constexpr const char* kFile = "host.exe";
constexpr const char* kRobot = "wxid_robot";

// JSON text of a Windows path.
std::string JsonPath(const std::string& path) {
  std::string out;
  for (char c : path) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

class WxHostTest : public ::testing::Test {
 protected:
  std::string InitJson(const std::string& edition, const std::string& more = {}) const {
    return "{\"AppName\":\"" + std::string(kApp) + "\",\"FileName\":\"" + kFile + "\",\"Version\":\"" + edition +
           "\",\"path\":\"" + JsonPath(folder_) + "\"" + more + "}";
  }
  // A fresh adapter (its edition never goes back) started for `edition`.
  WxHostApi Started(const std::string& edition) {
    WxHostApi api;
    api.InitApp(InitJson(edition));
    basic_.Reset();
    return api;
  }
  WxHostApi Basic() { return Started("VLW"); }
  WxHostApi Pro() { return Started("VLW_Pro"); }
  FakeHostDll& Edition(const WxHostApi& api) { return api.ProMode() == 1 ? pro_ : basic_; }
  // A call with the identity pair first.
  static FakeCall Expect(const std::string& function, std::vector<std::string> args) {
    args.insert(args.begin(), {kFile, kApp});
    return Call("Api.dll", function, std::move(args));
  }

  std::string folder_ = FreshTestFolder();
  FakeHostDll basic_{"wx\\Api.dll", folder_ + "\\Bin"};
  FakeHostDll pro_{"wx-pro\\Api.dll", folder_ + "\\Bin\\Bin"};
};

// Each edition's library exports what the rows declare for that edition,
// with the same kinds, and nothing else; a row of every edition is exported
// by at least one of them (the basic edition alone has InitApp, ...).
TEST_F(WxHostTest, EveryDeclaredRowMatchesTheHostsList) {
  ASSERT_TRUE(basic_.loaded() && pro_.loaded());
  const hosts::RowDeclarations rows = WxHostApi().Declarations();
  std::vector<std::string> differences;
  std::map<std::string, int> everyEditionFound;
  for (const auto& [edition, fake] : {std::pair{hosts::kBasicEdition, &basic_}, std::pair{hosts::kProEdition, &pro_}}) {
    const auto functions = fake->Functions();
    const std::map<std::string, std::string> exported(functions.begin(), functions.end());
    std::set<std::string> declared;
    for (const hosts::RowDeclaration& row : rows) {
      if (!row.edition.empty() && row.edition != edition) continue;
      const auto it = exported.find(row.function);
      if (it == exported.end()) {
        if (!row.edition.empty()) differences.push_back(std::string(edition) + ": no export " + row.function);
        continue;
      }
      declared.insert(row.function);
      if (row.edition.empty()) ++everyEditionFound[row.function];
      if (it->second != row.kinds + " " + row.result)
        differences.push_back(std::string(edition) + ": " + row.function + " declared " + row.kinds + " " +
                              row.result + ", exported " + it->second);
    }
    for (const auto& [name, signature] : exported)
      if (!declared.count(name)) differences.push_back(std::string(edition) + ": " + name + " declared by no row");
  }
  for (const hosts::RowDeclaration& row : rows)
    if (row.edition.empty() && !everyEditionFound.count(row.function))
      differences.push_back(row.function + ": in neither edition");
  EXPECT_EQ(differences, std::vector<std::string>{});
  EXPECT_GT(rows.size(), 60u);
}

}  // namespace
}  // namespace zoq::testing
