// Setup-sheet rows as another station would write them, for the tests of
// the sheet pages, the printout and the editor's command: the five tables,
// a type with its two label rows, a choice value and a sheet.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dbmodel/counter.h"
#include "dbmodel/idname.h"
#include "dbmodel/setup_sheet.h"

namespace kvtest {

// The five files, in the database directory given as the native path of
// a file in it.
inline void CreateSheetTables(const std::function<std::string(const char*)>& path) {
  TSheetTypeTable("SS000001.DBF", 0, 0).Create(path("SS000001.DBF").c_str());
  TSheet02Table("SS000002.DBF", 0, 0).Create(path("SS000002.DBF").c_str());
  TSheet03Table("SS000003.DBF", 0, 0).Create(path("SS000003.DBF").c_str());
  TSheet04Table("SS000004.DBF", 0, 0).Create(path("SS000004.DBF").c_str());
  TSheet05Table("SS000005.DBF", 0, 0).Create(path("SS000005.DBF").c_str());
}

// A type with its two label rows: page 1's 25 labels and page 2's 19,
// those not given empty. The type's id.
inline long AddSheetType(const char* name, const std::vector<std::string>& labels1 = {},
                         const std::vector<std::string>& labels2 = {}) {
  const long id = NextSetupSheetTypeId();
  TcbIdAndNameRecord t;
  t.ID = id;
  std::snprintf(t.NAME, sizeof t.NAME, "%s", name);
  EXPECT_NE(TSheetTypeTable("SS000001.DBF", 0, 0).Add(&t), nullptr);
  TSheet03Record l1;
  l1.ID = id;
  for (size_t n = 0; n < labels1.size(); ++n) l1.SetLabel(static_cast<int>(n), labels1[n].c_str());
  EXPECT_NE(TSheet03Table("SS000003.DBF", 0, 0).AppendLabels(&l1), nullptr);
  TSheet04Record l2;
  l2.ID = id;
  for (size_t n = 0; n < labels2.size(); ++n) l2.SetLabel(static_cast<int>(n), labels2[n].c_str());
  EXPECT_NE(TSheet04Table("SS000004.DBF", 0, 0).AppendLabels(&l2), nullptr);
  return id;
}

// A value of a type's choice field (1..8); its id.
inline long AddSheetValue(long type, int field, const char* name) {
  TSheet02Record r;
  r.ID = NextSetupSheetValueId();
  r.ID2 = type;
  r.ID3 = field;
  std::snprintf(r.NAME, sizeof r.NAME, "%s", name);
  EXPECT_NE(TSheet02Table("SS000002.DBF", 0, 0).AppendEntry(&r), nullptr);
  return r.ID;
}

// A sheet of a type and program key; fill sets its values. Its id.
inline long AddSheet(long type, long programKey, const char* name,
                     const std::function<void(TSheet05Record&)>& fill = {}) {
  TSheet05Record r;
  r.SetId(0, NextSetupSheetId());
  r.SetId(1, type);
  r.SetId(2, programKey);
  r.SetName(name);
  if (fill) fill(r);
  EXPECT_NE(TSheet05Table("SS000005.DBF", 0, 0).AppendSheet(&r), nullptr);
  return r.ID1;
}

}  // namespace kvtest
