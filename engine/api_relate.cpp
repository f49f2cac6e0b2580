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

// A walk holds its tables' reading guards (DbReading) from its top or
// bottom until the relation is unlocked or freed: another station's
// rebuild waits for it meanwhile, so no walk passes over or meets twice a
// row that a pack renumbers, and a sorted set's record numbers stay those
// of its rows. 0, or -1 with the error reported.
int hold_reading(DbRelation* r) {
  if (!r->reading.empty()) return 0;
  std::vector<DbDataFile*> tables;
  tables_of(&r->top, &tables);
  for (DbDataFile* d : tables) {
    if (data_reading_enter(d) != 0) {
      relate_reading_release(r);
      return -1;
    }
    r->reading.push_back(d);
  }
  return 0;
}

int walk_from_end(DbRelation* r, int (*to_end)(DbRelation*)) {
  if (hold_reading(r) != 0) return -1;
  return to_end(r);
}

}  // namespace

void relate_reading_release(DbRelation* r) {
  while (!r->reading.empty()) {
    data_reading_leave(r->reading.back());
    r->reading.pop_back();
  }
}

int relate_top(DbRelation* r) {
  if (!r) return -1;
  DbCall call(r->top.context);
  return call ? walk_from_end(r, relate_top_in) : -1;
}

int relate_bottom(DbRelation* r) {
  if (!r) return -1;
  DbCall call(r->top.context);
  return call ? walk_from_end(r, relate_bottom_in) : -1;
}

int relate_skip(DbRelation* r, long n) {
  if (!r) return -1;
  DbCall call(r->top.context);
  if (!call) return -1;
  // A walk whose start held no guard (its tables were locked then) takes
  // one for the step.
  std::vector<DbDataFile*> tables;
  if (r->reading.empty()) tables_of(&r->top, &tables);
  DbReading reading(tables.data(), tables.size());
  return reading ? relate_skip_in(r, n) : -1;
}

int relate_unlock(DbRelation* r) {
  if (!r) return -1;
  DbCall call(r->top.context, DbCall::run);
  relate_reading_release(r);
  return relate_unlock_in(r);
}

int relate_free(DbRelation* r, int close_files) {
  if (!r) return -1;
  DbCall call(r->top.context, DbCall::run);
  relate_reading_release(r);
  return relate_free_in(r, close_files);
}
