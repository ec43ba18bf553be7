// The cool-down times that are not in SAVE yet, as every host process on the
// data folder sees them: a table in a block of memory the processes of the
// machine share, named after the folder's lock, with a lock of its own that
// is held for a look at the table or a change of it, never while a file is
// read or written. A reply's time goes in here as it is tested (the test and
// the keep are one step under that lock, in whatever process) and leaves
// once a write of SAVE holds it; one that SAVE cannot take yet (read-only,
// held by another program, a full disk) stays and holds its replies in every
// process until a write can be made.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
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
  // text), whether a file SAVE was there when it was kept (an owner who
  // deletes SAVE forgets it then), and what tells it apart from a later
  // time of the same key.
  struct Entry {
    IniChange time;
    bool fileWasThere = false;
    std::uint64_t id = 0;
  };

  // The table of the data folder of `file` (its SAVE), opened once in this
  // process and kept while the folder keeps its lock's name.
  static KeptTimes& Of(const std::string& file);
  // Each table this process has opened, with its SAVE.
  static std::vector<std::pair<std::string, KeptTimes*>> Opened();

  // Whether other processes see the table.
  bool shared() const { return block_.shared(); }

  // The table's lock, had within `waitMs`, and what may be done under it.
  // A change that a process ended in the middle of is cut away as the lock
  // is had.
  class Hold {
   public:
    Hold(KeptTimes& times, std::uint32_t waitMs);
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    explicit operator bool() const { return static_cast<bool>(hold_); }

    // The value kept for the key of the section (names as the INI
    // functions match them), if any.
    std::optional<std::string> ValueOf(std::string_view section, std::string_view key) const;
    std::vector<Entry> Entries() const;
    // Keeps the time in place of the one kept for its key.
    void Keep(const IniChange& time, bool fileWasThere);
    // Forgets the times of these ids (one kept later for a key stays).
    void Forget(const std::vector<std::uint64_t>& ids);
    void Clear();
    // Counts every time forgotten: a test made on a reading of SAVE taken
    // before a count that changed meanwhile may miss a time that left the
    // table for SAVE in between.
    std::uint32_t Forgotten() const;

   private:
    KeptTimes& times_;
    platform::SharedBlock::Hold hold_;
  };

  explicit KeptTimes(const std::string& name);

 private:
  platform::SharedBlock block_;
};

}  // namespace zoq
