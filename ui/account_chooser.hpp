// The account chooser: the host's on-line robot accounts with the avatar of
// the chosen one; confirming takes the account. Opened instead of the
// settings window while no account has been taken.
#pragma once
#include <string>

#include "ui/form.hpp"

namespace zoq::ui {

// The account selected in the chooser; kept between openings.
std::string& ChosenAccount();

class AccountChooser : public Form {
 public:
  bool Create(const platform::FormClass& windowClass);
  // What the chooser does when it has been created: lists the accounts (or
  // shows that there is none).
  void ListOnlineAccounts();
  // An account was confirmed and taken.
  bool confirmed() const { return confirmed_; }

 private:
  void AccountSelected();
  void ConfirmAccount();
  void CancelAccountChooser();
  void ShowAvatar();
  bool confirmed_ = false;
};

// The open chooser, or null.
AccountChooser* OpenedAccountChooser();
// Runs the chooser modal; true when an account was confirmed.
bool RunAccountChooser(const platform::FormClass& windowClass);

}  // namespace zoq::ui
