// The built-in 100 x 100 PNG picture shown when no robot account is known
// (5,161 bytes).
#pragma once
#include <string>

namespace zoq {

std::string NoAccountPicture();

}  // namespace zoq
