#include "platform/files.hpp"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/code_pages.hpp"
#include "text/text.hpp"

namespace zoq::platform {
namespace {

// The longest path the plain form of a path takes (a folder's: MAX_PATH less
// room for a file name of 8.3 and the NUL).
constexpr std::size_t kPlainPathLimit = 247;

// A path of the wide functions as a full path, or `path` itself when it
// cannot be resolved.
std::wstring FullWide(const std::wstring& path) {
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring out(n, L'\0');
  const DWORD got = GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
  if (got == 0 || got >= n) return path;
  out.resize(got);
  return out;
}

// A path as the ANSI functions take it: its name in the code page
// (NameInCodePage), else the path with what the code page cannot hold as "?".
std::string AnsiPath(const std::wstring& path) {
  if (path.empty()) return {};
  std::optional<std::string> name = NameInCodePage(path, WideToAnsiExact);
  return name ? std::move(*name) : WideToAnsi(path);
}

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

DWORD AttributesOf(const std::string& path) { return GetFileAttributesW(WidePath(path).c_str()); }

// Others may read, write and replace the file meanwhile (unless `share`
// says otherwise): a replacement takes the name, and this handle goes on
// reading what it opened.
FileHandle OpenFile(const std::string& path, DWORD access, DWORD disposition,
                    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, DWORD flags = 0) {
  HANDLE h = CreateFileW(WidePath(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL | flags,
                         nullptr);
  return FileHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

bool WriteAll(HANDLE f, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (!WriteFile(f, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) return false;
    done += wrote;
  }
  return true;
}

// From where the handle stands to the end of the file; none when a read
// fails. Read in place at the size the file has, with one byte more so that
// its end is seen without growing the block; a file that grows meanwhile is
// read on in chunks.
std::optional<std::string> ReadToEnd(HANDLE f) {
  LARGE_INTEGER size{};
  std::string out(GetFileSizeEx(f, &size) && size.QuadPart > 0 ? static_cast<std::size_t>(size.QuadPart) + 1 : 0, '\0');
  std::size_t done = 0;
  DWORD got = 0;
  for (;;) {
    if (done == out.size()) out.resize(done + 65536);
    if (!ReadFile(f, out.data() + done, static_cast<DWORD>(out.size() - done), &got, nullptr)) return std::nullopt;
    if (got == 0) break;
    done += got;
  }
  out.resize(done);
  return out;
}

bool Seek(HANDLE f, std::uint64_t at) {
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(at);
  return SetFilePointerEx(f, to, nullptr, FILE_BEGIN) != 0;
}

// A full path in the form that takes any length: "\\?\" before it ("\\?\UNC\"
// instead of the "\\" of a share).
std::wstring ExtendedForm(const std::wstring& full) {
  if (full.starts_with(L"\\\\?\\")) return full;
  return full.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

// A path of that form in the plain one (any other as it is).
std::wstring PlainForm(const std::wstring& path) {
  if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
  return path.starts_with(L"\\\\?\\") ? path.substr(4) : path;
}

}  // namespace

ZOQ_HOT std::wstring WidePath(const std::string& path) {
  const std::wstring wide = AnsiToWide(path);
  if (wide.size() <= kPlainPathLimit || wide.starts_with(L"\\\\?\\")) return wide;
  return ExtendedForm(FullWide(wide));
}

std::size_t LastPathSeparator(const std::string& path) {
  std::size_t last = std::string::npos;
  for (std::size_t i = 0; i < path.size(); i += text::CharLength(path, i)) {
    if (path[i] == '\\' || path[i] == '/') last = i;
  }
  return last;
}

std::optional<std::string> NameInCodePage(const std::wstring& path, std::string (*inCodePage)(std::wstring_view)) {
  std::string exact = inCodePage(path);
  if (exact.empty()) {
    if (const std::optional<std::wstring> brief = ShortPath(path)) exact = inCodePage(*brief);
  }
  if (exact.empty()) return std::nullopt;
  return exact;
}

std::optional<std::wstring> ShortPath(const std::wstring& path) {
  // A path past the plain form's length is asked for in the form that takes
  // any length, and its short form given back in the plain form.
  const bool extended = path.size() >= MAX_PATH;
  const std::wstring asked = extended ? ExtendedForm(path) : path;
  const DWORD n = volumeWithoutShortNames ? 0 : GetShortPathNameW(asked.c_str(), nullptr, 0);
  std::wstring brief(n, L'\0');
  if (n == 0 || GetShortPathNameW(asked.c_str(), brief.data(), n) + 1 != n) return std::nullopt;
  brief.resize(n - 1);
  return extended ? PlainForm(brief) : brief;
}

bool FitsAnsiFunctions(const std::string& path) {
  static_assert(kLongestAnsiPath + 1 == MAX_PATH);
  return AnsiToWide(path).size() <= kLongestAnsiPath;
}

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return AnsiPath(buffer.substr(0, n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  const std::size_t cut = LastPathSeparator(path);
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::string CurrentFolder() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return {};
  std::wstring out(n, L'\0');
  const DWORD got = GetCurrentDirectoryW(n, out.data());
  return got < n ? AnsiPath(out.substr(0, got)) : std::string();
}

bool SetCurrentFolder(const std::string& folder) { return SetCurrentDirectoryW(WidePath(folder).c_str()) != 0; }

std::string FullPath(const std::string& path) { return path.empty() ? path : AnsiPath(FullWide(AnsiToWide(path))); }

bool FileExists(const std::string& path) {
  const DWORD a = AttributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

ZOQ_HOT FileStamp StampOf(const std::string& path) {
  const auto wide = [](DWORD high, DWORD low) { return (std::uint64_t(high) << 32) | low; };
  // A query by name (opening the file would cost a message its time).
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return {};
  }
  return {true, wide(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime),
          wide(data.nFileSizeHigh, data.nFileSizeLow)};
}

bool FolderExists(const std::string& path) {
  const DWORD a = AttributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void CreateFolder(const std::string& path) { CreateDirectoryW(WidePath(path).c_str(), nullptr); }

void CreateFolders(const std::string& path) {
  if (path.empty() || FolderExists(path)) return;
  const std::size_t cut = LastPathSeparator(path);
  if (cut != std::string::npos && cut > 0) CreateFolders(path.substr(0, cut));
  CreateFolder(path);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  FileHandle f = OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS);
  return f && WriteAll(f.get(), bytes);
}

FileCopy::FileCopy(const std::string& path, const std::string& bytes) : path_(path) {
  FileHandle f = OpenFile(path, GENERIC_WRITE | DELETE, CREATE_ALWAYS);
  written_ = f && WriteAll(f.get(), bytes) && FlushFileBuffers(f.get()) != 0;
  handle_ = f.release();
}

FileCopy::~FileCopy() {
  if (handle_) CloseHandle(handle_);
  if (!placed_) RemoveFile(path_);
}

MoveResult FileCopy::PutOnce(const std::string& to, bool overwrite) {
  if (!written_ || placed_) return MoveResult::Failed;
  // Renamed through its own handle, by the name the system itself uses: the
  // path's form of any length with "\??\" for its "\\?\".
  std::wstring target = ExtendedForm(FullWide(WidePath(to)));
  target[1] = L'?';
  const std::size_t length = target.size() * sizeof(wchar_t);
  std::string block(offsetof(FILE_RENAME_INFO, FileName) + length + sizeof(wchar_t), '\0');
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
  rename->ReplaceIfExists = overwrite;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(length);
  std::memcpy(rename->FileName, target.c_str(), length);
  if (SetFileInformationByHandle(handle_, FileRenameInfo, rename, static_cast<DWORD>(block.size()))) {
    // Let go at once: a program that opens the file without sharing its
    // writes finds it free.
    CloseHandle(handle_);
    handle_ = nullptr;
    placed_ = true;
    return MoveResult::Done;
  }
  const DWORD error = GetLastError();
  // Another program holding the old file open lets go in a moment; anything
  // else is final.
  const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
  return overwrite && held && !IsReadOnlyFile(to) ? MoveResult::HeldUp : MoveResult::Failed;
}

bool FileCopy::Put(const std::string& to, bool overwrite) {
  for (int attempt = 0;; ++attempt) {
    const MoveResult moved = PutOnce(to, overwrite);
    if (moved != MoveResult::HeldUp || attempt >= 40) return moved == MoveResult::Done;
    Sleep(25);
  }
}

bool IsReadOnlyFile(const std::string& path) {
  const DWORD a = AttributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) && (a & FILE_ATTRIBUTE_READONLY);
}

std::optional<std::string> ReadWholeFileIfPossible(const std::string& path) {
  FileHandle f = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
  if (!f) return std::nullopt;
  return ReadToEnd(f.get());
}

OpenedFile::OpenedFile(const std::string& path, bool forWriting)
    : handle_(OpenFile(path, GENERIC_READ | (forWriting ? GENERIC_WRITE : 0), OPEN_EXISTING).release()) {}

OpenedFile::OpenedFile(const std::string& path, SoleWriter)
    : handle_(OpenFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_DELETE).release()) {}

OpenedFile::~OpenedFile() { HandleCloser{}(handle_); }

std::optional<FileState> OpenedFile::State() const {
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  if (!handle_ || !GetFileInformationByHandleEx(handle_, FileBasicInfo, &basic, sizeof basic) ||
      !GetFileInformationByHandleEx(handle_, FileStandardInfo, &standard, sizeof standard)) {
    return std::nullopt;
  }
  return FileState{static_cast<std::uint64_t>(standard.EndOfFile.QuadPart),
                   static_cast<std::uint64_t>(basic.LastWriteTime.QuadPart),
                   static_cast<std::uint64_t>(basic.ChangeTime.QuadPart), standard.NumberOfLinks};
}

std::optional<std::string> OpenedFile::ReadAll() const {
  if (!handle_ || !Seek(handle_, 0)) return std::nullopt;
  return ReadToEnd(handle_);
}

bool OpenedFile::Holds(const std::string& bytes) const {
  if (!handle_ || !Seek(handle_, 0)) return false;
  std::string block(65536, '\0');
  for (std::size_t done = 0;;) {
    DWORD got = 0;
    if (!ReadFile(handle_, block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) return false;
    if (got == 0) return done == bytes.size();
    if (bytes.compare(done, got, block, 0, got) != 0 || done + got > bytes.size()) return false;
    done += got;
  }
}

std::optional<std::string> OpenedFile::LinkTarget(const std::string& path) const {
  const auto finalPath = [](HANDLE h) {
    std::wstring out(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = h ? GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), 0) : 0;
      if (n < out.size()) return out.substr(0, n);
      out.resize(n + 1);
    }
  };
  const std::wstring file = finalPath(handle_);
  // The name is the file itself when the file is where its full path says
  // (no folder to open then).
  if (!file.empty() && CompareStringOrdinal(PlainForm(FullWide(WidePath(path))).c_str(), -1,
                                            PlainForm(file).c_str(), -1, TRUE) == CSTR_EQUAL) {
    return std::nullopt;
  }
  const std::size_t cut = LastPathSeparator(path);
  const FileHandle folder(CreateFileW(WidePath(cut == std::string::npos ? "." : path.substr(0, cut + 1)).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const std::wstring there = finalPath(folder.get() == INVALID_HANDLE_VALUE ? nullptr : folder.get());
  if (file.empty() || there.empty()) return std::nullopt;
  const std::wstring named = there + (there.ends_with(L'\\') ? L"" : L"\\") + AnsiToWide(path.substr(cut + 1));
  if (CompareStringOrdinal(named.c_str(), -1, file.c_str(), -1, TRUE) == CSTR_EQUAL) return std::nullopt;
  return AnsiPath(file);
}

bool OpenedFile::Overwrite(const std::string& bytes) const {
  return handle_ && Seek(handle_, 0) && WriteAll(handle_, bytes) && CutAt(bytes.size()) && FlushFileBuffers(handle_);
}

bool OpenedFile::CutAt(std::size_t size) const { return handle_ && Seek(handle_, size) && SetEndOfFile(handle_); }

std::string ReadFileStart(const std::string& path, std::size_t count) {
  FileHandle f = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
  if (!f) return {};
  std::string out(count, '\0');
  std::size_t done = 0;
  DWORD got = 0;
  while (done < count && ReadFile(f.get(), out.data() + done, static_cast<DWORD>(count - done), &got, nullptr) && got > 0)
    done += got;
  out.resize(done);
  return out;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(WidePath(path).c_str()) != 0; }

bool RemoveFileNoOneHasOpen(const std::string& path) {
  return static_cast<bool>(OpenFile(path, DELETE, OPEN_EXISTING, 0, FILE_FLAG_DELETE_ON_CLOSE));
}

}  // namespace zoq::platform
