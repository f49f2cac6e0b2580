// Helpers shared by the index files: little-endian fields, the tag header
// image, and dropping a tag's cached blocks.
#pragma once

#include <cstdint>

#include "engine/bytes.h"
#include "engine/index.h"


void mdx_header_decode(DbTagHeader* h, const unsigned char* image24);
void mdx_header_encode(const DbTagHeader* h, unsigned char* image24);
// Forgets every block the tag holds (changed ones must be flushed first).
void mdx_drop_buffers(DbTag* t);
// The key of the data file's current record for this tag in `key`;
// blank dates key the same whichever way the date was made.
int mdx_record_key(DbTag* t, unsigned char* key);
// 1 when the tag's key is surely the same for both images of a record of
// its data file without making either: a tag without a filter keyed on one
// field whose bytes are equal. 0 says nothing (the keys are made and compared).
int mdx_key_unchanged(const DbTag* t, const char* old_record, const char* new_record);

// A new buffer (a block read, a split's new block) joins the tag's buffers
// in front, found by its number.
void spare_add_front(DbTag* t, DbBlock* b);
// The path's bottom block leaves the path and stays a spare.
void tag_path_pop(DbTag* t);
// The path's bottom block leaves the path as a buffer without a block (its
// block was given back to the file).
void tag_path_free(DbTag* t);
// The bottom block of the path, null when the tag is not positioned.
inline DbBlock* tag_path_bottom(const DbTag* t) { return t->depth ? t->path[t->depth - 1] : nullptr; }
// Writes the changed blocks of every tag, in file order.
int index_flush_blocks(DbIndexFile* x);
// Bytes of blocks an index file keeps in memory besides its tags' paths
// (tests make it small to see blocks leave and come back).
extern long g_index_resident_bytes;
