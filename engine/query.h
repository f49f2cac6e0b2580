// Query parts and bitmaps: a relation's filter split into the operands of its
// top-level .AND., ordered so that those needing fewer data files are tested
// first, and a bitmap over the master's record numbers built from the index
// tags whose keys the filter compares with constants.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/relate.h"

// One side of a comparison a part makes (or the field a part tests): a
// constant's bytes, or where the field lies in its file's record.
struct DbQuerySide {
  const char* fixed = nullptr;
  DbDataFile* file = nullptr;
  int offset = 0;
  int len = 0;
  double value = 0;  // a numeric constant
};

// A part that compares a field with a constant (or another field),
// searches a text, tests a logical field or the deletion mark, tested on
// the record's bytes without running the expression. No routine: the part
// is evaluated.
struct DbQueryTest {
  bool (*passes)(const DbQueryTest&) = nullptr;
  int compare = 0;  // what the operation asks: '=', '#', '<', 'l' (<=), '>', 'g' (>=)
  int length = 0;   // text: bytes compared
  int equal_prefix = 0;
  DbQuerySide side[2];
  int field_side = 0;  // whole numbers: the side that is a field
  uint64_t whole = 0;  // whole numbers: the constant
  bool negate = false;  // under .NOT.
};

struct DbQueryParts {
  DbRelation* relation = nullptr;
  DbExpr* expr = nullptr;
  std::vector<int> parts;                          // last operation of each part, in test order
  std::vector<std::vector<DbRelateNode*>> nodes;  // the nodes each part reads
  std::vector<DbQueryTest> tests;                  // one per part, in the same order
  bool one_test = false;  // one part, tested on the master's record alone
};

DbQueryParts* query_parts_create(DbRelation* r, DbExpr* expr);
void query_parts_free(DbQueryParts* q);
int query_parts_prepare(DbQueryParts* q);
int query_parts_order(DbQueryParts* q);
int query_parts_eval(DbQueryParts* q);

// Builds the top node's bitmap; 0 built or not needed, -1 none could be built.
int query_bitmap_build(DbQueryParts* q);

// A bitmap without bit memory lets every record pass. Record numbers beyond
// what it covered when built were added later and do not pass.
int bitmap_test(DbFlags* bitmap, long recno);
// Distance from recno to the next record number that passes, forward
// (direction > 0) or backward; 0 when there is none.
long bitmap_next(DbFlags* bitmap, long recno, int direction);

int code_options();
