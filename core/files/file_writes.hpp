// The files of the data folder are written whole or not at all, one writer
// at a time in every process that shares the folder. A change is made to the
// file's bytes where the INI functions make it, every other byte kept
// (core/files/ini_image.hpp); the result is checked against the file with just
// that change, written to a copy beside the file and put in its place in
// one step once it is on the disk. So a reader, in this process or another,
// sees the file as it was or as it is after the change, never a part of it,
// and a change the disk could not take leaves the file as it was and
// reports the failure.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/files/ini_image.hpp"
#include "platform/folder_lock.hpp"

namespace zoq {

// How long a writer waits for another one to finish before it gives up (the
// write fails then, as on a full disk): for this process's other threads,
// which finish what they do, at most kDataFolderWaitMs; for another process,
// which may be hung or stopped, only as long as the caller can wait (a
// message briefly, an owner's command a little longer).
inline constexpr std::uint32_t kDataFolderWaitMs = 10000;
inline constexpr std::uint32_t kMessageFolderWaitMs = 100;
inline constexpr std::uint32_t kCommandFolderWaitMs = 2000;

// While it stands, the data folder's locks taken on its thread wait on other
// processes `totalMs` at most, all told. Without one, each lock may wait
// kCommandFolderWaitMs.
class OtherProcessWait {
 public:
  explicit OtherProcessWait(std::uint32_t totalMs);
  ~OtherProcessWait();
  OtherProcessWait(const OtherProcessWait&) = delete;
  OtherProcessWait& operator=(const OtherProcessWait&) = delete;

  // What a lock taken on this thread may wait on other processes now; the
  // time it did wait is taken off.
  static std::uint32_t Left();
  static void Spend(std::uint32_t ms);

 private:
  std::uint32_t left_;
  OtherProcessWait* outer_;
};

// Held across a command's reads of the files and the writes that follow
// from them, so that no other writer comes in between. Recursive for its
// thread; never held while a host is called. While its thread holds it, a
// value read again of a file of the folder that the thread read and did not
// write since comes from that read.
class DataFolderLock {
 public:
  // `path`: a file of the folder, or the folder followed by a backslash.
  explicit DataFolderLock(const std::string& path);
  // Only when no other thread or process holds it: no wait.
  struct OnlyIfFree {};
  DataFolderLock(const std::string& path, OnlyIfFree);
  ~DataFolderLock();
  DataFolderLock(const DataFolderLock&) = delete;
  DataFolderLock& operator=(const DataFolderLock&) = delete;
  bool held() const { return lock_.held(); }
  // `file`, of the folder, is to be written after it is read under the
  // lock: its reads open it for writing too, so that a write that only
  // takes its end away needs no handle of its own. Programs that let others
  // only read cannot open it meanwhile.
  void WillWrite(const std::string& file) const;

 private:
  void Held();  // this thread's reads in the folder are kept from now on

  std::string folder_;
  platform::FolderLock lock_;
};

// The folder's write lock, which a write of a file that anyone writes holds
// (see Writers): held for one such write, or a test of a time and its
// write. Waited for as long as the thread may wait on other processes
// (OtherProcessWait), counting the waits of this process's threads ahead
// of it on them since this process last had it: a lock that goes from
// writer to writer spends none of it, one that a stopped process keeps
// spends it once for every thread in line. Not had then, the caller goes
// on without it as far as it can.
class FolderWriteLock {
 public:
  explicit FolderWriteLock(const std::string& path);
  bool held() const { return lock_.held(); }

