// Relation files and the relation section of report files: data files
// found by alias or opened from a data directory, one file under two
// aliases, expressions that name a file under an alias it no longer has,
// and saves that cannot order their calculations.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/report/layout_fixture.h"

namespace kvtest {
namespace {

class RelationFileTest : public LayoutTest {
 protected:
  // The master's ORDNO and the slave's second field, record by record.
  static std::vector<std::pair<long, std::string>> walk(DbRelation* r) {
    std::vector<std::pair<long, std::string>> out;
    DbDataFile* slave = r->top.slaves.at(0)->data;
    for (int rc = relate_top(r); rc == 0; rc = relate_skip(r, 1)) {
      std::string s(field_ptr(data_field_at(slave, 2)), field_len(data_field_at(slave, 2)));
      out.emplace_back(field_long(data_field_at(r->top.data, 1)), s.substr(0, s.find(' ')));
    }
    return out;
  }
};

TEST_F(RelationFileTest, SavedWithoutPathsAndRetrievedFromADataDirectory) {
  relate_query_set(rel, "QTY > 15");
  ASSERT_EQ(relate_save(rel, dir.file("ORD").c_str(), 0), 0);
  std::string bytes = dir.read("ORD.REL");
  EXPECT_EQ(bytes.substr(0, 2), "\x15\x26");
  EXPECT_NE(bytes.find("ORDERS.DBF"), std::string::npos);
  EXPECT_EQ(bytes.find('/'), std::string::npos);
  relate_free(rel, 1);
  rel = nullptr;
  std::filesystem::create_directory(dir.path() / "data");
  for (const char* name : {"ORDERS.DBF", "ORDERS.MDX", "CUSTS.DBF", "CUSTS.MDX"})
    std::filesystem::rename(dir.path() / name, dir.path() / "data" / name);

  EXPECT_EQ(relate_retrieve(&ctx, dir.file("ORD").c_str(), 0, dir.file("data").c_str()), nullptr);
  EXPECT_EQ(take_error(), -950);
  EXPECT_TRUE(reported("Could not locate File:"));
  EXPECT_EQ(open_files(), 0);

  rel = relate_retrieve(&ctx, dir.file("ORD").c_str(), 1, dir.file("data").c_str());
  ASSERT_NE(rel, nullptr) << code_error_get(&ctx);
  EXPECT_NE(std::string(rel->top.data->file.name).find("/data/"), std::string::npos);
  EXPECT_EQ(walk(rel), (std::vector<std::pair<long, std::string>>{{2, "ACME"}, {3, "ACME"}, {4, "BOLT"}, {5, "BOLT"}}));
  // The tables open already are taken as they are.
  DbRelation* again = relate_retrieve(&ctx, dir.file("ORD").c_str(), 0, nullptr);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->top.data, rel->top.data);
  EXPECT_EQ(open_files(), 2);
  relate_free(again, 0);
}

TEST_F(RelationFileTest, OneDataFileUnderTwoAliasesComesBackAsTwoCopies) {
  DbDataFile* copy = data_open(&ctx, dir.file("ORDERS.DBF").c_str());
  ASSERT_NE(copy, nullptr);
  data_alias_set(copy, "ORD2");
  ASSERT_NE(relate_create_slave(&rel->top, copy, "ORDNO", data_tag_find(copy, "ORDNO")), nullptr);
  ASSERT_EQ(relate_save(rel, dir.file("TWO").c_str(), 1), 0);
  relate_free(rel, 1);
  rel = nullptr;
  ASSERT_EQ(open_files(), 0);

  rel = relate_retrieve(&ctx, dir.file("TWO").c_str(), 1, nullptr);
  ASSERT_NE(rel, nullptr) << code_error_get(&ctx);
  ASSERT_EQ(rel->top.slaves.size(), 2u);
  DbDataFile* master = rel->top.data;
  DbDataFile* second = rel->top.slaves[1]->data;
  EXPECT_EQ(open_files(), 3);
  EXPECT_NE(master, second);
  EXPECT_STREQ(master->file.name, second->file.name);
  EXPECT_EQ(std::string(data_alias(master)), "ORDERS");
  EXPECT_EQ(std::string(data_alias(second)), "ORD2");
  for (int rc = relate_top(rel); rc == 0; rc = relate_skip(rel, 1))
    EXPECT_EQ(field_long(data_field_at(second, 1)), field_long(data_field_at(master, 1)));
}

TEST_F(RelationFileTest, ExpressionsFollowAFileToItsAliasNow) {
  relate_free(rel, 0);
  data_alias_set(orders, "O");
  data_alias_set(custs, "C");
  rel = relate_init(orders);
  ASSERT_NE(relate_create_slave(&rel->top, custs, "O->CUST", data_tag_find(custs, "CUSTNO")), nullptr);
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  ASSERT_EQ(report_query_set(report, "C->NAME = 'ACME' .AND. O -> QTY > 10 .AND. O->CUST <> 'O->'"), 0);
  DbReportGroup* g = group_create(report, "Customer", "O->CUST");
  DbReportArea* a = area_create(g, 300, 1, "C->NAME = 'X'");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(obj_field_create(a, data_field_named(custs, "NAME"), 0, 0, 100, 100), nullptr);
  ASSERT_NE(obj_expr_create(a, "C->NAME + O->CUST", 200, 0, 100, 100), nullptr);
  ASSERT_NE(total_create(report, "SUMQ", "O->QTY", DB_TOTAL_SUM, "O->CUST"), nullptr);
  ASSERT_EQ(report_save(report, dir.file("ALIAS").c_str(), 1), 0);
  ASSERT_EQ(report_free(report, 1, 1), 0);
  rel = nullptr;

  // Opened again, the tables are ORDERS and CUSTS.
  report = report_retrieve(&ctx, dir.file("ALIAS").c_str(), 1, nullptr);
  ASSERT_NE(report, nullptr) << code_error_get(&ctx);
  DbRelation* r = report->relation;
  EXPECT_EQ(std::string(data_alias(r->top.data)), "ORDERS");
  EXPECT_STREQ(expr_source(r->top.slaves[0]->master_expr), "ORDERS->CUST");
  EXPECT_EQ(r->query_text, "CUSTS->NAME = 'ACME' .AND. ORDERS -> QTY > 10 .AND. ORDERS->CUST <> 'O->'");
  DbReportGroup* back = report_groupLookup(report, "Customer");
  ASSERT_NE(back, nullptr);
  EXPECT_STREQ(expr_source(back->reset), "ORDERS->CUST");
  DbReportArea* area = group_header_first(back);
  EXPECT_STREQ(expr_source(area->suppress), "CUSTS->NAME = 'X'");
  EXPECT_EQ(area->objects.at(0)->field, data_field_named(r->top.slaves[0]->data, "NAME"));
  EXPECT_STREQ(expr_source(area->objects.at(1)->expr), "CUSTS->NAME + ORDERS->CUST");
  EXPECT_STREQ(expr_source(total_lookup(report, "SUMQ")->reset), "ORDERS->CUST");
  EXPECT_EQ(walk(r), (std::vector<std::pair<long, std::string>>{{2, "ACME"}, {3, "ACME"}}));
}

TEST_F(RelationFileTest, CalculationsThatCannotBeOrderedFailTheSave) {
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  ASSERT_EQ(report_save(report, dir.file("CALCS").c_str(), 0), 0);
  std::string before = dir.read("CALCS.REP");

  struct Case {
    std::vector<std::pair<const char*, const char*>> calcs;  // name, text; made in order
    const char* stuck;
  };
  // A placeholder "B" lets "A" name a "B" made after it; it goes again.
  const Case cases[] = {
      {{{"B", "QTY"}, {"A", "B() + 1"}, {"B", "A() + 1"}}, "A"},  // a circle
      {{{"Z", "QTY"}, {"C", "Z() * 2"}}, "C"},                    // a calculation that is no more
  };
  for (const Case& c : cases) {
    std::vector<DbCalc*> made;
    for (auto [name, text] : c.calcs) made.push_back(calc_create(&ctx, expr_parse(orders, text), name));
    calc_free(made.front());
    std::vector<DbCalc*> order = context_calcs(&ctx);
    EXPECT_EQ(report_save(report, dir.file("CALCS").c_str(), 0), -1);
    EXPECT_EQ(take_error(), -821);
    EXPECT_TRUE(reported(std::string("Unable to save calculation/total.\n") + c.stuck + "\n")) << c.stuck;
    EXPECT_EQ(dir.read("CALCS.REP"), before);
    EXPECT_TRUE(no_work_files());
    EXPECT_EQ(context_calcs(&ctx), order);
    calc_free_all(&ctx);
  }
}

}  // namespace
}  // namespace kvtest
