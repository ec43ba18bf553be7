// The keyword libraries written when a library file is missing.
#pragma once
#include <string>

namespace zoq {

// The whole file contents (GBK, CRLF).
std::string DefaultExactLibrary();
std::string DefaultFuzzyLibrary();

}  // namespace zoq
