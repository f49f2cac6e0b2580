// Tag movement and key maintenance at the edges: the split of a full leaf,
// skips past the ends, seeks beyond the last key, removal of every key with
// the freed blocks used again, and a filtered tag that becomes empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "engine/block.h"
#include "engine/convert.h"
#include "engine/engine_api.h"
#include "engine/index_internal.h"
#include "index_fixture.h"

namespace {

using kvtest::IndexTest;
using kvtest::read_bytes;

const DbFieldInfo kCodeFields[] = {{"CODE", 'C', 10, 0}, {"QTY", 'N', 9, 2}, {nullptr, 0, 0, 0}};
const DbTagInfo kCodeTags[] = {{"CODE", "CODE", nullptr, 0, 0},
                               {"BIG", "CODE", "QTY > 100", 0, 0},
                               {nullptr, nullptr, nullptr, 0, 0}};

std::string code(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "K%03d", i);
  return std::string(buf) + std::string(10 - std::strlen(buf), ' ');
}

struct TagEdges : IndexTest {
  void SetUp() override { create(kCodeTags, kCodeFields); }
  void add(const std::string& k, double qty = 1) {
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign(data_field_at(d, 1), k.c_str());
    field_assign_double(data_field_at(d, 2), qty);
    ASSERT_EQ(data_append(d), 0);
  }
  DbBlock* root(DbTag* t) { return t->path[0]; }
  DbBlock* leaf(DbTag* t) { return t->path[t->depth - 1]; }
};

TEST_F(TagEdges, FullLeafSplitsIntoLowerAndUpperHalves) {
  DbLock hold(&c);  // the tag layer is the engine's inside
  for (int i = 0; i < 63; i++) add(code(i * 2));
  DbTag* t = tag("CODE");
  ASSERT_EQ(tag_top(t), 0);
  EXPECT_TRUE(block_is_leaf(root(t)));
  EXPECT_EQ(block_keys(root(t)), 63);
  add(code(1));  // joins the lower half
  ASSERT_EQ(tag_top(t), 0);
  ASSERT_FALSE(block_is_leaf(root(t)));
  EXPECT_EQ(block_keys(root(t)), 1);
  EXPECT_EQ(block_keys(leaf(t)), 33);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block_key(root(t), 0)), 10), code(62));
  ASSERT_EQ(tag_bottom(t), 0);
  EXPECT_EQ(block_keys(leaf(t)), 31);
}

TEST_F(TagEdges, SkipsSeeksAndGoesAtTheEnds) {
  DbLock hold(&c);  // the tag layer is the engine's inside
  for (int i = 0; i < 200; i++) add(code(i));
  DbTag* t = tag("CODE");
  ASSERT_EQ(tag_seek(t, code(198).data(), 10), 0);
  EXPECT_EQ(tag_skip(t, 10), 1);
  EXPECT_EQ(tag_recno(t), 200);
  EXPECT_EQ(tag_skip(t, -500), -199);
  EXPECT_EQ(tag_recno(t), 1);
  EXPECT_EQ(tag_skip(t, 150), 150);
  EXPECT_EQ(tag_recno(t), 151);
  EXPECT_EQ(tag_seek(t, "K1", 2), 0) << "a shorter key finds the first with that start";
  EXPECT_EQ(tag_recno(t), 101);
  EXPECT_EQ(tag_seek(t, "ZZZ", 3), DB_AFTER);
  EXPECT_TRUE(tag_eof(t));
  EXPECT_EQ(tag_go(t, code(50).data(), 51), 0);
  EXPECT_EQ(tag_go(t, code(50).data(), 52), 1);
  EXPECT_EQ(tag_go(t, "K050X     ", 51), DB_AFTER);
  ASSERT_EQ(tag_top(t), 0);
  EXPECT_LT(tag_position(t), 0.01);
  ASSERT_EQ(tag_bottom(t), 0);
  EXPECT_GT(tag_position(t), 0.98);
  // Data-file movement in tag order sees the same ends.
  data_tag_select(d, t);
  EXPECT_EQ(data_seek(d, "ZZZ"), DB_EOF);
  EXPECT_EQ(data_skip(d, -1), 0);
  EXPECT_EQ(data_recno(d), 200);
  EXPECT_EQ(data_skip(d, 1), DB_EOF);
  ASSERT_EQ(data_top(d), 0);
  EXPECT_EQ(data_skip(d, -1), DB_BOF);
  EXPECT_EQ(data_recno(d), 1);
}

