// The value of a ScriptJson as C++ holds it until the script needs it: JSON
// read strictly into a tree of the engine, read back the way the script's
// helpers read a value, and written as the JSON text or the script text that
// makes the value again. Paths are JavaScript member expressions ("a.b",
// "a[0]", "a['k']", "['k']"); an empty path is the whole value.
//
// Numbers as the script writes them: whole numbers up to 2^53 exactly, any
// other with 15 significant digits, in JavaScript's layout ("1500", "1e-7",
// "1.5e+21"); the text of a number read alone has at most 13 significant
// digits.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/engine.hpp"

namespace zoq::json::script {

// Undefined (no root), or a tree.
struct Value {
  detail::NodeRef root;
  bool defined = false;
};

// The tree of one JSON value (RFC 8259, blanks around it, at most 256
// levels deep), strings and keys exactly as written; none for anything else.
std::optional<detail::NodeRef> Parse(std::u16string_view text);

// JSON text of a node, as the script's writer gives it.
std::u16string Json(const detail::Node* n);
// The script text that makes the node's value again: its JSON text with
// every number exact.
std::u16string Script(const detail::Node* n);

// `x` rounded to `digits` significant digits (0: as few as give `x` back
// exactly), in JavaScript's layout; NaN, Infinity, -Infinity as words.
std::u16string NumberText(double x, int digits);
// JavaScript's Number() of a text; NaN when it is no number.
double ToNumber(std::u16string_view text);

// The property names a path reads in turn; none for a path outside the
// forms above (the script then reads it).
std::optional<std::vector<std::u16string>> ParsePath(std::u16string_view path);

// What a path reads: a node, undefined, a script error (a member of null or
// undefined), or a case only the script can answer (a name that objects or
// arrays inherit, a member of a string, a number or a boolean).
struct Found {
  enum Kind { kNode, kUndefined, kError, kUnsure } kind;
  const detail::Node* node = nullptr;
};
// True when objects (`array` false) or arrays inherit a property `name`.
using Inherits = std::function<bool(bool array, std::u16string_view name)>;
Found Walk(const Value& v, const std::vector<std::u16string>& names, const Inherits& inherits);

// The readers of a found value (none of them for kUnsure), as ScriptJson
// answers them.
int32_t TypeOf(const Found& f);                    // codes of ScriptJson::GetType
int32_t CountOf(const Found& f);                   // -2 for null, undefined, errors
std::vector<std::u16string> KeysOf(const Found& f);
std::u16string TextOf(const Found& f);             // a number with at most 13 significant digits
std::u16string JsonOf(const Found& f);             // empty for undefined and errors
double ValueOf(const Found& f);                    // NaN when it is no number

}  // namespace zoq::json::script
