// The cool-down times of the data folder as every host process on it sees
// them, beside SAVE: a table in a block of memory the processes of the
// machine share, named after the folder's lock, with a lock of its own that
// is held for a look at the table or a change of it, never while a file is
// read or written, and never for work that grows with the times it holds: a
// key's time is found by a hash of its names keyed with a secret of the
// table (no names can be chosen to crowd one place), a time goes in at the
// end, and what SAVE is to take is handed out a few of the oldest at a time. A
// reply's time goes in here as it is tested (the test and the keep are one
// step under that lock, in whatever process) and stays until a write of SAVE
// holds it; one that SAVE cannot take yet (read-only, held by another
// program, a full disk) holds its replies in every process until a write can
// be made. A time SAVE took stays too, marked so, and stands for SAVE where
// SAVE cannot be read: every time in SAVE is one this table had, until the
// purge or the owner's deletion of SAVE. The table lasts while a process
// has it open: every host process that enabled the plug-in on the folder,
// until it unloads the plug-in.
//
// When the table is full, the times kept longest ago go first, whether SAVE
// holds them or not: a group whose time went before SAVE took it may answer
// again before its cool-down is over. The table holds about 30,000 times of
// group numbers and keywords of a few characters (fewer of longer names).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/files/ini_image.hpp"
#include "platform/named_objects.hpp"

namespace zoq {

class KeptTimes {
 public:
  // What SAVE held for a key when a time of it was kept: a hash of the
  // value, or one of these.
  using FileValue = std::uint64_t;
  static constexpr FileValue kUnknown = 0;  // SAVE could not be read
  static constexpr FileValue kAbsent = 1;   // no value of the key
  static FileValue ValueInFile(const std::optional<std::string>& value);

  // A time of the table: its section (group), key and value (the date-time
  // text); what tells it apart from every other time; what SAVE held for
  // its key when it was kept, and the value of the time of the key it took
  // the place of (kUnknown: none); whether SAVE took it.
  struct Time {
    IniChange time;
    std::uint64_t id;
    FileValue before, replaced;
    bool inFile;
  };

  // The ring the records of the times go round in: a time's record takes
  // the bytes of its names and value and kRecordHeadBytes more, rounded up
  // to 8, and begins at its id less one, modulo kRingBytes; the bytes left
  // at the ring's end when the next record does not fit in them are
  // skipped (tests place records by these).
  static constexpr std::uint64_t kRingBytes = 3669952;
  static constexpr std::uint64_t kRecordHeadBytes = 64;

  // The table of the data folder of `file` (its SAVE), opened once in this
  // process and kept while the process has the plug-in: from its enable
  // (core/settings.cpp) or its first test of a cool-down, whichever comes
  // first, so that the times it holds outlast the process that kept them
  // while an enabled host runs on the folder.
  static KeptTimes& Of(const std::string& file);
  // Each table this process has opened, with the SAVE it was last opened
  // by, while the data folder at that path is still the one it was opened
  // for.
  static std::vector<std::pair<std::string, KeptTimes*>> Opened();
  // The name of the block the table of `file` is in.
  static std::string BlockNameFor(const std::string& file);
  // How many times of the tables this process looked at under their lock,
  // all told: what a test counts the work of a message by.
  static std::uint64_t Visited();

  explicit KeptTimes(const std::string& name);

  // The table's lock, had within `waitMs`, and what may be done under it.
  // A change that a process ended in the middle of is cut away as the lock
  // is had.
  class Hold {
   public:
    Hold(KeptTimes& times, std::uint32_t waitMs);
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    explicit operator bool() const { return static_cast<bool>(hold_); }

    // Whether a file SAVE is there, as just found: one that is not forgets
    // every time kept while one was, and every time one took (the owner
    // deleted it).
    void FileSeen(bool there);
    // Where the times of the key of the section are linked, one of 65,536
    // places a look at the key walks (tests crowd one by it).
    std::uint32_t Place(std::string_view section, std::string_view key) const;
    // The time of the key of the section (names as the INI functions match
    // them), if the table has one: kept, or taken by SAVE.
    std::optional<Time> Find(std::string_view section, std::string_view key) const;
    // Keeps the time in place of the one the table had for its key;
    // `before`: what SAVE held for the key; `writable`: whether SAVE can
    // take it (a key with "=" cannot, and is never handed out to be
    // written). Its id.
    std::uint64_t Keep(const IniChange& time, bool fileWasThere, FileValue before, bool writable);
    // At most `most` of the oldest times SAVE is to take, and before them
    // the time of the id `first` (none: 0) while SAVE is still to take it; `more`:
    // whether times are left that this look did not reach.
    std::vector<Time> Unwritten(std::size_t most, std::uint64_t first, bool* more = nullptr);
    // The times of these ids are in SAVE now.
    void InFile(const std::vector<std::uint64_t>& ids);
    // Forgets the times of these ids.
    void Forget(const std::vector<std::uint64_t>& ids);
    void Clear();
    // Counts every time that went into SAVE or was forgotten: a test made
    // on a reading of SAVE taken before this count changed may miss a time
    // that went into SAVE in between.
    std::uint32_t Moved() const;

   private:
    KeptTimes& times_;
    platform::SharedBlock::Hold hold_;
  };

 private:
  platform::SharedBlock block_;
};

}  // namespace zoq
