#include "tests/reply/reply_test_support.hpp"

#include <windows.h>

#include <map>
#include <memory>

#include "core/expand.hpp"
#include "core/hosts.hpp"
#include "core/ini_items.hpp"
#include "core/reply/environment.hpp"
#include "core/settings.hpp"
#include "platform/files.hpp"
#include "tests/fakehost/fakehost_client.hpp"

namespace zoq::testing {

std::string FreshReplyFolder() { return FreshTestRunFolder("reply-test-runs"); }

ReplyTest::ReplyTest() {
  ProgramStart(folder_);
  PluginState& p = Plugin();
  p.HostType = kHostVlq;
  p.RobotAccount = "10001";
  platform::CreateFolder(folder_ + "\\ZOQData");
  platform::CreateFolder(folder_ + "\\ZOQData\\ZOQ-F-关键词");
  p.DataFolder = folder_ + "\\ZOQData\\ZOQ-F-关键词\\";
  library_ = p.DataFolder + "SayM.ini";
  record_.kind = MessageKind::Group;
  record_.group = "20002";
  record_.sender = "30003";
  record_.text = "k";
  record_.idA = "7";
  record_.idB = "8";

  reply::Environment& env = reply::Env();
  env.randomPictureApi = web_.base() + "/api/api.php";
  env.textApiHost = web_.base();
  env.avatarService = web_.base();
  env.tickCount = [this] { return ticks_; };
  env.now = [this] { return now_; };
}

ReplyTest::~ReplyTest() {
  reply::ResetEnv();
  ProgramExit();
}

std::string ReplyTest::Expand(const std::string& reply, const std::string& keyword) {
  WriteIniItem(library_, keyword, std::string(kReplyKey), reply);
  return ExpandReply(record_, library_, keyword);
}

std::string ReplyTest::ReadDataFile(const std::string& name) const {
  return platform::ReadWholeFile(Plugin().DataFolder + name);
}

bool ReplyTest::DataFileExists(const std::string& name) const {
  return platform::FileExists(Plugin().DataFolder + name);
}

FakeHostDll& Fake(const std::string& dll) {
  static std::map<std::string, std::unique_ptr<FakeHostDll>> loaded;
  auto& fake = loaded[dll];
  if (!fake) {
    // A folder of this process's own: tests run in parallel processes.
    const std::string folder =
        FakeHostBuildFolder() + "\\..\\reply-test-runs\\hosts-" + std::to_string(GetCurrentProcessId());
    fake = std::make_unique<FakeHostDll>(dll, folder);
  }
  return *fake;
}

IskyHostTest::IskyHostTest() {
  Plugin().HostType = kHostIsky;
  Hosts().isky.SetAuthCode(77);
  fake_.Reset();
}

FakeCall IskyHostTest::Expect(const char* function, std::vector<std::string> args) const {
  args.insert(args.begin(), "77");
  return {"message.dll", function, std::move(args)};
}

TableHostTest::TableHostTest() {
  Plugin().HostType = kHostTable;
  std::string table = "{";
  for (const auto& [name, kinds] : fake_.Functions()) {
    const auto address =
        reinterpret_cast<std::uintptr_t>(GetProcAddress(static_cast<HMODULE>(fake_.module()), name.c_str()));
    table += (table.size() > 1 ? ",\"" : "\"") + name + "\":" + std::to_string(address);
  }
  Hosts().table.InitApiTable("KEY", table + "}");
  fake_.Reset();
}

FakeCall TableHostTest::Expect(const char* function, std::vector<std::string> args) const {
  args.insert(args.begin(), "KEY");
  return {"tablehost.dll", function, std::move(args)};
}

}  // namespace zoq::testing
