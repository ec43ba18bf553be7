// The forms a data file's text comes in, and how the bytes of each become
// the INI text the plug-in reads and back. A file of code page 936 (what the
// INI functions read) is its own text. A file of Unicode text (UTF-8 with a
// byte-order mark or without, UTF-16 of either order with a mark or without)
// is read as the text of the code page: each character the code page holds
// as its bytes there (the euro sign as 0x80), each one it lacks as "?". A
// form is judged on the whole file, in the same pass that turns its bytes
// into text. A change to a file of Unicode text is made to the run of
// sections it touches, turned into text and back: the file keeps its form,
// its mark or none, its line ends and every byte outside that run.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/files/ini_image.hpp"

namespace zoq {

enum class TextForm : std::uint8_t {
  // The code page's bytes: what is none of the others.
  CodePage,
  // Without a mark: UTF-8 as a whole, holding a character of three bytes or
  // more, as every Chinese character is. Text of the code page is UTF-8 as
  // a whole only by chance, and then almost always in characters of two
  // bytes alone (猫 is C3 A8, è), which is why none of those makes a file
  // UTF-8.
  Utf8,
  MarkedUtf8,  // after EF BB BF
  Utf16le,     // after FF FE
  Utf16be,     // after FE FF
  // Without a mark, as its NUL bytes show: two at least; units that are a
  // line end, "=", "[" or "]" (every line of an INI file holds one), two at
  // least read in the order and more than four times as many as read in
  // the other; and a byte of a line end where the order puts the high byte
  // of a unit for no more than one in eight of its line ends (a Chinese
  // character may hold such a byte, as 上, U+4E0A, does, but as its low
  // byte; text of the code page with NUL bytes in it ends its lines in bytes
  // of their own, as often at an odd place as at an even one).
  BareUtf16le,
  BareUtf16be,
};

// What the judgement of a file without a mark counts, over the whole file
// or over a run of it (a changed run's are taken away and added).
struct FormCounts {
  std::int64_t longUtf8 = 0;   // UTF-8: characters of three bytes or more
  std::int64_t nonAscii = 0;   // UTF-8: characters beyond ASCII
  std::int64_t nuls = 0;       // UTF-16: NUL bytes
  std::int64_t signs[2] = {};  // UTF-16: units of those signs read little-endian, big-endian
  std::int64_t lineEnds[2] = {};           // UTF-16: units that are a line end, read so
  std::int64_t misplacedLineEnds[2] = {};  // UTF-16: bytes of a line end where the order puts a high byte
};

// A file of Unicode text as read.
struct UnicodeFile {
  UnicodeFile() = default;
  UnicodeFile(const UnicodeFile&) = default;
  UnicodeFile& operator=(const UnicodeFile&) = default;
  ~UnicodeFile();  // its bytes' block is kept for the next file's (BytesOfRoom)
  TextForm form = TextForm::Utf8;
  std::string bytes;  // the whole file, its mark too; none where they were not kept (ReadFileText)
  // Every byte is part of a character the text holds, and turns back into
  // itself: no bytes that are no UTF-8, no half of a surrogate pair alone,
  // no NUL unit and nothing after the last whole unit of UTF-16. A file
  // that is not is read as far as it goes and never written.
  bool exact = true;
  FormCounts counts;
  // Where characters begin, in the text as held and in the bytes: the first
  // one, then about one every 4 KiB of text. A line's place in the bytes is
  // found from the one before it.
  struct Mark {
    std::uint32_t text, bytes;
  };
  std::vector<Mark> marks;
};

// A file's bytes read as the plug-in reads them. `keepBytes`: the bytes of a
// file of Unicode text are kept with it (a change to it needs them); else
// their block serves the next file read (BytesOfRoom).
struct FileText {
  std::string text;  // as the INI functions hold it (IniText::Unicode for a file of Unicode text)
  std::shared_ptr<const UnicodeFile> unicode;  // none: the text is the bytes, of the code page
};
FileText ReadFileText(std::string bytes, bool keepBytes = true);

// The form ReadFileText judges the bytes to be of.
TextForm FormOf(std::string_view bytes);

// A change made to a file of Unicode text: the file as written, and the run
// of sections it changed, outside of which the text and the bytes are the
// file's as they were (after a mark put before them: see
// ChangedUnicodeFile).
struct UnicodeChange {
  std::shared_ptr<const UnicodeFile> file;  // the file as written
  std::size_t from, to;                     // the run in the text as held before
  std::string held;                         // the run as held after
  std::size_t bytesFrom, bytesTo;           // the run in the bytes before
  std::size_t markAdded;                    // the bytes of a mark put before the file's
  std::size_t writtenTo;                    // where the run ends in the bytes written
  // The run's text before and after the changes, as they are made: the code
  // page's, with GB18030's four bytes for a character it lacks.
  std::string before, after;
};
// `file` (read as `image`, its bytes kept) with the changes made (names and values in the
// code page's text, or GB18030's four bytes for a character it lacks: a
// window's text). One value set, or one section deleted, changes the run of
// the section it walks; other changes the whole text. A file of UTF-8
// without a mark that would be left with no character of three bytes, so
// that it would read as the code page, gets a mark (as does one of UTF-16
// without a mark that would not show its form any more); one that would be
// left with ASCII alone is its text in either form. None when the file is
// not exact, or a text of the changes has no character of Unicode.
std::optional<UnicodeChange> ChangedUnicodeFile(const IniImage& image, const UnicodeFile& file,
                                                const std::vector<IniChange>& changes);

// The change of the whole text of `was` that gives `written` (the same form,
// or it with its mark); none when `written` is not exact text of such a
// form. Checked as a change ChangedUnicodeFile made.
std::optional<UnicodeChange> UnicodeChangeBetween(const UnicodeFile& was, std::string written);

// The form a file of Unicode text is judged to be of by its counts and
// mark (its bytes whole, as a change leaves them).
TextForm JudgedForm(const UnicodeFile& file);

// The bytes of a run of a file of the form (of whole characters, after its
// mark) as the text changes are made in; none when a byte is no character.
std::optional<std::string> TextToChange(TextForm form, std::string_view bytes);

// The text of a file in GB18030, which loses no character: what the
// settings windows show and hand back to its writer (code page text is
// taken as GB18030 already).
std::string Gb18030TextOf(std::string bytes);

// Where a file's text does not read whole in its form: a file of the code
// page that holds UTF-8 (more lines of UTF-8 with a character of three bytes
// or more than lines that are no UTF-8, or UTF-8 cut inside its last
// character), or UTF-8 after a mark with bytes that are no UTF-8, mixes two
// encodings; UTF-16 with a half of a surrogate pair alone, a NUL unit or a
// byte after its last unit is broken. The line (from 1) where it first
// does.
struct FormTrouble {
  enum class Kind { None, Mixed, Broken } kind = Kind::None;
  std::size_t line = 0;
};
FormTrouble TroubleOf(std::string_view bytes);

}  // namespace zoq
