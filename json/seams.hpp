// The two places where the JSON engine depends on the platform: GBK (code
// page 936) text conversion and the word order that member keys are sorted by.
#pragma once

#include <string>
#include <string_view>

namespace zoq::json::seam {

// GBK -> UTF-16. False when the bytes are not valid GBK (out is then empty).
bool GbkToUtf16(std::string_view gbk, std::u16string& out);

// UTF-16 -> GBK; a character that GBK cannot hold becomes "?".
std::string Utf16ToGbk(std::u16string_view text);

// Order of two member keys for sorting: negative, 0 or positive, as the
// platform's word order (case-sensitive, or ignoring case) gives it.
int CompareKeys(const char16_t* a, const char16_t* b, bool ignoreCase);  // NUL-terminated

}  // namespace zoq::json::seam
