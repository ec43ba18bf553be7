#include "platform/folder_watch.hpp"

#include <windows.h>

namespace zoq::platform {

struct FolderWatch::Request {
  OVERLAPPED overlapped{};
  alignas(DWORD) char buffer[16384];
};

FolderWatch::FolderWatch(const std::string& folder) : folder_(folder), request_(std::make_unique<Request>()) {
  const HANDLE h = CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  directory_ = h;
  request_->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!request_->overlapped.hEvent || !Arm()) Stop();
}

FolderWatch::~FolderWatch() { Stop(); }

bool FolderWatch::Arm() {
  ResetEvent(request_->overlapped.hEvent);
  armed_ = ReadDirectoryChangesW(static_cast<HANDLE>(directory_), request_->buffer, sizeof request_->buffer, FALSE,
                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE,
                                 nullptr, &request_->overlapped, nullptr) != 0;
  return armed_;
}

void FolderWatch::Stop() {
  if (armed_) {
    DWORD ignored = 0;
    CancelIoEx(static_cast<HANDLE>(directory_), &request_->overlapped);
    GetOverlappedResult(static_cast<HANDLE>(directory_), &request_->overlapped, &ignored, TRUE);
    armed_ = false;
  }
  if (directory_) CloseHandle(static_cast<HANDLE>(directory_));
  if (request_->overlapped.hEvent) CloseHandle(request_->overlapped.hEvent);
  directory_ = nullptr;
  request_->overlapped.hEvent = nullptr;
}

FolderWatch::Changes FolderWatch::Take() {
  Changes changes;
  DWORD bytes = 0;
  while (armed_) {
    if (!GetOverlappedResult(static_cast<HANDLE>(directory_), &request_->overlapped, &bytes, FALSE)) {
      if (GetLastError() == ERROR_IO_INCOMPLETE) break;  // nothing more yet
      bytes = 0;
    }
    armed_ = false;
    if (bytes == 0) changes.all = true;  // more changes than the buffer held, or a failure
    for (DWORD at = 0; bytes > 0;) {
      const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(request_->buffer + at);
      const int length = static_cast<int>(info->FileNameLength / sizeof(WCHAR));
      const int n = WideCharToMultiByte(CP_ACP, 0, info->FileName, length, nullptr, 0, nullptr, nullptr);
      std::string name(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
      if (n > 0) WideCharToMultiByte(CP_ACP, 0, info->FileName, length, name.data(), n, nullptr, nullptr);
      changes.names.push_back(std::move(name));
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
    }
    if (!Arm()) {
      Stop();
      changes.all = true;
    }
  }
  return changes;
}

}  // namespace zoq::platform
