// Relations: a master data file walked in tag or record order, limited by a
// dBASE filter (the query), optionally sorted, with slave data files
// positioned on the records that match each master record. The program's
// table classes select every set of records through a relation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/data.h"
#include "engine/expr.h"
#include "engine/sort.h"

struct DbRelation;
struct DbQueryParts;

enum : int {
  DB_RELATE_EXACT = 108,
  DB_RELATE_SCAN = 109,
  DB_RELATE_APPROX = 110,
  DB_RELATE_SORT_SKIP = 120,  // a scan node outside the sorted set
  DB_RELATE_BLANK = 105,      // no match: slave on a blank record
  DB_RELATE_SKIP = 106,       // no match: pass the master record over
  DB_RELATE_TERMINATE = 107,  // no match: end the walk
  DB_RELATE_MOVED = 104,      // internal: moved within a scan
};

struct DbRelateNode {
  DbExpr* master_expr = nullptr;  // none for the top node
  int key_len = 0;
  DbTag* slave_tag = nullptr;  // none: the expression gives a record number
  int match_mode = DB_RELATE_EXACT;
  int sort_type = DB_RELATE_EXACT;
  int error_action = DB_RELATE_BLANK;
  std::string scan_key;
  int read = 0;
  int scan_pending = 0;  // blank while an earlier scan sibling delivers
  DbDataFile* data = nullptr;
  DbRelateNode* master = nullptr;
  std::vector<DbRelateNode*> slaves;
  DbFlags bitmap{};
  // When the bitmap came from one key range of one ascending tag: that tag
  // and the range's bounds (empty when open), so a walk by the tag starts
  // at the range and ends past it instead of testing every key.
  DbTag* range_tag = nullptr;
  std::string range_lo, range_hi;
  bool range_hi_incl = true;
  // The records of that range in the tag's order, taken in the same walk
  // that set their bits (only when the walk went through the range itself),
  // and the entry of the current record: a walk by the tag then goes from
  // entry to entry, each record read afresh and tested by the filter.
  std::vector<long> range_recs;
  bool range_listed = false;
  long range_at = -1;
  // The record-order walk over the bitmap: the record after `hint_from`
  // found while looking ahead, so the next step need not search again.
  long hint_from = 0, hint_next = 0;
  int hint_dir = 0;
  DbRelation* relation = nullptr;
  DB_ENGINE* context = nullptr;
  // Two settings a relation file keeps beside the match mode and the
  // no-match action; nothing reads them, they are carried unchanged.
  int setting_first = 0;
  int setting_third = 0;
  // The report engine's copy of this node's record: a group footer prints
  // the values of the record before the break.
  std::vector<char> report_record;
};

struct DbRelation {
  DbRelateNode top;
  std::vector<DbRelateNode*> sort_nodes;  // nodes whose records enter the sorted set
  std::vector<DbRelateNode*> scan_list;   // scan nodes, slaves before masters, then top
  std::string query_text;                 // empty: no query
  int locked = 0;
  DbSort sort{};
  int sort_active = 0;
  DbExpr* sort_expr = nullptr;
  std::string sort_text;
  std::vector<int32_t> recnos;  // record-number sets taken from the sort, one per entry
  int bitmaps_disabled = 0;
  int sort_eof = 0;
  long sort_got = 0;    // entries taken from the sort
  long sort_pos = 0;    // current entry of the sorted set (1-based)
  long sort_count = 0;  // entries of the sorted set
  DbQueryParts* query = nullptr;
  int initialised = 0;
  int state = 0;  // 'x' building the sorted set, 'y' ready
  int skip_backward = 0;
  int moving_back = 0;  // the current move goes backward: scans start at their last match
  std::vector<DbDataFile*> reading;  // tables whose reading guard the walk holds
};

// Gives back the reading guards a walk holds (its tables' rebuilds may go on).
void relate_reading_release(DbRelation* r);

DbRelation* relate_init_in(DbDataFile* data);
DbRelateNode* relate_create_slave_in(DbRelateNode* master, DbDataFile* slave, const char* expr,
                                     DbTag* tag);
int relate_match_set_in(DbRelateNode* node, int mode);
int relate_error_action_set_in(DbRelateNode* node, int action);
int relate_query_set_in(DbRelation* r, const char* text);
int relate_sort_set_in(DbRelation* r, const char* text);
int relate_skip_enable_in(DbRelation* r, int flag);

int relate_top_in(DbRelation* r);
int relate_bottom_in(DbRelation* r);
int relate_skip_in(DbRelation* r, long n);
int relate_eof(DbRelateNode* node);
int relate_next(DbRelateNode** node);

int relate_unlock_in(DbRelation* r);
int relate_free_in(DbRelation* r, int close_files);

// Shared by the relation files.
void relate_reset(DbRelation* r);
void relate_free_bitmaps(DbRelateNode* node);
// 1 when the key of the node's range tag lies past the range's upper bound.
int bitmap_past_range(const DbRelateNode* node, const unsigned char* key);
// Goes to record n of a walk that wants record `next` after it (0 none,
// -1 not known); 5 when the file no longer holds it.
int relate_go_record(DbDataFile* d, long n, long next);
int relate_read_node(DbRelateNode* node);
int relate_read_nodes(DbRelateNode* node);
void relate_blank_node(DbRelateNode* node);
int relate_build_sort(DbRelation* r);
int relate_sort_read(DbRelation* r, long n);

// What the relation and the bitmaps need of a tag.
int relate_tag_type(DbTag* tag);  // 'C', 'D' or 'N'
int relate_tag_key_len(DbTag* tag);
int relate_tag_seek(DbTag* tag, const char* key, int len);  // 0 found, 2 not, -1 error
int relate_tag_eof(DbTag* tag);
long relate_tag_recno(DbTag* tag);
const char* relate_tag_key(DbTag* tag);
long relate_tag_skip(DbTag* tag, long n);
