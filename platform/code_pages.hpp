// Conversions with the code pages of Windows, for text that must be read
// the way Windows reads it.
#pragma once
#include <string>
#include <string_view>

namespace zoq::platform {

// GBK bytes to UTF-16 (code page 936); invalid bytes become U+FFFD.
std::wstring GbkToWide(std::string_view gbk);
// UTF-16 to GBK (code page 936), characters GBK cannot hold as '?'.
std::string WideToGbk(std::wstring_view wide);
// The same with the ANSI code page (what the "A" functions of Windows use).
std::wstring AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::wstring_view wide);
// The same, but empty when any character has no form in the code page or
// the conversion fails.
std::string WideToAnsiExact(std::wstring_view wide);

// GB18030, which holds every character, to UTF-16 and back; invalid bytes
// or units are left out, and so is a character the text ends inside of.
std::wstring Gb18030ToWide(std::string_view gb);
std::string WideToGb18030(std::wstring_view wide);

// The forms a data file's text comes in: the ANSI code page; UTF-8 without
// a byte-order mark (what most editors save), which is bytes that are UTF-8
// as a whole and hold a character of three bytes or more, as every Chinese
// character is; UTF-8 or UTF-16 after a byte-order mark. Text of the code
// page is UTF-8 as a whole only by chance, and then almost always in
// characters of two bytes alone (猫 is C3 A8, è), which is why none of
// those makes a file UTF-8. Every reader and writer of a data file goes by
// this one decision, made on the whole file.
enum class FileForm { Ansi, Utf8, MarkedUtf8, Utf16le, Utf16be };
FileForm FileFormOf(std::string_view bytes);
// The length of the byte-order mark that begins a file of the form.
std::size_t MarkLength(FileForm form);

// The text of a file of Unicode text (FileFormOf), in the ANSI code page
// (characters it cannot hold become what Windows makes of them); ANSI text
// unchanged. This is how the INI functions read a file that has a mark.
std::string FileTextAsAnsi(std::string bytes);
// The same in GB18030, which loses no character: what the settings windows
// show and hand back to the file's writer (core/files/file_writes.hpp). ANSI text
// is taken as GB18030 already.
std::string FileTextAsGb18030(std::string bytes);

}  // namespace zoq::platform
