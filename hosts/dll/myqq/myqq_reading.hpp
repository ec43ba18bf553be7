// How the MyQQ adapter reads its host's answers (internal to the adapter).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "json/script_json.hpp"
#include "text/text.hpp"

namespace zoq::myqq {

// The pieces between CR LF pairs, in order; a CR LF at the very end gives no
// empty last piece, an empty answer none.
std::vector<std::string> SplitLines(const std::string& answer);

// "[k]" with k the decimal index.
inline std::string At(std::int32_t k) { return "[" + std::to_string(k) + "]"; }

// The value at a path written as JSON: a number its digits, a string in
// double quotes, nothing there the empty text.
inline std::string JsonTextAt(const json::ScriptJson& doc, const std::string& path) {
  return doc.GetText(path, true);
}
// The value as text: a string unquoted, a number its decimal text.
inline std::string TextAt(const json::ScriptJson& doc, const std::string& path) { return doc.GetText(path); }
// The JSON text read as a whole number (a quoted number gives 0).
inline std::int32_t NumberAt(const json::ScriptJson& doc, const std::string& path) {
  return text::ReadWholeNumber32(JsonTextAt(doc, path));
}
// 1 when the JSON text is exactly "1".
inline std::int32_t FlagAt(const json::ScriptJson& doc, const std::string& path) {
  return JsonTextAt(doc, path) == "1" ? 1 : 0;
}

// A document loaded with an answer (whatever LoadNew made of it).
inline json::ScriptJson Loaded(const std::string& answer) {
  json::ScriptJson doc;
  doc.LoadNew(answer);
  return doc;
}

}  // namespace zoq::myqq
