// The real DLL in a host process: load, unload, the common export.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>

#include "tests/host/harness.hpp"

namespace zoq::testing {
namespace {

std::set<std::string> FolderEntries(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string n = fd.cFileName;
    if (n != "." && n != "..") names.insert(n);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return names;
}

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
  EXPECT_EQ(FolderEntries(folder), (std::set<std::string>{"zoqhost.exe", PluginFileName()}));
}

TEST(Foundation, SdkVersionIsV6OnEveryCall) {
  Host host(FreshRunFolder("sdk-version"));
  ASSERT_TRUE(host.Load());
  for (int i = 0; i < 2; ++i) {
    const CallResult r = host.CallText("SdkVersion");
    ASSERT_TRUE(r.ok) << r.raw;
    EXPECT_EQ(r.stackSkew, 0);
    EXPECT_EQ(r.text, "V6");
  }
}

TEST(Foundation, AnExportCalledWithTooManyWordsIsDetectedByTheHost) {
  // The host stand-in's stack check is what the export tests rely on.
  Host host(FreshRunFolder("sdk-skew"));
  ASSERT_TRUE(host.Load());
  const CallResult r = host.CallText("SdkVersion", {std::int32_t(1)});
  ASSERT_TRUE(r.ok) << r.raw;
  EXPECT_EQ(r.stackSkew, -4);
}

TEST(Foundation, GbkExportNamesReachTheExportTable) {
  HMODULE m = LoadLibraryA("gbk_export_probe.dll");
  ASSERT_NE(m, nullptr);
  auto fn = reinterpret_cast<int(__stdcall*)(int, int)>(GetProcAddress(m, "初始化"));
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(fn(2, 3), 5);
  FreeLibrary(m);
}

}  // namespace
}  // namespace zoq::testing
