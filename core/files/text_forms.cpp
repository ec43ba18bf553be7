#include "core/files/text_forms.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <tuple>
#include <utility>

#include "platform/code_pages.hpp"
#include "text/encoding.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

// ---- Code page 936 ---------------------------------------------------------

constexpr unsigned kTrails = 0xFF - 0x40;  // the bytes 40..FE after a lead byte
constexpr std::size_t kPairs = (0xFF - 0x81) * kTrails;

// The characters of the code page and back, as Windows converts them: of a
// byte alone (ASCII, the euro sign 0x80, 0xFF), then of each lead byte with
// each byte 40..FE after it; 0 for none. The code of a character: its byte,
// or its lead byte << 8 | the byte after it.
struct CodePageTables {
  std::uint16_t characters[0x100 + kPairs];
  std::uint16_t codes[0x10000];
  // Of each unit of UTF-16, what the text as held takes: its code's bytes
  // in the order written (the low 16 bits), their count (from kHeldLengthShift
  // up) and what makes a decoding take the unit its slow way (kHeld...).
  std::uint32_t held[0x10000];
};

// A unit that is no character alone (NUL, a half of a surrogate pair).
constexpr std::uint32_t kHeldNoCharacter = 1u << 16;
// A character the code page lacks, held as "?".
constexpr std::uint32_t kHeldLacking = 1u << 17;
constexpr unsigned kHeldLengthShift = 30;

std::size_t PairAt(unsigned lead, unsigned trail) { return 0x100 + (lead - 0x81) * kTrails + (trail - 0x40); }
unsigned CodeAt(std::size_t at) {
  return at < 0x100 ? static_cast<unsigned>(at)
                    : (0x81 + static_cast<unsigned>((at - 0x100) / kTrails)) << 8 | (0x40 + (at - 0x100) % kTrails);
}
std::string BytesOfCode(unsigned code) {
  return code < 0x100 ? std::string(1, static_cast<char>(code))
                      : std::string{static_cast<char>(code >> 8), static_cast<char>(code)};
}

// A character Windows gives for a code that is one.
bool IsCharacter(wchar_t c) { return c != 0 && c != L'?' && c != 0xFFFD && (c < 0xD800 || c > 0xDFFF); }

void Build(CodePageTables& t) {
  for (unsigned c = 0; c < 0x80; ++c) t.characters[c] = static_cast<std::uint16_t>(c);
  std::vector<std::size_t> places;
  std::string all;  // each code that may be a character, converted at once
  for (std::size_t at = 0x80; at < 0x100 + kPairs; ++at) {
    const unsigned code = CodeAt(at);
    if (at < 0x100 ? text::IsLeadByte(static_cast<unsigned char>(at)) : !text::IsTrailByte(code & 0xFF)) continue;
    places.push_back(at);
    all += BytesOfCode(code);
  }
  // Each code that is a character is one unit; where some are not, each is
  // converted alone.
  const std::wstring wide = platform::GbkToWide(all);
  for (std::size_t i = 0; i < places.size(); ++i) {
    const std::wstring one =
        wide.size() == places.size() ? wide.substr(i, 1) : platform::GbkToWide(BytesOfCode(CodeAt(places[i])));
    if (one.size() == 1 && IsCharacter(one[0])) t.characters[places[i]] = static_cast<std::uint16_t>(one[0]);
  }
  // A character of several codes is the one Windows writes it as; the
  // others read as no character (they would not come back).
  std::vector<std::uint16_t> shared;
  for (const std::size_t at : places) {
    const std::uint16_t c = t.characters[at];
    if (c == 0) continue;
    if (t.codes[c] != 0) shared.push_back(c);
    if (t.codes[c] == 0) t.codes[c] = static_cast<std::uint16_t>(CodeAt(at));
  }
  for (const std::uint16_t c : shared) {
    const std::string back = platform::WideToGbk(std::wstring(1, static_cast<wchar_t>(c)));
    const unsigned code = back.size() == 1   ? static_cast<unsigned char>(back[0])
                          : back.size() == 2 ? static_cast<unsigned char>(back[0]) << 8 | static_cast<unsigned char>(back[1])
                                             : 0;
    t.codes[c] = static_cast<std::uint16_t>(code);
  }
  for (const std::size_t at : places) {
    if (t.codes[t.characters[at]] != CodeAt(at)) t.characters[at] = 0;
  }
  for (unsigned c = 0; c < 0x80; ++c) t.codes[c] = static_cast<std::uint16_t>(c);
  for (unsigned c = 0; c < 0x10000; ++c) {
    const unsigned code = t.codes[c] != 0 ? t.codes[c] : '?';
    const std::uint32_t bytes = code < 0x100 ? code : (code >> 8 | (code & 0xFF) << 8);
    const std::uint32_t length = code < 0x100 ? 1 : 2;
    const bool none = c == 0 || (c >= 0xD800 && c <= 0xDFFF);
    t.held[c] = bytes | length << kHeldLengthShift | (none ? kHeldNoCharacter : 0) |
                (t.codes[c] == 0 && !none ? kHeldLacking : 0);
  }
}

// Of static storage: zero until built, at the first use of a public
// function of this file (each makes sure of it first).
CodePageTables gCodePage;
void MakeSureOfCodePage() {
  static const bool built = (Build(gCodePage), true);
  (void)built;
}

// ---- Characters of Unicode -------------------------------------------------

// The character of GB18030's four bytes; 0 for none.
char32_t FromFourBytes(std::string_view four) {
  const std::string units = encoding::Gb18030ToUtf16be(std::string(four));
  const auto unit = [&](std::size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(units[i]) << 8 | static_cast<unsigned char>(units[i + 1]));
  };
  if (units.size() == 2) return unit(0);
  if (units.size() == 4) return 0x10000 + ((unit(0) - 0xD800) << 10) + (unit(2) - 0xDC00);
  return 0;
}

