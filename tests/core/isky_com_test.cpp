// The ISky start and stop exports in this process: COM of the host's thread.
#include <objbase.h>
#include <windows.h>

#include "core/plugin.hpp"
#include "tests/core/core_fixture.hpp"

extern "C" __stdcall std::int32_t ISky_Initialization();
extern "C" __stdcall std::int32_t ISky_pluginStart();
extern "C" __stdcall std::int32_t ISky_pluginStop();

namespace zoq::testing {
namespace {

using IskyComTest = CoreTest;

// Mended: the stop gives back only the plug-in's own hold on COM, once, so
// the host thread's COM outlives any number of stops; starts and stops pair up.
TEST_F(IskyComTest, StopGivesBackOnlyThePluginsOwnCom) {
  EXPECT_EQ(ISky_pluginStart(), 0);
  EXPECT_EQ(ISky_pluginStart(), 0);
  EXPECT_EQ(ISky_pluginStop(), 0);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);  // nothing of the plug-in's left; now the host's own
  EXPECT_EQ(ISky_Initialization(), 0);
  EXPECT_EQ(Plugin().HostType.load(), kHostIsky);
  EXPECT_EQ(ISky_pluginStart(), 0);
  EXPECT_EQ(ISky_pluginStop(), 0);
  EXPECT_EQ(ISky_pluginStop(), 0);
  EXPECT_EQ(Plugin().HostType.load(), kHostIsky);
  EXPECT_EQ(Plugin().RobotAccount(), "");
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);  // still initialised
  CoUninitialize();
  CoUninitialize();
}

}  // namespace
}  // namespace zoq::testing
