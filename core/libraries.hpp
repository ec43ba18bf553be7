// The keyword libraries in memory. Each library file is read whole, once,
// and answered from memory the way the Windows INI functions answer from the
// file (section names matched without case and without the blanks around
// them, the first of duplicate sections winning, values trimmed, unquoted
// and cut to the read buffer); it is read again when the file's write time
// or size changes. The fuzzy keywords are found in a message in one pass of
// a table of their hashes, whatever their number.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ini_items.hpp"
#include "platform/files.hpp"

namespace zoq {

// One INI file's text, parsed as the INI functions parse it.
class IniImage {
 public:
  // `text`: the file's bytes as the INI functions read them (ANSI).
  void Load(std::string text);
  // The value GetPrivateProfileStringA gives for `section` and `key` with a
  // read buffer of `buffer` bytes; nothing when either is missing.
  std::optional<std::string> Value(std::string_view section, std::string_view key,
                                   std::size_t buffer = kIniValueBuffer) const;
  // GetPrivateProfileSectionNamesA: the named sections in file order.
  std::vector<std::string> SectionNames() const;
  std::size_t MemoryBytes() const;

 private:
  struct Section {
    std::uint32_t nameBegin, nameLength;  // between "[" and the last "]"
    std::uint32_t bodyBegin, bodyEnd;     // the lines after the header
  };
  const Section* Find(std::string_view name) const;

  std::string text_;
  std::vector<Section> sections_;
  std::vector<std::uint32_t> table_;  // open addressing: section index + 1, 0 for none
};

// The first fuzzy keyword in library order that occurs in a text at a
// character boundary, ASCII letters compared without case. Every keyword
// is kept folded in one block; a table of their hashes (a polynomial hash,
// so that every piece of a text is hashed in constant time from the hashes
// of its beginnings) finds the keywords of each length that begin at each
// character of the text, and a bit set of the keywords' first four bytes
// passes over the characters where no longer keyword begins.
class FuzzyMatcher {
 public:
  // Keywords in the stored form are searched in their plain form.
  enum class Form { AsGiven, Plain };
  void Build(const std::vector<std::string>& keywords, Form form = Form::AsGiven);
  // The keyword's index in the list given to Build, or -1.
  std::int32_t FirstIn(std::string_view text) const;
  // How many keywords it was built for.
  std::size_t size() const { return count_; }
  std::size_t MemoryBytes() const;

 private:
  struct Entry {
    std::uint32_t hash;     // the low bits of the keyword's hash
    std::uint32_t keyword;  // the first keyword of these bytes; ~0u for none
  };
  std::string_view Folded(std::uint32_t keyword) const {
    return std::string_view(bytes_).substr(begins_[keyword], begins_[keyword + 1] - begins_[keyword]);
  }
  std::size_t count_ = 0;
  std::string bytes_;                   // every keyword folded, one after the other
  std::vector<std::uint32_t> begins_;   // where each begins, and the end
  std::vector<std::uint32_t> lengths_;  // the distinct keyword lengths, shortest first
  std::vector<Entry> table_;            // open addressing
  std::vector<std::uint64_t> prefixes_; // bit set of the first four bytes of keywords of four bytes or more
  std::size_t prefixBits_ = 0;
};

// The two library files, each kept in memory as long as it is unchanged.
class KeywordLibraries {
 public:
  // The stored reply template of `keyword` in the library file `file`
  // (the exact or the fuzzy one): what ReadIniItem would read. Reads the file
  // again first when it changed.
  std::string Reply(const std::string& file, const std::string& keyword);
  // The named sections of `file`, read again when it changed.
  std::vector<std::string> SectionNames(const std::string& file);
  // Reads `file` now when it changed (enable reads both libraries).
  void Refresh(const std::string& file) { Current(file); }
  // Forget what is kept: the next use reads the files again.
  void Forget();
  std::size_t MemoryBytes() const;

 private:
  struct Kept {
    std::string path;
    platform::FileStamp stamp;
    IniImage image;
  };
  Kept& Current(const std::string& file);
  std::vector<Kept> kept_;
};

// "[" and "]" of a keyword as the libraries store them: "&uoS8#", "&uoS9#".
std::string StoredKeywordForm(std::string_view keyword);
// The other way: a stored keyword as a message writes it.
std::string PlainKeywordForm(std::string_view stored);

}  // namespace zoq
