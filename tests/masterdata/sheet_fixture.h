// Shared set-up of the setup-sheet tests: the five sheet tables beside the
// master data, a program of the index to keep sheets for, and helpers that
// make types, labels, values and sheets as another station would. Stored
// sheets are read back with python3-dbfread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbmodel/list_lines.h"
#include "masterdata/setup_sheet_pages.h"
#include "platform/ui/gtest_driver.h"
#include "resources/dialogs/setup_sheet_pages.h"
#include "tests/masterdata/master_fixture.h"
#include "tests/support/sheet_rows.h"

namespace kvsheets {

// The fields of SS000005.DBF a test compares, as python3-dbfread reads them.
inline const char* const kSheetFields =
    "ID2 ID3 NAME CBIDX1 CBIDX2 CBIDX5 CBIDX6 B1 B7 CH1 CH6 DBL1 DBL6 L1 L6 MEMO";

class SheetTest : public kvmaster::MasterTest {
 protected:
  void SetUp() override {
    MasterTest::SetUp();
    kvtest::CreateSheetTables([this](const char* file) { return DbPath(file); });
    Program.NCID = 40;
    Program.LONG1 = 42;
    std::snprintf(Program.DESC, sizeof Program.DESC, "%s", "P4711");
  }

  long AddType(const char* name, const std::vector<std::string>& labels1 = {},
               const std::vector<std::string>& labels2 = {}) {
    return kvtest::AddSheetType(name, labels1, labels2);
  }
  // Page-1 labels naming every field after its place ("Text 1" ..).
  static std::vector<std::string> AllLabels1() {
    std::vector<std::string> l;
    for (int k = 1; k <= 5; ++k) l.push_back("Text " + std::to_string(k));
    for (int k = 1; k <= 5; ++k) l.push_back("Decimal " + std::to_string(k));
    for (int k = 1; k <= 5; ++k) l.push_back("Integer " + std::to_string(k));
    for (int k = 1; k <= 6; ++k) l.push_back("Flag " + std::to_string(k));
    for (int k = 1; k <= 4; ++k) l.push_back("Choice " + std::to_string(k));
    return l;
  }
  static std::vector<std::string> AllLabels2() {
    std::vector<std::string> l;
    for (int k = 6; k <= 10; ++k) l.push_back("Text " + std::to_string(k));
    for (int k = 6; k <= 10; ++k) l.push_back("Integer " + std::to_string(k));
    for (int k = 6; k <= 10; ++k) l.push_back("Decimal " + std::to_string(k));
    for (int k = 5; k <= 8; ++k) l.push_back("Choice " + std::to_string(k));
    return l;
  }
  long AddValue(long type, int field, const char* name) { return kvtest::AddSheetValue(type, field, name); }
  // A stored sheet of the test's program.
  long AddSheet(long type, const char* name, const std::function<void(TSheet05Record&)>& fill = {}) {
    return kvtest::AddSheet(type, Program.LONG1, name, fill);
  }

  std::vector<std::string> Sheets(const std::string& fields = kSheetFields) {
    return LiveRows("SS000005.DBF", fields);
  }

  // Runs page 1 for the test's program; act works on it as the user, then
  // the page is closed with its close box.
  void Page1(const std::function<void(plat::Pilot&, TSetupPage1&)>& act) {
    driver.expect_dialog(IDD_SETUP_PAGE1, [&](TDialog& d) {
      plat::Pilot p(d);
      act(p, dynamic_cast<TSetupPage1&>(d));
      p.close_box();
    });
    TSetupPage1(nullptr, &Program).Execute();
  }

  // Picks the type's line in page 1's type combo.
  static bool SelectType(plat::Pilot& p, long type) {
    const std::vector<std::string> lines = p.lines(IDC_PAGE1_TYPE);
    for (size_t i = 0; i < lines.size(); ++i)
      if (ListLineId(lines[i].c_str()) == type) return p.select(IDC_PAGE1_TYPE, static_cast<int>(i));
    return false;
  }

  TcbFileRecord Program;
  plat::GTestUiDriver driver;
};

}  // namespace kvsheets
