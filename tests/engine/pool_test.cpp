// Lists, pools and bit-flag sets.
#include <gtest/gtest.h>

#include <vector>

#include "engine/engine.h"
#include "engine/engine_api.h"
#include "engine/pool.h"

namespace {

struct Item {
  DbNode link;
  int value;
};

std::vector<int> forward(const DbList& l) {
  std::vector<int> v;
  for (auto* n = static_cast<Item*>(list_first(&l)); n; n = static_cast<Item*>(list_next(&l, n)))
    v.push_back(n->value);
  return v;
}

std::vector<int> backward(const DbList& l) {
  std::vector<int> v;
  for (auto* n = static_cast<Item*>(list_last(&l)); n; n = static_cast<Item*>(list_prev(&l, n)))
    v.push_back(n->value);
  return v;
}

TEST(Lists, AddWalkAndRemove) {
  Item it[5];
  for (int i = 0; i < 5; i++) it[i].value = i;
  DbList l{};
  EXPECT_EQ(list_first(&l), nullptr);
  list_add(&l, &it[1]);
  list_add(&l, &it[3]);
  list_add_after(&l, &it[3], &it[4]);   // after the last: becomes the last
  list_add_before(&l, &it[1], &it[0]);  // before the first: becomes the first
  list_add_after(&l, &it[1], &it[2]);
  EXPECT_EQ(forward(l), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(backward(l), (std::vector<int>{4, 3, 2, 1, 0}));
  EXPECT_EQ(l.count, 5);
  EXPECT_EQ(list_next(&l, nullptr), &it[0]);
  EXPECT_EQ(list_prev(&l, nullptr), &it[4]);

  l.selected = &it[2].link;
  list_remove(&l, &it[2]);
  EXPECT_EQ(l.selected, &it[1].link) << "the selection moves to the previous node";
  EXPECT_EQ(list_pop(&l), &it[4]);
  EXPECT_EQ(forward(l), (std::vector<int>{0, 1, 3}));
  EXPECT_TRUE(list_contains(&l, &it[3]));
  EXPECT_FALSE(list_contains(&l, &it[4]));
  list_remove(&l, nullptr);
  list_remove(&l, &it[0]);
  list_remove(&l, &it[1]);
  l.selected = &it[3].link;
  list_remove(&l, &it[3]);
  EXPECT_EQ(l.count, 0);
  EXPECT_EQ(l.last, nullptr);
  EXPECT_EQ(l.selected, nullptr);
}

TEST(Pools, SharedPoolKeepsBlocksUntilLastUser) {
  DbEngine c;
  DbMemPool* a = mem_pool_create(&c, 3, 48, 2, 0);
  DbMemPool* b = mem_pool_create(&c, 5, 48, 4, 0);
  ASSERT_EQ(a, b) << "pools of one unit size are shared";
  EXPECT_EQ(a->first_count, 5);
  EXPECT_EQ(a->expand_count, 4);
  DbMemPool* p = mem_pool_create(&c, 3, 48, 2, 1);
  EXPECT_NE(p, a) << "a private pool is its own";

  std::vector<unsigned char*> units;
  for (int i = 0; i < 12; i++) {
    auto* u = static_cast<unsigned char*>(mem_pool_take(a, &c));
    ASSERT_NE(u, nullptr);
    for (int k = 0; k < 48; k++) ASSERT_EQ(u[k], 0);
    std::fill(u, u + 48, 0xAB);
    units.push_back(u);
  }
  EXPECT_EQ(a->blocks.count, 3);  // 5 + 4 + 4 units
  mem_pool_give(a, units.back());
  ASSERT_NE(mem_pool_take(a, &c), nullptr);  // the one unit still free comes first
  auto* again = static_cast<unsigned char*>(mem_pool_take(a, &c));
  EXPECT_EQ(again, units.back());
  for (int k = 0; k < 48; k++) ASSERT_EQ(again[k], 0) << "a reused unit is zeroed";

  mem_pool_release(a);
  EXPECT_EQ(a->blocks.count, 3) << "the second user still holds it";
  mem_pool_release(b);
  EXPECT_EQ(a->use_count, 0);
  mem_pool_release(p);

  // With an error pending nothing is handed out.
  DbMemPool* q = nullptr;
  c.error_code = -60;
  EXPECT_EQ(mem_pool_alloc(&c, &q, 2, 40, 2, 1), nullptr);
  c.error_code = 0;
  EXPECT_NE(mem_pool_alloc(&c, &q, 2, 40, 2, 1), nullptr);
  mem_pool_release(q);
}

std::vector<int> bits(DbFlags& f, int n) {
  std::vector<int> v;
  for (int i = 0; i < n; i++) {
    int s = flag_is_set(&f, i);
    v.push_back(f.inverted ? !s : s);
  }
  return v;
}

TEST(Flags, SetResetAndBounds) {
  DbEngine c;
  c.silent_errors = 1;
  DbFlags f;
  ASSERT_EQ(flag_init(&f, &c, 20), 0);
  EXPECT_EQ(flag_set(&f, 0), 0);
  EXPECT_EQ(flag_set(&f, 20), 0);
  EXPECT_EQ(flag_is_set(&f, 20), 1);
  EXPECT_EQ(flag_is_set(&f, 19), 0);
  EXPECT_EQ(flag_all_set(&f, 5, 4), 1) << "an empty range counts as all set";
  EXPECT_EQ(flag_set_range(&f, 3, 4), 0);
  EXPECT_EQ(flag_all_set(&f, 3, 6), 1);
  EXPECT_EQ(flag_all_set(&f, 3, 7), 0);
  flag_reset(&f, 4);
  EXPECT_EQ(flag_is_set(&f, 4), 0);
  EXPECT_EQ(flag_set(&f, 21), e_info);
  EXPECT_EQ(code_error_get(&c), e_info);
  EXPECT_EQ(flag_is_set(&f, 0), -1) << "with an error pending the bits are freed";
  EXPECT_EQ(f.bits, nullptr);
}

TEST(Flags, AndOrFoldTheInvertedFlags) {
  DbEngine c;
  // a = {1, 2}, b = {2, 3} over 0..4; a complement is kept as inverted bits.
  struct Case {
    bool a_inv, b_inv, is_and;
    std::vector<int> want;
  } cases[] = {
      {false, false, true, {0, 0, 1, 0, 0}},  {false, false, false, {0, 1, 1, 1, 0}},
      {true, true, true, {1, 0, 0, 0, 1}},    {true, true, false, {1, 1, 0, 1, 1}},
      {false, true, true, {0, 1, 0, 0, 0}},   {false, true, false, {1, 1, 1, 0, 1}},
      {true, false, true, {0, 0, 0, 1, 0}},   {true, false, false, {1, 0, 1, 1, 1}},
  };
  for (const auto& k : cases) {
    DbFlags a, b;
    flag_init(&a, &c, 4);
    flag_init(&b, &c, 4);
    flag_set(&a, 1);
    flag_set(&a, 2);
    flag_set(&b, 2);
    flag_set(&b, 3);
    if (k.a_inv) flag_invert(&a);
    if (k.b_inv) flag_invert(&b);
    if (k.is_and) flag_and(&a, &b);
    else flag_or(&a, &b);
    EXPECT_EQ(bits(a, 5), k.want) << k.a_inv << k.b_inv << k.is_and;
    flag_free(&a);
    flag_free(&b);
  }
}

TEST(Flags, EmptySecondSetMeansNoRecord) {
  DbEngine c;
  DbFlags a, none;
  flag_init(&a, &c, 4);
  flag_init(&none, &c, 0);
  flag_set(&a, 1);
  flag_or(&a, &none);
  EXPECT_EQ(bits(a, 5), (std::vector<int>{0, 1, 0, 0, 0}));
  flag_and(&a, &none);
  EXPECT_EQ(bits(a, 5), (std::vector<int>{0, 0, 0, 0, 0}));
  flag_free(&a);
}

}  // namespace
