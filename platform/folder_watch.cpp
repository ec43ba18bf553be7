#include "platform/folder_watch.hpp"

#include <windows.h>

#include <algorithm>

#include "platform/code_pages.hpp"
#include "platform/files.hpp"
#include "text/text.hpp"

namespace zoq::platform {

// One folder opened for the system's change reports, with its request
// pending between two looks. The folder's handle is bound to a completion
// port of its own, which makes the request no thread's: Windows cancels a
// thread's requests when it ends, and a host may call the plug-in on a
// thread that then ends (one a message, say). Nothing waits on the port:
// the request itself tells that it completed, and the port's packet of it
// is taken then.
struct FolderWatch::Request {
  explicit Request(std::size_t bytes) : buffer(bytes / sizeof(DWORD)) {}
  ~Request() {
    if (armed) {
      DWORD ignored = 0;
      CancelIoEx(directory, &overlapped);
      GetOverlappedResult(directory, &overlapped, &ignored, TRUE);
    }
    if (directory != INVALID_HANDLE_VALUE) CloseHandle(directory);
    if (port) CloseHandle(port);
  }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  // Opens `path` and asks for the changes of kinds `what`; false when the
  // folder cannot be watched.
  bool Open(const std::string& path, DWORD what) {
    filter = what;
    directory = CreateFileW(WidePath(path).c_str(), FILE_LIST_DIRECTORY,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (directory == INVALID_HANDLE_VALUE) return false;
    port = CreateIoCompletionPort(directory, nullptr, 0, 1);
    return port && Arm();
  }

  bool Arm() {
    armed = ReadDirectoryChangesW(directory, buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(DWORD)), FALSE,
                                  filter, nullptr, &overlapped, nullptr) != 0;
    return armed;
  }

  // Adds the names reported since the last look to `names` (GBK), `lost`
  // when the system lost count, `restarted` when the request was cancelled
  // and asked again (what changed in between is not told). False when the
  // request failed: the folder was deleted, say.
  bool Collect(std::vector<std::string>& names, bool& lost, bool& restarted);

  HANDLE directory = INVALID_HANDLE_VALUE;
  HANDLE port = nullptr;
  DWORD filter = 0;
  OVERLAPPED overlapped{};
  bool armed = false;
  std::vector<DWORD> buffer;
};

ZOQ_HOT bool FolderWatch::Request::Collect(std::vector<std::string>& names, bool& lost, bool& restarted) {
  DWORD bytes = 0;
  while (armed) {
    // Still pending, as nearly always: told by the request itself, without
    // a call (a message looks every time).
    if (!HasOverlappedIoCompleted(&overlapped)) return true;
    const DWORD error = GetOverlappedResult(directory, &overlapped, &bytes, FALSE) ? ERROR_SUCCESS : GetLastError();
    if (error == ERROR_IO_INCOMPLETE) return true;  // nothing more yet
    armed = false;
    DWORD ignored = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* done = nullptr;
    GetQueuedCompletionStatus(port, &ignored, &key, &done, 0);
    if (error == ERROR_OPERATION_ABORTED) {
      // Cancelled (by the end of a thread, where the system still ties the
      // request to one): asked again, once a look.
      restarted = true;
      return Arm();
    }
    if (error != ERROR_SUCCESS && error != ERROR_NOTIFY_ENUM_DIR) return false;
    if (error != ERROR_SUCCESS) bytes = 0;
    if (bytes == 0) lost = true;  // more changes than the buffer held
    const char* const start = reinterpret_cast<const char*>(buffer.data());
    for (DWORD at = 0; bytes > 0;) {
      const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(start + at);
      names.push_back(WideToAnsi(std::wstring_view(info->FileName, info->FileNameLength / sizeof(WCHAR))));
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
    }
    if (!Arm()) return false;
  }
  return false;
}

FolderWatch::FolderWatch(const std::string& folder, bool files) {
  const DWORD what = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE;
  auto request = std::make_unique<Request>(16384);
  if (files && !request->Open(folder, what)) return;
  if (files) files_ = std::move(request);
  // The folder above, for the folder's own name (none for a drive's root
  // or a name of the current folder).
  const std::size_t cut = LastPathSeparator(folder);
  if (cut == std::string::npos) return;
  name_ = folder.substr(cut + 1);
  if (name_.empty() || name_ == "." || name_ == "..") return;
  std::string above = folder.substr(0, cut);
  if (above.empty() || above.back() == ':') above += '\\';
  request = std::make_unique<Request>(4096);
  if (request->Open(above, FILE_NOTIFY_CHANGE_DIR_NAME)) above_ = std::move(request);
}

FolderWatch::~FolderWatch() = default;

ZOQ_HOT FolderWatch::Changes FolderWatch::Take() {
  Changes changes;
  if (!watching()) return changes;
  bool gone = files_ && !files_->Collect(changes.names, changes.all, changes.restarted);
  if (above_) {
    // Any report of the folder's name there: renamed away, deleted, or
    // another put in its place. Of the folder above failing: it went too.
    std::vector<std::string> names;
    bool lost = false;
    const auto named = [&](const std::string& n) { return text::EqualsIgnoreAsciiCase(n, name_); };
    gone = !above_->Collect(names, lost, changes.restarted) || lost || gone ||
           std::any_of(names.begin(), names.end(), named);
  }
  if (gone) {
    files_.reset();
    above_.reset();
    changes.gone = true;
  }
  return changes;
}

}  // namespace zoq::platform
