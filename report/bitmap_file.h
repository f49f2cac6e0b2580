// Device-independent bitmaps kept in .BMP files, for the bitmap objects of
// a layout: a bitmap from a file is loaded when its object is made, and a
// bitmap held in memory is written beside the report file when the layout
// is saved, under the name the report file records.
#pragma once

#include "engine/engine_api.h"
#include "platform/global_memory.h"

// The bitmap of a .BMP file without its file header, in global memory; 0
// when it cannot be had.
HGLOBAL bitmap_load(const char* name, DB_ENGINE* c);
// Writes the bitmap as a .BMP file; 1 when written, 0 when not.
int bitmap_save(const char* name, HGLOBAL bitmap);
