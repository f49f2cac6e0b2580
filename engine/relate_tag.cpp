// The relation's view of index tags.
#include "engine/index.h"
#include "engine/relate.h"

int relate_tag_type(DbTag* tag) { return tag_key_type(tag); }
int relate_tag_key_len(DbTag* tag) { return tag->header.key_len; }

int relate_tag_seek(DbTag* tag, const char* key, int len) {
  // Another station may have changed the index since it was last read.
  if (index_refresh(tag->index) < 0) return -1;
  return tag_seek(tag, key, static_cast<unsigned>(len));
}

int relate_tag_eof(DbTag* tag) { return tag_eof(tag); }
long relate_tag_recno(DbTag* tag) { return tag_recno(tag); }
const char* relate_tag_key(DbTag* tag) { return reinterpret_cast<const char*>(tag_key(tag)); }
long relate_tag_skip(DbTag* tag, long n) { return tag_skip(tag, n); }
