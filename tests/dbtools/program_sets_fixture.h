// Shared set-up of the list, export and print-out tests: the import tests'
// scratch database (drive K:, machines MILL1 and LATHE), an export
// directory K:\EXPORT\, the nine commands on the frame, customers and
// programs made row by row, and the choosers answered by name.
#pragma once

#include <memory>
#include <string>

#include "dbtools/program_set_commands.h"
#include "resources/dialogs/search.h"
#include "tests/dbtools/import_fixture.h"

namespace kvsets {

struct Program {
  std::string desc;
  std::string machineText;  // MACHINE
  std::string char3, draw, part;
  long cust = 0, project = 0, mid = 0;
};

class ProgramSetTest : public kvimport::ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    std::filesystem::create_directories(Native("EXPORT"));
    Globals->ExportDir = "K:\\EXPORT\\";
    RegisterProgramSetCommands();
  }
  void TearDown() override {
    for (UINT id : {kCmListProgramsForCustomer, kCmListProgramsForProject, kCmListProgramsForMachine,
                    kCmExportProgramsForCustomer, kCmExportProgramsForProject, kCmExportProgramsForMachine,
                    kCmPrintProgramsForCustomer, kCmPrintProgramsForProject, kCmPrintProgramsForMachine})
      RegisterFrameCommand(id, nullptr);
    ImportTest::TearDown();
  }

  long AddCustomer(const std::string& company) {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    customers.Add(company.c_str());
    customers.Close();
    std::unique_ptr<TcbAdvCustRecord> c(customers.FindByCompany(company.c_str()));
    customers.Close();
    EXPECT_TRUE(c) << company;
    return c ? c->ID : 0;
  }

  // A program row; its file K:\MILL1\P<ncid>.NC holds `text` unless null.
  long AddProgram(const Program& p, const char* text = "G0 X0\r\n") {
    long ncid = NextProgramId();
    TcbFileRecord r;
    r.NCID = ncid;
    r.LONG1 = ncid;
    r.CUST = p.cust;
    r.PROJECT = p.project;
    r.MID = p.mid ? p.mid : mill;
    CopyCut(r.DESC, sizeof r.DESC, p.desc.c_str());
    CopyCut(r.DIR, sizeof r.DIR, "K:\\MILL1\\");
    CopyCut(r.NAME, sizeof r.NAME, ("P" + std::to_string(ncid)).c_str());
    CopyCut(r.EXT, sizeof r.EXT, "NC");
    CopyCut(r.MACHINE, sizeof r.MACHINE, p.machineText.c_str());
    CopyCut(r.CHAR3, sizeof r.CHAR3, p.char3.c_str());
    CopyCut(r.DRAW, sizeof r.DRAW, p.draw.c_str());
    CopyCut(r.PART, sizeof r.PART, p.part.c_str());
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    EXPECT_EQ(t.Append(&r), 1);
    if (text) Write("MILL1/P" + std::to_string(ncid) + ".NC", text);
    return ncid;
  }
  void DeleteProgram(long ncid) {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    delete t.DeleteById(ncid);
  }

  // The customer chooser, answered with the customer of that name.
  void ExpectCustomer(const std::string& company) {
    driver.expect_dialog(IDD_SELECT_CUSTOMER, [company](TDialog& d) {
      plat::Pilot p(d);
      auto lines = p.lines(IDC_SELECT_CUSTOMER_LIST);
      bool found = false;
      for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(company + " ", 0) == 0) found = p.select(IDC_SELECT_CUSTOMER_LIST, static_cast<int>(i));
      EXPECT_TRUE(found) << company;
      p.click(IDOK);
    });
  }

  std::string Read(const std::string& sub) const { return kvtest::ScratchDir::read_file(Native(sub)); }
};

}  // namespace kvsets
