// The operations property that the operations fuzz target checks and the
// replay test runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zoq::json::fuzz {

// The first byte selects the class (JsonDocument, WideJsonDocument,
// RefCountedJsonDocument) and the load flags; the bytes up to the first NUL
// are the document's text, the rest a program of operations: paths, views,
// copies, merges and sorts, in both text forms. Afterwards every document
// must write a text that loads again. Returns an empty text, or what went wrong.
std::string CheckOps(const uint8_t* data, size_t size);

}  // namespace zoq::json::fuzz
