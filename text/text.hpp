// GBK text helpers. Texts are std::string of GBK bytes. A search never finds
// a match that starts on the trail byte of a double-byte character.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zoq::text {

inline constexpr std::size_t npos = std::string_view::npos;

// First byte of a double-byte GBK character (0x81..0xFE).
constexpr bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
// A byte that may follow a lead byte in a double-byte character (0x40..0x7E,
// 0x80..0xFE); before any other byte a lead byte makes no character.
constexpr bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Length in bytes of the character that starts at `pos`, as Windows reads
// code page 936 (IsDBCSLeadByte, CharNextA): 2 for a lead byte and the trail
// byte after it, 1 for any other byte. A lead byte before a byte that is no
// trail byte (below 0x40, 0x7F, 0xFF), or at the very end, stands alone: the
// byte after it is a character of its own, and a "/", ":" or quote there is
// seen as one.
inline std::size_t CharLength(std::string_view s, std::size_t pos) {
  if (!IsLeadByte(static_cast<unsigned char>(s[pos])) || pos + 1 >= s.size()) return 1;
  return 1 + std::size_t{IsTrailByte(static_cast<unsigned char>(s[pos + 1]))};  // no branch on the byte
}

// Whether the byte at `pos` is a lead byte that no trail byte follows (at
// the end, or before a byte that is no trail byte): code page 936 makes it
// a "?" of its own.
inline bool IsLoneLeadByte(std::string_view s, std::size_t pos) {
  return IsLeadByte(static_cast<unsigned char>(s[pos])) && CharLength(s, pos) == 1;
}

enum class Case { Sensitive, IgnoreAscii };

// Position of the first `needle` at or after byte `from` (which should lie on
// a character boundary), or npos. An empty needle is never found.
std::size_t Find(std::string_view hay, std::string_view needle, std::size_t from = 0,
                 Case mode = Case::Sensitive);
inline bool Contains(std::string_view hay, std::string_view needle, Case mode = Case::Sensitive) {
  return Find(hay, needle, 0, mode) != npos;
}

// Every occurrence of `from`, left to right, replaced by `to`; the inserted
// text is not searched again. An empty `from` changes nothing.
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to,
                       Case mode = Case::Sensitive);
// The first occurrence only.
std::string ReplaceFirst(std::string_view s, std::string_view from, std::string_view to,
                         Case mode = Case::Sensitive);

// The line breaks `which` names (every CR LF, lone CR and lone LF; or CR LF
// alone) as "[N]", the line break the stored texts write, but a line break
// right after a lead byte that stands alone: "[" would be that byte's trail
// byte, and the line break a character and "N]" (a GBK trail byte is never
// CR or LF).
enum class LineBreaks { Any, CrLf };
std::string LineBreaksAsN(std::string_view s, LineBreaks which = LineBreaks::Any);

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);
bool StartsWith(std::string_view s, std::string_view prefix, Case mode = Case::Sensitive);

// A whole number read from the start of the text: leading blanks, an optional
// sign, then digits, where the full-width digits "０".."９" count as digits.
// Reading stops at the first character that is not part of the number; a
// text that does not begin with a number gives 0. Saturates at the limits of
// 64 bits.
std::int64_t ReadWholeNumber(std::string_view s);
// The same, kept to 32 bits (saturating).
std::int32_t ReadWholeNumber32(std::string_view s);

// True when `number` (a non-empty text, usually a run of ASCII digits)
// occurs in `list` as a whole number: not preceded or followed by another
// ASCII digit.
bool ListHoldsNumber(std::string_view list, std::string_view number, Case mode = Case::Sensitive);

std::string Decimal(std::int64_t value);

// The bytes read as UTF-8: the length of their longest character, 1 to 4
// (0 for no bytes); 0 as well when they are not UTF-8 as a whole (a byte
// that starts or continues no character, a character cut short, an overlong
// form, a surrogate, anything beyond U+10FFFF).
int LongestUtf8Character(std::string_view bytes);

// SipHash-2-4 of `bytes` under the key of 128 bits `key` (its halves as the
// reference reads them from 16 bytes). Keyed with a secret, it places names
// that chat or files bring where no one who wrote them can foresee: names
// built to share a place share none.
std::uint64_t SipHash24(const std::uint64_t key[2], std::string_view bytes);

// HalfSipHash-1-3 of `bytes` under the key of 64 bits `key`, its 32 bits of
// output: SipHash's keyed hash on words of 32 bits, for the indexes of a
// process's own tables, rebuilt at each read of a file of thousands of
// names. On this 32-bit target it takes a fraction of SipHash-2-4's time,
// whose 64-bit words cost several instructions each here.
std::uint32_t HalfSipHash13(const std::uint32_t key[2], std::string_view bytes);

}  // namespace zoq::text
