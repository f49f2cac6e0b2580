// Tag hooks of a data file: finding and selecting tags, seeking and
// reindexing through the data file's index files.
#include "engine/data.h"
#include "engine/index_data.h"

DbTag* data_tag_find(DbDataFile* d, const char* name) {
  DbLock lock(d->context);
  if (d->context->error_code < 0) return nullptr;
  return index_data_tag_find(d, name);
}

void data_tag_select(DbDataFile* d, DbTag* tag) { d->tag_selected = tag; }

DbTag* data_tag_selected(DbDataFile* d) { return d->tag_selected; }

int data_seek(DbDataFile* d, const char* text) {
  DbLock lock(d->context);
  if (d->context->error_code < 0) return -1;
  return index_data_seek(d, text, -1);
}

int data_seek_double(DbDataFile* d, double value) {
  DbLock lock(d->context);
  if (d->context->error_code < 0) return -1;
  return index_data_seek_double(d, value);
}

int data_reindex(DbDataFile* d) {
  DbLock lock(d->context);
  if (d->context->error_code < 0) return -1;
  return index_data_reindex(d);
}
