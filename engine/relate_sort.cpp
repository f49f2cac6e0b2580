// The sorted set of a relation: every qualifying master record (with the
// records of the slaves that take part) goes through the sort engine once
// per top, keyed by the sort expression, ties in reading order. For
// backward movement the record-number sets already read are kept.
#include <cmath>
#include <cstring>

#include "engine/convert.h"
#include "engine/relate.h"

namespace {

int compare_dates(const void* a, const void* b, unsigned) {
  double x, y;
  std::memcpy(&x, a, 8);
  std::memcpy(&y, b, 8);
  if (std::fabs(x - y) < 1e-13) return 0;
  return x < y ? -1 : 1;
}

int compare_numbers(const void* a, const void* b, unsigned) {
  return packed_compare(static_cast<const unsigned char*>(a), static_cast<const unsigned char*>(b));
}

// Whether the sort expression reads a field of the node's data file.
bool sort_reads(const DbExpr* e, const DbRelateNode* node) {
  for (const DbExprOp& op : e->ops)
    if (op.field && op.file == node->data) return true;
  return false;
}

// Marks the nodes whose records make up each entry; true when the node
// takes part.
bool collect(DbRelation* r, DbRelateNode* node, bool scan_above) {
  bool is_scan = node->master && node->match_mode == DB_RELATE_SCAN;
  bool part = sort_reads(r->sort_expr, node) || (!is_scan && !scan_above);
  bool any_slave = false;
  for (DbRelateNode* s : node->slaves)
    if (collect(r, s, scan_above || is_scan)) any_slave = true;
  if (any_slave) {
    // When one slave of a node takes part, all of them do.
    for (DbRelateNode* s : node->slaves) s->sort_type = DB_RELATE_EXACT;
    part = true;
  }
  node->sort_type = part ? DB_RELATE_EXACT : DB_RELATE_SORT_SKIP;
  return part;
}

void list_participants(DbRelation* r, DbRelateNode* node) {
  if (node->sort_type == DB_RELATE_EXACT) r->sort_nodes.push_back(node);
  for (DbRelateNode* s : node->slaves) list_participants(r, s);
}

}  // namespace

int relate_build_sort(DbRelation* r) {
  DB_ENGINE* c = r->top.context;
  r->sort_expr = expr_parse_in(r->top.data, r->sort_text.c_str());
  if (!r->sort_expr) return -1;
  r->state = 'x';
  collect(r, &r->top, false);
  r->top.sort_type = DB_RELATE_EXACT;
  r->sort_nodes.clear();
  list_participants(r, &r->top);
  size_t k = r->sort_nodes.size();
  int key_len = expr_key_len(r->sort_expr);
  if (sort_init(&r->sort, c, static_cast<unsigned>(key_len), static_cast<unsigned>(4 * k)) < 0)
    return -1;
  r->sort_active = 1;
  switch (expr_type(r->sort_expr)) {
    case 'D': case 'd': sort_set_compare(&r->sort, compare_dates, DB_SORT_ORDER_OTHER); break;
    case 'N': case 'n': sort_set_compare(&r->sort, compare_numbers, DB_SORT_ORDER_PACKED); break;
    default: break;
  }
  std::vector<int32_t> info(k);
  uint32_t seq = 0;
  int rc = relate_top_in(r);
  while (rc == 0) {
    for (size_t i = 0; i < k; i++) {
      DbDataFile* d = r->sort_nodes[i]->data;
      info[i] = data_eof(d) || data_recno(d) < 1 ? 0 : static_cast<int32_t>(data_recno(d));
    }
    char* key = nullptr;
    if (expr_key_eval_in(r->sort_expr, &key) < 0) return -1;
    if (sort_put(&r->sort, ++seq, key, info.data()) < 0) return -1;
    rc = relate_skip_in(r, 1);
  }
  if (rc != DB_EOF) return rc;
  r->sort_count = seq;
  r->sort_got = r->sort_pos = 0;
  r->sort_eof = 0;
  r->state = 'y';
  if (sort_get_init(&r->sort) < 0) {
    r->sort_active = 0;
    return -1;
  }
  return 0;
}

// Positions the participating nodes on entry n of the sorted set: 0, 3 after
// the last, 4 before the first.
int relate_sort_read(DbRelation* r, long n) {
  size_t k = r->sort_nodes.size();
  if (n < 1) {
    r->sort_pos = 0;
    return DB_BOF;
  }
  const int32_t* recs = nullptr;
  std::vector<int32_t> current;
  if (n <= r->sort_got) {
    if (!r->skip_backward) return -1;
    recs = &r->recnos[static_cast<size_t>(n - 1) * k];
  } else {
    while (r->sort_got < n) {
      uint32_t seq;
      char *key, *info;
      int rc = r->sort_active ? sort_get(&r->sort, &seq, &key, &info) : 1;
      if (rc < 0) return -1;
      if (rc == 1) {
        r->sort_active = 0;  // the sort freed itself
        r->sort_eof = 1;
        r->sort_pos = r->sort_got + 1;
        data_go_eof(r->top.data);
        return DB_EOF;
      }
      r->sort_got++;
      current.assign(k, 0);
      if (k) std::memcpy(current.data(), info, 4 * k);
      if (r->skip_backward) r->recnos.insert(r->recnos.end(), current.begin(), current.end());
    }
    recs = current.data();
  }
  for (size_t i = 0; i < k; i++) {
    DbRelateNode* node = r->sort_nodes[i];
    long rec = recs[i];
    // Entries come in key order, their records scattered: each is read
    // alone, within the count the build found (a record packed away since
    // reads short and stands at the end).
    int rc = rec >= 1 ? relate_go_record(node->data, rec, 0) : DB_NO_RECORD;
    if (rc == DB_NO_RECORD) rc = data_go_eof(node->data);
    if (rc < 0) return rc;
    node->read = 1;
  }
  r->sort_pos = n;
  return 0;
}
