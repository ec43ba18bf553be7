// INI text as the Windows INI functions read it (IniImage) and as they
// change it (WithIniChanges), worked on the file's own bytes.
#pragma once
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zoq {

// Values are read into a 10,240-byte buffer: at most 10,239 bytes come back.
inline constexpr std::size_t kIniValueBuffer = 10240;
// A read buffer that no value fills: values come back whole.
inline constexpr std::size_t kWholeIniValue = std::numeric_limits<std::size_t>::max();

// A name that is empty after its leading blanks and control characters.
bool BlankIniName(std::string_view name);

// An empty text with room for `bytes`: the block of the image's text that
// went last, where it is of about that size (the system hands out a fresh
// block a page at a time, and each page's first use costs more than what
// is copied into it). The same for the bytes of a file of Unicode text,
// whose block is kept as it goes (`least`: a kept one with room for fewer
// serves, a fresh one has room for all).
std::string TextOfRoom(std::size_t bytes);
std::string BytesOfRoom(std::size_t bytes, std::size_t least = ~std::size_t{0});
void KeepRoomOfBytes(std::string& bytes);

// How a text's bytes read as characters. A file of the code page is read as
// the INI functions read it (code page 936: a lead byte before a byte that
// is no trail byte is no character, "?"). The text of a file of Unicode text
// (core/files/text_forms.hpp) is the code page's where it holds a character;
// a character it lacks stands there in GB18030's four bytes (lead byte,
// digit, lead byte, digit) while the text is changed, and reads as one "?",
// as the plug-in reads such a character everywhere else.
enum class IniText { CodePage, Unicode };

// The line end a text's new lines take: the one most of its lines end with
// (CR LF, LF or CR alone), of those used as often the first line's; CR LF
// where no line ends.
std::string_view LineEndOf(std::string_view text);
// The bytes of the line end that ends just before `at` (CR LF 2, LF or CR
// alone 1), 0 where none does.
std::size_t LineEndBefore(std::string_view text, std::size_t at);
// Where the last header line that begins before `at` begins (the section
// before the one at `at`), 0 where none does.
std::size_t HeaderLineBefore(std::string_view text, std::size_t at);
// Whether the text's last line ends in a line end (an empty text: yes).
inline bool EndsInLineEnd(std::string_view text) {
  return text.empty() || text.back() == '\n' || text.back() == '\r';
}

// One change as WritePrivateProfileStringA makes it.
struct IniChange {
  std::string section;
  std::optional<std::string> key;    // none: the section is deleted
  std::optional<std::string> value;  // none: the key is deleted
};

// One INI file's text, parsed as the INI functions parse it.
class IniImage {
 public:
  IniImage() = default;
  IniImage(const IniImage&) = default;
  IniImage(IniImage&&) = default;
  IniImage& operator=(const IniImage&) = default;
  IniImage& operator=(IniImage&&) = default;
  ~IniImage();  // large blocks are kept for the next image's of their size

  // `text`: the file's bytes as the INI functions read them (ANSI), or the
  // text of a file of Unicode text (`kind`). `held`: the text is as the INI
  // functions hold it already (a file of Unicode text as read: every lead
  // byte has a trail byte after it), and is not looked at for characters
  // that do not read.
  void Load(std::string text, IniText kind = IniText::CodePage, bool held = false);
  // The value ReadIniItem reads for `section` and `key` (what
  // GetPrivateProfileStringA gives with a read buffer of `buffer` bytes; the
  // empty text for a name of blanks and control characters only); nothing
  // when either is missing.
  std::optional<std::string> Value(std::string_view section, std::string_view key,
                                   std::size_t buffer = kIniValueBuffer) const;
  // GetPrivateProfileSectionNamesA: the named sections in file order.
  std::vector<std::string> SectionNames() const;
  // The same as parts of the text, for as long as the image is kept.
  std::vector<std::string_view> SectionNameViews() const;
  std::size_t MemoryBytes() const;
  // The slots the index of names stepped over past the first of each name
  // when it was built: the work of the index, which a test counts.
  std::size_t IndexSteps() const { return indexSteps_; }
  // The text as held: the file's own bytes where it is ANSI text whose
  // every character reads.
  const std::string& text() const { return text_; }
  // Whether the text as held is `bytes` (at once when they are the text
  // itself).
  bool HoldsText(const std::string& bytes) const { return &bytes == &text_ || bytes == text_; }
  // How it reads its text and the names asked for.
  IniText kind() const { return kind_; }
  // Where in the text the first section of the name begins (its header's
  // line; 0 for the section of no name); none when there is none.
  std::optional<std::size_t> HeaderAt(std::string_view section) const;
  // Where the first section of the name begins and ends (at the next
  // header); without one, where the last section does.
  std::pair<std::size_t, std::size_t> SpanFor(std::string_view section) const;
  // The image of `text`, this image's text with the bytes from `from` to
  // `to` (each where a header's line begins, or the end) replaced by those
  // from `from` to `newTo` (read as this image reads its text): only the
  // sections between are parsed.
  IniImage Spliced(std::string text, std::size_t from, std::size_t to, std::size_t newTo) const;

  // One line as the INI functions hold it: trimmed, empty ones left out. A
  // named section's header is a line of its own (`header`, no key); the
  // lines before the first header belong to the section of no name. `value`
  // is what follows the first "=", trimmed; a line without one has none.
  struct Line {
    std::string_view section;
    bool header = false;
    std::string_view key;
    std::optional<std::string_view> value;
  };
  // Every line, in file order.
  void ForEachLine(const std::function<void(const Line&)>& take) const;

  // A section as the image finds it in the text.
  struct Section {
    std::uint32_t nameBegin, nameLength;  // between "[" and the last "]", up to a NUL
    std::uint32_t bodyBegin, bodyEnd;     // the lines after the header
    std::uint32_t hash;                   // of the name as names are compared
  };

 private:
  const Section* Find(std::string_view name) const;
  // Whether the section has the name, whose hash is `hash`.
  bool SameName(const Section& s, std::uint32_t hash, std::string_view name) const;
  // Adds the sections whose headers are in the text from `from` to `to`.
  void IndexSections(std::size_t from, std::size_t to);
  void BuildTable();
  // Hands `take` each non-empty trimmed line of the section's body.
  template <typename Take>
  void LinesOf(const Section& s, Take take) const;
  std::string_view NameOf(const Section& s) const { return std::string_view(text_).substr(s.nameBegin, s.nameLength); }

  std::string text_;
  IniText kind_ = IniText::CodePage;  // how names asked for read
  std::vector<Section> sections_;
  std::vector<std::uint32_t> table_;  // open addressing: section index + 1, 0 for none
  std::size_t indexSteps_ = 0;
};

// Of an INI text and the same text changed, the run of whole sections
// outside of which the two are the same bytes, read as the same lines of
// the same sections: from `from` up to `beforeTo` in the one, up to
// `afterTo` in the other. The whole texts when that cannot be told for sure.
struct ChangedRun {
  std::size_t from, beforeTo, afterTo;
};
ChangedRun ChangedSections(std::string_view before, std::string_view after);

// Whether two names (of sections or keys) are one for the INI functions:
// equal once taken as they take them, without the blanks around them,
// ASCII letters without case (read as `kind` reads them).
bool SameIniName(std::string_view a, std::string_view b, IniText kind = IniText::CodePage);
// A name as SameIniName takes it, ASCII letters in lower case: names it
// holds one have the same form (what a hash of names is made over).
std::string IniNameForm(std::string_view name);

// `text`, the bytes of an INI file (ANSI, or GB18030), with the changes made
// in order where WritePrivateProfileStringA makes them, and every other byte
// as it was. A value set replaces the line of its key in the first section
// of its name (the line's own line end kept), or comes as a line of its own
// after the last line of that section, or with its section at the end of
// the text; a key deleted takes its line away (from the first section of the
// name that has it), a section deleted its header and every line up to the
// next header. A value equal to the one stored changes nothing. Names and
// values are taken as the INI functions take them: up to a NUL, without a
// lead byte at their very end and, where they are written, the blanks
// before them; a set finds its names without the blanks around them, a
// delete only as given (names read as `kind` reads them). New lines end in
// `lineEnd` (by default the text's own: LineEndOf); a last line without a
// line end gets one before them, and the new last line then ends without
// one, as the text did.
std::string WithIniChanges(std::string text, const std::vector<IniChange>& changes, IniText kind = IniText::CodePage,
                           std::string_view lineEnd = {});
// The same, `image` being `text` parsed: one value set walks only the
// section it names.
std::string WithIniChanges(const IniImage& image, const std::string& text, const std::vector<IniChange>& changes);

}  // namespace zoq