void AppendUtf16be(std::string& units, char32_t c) {
  const auto put = [&](char32_t u) { units += {static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)}; };
  if (c < 0x10000) return put(c);
  put(0xD800 + ((c - 0x10000) >> 10));
  put(0xDC00 + ((c - 0x10000) & 0x3FF));
}

// GB18030's four bytes of a character; none where it has no such form.
std::optional<std::string> FourBytesOf(char32_t c) {
  std::string units;
  AppendUtf16be(units, c);
  std::string gb = encoding::Utf16beToGb18030(units);
  const auto digit = [&](std::size_t i) { return gb[i] >= '0' && gb[i] <= '9'; };
  const auto lead = [&](std::size_t i) { return text::IsLeadByte(static_cast<unsigned char>(gb[i])); };
  if (gb.size() != 4 || !lead(0) || !digit(1) || !lead(2) || !digit(3)) return std::nullopt;
  return gb;
}

// The character's bytes in a file of the form.
void Encode(TextForm form, char32_t c, std::string& out) {
  if (form == TextForm::Utf8 || form == TextForm::MarkedUtf8) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
              static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
    return;
  }
  const std::size_t at = out.size();
  AppendUtf16be(out, c);
  if (form == TextForm::Utf16le || form == TextForm::BareUtf16le) {
    for (std::size_t i = at; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
  }
}

bool IsUtf16(TextForm form) { return form >= TextForm::Utf16le; }
bool IsLittleEndian(TextForm form) { return form == TextForm::Utf16le || form == TextForm::BareUtf16le; }

std::string_view MarkOf(TextForm form) {
  switch (form) {
    case TextForm::MarkedUtf8: return "\xEF\xBB\xBF";
    case TextForm::Utf16le: return "\xFF\xFE";
    case TextForm::Utf16be: return "\xFE\xFF";
    default: return {};
  }
}

// The form its mark gives a file; the code page for none.
TextForm MarkedForm(std::string_view bytes) {
  for (const TextForm form : {TextForm::MarkedUtf8, TextForm::Utf16le, TextForm::Utf16be}) {
    if (bytes.starts_with(MarkOf(form))) return form;
  }
  return TextForm::CodePage;
}

constexpr bool IsLineEnd(unsigned unit) { return unit == '\n' || unit == '\r'; }
// A unit of the signs every INI line holds one of.
constexpr bool IsSign(unsigned unit) { return IsLineEnd(unit) || unit == '=' || unit == '[' || unit == ']'; }

FormCounts Moved(FormCounts c, const FormCounts& gone, const FormCounts& come);

bool ShowsUtf16(const FormCounts& c, int order) {
  return c.nuls >= 2 && c.signs[order] >= 2 && c.signs[order] > 4 * c.signs[1 - order] &&
         8 * c.misplacedLineEnds[order] <= c.lineEnds[order];
}

// ---- Sinks: what a decoding makes of the characters -------------------------

// Each writes from `out`, which the decoding keeps in a variable of its own
// (a byte written through a pointer may be part of anything behind a
// reference, which would then be read again at each character), and gives
// where it ended: a character, or bytes that are none at `at` (a NUL unit
// of UTF-16 among them); `Boundary` tells it where a character begins, in
// what it wrote and in the bytes, no more than kBoundaryEvery bytes apart
// (and gives where to go on writing).

constexpr std::size_t kMarkEvery = 4096, kBoundaryEvery = kMarkEvery / 4;
constexpr std::size_t kNulsWithin = 65536;

// The character's code of the code page at `out`; none written for 0.
char* PutCode(char* out, unsigned code) {
  if (code >= 0x100) *out++ = static_cast<char>(code >> 8);
  if (code != 0) *out++ = static_cast<char>(code);
  return out;
}
unsigned CodeOf(char32_t c) { return c < 0x80 ? c : c <= 0xFFFF ? gCodePage.codes[c] : 0; }

char* PutAscii(char* out, const char* p, std::size_t n) {
  std::memcpy(out, p, n);
  return out + n;
}

// A unit's held bytes (CodePageTables::held) at `out`: both written, the
// second to be written over where the code is of one byte.
char* PutHeld(char* out, std::uint32_t held) {
  static_assert(std::endian::native == std::endian::little, "the first byte is the lowest");
  const auto bytes = static_cast<std::uint16_t>(held);
  std::memcpy(out, &bytes, 2);
  return out + (held >> kHeldLengthShift);
}

// What the fast decodings write past the end of what they keep: eight bytes
// of ASCII at once.
constexpr std::size_t kSlack = 8;

// Nothing made: the counts alone.
struct CountSink {
  explicit CountSink(std::size_t = 0) {}
  char* Begin() { return nullptr; }
  static char* Boundary(char* out, std::size_t) { return out; }
  static char* Ascii(char* out, const char*, std::size_t) { return out; }
  static char* Character(char* out, char32_t) { return out; }
  static char* Broken(char* out, std::size_t) { return out; }
  void End(char*) {}
};

// A sink that writes each character's code of the code page (HeldSink,
// ChangeSink) is decoded the fast way where it can: the units and
// characters it takes as the held table gives them (all but those of
// `kSlowly`) through that table, the others its slow way.
template <typename Sink>
concept WritesHeld = requires { Sink::kSlowly; };

