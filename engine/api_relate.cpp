// Public calls on relations. Each takes the context's lock and checks the
// pending error at its entry (DbCall); settings and clean-up go on whatever
// is pending.
#include <vector>

#include "engine/engine_api.h"

DbRelation* relate_init(DbDataFile* data) {
  if (!data) return nullptr;
  DbCall call(data->context);
  return call ? relate_init_in(data) : nullptr;
}

DbRelateNode* relate_create_slave(DbRelateNode* master, DbDataFile* slave, const char* expr,
                                  DbTag* tag) {
  if (!master || !slave || !expr) return nullptr;
  DbCall call(master->context);
  return call ? relate_create_slave_in(master, slave, expr, tag) : nullptr;
}

int relate_match_set(DbRelateNode* node, int mode) {
  if (!node) return -1;
  DbCall call(node->context, DbCall::run);
  return relate_match_set_in(node, mode);
}

int relate_error_action_set(DbRelateNode* node, int action) {
  if (!node) return -1;
  DbCall call(node->context, DbCall::run);
  return relate_error_action_set_in(node, action);
}

int relate_query_set(DbRelation* r, const char* text) {
  if (!r) return -1;
  DbCall call(r->top.context, DbCall::run);
  return relate_query_set_in(r, text);
}

int relate_sort_set(DbRelation* r, const char* text) {
  if (!r) return -1;
  DbCall call(r->top.context, DbCall::run);
  return relate_sort_set_in(r, text);
}

int relate_skip_enable(DbRelation* r, int flag) {
  if (!r) return -1;
  DbCall call(r->top.context, DbCall::run);
  return relate_skip_enable_in(r, flag);
}

namespace {

void tables_of(DbRelateNode* node, std::vector<DbDataFile*>* out) {
  out->push_back(node->data);
  for (DbRelateNode* s : node->slaves) tables_of(s, out);
}

// Going to an end that finds no record, or fails, while another station may
// be rebuilding an index of the relation's tables is done again once the
// rebuild is done (index_lookup_confirmed), from a fresh start: what was
// built from the rebuild's half-written files (bitmaps, a sorted set) is
// thrown away first.
int end_confirmed(DbRelation* r, int (*to_end)(DbRelation*)) {
  std::vector<DbDataFile*> tables;
  tables_of(&r->top, &tables);
  return index_lookup_confirmed(tables.data(), tables.size(), [&](bool again) {
    if (again) relate_reset(r);
    return to_end(r);
  });
}

}  // namespace

int relate_top(DbRelation* r) {
  if (!r) return -1;
  DbCall call(r->top.context);
  return call ? end_confirmed(r, relate_top_in) : -1;
}

int relate_bottom(DbRelation* r) {
  if (!r) return -1;
  DbCall call(r->top.context);
  return call ? end_confirmed(r, relate_bottom_in) : -1;
}

int relate_skip(DbRelation* r, long n) {
  if (!r) return -1;
  DbCall call(r->top.context);
  return call ? relate_skip_in(r, n) : -1;
}

int relate_unlock(DbRelation* r) {
  if (!r) return -1;
  DbCall call(r->top.context, DbCall::run);
  return relate_unlock_in(r);
}

int relate_free(DbRelation* r, int close_files) {
  if (!r) return -1;
  DbCall call(r->top.context, DbCall::run);
  return relate_free_in(r, close_files);
}
