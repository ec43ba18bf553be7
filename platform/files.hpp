// Files, folders and the process's own location. Paths are GBK texts (the
// ANSI code page of the users' machines), taken by the wide functions of the
// system: a path longer than the plain form allows works as well as the
// others.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zoq::platform {

// `path` as the wide functions take it: past the length of the plain form
// as a full path with the "\\?\" prefix.
std::wstring WidePath(const std::string& path);

// The full path of the process's executable, and its folder (without a
// trailing backslash). Where the code page cannot hold them, as short
// names (8.3) where the volume has them: so the files below it can be made
// and named in the code page.
std::string ExecutablePath();
std::string ExecutableFolder();
// The name the ANSI functions open the file or folder `path` (a full path)
// by: the path itself where `inCodePage` gives it a form, else its short form
// (8.3), where the volume has one and `inCodePage` gives that a form; none
// else. `inCodePage` gives a path's bytes, or the empty text where it has no
// form for it (as WideToAnsiExact of platform/code_pages.hpp).
std::optional<std::string> NameInCodePage(const std::wstring& path, std::string (*inCodePage)(std::wstring_view));
// The short form (8.3) of the file or folder `path` (a full path), where the
// volume has one; none else.
std::optional<std::wstring> ShortPath(const std::wstring& path);
// The most characters of a path the ANSI functions open: MAX_PATH with the NUL.
inline constexpr std::size_t kLongestAnsiPath = 259;
// Whether the ANSI functions open `path` (in the code page) as it is: it
// has kLongestAnsiPath characters at most; a longer one they refuse.
bool FitsAnsiFunctions(const std::string& path);
// Short names as a volume that makes none gives them: none. A test plays
// such a volume here; none in the plug-in.
inline bool volumeWithoutShortNames = false;
std::string CurrentFolder();
bool SetCurrentFolder(const std::string& folder);
// `path` as a full path (a relative path is taken from the current folder);
// the path itself when it cannot be resolved.
std::string FullPath(const std::string& path);

bool FileExists(const std::string& path);

// What a cheap attribute query tells of a file: whether it is there, its
// last write time and its size. Two stamps differ when the file changed.
struct FileStamp {
  bool exists = false;
  std::uint64_t writeTime = 0;
  std::uint64_t size = 0;
  bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::string& path);
bool FolderExists(const std::string& path);
// One level; an existing folder or a failure is ignored.
void CreateFolder(const std::string& path);
// The folder and every missing folder above it; failures are ignored.
void CreateFolders(const std::string& path);
// Creates or truncates the file, then writes the bytes.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// A file made with the bytes meant for another, on the disk before it takes
// that one's place in one step (a reader opens the one or the other, never a
// part). Kept open until then, and removed when it ends without having
// taken a place.
enum class MoveResult { Done, HeldUp, Failed };
class FileCopy {
 public:
  FileCopy(const std::string& path, const std::string& bytes);
  ~FileCopy();
  FileCopy(const FileCopy&) = delete;
  FileCopy& operator=(const FileCopy&) = delete;
  bool written() const { return written_; }
  // Takes the place of `to`: replaces it when `overwrite`, else leaves it as
  // it is (failed then). Held up when another program has `to` open.
  MoveResult PutOnce(const std::string& to, bool overwrite);
  // The same, tried again for a moment while another program holds it up.
  bool Put(const std::string& to, bool overwrite);

 private:
  std::string path_;
  void* handle_ = nullptr;
  bool written_ = false, placed_ = false;
};
// The file is there and marked read-only.
bool IsReadOnlyFile(const std::string& path);
// A name for a scratch file beside `path` that no other call, thread or
// process uses: `path` + "." + process, its start time (a process id
// comes back once the process ended), thread and a count + `suffix`.
std::string ScratchNameFor(const std::string& path, const char* suffix);
// Deletes the scratch files of `folder` (names as ScratchNameFor makes
// them, or without the start time as they were once made, ending in
// `suffix`) whose process no longer runs; those of a running process, or of
// one whose state cannot be told, stay.
void RemoveOrphanedScratchFiles(const std::string& folder, const char* suffix);
// The whole file, or nothing when it cannot be opened or read (another
// program holds it without sharing, say).
std::optional<std::string> ReadWholeFileIfPossible(const std::string& path);
// The whole file, or the empty byte set when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) { return ReadWholeFileIfPossible(path).value_or(std::string()); }
// A file opened by its name, which it keeps while others read, write,
// rename or delete it: what a writer reads, checks just before it puts its
// copy in place, and writes in place when the file has other names.
struct FileState {
  std::uint64_t size = 0, writeTime = 0, changeTime = 0;
  std::uint32_t links = 0;  // the file's names (hard links)
  bool operator==(const FileState&) const = default;
};
class OpenedFile {
 public:
  // `forWriting`: opened to be written in place as well.
  explicit OpenedFile(const std::string& path, bool forWriting = false);
  // Opened to be written in place by this handle alone: others may go on
  // reading it, and no other handle may write it while this one is open
  // (none opens when another program has it open for writing).
  struct SoleWriter {};
  OpenedFile(const std::string& path, SoleWriter);
  ~OpenedFile();
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  bool opened() const { return handle_ != nullptr; }
  // None when the system does not tell.
  std::optional<FileState> State() const;
  // The whole file from its start; none when a read fails (never a part
  // taken for the whole).
  std::optional<std::string> ReadAll() const;
  // Whether the file holds `bytes` and nothing more, from its start.
  bool Holds(const std::string& bytes) const;
  // Whether the name it was opened by leads to a file of another path (a
  // symbolic link), and that path: none when the name is the file itself or
  // the system cannot tell.
  std::optional<std::string> LinkTarget(const std::string& path) const;
  // The bytes as the file's whole content, in place, on the disk before it
  // returns.
  bool Overwrite(const std::string& bytes) const;
  // The file cut to its first `size` bytes, in place: one step of the file
  // system, which leaves either the whole file or the part kept, and needs
  // no flush to keep the file whole (the part kept is on the disk as it was).
  bool CutAt(std::size_t size) const;

 private:
  void* handle_ = nullptr;
};
// At most the first `count` bytes of the file (fewer when it is shorter).
std::string ReadFileStart(const std::string& path, std::size_t count);
bool RemoveFile(const std::string& path);
// Deletes the file only when nothing else has it open (in this process or
// another): opened alone for its deletion, it goes as that handle closes.
// A deletion that waits for another program to let go of the file (one that
// shares deletion) never stands: the file stays, and false. False too for a
// read-only file and for none.
bool RemoveFileNoOneHasOpen(const std::string& path);

// Byte position of the last backslash of a GBK path (never the trail byte of
// a double-byte character), or npos.
std::size_t LastPathSeparator(const std::string& path);

}  // namespace zoq::platform
