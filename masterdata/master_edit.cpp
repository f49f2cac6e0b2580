#include "masterdata/master_edit.h"

#include "app/users_dialogs.h"
#include "appcore/text_scan.h"
#include "dbmodel/layout_rebuild.h"
#include "dbmodel/text_helpers.h"
#include "platform/msgbox.h"

std::string TypedName(TEdit& edit, size_t max) { return TrimText(CutText(edit.GetText(), max)); }

void MissingInput(TEdit& edit) {
  MessageBeep(0xFFFFFFFF);
  edit.SetFocus();
}

bool QuotableName(const std::string& name, size_t width) {
  std::string quoted;
  return QuoteSearchText(PadText(name.c_str(), width), quoted);
}

bool Confirmed(TWindow* owner, int messageId) {
  return ShowMessage(owner, messageId, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool RowStillThere(TWindow* owner, TCodeTB& table, const char* idTag, long id) {
  if (!table.Open()) return true;
  const bool live = layout::SeekById(table.Data(), idTag, 1, id) && !data_is_deleted(table.Data());
  table.Close();
  if (!live) ShowMessage(owner, kMsgRowDeletedMeanwhile, MB_OK | MB_ICONEXCLAMATION);
  return live;
}
