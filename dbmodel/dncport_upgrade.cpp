// Layout upgrade of the DNC port files. Older stations wrote fewer fields
// (85, 100, 124, 145, 155, 157, 159 or 162); the missing fields are added
// behind the old ones with the widths of the current layout, so that a
// directory of up to 200 characters fits, and every live row is carried
// over property by property. Deleted rows are left out.
#include <cstring>

#include "dbmodel/dncport.h"
#include "dbmodel/layout_rebuild.h"
#include "engine/engine_api.h"

void DncFieldAdd(FieldInfoList& fields, int n, bool upgrade);

int TMultiDncTable::Upgrade() {
  if (!Open()) return 0;
  int n = data_num_fields(Data());
  EngineFailed();
  if (n >= TMultiDncRecord::kProperties) {
    Close();
    return 1;
  }
  FieldInfoList fields(Data());
  TagInfoList tags(Data());
  Close();
  for (int k = n + 1; k <= TMultiDncRecord::kProperties; k++) DncFieldAdd(fields, k, true);
  bool hasId = false;
  for (int i = 0; i < tags.count(); i++)
    if (tags[i].name && std::strcmp(tags[i].name, "ID") == 0) hasId = true;
  if (!hasId) tags.add("ID", "ID", nullptr, 20, 0);

  auto carry = [&](DbDataFile* old) {
    TMultiDncRecord r;
    ReadFields(&r, old);
    if (!BeginAppend()) return false;
    WriteFields(&r, Data());
    return FinishAppend();
  };
  layout::Rebuilt rc = layout::RebuildLayout(*this, fields, tags, carry);
  if (rc == layout::Rebuilt::done) return 1;
  layout::ReportLayoutKept(FileName());
  return 0;
}
