// Circular doubly-linked lists of nodes that start with DbNode links.
#include "engine/pool.h"

namespace {
DbNode* node_of(void* p) { return static_cast<DbNode*>(p); }
}  // namespace

void list_add(DbList* list, void* node) { list_add_after(list, list->last, node); }

void list_add_after(DbList* list, void* anchor, void* p) {
  DbNode* n = node_of(p);
  if (!list->last) {
    n->next = n->prev = n;
    list->last = n;
  } else {
    DbNode* a = anchor ? node_of(anchor) : list->last;
    n->prev = a;
    n->next = a->next;
    a->next->prev = n;
    a->next = n;
    if (a == list->last) list->last = n;
  }
  list->count++;
}

void list_add_before(DbList* list, void* anchor, void* p) {
  DbNode* n = node_of(p);
  if (!list->last) {
    n->next = n->prev = n;
    list->last = n;
  } else {
    DbNode* a = anchor ? node_of(anchor) : list->last->next;
    n->next = a;
    n->prev = a->prev;
    a->prev->next = n;
    a->prev = n;
  }
  list->count++;
}

void* list_first(const DbList* list) { return list->last ? list->last->next : nullptr; }

void* list_last(const DbList* list) { return list->last; }

void* list_next(const DbList* list, void* node) {
  if (!node) return list_first(list);
  if (node == list->last) return nullptr;
  return node_of(node)->next;
}

void* list_prev(const DbList* list, void* node) {
  if (!node) return list->last;
  if (node == list_first(list)) return nullptr;
  return node_of(node)->prev;
}

void list_remove(DbList* list, void* p) {
  if (!p) return;
  DbNode* n = node_of(p);
  if (list->selected == n) list->selected = n->prev == n ? nullptr : n->prev;
  n->prev->next = n->next;
  n->next->prev = n->prev;
  if (list->last == n) list->last = n->prev == n ? nullptr : n->prev;
  n->next = n->prev = nullptr;
  list->count--;
}

void* list_pop(DbList* list) {
  void* n = list->last;
  list_remove(list, n);
  return n;
}

int list_contains(const DbList* list, const void* node) {
  for (void* n = list_first(list); n; n = list_next(list, n))
    if (n == node) return 1;
  return 0;
}
