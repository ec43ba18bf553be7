// The system's change reports of a folder, as a library's reads rely on
// them, on whatever thread the watch was made or is looked at: a folder
// where nothing changed tells nothing and stays watched (a
// message then asks the disk nothing), a change names its file, a folder
// renamed away is told as gone, and more changes than the watch can hold are
// told as lost count while the watch goes on.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>

#include "platform/files.hpp"
#include "platform/folder_watch.hpp"

namespace zoq::testing {
namespace {

using platform::FolderWatch;

// What the watch collects within `ms`, looked at until something is told,
// each time on a thread that then ends, as a host that calls the plug-in on
// a new thread each message: the system keeps no request of the watch for
// that thread. (Windows cancelled them with the thread: every message read
// the libraries again.)
FolderWatch::Changes TakeWithin(FolderWatch& watch, int ms) {
  FolderWatch::Changes changes;
  for (int waited = 0; waited <= ms; waited += 20) {
    std::thread([&] { changes = watch.Take(); }).join();
    if (changes.all || changes.gone || !changes.names.empty()) break;
    Sleep(20);
  }
  return changes;
}

TEST(FolderWatch, TellsNothingOfAStillFolderItsFilesChangesAndItsGoing) {
  const std::string folder = platform::CurrentFolder() + "\\folder-watch-test";
  const auto removeAway = [&] {
    platform::RemoveFile(folder + "-away\\SayZ.ini");
    RemoveDirectoryA((folder + "-away").c_str());
  };
  platform::RemoveFile(folder + "\\SayZ.ini");
  removeAway();
  platform::CreateFolder(folder);
  std::unique_ptr<FolderWatch> made;
  std::thread([&] { made = std::make_unique<FolderWatch>(folder); }).join();
  FolderWatch& watch = *made;
  ASSERT_TRUE(watch.watching());
  for (int look = 0; look < 3; ++look) {
    const FolderWatch::Changes still = TakeWithin(watch, 100);
    EXPECT_FALSE(still.gone || still.all || still.restarted) << look;
    EXPECT_TRUE(still.names.empty()) << look;
    EXPECT_TRUE(watch.watching()) << look;
  }
  ASSERT_TRUE(platform::WriteWholeFile(folder + "\\SayZ.ini", "[k]\r\n"));
  const FolderWatch::Changes written = TakeWithin(watch, 2000);
  EXPECT_FALSE(written.gone || written.restarted);
  EXPECT_FALSE(written.all);
  EXPECT_NE(std::find(written.names.begin(), written.names.end(), "SayZ.ini"), written.names.end());
  TakeWithin(watch, 100);  // the rest of the write's reports

  ASSERT_TRUE(MoveFileA(folder.c_str(), (folder + "-away").c_str()));
  EXPECT_TRUE(TakeWithin(watch, 2000).gone);
  EXPECT_FALSE(watch.watching());
  EXPECT_TRUE(TakeWithin(watch, 0).names.empty());
  removeAway();
}

// More changes between two looks than the request's buffer holds: told as
// lost count (any file may have changed), and the folder stays watched.
TEST(FolderWatch, MoreChangesThanItsBufferHoldsAreToldAsLostCountAndTheWatchGoesOn) {
  const std::string folder = platform::CurrentFolder() + "\\folder-watch-overflow";
  const auto name = [](int i) { return "a-file-with-a-name-long-enough-to-fill-the-buffer-soon-" + std::to_string(i); };
  for (int i = 0; i < 400; ++i) platform::RemoveFile(folder + "\\" + name(i));
  platform::CreateFolder(folder);
  FolderWatch watch(folder);
  ASSERT_TRUE(watch.watching());
  for (int i = 0; i < 400; ++i) ASSERT_TRUE(platform::WriteWholeFile(folder + "\\" + name(i), "x"));
  bool lost = false;
  for (int look = 0; look < 100 && !lost; ++look) {
    const FolderWatch::Changes changes = TakeWithin(watch, 100);
    ASSERT_FALSE(changes.gone) << look;
    lost = changes.all;
  }
  EXPECT_TRUE(lost);
  EXPECT_TRUE(watch.watching());
  TakeWithin(watch, 100);
  ASSERT_TRUE(platform::WriteWholeFile(folder + "\\" + name(0), "y"));
  const FolderWatch::Changes after = TakeWithin(watch, 2000);
  EXPECT_FALSE(after.gone);
  EXPECT_TRUE(after.all || std::find(after.names.begin(), after.names.end(), name(0)) != after.names.end());
  for (int i = 0; i < 400; ++i) platform::RemoveFile(folder + "\\" + name(i));
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
}  // namespace zoq::testing