// The text as held (a character the code page lacks, or bytes that are
// none, as "?": never longer than the bytes), and marks where characters
// begin. Written into the block of the bytes of a file read before, where
// one of about the size is kept (the text of Chinese UTF-8 is a fifth
// shorter than its bytes): the room left is looked at at each boundary.
struct HeldSink {
  static constexpr std::uint32_t kSlowly = kHeldNoCharacter;
  explicit HeldSink(std::size_t bytes) : text(BytesOfRoom(bytes, bytes - bytes / 4)) { text.resize(text.capacity()); }
  char* Begin() { return text.data(); }
  char* Boundary(char* out, std::size_t at) {
    const std::size_t done = static_cast<std::size_t>(out - text.data());
    if (text.size() - done < 2 * kBoundaryEvery) {
      text.resize(std::max(2 * text.size(), done + 2 * kBoundaryEvery));
      out = text.data() + done;
    }
    if (done < nextMark) return out;
    marks.push_back({static_cast<std::uint32_t>(done), static_cast<std::uint32_t>(at)});
    nextMark = done + kMarkEvery;
    return out;
  }
  static char* Ascii(char* out, const char* p, std::size_t n) { return PutAscii(out, p, n); }
  static char* Character(char* out, char32_t c) {
    const unsigned code = CodeOf(c);
    if (code == 0) *out++ = c == 0 ? '\0' : '?';
    return PutCode(out, code);
  }
  static char* Broken(char* out, std::size_t) { return *out = '?', out + 1; }
  void End(char* out) { text.resize(static_cast<std::size_t>(out - text.data())); }

  std::string text;
  std::size_t nextMark = 0;
  std::vector<UnicodeFile::Mark> marks;
};

// The text as changes are made in it: each character as the code page
// holds it, one it lacks in GB18030's four bytes (never more than twice the
// bytes); failed at bytes that are no character, or a character of no such
// form.
struct ChangeSink {
  static constexpr std::uint32_t kSlowly = kHeldNoCharacter | kHeldLacking;
  explicit ChangeSink(std::size_t bytes) : text(2 * bytes + kSlack, '\0') {}
  char* Begin() { return text.data(); }
  static char* Boundary(char* out, std::size_t) { return out; }
  static char* Ascii(char* out, const char* p, std::size_t n) { return PutAscii(out, p, n); }
  char* Character(char* out, char32_t c) {
    if (c == 0) return *out = '\0', out + 1;
    if (const unsigned code = CodeOf(c)) return PutCode(out, code);
    const std::optional<std::string> four = FourBytesOf(c);
    failed = failed || !four;
    return four ? PutAscii(out, four->data(), 4) : out;
  }
  char* Broken(char* out, std::size_t) { return failed = true, out; }
  void End(char* out) { text.resize(static_cast<std::size_t>(out - text.data())); }

  std::string text;
  bool failed = false;
};

// UTF-16BE units of the characters (never more than twice the bytes),
// bytes that are no character left out.
struct UnitSink {
  explicit UnitSink(std::size_t bytes) : units(2 * bytes, '\0') {}
  char* Begin() { return units.data(); }
  static char* Boundary(char* out, std::size_t) { return out; }
  static char* Ascii(char* out, const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) *out++ = '\0', *out++ = p[i];
    return out;
  }
  static char* Character(char* out, char32_t c) {
    std::string pair;
    AppendUtf16be(pair, c);
    return PutAscii(out, pair.data(), pair.size());
  }
  static char* Broken(char* out, std::size_t) { return out; }
  void End(char* out) { units.resize(static_cast<std::size_t>(out - units.data())); }

  std::string units;
};

// Where the first bytes that are no character begin.
struct BrokenSink : CountSink {
  using CountSink::CountSink;
  char* Broken(char* out, std::size_t at) {
    if (!first) first = at;
    return out;
  }

  std::optional<std::size_t> first;
};

// ---- Decoding --------------------------------------------------------------

// The character of UTF-8 beyond ASCII at `i`: its length (0 for bytes that
// are none: a byte that begins no character, too few or wrong bytes after
// it, a form longer than the shortest, a surrogate, past U+10FFFF) and its
// code point.
inline std::size_t Utf8At(const unsigned char* p, std::size_t i, std::size_t n, char32_t& code) {
  const unsigned c = p[i];
  const auto next = [&](std::size_t k) { return i + k < n && (p[i + k] & 0xC0) == 0x80; };
  if (c >= 0xE0 && c <= 0xEF) {  // three bytes: every Chinese character
    if (!next(1) || !next(2) || (c == 0xE0 && p[i + 1] < 0xA0) || (c == 0xED && p[i + 1] > 0x9F)) return 0;
    code = (c & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F);
    return 3;
  }
  if (c >= 0xC2 && c <= 0xDF) {
    if (!next(1)) return 0;
    code = (c & 0x1F) << 6 | (p[i + 1] & 0x3F);
    return 2;
  }
  if (c < 0xF0 || c > 0xF4 || !next(1) || !next(2) || !next(3) || (c == 0xF0 && p[i + 1] < 0x90) ||
      (c == 0xF4 && p[i + 1] > 0x8F)) {
    return 0;
  }
  code = (c & 0x07) << 18 | (p[i + 1] & 0x3F) << 12 | (p[i + 2] & 0x3F) << 6 | (p[i + 3] & 0x3F);
  return 4;
}

// Whether the bytes are UTF-8 up to their first character of three bytes or
// more, which they hold: what a decoding that judges the form goes on from
// (text of the code page fails here at little cost, before a text is made).
bool Utf8UpToALongCharacter(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t i = 0, n = bytes.size(); i < n;) {
    char32_t code;
    const std::size_t length = p[i] < 0x80 ? 1 : Utf8At(p, i, n, code);
    if (length == 0 || length >= 3) return length != 0;
    i += length;
  }
  return false;
}

