// The Windows script control (MSScriptControl.ScriptControl) through late
// bound IDispatch, COM on the calling thread, and the GBK / UTF-16 code page
// conversions (code page 936) that go with it.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "platform/code_pages.hpp"
#include "platform/com_apartment.hpp"

namespace zoq::platform {

// A value that the script gives back, by its kind.
struct ScriptValue {
  enum Kind { kNone, kNumber, kBoolean, kText, kOther } kind = kNone;  // kNone: undefined or null
  double number = 0;  // kNumber: exactly the script's; kBoolean: 1 or 0
  std::wstring text;  // kText
};

// One script-control object. Texts are UTF-16; every call reports failure
// (a script error included) instead of throwing.
class ScriptControl {
 public:
  // Creates the control with COM already initialised on the thread: sets
  // Language, turns AllowUI off and UseSafeSubset on. Null when the control
  // cannot be made or the language not set.
  static std::unique_ptr<ScriptControl> Create(const std::wstring& language);
  ~ScriptControl();
  ScriptControl(const ScriptControl&) = delete;
  ScriptControl& operator=(const ScriptControl&) = delete;

  // AddCode: runs statements at global scope.
  bool AddCode(const std::wstring& code);
  // Eval of an expression, its value as text (undefined and null give the
  // empty text); false on a script error.
  bool Eval(const std::wstring& expression, std::wstring& value);
  // Eval of an expression, its value by kind; false on a script error.
  bool Eval(const std::wstring& expression, ScriptValue& value);

 private:
  explicit ScriptControl(void* dispatch) : dispatch_(dispatch) {}
  void* dispatch_;  // IDispatch*
};

}  // namespace zoq::platform
