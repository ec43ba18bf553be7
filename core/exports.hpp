// Helpers of the exported entry points: no exception crosses an export, and
// text arguments are copied before the core runs (a null pointer is the
// empty text).
#pragma once
#include <string>

#include "core/plugin.hpp"

namespace zoq {

inline std::string ArgText(const char* p) { return p ? std::string(p) : std::string(); }

// Runs `body`; an exception becomes `fallback`.
template <typename R, typename F>
R Guarded(R fallback, F&& body) noexcept {
  try {
    if (!PluginIfAlive()) return fallback;
    return body();
  } catch (...) {
    return fallback;
  }
}

}  // namespace zoq
