// The directory choice dialog; see dirdlg.h.
#include "platform/ui/dirdlg.h"

TDirectoryDialog::TDirectoryDialog(TWindow* parent, const char* title, const std::string& start)
    : TDialog(parent, 0), Start(start) {
  if (title) SetCaption(title);
}

void TDirectoryDialog::Choose(const std::string& dir) {
  Chosen = dir;
  Destroy(IDOK);
}
