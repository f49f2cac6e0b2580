// Query parts: the filter split at its top-level .AND. into operands, each
// with the relation nodes whose records it reads, tested cheapest first so
// that slave records are read only for master records that pass the rest.
#include "engine/query.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

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
  std::vector<size_t> idx(n);
  for (size_t i = 0; i < n; i++) idx[i] = i;
  std::stable_sort(idx.begin(), idx.end(),
                   [q](size_t a, size_t b) { return q->nodes[a].size() < q->nodes[b].size(); });
  std::vector<int> parts;
  std::vector<std::vector<DbRelateNode*>> nodes;
  for (size_t i : idx) {
    parts.push_back(q->parts[i]);
    nodes.push_back(std::move(q->nodes[i]));
  }
  // What an earlier part reads is read already when a later one runs.
  for (size_t i = 0; i < n; i++)
    for (size_t j = i + 1; j < n; j++)
      std::erase_if(nodes[j], [&](DbRelateNode* x) {
        return std::find(nodes[i].begin(), nodes[i].end(), x) != nodes[i].end();
      });
  q->parts = std::move(parts);
  q->nodes = std::move(nodes);
  return 0;
}

int query_parts_eval(DbQueryParts* q) {
  DB_ENGINE* c = q->relation->top.context;
  for (size_t i = 0; i < q->parts.size(); i++) {
    for (DbRelateNode* n : q->nodes[i]) {
      if (n->read || !n->master) continue;
      int rc = relate_read_node(n);
      if (rc == DB_RELATE_101) return 0;
      if (rc != 0) return rc;
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

long bitmap_next(DbFlags* bitmap, long recno, int direction) {
  long max = static_cast<long>(bitmap->max_index);
  int step = direction < 0 ? -1 : 1;
  if (!bitmap->bits) {
    long r = recno + step;
    return r >= 1 ? step * (r - recno) : 0;
  }
  // Bytes (and runs of eight bytes) in which no record passes are passed
  // over whole: a sparse set is mostly such runs.
  const unsigned char* bits = bitmap->bits;
  unsigned char none = bitmap->inverted ? 0xFF : 0x00;
  uint64_t none8 = bitmap->inverted ? ~uint64_t(0) : 0;
  long last_byte = max / 8;
  long r = recno + step;
  if (r < 1 && step > 0) r = 1;
  if (r > max && step < 0) r = max;
  while (r >= 1 && r <= max) {
    long b = r / 8;
    if (step > 0 && r % 8 == 0 && b + 7 <= last_byte) {
      uint64_t w;
      std::memcpy(&w, bits + b, 8);
      if (w == none8) {
        r += 64;
        continue;
      }
    } else if (step < 0 && r % 8 == 7 && b >= 7) {
      uint64_t w;
      std::memcpy(&w, bits + b - 7, 8);
      if (w == none8) {
        r -= 64;
        continue;
      }
    }
    if (bits[b] == none) {
      r = step > 0 ? (b + 1) * 8 : b * 8 - 1;
      continue;
    }
    int set = (bits[b] >> (r % 8)) & 1;
    if (set != bitmap->inverted) return (r - recno) * step;
    r += step;
  }
  return 0;
}

int code_options() { return 36; }
