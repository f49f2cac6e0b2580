// Query parts: the filter split at its top-level .AND. into operands, each
// with the relation nodes whose records it reads, tested cheapest first so
// that slave records are read only for master records that pass the rest.
#include "engine/query.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>

#include "engine/convert.h"

namespace {

// The last operation of each operand of the operation at `last`.
std::vector<int> operands(const DbExpr* e, int last) {
  const DbExprOp& op = e->ops[static_cast<size_t>(last)];
  std::vector<int> out(static_cast<size_t>(op.param_count));
  int j = last - 1;
  for (int k = op.param_count - 1; k >= 0; k--) {
    out[static_cast<size_t>(k)] = j;
    j -= e->ops[static_cast<size_t>(j)].sub_size;
  }
  return out;
}

void split(const DbExpr* e, int last, std::vector<int>& parts) {
  if (e->ops[static_cast<size_t>(last)].row == kRowAnd) {
    for (int o : operands(e, last)) split(e, o, parts);
  } else {
    parts.push_back(last);
  }
}

DbRelateNode* node_of(DbRelateNode* node, const DbDataFile* d) {
  if (node->data == d) return node;
  for (DbRelateNode* s : node->slaves)
    if (DbRelateNode* found = node_of(s, d)) return found;
  return nullptr;
}

int depth(const DbRelateNode* n) {
  int k = 0;
  while (n->master) n = n->master, k++;
  return k;
}

void add_once(std::vector<DbRelateNode*>& set, DbRelateNode* n) {
  if (std::find(set.begin(), set.end(), n) == set.end()) set.push_back(n);
}

// The comparisons of two numbers: the overloads after those of text.
constexpr int kRowEqN = kRowEqC + 2, kRowNeN = kRowNe2C + 1, kRowGeN = kRowGeC + 1,
              kRowLeN = kRowLeC + 1, kRowGtN = kRowGtC + 1, kRowLtN = kRowLtC + 1;

// The side of a comparison one operation gives, when it is a field of
// the record or a constant of the kind the comparison takes.
bool side_of(const DbExpr* e, int at, int kind, DbQuerySide* side) {
  const DbExprOp& op = e->ops[static_cast<size_t>(at)];
  if (op.sub_size != 1) return false;
  const bool number = kind == 'n';
  if ((number ? op.row == kRowFieldNDouble : (op.row == kRowFieldC || op.row == kRowFieldCCopy))) {
    if (!op.file || !op.field) return false;
    side->file = op.file;
    side->offset = op.position;
    side->len = number ? static_cast<int>(op.field->len) : op.length;
    return true;
  }
  if (op.row != (number ? kRowConstN : kRowConstC)) return false;
  side->fixed = e->constants.data() + op.position;
  side->len = op.length;
  if (number) std::memcpy(&side->value, side->fixed, sizeof side->value);
  return true;
}

// The usual text of a whole number field: blanks, then digits to its end
// (at most 15, so the value is exact). False for any other text, which is
// read the long way.
bool plain_whole(const char* p, int len, uint64_t* out) {
  if (len > 49) return false;  // read as its first 49 characters
  int i = 0;
  while (i < len && p[i] == ' ') i++;
  if (i == len || len - i > 15) return false;
  uint64_t v = 0;
  for (; i < len; i++) {
    unsigned d = unsigned(static_cast<unsigned char>(p[i])) - '0';
    if (d > 9) return false;
    v = v * 10 + d;
  }
  *out = v;
  return true;
}

// A side's number as the expression reads it.
double side_number(const DbQuerySide& s) {
  if (s.fixed) return s.value;
  const char* p = s.file->record + s.offset;
  uint64_t v;
  return plain_whole(p, s.len, &v) ? static_cast<double>(v) : str_to_double(p, s.len);
}

template <typename T>
bool ordered(int compare, T x, T y) {
  switch (compare) {
    case 'g': return x >= y;
    case 'l': return x <= y;
    case '>': return x > y;
    default: return x < y;
  }
}

// Numbers compare as doubles, equality bit for bit.
bool number_passes(const DbQueryTest& t) {
  double x = side_number(t.side[0]), y = side_number(t.side[1]);
  if (t.compare == '=' || t.compare == '#') {
    uint64_t a, b;
    std::memcpy(&a, &x, 8);
    std::memcpy(&b, &y, 8);
    return (a == b) == (t.compare == '=');
  }
  return ordered(t.compare, x, y);
}

// A field against a whole constant: a field text of digits alone is a
// whole number too, compared without doubles (both are exact, and neither
// is a negative zero).
bool whole_passes(const DbQueryTest& t) {
  const DbQuerySide& f = t.side[t.field_side];
  uint64_t v;
  if (!plain_whole(f.file->record + f.offset, f.len, &v)) return number_passes(t);
  if (t.compare == '=') return v == t.whole;
  if (t.compare == '#') return v != t.whole;
  return t.field_side == 0 ? ordered(t.compare, v, t.whole) : ordered(t.compare, t.whole, v);
}

const char* side_bytes(const DbQuerySide& s) { return s.fixed ? s.fixed : s.file->record + s.offset; }

bool text_passes(const DbQueryTest& t) {
  int cmp = std::memcmp(side_bytes(t.side[0]), side_bytes(t.side[1]), static_cast<size_t>(t.length));
  switch (t.compare) {
    case '=': return cmp == 0;
    case '#': return cmp != 0;
    case '<': return cmp ? cmp < 0 : t.equal_prefix != 0;
    case 'g': return !(cmp ? cmp < 0 : t.equal_prefix != 0);
    case '>': return cmp ? cmp > 0 : t.equal_prefix != 0;
    default: return !(cmp ? cmp > 0 : t.equal_prefix != 0);
  }
}

bool contains_passes(const DbQueryTest& t) {
  std::string_view within(side_bytes(t.side[1]), static_cast<size_t>(t.side[1].len));
  return within.find(std::string_view(side_bytes(t.side[0]), static_cast<size_t>(t.side[0].len))) !=
         std::string_view::npos;
}

bool deleted_passes(const DbQueryTest& t) { return t.side[0].file->record[0] == '*'; }

bool logical_passes(const DbQueryTest& t) {
  char c = t.side[0].file->record[t.side[0].offset];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't';
}

// A part "field <compare> constant" (or the other way round, or two
// fields) of numbers or of text, a text search, a logical field or
// DELETED(), any of them under .NOT., tested without the expression.
DbQueryTest test_of(const DbExpr* e, int last) {
  DbQueryTest t;
  const DbExprOp& op = e->ops[static_cast<size_t>(last)];
  if (op.row == kRowNot && op.param_count == 1 && last >= 1) {
    t = test_of(e, last - 1);
    if (!t.passes) return DbQueryTest{};
    t.negate = !t.negate;
    return t;
  }
  if ((op.row == kRowDeleted || op.row == kRowFieldL) && op.sub_size == 1) {
    if (!op.file || (op.row == kRowFieldL && !op.field)) return t;
    t.side[0].file = op.file;
    t.side[0].offset = op.position;
    t.passes = op.row == kRowDeleted ? deleted_passes : logical_passes;
    return t;
  }
  if (op.param_count != 2) return t;
  if (op.row == kRowContains) {
    std::vector<int> ends = operands(e, last);
    if (!side_of(e, ends[0], 'C', &t.side[0]) || !side_of(e, ends[1], 'C', &t.side[1])) return t;
    t.passes = contains_passes;
    return t;
  }
  int kind = 0, compare = 0;
  switch (op.row) {
    case kRowEqN: kind = 'n', compare = '='; break;
    case kRowNeN: kind = 'n', compare = '#'; break;
    case kRowGeN: kind = 'n', compare = 'g'; break;
    case kRowLeN: kind = 'n', compare = 'l'; break;
    case kRowGtN: kind = 'n', compare = '>'; break;
    case kRowLtN: kind = 'n', compare = '<'; break;
    case kRowEqC: kind = 'C', compare = '='; break;
    case kRowNe1C: case kRowNe2C: kind = 'C', compare = '#'; break;
    case kRowGeC: kind = 'C', compare = 'g'; break;
    case kRowLeC: kind = 'C', compare = 'l'; break;
    case kRowGtC: kind = 'C', compare = '>'; break;
    case kRowLtC: kind = 'C', compare = '<'; break;
    default: return t;
  }
  if (kind == 'n' && op.position != 8) return t;
  std::vector<int> ends = operands(e, last);
  if (!side_of(e, ends[0], kind, &t.side[0]) || !side_of(e, ends[1], kind, &t.side[1])) return t;
  t.compare = compare;
  t.length = op.position;
  t.equal_prefix = op.equal_prefix;
  t.passes = kind == 'C' ? text_passes : number_passes;
  if (kind == 'n') {
    // One field and one whole constant from 0 below 10^15.
    int k = t.side[0].fixed ? 1 : 0;
    double v = t.side[1 - k].value;
    bool whole = !t.side[k].fixed && t.side[1 - k].fixed && v >= 0 && v < 1e15 &&
                 v == std::floor(v) && !std::signbit(v);
    if (whole) {
      t.field_side = k;
      t.whole = static_cast<uint64_t>(v);
      t.passes = whole_passes;
    }
  }
  return t;
}

}  // namespace