// Under the index lock a leaf is judged against its parent once; every key
// is still found where one leaf ends and the next begins, walks cross the
// leaves both ways, and splits made under the same lock change nothing.
TEST_F(TagEdges, LockedSeeksAndWalksCrossLeaves) {
  DbLock hold(&c);  // the tag layer is the engine's inside
  for (int i = 0; i < 400; i += 2) add(code(i));
  DbTag* t = tag("CODE");
  ASSERT_EQ(index_lock(t->index), 0);
  auto check = [&](int step, int last) {
    for (int pass = 0; pass < 2; pass++) {  // the second over leaves already judged
      for (int i = 0; i <= last; i += step) {
        ASSERT_EQ(tag_seek(t, code(i).data(), 10), 0) << i;
        ASSERT_EQ(std::string(reinterpret_cast<char*>(tag_key(t)), 10), code(i));
        // Between two keys: the next one, across a leaf's end too.
        std::string between = code(i).substr(0, 4) + "A";
        ASSERT_EQ(tag_seek(t, between.data(), unsigned(between.size())), DB_AFTER) << i;
        if (i + step > last)
          ASSERT_TRUE(tag_eof(t));
        else
          ASSERT_EQ(std::string(reinterpret_cast<char*>(tag_key(t)), 10), code(i + step)) << i;
      }
    }
    std::vector<long> forward = walk(t, false), backward = walk(t, true);
    ASSERT_EQ(forward.size(), size_t(last / step + 1));
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, backward);
  };
  check(2, 398);
  // Keys between the others split every leaf while the lock is held.
  for (int i = 1; i < 400; i += 2) add(code(i));
  check(1, 399);
  ASSERT_EQ(index_unlock(t->index), 0);
  check(1, 399);
}

TEST_F(TagEdges, RemovingEveryKeyFreesBlocksForReuse) {
  DbLock hold(&c);  // the tag layer is the engine's inside
  const int n = 600;
  for (int i = 0; i < n; i++) add(code(i), 200);
  ASSERT_EQ(data_flush(d), 0);
  auto size_full = read_bytes(dir.file("PARTS.MDX")).size();
  std::vector<int> order(n);
  for (int i = 0; i < n; i++) order[size_t(i)] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  DbTag* t = tag("CODE");
  DbTag* big = tag("BIG");
  std::vector<long> left;
  for (int i = 0; i < n; i++) left.push_back(i + 1);
  for (int k = 0; k < n; k++) {
    int i = order[size_t(k)];
    ASSERT_EQ(tag_remove(t, code(i).data(), i + 1), 0) << k;
    ASSERT_EQ(tag_remove(big, code(i).data(), i + 1), 0) << k;
    EXPECT_EQ(tag_remove(t, code(i).data(), i + 1), DB_NO_RECORD);
    left.erase(std::find(left.begin(), left.end(), i + 1));
    if (k % 37 == 0 || k > n - 5) {
      ASSERT_EQ(walk(t, false), left) << k;
      auto back = walk(t, true);
      std::reverse(back.begin(), back.end());
      ASSERT_EQ(back, left) << k;
    }
  }
  ASSERT_EQ(tag_top(t), 0);
  EXPECT_TRUE(tag_eof(t));
  EXPECT_EQ(block_keys(root(t)), 0);
  ASSERT_EQ(data_flush(d), 0);
  auto b = read_bytes(dir.file("PARTS.MDX"));
  EXPECT_EQ(b[big->header_pos + 246], 0) << "the emptied filtered tag";
  // The same keys again take the freed blocks.
  for (int i = 0; i < n; i++) {
    ASSERT_EQ(tag_add(t, code(i).data(), i + 1), 0);
    ASSERT_EQ(tag_add(big, code(i).data(), i + 1), 0);
  }
  ASSERT_EQ(data_flush(d), 0);
  EXPECT_LE(read_bytes(dir.file("PARTS.MDX")).size(), size_full);
  EXPECT_EQ(walk(t, false).size(), size_t(n));
}

