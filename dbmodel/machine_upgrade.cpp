// Layout upgrade of the machines file: a 5-field file gains MAZAK; an
// 11-field file (and any file of 7 to 10 fields) keeps ID, TYPE, NAME, DESC
// and PATH and gains MAZAK. Live rows are carried with MAZAK false; deleted
// rows are left out.
#include <cstring>

#include "dbmodel/layout_rebuild.h"
#include "dbmodel/machine.h"
#include "engine/engine_api.h"

int TcbMachTable::Upgrade() {
  if (!Open()) return 0;
  int n = data_num_fields(Data());
  EngineFailed();
  if (n != 5 && n <= 6) {
    Close();
    return 1;
  }
  FieldInfoList fields(Data());
  TagInfoList tags(Data());
  Close();
  // Only the positions the file has are removed.
  for (int i = fields.count() - 1; i >= 5; i--) fields.delAt(i);
  fields.add("MAZAK", 'L', 1, 0);
  // A tag over a removed field could not be built.
  for (int i = tags.count() - 1; i >= 0; i--) {
    const char* e = tags[i].expression;
    bool kept = false;
    for (const char* name : {"ID", "TYPE", "NAME", "DESC", "PATH"})
      if (e && std::strcmp(e, name) == 0) kept = true;
    if (!kept) tags.delAt(i);
  }
  // The finds need these three.
  for (auto [name, unique] : {std::pair{"ID", 20}, {"NAME", 20}, {"TYPE", 0}}) {
    bool have = false;
    for (int i = 0; i < tags.count(); i++)
      if (tags[i].name && std::strcmp(tags[i].name, name) == 0) have = true;
    if (!have) tags.add(name, name, nullptr, unique, 0);
  }

  auto carry = [&](DbDataFile* old) {
    using namespace layout;
    if (!BeginAppend()) return false;
    PutLong(1, OldLong(old, 1));
    PutLong(2, OldLong(old, 2));
    for (int f = 3; f <= 5; f++) {
      std::string t = OldText(old, f);
      char buf[102];
      TrimCopy(buf, t.c_str());
      PutText(f, buf);
    }
    PutLogical(6, 0);
    return FinishAppend();
  };
  layout::Rebuilt rc = layout::RebuildLayout(*this, fields, tags, carry);
  if (rc == layout::Rebuilt::done) return 1;
  layout::ReportLayoutKept(FileName());
  return 0;
}
