// One query over an open data file: a relation with a filter and an
// optional sort, walked row by row; the relation is unlocked and freed (the
// data file stays open) when the walk object goes.
#pragma once

#include <functional>
#include <string>

#include "dbmodel/list_lines.h"
#include "engine/engine_api.h"

struct DbRelation;

class TQueryWalk {
 public:
  explicit TQueryWalk(DbDataFile* data);
  ~TQueryWalk();
  TQueryWalk(const TQueryWalk&) = delete;
  TQueryWalk& operator=(const TQueryWalk&) = delete;

  bool Valid() const { return rel_ != nullptr; }
  // Sets the filter and the sort (null: none) and goes to the first
  // qualifying row: 0 when one qualifies, else the relation's status.
  int Top(const char* filter, const char* sort);
  // The next qualifying row: 0, or 3 after the last.
  int Skip();

 private:
  DbRelation* rel_ = nullptr;
};

// Clears the list and adds the line `line` makes at each live row the
// filter selects, in record order; a file that cannot be queried leaves
// the list as it was. The data file stays open.
void FillLinesByQuery(DbDataFile* data, const std::string& filter, TListLines* list,
                      const std::function<std::string()>& line);
