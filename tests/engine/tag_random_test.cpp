// Thousands of random appends, rewrites, deletes and refused duplicates on a
// table with four tags (unique numeric, character with many equal keys,
// descending numeric, filtered date), checked against a model after every
// step: full walks both ways, seeks of present and absent keys, refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "index_fixture.h"

namespace {

using kvtest::IndexTest;
using kvtest::PartRow;

struct Model {
  std::vector<PartRow> rows;  // record n at n - 1
  std::vector<bool> deleted;
  std::set<long> ids;
};

std::string pad(const std::string& s, size_t n) { return s + std::string(n - s.size(), ' '); }

// Dates compare as texts; blank dates sort after every date.
std::string date_order(const std::string& due) { return due.empty() ? "99999999" : due; }

struct RandomIndex : IndexTest {
  std::mt19937 rng{20261209};
  Model m;
  long next_id = 1;

  int pick(int n) { return int(rng() % unsigned(n)); }

  std::string random_name() {
    std::string s;
    int len = 1 + pick(3);
    for (int i = 0; i < len; i++) s += char('A' + pick(3));
    return s;
  }
  std::string random_due() {
    if (pick(5) == 0) return "";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", 2020 + pick(5), 1 + pick(12), 1 + pick(28));
    return std::string(buf, 8);
  }
  PartRow random_row(long id) { return {id, random_name(), double(pick(2000) - 1000) / 4, random_due()}; }

  // The order each tag must show, as comparable values per record.
  bool before(const std::string& tag, long a, long b) {
    const PartRow &x = m.rows[size_t(a - 1)], &y = m.rows[size_t(b - 1)];
    if (tag == "ID") return x.id < y.id;
    if (tag == "NAME") return x.name < y.name;
    if (tag == "QTY") return x.qty > y.qty;
    return date_order(x.due) < date_order(y.due);
  }

  void check_tag(const char* name, int step) {
    DbTag* t = tag(name);
    ASSERT_NE(t, nullptr);
    std::vector<long> fwd = walk(t, false), back = walk(t, true);
    std::reverse(back.begin(), back.end());
    ASSERT_EQ(fwd, back) << name << " step " << step;
    for (size_t i = 1; i < fwd.size(); i++)
      ASSERT_FALSE(before(name, fwd[i], fwd[i - 1])) << name << " step " << step << " at " << i;
    std::vector<long> want;
    for (size_t i = 0; i < m.rows.size(); i++)
      if (std::string(name) != "DUE" || !m.deleted[i]) want.push_back(long(i + 1));
    std::sort(fwd.begin(), fwd.end());
    ASSERT_EQ(fwd, want) << name << " step " << step;
  }

  void check_seeks(int step) {
    if (m.rows.empty()) return;
    const PartRow& r = m.rows[size_t(pick(int(m.rows.size())))];
    data_tag_select(d, tag("NAME"));
    ASSERT_EQ(data_seek(d, pad(r.name, 40).c_str()), 0) << step;
    ASSERT_EQ(str(2), r.name);
    // An absent name lands on the next greater one, or at the end.
    std::string absent = r.name + "Z";
    std::string next;
    for (const PartRow& x : m.rows)
      if (x.name > absent && (next.empty() || x.name < next)) next = x.name;
    int rc = data_seek(d, absent.c_str());
    if (next.empty()) {
      ASSERT_EQ(rc, DB_EOF) << step;
    } else {
      ASSERT_EQ(rc, DB_AFTER) << step;
      ASSERT_EQ(str(2), next);
    }
    data_tag_select(d, tag("ID"));
    ASSERT_EQ(data_seek_double(d, double(r.id)), 0) << step;
    ASSERT_EQ(field_long(data_field_at(d, 1)), r.id);
    ASSERT_EQ(data_seek_double(d, double(next_id + 5)), DB_EOF);
    // Dates, blank ones included, are found among the records the filter keeps.
    data_tag_select(d, tag("DUE"));
    long n = long(&r - m.rows.data()) + 1;
    if (!m.deleted[size_t(n - 1)]) {
      ASSERT_EQ(data_seek(d, pad(r.due, 8).c_str()), 0) << step << " due '" << r.due << "'";
      ASSERT_EQ(str(4), r.due);
    }
    data_tag_select(d, nullptr);
  }

  long existing_id() { return m.rows[size_t(pick(int(m.rows.size())))].id; }
};

TEST_F(RandomIndex, TagsFollowEveryChange) {
  create();
  const int steps = 1500;
  int refused = 0;
  for (int step = 0; step < steps; step++) {
    int op = pick(10);
    if (m.rows.empty() || op < 5) {
      bool dup = !m.rows.empty() && pick(8) == 0;
      PartRow r = random_row(dup ? existing_id() : next_id);
      int rc = append(r);
      if (dup) {
        ASSERT_EQ(rc, DB_UNIQUE) << step;
        refused++;
      } else {
        ASSERT_EQ(rc, 0) << step << " " << code_error_get(&c);
        m.rows.push_back(r);
        m.deleted.push_back(false);
        m.ids.insert(next_id++);
      }
    } else if (op < 9) {
      long n = 1 + pick(int(m.rows.size()));
      ASSERT_EQ(data_go(d, n), 0);
      PartRow r = random_row(m.rows[size_t(n - 1)].id);
      bool dup = m.rows.size() > 1 && pick(6) == 0;
      if (dup) {
        r.id = existing_id();
        if (r.id == m.rows[size_t(n - 1)].id) dup = false;
      } else if (pick(3) == 0) {
        r.id = next_id++;  // a new id frees the old one
      }
      put(r);
      int rc = data_flush(d);
      if (dup) {
        ASSERT_EQ(rc, DB_UNIQUE) << step;
        data_changed(d, 0);
        refused++;
      } else {
        ASSERT_EQ(rc, 0) << step << " " << code_error_get(&c);
        m.rows[size_t(n - 1)] = r;
      }
    } else {
      long n = 1 + pick(int(m.rows.size()));
      ASSERT_EQ(data_go(d, n), 0);
      bool del = !m.deleted[size_t(n - 1)];
      if (del) data_delete(d);
      else data_recall(d);
      ASSERT_EQ(data_flush(d), 0) << step;
      m.deleted[size_t(n - 1)] = del;
    }
    for (const char* t : {"ID", "NAME", "QTY", "DUE"}) {
      check_tag(t, step);
      if (HasFatalFailure()) return;
    }
    check_seeks(step);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(refused, 50);
  expect_peer_agrees();
  // A rebuild gives the same membership and order.
  ASSERT_EQ(data_reindex(d), 0);
  for (const char* t : {"ID", "NAME", "QTY", "DUE"}) check_tag(t, steps);
}

}  // namespace
