// Shared set-up of the master-data dialog tests: a scratch database with
// the machine, machine-type, customer, project, macro and program files,
// the program's templates and texts, and helpers that add rows as other
// stations would. Stored rows are read back with python3-dbfread
// (PeerRows of the log fixture).
#pragma once

#include <memory>
#include <string>

#include "dbmodel/counter.h"
#include "dbmodel/customer.h"
#include "dbmodel/idname.h"
#include "dbmodel/machine.h"
#include "dbmodel/macro.h"
#include "dbmodel/project.h"
#include "dbmodel/text_helpers.h"
#include "tests/storage/log_fixture.h"

namespace kvmaster {

class MasterTest : public kvlogs::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    CreateTable<TcbMachTable>("KELVMA.DBF");
    CreateTable<TcbMatyTable>("KELVMT.DBF");
    CreateTable<TcbAdvCustTable>("KELVCUS2.DBF");
    CreateTable<TcbProTable>("KELVPRO.DBF");
    CreateTable<TcbMacroTable>("KELVMACR.DBF");
  }

  long AddMachineType(const char* name) {
    TcbMatyTable t("KELVMT.DBF", 0, 0);
    TcbIdAndNameRecord r;
    r.ID = NextMachineTypeId();
    CopyCut(r.NAME, sizeof r.NAME, name);
    EXPECT_NE(t.Add(&r), nullptr);
    return r.ID;
  }
  long AddMachine(const char* name, long type, const char* path = "C:\\NC\\") {
    TcbMachTable t("KELVMA.DBF", 0, 0);
    EXPECT_TRUE(t.Add(name, type, "a machine", path, 0));
    return t.ExistsByName(name);
  }
  long AddCustomer(const char* company) {
    TcbAdvCustTable t("KELVCUS2.DBF", 0, 0);
    return t.Add(company);
  }
  long AddProject(const char* name, long customer) {
    TcbProTable t("KELVPRO.DBF", 0, 0);
    std::unique_ptr<TcbProRecord> r(t.Add(name, customer));
    EXPECT_TRUE(r);
    return r ? r->ID : 0;
  }
  long AddMacro(const char* name, const std::string& text, long machine) {
    TcbMacroTable t("KELVMACR.DBF", 0, 0);
    std::unique_ptr<TcbMacroRecord> r(t.Add(name, text.c_str(), machine));
    EXPECT_TRUE(r);
    return r ? r->ID : 0;
  }
  // A program of the index that belongs to a machine, a customer and a
  // project.
  void AddIndexedProgram(long ncid, long machine, long customer, long project) {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    TcbFileRecord r;
    FillProgram(r, ncid, 0);
    r.MID = machine;
    r.CUST = customer;
    r.PROJECT = project;
    ASSERT_EQ(t.Append(&r), 1);
  }
  // The rows of a file in the database directory that are not deleted.
  std::vector<std::string> LiveRows(const char* file, const std::string& fields) {
    std::vector<std::string> live;
    for (const std::string& r : PeerRows(DbPath(file), fields))
      if (r.rfind("* ", 0) != 0) live.push_back(r);
    return live;
  }
};

}  // namespace kvmaster