// A decoding into a sink: what the sink made, the counts, whether every
// byte was a character, whether it went to the end.
template <typename Sink>
struct Decoding {
  Sink sink;
  FormCounts counts;
  bool exact = true, whole = true;
};

// Whether the bytes at `q` (three of them there) are a character of three
// bytes of UTF-8 (every Chinese character), and its code point: a lead byte
// E0..EF and two bytes that follow one, not overlong, no surrogate.
inline bool ThreeBytesAt(const unsigned char* q, char32_t& code) {
  const unsigned c = q[0], b1 = q[1], b2 = q[2];
  code = (c & 0x0F) << 12 | (b1 & 0x3F) << 6 | (b2 & 0x3F);
  return (c & 0xF0) == 0xE0 && !(((b1 & 0xC0) ^ 0x80) | ((b2 & 0xC0) ^ 0x80)) && code >= 0x800 &&
         (code < 0xD800 || code > 0xDFFF);
}

// How many of the eight bytes at `p` are ASCII before the first that is
// not (8 for none), without a branch on each.
unsigned AsciiAhead(const unsigned char* p) {
  std::uint64_t eight;
  std::memcpy(&eight, p, 8);
  const auto low = static_cast<std::uint32_t>(eight & 0x80808080u);
  const auto high = static_cast<std::uint32_t>(eight >> 32 & 0x80808080u);
  return low != 0 ? std::countr_zero(low) / 8 : high != 0 ? 4 + std::countr_zero(high) / 8 : 8;
}

// Chinese text of UTF-8 for a sink that writes held text, from `i` while
// it is before `end` (and eight bytes are left): a run of ASCII eight bytes
// at a time, all eight written (the sink has room) and kept up to the first
// that is not ASCII, with no branch on each byte; each character of three
// bytes through the held table. It stops at anything else, and at a
// character the sink takes its slow way; `threes` counts the characters.
// Gives where it stopped. Out of line: with the few variables of its own
// loop the compiler keeps them all in registers.
template <std::uint32_t kSlowly>
__attribute__((noinline)) std::size_t HeldUtf8(const unsigned char* p, std::size_t i, std::size_t end, char*& out,
                                               std::size_t& threes) {
  char* o = out;
  std::size_t count = 0;
  while (i < end) {
    if (p[i] < 0x80) {
      std::memcpy(o, p + i, 8);
      const unsigned ascii = AsciiAhead(p + i);
      o += ascii, i += ascii;
      continue;
    }
    char32_t code;
    if (!ThreeBytesAt(p + i, code)) break;
    const std::uint32_t held = gCodePage.held[code];
    if (held & kSlowly & ~kHeldNoCharacter) break;  // (no NUL or surrogate here)
    o = PutHeld(o, held);
    i += 3, ++count;
  }
  out = o;
  threes += count;
  return i;
}

// The characters of `bytes` (after any mark) of UTF-8, handed to the sink:
// ASCII eight bytes at a time where it can (else up to the next byte that
// is not), each other character (or where bytes are no character), and
// boundaries; counted as the judgement counts. A sink that writes held text
// takes ASCII and Chinese text through HeldUtf8, the rest this way. Not whole where it stopped
// at bytes that are no UTF-8 (`stopAtBroken`). Out of line, as DecodeUtf16:
// inlined into a caller beside each other, they run out of registers.
template <typename Sink>
__attribute__((noinline)) void DecodeUtf8(std::string_view bytes, Decoding<Sink>& d, bool stopAtBroken) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  char* out = d.sink.Begin();
  // Counted apart, as those of UTF-16: on 32 bits, what the loop keeps in
  // registers.
  std::size_t nonAscii = 0, longs = 0;
  bool exact = true;
  for (std::size_t i = 0, boundary = 0; i < n;) {
    if (i >= boundary) out = d.sink.Boundary(out, i), boundary = i + kBoundaryEvery;
    if constexpr (WritesHeld<Sink>) {
      // ASCII and Chinese text through HeldUtf8; what it leaves (a character
      // of two bytes or four, bytes that are none, the last bytes) here.
      if (p[i] < 0x80 || (p[i] & 0xF0) == 0xE0) {
        const std::size_t from = i, before = longs;
        i = HeldUtf8<Sink::kSlowly>(p, i, std::min(boundary, n < 8 ? 0 : n - 7), out, longs);
        nonAscii += longs - before;
        if (i != from) continue;
      }
    }
    if (p[i] < 0x80) {
      std::uint64_t eight;
      if (i + 8 <= n && (std::memcpy(&eight, p + i, 8), !(eight & 0x8080808080808080ull))) {
        out = d.sink.Ascii(out, bytes.data() + i, 8);
        i += 8;
      } else {
        do out = d.sink.Ascii(out, bytes.data() + i++, 1);
        while (i < n && i < boundary && p[i] < 0x80);
      }
      continue;
    }
    // Characters of three bytes one after the other (Chinese text) in a
    // loop of their own, up to the next boundary.
    std::size_t run = i;
    for (const std::size_t end = std::min(n, boundary + 3); run + 3 <= end; run += 3) {
      char32_t code;
      if (!ThreeBytesAt(p + run, code)) break;
      out = d.sink.Character(out, code);
    }
    if (run > i) {
      longs += (run - i) / 3, nonAscii += (run - i) / 3;
      i = run;
      continue;
    }
    char32_t code;
    const std::size_t length = Utf8At(p, i, n, code);
    if (length == 0) {
      exact = false;
      d.whole = !stopAtBroken;
      if (!d.whole) break;
      out = d.sink.Broken(out, i++);
      continue;
    }
    ++nonAscii;
    longs += length >= 3;
    out = d.sink.Character(out, code);
    i += length;
  }
  d.sink.End(out);
  d.counts.nonAscii += static_cast<std::int64_t>(nonAscii), d.counts.longUtf8 += static_cast<std::int64_t>(longs);
  d.exact = d.exact && exact;
}

