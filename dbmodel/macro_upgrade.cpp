// Layout upgrade of the macros file: a file of more than 4 fields (the
// older layout, whose text is memo field 6) is rebuilt with ID, CONN, NAME
// and MEMOSTR; live rows are carried, deleted rows are left out.
#include "dbmodel/layout_rebuild.h"
#include "dbmodel/macro.h"
#include "engine/engine_api.h"

void MacroLayout(FieldInfoList& fields, TagInfoList& tags);

int TcbMacroTable::Upgrade() {
  if (!Open()) return 0;
  int n = data_num_fields(Data());
  EngineFailed();
  Close();
  if (n <= 4) return 1;
  FieldInfoList fields(DbContext);
  TagInfoList tags(DbContext);
  MacroLayout(fields, tags);
  auto carry = [&](DbDataFile* old) {
    using namespace layout;
    if (!BeginAppend()) return false;
    PutLong(1, OldLong(old, 1));
    PutLong(2, OldLong(old, 2));
    char name[32];
    TrimCopy(name, OldText(old, 3).c_str());
    PutText(3, name);
    PutMemo(4, OldMemo(old, 6).c_str());
    return FinishAppend();
  };
  layout::Rebuilt rc = layout::RebuildLayout(*this, fields, tags, carry);
  if (rc == layout::Rebuilt::done) return 1;
  layout::ReportLayoutKept(FileName());
  return 0;
}