TEST_F(TagEdges, ABlockThatDoesNotFitItsParentIsReported) {
  DbLock hold(&c);  // the tag layer is the engine's inside
  for (int i = 0; i < 100; i++) add(code(i));
  ASSERT_EQ(data_flush(d), 0);
  DbTag* t = tag("CODE");
  ASSERT_EQ(tag_top(t), 0);
  long leaf_block = leaf(t)->number;
  int keys = block_keys(leaf(t));
  ASSERT_FALSE(block_is_leaf(root(t)));
  tag_release(t);
  // Another writer's half-done change: the first leaf holds keys of elsewhere.
  unsigned char bad[10];
  std::memcpy(bad, code(999).data(), 10);
  DbFile* f = &t->index->file;
  ASSERT_EQ(file_write(f, leaf_block * 512 + 8 + 16 * (keys - 1) + 4, bad, 10), 0);
  {
    DbLock hold(&c);  // the cache is the engine's inside: touched under the lock only
    index_cache_forget(t->index);  // read from the file as it is now, as a fresh open would
  }
  struct Case {
    bool locked;
  } cases[] = {{true}, {false}};  // at once either way: nothing else changes the file
  for (const Case& k : cases) {
    long waits = code_yield_count();
    if (k.locked) {
      ASSERT_EQ(index_lock(t->index), 0);
    }
    EXPECT_EQ(tag_seek(t, code(5).data(), 10), -1);
    EXPECT_EQ(code_error_set(&c, 0), e_index);
    EXPECT_EQ(code_yield_count(), waits);
    EXPECT_EQ(t->index->locked, k.locked ? 1 : 0);  // a lock taken to judge the block is given back
    if (k.locked) {
      ASSERT_EQ(index_unlock(t->index), 0);
    }
  }
}

// A walk that must start again from the root finds the entry it left with a
// seek. Where a damaged key leads that seek astray, the walk ends with the
// error instead of going back to an earlier key of the leaf for ever.
TEST_F(TagEdges, AWalkThatCannotFindItsPlaceAgainEndsWithTheError) {
  DbLock hold(&c);  // the tag layer is the engine's inside
  for (int i = 0; i < 150; i++) add(code(i));  // three leaves: the second has a key in its parent
  ASSERT_EQ(data_flush(d), 0);
  DbTag* t = tag("CODE");
  ASSERT_EQ(tag_top(t), 0);
  long first = leaf(t)->number;
  int keys = block_keys(leaf(t));
  ASSERT_FALSE(block_is_leaf(root(t)));
  long second = block_pointer(root(t), 1);
  tag_release(t);
  DbFile* f = &t->index->file;
  auto put_key = [&](long block, int entry, const std::string& key) {
    ASSERT_EQ(file_write(f, block * 512 + 8 + 16 * entry + 4, key.data(), 10), 0);
  };
  // The middle key of the first leaf out of place, where the seek for its
  // last key looks first; the second leaf does not fit its parent.
  put_key(first, (keys - 1) / 2, "zzzzzzzzzz");
  unsigned char count[4];
  ASSERT_EQ(file_read(f, second * 512, count, 4), 4u);
  put_key(second, int(le_get32(count)) - 1, code(999));
  {
    DbLock hold(&c);
    index_cache_forget(t->index);
  }
  for (bool locked : {false, true}) {
    SCOPED_TRACE(locked ? "locked" : "unlocked");
    if (locked) {
      ASSERT_EQ(index_lock(t->index), 0);
    }
    long waits = code_yield_count();
    ASSERT_EQ(tag_top(t), 0);
    long steps = 0;
    while (steps < 1000 && tag_skip(t, 1) == 1) steps++;
    EXPECT_EQ(steps, keys - 1) << "the walk ends where the first leaf does";
    EXPECT_EQ(code_error_set(&c, 0), e_index);
    EXPECT_EQ(code_yield_count(), waits);
    if (locked) {
      ASSERT_EQ(index_unlock(t->index), 0);
    }
  }
}