// What each byte is to the judgement of UTF-16 without a mark, as the low
// byte of a unit: 1 a line end, 2 one of the signs (line ends among them).
constexpr std::array<std::uint8_t, 256> kSignBytes = [] {
  std::array<std::uint8_t, 256> classes{};
  for (unsigned c = 0; c < 0x80; ++c) classes[c] = static_cast<std::uint8_t>(IsLineEnd(c) | IsSign(c) << 1);
  return classes;
}();

// What the judgement of UTF-16 without a mark counts of its units. Counted
// apart from FormCounts: no file here is of 4 GiB.
struct UnitCounts {
  // A sign read little-endian has its byte first and a NUL after it,
  // big-endian the other way round; a line end's byte where the order puts
  // the high byte of a unit is misplaced in that order.
  void Add(unsigned a, unsigned b) {
    const unsigned ofA = kSignBytes[a], ofB = kSignBytes[b];
    nuls += (a == 0) + (b == 0);
    signs[0] += (b == 0) & ofA >> 1, lineEnds[0] += (b == 0) & ofA;
    signs[1] += (a == 0) & ofB >> 1, lineEnds[1] += (a == 0) & ofB;
    misplaced[0] += ofB & 1, misplaced[1] += ofA & 1;
  }
  std::size_t nuls = 0, signs[2] = {}, lineEnds[2] = {}, misplaced[2] = {};
};

// UTF-16 for a sink that writes held text, two units at a time from `i`
// up to `end`: each unit through the held table, so that no branch waits on
// a character, counted with `kCounted`; it stops before two units of which
// one the sink takes its slow way (a half of a surrogate pair, NUL). Gives
// where it stopped.
template <bool kLittle, bool kCounted, std::uint32_t kSlowly>
std::size_t Utf16Units(const unsigned char* p, std::size_t i, std::size_t end, char*& out, UnitCounts& counts) {
  const std::uint32_t* held = gCodePage.held;
  const auto unit = [p](std::size_t at) { return kLittle ? p[at] | p[at + 1] << 8 : p[at] << 8 | p[at + 1]; };
  char* o = out;
  for (; i + 4 <= end; i += 4) {
    const std::uint32_t first = held[unit(i)], second = held[unit(i + 2)];
    if ((first | second) & kSlowly) break;
    if constexpr (kCounted) counts.Add(p[i], p[i + 1]), counts.Add(p[i + 2], p[i + 3]);
    o = PutHeld(PutHeld(o, first), second);
  }
  out = o;
  return i;
}

// The same of UTF-16, a block between boundaries at a time, ASCII four
// units at a time where it can, a unit that is a character of its own
// (most of them) before the rest; what the judgement counts (of each unit)
// only with `kCounted` (a file without a mark). A sink that writes held text
// takes each unit that is a character of its own through Utf16Units.
template <bool kCounted, typename Sink>
__attribute__((noinline)) void DecodeUtf16(std::string_view bytes, bool little, Decoding<Sink>& d) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size(), units = size & ~std::size_t{1};
  // The high bytes of four units, and where their low bytes are.
  const std::uint64_t highBytes = little ? 0xFF80FF80FF80FF80ull : 0x80FF80FF80FF80FFull;
  const std::size_t low = little ? 0 : 1;
  char* out = d.sink.Begin();
  UnitCounts counted;
  bool exact = true;
  char32_t high = 0;  // the first half of a pair, while the second is to come
  std::size_t i = 0;
  while (i < units) {
    if (high == 0) out = d.sink.Boundary(out, i);
    for (const std::size_t block = std::min(units, i + kBoundaryEvery); i < block; i += 2) {
      if constexpr (WritesHeld<Sink>) {
        if (high == 0) {
          i = little ? Utf16Units<true, kCounted, Sink::kSlowly>(p, i, block, out, counted)
                     : Utf16Units<false, kCounted, Sink::kSlowly>(p, i, block, out, counted);
          if (i >= block) break;
        }
      }
      // Four units of ASCII (none of them NUL) at a time.
      std::uint64_t four;
      if (high == 0 && i + 8 <= units && (std::memcpy(&four, p + i, 8), !(four & highBytes)) && p[i + low] &&
          p[i + 2 + low] && p[i + 4 + low] && p[i + 6 + low]) {
        const char ascii[4] = {static_cast<char>(p[i + low]), static_cast<char>(p[i + 2 + low]),
                               static_cast<char>(p[i + 4 + low]), static_cast<char>(p[i + 6 + low])};
        if constexpr (kCounted) {
          // Each a sign or a line end in the order read, the byte of a line
          // end misplaced in the other; the four classes a byte each, summed
          // by a multiplication.
          const unsigned classes = kSignBytes[p[i + low]] | kSignBytes[p[i + 2 + low]] << 8 |
                                   kSignBytes[p[i + 4 + low]] << 16 | kSignBytes[p[i + 6 + low]] << 24;
          const unsigned ends = (classes & 0x01010101u) * 0x01010101u >> 24;
          const unsigned marks = (classes >> 1 & 0x01010101u) * 0x01010101u >> 24;
          counted.nuls += 4;
          counted.signs[low] += marks, counted.lineEnds[low] += ends, counted.misplaced[1 - low] += ends;
        }
        out = d.sink.Ascii(out, ascii, 4);
        i += 6;
        continue;
      }
      const unsigned a = p[i], b = p[i + 1], unit = little ? a | b << 8 : a << 8 | b;
      if constexpr (kCounted) counted.Add(a, b);
      if (high == 0) {
        if (unit - 1 < 0x7F) {
          const char ascii = static_cast<char>(unit);
          out = d.sink.Ascii(out, &ascii, 1);
          continue;
        }
        if (unit != 0 && (unit < 0xD800 || unit > 0xDFFF)) {
          out = d.sink.Character(out, unit);
          continue;
        }
      }
      const bool second = unit >= 0xDC00 && unit <= 0xDFFF;
      if (high != 0) {
        const char32_t first = std::exchange(high, 0);
        if (second) {
          out = d.sink.Character(out, 0x10000 + ((first - 0xD800) << 10) + (unit - 0xDC00));
          continue;
        }
        exact = false;
        out = d.sink.Broken(out, i - 2);
        if (unit != 0 && !(unit >= 0xD800 && unit <= 0xDFFF)) {
          out = d.sink.Character(out, unit);
          continue;
        }
      }
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        high = unit;
        continue;
      }
      exact = false;  // a second half alone, or a NUL unit
      out = d.sink.Broken(out, i);
    }
  }
  if (high != 0) exact = false, out = d.sink.Broken(out, i - 2);
  d.sink.End(out);
  FormCounts counts;
  counts.nuls = static_cast<std::int64_t>(counted.nuls);
  for (int order : {0, 1}) {
    counts.signs[order] = static_cast<std::int64_t>(counted.signs[order]);
    counts.lineEnds[order] = static_cast<std::int64_t>(counted.lineEnds[order]);
    counts.misplacedLineEnds[order] = static_cast<std::int64_t>(counted.misplaced[order]);
  }
  d.counts = Moved(d.counts, {}, counts);
  d.exact = d.exact && exact && i == size;  // no byte after the last unit
}

