#include "core/files/ini_image.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/named_objects.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

// The blanks the INI functions trim around names, values and lines.
bool IsIniBlank(unsigned char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }

bool IsLead(char c) { return text::IsLeadByte(static_cast<unsigned char>(c)); }

// The length of the character at `pos` as the code page reads it: a lead
// byte takes the next byte with it, whatever it is, but a NUL. A file's own
// bytes split into the same lines, names and values as the text the INI
// functions hold (below), which keeps no lead byte before a NUL.
std::size_t CharAt(std::string_view s, std::size_t pos) {
  return IsLead(s[pos]) && pos + 1 < s.size() && s[pos + 1] != '\0' ? 2 : 1;
}

// The first `c` (a one-byte character) that is a character of its own.
std::size_t FindCharacter(std::string_view s, char c, std::size_t from = 0) {
  for (std::size_t pos = from; pos < s.size(); pos += CharAt(s, pos)) {
    if (s[pos] == c) return pos;
  }
  return std::string_view::npos;
}

// Where the first lead byte stands that does not begin a character that
// reads (one at the end, or before a byte that is no trail byte: a NUL
// included); none when every character reads.
ZOQ_HOT std::size_t FirstUnreadable(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    if (!IsLead(text[pos])) continue;
    if (pos + 1 == text.size() || !text::IsTrailByte(static_cast<unsigned char>(text[pos + 1]))) return pos;
    ++pos;
  }
  return std::string_view::npos;
}

// Whether a character of GB18030's four bytes begins at `at`: lead byte,
// digit, lead byte, digit.
bool FourByteCharacterAt(std::string_view s, std::size_t at) {
  const auto digit = [&](std::size_t i) { return s[i] >= '0' && s[i] <= '9'; };
  return at + 3 < s.size() && IsLead(s[at]) && digit(at + 1) && IsLead(s[at + 2]) && digit(at + 3);
}

// `text` as the INI functions hold it once the code page has turned it into
// characters: a character it cannot read becomes "?", a lead byte before a
// NUL or at the end too (the NUL stays); in the text of a file of Unicode
// text a character of four bytes as well. Done in place: never longer. In
// the held form every lead byte is followed by a trail byte, so a byte below
// 0x40 (a line end, "=") is always a character of its own.
void AsHeld(std::string& text, IniText kind = IniText::CodePage) {
  const std::size_t unreadable = FirstUnreadable(text);
  if (unreadable == std::string::npos) return;
  std::size_t to = unreadable;
  for (std::size_t from = unreadable; from < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[from]);
    if (!text::IsLeadByte(c)) {
      text[to++] = text[from++];
    } else if (kind == IniText::Unicode && FourByteCharacterAt(text, from)) {
      text[to++] = '?';
      from += 4;
    } else if (from + 1 < text.size() && text[from + 1] != '\0') {
      const bool readable = text::IsTrailByte(static_cast<unsigned char>(text[from + 1]));
      text[to++] = readable ? text[from] : '?';
      if (readable) text[to++] = text[from + 1];
      from += 2;
    } else {
      text[to++] = '?';
      ++from;
    }
  }
  text.resize(to);
}

// A text in the form the INI functions hold it: `text` itself when every
// character of it reads, else its held form in `changed`.
ZOQ_HOT std::string_view HeldForm(std::string_view text, std::string& changed, IniText kind = IniText::CodePage) {
  if (FirstUnreadable(text) == std::string_view::npos) return text;
  changed.assign(text);
  AsHeld(changed, kind);
  return changed;
}

// The part of a name before its first NUL: the INI functions hold names
// as NUL-ended texts.
ZOQ_HOT std::string_view UpToNul(std::string_view s) { return s.substr(0, std::min(s.find('\0'), s.size())); }

// A text as the INI functions take it from their caller: up to its NUL,
// without a lead byte at its very end.
ZOQ_HOT std::string_view AsTaken(std::string_view s) {
  s = UpToNul(s);
  std::size_t last = 0;
  for (std::size_t pos = 0; pos < s.size(); pos += CharAt(s, pos)) last = pos;
  if (!s.empty() && last + 1 == s.size() && IsLead(s[last])) s.remove_suffix(1);
  return s;
}

