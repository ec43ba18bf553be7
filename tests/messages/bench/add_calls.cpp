// The Windows calls an owner's add makes, without the plug-in around them:
// a DLL the messages benchmark loads into the test host beside the plug-in,
// so that the calls are made by the same host thread that calls the plug-in,
// timed by the host the same way. Through the plug-in's own wrappers of the
// calls, in a folder of the same disk, on files of the sizes the add finds
// and writes: the folder's lock taken; the settings file opened to be
// written, and looked at; the library opened and looked at, where its name
// leads asked; the copy written and flushed; both files looked at again; the
// copy put in the library's place; the settings file cut; the lock let go.
#include <windows.h>

#include <memory>
#include <string>

#include "platform/files.hpp"

namespace {

using zoq::platform::FileCopy;
using zoq::platform::OpenedFile;

// What the folder's files hold, and what the add writes.
std::string g_folder, g_library, g_settings, g_written;
std::size_t g_cutAt = 0;
HANDLE g_lock = nullptr;

// Its state, its bytes as known, its state again, its stamp by its name.
bool Look(const OpenedFile& file, const std::string& path, const std::string& bytes) {
  const auto before = file.State();
  const bool holds = file.Holds(bytes);
  return before && holds && file.State() == before && zoq::platform::StampOf(path).exists;
}

}  // namespace

// Before each add, untimed: `folder` (ending in a backslash) holds a copy of
// the library file `library` and the settings `settings`, which the add cuts
// to its first `cutAt` bytes; the add writes the library with a section
// more, named after `round`.
extern "C" __declspec(dllexport) int __stdcall AddCallsReady(const char* folder, const char* library,
                                                             const char* settings, int cutAt, int round) {
  if (!g_lock) g_lock = CreateMutexA(nullptr, FALSE, nullptr);
  g_folder = folder;
  zoq::platform::CreateFolder(g_folder);
  if (round == 0) {
    g_library = zoq::platform::ReadWholeFile(library);
    zoq::platform::WriteWholeFile(g_folder + "library", g_library);
  }
  g_settings = settings;
  g_cutAt = static_cast<std::size_t>(cutAt);
  g_written = g_library + "[k" + std::to_string(round) + "]\r\nr=1\r\n";
  return zoq::platform::WriteWholeFile(g_folder + "settings", g_settings) ? 1 : 0;
}

// The calls themselves: 1 when each step was done.
extern "C" __declspec(dllexport) int __stdcall AddCallsOnce() {
  const std::string settingsPath = g_folder + "settings", libraryPath = g_folder + "library";
  bool done = WaitForSingleObject(g_lock, 0) == WAIT_OBJECT_0;
  {
    const OpenedFile settings(settingsPath, /*forWriting=*/true);
    done = done && Look(settings, settingsPath, g_settings);
    auto library = std::make_unique<OpenedFile>(libraryPath);
    done = done && Look(*library, libraryPath, g_library) && !library->LinkTarget(libraryPath);
    FileCopy copy(libraryPath + ".copy", g_written);
    done = done && copy.written() && Look(*library, libraryPath, g_library);
    library.reset();
    done = done && copy.PutOnce(libraryPath, true) == zoq::platform::MoveResult::Done;
    if (done) g_library = g_written;
    done = done && Look(settings, settingsPath, g_settings) && settings.CutAt(g_cutAt);
  }
  return ReleaseMutex(g_lock) && done ? 1 : 0;
}