DbQueryParts* query_parts_create(DbRelation* r, DbExpr* expr) {
  auto* q = new (std::nothrow) DbQueryParts;
  if (!q) {
    expr_free(expr);
    code_error(r->top.context, e_memory, nullptr);
    return nullptr;
  }
  q->relation = r;
  q->expr = expr;
  return q;
}

void query_parts_free(DbQueryParts* q) {
  if (!q) return;
  expr_free(q->expr);
  delete q;
}

int query_parts_prepare(DbQueryParts* q) {
  DbExpr* e = q->expr;
  q->parts.clear();
  q->nodes.clear();
  split(e, static_cast<int>(e->ops.size()) - 1, q->parts);
  for (int last : q->parts) {
    std::vector<DbRelateNode*> set;
    int first = last - e->ops[static_cast<size_t>(last)].sub_size + 1;
    for (int i = first; i <= last; i++) {
      const DbExprOp& op = e->ops[static_cast<size_t>(i)];
      if (!op.field || !op.file) continue;
      if (DbRelateNode* n = node_of(&q->relation->top, op.file)) add_once(set, n);
    }
    // A node is read only after its master: close each set upward.
    for (size_t i = 0; i < set.size(); i++)
      if (set[i]->master) add_once(set, set[i]->master);
    std::stable_sort(set.begin(), set.end(),
                     [](auto* a, auto* b) { return depth(a) < depth(b); });
    q->nodes.push_back(std::move(set));
  }
  DB_ENGINE* c = q->relation->top.context;
  if (c->optimise_off) return 0;
  if (query_bitmap_build(q) < 0) return -1;
  return 0;
}

