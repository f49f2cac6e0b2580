// The directory choice dialog: the user picks a directory, starting in a
// given one. On a desktop it is the toolkit's own; headless, the driver
// answers it by its class name with Choose.
#pragma once

#include <string>

#include "platform/ui/dialog.h"

class TDirectoryDialog : public TDialog {
 public:
  TDirectoryDialog(TWindow* parent, const char* title, const std::string& start);

  const std::string& GetStart() const { return Start; }
  const std::string& GetChosen() const { return Chosen; }
  // The user's choice: takes the directory and ends the dialog with IDOK.
  void Choose(const std::string& dir);

 private:
  std::string Start;
  std::string Chosen;
};
