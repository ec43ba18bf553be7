// ScriptJson: a JSON value held in the variable "da" of a Windows script
// control (JavaScript) that each document starts for itself. Paths are
// JavaScript member expressions written after the value: "name",
// "data.list[0].id", "data['photo_list'][2]", or "[0]" and "['key']",
// which join the value without a dot; an empty path is the whole value.
//
// No text that comes from outside is ever run as script: values go in as
// escaped string literals, JSON texts are read (strictly, as JSON) on the C++
// side and reach the script only as what our own writer makes of them, and a
// key taken from an answer goes into a path only through `KeyPath`. A loaded
// value stays on the C++ side, which answers the reads, until a change needs
// the script. Reads never fail loudly: a path that does not resolve gives
// the empty text, 0, a count below 1, type 0 or -1.
//
// Numbers read back as the script writes them: whole numbers up to 2^53
// exactly, others with 15 significant digits ("1500", "1e-7"); GetText of a
// number alone with at most 13.
//
// Copies share one engine: a change through one is seen through the other.
// Each engine undoes exactly its own successful COM initialisation when the
// last document that refers to it ends.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#pragma push_macro("GetObject")
#undef GetObject

namespace zoq::platform {
class ScriptControl;
struct ScriptValue;
}

namespace zoq::json {

namespace script {
struct Value;
struct Found;
}  // namespace script

class ScriptJson {
 public:
  // Type codes of GetType and Reset.
  enum Type : std::int32_t { kNull = 0, kBoolean = 1, kNumber = 2, kObject = 4, kArray = 5, kString = 6, kOther = -1 };

  ScriptJson();  // an engine of its own, "da" an empty object

  // A fresh value from a JSON text: true when it gave a value that is not
  // null. A text that is not JSON leaves nothing (ToText empty).
  bool LoadNew(const std::string& json);
  // The JSON text of the whole value; empty when there is none.
  std::string ToText() const;

  // The text `value` as a string at `path`; with `raw` the JSON text `value`
  // (empty: an empty object), which must be JSON or nothing changes.
  void SetText(const std::string& path, const std::string& value, bool raw = false);
  void ParseAt(const std::string& path, const std::string& json);  // as SetText with raw
  void SetRaw(const std::string& path, double number);             // at most 13 significant digits
  double GetValue(const std::string& path) const;                  // the value as a number; 0 when none
  std::string GetJson(const std::string& path) const;              // = GetText(path, true)
  // The value as text: a string unquoted, a number with up to 13
  // significant digits; with `asJson` its JSON text.
  std::string GetText(const std::string& path, bool asJson = false) const;
  // A new document holding a copy of the value at the path.
  ScriptJson GetObject(const std::string& path) const;
  // Array elements or own members of an object; below 1 when nothing is there.
  std::int32_t GetCount(const std::string& path = "") const;
  // Pushes onto the array at the path (anything else is replaced by an empty
  // array first); `raw` as in SetText.
  void Append(const std::string& value, const std::string& path = "", bool raw = false);
  ScriptJson GetElementObject(std::int32_t index, const std::string& path = "") const;
  std::string GetElementText(std::int32_t index, const std::string& path = "", bool asJson = false) const;
  // Element operations of the top-level value.
  void SetElement(std::int32_t index, const std::string& value, bool raw = false);
  void RemoveElement(std::int32_t index);
  void Remove(const std::string& path);
  // 0 or 4: an empty object, 5: an empty array; any other code changes nothing.
  void Reset(std::int32_t type);
  void SetValue(const std::string& value, bool raw = false);
  bool Exists(const std::string& path) const;  // neither null nor undefined
  // The own member names (or indices) at the path, in enumeration order,
  // replacing `keys`; gives their number.
  std::int32_t GetKeys(std::vector<std::string>& keys, const std::string& path = "") const;
  std::int32_t GetType(const std::string& path = "") const;
  void Clear();  // an empty object
  std::shared_ptr<platform::ScriptControl> GetScriptControl() const;

  // The path piece "['key']" that addresses the member `key` whatever it
  // holds (quotes, backslashes, line breaks); a lead byte that stands alone
  // in it becomes "?", as the document reads one.
  static std::string KeyPath(const std::string& key);

 private:
  struct Engine;
  void Start();
  bool Run(const std::wstring& statements) const;
  bool Eval(const std::wstring& expression, std::wstring& value) const;
  bool Eval(const std::wstring& expression, platform::ScriptValue& value) const;
  std::string EvalText(const std::wstring& expression) const;
  void Hold(script::Value value);               // the value, on the C++ side
  bool Give() const;                            // the script's "da" made the value
  void Change(const std::wstring& statements);  // runs in the script, which then holds the value
  bool Inherits(bool array, std::u16string_view name) const;
  // What the C++ side answers of the path; none when the script must.
  std::optional<script::Found> Held(const std::string& path) const;
  std::shared_ptr<Engine> engine_;
};

}  // namespace zoq::json

#pragma pop_macro("GetObject")
