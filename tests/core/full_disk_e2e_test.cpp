// A full disk: the data folder is a file system of 1 MiB (small_disk.sh
// mounts it, as root, in a mount namespace of its own). A write the disk
// cannot take leaves the library or the settings file byte for byte as it
// was, and the owner gets no confirmation; once there is room, the same
// command works.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "tests/messages/session.hpp"

namespace zoq::testing {
namespace {

const char* const kData = "\\ZOQData\\ZOQ-F-关键词\\";

std::vector<Arg> VlqEvent(std::int32_t code, const std::string& sender, const std::string& text) {
  return {std::string(kRobot), code, std::int32_t(0), std::string(), sender, std::string(), text,
          std::string("idB"),  std::string("idA"), std::string(), std::string(), std::int32_t(0)};
}

std::uint64_t FreeBytes(const std::string& folder) {
  ULARGE_INTEGER free{};
  GetDiskFreeSpaceExA(folder.c_str(), &free, nullptr, nullptr);
  return free.QuadPart;
}

// Fills the disk so that `pages` pages of 4 KiB stay free.
void FillLeaving(const std::string& folder, std::uint64_t pages) {
  DeleteFileA((folder + "fill").c_str());
  const std::uint64_t free = FreeBytes(folder);
  const std::uint64_t size = free > pages * 4096 ? free - pages * 4096 : 0;
  HANDLE f = CreateFileA((folder + "fill").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const std::string chunk(65536, 'f');
  for (std::uint64_t done = 0; done < size;) {
    const DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(chunk.size(), size - done));
    DWORD wrote = 0;
    if (!::WriteFile(f, chunk.data(), n, &wrote, nullptr) || wrote == 0) break;
    done += wrote;
  }
  CloseHandle(f);
}

std::uint64_t Pages(const std::string& bytes) { return (bytes.size() + 4095) / 4096; }

// The files of a folder (GBK names).
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  HANDLE h = FindFirstFileA((folder + "*").c_str(), &found);
  for (bool more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &found)) {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  }
  if (h != INVALID_HANDLE_VALUE) FindClose(h);
  return names;
}

TEST(FullDisk, AWriteTheDiskCannotTakeLeavesTheFileAsItWasAndIsNotConfirmed) {
  if (!std::getenv("ZOQ_SMALL_DISK")) GTEST_SKIP() << "needs a small file system of its own: root (small_disk.sh)";
  const std::string bin = BinFolder();
  const std::string folder = bin.substr(0, bin.rfind('\\')) + "\\e2e-runs\\small-disk";
  const std::string data = folder + kData;
  for (const std::string& name : FilesIn(data)) DeleteFileA((data + name).c_str());
  // A library that ends 16 bytes short of a page: whatever is added needs
  // one page more.
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < 600; ++i) entries.emplace_back("K" + std::to_string(i), "reply " + std::string(300, 'a' + i % 26));
  std::string library = Library(entries);
  library.insert(library.size() - 2, std::string((4096 + 4080 - library.size() % 4096) % 4096, 'z'));
  ASSERT_EQ(library.size() % 4096, 4080u);
  WriteFile(data + "SayZ.ini", library);
  const std::string admin = "[admin]\r\n主人号码=" + std::string(kOwner) + "\r\n添加返回文本=待:[词汇]\r\n";
  WriteFile(data + "admin", admin);
  CopyFileA((FakeHostFolder() + "\\VLQapi.dll").c_str(), (folder + "\\VLQapi.dll").c_str(), FALSE);
  DeleteFileA((folder + "\\fakehost.log").c_str());

  Host h(folder);
  ASSERT_TRUE(h.Load());
  h.CallNumber("Event", VlqEvent(12000, "", ""));
  h.CallNumber("Event", VlqEvent(1101, "", ""));
  const std::string sayM = ReadFile(data + "SayM.ini");
  std::size_t seen = 0;
  const auto sent = [&] {
    Sent out;
    std::string message;
    const std::vector<FakeCall> calls = ParseFakeHostLog(ReadFile(folder + "\\fakehost.log"));
    for (std::size_t i = seen; i < calls.size(); ++i) {
      if (IsSend(HostCaseNamed("VLQ"), calls[i], &message)) out.push_back(message);
    }
    seen = calls.size();
    return out;
  };
  const auto owner = [&](const std::string& text) { h.CallNumber("Event", VlqEvent(1, kOwner, text)); };

  // Staged while there is room; then the disk is filled: wholly, or all
  // but the room of a copy of the library (the INI functions' write then
  // runs out at its end). A library of two names (a hard link) is written
  // in place once its copy is on the disk: with room for the copy alone,
  // the file cannot grow there, and is put back as it was.
  const std::string link = data + "linked.ini";
  const struct {
    const char* staged;
    std::uint64_t freePages;
    bool linked = false;
  } rows[] = {{"新词", 0},
              {"新词", Pages(library)},
              {"K300", Pages(library)},
              {"K300", Pages(library) + 1, true},
              {"K599", Pages(library)}};
  for (const auto& row : rows) {
    DeleteFileA((data + "fill").c_str());
    owner(std::string("添加词汇") + row.staged);
    EXPECT_EQ(sent(), Sent{std::string("待:") + row.staged});
    if (row.linked) {
      ASSERT_TRUE(CreateHardLinkA(link.c_str(), (data + "SayZ.ini").c_str(), nullptr));
    }
    FillLeaving(data, row.freePages);
    owner("精确回复" + std::string(600, 'n'));
    owner("关闭问答");  // off and on again: in memory at once, confirmed only once stored
    owner("开启问答");
    // The settings file fits where a copy of the library does.
    const bool settingsFit = row.freePages > 0;
    const Sent confirmed = settingsFit ? Sent{"关键词回复已关闭", "关键词回复已开启"} : Sent{};
    EXPECT_EQ(sent(), confirmed)
        << row.staged << " " << row.freePages;
    EXPECT_EQ(ReadFile(data + "SayZ.ini"), library) << row.staged << " " << row.freePages;
    EXPECT_EQ(ReadFile(data + "admin").find("插件开关") != std::string::npos, settingsFit);
    EXPECT_EQ(ReadFile(data + "SayM.ini"), sayM);
    if (row.linked) {
      EXPECT_EQ(ReadFile(link), library) << row.staged << " " << row.freePages;
      DeleteFileA(link.c_str());
    }
  }
  // Room again: the keyword staged last is still staged, and is added.
  DeleteFileA((data + "fill").c_str());
  owner("精确回复好了");
  EXPECT_EQ(sent(), Sent{"K599\r\n好了"});
  EXPECT_EQ(FilesIn(data), (std::vector<std::string>{"admin", "SayM.ini", "SayZ.ini"})) << "no copy left behind";
  // A library missing at enable is written whole: on a full disk not at all
  // (never a part of it in its place), once there is room whole.
  DeleteFileA((data + "SayM.ini").c_str());
  FillLeaving(data, 0);
  h.CallNumber("Event", VlqEvent(12002, "", ""));
  h.CallNumber("Event", VlqEvent(12000, "", ""));
  EXPECT_EQ(FilesIn(data), (std::vector<std::string>{"admin", "fill", "SayZ.ini"}));
  DeleteFileA((data + "fill").c_str());
  h.CallNumber("Event", VlqEvent(12002, "", ""));
  h.CallNumber("Event", VlqEvent(12000, "", ""));
  EXPECT_EQ(ReadFile(data + "SayM.ini"), sayM);
}

}  // namespace
}  // namespace zoq::testing