int query_parts_order(DbQueryParts* q) {
  size_t n = q->parts.size();
  std::vector<DbQueryTest> found;
  for (int last : q->parts) found.push_back(test_of(q->expr, last));
  std::vector<size_t> idx(n);
  for (size_t i = 0; i < n; i++) idx[i] = i;
  // Among parts reading as many files, those tested on the bytes go first.
  std::stable_sort(idx.begin(), idx.end(), [&](size_t a, size_t b) {
    size_t x = q->nodes[a].size(), y = q->nodes[b].size();
    return x != y ? x < y : found[a].passes && !found[b].passes;
  });
  std::vector<int> parts;
  std::vector<std::vector<DbRelateNode*>> nodes;
  q->tests.clear();
  for (size_t i : idx) {
    parts.push_back(q->parts[i]);
    nodes.push_back(std::move(q->nodes[i]));
    q->tests.push_back(found[i]);
  }
  // What an earlier part reads is read already when a later one runs.
  for (size_t i = 0; i < n; i++)
    for (size_t j = i + 1; j < n; j++)
      std::erase_if(nodes[j], [&](DbRelateNode* x) {
        return std::find(nodes[i].begin(), nodes[i].end(), x) != nodes[i].end();
      });
  q->parts = std::move(parts);
  q->nodes = std::move(nodes);
  q->one_test = q->parts.size() == 1 && q->tests[0].passes &&
                std::none_of(q->nodes[0].begin(), q->nodes[0].end(), [](auto* n) { return n->master; });
  return 0;
}

