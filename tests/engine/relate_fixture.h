// A generated program table (and a slave table) for relation and query
// tests, with helpers that walk a relation and that find the expected rows
// by evaluating a filter on every record.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/expr.h"
#include "engine/relate.h"
#include "tests/engine/engine_fixture.h"

namespace kvtest {

struct ProgRow {
  long cust;
  std::string name;
  std::string due;  // CCYYMMDD
  bool done;
  double price;
  long slave;  // record number in the slave table, 0 for none
};

// Rows drawn from a fixed sequence: repeated names and customers, so that
// sorting has ties and filters have ranges.
inline std::vector<ProgRow> make_rows(int n) {
  std::vector<ProgRow> rows;
  unsigned long x = 12345;
  auto next = [&x](unsigned long m) {
    x = x * 1103515245ul + 12345ul;
    return (x >> 16) % m;
  };
  static const char* names[] = {"DRILL", "MILL", "TURN", "BORE", "TAP", "REAM", "FACE", "GROOVE"};
  for (int i = 0; i < n; i++) {
    ProgRow r;
    r.cust = static_cast<long>(next(12));
    r.name = std::string(names[next(8)]) + std::to_string(next(5));
    char due[9];
    std::snprintf(due, sizeof due, "2024%02lu%02lu", next(12) + 1, next(28) + 1);
    r.due = due;
    r.done = next(3) == 0;
    r.price = static_cast<double>(next(100000)) / 100.0 - 100.0;
    r.slave = static_cast<long>(next(8));  // 0 and 6, 7 have no slave record
    rows.push_back(r);
  }
  return rows;
}

class RelateTest : public ::testing::Test {
 protected:
  QuietEngine ctx;
  ScratchDir dir;
  DbDataFile* d = nullptr;      // PROGS
  DbDataFile* slave = nullptr;  // MACHS: 5 records
  std::vector<ProgRow> rows;

  static constexpr DbFieldInfo kFields[] = {
      {"CUST", 'N', 4, 0},  {"NAME", 'C', 12, 0}, {"DUE", 'D', 8, 0},   {"DONE", 'L', 1, 0},
      {"PRICE", 'N', 9, 2}, {"MACH", 'N', 4, 0},  {nullptr, 0, 0, 0}};

  // Creates PROGS with the tags given (none until indexes exist) and n rows.
  void make_tables(int n, const DbTagInfo* tags = nullptr) {
    rows = make_rows(n);
    d = data_create(&ctx, dir.file("PROGS.DBF").c_str(), kFields, tags);
    ASSERT_NE(d, nullptr) << code_error_get(&ctx);
    for (const auto& r : rows) append(r);
    static const DbFieldInfo mfields[] = {{"MNAME", 'C', 10, 0}, {nullptr, 0, 0, 0}};
    slave = data_create(&ctx, dir.file("MACHS.DBF").c_str(), mfields, nullptr);
    ASSERT_NE(slave, nullptr);
    for (const char* m : {"LATHE", "MILL5", "EDM", "GRINDER", "PRESS"}) {
      ASSERT_EQ(data_append_start(slave, 0), 0);
      field_assign(data_field_at(slave, 1), m);
      ASSERT_EQ(data_append(slave), 0);
    }
  }

  void append(const ProgRow& r) {
    ASSERT_EQ(data_append_start(d, 0), 0);
    field_assign_long(data_field_at(d, 1), r.cust);
    field_assign(data_field_at(d, 2), r.name.c_str());
    field_assign(data_field_at(d, 3), r.due.c_str());
    field_assign(data_field_at(d, 4), r.done ? "T" : "F");
    field_assign_double(data_field_at(d, 5), r.price);
    field_assign_long(data_field_at(d, 6), r.slave);
    ASSERT_EQ(data_append(d), 0) << code_error_get(&ctx);
  }

  void TearDown() override { code_close_all(&ctx); }

  // The master's record numbers a relation delivers from its top, and the
  // final status.
  std::vector<long> walk(DbRelation* r, int* end = nullptr) {
    std::vector<long> out;
    int rc = relate_top(r);
    while (rc == 0) {
      out.push_back(data_recno(d));
      rc = relate_skip(r, 1);
    }
    if (end) *end = rc;
    return out;
  }

  // The same backward, from the bottom.
  std::vector<long> walk_back(DbRelation* r) {
    std::vector<long> out;
    int rc = relate_bottom(r);
    while (rc == 0) {
      out.insert(out.begin(), data_recno(d));
      rc = relate_skip(r, -1);
    }
    return out;
  }

  // Records for which the filter is true, in record order.
  std::vector<long> expected(const char* filter) {
    std::vector<long> out;
    DbExpr* e = expr_parse(d, filter);
    EXPECT_NE(e, nullptr) << filter;
    if (!e) return out;
    long n = data_reccount(d);
    for (long i = 1; i <= n; i++) {
      EXPECT_EQ(data_go(d, i), 0);
      if (expr_true(e) == 1) out.push_back(i);
    }
    expr_free(e);
    return out;
  }

  DbRelation* relation(const char* query, const char* sort = nullptr) {
    DbRelation* r = relate_init(d);
    EXPECT_NE(r, nullptr);
    if (query) relate_query_set(r, query);
    if (sort) relate_sort_set(r, sort);
    return r;
  }
};

}  // namespace kvtest
