// The properties that the JSON fuzz targets check and the replay test runs
// over the seed corpus. Each returns an empty text, or what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zoq::json::fuzz {

// The first byte selects the parse flags (bits 0 and 1) and the class (bit 2:
// RefCountedJsonDocument, bit 3: the strict reader of ScriptJson, else
// JsonDocument); the rest is read as a UTF-16LE byte set and as a GBK text.
// Any answer must be a known code; a successful parse must re-parse its own
// output to the same text.
std::string CheckParse(const uint8_t* data, size_t size);

// The first byte selects the class (JsonDocument, WideJsonDocument,
// RefCountedJsonDocument) and the load flags; the bytes up to the first NUL
// are the document's text, the rest a program of operations: paths, views,
// copies, merges and sorts, in both text forms. Afterwards every document
// must write a text that loads again.
std::string CheckOps(const uint8_t* data, size_t size);

// A result code that a load may answer.
inline bool KnownCode(int32_t c) { return c == 0 || (c <= -2 && c >= -7); }

}  // namespace zoq::json::fuzz
