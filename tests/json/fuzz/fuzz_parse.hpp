// The parser property that the fuzz target checks and the replay test runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zoq::json::fuzz {

// The first byte selects the parse flags (bits 0 and 1) and the class (bit 2:
// RefCountedJsonDocument, else JsonDocument); the rest is read both as a
// UTF-16LE byte set and as a GBK text. Any answer must be a known code; a successful
// parse must re-parse its own output to the same text. Returns an empty text,
// or what went wrong.
std::string CheckParse(const uint8_t* data, size_t size);

// A result code that a load may answer.
inline bool KnownCode(int32_t c) { return c == 0 || (c <= -2 && c >= -7); }

}  // namespace zoq::json::fuzz