 private:
  platform::FolderLock lock_;
};

// Where a write (or a read under the folder's lock) stands when another
// program may come in: the file is opened, and its state not yet asked;
// the file's bytes are read, and the state it stands in after them not yet
// asked; the file is read for the write, standing still; it is checked to
// be as read, and the copy is about to take its place. A test plays that
// program here; none in the plug-in.
enum class WriteStep { Opened, BytesRead, FileRead, LastChecked };
inline void (*otherProgramAt)(WriteStep) = nullptr;

// Deletes the copies that writers in processes which have ended left in the
// folder (`path` as for DataFolderLock). A write does it too, at most once a
// minute for its folder.
void RemoveCopiesLeftBehind(const std::string& path);

// Who writes a file of the data folder. Most are written only with the
// folder's lock held, which a command holds across its reads and writes.
// A file that anyone writes (the cool-down times, which every message
// writes and no message may wait long for) does without it: each write of
// it is made whole (read, decided on, checked and put in place, or the
// file deleted) under the folder's write lock (FolderWriteLock), which is
// held for one such write only. So while another process keeps the
// folder's lock, its writers still come one after the other, and none
// keeps the file open while another puts its copy in place. Where that
// lock is not had in time, the write goes on without it.
enum class Writers { LockHolders, Anyone };

// Makes every change, in order; false, and the file as it was, when they
// cannot all be made whole (or the file cannot be read whole first). A file
// of Unicode text (core/files/text_forms.hpp: UTF-8 with a byte-order mark
// or without, UTF-16 of either order with one or without) is changed in its
// own form and keeps its encoding, its mark or none and its line ends (one
// a change would leave without what shows its form gets the mark of it);
// one whose text does not read whole is not changed, nor one a change's
// text holds no character of Unicode for.
bool WriteIniChanges(const std::string& file, const std::vector<IniChange>& changes);

// What the changes of a file are, decided on the file as read (`fileThere`:
// false when no file is there): none to write nothing.
using IniDecision =
    std::function<std::optional<std::vector<IniChange>>(const IniImage& image, bool fileThere)>;
enum class Update {
  Written,     // the changes decided last are in the file (or change nothing)
  Declined,    // the decision on the file as it was read last made none
  NotWritten,  // the file could not be read, or written in time: it is as it was
};
// Makes the changes `decide` makes of the file, as WriteIniChanges makes
// them. A file found changed before the copy takes its place (another
// writer came first) is read and decided on anew, at once, while the
// budget for other programs lasts (OtherProcessWait), against which waits
// on them (a file they are saving or hold open) count too; no write goes
// on past 2 s.
Update UpdateIniFile(const std::string& file, const IniDecision& decide, Writers writers = Writers::LockHolders);

// Whether `written` is `original` with the changes made and nothing else:
// every line of `original` that no change touches is still there, every
// line of `written` that is not in `original` is one a change writes, and
// the value each change sets reads back as set.
bool IniChangesMadeWhole(const std::string& original, const std::string& written,
                         const std::vector<IniChange>& changes);
// The same with `image`, the original parsed: only the sections where the
// two differ are looked at line by line.
bool IniChangesMadeWhole(const IniImage& image, const std::string& original, const std::string& written,
                         const std::vector<IniChange>& changes);
// The same, giving `written` parsed when it passes (only the sections that
// differ are parsed anew).
std::optional<IniImage> CheckedImage(const IniImage& image, const std::string& original, const std::string& written,
                                     const std::vector<IniChange>& changes);

// The image of `bytes`, the file at `path` as just read: the one parsed of
// it last when it is of the same bytes, else parsed now and kept (of a file
// of Unicode text, without its bytes: a write reads them again).
std::shared_ptr<const IniImage> ParsedImageOf(const std::string& path, std::string bytes);

// The value of `key` in `section` as the INI functions read it, with a read
// buffer of `buffer` bytes, from the file as it is on the disk now (no copy
// kept from an earlier read but under the folder's lock, see
// DataFolderLock), or `defaultValue` when either is missing.
std::string ReadIniItemNow(const std::string& file, const std::string& section, const std::string& key,
                           const std::string& defaultValue = {}, std::size_t buffer = kIniValueBuffer);
// The same, but none when the file is there and cannot be read (another
// program holds it without sharing, say): no default stands for it.
std::optional<std::string> ReadIniItemIfReadable(const std::string& file, const std::string& section,
                                                 const std::string& key, const std::string& defaultValue = {},
                                                 std::size_t buffer = kIniValueBuffer);

// The file as this process last read it steadily or wrote it, when its
// stamp (its size and write time, asked by its name) says it is still that
// file; none otherwise. Nothing is opened, so no writer is held up by it: a
// program that has a file open keeps another from putting a copy in its
// place.
std::shared_ptr<const IniImage> IniImageIfUnchanged(const std::string& file);

// The file as it stands still now, read as a write reads it within the
// budget for other programs (OtherProcessWait), or else as last read
// steadily while its stamp says it is still that file; none when neither
// can be had (another program holds it alone). No file reads as empty.
std::shared_ptr<const IniImage> SteadyIniImage(const std::string& file);

// The whole file as it is on the disk now, parsed once for many values;
// empty when it cannot be read (as every value of it then reads as its
// default).
std::shared_ptr<const IniImage> ReadIniFileNow(const std::string& file);

// What ReadIniItem would read back of `value` once written under `key`
// (blanks around it gone, enclosing quotes taken off, cut to the read
// buffer).
std::string IniValueAsRead(const std::string& key, const std::string& value);
// Whether the value a change sets reads back as set, its names found as
// given (a key with "=" in it, say, does not): what a write of it checks.
bool ReadsBackAsSet(const IniChange& change);

// The bytes as the whole file, in one step; `onlyIfMissing`: only when no
// file is there (false otherwise, the file left as it is).
bool ReplaceWholeFile(const std::string& path, const std::string& bytes, bool onlyIfMissing = false);

// How many times this process has put a file at `path` in place (or
// deleted it): what a reader that keeps the file's text checks besides its
// stamp, which another file of the same size written within the same tick
// of the clock shares.
std::uint64_t WritesOf(const std::string& path);
// How many times this process has put any file in place (or deleted one):
// while it stays, WritesOf stays for every path.
std::uint64_t AllWrites();

// Deletes the file, with the folder's lock held (or as `writers` allow):
// true once no file is there by its name. A file that another program has
// open is not deleted (not even once it lets go of it: what is written
// meanwhile would go with it).
bool RemoveDataFile(const std::string& path, Writers writers = Writers::LockHolders);

}  // namespace zoq
