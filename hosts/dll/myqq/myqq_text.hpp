// Decoding of the MyQQ host's answers: "\u" and "%" escapes and HTML
// entities. Everything is native: no answer ever reaches a script engine.
#pragma once
#include <cstdint>
#include <string>

namespace zoq::myqq {

// Every "\uXXXX" (a surrogate pair as two escapes joined), "%uXXXX" and "%XX"
// whose digits are all hexadecimal becomes its GBK character (code page
// 936). A double quote, backslash, control character, U+2028 or U+2029 keeps
// its escape, so a JSON answer stays JSON; other backslash sequences and
// incomplete escapes stay as they are; a character GBK cannot hold becomes
// what WideCharToMultiByte makes of it ("?"). A CR that begins the answer is
// dropped, but not the CR of a CR LF.
std::string UnescapeUnicodeText(const std::string& answer);
// The "%uXXXX" and "%XX" escapes alone, by the same rules.
std::string PercentDecodeText(const std::string& text);
// A hexadecimal digit text: blanks ignored, any letter case; a byte that is
// no digit counts -2 (as it always has). Empty: 0; a value beyond 64 bits is
// the largest (or smallest) 64-bit number.
std::int64_t HexTextToInteger(const std::string& digits);
// Little-endian UTF-16 units up to the first zero unit as GBK; a character
// GBK cannot hold is "?".
std::string CodeUnitToGbkText(const std::string& units);
// &lt; &gt; \u003c \u003e &#92; &nbsp; &quot; &#39; &amp; \u0026, in this
// order; the result is left in `text` and returned.
std::string DecodeHtmlEntities(std::string& text);

}  // namespace zoq::myqq
