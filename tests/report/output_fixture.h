// What the output tests share: a report over the five orders, a printer at
// 100 dots an inch (a thousandth of an inch is a tenth of a dot) whose
// pages go to the scratch directory, the pages produced on it as the texts
// they show, and the independent tools that read printed files back.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/app_state.h"
#include "platform/ui/print.h"
#include "report/output_windows.h"
#include "tests/report/report_fixture.h"
#include "tests/support/run_command.h"

namespace kvtest {

// A text drawn on a page, where it stands (device units).
struct TextAt {
  std::string text;
  int left, top;
};

class OutputTest : public ReportTest {
 protected:
  TPrintSetup setup;

  void SetUp() override {
    ReportTest::SetUp();
    report = report_create(rel);
    ASSERT_NE(report, nullptr);
    setup.OutputDir = dir.file("print");
    setup.Dpi = 100;
    setup.PaperWidthMm = 216;   // letter: 850 dots
    setup.PaperHeightMm = 279;  // 1098 dots
    plat::set_default_print_setup(setup);
  }

  DbField* field(const char* name, DbDataFile* d = nullptr) { return data_field_named(d ? d : orders, name); }

  // An area of the given height holding one object per call of add.
  DbReportArea* area(DbReportGroup* g, bool header, long height = 200) {
    DbReportArea* a = area_create(g, height, header ? 1 : 0, nullptr);
    EXPECT_NE(a, nullptr);
    return a;
  }
  DbReportObject* text(DbReportArea* a, const char* t, long x = 0, long y = 0) {
    DbReportObject* o = obj_text_create(a, t, x, y, 1500, 200);
    EXPECT_NE(o, nullptr);
    return o;
  }
  DbReportObject* show(DbReportArea* a, const char* name, long x = 0, long y = 0) {
    DbReportObject* o = obj_field_create(a, field(name), x, y, 1500, 200);
    EXPECT_NE(o, nullptr);
    obj_justify(o, DB_JUSTIFY_LEFT);
    return o;
  }
  DbReportObject* expr(DbReportArea* a, const char* e, long x = 0, long y = 0) {
    DbReportObject* o = obj_expr_create(a, e, x, y, 1500, 200);
    EXPECT_NE(o, nullptr);
    obj_justify(o, DB_JUSTIFY_LEFT);
    return o;
  }
  DbReportObject* total(DbReportArea* a, const char* name, const char* e, int type, const char* reset, long x = 0) {
    DbReportTotal* t = total_create(report, name, e, type, reset);
    EXPECT_NE(t, nullptr);
    DbReportObject* o = obj_total_create(a, t, x, 0, 1500, 200);
    EXPECT_NE(o, nullptr);
    obj_justify(o, DB_JUSTIFY_LEFT);
    return o;
  }

  // Every page of the report produced on a printer context of the setup.
  std::vector<plat::DrawRecord> produce(const TPrintSetup& s) {
    TPrintDC dc(s);
    dc.StartDoc("test");
    for (int n = 0; n < 200; n++) {
      dc.StartPage();
      int rc = report_page_next(report, dc.GetHDC());
      EXPECT_GE(rc, 0) << "page " << n + 1;
      dc.EndPage();
      if (rc != 0) break;
    }
    return dc.Pages();
  }
  std::vector<plat::DrawRecord> produce() { return produce(setup); }

  static std::vector<TextAt> texts_at(const plat::DrawRecord& page) {
    std::vector<TextAt> out;
    for (const plat::DrawOp& op : page)
      if (op.kind == plat::DrawOp::Text) out.push_back({op.text, op.rect.left, op.rect.top});
    return out;
  }
  // The texts of each page, in the order they were drawn.
  static std::vector<std::vector<std::string>> texts(const std::vector<plat::DrawRecord>& pages) {
    std::vector<std::vector<std::string>> out;
    for (const plat::DrawRecord& p : pages) {
      out.emplace_back();
      for (const TextAt& t : texts_at(p)) out.back().push_back(t.text);
    }
    return out;
  }
  std::vector<std::vector<std::string>> page_texts() { return texts(produce()); }

  // The PDF files printed so far, oldest first.
  std::vector<std::string> printed() {
    std::vector<std::string> out;
    if (std::filesystem::exists(setup.OutputDir))
      for (const auto& e : std::filesystem::directory_iterator(setup.OutputDir))
        if (e.path().extension() == ".pdf") out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
  }
};

}  // namespace kvtest
