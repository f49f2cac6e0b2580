// Query bitmaps over the master's record numbers, built from index tags.
//
// The filter's top operation is turned into a tree: .AND. and .OR. become
// branches, and a comparison of a tag's key expression with a constant
// becomes a leaf whose records are found by walking that key range in the
// tag. The bitmap only ever excludes records the filter rejects, so where a
// key cannot stand exactly for the compared value (numbers and dates keyed
// apart from the expression's doubles) the range is widened, and every
// record that remains is still tested by the filter itself.
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

// What a leaf keeps: keys k with cmp(k, key) in the kind's relation.
enum Kind { EQ, NE, LT, LE, GT, GE };

struct BNode {
  int comb = 0;  // 0 leaf, 1 and, 2 or
  std::vector<BNode> kids;
  DbTag* tag = nullptr;
  Kind kind = EQ;
  std::string key;  // compared over its own length
  bool keep_blank_dates = false;
};

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
      int len = x.row == kRowConstN ? 8 : x.length;
      if (std::memcmp(a->constants.data() + x.position, b->constants.data() + y.position,
                      static_cast<size_t>(len)) != 0)
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

struct Builder {
  DbQueryParts* q;
  DbDataFile* d;

  std::vector<DbTag*> usable_tags() {
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
    for (DbTag* t : usable_tags()) {
      if (!same_ops(e, left, t->expr)) continue;
      char* value = nullptr;
      if (expr_eval_part(q->expr, right, &value) != 0 || !value) return std::nullopt;
      int type = tag_key_type(t);
      BNode n;
      n.tag = t;
      n.kind = static_cast<Kind>(k);
      if (type == 'C') {
        if (op.row != 26 && op.row != 30 && op.row != 31 && op.row != 35 && op.row != 38 &&
            op.row != 41 && op.row != 44)
          return std::nullopt;
        // The expression compares over the shorter length; when the
        // prefixes are equal the longer side counts as the greater.
        int l = e->ops[static_cast<size_t>(left)].length;
        int rt = e->ops[static_cast<size_t>(right)].length;
        if (l != t->header.key_len) return std::nullopt;
        int cmp_len = l < rt ? l : rt;
        n.key.assign(value, static_cast<size_t>(cmp_len));
        if (l > rt) {
          if (n.kind == GT) n.kind = GE;  // longer values with the prefix are greater
          if (n.kind == LE) n.kind = LT;
        } else if (l < rt) {
          if (n.kind == LT) n.kind = LE;
          if (n.kind == GE) n.kind = GT;
        }
        return n;
      }
      double v;
      int ctype = e->ops[static_cast<size_t>(right)].row == kRowConstC ? 'C' : 0;
      if (ctype) return std::nullopt;
      std::memcpy(&v, value, sizeof v);
      if (!std::isfinite(v) || n.kind == NE) return std::nullopt;
      // Widen by a little: the key of a number or date need not order
      // exactly as the doubles the expression compares.
      double slack = std::fabs(v) * 1e-9 + 1e-9;
      unsigned char lo[16] = {}, hi[16] = {};
      if (type == 'N') {
        packed_from_double(lo, v - slack);
        packed_from_double(hi, v + slack);
      } else if (type == 'D') {
        double a = v - slack, b = v + slack;
        std::memcpy(lo, &a, 8);
        std::memcpy(hi, &b, 8);
        n.keep_blank_dates = true;
      } else {
        return std::nullopt;
      }
      unsigned klen = type == 'N' ? DB_PACKED_LEN : 8;
      if (n.kind == EQ) {
        BNode a = n, b = n;
        a.kind = GE;
        a.key.assign(reinterpret_cast<char*>(lo), klen);
        b.kind = LE;
        b.key.assign(reinterpret_cast<char*>(hi), klen);
        BNode both;
        both.comb = 1;
        both.kids = {a, b};
        return both;
      }
      bool lower = n.kind == GT || n.kind == GE;
      n.kind = lower ? GE : LE;
      n.key.assign(reinterpret_cast<char*>(lower ? lo : hi), klen);
      return n;
    }
    return std::nullopt;
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
      if (b.kids.empty()) return std::nullopt;
      if (b.kids.size() == 1) return std::move(b.kids.front());
      return b;
    }
    return leaf(last);
  }
};

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

bool kind_holds(Kind k, int c) {
  switch (k) {
    case EQ: return c == 0;
    case NE: return c != 0;
    case LT: return c < 0;
    case LE: return c <= 0;
    case GT: return c > 0;
    default: return c >= 0;
  }
}

void set_bit(DbFlags* f, long rec) {
  if (rec >= 1 && static_cast<unsigned long>(rec) <= f->max_index)
    flag_set(f, static_cast<unsigned long>(rec));
}

// Sets the bits of the records whose keys lie in the leaf's range: from the
// first key of the range (a seek, or the top for an upper bound alone) while
// the keys stay inside it.
int walk_leaf(const BNode& n, DbFlags* f) {
  DbTag* t = n.tag;
  DB_ENGINE* c = t->context;
  Kind k = n.kind == NE ? EQ : n.kind;  // NE walks the equal keys and inverts
  if (index_refresh(t->index) < 0) return -1;
  int rc = k == LT || k == LE ? tag_top(t)
                              : tag_seek(t, n.key.data(), static_cast<unsigned>(n.key.size()));
  if (rc < 0) return -1;
  while (!tag_eof(t)) {
    const unsigned char* key = tag_key(t);
    if (!key) break;
    int cmp = key_compare(t, key, n.key);
    if (!(k == GT && cmp == 0)) {
      if (!kind_holds(k, cmp)) break;
      set_bit(f, tag_recno(t));
    }
    if (tag_skip(t, 1) != 1) break;
  }
  if (c->error_code < 0) return -1;
  if (n.keep_blank_dates) {
    // Blank dates key after every date; the filter sees them as day 0.
    double blank = 1e99;
    if (tag_seek(t, &blank, 8) < 0) return -1;
    while (!tag_eof(t)) {
      set_bit(f, tag_recno(t));
      if (tag_skip(t, 1) != 1) break;
    }
  }
  if (n.kind == NE) flag_invert(f);
  return c->error_code < 0 ? -1 : 0;
}

int eval(const BNode& n, DbFlags* f, DB_ENGINE* c, unsigned long count) {
  if (n.comb == 0) {
    if (flag_init(f, c, count) < 0) return -1;
    return walk_leaf(n, f);
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

int query_bitmap_build(DbQueryParts* q) {
  DbRelation* r = q->relation;
  DbDataFile* d = r->top.data;
  DB_ENGINE* c = r->top.context;
  long count = data_reccount(d);
  if (count < 0) return -1;
  Builder b{q, d};
  std::optional<BNode> root = b.build(static_cast<int>(q->expr->ops.size()) - 1);
  if (!root) return -1;
  if (count == 0) return 0;
  DbFlags f{};
  if (eval(*root, &f, c, static_cast<unsigned long>(count)) < 0) {
    flag_free(&f);
    // No memory or an unreadable tag: the filter alone decides.
    if (c->error_code == e_memory) code_error_set(c, 0);
    return -1;
  }
  flag_free(&r->top.bitmap);
  r->top.bitmap = f;
  return 0;
}
