// Query bitmaps over the master's record numbers, built from index tags.
#include "engine/query.h"

int query_bitmap_build(DbQueryParts*) { return -1; }
