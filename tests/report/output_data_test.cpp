// Data-file generation: the report written as a dBASE table, read back by
// python3-dbfread; the set-up it needs, a table that cannot be made, and a
// disk that fills while the records go out.
// Covers: report/output_data.cpp
#include <gtest/gtest.h>

#include <functional>

#include "platform/file.h"
#include "tests/report/output_fixture.h"

namespace kvtest {
namespace {

class OutputDataTest : public OutputTest {
 protected:
  DbReportGroup* order = nullptr;

  // The innermost group, one per order, writes a record from its footer:
  // fields, an expression over the slave, a running sum per customer, a
  // count, and an average over no record.
  void table_layout() {
    order = group_create(report, "Order", nullptr);
    ASSERT_NE(order, nullptr);
    DbReportArea* foot = area(order, false);
    struct Out {
      DbReportObject* o;
      const char* name;
      int type, len, dec;
    } outs[] = {
        {show(foot, "ORDNO"), "ORDNO", 'N', 6, 0},
        {show(foot, "CUST"), "CUST", 'C', 6, 0},
        {show(foot, "QTY"), "QTY", 'N', 8, 2},
        {show(foot, "ODATE"), "ODATE", 'D', 8, 0},
        {show(foot, "PAID"), "PAID", 'L', 1, 0},
        {expr(foot, "CUSTS->NAME"), "NAME", 'C', 20, 0},
        {total(foot, "CUSTSUM", "QTY", DB_TOTAL_SUM, "CUST"), "CUSTSUM", 'N', 10, 2},
        {total(foot, "ORDERS", "QTY", DB_TOTAL_COUNT, nullptr), "N", 'N', 5, 0},
        {total(foot, "NOAVG", "QTY", DB_TOTAL_AVERAGE, nullptr), "NOAVG", 'N', 8, 2},
    };
    ASSERT_EQ(total_condition_set(outs[8].o->total, "QTY > 1000", 1), 0);
    for (const Out& out : outs) ASSERT_EQ(obj_output_field_set(out.o, out.name, out.type, out.len, out.dec), 0);
    report_output_group_set(report, order);
    report_output_file_set(report, dir.file("OUT.DBF").c_str());
  }

  std::string read_back(const std::string& file) {
    return kvtest::run_command("/usr/bin/python3 -c \"import dbfread, sys\n"
                 "for r in dbfread.DBF(sys.argv[1]): print('|'.join(str(v) for v in r.values()))\" '" +
                 file + "' 2>&1");
  }
};

TEST_F(OutputDataTest, OneRecordPerRecordOfTheRelationWithFieldsAndTotals) {
  table_layout();
  group_break_before_set(order, 1);
  ASSERT_EQ(report_data_file(report), 0);
  EXPECT_EQ(read_back(dir.file("OUT.DBF")),
            "1|A|10.0|2024-03-01|True|ACME|10.0|1|0.0\n"
            "2|A|20.0|2024-03-01|False|ACME|30.0|2|0.0\n"
            "3|A|30.0|2024-03-01|True|ACME|60.0|3|0.0\n"
            "4|B|40.0|2024-03-01|False|BOLT|40.0|4|0.0\n"
            "5|B|50.0|2024-03-01|True|BOLT|90.0|5|0.0\n");
  EXPECT_EQ(order->flags[DB_GROUP_BREAK_BEFORE], 1) << "the flags come back";
  // A second run writes the table anew.
  std::filesystem::remove(dir.file("OUT.DBF"));
  ASSERT_EQ(report_data_file(report), 0);
  std::string again = read_back(dir.file("OUT.DBF"));
  EXPECT_EQ(std::count(again.begin(), again.end(), '\n'), 5);
}

TEST_F(OutputDataTest, MissingSetUpIsRefused) {
  table_layout();
  std::vector<DbReportObject*> saved_fields;
  struct Case {
    const char* what;
    std::function<void()> spoil, mend;
  } cases[] = {
      {"no output group", [&] { report_output_group_set(report, nullptr); },
       [&] { report_output_group_set(report, order); }},
      {"no file name", [&] { report_output_file_set(report, nullptr); },
       [&] { report_output_file_set(report, dir.file("OUT.DBF").c_str()); }},
      {"no output field", [&] { report->output_fields.swap(saved_fields); },
       [&] { report->output_fields.swap(saved_fields); }},
  };
  for (const Case& c : cases) {
    c.spoil();
    EXPECT_EQ(report_data_file(report), -1) << c.what;
    EXPECT_EQ(take_error(), -823) << c.what;
    EXPECT_TRUE(reported("Error in setup for data file generation.")) << c.what;
    c.mend();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("OUT.DBF")));
}

TEST_F(OutputDataTest, ATableThatCannotBeMadeIsReported) {
  table_layout();
  report_output_file_set(report, dir.file("NODIR/OUT.DBF").c_str());
  EXPECT_EQ(report_data_file(report), -1);
  EXPECT_EQ(take_error(), -823);
  EXPECT_TRUE(reported("Unable to create the specified data file for generation."));
}

TEST_F(OutputDataTest, AFullDiskLeavesNoTableWithRecordsMissing) {
  table_layout();
  // The header and a record or two go out, then the disk is full.
  plat::set_write_fault("OUT.DBF", 500);
  EXPECT_EQ(report_data_file(report), -1);
  plat::set_write_fault("", 0);
  EXPECT_EQ(take_error(), -823);
  EXPECT_TRUE(reported("Unable to write the data file of the report."));
  EXPECT_FALSE(std::filesystem::exists(dir.file("OUT.DBF")));
  EXPECT_EQ(order->flags[DB_GROUP_BREAK_BEFORE], 0);
  ASSERT_EQ(report_data_file(report), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.file("OUT.DBF")));
}

}  // namespace
}  // namespace kvtest
