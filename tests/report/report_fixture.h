// What the report tests share: the two tables of report_tables.h, the
// relation that joins each order to its customer on CUST through the tag
// CUSTNO, and the message boxes errors come in, read back from the log.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/msgbox.h"
#include "report/report.h"
#include "report/report_internal.h"
#include "tests/report/report_tables.h"
#include "tests/support/scratch_dir.h"

namespace kvtest {

class ReportTest : public ::testing::Test {
 protected:
  ScratchDir dir{"kvreport"};
  DbEngine ctx;
  DbDataFile* orders = nullptr;
  DbDataFile* custs = nullptr;
  DbRelation* rel = nullptr;  // freed after the test unless set to null
  DbReport* report = nullptr;  // freed after the test, with its relation when that is not rel

  void SetUp() override {
    old_unexpected_ = plat::set_unexpected_message_box_handler(
        [](HWND, const std::string&, const std::string&, UINT flags) { return plat::default_message_box_answer(flags); });
    plat::clear_message_box_log();
    make_tables();
    rel = make_relation();
  }

  void TearDown() override {
    code_error_set(&ctx, 0);
    if (report && report_alive(report)) {
      DbRelation* own = report->relation;
      ctx.report_exists = 1;
      report_free(report, 0, 0);
      if (own != rel) relate_free(own, 0);
    }
    if (rel) relate_free(rel, 0);
    code_error_set(&ctx, 0);
    code_close_all(&ctx);
    plat::set_unexpected_message_box_handler(old_unexpected_);
  }

  void make_tables() { ASSERT_TRUE(make_report_tables(&ctx, dir.file(), &orders, &custs)); }

  DbRelation* make_relation() {
    DbRelation* r = relate_init(orders);
    EXPECT_NE(r, nullptr);
    EXPECT_NE(relate_create_slave(&r->top, custs, "CUST", data_tag_find(custs, "CUSTNO")), nullptr);
    return r;
  }

  // The texts of the boxes shown since the last call.
  std::vector<std::string> boxes() {
    std::vector<std::string> out;
    for (const auto& b : plat::message_box_log()) out.push_back(b.text);
    plat::clear_message_box_log();
    return out;
  }
  // True when a box since the last call held the text.
  bool reported(const std::string& text) {
    for (const std::string& b : boxes())
      if (b.find(text) != std::string::npos) return true;
    return false;
  }
  // The pending code, cleared.
  int take_error() { return code_error_set(&ctx, 0); }

  int open_files() const { return ctx.data_list.count; }

 private:
  plat::MessageBoxHandler old_unexpected_;
};

}  // namespace kvtest