// A name asked for: taken, and its characters turned as in a file.
std::string_view AsAsked(std::string_view name, std::string& changed, IniText kind = IniText::CodePage) {
  return HeldForm(AsTaken(name), changed, kind);
}

// The hash a section's name is kept and looked up by, as the INI functions
// compare names (ASCII letters folded). Keyed with a secret of this
// process: the names of a library are written by its owner, and by any
// member where everybody may add, and names built to share an unkeyed hash
// would make its index a single run that every read of the file walks
// over and over.
ZOQ_HOT std::uint32_t NameHash(std::string_view name) {
  static const struct Key {
    Key() { platform::SecretBytes(halves, sizeof halves); }
    std::uint32_t halves[2];
  } key;
  char shortName[128];
  std::string longName;
  char* folded = shortName;
  if (name.size() > sizeof shortName) longName.resize(name.size()), folded = longName.data();
  for (std::size_t pos = 0; pos < name.size();) {
    const std::size_t n = CharAt(name, pos);
    const char c = name[pos];
    folded[pos] = n == 1 && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    if (n == 2) folded[pos + 1] = name[pos + 1];
    pos += n;
  }
  return text::HalfSipHash13(key.halves, std::string_view(folded, name.size()));
}

// Two names equal as the INI functions compare them.
bool FoldedEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() && text::StartsWith(a, b, text::Case::IgnoreAscii);
}

ZOQ_HOT std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && IsIniBlank(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && IsIniBlank(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::size_t TableSizeFor(std::size_t count) {
  std::size_t size = 16;
  while (size < count * 2) size *= 2;
  return size;
}

// A value (as held) as GetPrivateProfileStringA hands it over with a read
// buffer of `buffer` bytes: counted in characters, a value enclosed in
// matching quotes loses them (when the closing one fits the buffer, else the
// last character that did), at most the buffer less one; then cut to the
// buffer less one in bytes, at a character boundary.
std::string AsRead(std::string_view value, std::size_t buffer) {
  std::size_t count = 0, last = 0;  // the characters, and where the last begins
  for (std::size_t pos = 0; pos < value.size(); pos += CharAt(value, pos)) last = pos, ++count;
  const std::size_t limit = buffer - 1;
  const bool quoted = count >= 2 && (value[0] == '"' || value[0] == '\'') && last + 1 == value.size() &&
                      value[last] == value[0];
  // The closing quote is still counted here.
  if (quoted) --count;
  std::size_t copied = std::min(count, limit);
  if (quoted && buffer >= count && copied > 0) --copied;
  const std::string_view from = value.substr(quoted ? 1 : 0);
  // At most the characters there are: the loop ends inside `from`.
  std::size_t end = 0;
  for (std::size_t i = 0; i < copied && end + CharAt(from, end) <= limit; ++i) end += CharAt(from, end);
  return std::string(from.substr(0, end));
}

// One line of a text: where it begins, where its text ends and where the
// next line begins (after its line end: CR LF, CR or LF); its text trimmed.
// A text in its held form (`held`) has no line end inside a character: its
// lines are found byte by byte.
struct TextLine {
  std::size_t begin, end, next;
  std::string_view text;
};

template <bool held = false, typename Take>
void ForEachTextLine(std::string_view all, Take take) {
  for (std::size_t next = 0; next < all.size();) {
    const std::size_t begin = next;
    while (next < all.size() && all[next] != '\n' && all[next] != '\r') next += held ? 1 : CharAt(all, next);
    const std::size_t end = next;
    if (next < all.size()) next += all[next] == '\r' && next + 1 < all.size() && all[next + 1] == '\n' ? 2 : 1;
    take(TextLine{begin, end, next, Trimmed(all.substr(begin, end - begin))});
  }
}

// The name of a header: a (trimmed) line from "[" to its last "]", without
// the blanks inside the brackets, up to a NUL. None for another line.
std::optional<std::string_view> HeaderName(std::string_view line) {
  if (line.empty() || line.front() != '[') return std::nullopt;
  std::size_t close = std::string_view::npos;
  for (std::size_t at = FindCharacter(line, ']'); at != std::string_view::npos; at = FindCharacter(line, ']', at + 1)) {
    close = at;
  }
  if (close == std::string_view::npos) return std::nullopt;
  return UpToNul(Trimmed(line.substr(1, close - 1)));
}

// A (trimmed) line that is no header: its key and, after its first "=",
// its value, both trimmed; a line without "=" has no value.
ZOQ_HOT std::pair<std::string_view, std::optional<std::string_view>> KeyAndValue(std::string_view line) {
  const std::size_t equals = FindCharacter(line, '=');
  if (equals == std::string_view::npos) return {line, std::nullopt};
  return {Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1))};
}

