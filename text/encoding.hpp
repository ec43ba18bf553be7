// Conversions between the plug-in's GBK texts and the UTF-8 of the web
// services, over GNU libiconv. Everything goes through UTF-16BE code units.
#pragma once
#include <string>

namespace zoq::encoding {

// Byte sets are std::string of raw bytes. A conversion that libiconv rejects
// gives the empty result: nothing partial comes back.

// GB18030 text to UTF-16BE; invalid GB18030 bytes are skipped one at a time,
// a text ending inside a character gives the empty result.
std::string Gb18030ToUtf16be(const std::string& text);
// UTF-16BE to GB18030; invalid units are skipped; an odd trailing byte gives
// the empty result.
std::string Utf16beToGb18030(const std::string& units);
// Strict conversions: any invalid input gives the empty result.
std::string Utf16beToUtf8(const std::string& units);
std::string Utf8ToUtf16be(const std::string& bytes);

// A GBK text that may carry "\uXXXX" escapes (surrogate pairs as two
// escapes) turned into the UTF-8 bytes of a web address. Nothing is
// percent-encoded; undecodable backslash sequences pass through unchanged.
std::string UnescapeToUtf8(const std::string& text);

// A UTF-8 web answer turned into a GBK text: characters GBK cannot hold in
// two bytes become "\uXXXX" (upper-case digits), U+0001 a space, and a zero
// character ends the text. With `escapeSyntax`, "\", "[" and "]" are written
// as "\u005c", "\u005b" and "\u005d" so that the answer cannot form codes.
// An answer that is not valid UTF-8 gives the empty text.
std::string DecodeWebText(const std::string& bytes, bool escapeSyntax = false);

}  // namespace zoq::encoding
