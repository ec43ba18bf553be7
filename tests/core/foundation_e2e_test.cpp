// The real DLL in a host process: load, unload, the common export.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <tuple>

#include "platform/stdcall.hpp"
#include "tests/high_addresses.hpp"
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

// In the x86-64 build nothing of a test program or of the test host lies
// below 4 GB: an address carried in 32 bits on a host's call path (a text,
// a block, a callback, the plug-in's own statics) fails the test that
// crosses it every time. The 32-bit build has no other addresses.
TEST(Foundation, TheTestsAddressesLieAbove4GBWhereWordsHoldThem) {
  const bool wide = sizeof(void*) == 8;
  const int onStack = 0;
  const auto fresh = std::make_unique<char[]>(24);
  void* heap = HeapAlloc(GetProcessHeap(), 0, 24);
  EXPECT_EQ(std::make_tuple(AboveLowAddresses(&onStack), AboveLowAddresses(fresh.get()), AboveLowAddresses(heap)),
            std::make_tuple(wide, wide, wide));
  HeapFree(GetProcessHeap(), 0, heap);
  Host host(FreshRunFolder("high-addresses"));
  ASSERT_TRUE(host.Load());
  EXPECT_EQ(host.Command("where"), wide ? "ok 1 1 1 1" : "ok 0 0 0 0");
}

}  // namespace
}  // namespace zoq::testing