// The blocks of a large image that went, kept for the next image's blocks
// of about their size: the system hands out a fresh block of that size a
// page at a time, and each page's first use costs more than what is copied
// into it. One of each kind is kept, the last that went. Made
// when the module loads, before any image; an image that goes after them
// (at the module's unload) keeps nothing.
std::atomic<bool> gSparesGone{false};
constexpr std::size_t kSpareFrom = 256 * 1024, kSpareUpTo = 64 * 1024 * 1024;
template <class Block>
struct Spare {
  ~Spare() { gSparesGone = true; }
  std::mutex lock;
  Block block;
};
Spare<std::string> gSpareText;
Spare<std::string> gSpareBytes;  // of a file of Unicode text, beside its text
Spare<std::vector<IniImage::Section>> gSpareSections;
Spare<std::vector<std::uint32_t>> gSpareTable;

// An empty block with room for `count` items (the one kept where it has
// room for `least` of them at least). A large one made anew has room for a
// few more, so that it serves the next image when a file grew a little.
template <class Block>
Block RoomFor(Spare<Block>& spare, std::size_t count, std::size_t least) {
  Block out;
  if (count * sizeof(typename Block::value_type) < kSpareFrom || gSparesGone) {
    out.reserve(count);
    return out;
  }
  {
    std::lock_guard<std::mutex> hold(spare.lock);
    // Not one much larger than asked: it would be held for nothing.
    if (spare.block.capacity() >= least && spare.block.capacity() / 2 <= count) out.swap(spare.block);
  }
  out.clear();
  if (out.capacity() < least) out.reserve(count + count / 32);
  return out;
}

template <class Block>
void KeepSpare(Spare<Block>& spare, Block& block) {
  const std::size_t bytes = block.capacity() * sizeof(typename Block::value_type);
  if (bytes < kSpareFrom || bytes > kSpareUpTo || gSparesGone) return;
  // The last one: the next image is most likely of its size.
  std::lock_guard<std::mutex> hold(spare.lock);
  spare.block.swap(block);
}

}  // namespace

std::string TextOfRoom(std::size_t bytes) { return RoomFor(gSpareText, bytes, bytes); }
std::string BytesOfRoom(std::size_t bytes, std::size_t least) { return RoomFor(gSpareBytes, bytes, std::min(least, bytes)); }
void KeepRoomOfBytes(std::string& bytes) { KeepSpare(gSpareBytes, bytes); }

ZOQ_HOT bool BlankIniName(std::string_view name) {
  for (unsigned char c : name) {
    if (c > ' ') return false;
  }
  return true;
}

IniImage::~IniImage() {
  KeepSpare(gSpareText, text_);
  KeepSpare(gSpareSections, sections_);
  KeepSpare(gSpareTable, table_);
}

bool SameIniName(std::string_view a, std::string_view b, IniText kind) {
  std::string heldA, heldB;
  return FoldedEqual(Trimmed(AsAsked(a, heldA, kind)), Trimmed(AsAsked(b, heldB, kind)));
}

std::string_view LineEndOf(std::string_view text) {
  // A line end is a byte of its own in every text here: no trail byte is
  // below 0x40.
  const std::size_t at = text.find_first_of("\r\n");
  if (at == std::string_view::npos) return "\r\n";
  const std::string_view first = text[at] == '\n' ? "\n" : at + 1 < text.size() && text[at + 1] == '\n' ? "\r\n" : "\r";
  std::size_t pairs = 0;
  for (std::size_t p = text.find("\r\n", at); p != std::string_view::npos; p = text.find("\r\n", p + 2)) ++pairs;
  const auto count = [&](char c) {
    return static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(), c)) - pairs;
  };
  const std::size_t lf = count('\n'), cr = count('\r');
  // The most used; of those used as often, the first line's.
  const std::size_t most = std::max({pairs, lf, cr});
  if ((first == "\r\n" ? pairs : first == "\n" ? lf : cr) == most) return first;
  return pairs == most ? "\r\n" : lf == most ? "\n" : "\r";
}

