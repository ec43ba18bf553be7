// The keyword libraries in memory. Each library file is read whole, once,
// and answered from memory the way the Windows INI functions answer from the
// file (section names matched without case and without the blanks around
// them, the first of duplicate sections winning, values trimmed, unquoted
// and cut to the read buffer); it is read again when its write time or size
// changes or the system reports a change to it. The fuzzy keywords are
// found in a message in one pass of an automaton, whatever their number.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/files/ini_image.hpp"
#include "core/files/ini_items.hpp"
#include "platform/files.hpp"
#include "platform/folder_watch.hpp"

namespace zoq {

// The key of a keyword's reply in its section of a library file.
inline constexpr const char* kReplyKey = "回复";

// The first fuzzy keyword in library order that occurs in a text at a
// character boundary, ASCII letters compared without case. The keywords
// make one automaton (Aho-Corasick) that reads the text once, byte by byte:
// the work is linear in the text whatever the keywords are. It reads each
// byte together with whether a character begins there, so a keyword is
// found only where a character of the text begins, and a second byte is
// never taken for a letter.
class FuzzyMatcher {
 public:
  // Keywords in the stored form are searched in their plain form.
  enum class Form { AsGiven, Plain };
  void Build(const std::vector<std::string>& keywords, Form form = Form::AsGiven);
  void Build(const std::vector<std::string_view>& keywords, Form form = Form::AsGiven);
  // The keyword's index in the list given to Build, or -1.
  std::int32_t FirstIn(std::string_view text) const;
  // How many keywords it was built for.
  std::size_t size() const { return count_; }
  std::size_t MemoryBytes() const;

 private:
  using Symbol = std::uint16_t;  // a byte; 256 more where a character begins
  std::uint32_t Child(std::uint32_t state, Symbol symbol) const;
  std::uint32_t Fail(std::uint32_t state) const;
  std::uint32_t Next(std::uint32_t state, Symbol symbol) const;  // following the fail links
  std::uint32_t FirstFoundAt(std::uint32_t state) const;
  std::size_t WideAt(std::uint32_t state) const;  // where a wide state's table begins in wideTo_

  std::size_t count_ = 0;
  // Per state: the symbol leading to it and flags (below). States are
  // numbered so that along a keyword the next state is the next number,
  // wherever no earlier keyword went on otherwise.
  std::vector<std::uint16_t> edges_;
  // Fail links (the state of the longest proper suffix), kept for the
  // states whose link is not the root: a bit per state, a count before each
  // word of bits, the links.
  std::vector<std::uint64_t> failBits_;
  std::vector<std::uint32_t> failRanks_, failTo_;
  std::vector<std::uint32_t> fromRoot_;   // the root's child per symbol; 0 none
  // Other children: by blocks of states, (state in its block) << 9 | symbol, sorted.
  std::vector<std::uint16_t> branches_;
  std::vector<std::uint32_t> branchTo_;
  std::vector<std::uint32_t> branchBlocks_;  // where each block of states begins in the branch table
  std::vector<std::uint32_t> wide_;       // the states of many children, sorted
  std::vector<std::uint32_t> wideStarts_; // where those of each range of states begin (WideAt)
  unsigned wideShift_ = 0;                // a range's states: 2^wideShift_
  std::vector<std::uint32_t> wideTo_;     // and their other children, 256 by byte each; 0 none
  std::vector<std::uint32_t> finders_;    // the states where a keyword ends (or on their fail chain), sorted
  std::vector<std::uint32_t> firstFound_; // and the first such keyword of each
};

// The two library files, each kept in memory as long as it is unchanged
// (what any number of threads read at once): the system reports the changes
// to the files of their folder (those that keep the size and write time
// too), and a use looks at a file's stamps when they were last looked at
// 50 ms ago or more, so a change a report misses is seen within that.
// A report that lost count, here or in the folder above, has every file
// of the folder read again.
// A folder renamed away, deleted or replaced is watched again once a folder
// is back at its path; until then the stamps alone tell. A file that cannot
// be read (another program holds it without sharing) keeps what was read
// last and is tried again at the next use. One thread reads a file at a
// time, and other threads use the other file meanwhile.
class KeywordLibraries {
 public:
  KeywordLibraries();
  ~KeywordLibraries();
  // The stored reply template of `keyword` in the library file `file`
  // (the exact or the fuzzy one): what ReadIniItem would read. Reads the file
  // again first when it changed.
  std::string Reply(const std::string& file, const std::string& keyword);
  // The named sections of `file`, read again when it changed.
  std::vector<std::string> SectionNames(const std::string& file);
  // The file as read, read again when it changed (`anew`: read again
  // whatever its stamps say): its section names as parts of its text,
  // without a copy of each.
  std::shared_ptr<const IniImage> Parsed(const std::string& file, bool anew = false) { return Image(file, anew); }
  // Reads `file` again now, whatever its stamps say: enable reads both
  // libraries, so that an edit that no report told of and that kept the
  // size and write time (through a link from another folder) is seen then.
  void Reload(const std::string& file) { Image(file, /*anew=*/true); }
  std::size_t MemoryBytes() const;

 private:
  struct Folder {
    std::string path;
    std::unique_ptr<platform::FolderWatch> watch;  // none while it cannot be watched
  };
  struct Kept {
    std::string path;
    std::size_t nameAt;  // where the file's name begins in `path`
    Folder* folder;
    platform::FileStamp stamp;
    std::uint64_t lookedAt = 0;  // when the stamp was last looked at (ms)
    std::uint64_t writes = 0;  // this process's writes of the file when it was read
    // This process's writes of any data file, and of this one, when last
    // counted: while the first stands, so does the second.
    std::uint64_t allWritesSeen = ~0ull, writesSeen = 0;
    bool stale = true;  // to be read at the next use, whatever the stamp says
    std::shared_ptr<const IniImage> image;
    std::mutex reading;  // held by the thread that reads the file
  };
  // What a look at a kept file found: whether it is to be read, and the
  // stamps to keep with what is read.
  struct Look {
    std::shared_ptr<Kept> kept;
    bool read = false;
    platform::FileStamp now;
    std::uint64_t writes = 0;
  };
  // The file's image as it is now; a reader keeps it however the file
  // changes meanwhile.
  std::shared_ptr<const IniImage> Image(const std::string& file, bool anew = false);
  // Under the lock: the file kept (from its first use on), the changes
  // reported taken and its stamps looked at when due (`anew`: at once, and
  // the file is to be read).
  Look LookAt(const std::string& file, bool anew);
  // Marks stale what changed in `folder` since the last look; drops its
  // watch when the folder went.
  void TakeChanges(Folder& folder);
  // Watches `folder` anew; what changed before is not known, so its files
  // are read again.
  void Watch(Folder& folder);
  void MarkStale(const Folder& folder);
  mutable std::mutex lock_;  // over all below but the files' bytes; held for a look at the stamps
  std::vector<std::shared_ptr<Kept>> kept_;
  std::vector<std::unique_ptr<Folder>> folders_;
};

// "[" and "]" of a keyword as the libraries store them: "&uoS8#", "&uoS9#".
std::string StoredKeywordForm(std::string_view keyword);
// The other way: a stored keyword as a message writes it.
std::string PlainKeywordForm(std::string_view stored);

}  // namespace zoq
