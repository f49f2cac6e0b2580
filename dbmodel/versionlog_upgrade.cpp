// Layout upgrade of the version log. Older stations wrote 7 fields (up to
// MEMO), 10 (with REASON01-03), 11 (USERNAME) or 12 (TIME); the current
// layout adds SEND. The file is rebuilt from a set-aside copy: every live
// row keeps its values and its date, the new fields start at 0 or empty. A
// file without a live row is rebuilt empty, so that later versions can be
// written. When anything fails the old files are put back.
#include "dbmodel/layout_rebuild.h"
#include "dbmodel/versionlog.h"

namespace {
enum { fDATE = 6, kFields = 13 };
}

int TLog00002Table::Upgrade() {
  if (!Open()) return 0;
  int n = data_num_fields(Data());
  FieldInfoList fields(Data());
  TagInfoList tags(Data());
  layout::ClearError();
  Close();
  if (n >= kFields) return 1;
  if (n < 7) return 0;  // not a version log this program knows
  if (n < 10)
    for (const char* f : {"REASON01", "REASON02", "REASON03"}) fields.add(f, 'N', 10, 0);
  if (n < 11) fields.add("USERNAME", 'C', 50, 0);
  if (n < 12) fields.add("TIME", 'C', 5, 0);
  fields.add("SEND", 'N', 10, 0);

  auto carry = [&](DbDataFile* old) {
    TLog00002Record r;
    ReadFields(&r, old);
    std::string day = layout::OldText(old, fDATE);
    if (!BeginAppend()) return false;
    WriteRecord(&r);
    PutText(fDATE, day.c_str());  // the version keeps its day
    return FinishAppend();
  };
  layout::Rebuilt rc = layout::RebuildLayout(*this, fields, tags, carry, [] { return true; });
  if (rc == layout::Rebuilt::done) return 1;
  layout::ReportLayoutKept(FileName());
  return 0;
}