std::size_t LineEndBefore(std::string_view text, std::size_t at) {
  if (at == 0 || at > text.size() || (text[at - 1] != '\n' && text[at - 1] != '\r')) return 0;
  return text[at - 1] == '\n' && at > 1 && text[at - 2] == '\r' ? 2 : 1;
}

std::string IniNameForm(std::string_view name) {
  std::string held;
  std::string form(Trimmed(AsAsked(name, held)));
  for (std::size_t pos = 0; pos < form.size(); pos += CharAt(form, pos)) {
    if (form[pos] >= 'A' && form[pos] <= 'Z') form[pos] = static_cast<char>(form[pos] + 32);
  }
  return form;
}

// ---- IniImage ------------------------------------------------------------

void IniImage::Load(std::string text, IniText kind, bool held) {
  text_ = std::move(text);
  kind_ = kind;
  if (!held) AsHeld(text_, kind);
  sections_.assign(1, {0, 0, 0, 0, 0});  // the lines before the first header: the section of no name
  IndexSections(0, text_.size());
  BuildTable();
}

void IniImage::IndexSections(std::size_t from, std::size_t to) {
  // The lines as ForEachTextLine finds them and the headers as HeaderName
  // reads them, in one walk over the bytes, four at a time up to a line end.
  // The text is held: every lead byte has a trail byte after it, so a line
  // end, a blank or a NUL is always a character of its own, and a line's
  // text ends where a character does.
  const char* const all = text_.data();
  std::size_t pos = from;
  while (pos < to) {
    const std::size_t begin = pos;
    // Four bytes at a time while none of them is below 0x0E (which a line
    // end is).
    while (pos + 4 <= to) {
      std::uint32_t word;
      std::memcpy(&word, all + pos, 4);
      if ((word - 0x0E0E0E0Eu) & ~word & 0x80808080u) break;
      pos += 4;
    }
    while (pos < to && all[pos] != '\n' && all[pos] != '\r') ++pos;
    const std::size_t end = pos;
    if (pos < to) pos += all[pos] == '\r' && pos + 1 < to && all[pos + 1] == '\n' ? 2 : 1;
    const std::string_view line = Trimmed(std::string_view(all + begin, end - begin));
    const std::optional<std::string_view> name = HeaderName(line);
    if (!name) continue;
    sections_.back().bodyEnd = static_cast<std::uint32_t>(begin);
    sections_.push_back({static_cast<std::uint32_t>(name->data() - all), static_cast<std::uint32_t>(name->size()),
                         static_cast<std::uint32_t>(pos), 0, NameHash(*name)});
  }
  sections_.back().bodyEnd = static_cast<std::uint32_t>(to);
}

void IniImage::BuildTable() {
  const std::size_t size = TableSizeFor(sections_.size());
  table_ = RoomFor(gSpareTable, size, size);
  table_.assign(size, 0);
  const std::size_t mask = table_.size() - 1;
  indexSteps_ = 0;
  for (std::size_t i = 1; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    if (s.nameLength == 0) continue;  // found by no name but the empty one, which the first section answers
    std::size_t slot = s.hash & mask;
    while (table_[slot] != 0 && !SameName(sections_[table_[slot] - 1], s.hash, NameOf(s))) {
      slot = (slot + 1) & mask, ++indexSteps_;
    }
    if (table_[slot] == 0) table_[slot] = static_cast<std::uint32_t>(i + 1);  // the first of a name answers
  }
}

