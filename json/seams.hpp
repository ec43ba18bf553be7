// The places where the JSON engine depends on the platform: GBK (code page
// 936) text conversion, the word order that member keys are sorted by, and
// the secret the index of an object's members keys its hash with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zoq::json::seam {

// GBK -> UTF-16. Strict: false when the bytes are not valid GBK (out is
// then empty). Otherwise bytes that are not GBK become what Windows makes of
// them (a lone 0xFF U+F8F5, a lead byte with a wrong second byte "?").
bool GbkToUtf16(std::string_view gbk, std::u16string& out, bool strict);

// UTF-16 -> GBK; a character that GBK cannot hold becomes "?".
std::string Utf16ToGbk(std::u16string_view text);

// Order of two member keys for sorting: negative, 0 or positive, as the
// platform's word order (case-sensitive, or ignoring case) gives it.
int CompareKeys(const char16_t* a, const char16_t* b, bool ignoreCase);  // NUL-terminated

// 64 bits from the system's random source: no answer of a web service can
// foresee where its keys fall in an object's index.
void IndexSecret(std::uint32_t key[2]);

}  // namespace zoq::json::seam
