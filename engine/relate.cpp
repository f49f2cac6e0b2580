// Relations: creation, settings, reset and release, unlocking, and the
// depth-first walk over the node tree.
#include "engine/relate.h"

#include <algorithm>
#include <new>

#include "engine/lock.h"
#include "engine/query.h"

namespace {

// Frees the slaves of a node; the data files they read are gathered once
// each, as one file may serve several nodes.
void free_node_tree(DbRelateNode* node, std::vector<DbDataFile*>& files) {
  for (DbRelateNode* s : node->slaves) {
    free_node_tree(s, files);
    if (s->data && std::find(files.begin(), files.end(), s->data) == files.end())
      files.push_back(s->data);
    delete s;
  }
  node->slaves.clear();
  expr_free(node->master_expr);
  node->master_expr = nullptr;
  flag_free(&node->bitmap);
}


void unlock_tree(DbRelateNode* node) {
  if (node->data) data_unlock_in(node->data);
  for (DbRelateNode* s : node->slaves) unlock_tree(s);
}

}  // namespace

void relate_free_bitmaps(DbRelateNode* node) {
  flag_free(&node->bitmap);
  node->bitmap = DbFlags{};
  node->range_tag = nullptr;
  node->range_recs.clear();
  node->range_listed = false;
  node->range_at = -1;
  node->hint_dir = 0;
  for (DbRelateNode* s : node->slaves) relate_free_bitmaps(s);
}

DbRelation* relate_init_in(DbDataFile* data) {
  DB_ENGINE* c = data->context;
  DbAssertLocked(c);
  auto* r = new (std::nothrow) DbRelation;
  if (!r) {
    code_error(c, e_memory, nullptr);
    return nullptr;
  }
  r->top.data = data;
  r->top.relation = r;
  r->top.context = c;
  r->sort.file.handle = -1;
  // Other stations may have appended since the file was opened: the count
  // is read afresh when the relation first moves.
  if (!data_count_cacheable(data)) data->header.num_recs = -1;
  return r;
}

DbRelateNode* relate_create_slave_in(DbRelateNode* master, DbDataFile* slave, const char* text,
                                     DbTag* tag) {
  DB_ENGINE* c = master->context;
  DbAssertLocked(c);
  DbExpr* e = expr_parse_in(master->data, text);
  if (!e) return nullptr;
  int key_len = expr_key_len(e);
  if (tag) {
    int tt = relate_tag_type(tag), et = expr_type(e);
    bool match = tt == et || (tt == 'D' && et == 'd') || (tt == 'N' && et == 'n');
    if (!match) {
      expr_free(e);
      if (c->index_option_a)
        code_error(c, e_relate,
                   "relate_create_slave() - master expression type does not match tag type");
      return nullptr;
    }
    int tag_len = relate_tag_key_len(tag);
    if (key_len > tag_len) key_len = tag_len;
  }
  auto* node = new (std::nothrow) DbRelateNode;
  if (!node) {
    expr_free(e);
    code_error(c, e_memory, nullptr);
    return nullptr;
  }
  node->master_expr = e;
  node->key_len = key_len;
  node->slave_tag = tag;
  node->data = slave;
  node->master = master;
  node->relation = master->relation;
  node->context = c;
  master->slaves.push_back(node);
  relate_reset(master->relation);
  return node;
}

int relate_match_set_in(DbRelateNode* node, int mode) {
  DbAssertLocked(node->context);
  int old = node->match_mode;
  if (mode != DB_RELATE_EXACT && mode != DB_RELATE_SCAN && mode != DB_RELATE_APPROX)
    return old;
  if (mode != old) {
    node->match_mode = mode;
    relate_reset(node->relation);
  }
  return old;
}

int relate_error_action_set_in(DbRelateNode* node, int action) {
  DbAssertLocked(node->context);
  int old = node->error_action;
  if (action == DB_RELATE_BLANK || action == DB_RELATE_SKIP || action == DB_RELATE_TERMINATE)
    node->error_action = action;
  return old;
}

int relate_query_set_in(DbRelation* r, const char* text) {
  DbAssertLocked(r->top.context);
  relate_reset(r);
  r->query_text = text ? text : "";
  return 0;
}

int relate_sort_set_in(DbRelation* r, const char* text) {
  DbAssertLocked(r->top.context);
  relate_reset(r);
  r->sort_text = text ? text : "";
  return 0;
}

int relate_skip_enable_in(DbRelation* r, int flag) {
  DbAssertLocked(r->top.context);
  if (r->skip_backward != (flag != 0)) relate_reset(r);
  r->skip_backward = flag != 0;
  return 0;
}

void relate_reset(DbRelation* r) {
  if (!r) return;
  r->scan_list.clear();
  r->sort_nodes.clear();
  if (r->sort_active) sort_free(&r->sort);
  r->sort_active = 0;
  expr_free(r->sort_expr);
  r->sort_expr = nullptr;
  r->recnos.clear();
  r->recnos.shrink_to_fit();
  query_parts_free(r->query);
  r->query = nullptr;
  relate_free_bitmaps(&r->top);
  r->sort_eof = 0;
  r->sort_got = r->sort_pos = r->sort_count = 0;
  r->bitmaps_disabled = 0;
  r->state = 0;
  r->initialised = 0;
}

int relate_eof(DbRelateNode* node) {
  if (!node) return 1;
  DbRelation* r = node->relation;
  if (r && r->state == 'y' && r->sort_eof && r->sort_pos > r->sort_count) return 1;
  return data_eof(node->data);
}

// Depth first: 1 went down to the first slave, 0 to the next sibling,
// -n went up n levels (to that ancestor's next sibling), 2 the walk ended.
int relate_next(DbRelateNode** node) {
  if (!node || !*node) return 2;
  DbRelateNode* n = *node;
  if (!n->slaves.empty()) {
    *node = n->slaves.front();
    return 1;
  }
  int up = 0;
  while (n->master) {
    auto& sib = n->master->slaves;
    for (size_t i = 0; i + 1 < sib.size(); i++)
      if (sib[i] == n) {
        *node = sib[i + 1];
        return up == 0 ? 0 : -up;
      }
    n = n->master;
    up++;
  }
  return 2;
}

int relate_unlock_in(DbRelation* r) {
  DbAssertLocked(r->top.context);
  if (r->locked) {
    unlock_tree(&r->top);
    r->locked = 0;
  }
  return 0;
}

int relate_free_in(DbRelation* r, int close_files) {
  DB_ENGINE* c = r->top.context;
  DbAssertLocked(c);
  // Clean-up runs even with an error pending; the error is put back after.
  DbQuietError quiet(c, DbQuietError::if_error);
  relate_unlock_in(r);
  relate_reset(r);
  std::vector<DbDataFile*> files{r->top.data};
  free_node_tree(&r->top, files);
  delete r;
  if (close_files)
    for (DbDataFile* d : files)
      if (d) data_close_in(d);
  quiet.finish();
  return code_error_get(c) < 0 ? -1 : 0;
}