IniImage IniImage::Spliced(std::string text, std::size_t from, std::size_t to, std::size_t newTo) const {
  IniImage out;
  std::string piece = text.substr(from, newTo - from);
  AsHeld(piece, kind_);
  if (piece.size() != newTo - from) {  // a character that does not read: held otherwise
    out.Load(std::move(text), kind_);
    return out;
  }
  out.text_ = std::move(text);
  out.kind_ = kind_;
  // The sections before `from` stay, those from `to` on move by the
  // difference, those between are found anew (room made for a few more
  // than there were).
  std::size_t kept = 1;
  while (kept < sections_.size() && sections_[kept - 1].bodyEnd < from) ++kept;
  out.sections_ = RoomFor(gSpareSections, sections_.size() + 16, sections_.size() + 16);
  out.sections_.assign(sections_.begin(), sections_.begin() + static_cast<std::ptrdiff_t>(from == 0 ? 0 : kept));
  if (out.sections_.empty()) out.sections_.push_back({0, 0, 0, 0, 0});
  out.IndexSections(from, newTo);
  const std::uint32_t moved = static_cast<std::uint32_t>(newTo) - static_cast<std::uint32_t>(to);
  for (std::size_t i = kept; i < sections_.size(); ++i) {
    if (sections_[i - 1].bodyEnd < to) continue;
    Section s = sections_[i];
    s.nameBegin += moved, s.bodyBegin += moved, s.bodyEnd += moved;
    out.sections_.push_back(s);
  }
  out.BuildTable();
  return out;
}

std::pair<std::size_t, std::size_t> IniImage::SpanFor(std::string_view section) const {
  const Section* s = Find(section);
  if (!s) s = &sections_.back();
  return {s == &sections_[0] ? 0 : s[-1].bodyEnd, s->bodyEnd};
}

ZOQ_HOT const IniImage::Section* IniImage::Find(std::string_view name) const {
  std::string changed;
  const std::string_view trimmed = Trimmed(AsAsked(name, changed, kind_));
  if (trimmed.empty()) return sections_.empty() ? nullptr : &sections_[0];
  if (table_.empty()) return nullptr;
  const std::size_t mask = table_.size() - 1;
  const std::uint32_t hash = NameHash(trimmed);
  for (std::size_t slot = hash & mask; table_[slot] != 0; slot = (slot + 1) & mask) {
    const Section& s = sections_[table_[slot] - 1];
    if (SameName(s, hash, trimmed)) return &s;
  }
  return nullptr;
}

bool IniImage::SameName(const Section& s, std::uint32_t hash, std::string_view name) const {
  return s.hash == hash && FoldedEqual(NameOf(s), name);
}

template <typename Take>
void IniImage::LinesOf(const Section& s, Take take) const {
  ForEachTextLine<true>(std::string_view(text_).substr(s.bodyBegin, s.bodyEnd - s.bodyBegin), [&](const TextLine& line) {
    if (!line.text.empty()) take(line.text);
  });
}

void IniImage::ForEachLine(const std::function<void(const Line&)>& take) const {
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const std::string_view name = NameOf(sections_[i]);
    if (i > 0) take(Line{name, true, {}, std::nullopt});
    LinesOf(sections_[i], [&](std::string_view line) {
      const auto [key, value] = KeyAndValue(line);
      take(Line{name, false, key, value});
    });
  }
}

ZOQ_HOT std::optional<std::string> IniImage::Value(std::string_view section, std::string_view key, std::size_t buffer) const {
  // As ReadIniItem reads: a name of blanks and control characters only
  // gives the empty text.
  if (BlankIniName(UpToNul(section)) || BlankIniName(UpToNul(key))) return std::string();
  const Section* s = Find(section);
  if (!s) return std::nullopt;
  std::string changed;
  const std::string_view wanted = Trimmed(AsAsked(key, changed, kind_));
  // The first key of the name answers; one without "=" answers as missing.
  std::optional<std::string> found;
  bool seen = false;
  LinesOf(*s, [&](std::string_view text) {
    if (seen) return;
    const auto [name, value] = KeyAndValue(text);
    if (!FoldedEqual(UpToNul(name), wanted)) return;
    seen = true;
    if (value) found = AsRead(UpToNul(*value), buffer);
  });
  return found;
}

std::optional<std::size_t> IniImage::HeaderAt(std::string_view section) const {
  const Section* s = Find(section);
  if (!s) return std::nullopt;
  return s == &sections_[0] ? 0 : s[-1].bodyEnd;
}

