// Query bitmaps over the master's record numbers, built from index tags.
//
// The filter's top operation is turned into a tree: .AND. and .OR. become
// branches, and a comparison of a tag's key expression with a constant
// becomes a leaf whose records are found by walking that key range in the
// tag. The bitmap only ever excludes records the filter rejects, so where a
// key cannot stand exactly for the compared value (numbers and dates keyed
// apart from the expression's doubles) the range is widened, and every
// record that remains is still tested by the filter itself.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engine/convert.h"
#include "engine/expr_table.h"
#include "engine/index.h"
#include "engine/query.h"

namespace {

// A leaf: the keys between two bounds of one tag (either may be open), or
// with `invert` every key outside them. Keys are compared whole.
struct Bound {
  bool set = false;
  std::string key;
  bool incl = true;
};

struct BNode {
  int comb = 0;  // 0 leaf, 1 and, 2 or
  std::vector<BNode> kids;
  DbRelateNode* node = nullptr;  // whose records it selects; none when mixed
  DbTag* tag = nullptr;
  Bound lo, hi;
  bool invert = false;
  bool keep_blank_dates = false;
};

enum Kind { EQ, NE, LT, LE, GT, GE };

bool same_ops(const DbExpr* a, int a_last, const DbExpr* b) {
  const DbExprOp& al = a->ops[static_cast<size_t>(a_last)];
  int n = static_cast<int>(b->ops.size());
  if (al.sub_size != n) return false;
  int a_first = a_last - n + 1;
  for (int i = 0; i < n; i++) {
    const DbExprOp& x = a->ops[static_cast<size_t>(a_first + i)];
    const DbExprOp& y = b->ops[static_cast<size_t>(i)];
    bool field_row = x.row <= kRowMemo && y.row <= kRowMemo;
    if (field_row) {
      // A field is the same field whether the reader gives text or value.
      if (x.field != y.field) return false;
      continue;
    }
    if (x.row != y.row || x.length != y.length || x.param_count != y.param_count) return false;
    if (x.row == kRowConstC || x.row == kRowConstN) {
      if (std::memcmp(a->constants.data() + x.position, b->constants.data() + y.position,
                      static_cast<size_t>(x.length)) != 0)
        return false;
    } else if (x.position != y.position || x.field != y.field || x.calc || y.calc) {
      return false;
    }
  }
  return true;
}

bool constant_side(const DbExpr* e, int last) {
  int first = last - e->ops[static_cast<size_t>(last)].sub_size + 1;
  for (int i = first; i <= last; i++) {
    int row = e->ops[static_cast<size_t>(i)].row;
    bool ok = row == kRowConstN || row == kRowConstC || (row >= 10 && row <= 13) ||
              (row == kRowStod || row == kRowCtod);
    if (!ok) return false;
  }
  return true;
}

// The kind of comparison a row makes, or -1.
int kind_of(int row) {
  if (row >= 26 && row <= 29) return EQ;
  if (row >= 30 && row <= 34) return NE;
  if (row >= 35 && row <= 37) return GE;
  if (row >= 38 && row <= 40) return LE;
  if (row >= 41 && row <= 43) return GT;
  if (row >= 44 && row <= 46) return LT;
  return -1;
}

int key_compare(DbTag* t, const unsigned char* key, const std::string& bound) {
  switch (tag_key_type(t)) {
    case 'N':
      return packed_compare(key, reinterpret_cast<const unsigned char*>(bound.data()));
    case 'D': {
      double x, y;
      std::memcpy(&x, key, 8);
      std::memcpy(&y, bound.data(), 8);
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    default: {
      int r = std::memcmp(key, bound.data(), bound.size());
      return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
  }
}

int key_compare(DbTag* t, const std::string& a, const std::string& b) {
  return key_compare(t, reinterpret_cast<const unsigned char*>(a.data()), b);
}

// Keeps the tighter of two lower (or upper) bounds.
void tighten(DbTag* t, Bound& a, const Bound& b, bool lower) {
  if (!b.set) return;
  if (!a.set) {
    a = b;
    return;
  }
  int c = key_compare(t, b.key, a.key);
  if (c == 0) a.incl = a.incl && b.incl;
  else if (lower ? c > 0 : c < 0) a = b;
}

// Under .AND. the ranges of one tag become one range, walked once; bounds
// that cross leave it empty.
void merge_ranges(std::vector<BNode>& kids) {
  std::vector<BNode> out;
  for (BNode& kid : kids) {
    if (kid.comb == 0 && !kid.invert) {
      auto same = std::find_if(out.begin(), out.end(), [&](const BNode& m) {
        return m.comb == 0 && !m.invert && m.tag == kid.tag;
      });
      if (same != out.end()) {
        tighten(kid.tag, same->lo, kid.lo, true);
        tighten(kid.tag, same->hi, kid.hi, false);
        same->keep_blank_dates = same->keep_blank_dates && kid.keep_blank_dates;
        continue;
      }
    }
    out.push_back(std::move(kid));
  }
  kids = std::move(out);
}

struct Builder {
  DbQueryParts* q;

  // The relation node whose data file holds every field the operand reads.
  DbRelateNode* node_reading(int last) {
    const DbExpr* e = q->expr;
    int first = last - e->ops[static_cast<size_t>(last)].sub_size + 1;
    DbDataFile* file = nullptr;
    for (int i = first; i <= last; i++) {
      const DbExprOp& op = e->ops[static_cast<size_t>(i)];
      if (!op.field) continue;
      if (file && op.file != file) return nullptr;
      file = op.file;
    }
    return file ? find_node(&q->relation->top, file) : nullptr;
  }

  static DbRelateNode* find_node(DbRelateNode* n, DbDataFile* file) {
    if (n->data == file) return n;
    for (DbRelateNode* s : n->slaves)
      if (DbRelateNode* found = find_node(s, file)) return found;
    return nullptr;
  }

  static std::vector<DbTag*> usable_tags(DbDataFile* d) {
    std::vector<DbTag*> out;
    for (auto* x = static_cast<DbIndexFile*>(list_first(&d->indexes)); x;
         x = static_cast<DbIndexFile*>(list_next(&d->indexes, x)))
      for (auto* t = static_cast<DbTag*>(list_first(&x->tags)); t;
           t = static_cast<DbTag*>(list_next(&x->tags, t))) {
        if (t->filter || !t->expr || t->expr->trim) continue;
        if (tag_unique(t) == DB_UNIQUE_KEEP_FIRST || tag_descending(t)) continue;
        out.push_back(t);
      }
    return out;
  }

  std::optional<BNode> leaf(int last) {
    const DbExpr* e = q->expr;
    const DbExprOp& op = e->ops[static_cast<size_t>(last)];
    int k = kind_of(op.row);
    if (k < 0 || op.param_count != 2) return std::nullopt;
    int right = last - 1;
    int left = right - e->ops[static_cast<size_t>(right)].sub_size;
    if (left < 0 || !constant_side(e, right)) return std::nullopt;
    DbRelateNode* node = node_reading(left);
    if (!node) return std::nullopt;
    for (DbTag* t : usable_tags(node->data)) {
      if (!same_ops(e, left, t->expr)) continue;
      char* value = nullptr;
      if (expr_eval_part(q->expr, right, &value) != 0 || !value) return std::nullopt;
      BNode n;
      n.node = node;
      n.tag = t;
      if (tag_key_type(t) == 'C') return text_leaf(n, static_cast<Kind>(k), op, left, right, value);
      return number_leaf(n, static_cast<Kind>(k), right, value);
    }
    return std::nullopt;
  }

  // Text keys: the expression compares over the shorter length, and when
  // the prefixes are equal the longer side counts as the greater. Padding
  // the constant with the lowest or highest byte to the key length turns
  // each comparison into bounds on whole keys.
  std::optional<BNode> text_leaf(BNode n, Kind k, const DbExprOp& op, int left, int right,
                                 const char* value) {
    const DbExpr* e = q->expr;
    bool text_row = op.row == 26 || op.row == 30 || op.row == 31 || op.row == 35 ||
                    op.row == 38 || op.row == 41 || op.row == 44;
    int l = e->ops[static_cast<size_t>(left)].length;
    int rt = e->ops[static_cast<size_t>(right)].length;
    int key_len = n.tag->header.key_len;
    if (!text_row || l != key_len) return std::nullopt;
    if (l > rt) {
      if (k == GT) k = GE;
      if (k == LE) k = LT;
    } else if (l < rt) {
      if (k == LT) k = LE;
      if (k == GE) k = GT;
    }
    size_t cmp_len = static_cast<size_t>(l < rt ? l : rt);
    std::string low(value, cmp_len), high(value, cmp_len);
    low.resize(static_cast<size_t>(key_len), '\0');
    high.resize(static_cast<size_t>(key_len), '\xFF');
    switch (k) {
      case EQ: case NE:
        n.lo = {true, low, true};
        n.hi = {true, high, true};
        n.invert = k == NE;
        break;
      case GE: n.lo = {true, low, true}; break;
      case GT: n.lo = {true, high, false}; break;
      case LE: n.hi = {true, high, true}; break;
      case LT: n.hi = {true, low, false}; break;
    }
    return n;
  }

  // Number and date keys need not order exactly as the doubles the
  // expression compares: the bounds are widened by a hair and kept
  // inclusive, and inequality is left to the filter.
  std::optional<BNode> number_leaf(BNode n, Kind k, int right, const char* value) {
    int type = tag_key_type(n.tag);
    if (q->expr->ops[static_cast<size_t>(right)].row == kRowConstC || k == NE) return std::nullopt;
    double v;
    std::memcpy(&v, value, sizeof v);
    if (!std::isfinite(v)) return std::nullopt;
    double slack = std::fabs(v) * 1e-9 + 1e-9;
    unsigned char lo[16] = {}, hi[16] = {};
    size_t klen = type == 'N' ? DB_PACKED_LEN : 8;
    if (type == 'N') {
      packed_from_double(lo, v - slack);
      packed_from_double(hi, v + slack);
    } else if (type == 'D') {
      double a = v - slack, b = v + slack;
      std::memcpy(lo, &a, 8);
      std::memcpy(hi, &b, 8);
      n.keep_blank_dates = true;  // the filter sees a blank date as day 0
    } else {
      return std::nullopt;
    }
    if (k == EQ || k == GT || k == GE) n.lo = {true, std::string(reinterpret_cast<char*>(lo), klen), true};
    if (k == EQ || k == LT || k == LE) n.hi = {true, std::string(reinterpret_cast<char*>(hi), klen), true};
    return n;
  }

  std::optional<BNode> build(int last) {
    const DbExprOp& op = q->expr->ops[static_cast<size_t>(last)];
    if (op.row == kRowAnd || op.row == kRowOr) {
      BNode b;
      b.comb = op.row == kRowAnd ? 1 : 2;
      int j = last - 1;
      for (int k = 0; k < op.param_count; k++) {
        std::optional<BNode> kid = build(j);
        j -= q->expr->ops[static_cast<size_t>(j)].sub_size;
        if (!kid) {
          if (b.comb == 2) return std::nullopt;
          continue;
        }
        // .OR. inside .OR. (and .AND. inside .AND.) flatten.
        if (kid->comb == b.comb) {
          for (auto& g : kid->kids) b.kids.push_back(std::move(g));
        } else {
          b.kids.push_back(std::move(*kid));
        }
      }
      if (b.comb == 1) merge_ranges(b.kids);
      if (b.kids.empty()) return std::nullopt;
      if (b.kids.size() == 1) return std::move(b.kids.front());
      // An .OR. selects records of one data file only.
      b.node = b.kids.front().node;
      for (const BNode& kid : b.kids)
        if (kid.node != b.node) b.node = nullptr;
      if (b.comb == 2 && !b.node) return std::nullopt;
      return b;
    }
    return leaf(last);
  }
};

void set_bit(DbFlags* f, long rec) {
  if (f->bits && rec >= 1 && static_cast<unsigned long>(rec) <= f->max_index)
    f->bits[rec / 8] |= static_cast<unsigned char>(1u << (rec % 8));
}

bool below(DbTag* t, const unsigned char* key, const Bound& lo) {
  if (!lo.set) return false;
  int c = key_compare(t, key, lo.key);
  return c < 0 || (c == 0 && !lo.incl);
}

bool above(DbTag* t, const unsigned char* key, const Bound& hi) {
  if (!hi.set) return false;
  int c = key_compare(t, key, hi.key);
  return c > 0 || (c == 0 && !hi.incl);
}

bool blank_date(const BNode& n, const unsigned char* key) {
  if (!n.keep_blank_dates) return false;
  double x;
  std::memcpy(&x, key, 8);
  return x >= 1e99;
}

// Where the tag stands after seeking a bound, as a share of the tag.
int position_of(DbTag* t, const Bound& b, double open_end, double* at) {
  if (!b.set) {
    *at = open_end;
    return 0;
  }
  if (tag_seek(t, b.key.data(), static_cast<unsigned>(b.key.size())) < 0) return -1;
  *at = tag_eof(t) ? 1.0 : tag_position(t);
  return 0;
}

// Sets the bits of the records whose keys lie in the range; `order` (when
// given) gets their record numbers in the tag's order. A set lower bound
// was sought last: the tag stands there.
int walk_inside(DbTag* t, const BNode& n, DbFlags* f, std::vector<long>* order) {
  if (!n.lo.set && tag_top(t) < 0) return -1;
  // Keys ascend: once one is not below the range, none after it is.
  bool past_lo = !n.lo.set;
  while (!tag_eof(t)) {
    const unsigned char* key = tag_key(t);
    if (!key || above(t, key, n.hi)) break;
    if (past_lo || !below(t, key, n.lo)) {
      past_lo = true;
      long rec = tag_recno(t);
      set_bit(f, rec);
      if (order && rec >= 1 && static_cast<unsigned long>(rec) <= f->max_index) order->push_back(rec);
    }
    if (tag_skip(t, 1) != 1) break;
  }
  if (n.keep_blank_dates) {
    double blank = 1e99;
    if (tag_seek(t, &blank, 8) < 0) return -1;
    while (!tag_eof(t)) {
      set_bit(f, tag_recno(t));
      if (tag_skip(t, 1) != 1) break;
    }
  }
  return 0;
}

// Sets the bits of the records whose keys lie outside the range (blank
// dates excepted, which the range keeps).
int walk_outside(DbTag* t, const BNode& n, DbFlags* f) {
  if (n.lo.set) {
    if (tag_top(t) < 0) return -1;
    while (!tag_eof(t)) {
      const unsigned char* key = tag_key(t);
      if (!key || !below(t, key, n.lo) || blank_date(n, key)) break;
      set_bit(f, tag_recno(t));
      if (tag_skip(t, 1) != 1) break;
    }
  }
  if (n.hi.set) {
    if (tag_seek(t, n.hi.key.data(), static_cast<unsigned>(n.hi.key.size())) < 0) return -1;
    while (!tag_eof(t)) {
      const unsigned char* key = tag_key(t);
      if (!key || blank_date(n, key)) break;
      if (above(t, key, n.hi)) set_bit(f, tag_recno(t));
      if (tag_skip(t, 1) != 1) break;
    }
  }
  return 0;
}

// A range that covers half of the tag or more is walked the other way
// round: the keys outside it are set and the set is inverted. Only a range
// walked itself fills `order`; *listed tells whether it was.
int walk_leaf(const BNode& n, DbFlags* f, std::vector<long>* order, bool* listed) {
  DbTag* t = n.tag;
  if (index_refresh(t->index) < 0) return -1;
  double from = 0, to = 1;
  // The lower bound last: a walk inside the range starts where it stands.
  if (position_of(t, n.hi, 1.0, &to) < 0 || position_of(t, n.lo, 0.0, &from) < 0) return -1;
  bool outside = to - from >= 0.5;
  if (order) order->clear();
  if ((outside ? walk_outside(t, n, f) : walk_inside(t, n, f, order)) < 0) return -1;
  if (outside != n.invert) flag_invert(f);
  if (listed) *listed = order && !outside && !n.invert;
  return t->context->error_code < 0 ? -1 : 0;
}

int eval(const BNode& n, DbFlags* f, DB_ENGINE* c, unsigned long count,
         std::vector<long>* order = nullptr, bool* listed = nullptr) {
  if (n.comb == 0) {
    if (flag_init(f, c, count) < 0) return -1;
    return walk_leaf(n, f, order, listed);
  }
  if (eval(n.kids[0], f, c, count) < 0) return -1;
  for (size_t i = 1; i < n.kids.size(); i++) {
    DbFlags g{};
    if (eval(n.kids[i], &g, c, count) < 0) {
      flag_free(&g);
      return -1;
    }
    if (n.comb == 1) flag_and(f, &g);
    else flag_or(f, &g);
    flag_free(&g);
  }
  return 0;
}

}  // namespace

namespace {

// Builds the bitmap of one node from the branch that selects its records.
int build_for(const BNode& root, DbRelateNode* node) {
  DB_ENGINE* c = node->context;
  // The count as it is now, and the records the file holds of it: walks
  // over the bitmap read records within it without asking again.
  long count = data_count_held(node->data);
  if (count < 0) return -1;
  if (count == 0) return 0;
  DbFlags f{};
  bool ranged = root.comb == 0 && !root.invert && !root.keep_blank_dates && !tag_descending(root.tag);
  bool listed = false;
  node->range_listed = false;
  node->range_at = -1;
  node->hint_dir = 0;
  if (eval(root, &f, c, static_cast<unsigned long>(count), ranged ? &node->range_recs : nullptr,
           &listed) < 0) {
    flag_free(&f);
    node->range_recs.clear();
    // No memory or an unreadable tag: the filter alone decides.
    if (c->error_code == e_memory) code_error_set(c, 0);
    return -1;
  }
  flag_free(&node->bitmap);
  node->bitmap = f;
  node->range_tag = nullptr;
  if (ranged) {
    node->range_tag = root.tag;
    node->range_lo = root.lo.set ? root.lo.key : std::string();
    node->range_hi = root.hi.set ? root.hi.key : std::string();
    node->range_hi_incl = root.hi.incl;
    node->range_listed = listed;
  }
  return 0;
}

}  // namespace

int bitmap_past_range(const DbRelateNode* node, const unsigned char* key) {
  if (!node->range_tag || node->range_hi.empty() || !key) return 0;
  Bound hi;
  hi.set = true;
  hi.key = node->range_hi;
  hi.incl = node->range_hi_incl;
  return above(node->range_tag, key, hi) ? 1 : 0;
}

int query_bitmap_build(DbQueryParts* q) {
  Builder b{q};
  std::optional<BNode> root = b.build(static_cast<int>(q->expr->ops.size()) - 1);
  if (!root) return -1;
  if (root->node) return build_for(*root, root->node);
  // A top .AND. over several data files: one bitmap per file, each from the
  // operands that read it.
  std::vector<DbRelateNode*> nodes;
  for (const BNode& kid : root->kids)
    if (std::find(nodes.begin(), nodes.end(), kid.node) == nodes.end()) nodes.push_back(kid.node);
  int rc = 0;
  for (DbRelateNode* n : nodes) {
    BNode part;
    part.comb = 1;
    part.node = n;
    for (const BNode& kid : root->kids)
      if (kid.node == n) part.kids.push_back(kid);
    const BNode& use = part.kids.size() == 1 ? part.kids.front() : part;
    if (build_for(use, n) < 0) rc = -1;
  }
  return rc;
}
