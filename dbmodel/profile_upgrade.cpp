// Layout upgrade of the profile file. Older stations wrote 17, 20, 25 or 26
// fields; positions 1-13 always mean the same, then:
//   17: 14-17 dropped;   20: 14-16 are server, share, drive, 17-20 dropped;
//   25: 14-17 dropped, 18-25 are F18-F25;   26: as 25, and 26 is F26.
// Carried profiles get VERSION 350 and new ids from -5000 up in the order
// of the old file; deleted rows are left out. Any other field count is left
// alone.
#include "appcore/globals.h"
#include "dbmodel/layout_rebuild.h"
#include "dbmodel/profile.h"

void ProfileLayout(FieldInfoList& fields, TagInfoList& tags);

int TcbDataTable::Upgrade() {
  if (!Open()) return 0;
  int n = fields();
  EngineFailed();
  Close();
  if (n != 17 && n != 20 && n != 25 && n != 26) return 1;

  FieldInfoList fields(DbContext);
  TagInfoList tags(DbContext);
  ProfileLayout(fields, tags);
  long nextId = -5000;
  auto carry = [&](DbDataFile* old) {
    using namespace layout;
    if (!BeginAppend()) return false;
    PutLong(1, 350);
    PutLong(2, nextId++);
    for (int f = 3; f <= 13; f++) {
      if (f == 8 || f == 9)
        PutLong(f, OldLong(old, f));
      else
        PutText(f, OldText(old, f).c_str());
    }
    if (n == 20) {
      for (int f = 14; f <= 16; f++) PutText(f + 4, OldText(old, f).c_str());
    } else if (n >= 25) {
      for (int f = 18; f <= n; f++) PutText(f, OldText(old, f).c_str());
    }
    if (n < 25) PutLogical(21, 0);
    if (n < 26) PutLogical(26, 0);
    PutLogical(27, 0);
    return FinishAppend();
  };
  auto empty = [&]() {
    return layout::AppendRow(Data(), [&] { WriteDefault(Data(), nextId); });
  };
  layout::Rebuilt rc = layout::RebuildLayout(*this, fields, tags, carry, empty);
  if (rc == layout::Rebuilt::done) return 1;
  layout::ReportLayoutKept(FileName());
  return 0;
}
