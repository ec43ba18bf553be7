// The cool-down times of the data folder as every host process on it sees
// them, beside SAVE: a table in a block of memory the processes of the
// machine share, named after the folder's lock, with a lock of its own that
// is held for a look at the table or a change of it, never while a file is
// read or written. A reply's time goes in here as it is tested (the test and
// the keep are one step under that lock, in whatever process) and stays
// until a write of SAVE holds it; one that SAVE cannot take yet (read-only,
// held by another program, a full disk) holds its replies in every process
// until a write can be made. A time SAVE took stays too, marked so, and
// stands for SAVE where SAVE cannot be read: every time in SAVE is one this
// table had, until the purge or the owner's deletion of SAVE.
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
  // A time of the table: its section (group), key and value (the date-time
  // text); whether a file SAVE was there when it was kept (an owner who
  // deletes SAVE forgets it then); whether SAVE took it; and what tells it
  // apart from a later time of the same key.
  struct Entry {
    IniChange time;
    bool fileWasThere;
    bool inFile;
    std::uint64_t id;
  };

  // The table of the data folder of `file` (its SAVE), opened once in this
  // process and kept while the folder keeps its lock's name.
  static KeptTimes& Of(const std::string& file);
  // Each table this process has opened, with its SAVE.
  static std::vector<std::pair<std::string, KeptTimes*>> Opened();

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

    // The value of the key of the section (names as the INI functions
    // match them), if the table has one: kept, or also one SAVE took.
    std::optional<std::string> ValueOf(std::string_view section, std::string_view key, bool alsoInFile) const;
    // The times kept, not in SAVE yet (with `alsoInFile`, every time).
    std::vector<Entry> Entries(bool alsoInFile = false) const;
    // Keeps the time in place of the one the table had for its key.
    void Keep(const IniChange& time, bool fileWasThere);
    // The times of these ids are in SAVE now (one kept later for a key
    // stays kept).
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
