// How full appends leave a tag's blocks: keys added in ascending order fill
// every block but the rightmost ones (the fewest levels), and keys added in
// any other order still give a sound tree. The tree is read from the file's
// bytes, apart from the tag's own movement: every separator equals its
// child's last key, every leaf lies at the same depth, the keys are in
// order; then seeks, walks both ways and an independent reader agree, also
// after most keys are removed again.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <numeric>
#include <random>

#include "index_fixture.h"

namespace {

using kvtest::IndexTest;
using kvtest::read_bytes;

// The blocks of each level left to right (their key counts) and the leaves' keys in order.
struct Shape {
  std::vector<std::vector<int>> keys;
  std::vector<std::string> leaf_keys;
};

struct TreeReader {
  const std::vector<unsigned char>& file;
  const DbTagHeader& h;

  const unsigned char* entry(long block, int i) const {
    size_t at = size_t(block) * 512 + 8 + size_t(i) * size_t(h.group_len);
    EXPECT_LE(at + size_t(h.group_len), file.size());
    return at + size_t(h.group_len) <= file.size() ? file.data() + at : nullptr;
  }
  std::string key(long block, int i) const {
    const unsigned char* e = entry(block, i);
    return e ? std::string(reinterpret_cast<const char*>(e) + 4, size_t(h.key_len)) : std::string();
  }
  long pointer(long block, int i) const {
    const unsigned char* e = entry(block, i);
    return e ? long(le_get32(e)) : 0;
  }

  // The last key under `block`.
  std::string visit(long block, size_t level, Shape* s) const {
    EXPECT_LT(level, 16u) << "deeper than any tree of this size";
    if (level >= 16) return {};
    int n = int(le_get32(file.data() + size_t(block) * 512));
    EXPECT_TRUE(n >= 0 && n <= h.keys_max) << "block " << block << " holds " << n;
    if (n < 0 || n > h.keys_max) return {};
    if (s->keys.size() <= level) s->keys.resize(level + 1);
    s->keys[level].push_back(n);
    if (pointer(block, n) == 0) {
      for (int i = 0; i < n; i++) s->leaf_keys.push_back(key(block, i));
      return n > 0 ? key(block, n - 1) : std::string();
    }
    std::string last;
    for (int i = 0; i <= n; i++) {
      last = visit(pointer(block, i), level + 1, s);
      if (i < n) {
        EXPECT_EQ(key(block, i), last) << "separator " << i << " of block " << block;
      }
    }
    return last;
  }
};

std::string name_key(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "N%06d", i);
  return std::string(buf) + std::string(40 - std::strlen(buf), ' ');
}

enum class Order { ascending, descending, random };

struct TagFill : IndexTest {
  std::map<int, long> recno_of;  // the keys present (indexes of name_key) and their records

  DbTag* names() { return tag("NAME"); }

  Shape shape() {
    EXPECT_EQ(data_flush(d), 0);
    std::vector<unsigned char> bytes = read_bytes(dir.file("PARTS.MDX"));
    DbTag* t = names();
    Shape s;
    TreeReader{bytes, t->header}.visit(t->header.root, 0, &s);
    return s;
  }

  void add_all(Order order, int n) {
    std::vector<int> keys(size_t(n), 0);
    std::iota(keys.begin(), keys.end(), 0);
    if (order == Order::descending) std::reverse(keys.begin(), keys.end());
    if (order == Order::random) std::shuffle(keys.begin(), keys.end(), std::mt19937(11));
    long recno = 0;
    for (int k : keys) {
      ASSERT_EQ(append({++recno, name_key(k), 1, ""}), 0);
      recno_of[k] = recno;
    }
  }

  // The file's tree and the tag's movement both hold exactly the keys of recno_of.
  void expect_sound(const char* what) {
    SCOPED_TRACE(what);
    std::vector<std::string> want;
    std::vector<long> recnos;
    for (auto [k, r] : recno_of) {
      want.push_back(name_key(k));
      recnos.push_back(r);
    }
    Shape s = shape();
    ASSERT_FALSE(s.keys.empty());
    EXPECT_EQ(s.leaf_keys, want);
    DbLock hold(&c);
    DbTag* t = names();
    for (auto [k, r] : recno_of) {
      ASSERT_EQ(tag_seek(t, name_key(k).data(), 40), 0) << k;
      ASSERT_EQ(tag_recno(t), r) << k;
    }
    std::vector<long> fwd = walk(t, false), back = walk(t, true);
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(fwd, recnos);
    EXPECT_EQ(back, recnos);
  }
};

TEST_F(TagFill, AppendsInAnyOrderLeaveASoundTreeAndInOrderAFullOne) {
  const int n = 2000;
  for (Order order : {Order::ascending, Order::descending, Order::random}) {
    SCOPED_TRACE(int(order));
    if (d) {
      ASSERT_EQ(data_close(d), 0);
      d = nullptr;
    }
    recno_of.clear();
    std::filesystem::remove(dir.file("PARTS.DBF"));
    std::filesystem::remove(dir.file("PARTS.MDX"));
    create();
    add_all(order, n);
    expect_sound("appended");
    expect_peer_agrees();
    Shape s = shape();
    int max = names()->header.keys_max;
    if (order == Order::ascending) {
      // Every block off the rightmost path full: a leaf holds the most keys,
      // a branch one less (its last child's key goes up), so the tree has
      // the fewest levels these keys can have.
      for (size_t level = 0; level < s.keys.size(); level++) {
        int full = level + 1 == s.keys.size() ? max : max - 1;
        const std::vector<int>& blocks = s.keys[level];
        EXPECT_EQ(std::count(blocks.begin(), blocks.end() - 1, full), long(blocks.size()) - 1) << "level " << level;
      }
      size_t levels = 1;
      for (long blocks = (n + max - 1) / max; blocks > 1; blocks = (blocks + max - 1) / max) levels++;
      EXPECT_EQ(s.keys.size(), levels);
    }
    // Two keys of three go again, in random order, and the rest still hold.
    std::vector<int> gone;
    for (int k = 0; k < n; k++)
      if (k % 3 != 0) gone.push_back(k);
    std::shuffle(gone.begin(), gone.end(), std::mt19937(5));
    {
      DbLock hold(&c);
      for (int k : gone) {
        ASSERT_EQ(tag_remove(names(), name_key(k).data(), recno_of[k]), 0) << k;
        recno_of.erase(k);
      }
    }
    expect_sound("after removals");
    // Keys after the last one go on filling the tree that is left.
    for (int k = n; k < n + 300; k++) {
      ASSERT_EQ(append({long(k) + 1, name_key(k), 1, ""}), 0);
      recno_of[k] = long(k) + 1;
    }
    expect_sound("appended after removals");
    expect_peer_agrees();
  }
}

}  // namespace
