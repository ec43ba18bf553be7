// The real DLL in a host process: load, unload, the common export.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/stdcall.hpp"
#include "tests/host/harness.hpp"

namespace zoq::testing {
namespace {

TEST(Foundation, LoadAndUnloadWriteNothingAndSetTheHostFolderCurrent) {
  const std::string folder = FreshRunFolder("load-unload");
  {
    Host host(folder);
    ASSERT_NE(host.CurrentFolder(), folder);  // the host starts elsewhere
    ASSERT_TRUE(host.Load());
    EXPECT_EQ(host.CurrentFolder(), folder);
    host.Unload();
    EXPECT_EQ(host.CurrentFolder(), folder);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);  // the host and the plug-in
}

TEST(Foundation, SdkVersionIsV6OnEveryCallAndTheHostSeesAWrongWordCount) {
  Host host(FreshRunFolder("sdk-version"));
  ASSERT_TRUE(host.Load());
  for (int i = 0; i < 2; ++i) {
    const CallResult r = host.CallText("SdkVersion");
    ASSERT_TRUE(r.ok) << r.raw;
    EXPECT_EQ(r.stackSkew, 0);
    EXPECT_EQ(r.text, "V6");
  }
  // The host stand-in's stack check is what the export tests rely on
  // (where words are counted: the 32-bit DLL).
  EXPECT_EQ(host.CallText("SdkVersion", {std::int32_t(1)}).stackSkew, platform::kStackChecked ? -4 : 0);
}

}  // namespace
}  // namespace zoq::testing
