// Tag hooks of a data file. Production indexes arrive with the index code;
// until then a data file has no index files and no tags.
#include "engine/data.h"

DbTag* data_tag_find(DbDataFile* d, const char* name) {
  DbLock lock(d->context);
  if (d->context->error_code < 0) return nullptr;
  if (d->context->report_tag_errors) code_error(d->context, e_tag_name, name);
  return nullptr;
}

void data_tag_select(DbDataFile* d, DbTag* tag) { d->tag_selected = tag; }

DbTag* data_tag_selected(DbDataFile* d) { return d->tag_selected; }

int data_seek(DbDataFile* d, const char*) {
  DbLock lock(d->context);
  if (d->context->error_code < 0) return -1;
  return DB_NO_TAG;
}

int data_seek_double(DbDataFile* d, double) {
  DbLock lock(d->context);
  if (d->context->error_code < 0) return -1;
  return DB_NO_TAG;
}

int data_reindex(DbDataFile* d) {
  DbLock lock(d->context);
  if (d->context->error_code < 0) return -1;
  return 0;
}