template <typename Sink>
Decoding<Sink> Decoded(TextForm form, std::string_view body, bool stopAtBroken) {
  Decoding<Sink> d{Sink(body.size()), {}, true, true};
  if (form == TextForm::BareUtf16le || form == TextForm::BareUtf16be) {
    DecodeUtf16<true>(body, IsLittleEndian(form), d);
  } else if (IsUtf16(form)) {
    DecodeUtf16<false>(body, IsLittleEndian(form), d);
  } else {
    DecodeUtf8(body, d, stopAtBroken);
  }
  return d;
}

// Judges the form of the bytes, decoding them into a sink as it goes: the
// sink of the form judged (none for the code page).
template <typename Sink>
TextForm Judged(std::string_view bytes, std::optional<Decoding<Sink>>& out) {
  const TextForm marked = MarkedForm(bytes);
  if (marked != TextForm::CodePage) {
    out.emplace(Decoded<Sink>(marked, bytes.substr(MarkOf(marked).size()), false));
    return marked;
  }
  // UTF-16 of an INI file has NUL bytes in its first lines (beside every
  // ASCII character and line end): text of the code page is not looked at
  // past its start.
  if (bytes.substr(0, kNulsWithin).find('\0') != std::string_view::npos) {
    // Read little-endian once: the counts of both orders come of it.
    out.emplace(Decoded<Sink>(TextForm::BareUtf16le, bytes, false));
    if (ShowsUtf16(out->counts, 0)) return TextForm::BareUtf16le;
    if (ShowsUtf16(out->counts, 1)) {
      out.emplace(Decoded<Sink>(TextForm::BareUtf16be, bytes, false));
      return TextForm::BareUtf16be;
    }
  }
  out.reset();
  if (!Utf8UpToALongCharacter(bytes)) return TextForm::CodePage;
  out.emplace(Decoded<Sink>(TextForm::Utf8, bytes, true));
  if (out->whole) return TextForm::Utf8;
  out.reset();
  return TextForm::CodePage;
}

// The text's bytes in a file of the form; none where it holds a byte or
// four that are no character.
std::optional<std::string> BytesOfText(TextForm form, std::string_view text) {
  const CodePageTables& tables = gCodePage;
  std::string out;
  out.reserve(text.size() + text.size() / 2 + 8);
  for (std::size_t i = 0; i < text.size();) {
    const unsigned c = static_cast<unsigned char>(text[i]);
    const unsigned next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    char32_t character = 0;
    std::size_t length = 1;
    if (!text::IsLeadByte(static_cast<unsigned char>(c))) {
      character = tables.characters[c];
      if (c != 0 && character == 0) return std::nullopt;
    } else if (text::IsTrailByte(static_cast<unsigned char>(next))) {
      character = tables.characters[PairAt(c, next)], length = 2;
    } else if (next >= '0' && next <= '9' && i + 3 < text.size()) {
      character = FromFourBytes(text.substr(i, 4)), length = 4;
    }
    if (character == 0 && c != 0) return std::nullopt;
    Encode(form, character, out);
    i += length;
  }
  return out;
}

// Where the line that begins at `at` in the text as held (or the text's
// end) begins in the file's bytes: as many line ends on from the mark before
// it, which stand as one character of their own in the text and the bytes
// alike.
std::size_t BytesAt(const UnicodeFile& file, std::string_view held, std::size_t at) {
  if (at >= held.size()) return file.bytes.size();
  const auto mark = std::prev(std::upper_bound(file.marks.begin(), file.marks.end(), at,
                                               [](std::size_t a, const UnicodeFile::Mark& m) { return a < m.text; }));
  std::size_t ends = 0;
  for (std::size_t i = mark->text; i < at; ++i) ends += held[i] == '\n' || held[i] == '\r';
  const bool wide = IsUtf16(file.form), little = IsLittleEndian(file.form);
  const auto* b = reinterpret_cast<const unsigned char*>(file.bytes.data());
  const std::size_t size = file.bytes.size(), step = wide ? 2 : 1;
  std::size_t pos = mark->bytes;
  for (; ends > 0 && pos + step <= size; pos += step) {
    const unsigned unit = !wide ? b[pos] : little ? b[pos] | b[pos + 1] << 8 : b[pos] << 8 | b[pos + 1];
    ends -= unit == '\n' || unit == '\r';
  }
  return pos;
}