std::vector<std::string_view> IniImage::SectionNameViews() const {
  std::vector<std::string_view> names;
  names.reserve(sections_.size());
  for (std::size_t i = 1; i < sections_.size(); ++i) {
    if (sections_[i].nameLength != 0) names.push_back(NameOf(sections_[i]));
  }
  return names;
}

std::vector<std::string> IniImage::SectionNames() const {
  const std::vector<std::string_view> names = SectionNameViews();
  return {names.begin(), names.end()};
}

std::size_t IniImage::MemoryBytes() const {
  return text_.capacity() + sections_.capacity() * sizeof(Section) + table_.capacity() * sizeof(std::uint32_t);
}

// ---- ChangedSections -----------------------------------------------------

namespace {

// Whether a line begins at `at` however the bytes before are read: at the
// start, or after a line feed that ends a character of its own (the byte
// before it ends a character whatever came before, as no lead byte is below
// 0x40).
bool SureLineStart(std::string_view s, std::size_t at) {
  return at == 0 || (s[at - 1] == '\n' && (at == 1 || static_cast<unsigned char>(s[at - 2]) < 0x40));
}

// Whether the line at `at` (a line start) is a section's header as the INI
// functions hold it.
bool HeaderLineAt(std::string_view s, std::size_t at) {
  std::size_t end = at;
  while (end < s.size() && s[end] != '\n' && s[end] != '\r') end += CharAt(s, end);
  std::string changed;
  return HeaderName(Trimmed(HeldForm(s.substr(at, end - at), changed))).has_value();
}

}  // namespace

std::size_t HeaderLineBefore(std::string_view text, std::size_t at) {
  // A line end is a byte of its own: no trail byte is below 0x40.
  for (std::size_t p = std::min(at, text.size()); p-- > 0;) {
    if ((p == 0 || text[p - 1] == '\n' || text[p - 1] == '\r') && HeaderLineAt(text, p)) return p;
  }
  return 0;
}

ChangedRun ChangedSections(std::string_view before, std::string_view after) {
  // The bytes both begin and end with, compared a block at a time.
  constexpr std::size_t kBlock = 4096;
  const std::size_t shorter = std::min(before.size(), after.size());
  std::size_t same = 0, sameEnd = 0;
  while (same + kBlock <= shorter && before.compare(same, kBlock, after.substr(same, kBlock)) == 0) same += kBlock;
  while (same < shorter && before[same] == after[same]) ++same;
  const auto endBlock = [&](std::size_t n) { return before.substr(before.size() - n - kBlock, kBlock); };
  while (sameEnd + kBlock <= shorter - same && endBlock(sameEnd) == after.substr(after.size() - sameEnd - kBlock, kBlock)) {
    sameEnd += kBlock;
  }
  while (sameEnd < shorter - same && before[before.size() - 1 - sameEnd] == after[after.size() - 1 - sameEnd]) ++sameEnd;
  // Back to a header both have where they are still the same; on to one
  // past what differs, where the bytes before the line are the same too.
  std::size_t from = same;
  while (from > 0 && !(SureLineStart(before, from) && HeaderLineAt(before, from) && HeaderLineAt(after, from))) --from;
  const std::size_t differs = before.size() - sameEnd;
  for (std::size_t at = differs + 2; at < before.size(); ++at) {
    if (SureLineStart(before, at) && HeaderLineAt(before, at)) return {from, at, at + after.size() - before.size()};
  }
  return {from, before.size(), after.size()};
}

// ---- WithIniChanges ------------------------------------------------------

