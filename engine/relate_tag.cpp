// The relation's view of index tags. Until production indexes are read a
// data file has no tags, so none of these is reached with a tag.
#include "engine/relate.h"

int relate_tag_type(DbTag*) { return 0; }
int relate_tag_key_len(DbTag*) { return 0; }
int relate_tag_seek(DbTag*, const char*, int) { return -1; }
int relate_tag_eof(DbTag*) { return 1; }
long relate_tag_recno(DbTag*) { return -2; }
const char* relate_tag_key(DbTag*) { return nullptr; }
long relate_tag_skip(DbTag*, long) { return 0; }
