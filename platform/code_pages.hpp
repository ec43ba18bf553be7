// Conversions with the code pages of Windows, for text that must be read
// the way Windows reads it.
#pragma once
#include <string>

namespace zoq::platform {

// The text of a file that starts with a UTF-8 or UTF-16 byte-order mark,
// in the ANSI code page (characters it cannot hold become what Windows makes
// of them); any other text unchanged. This is how the INI functions read a
// file.
std::string FileTextAsAnsi(const std::string& bytes);

}  // namespace zoq::platform