namespace {

// A name or value as the INI functions write it: taken, without the blanks
// before it.
std::string_view AsWritten(std::string_view s) {
  s = AsTaken(s);
  while (!s.empty() && IsIniBlank(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  return s;
}

// Whether a name of the text (as it stands in the file) is the one asked
// for (held, trimmed).
bool IsNamed(std::string_view inText, std::string_view asked, IniText kind) {
  std::string changed;
  return FoldedEqual(HeldForm(inText, changed, kind), asked);
}

void MakeChange(std::string& text, const IniChange& change, IniText kind, std::string_view lineEnd) {
  // A value set names its section and key without the blanks around them;
  // a delete names them as they are (so " a" deletes no section "a").
  const bool setting = change.key && change.value;
  std::string sectionForm, keyForm;
  const auto asked = [&](std::string_view name, std::string& form) {
    const std::string_view taken = AsAsked(name, form, kind);
    return setting ? Trimmed(taken) : taken;
  };
  const std::string_view section = asked(change.section, sectionForm);
  const std::string_view key = change.key ? asked(*change.key, keyForm) : std::string_view();
  // One walk over the lines finds the first section of the name (the lines
  // before the first header are the section of no name), the place after
  // its last line, and the key's line: in that section when a value is
  // set, in the first section of the name that has it when it is deleted.
  bool inSection = section.empty(), found = inSection, past = false, endsInBreak = true;
  std::size_t begin = 0, end = text.size(), after = 0;
  bool breakFirst = false;  // the line `after` follows has no line end
  std::optional<TextLine> keyLine;
  ForEachTextLine(text, [&](const TextLine& line) {
    endsInBreak = line.end < line.next;
    if (const std::optional<std::string_view> name = HeaderName(line.text)) {
      if (inSection && !past) end = line.begin, past = true;
      inSection = IsNamed(*name, section, kind);
      if (inSection && !found) found = true, begin = line.begin, after = line.next, breakFirst = !endsInBreak;
      return;
    }
    if (!inSection || line.text.empty()) return;
    if (!past) after = line.next, breakFirst = !endsInBreak;
    if (change.key && !keyLine && (!past || !setting) &&
        IsNamed(UpToNul(KeyAndValue(line.text).first), key, kind)) {
      keyLine = line;
    }
  });
  // Lines deleted at the end of a text that ends without a line end take
  // the line end before them too: the text still ends without one.
  const auto erase = [&](std::size_t from, std::size_t to) {
    if (to == text.size() && !endsInBreak) from -= LineEndBefore(text, from);
    text.erase(from, to - from);
  };
  if (!change.key) {
    if (found) erase(begin, end);
    return;
  }
  if (!setting) {
    if (keyLine) erase(keyLine->begin, keyLine->next);
    return;
  }
  const std::string_view value = AsWritten(*change.value);
  if (keyLine) {
    const auto [stored, old] = KeyAndValue(keyLine->text);
    if (old == value) return;
    text.replace(keyLine->begin, keyLine->end - keyLine->begin, std::string(stored) + "=" + std::string(value));
    return;
  }
  const std::string lineEnds(lineEnd);
  std::string lines = std::string(AsWritten(*change.key)) + "=" + std::string(value);
  if (!found) {
    lines = "[" + std::string(AsWritten(change.section)) + "]" + lineEnds + lines;
    after = text.size(), breakFirst = !endsInBreak;
  }
  // After the last line, which has no line end: the new lines follow one,
  // and the text ends without one as it did.
  text.insert(after, breakFirst ? lineEnds + lines : lines + lineEnds);
}

}  // namespace

std::string WithIniChanges(std::string text, const std::vector<IniChange>& changes, IniText kind,
                           std::string_view lineEnd) {
  const std::string end(lineEnd.empty() ? LineEndOf(text) : lineEnd);
  for (const IniChange& change : changes) MakeChange(text, change, kind, end);
  return text;
}

std::string WithIniChanges(const IniImage& image, const std::string& text, const std::vector<IniChange>& changes) {
  std::string form;
  if (changes.size() != 1 || !changes[0].key || !changes[0].value || !image.HoldsText(text) ||
      Trimmed(AsAsked(changes[0].section, form, image.kind())).empty()) {
    return WithIniChanges(text, changes, image.kind());
  }
  // The section of the name from its header to the next one holds every
  // line the walk looks at; without one, the last section is what the new
  // one follows.
  const auto [from, to] = image.SpanFor(changes[0].section);
  std::string part = text.substr(from, to - from);
  MakeChange(part, changes[0], image.kind(), LineEndOf(text));
  std::string out = TextOfRoom(text.size() - (to - from) + part.size());
  out.append(text, 0, from).append(part).append(text, to);
  return out;  // itself, not a copy
}

}  // namespace zoq
