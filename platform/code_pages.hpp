// Conversions with the code pages of Windows, for text that must be read
// the way Windows reads it.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace zoq::platform {

// The text of a file that starts with a UTF-8 or UTF-16 byte-order mark,
// in the ANSI code page (characters it cannot hold become what Windows makes
// of them); any other text unchanged. This is how the INI functions read a
// file.
std::string FileTextAsAnsi(const std::string& bytes);

// For every double-byte character of code page 936 (lead byte 0x81..0xFE
// in the high byte, trail byte in the low byte), the character that Windows'
// case-insensitive comparison takes it for (its lower case); a character
// without another case maps to itself. Made once per process.
const std::array<std::uint16_t, 0x10000>& LowerCaseOfDoubleBytes();

}  // namespace zoq::platform