// Keys whose records lie beyond the stated count: another station's append
// that has its keys in but not yet its count. They are passed over like
// missing records, and a walk that finds only such keys ends as at an end.
TEST_F(IndexTest, KeysOfUnfinishedAppendsAreEnds) {
  DbLock hold(&c);  // the tag layer is the engine's inside
  create();
  auto set_count = [&](unsigned char n) {
    ASSERT_EQ(data_close(d), 0);
    auto b = read_bytes(name);
    b[4] = n;
    kvtest::write_bytes(name, b);
    d = data_open(&c, name.c_str());
    ASSERT_NE(d, nullptr);
    data_tag_select(d, tag("NAME"));
  };
  ASSERT_EQ(append({1, "ANVIL", 1, ""}), 0);
  set_count(0);
  EXPECT_EQ(data_bottom(d), DB_EOF);
  EXPECT_TRUE(data_eof(d));
  EXPECT_EQ(data_top(d), DB_EOF);

  set_count(1);
  ASSERT_EQ(append({2, "BOLT", 1, ""}), 0);
  ASSERT_EQ(append({3, "ADZE", 1, ""}), 0);
  set_count(2);  // record 3, ADZE, the lowest name, is not counted yet
  ASSERT_EQ(data_top(d), 0);
  EXPECT_EQ(data_recno(d), 1);
  EXPECT_EQ(data_skip(d, -1), DB_BOF);
  EXPECT_TRUE(data_bof(d));
  EXPECT_EQ(code_error_get(&c), 0);
}

}  // namespace

namespace {

// The blocks an index file keeps are shared by its tags. A tag sought alone
// for long takes the share of those left idle, so a large table sought by
// one tag keeps its blocks; a tag in use again gets its share back.
TEST_F(IndexTest, ATagSoughtAloneTakesTheBlocksOfIdleTags) {
  struct Restore {
    long was = g_index_resident_bytes;
    ~Restore() { g_index_resident_bytes = was; }
  } restore;
  create();
  DbIndexFile* x = tag("ID")->index;
  const long budget = 240;
  g_index_resident_bytes = budget * (x->block_size + block_order_room(x->block_size));
  constexpr long kRows = 6000;
  ASSERT_EQ(data_lock_file(d), 0);
  ASSERT_EQ(data_lock_index(d), 0);
  for (long id = 1; id <= kRows; id++)
    ASSERT_EQ(append({id, "PART " + std::to_string(id * 7919 % kRows), double(id % 500), ""}), 0);
  std::vector<long> order(kRows);
  for (long i = 0; i < kRows; i++) order[size_t(i)] = i + 1;
  std::shuffle(order.begin(), order.end(), std::mt19937(11));
  auto seek_every = [&](const char* name) {
    data_tag_select(d, data_tag_find(d, name));
    for (long id : order) {
      int rc = std::strcmp(name, "ID") == 0 ? data_seek_double(d, double(id))
                                            : data_seek(d, ("PART " + std::to_string(id % kRows)).c_str());
      ASSERT_EQ(rc, 0) << name << " " << id;
    }
  };
  auto kept = [&] {
    long n = 0;
    for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t; t = static_cast<DbTag*>(list_next(&x->tags, t)))
      n += t->buffers.count;
    return n;
  };
  DbTag* ids = tag("ID");
  DbTag* names = tag("NAME");
  seek_every("NAME");
  seek_every("ID");
  seek_every("ID");
  // The id tag's blocks are more than its share; the file keeps its budget.
  EXPECT_GT(ids->buffers.count, ids->spare_max);
  EXPECT_LE(kept(), budget + DB_TAG_MAX_DEPTH);
  seek_every("NAME");
  seek_every("NAME");
  EXPECT_GE(names->buffers.count, names->spare_max);
  EXPECT_LE(kept(), budget + DB_TAG_MAX_DEPTH);
  ASSERT_EQ(data_unlock(d), 0);
}

}  // namespace