FormCounts Moved(FormCounts c, const FormCounts& gone, const FormCounts& come) {
  c.longUtf8 += come.longUtf8 - gone.longUtf8;
  c.nonAscii += come.nonAscii - gone.nonAscii;
  c.nuls += come.nuls - gone.nuls;
  for (int order : {0, 1}) {
    c.signs[order] += come.signs[order] - gone.signs[order];
    c.lineEnds[order] += come.lineEnds[order] - gone.lineEnds[order];
    c.misplacedLineEnds[order] += come.misplacedLineEnds[order] - gone.misplacedLineEnds[order];
  }
  return c;
}

// The line (from 1) of the byte at `at`, of a file of the form.
std::size_t LineAt(TextForm form, std::string_view bytes, std::size_t at) {
  const bool wide = IsUtf16(form), little = IsLittleEndian(form);
  const std::size_t step = wide ? 2 : 1;
  const auto unit = [&](std::size_t i) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    return !wide ? b[i] : little ? b[i] | b[i + 1] << 8 : b[i] << 8 | b[i + 1];
  };
  std::size_t line = 1;
  for (std::size_t i = MarkOf(form).size(); i + step <= at && i + step <= bytes.size(); i += step) {
    const unsigned u = unit(i);
    line += u == '\n' || (u == '\r' && !(i + 2 * step <= bytes.size() && unit(i + step) == '\n'));
  }
  return line;
}

}  // namespace

UnicodeFile::~UnicodeFile() { KeepRoomOfBytes(bytes); }

FileText ReadFileText(std::string bytes, bool keepBytes) {
  std::optional<Decoding<HeldSink>> decoded;
  MakeSureOfCodePage();
  const TextForm form = Judged(bytes, decoded);
  if (form == TextForm::CodePage) return {std::move(bytes), nullptr};
  auto file = std::make_shared<UnicodeFile>();
  file->form = form;
  file->exact = decoded->exact;
  file->counts = decoded->counts;
  const std::uint32_t mark = static_cast<std::uint32_t>(MarkOf(form).size());
  file->marks = std::move(decoded->sink.marks);
  for (UnicodeFile::Mark& m : file->marks) m.bytes += mark;
  if (file->marks.empty()) file->marks.push_back({0, mark});
  if (keepBytes) {
    file->bytes = std::move(bytes);
  } else {
    KeepRoomOfBytes(bytes);
  }
  return {std::move(decoded->sink.text), std::move(file)};
}

TextForm FormOf(std::string_view bytes) {
  MakeSureOfCodePage();
  std::optional<Decoding<CountSink>> decoded;
  return Judged(bytes, decoded);
}

TextForm JudgedForm(const UnicodeFile& file) {
  const TextForm marked = MarkedForm(file.bytes);
  if (marked != TextForm::CodePage) return marked;
  if (ShowsUtf16(file.counts, 0)) return TextForm::BareUtf16le;
  if (ShowsUtf16(file.counts, 1)) return TextForm::BareUtf16be;
  return file.counts.longUtf8 > 0 ? TextForm::Utf8 : TextForm::CodePage;
}

std::optional<std::string> TextToChange(TextForm form, std::string_view bytes) {
  MakeSureOfCodePage();
  Decoding<ChangeSink> d = Decoded<ChangeSink>(form, bytes, true);
  if (!d.whole || !d.exact || d.sink.failed) return std::nullopt;
  return std::move(d.sink.text);
}

std::optional<UnicodeChange> ChangedUnicodeFile(const IniImage& image, const UnicodeFile& file,
                                                const std::vector<IniChange>& changes) {
  MakeSureOfCodePage();
  if (!file.exact || changes.empty() || file.bytes.empty()) return std::nullopt;
  const std::string& held = image.text();
  UnicodeChange c{nullptr, 0, held.size(), {}, 0, 0, 0, 0, {}, {}};
  const IniChange& change = changes.front();
  // One value set or one section deleted walks the first section of its
  // name, or the last where none has it (what the new one follows).
  if (changes.size() == 1 && (change.value || !change.key) && !BlankIniName(change.section)) {
    std::tie(c.from, c.to) = image.SpanFor(change.section);
    // The last section deleted from a text without a final line end takes
    // the line end before it: the run holds the section before it too.
    if (!change.key && c.to == held.size() && !EndsInLineEnd(held)) c.from = HeaderLineBefore(held, c.from);
  }
  c.bytesFrom = BytesAt(file, held, c.from);
  c.bytesTo = BytesAt(file, held, c.to);
  const std::string_view run = std::string_view(file.bytes).substr(c.bytesFrom, c.bytesTo - c.bytesFrom);
  std::optional<std::string> before = TextToChange(file.form, run);
  if (!before) return std::nullopt;
  c.before = std::move(*before);
  c.after = WithIniChanges(c.before, changes, IniText::Unicode, LineEndOf(held));
  const std::optional<std::string> written = BytesOfText(file.form, c.after);
  if (!written) return std::nullopt;
  Decoding<HeldSink> now = Decoded<HeldSink>(file.form, *written, false);
  auto out = std::make_shared<UnicodeFile>();
  out->form = file.form;
  out->counts = Moved(file.counts, Decoded<CountSink>(file.form, run, false).counts, now.counts);
  // Left without what shows its form, the file gets the mark of it.
  if (file.form == TextForm::Utf8 && out->counts.longUtf8 == 0) {
    out->form = out->counts.nonAscii > 0 ? TextForm::MarkedUtf8 : TextForm::CodePage;
  } else if (file.form == TextForm::BareUtf16le || file.form == TextForm::BareUtf16be) {
    const bool little = file.form == TextForm::BareUtf16le;
    if (!ShowsUtf16(out->counts, little ? 0 : 1)) out->form = little ? TextForm::Utf16le : TextForm::Utf16be;
  }
  const std::string_view mark = out->form == file.form ? std::string_view() : MarkOf(out->form);
  c.markAdded = mark.size();
  out->bytes = BytesOfRoom(mark.size() + file.bytes.size() - run.size() + written->size());
  out->bytes.append(mark).append(file.bytes, 0, c.bytesFrom).append(*written).append(file.bytes, c.bytesTo);
  c.writtenTo = mark.size() + c.bytesFrom + written->size();
  // The marks before the run stay, the run's own come, those after it move.
  std::vector<UnicodeFile::Mark>& marks = out->marks;
  const std::uint32_t add = static_cast<std::uint32_t>(mark.size());
  const auto put = [&](std::size_t text, std::size_t bytes) {
    if (marks.empty() || text > marks.back().text) {
      marks.push_back({static_cast<std::uint32_t>(text), static_cast<std::uint32_t>(bytes)});
    }
  };
  for (const UnicodeFile::Mark& m : file.marks) {
    if (m.text <= c.from) put(m.text, m.bytes + add);
  }
  for (const UnicodeFile::Mark& m : now.sink.marks) put(c.from + m.text, add + c.bytesFrom + m.bytes);
  c.held = std::move(now.sink.text);
  for (const UnicodeFile::Mark& m : file.marks) {
    if (m.text >= c.to && m.text > c.from) put(m.text + c.held.size() - (c.to - c.from), m.bytes + c.writtenTo - c.bytesTo);
  }
  c.file = std::move(out);
  return c;
}

