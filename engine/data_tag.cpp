// Tag hooks of a data file: the selected tag.
#include "engine/data.h"

void data_tag_select(DbDataFile* d, DbTag* tag) { d->tag_selected = tag; }

DbTag* data_tag_selected(DbDataFile* d) { return d->tag_selected; }
