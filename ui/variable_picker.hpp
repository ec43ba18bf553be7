// The variable picker: one button per reply variable with its help beside
// it; a click (or Space or Enter on the button) picks the variable, which
// the library editor appends to its reply box. Modal, owned by the settings
// window.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "ui/form.hpp"

namespace zoq::ui {

class VariablePicker : public Form {
 public:
  // The help is the active host's.
  bool Create(const platform::FormClass& windowClass, WindowHandle settingsWindow);
  // What the picker does when it has been created: places it beside the
  // settings window.
  void FillVariablePicker(WindowHandle settingsWindow);
  // The variable picked, if one was.
  const std::optional<std::string>& picked() const { return picked_; }

 private:
  // A variable button's click: its caption is the variable.
  void PickVariableButton(WindowHandle button);
  // Keeps `variable` as the one picked and closes the picker.
  void InsertVariable(const std::string& variable);
  // Closes the picker once the current event has been handled.
  void CloseVariablePicker();
  void OnEscape() override;
  std::optional<std::string> picked_;
};

// Opens the picker over `settingsWindow` and returns, once it has closed
// (the settings window active again), the variable picked, if one was.
std::optional<std::string> RunVariablePicker(const platform::FormClass& windowClass, WindowHandle settingsWindow);
// The open picker, or null.
VariablePicker* OpenedVariablePicker();
// The variables the picker lists, in its order: its buttons' captions.
std::vector<std::string> PickerVariables();

}  // namespace zoq::ui