std::optional<UnicodeChange> UnicodeChangeBetween(const UnicodeFile& was, std::string written) {
  const std::size_t mark = MarkOf(was.form).size();
  std::optional<std::string> before = TextToChange(was.form, std::string_view(was.bytes).substr(mark));
  FileText now = ReadFileText(std::move(written));
  if (!before || !now.unicode || !now.unicode->exact) return std::nullopt;
  const TextForm form = now.unicode->form;
  const bool marked = (was.form == TextForm::Utf8 && form == TextForm::MarkedUtf8) ||
                      (was.form == TextForm::BareUtf16le && form == TextForm::Utf16le) ||
                      (was.form == TextForm::BareUtf16be && form == TextForm::Utf16be);
  if (form != was.form && !marked) return std::nullopt;
  const std::size_t added = marked ? MarkOf(form).size() : 0;
  const std::string& bytes = now.unicode->bytes;
  std::optional<std::string> after = TextToChange(form, std::string_view(bytes).substr(mark + added));
  if (!after) return std::nullopt;
  return UnicodeChange{now.unicode, 0, 0, std::move(now.text), mark, was.bytes.size(), added, bytes.size(),
                       std::move(*before), std::move(*after)};
}

std::string Gb18030TextOf(std::string bytes) {
  MakeSureOfCodePage();
  std::optional<Decoding<UnitSink>> decoded;
  if (Judged(bytes, decoded) == TextForm::CodePage) return bytes;
  return encoding::Utf16beToGb18030(decoded->sink.units);
}

FormTrouble TroubleOf(std::string_view bytes) {
  MakeSureOfCodePage();
  const TextForm form = FormOf(bytes);
  if (form != TextForm::CodePage) {
    const std::size_t mark = MarkOf(form).size();
    Decoding<BrokenSink> d = Decoded<BrokenSink>(form, bytes.substr(mark), false);
    if (d.exact) return {};
    // Broken where bytes are no character, else after the last whole unit.
    const std::size_t at = mark + d.sink.first.value_or(bytes.size() - mark);
    const bool utf8 = form == TextForm::Utf8 || form == TextForm::MarkedUtf8;
    return {utf8 ? FormTrouble::Kind::Mixed : FormTrouble::Kind::Broken, LineAt(form, bytes, at)};
  }
  const auto utf8 = [](std::string_view part) { return Decoded<CountSink>(TextForm::Utf8, part, true); };
  // UTF-8 cut inside its last character: whole but for the last bytes,
  // which begin one.
  for (std::size_t cut = 1; cut <= 3 && cut < bytes.size(); ++cut) {
    const Decoding<CountSink> rest = utf8(bytes.substr(0, bytes.size() - cut));
    if (rest.whole && rest.counts.longUtf8 > 0 && static_cast<unsigned char>(bytes[bytes.size() - cut]) >= 0xC2) {
      return {FormTrouble::Kind::Mixed, LineAt(form, bytes, bytes.size() - 1)};
    }
  }
  // Lines of UTF-8 beside lines that are none: more of the first than of
  // the second (a line of the code page is UTF-8 with a character of three
  // bytes only by chance).
  std::size_t utf8Lines = 0, otherLines = 0, line = 1, firstOther = 0;
  for (std::size_t begin = 0; begin < bytes.size(); ++line) {
    std::size_t end = begin;
    while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r') ++end;
    const Decoding<CountSink> d = utf8(bytes.substr(begin, end - begin));
    if (!d.whole && otherLines++ == 0) firstOther = line;
    utf8Lines += d.whole && d.counts.longUtf8 > 0;
    begin = end + (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n' ? 2 : 1);
  }
  if (otherLines > 0 && utf8Lines > otherLines) return {FormTrouble::Kind::Mixed, firstOther};
  return {};
}

}  // namespace zoq
