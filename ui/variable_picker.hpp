// The variable picker: one button per reply variable with its help beside
// it; a click appends the variable to the library editor's reply box.
// Modal, owned by the settings window.
#pragma once
#include <functional>
#include <string>

#include "ui/form.hpp"

namespace zoq::ui {

class VariablePicker : public Form {
 public:
  // `insert` receives the picked variable; the help is the active host's.
  bool Create(const platform::FormClass& windowClass, WindowHandle settingsWindow,
              std::function<void(const std::string&)> insert);
  // What the picker does when it has been created: places it beside the
  // settings window.
  void FillVariablePicker(WindowHandle settingsWindow);

 private:
  // A variable button's click: its caption is the variable.
  void PickVariableButton(WindowHandle button);
  // Hands `variable` over and closes the picker.
  void InsertVariable(const std::string& variable);
  // Closes the picker once the current event has been handled.
  void CloseVariablePicker();
  void OnEscape() override;
  std::function<void(const std::string&)> insert_;
};

// Opens the picker over `settingsWindow` and returns when it has closed.
void RunVariablePicker(const platform::FormClass& windowClass, WindowHandle settingsWindow,
                       std::function<void(const std::string&)> insert);
// The open picker, or null.
VariablePicker* OpenedVariablePicker();

}  // namespace zoq::ui