int query_parts_eval(DbQueryParts* q) {
  DB_ENGINE* c = q->relation->top.context;
  DbAssertLocked(c);
  if (c->error_code < 0) return -1;
  // The usual filter: one comparison on the master's own fields.
  if (q->one_test) return q->tests[0].passes(q->tests[0]) != q->tests[0].negate ? 1 : 0;
  bool tested = q->tests.size() == q->parts.size();
  for (size_t i = 0; i < q->parts.size(); i++) {
    for (DbRelateNode* n : q->nodes[i]) {
      if (n->read || !n->master) continue;
      int rc = relate_read_node(n);
      if (rc == DB_RELATE_101) return 0;
      if (rc != 0) return rc;
    }
    if (tested && q->tests[i].passes) {
      if (q->tests[i].passes(q->tests[i]) == q->tests[i].negate) return 0;
      continue;
    }
    char* value = nullptr;
    if (expr_eval_part(q->expr, q->parts[i], &value) != 0 || !value) return -1;
    int32_t v;
    std::memcpy(&v, value, sizeof v);
    if (!v) return 0;
  }
  return c->error_code < 0 ? -1 : 1;
}

int bitmap_test(DbFlags* bitmap, long recno) {
  if (!bitmap->bits) return 1;
  if (recno < 1 || static_cast<unsigned long>(recno) > bitmap->max_index) return 0;
  int set = (bitmap->bits[recno / 8] >> (recno % 8)) & 1;
  return bitmap->inverted ? !set : set;
}

namespace {

// Bits 64w to 64w+63 of the set (bit r of byte r/8 is record r), read as
// passing bits; bytes past the set's last read as zeros before the flip.
uint64_t passing_word(const DbFlags* f, long w, size_t bytes) {
  uint64_t word = 0;
  size_t at = static_cast<size_t>(w) * 8;
  if (at + 8 <= bytes) {
    std::memcpy(&word, f->bits + at, 8);
  } else if (at < bytes) {
    std::memcpy(&word, f->bits + at, bytes - at);
  }
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return f->inverted ? ~word : word;
}

}  // namespace

long bitmap_next(DbFlags* bitmap, long recno, int direction) {
  long max = static_cast<long>(bitmap->max_index);
  int step = direction < 0 ? -1 : 1;
  if (!bitmap->bits) {
    long r = recno + step;
    return r >= 1 ? step * (r - recno) : 0;
  }
  long r = recno + step;
  if (r < 1 && step > 0) r = 1;
  if (r > max && step < 0) r = max;
  if (r < 1 || r > max) return 0;
  // A word at a time: a sparse set is mostly words in which nothing passes.
  size_t bytes = static_cast<size_t>(max / 8 + 1);
  long w = r / 64;
  int bit = static_cast<int>(r % 64);
  if (step > 0) {
    uint64_t word = passing_word(bitmap, w, bytes) & (~uint64_t(0) << bit);
    for (;;) {
      if (word) {
        long found = w * 64 + std::countr_zero(word);
        return found <= max ? found - recno : 0;
      }
      if (++w * 64 > max) return 0;
      word = passing_word(bitmap, w, bytes);
    }
  }
  uint64_t word = passing_word(bitmap, w, bytes);
  if (bit < 63) word &= (uint64_t(1) << (bit + 1)) - 1;
  for (;;) {
    if (word) {
      long found = w * 64 + 63 - std::countl_zero(word);
      return found >= 1 ? recno - found : 0;  // bit 0 stands for no record
    }
    if (w-- == 0) return 0;
    word = passing_word(bitmap, w, bytes);
  }
}

int code_options() { return 36; }
