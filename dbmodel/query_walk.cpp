// The relation behind every query of the table classes.
#include "dbmodel/query_walk.h"

#include "engine/engine_api.h"

TQueryWalk::TQueryWalk(DbDataFile* data) : rel_(data ? relate_init(data) : nullptr) {}

TQueryWalk::~TQueryWalk() {
  if (!rel_) return;
  relate_unlock(rel_);
  relate_free(rel_, 0);
}

int TQueryWalk::Top(const char* filter, const char* sort) {
  if (!rel_) return -1;
  if (relate_query_set(rel_, filter) < 0) return -1;
  if (sort && relate_sort_set(rel_, sort) < 0) return -1;
  return relate_top(rel_);
}

int TQueryWalk::Skip() { return rel_ ? relate_skip(rel_, 1) : -1; }

void FillLinesByQuery(DbDataFile* data, const std::string& filter, TListLines* list,
                      const std::function<std::string()>& line) {
  TQueryWalk walk(data);
  if (!walk.Valid() || !list) return;
  int rc = walk.Top(filter.c_str(), nullptr);
  if (rc < 0) return;
  list->ClearLines();
  for (; rc == 0; rc = walk.Skip())
    if (!data_is_deleted(data)) list->AddLine(line().c_str());
}
