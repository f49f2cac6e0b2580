// Device-independent bitmaps kept in .BMP files, for the bitmap objects of
// a layout: a bitmap from a file is loaded when its object is made, a
// bitmap held in memory is written beside the report file when the layout
// is saved, under the name the report file records, and every bitmap
// object is drawn from its memory when a page is produced.
//
// In memory a bitmap is the file without its 14-byte file header: the
// bitmap header (12 bytes, or 40 and more), the colour masks of a 40-byte
// header with bit fields, the palette, then the rows of pixels.
#pragma once

#include "engine/engine_api.h"
#include "platform/global_memory.h"
#include "platform/ui/gdi_object.h"

// The bitmap of a .BMP file without its file header, in global memory; 0
// when there is no such file or it is not a sound bitmap (nothing is read
// past the file's bytes). The file is looked for first under its name
// alone in the current directory, then as named.
HGLOBAL bitmap_load(const char* name, DB_ENGINE* c);
// Writes the bitmap as a .BMP file; 1 when written, 0 when not (a block
// that holds no sound bitmap, or a file that cannot be written, which then
// stays as it was).
int bitmap_save(const char* name, HGLOBAL bitmap);
// The pixels of a bitmap in memory; false when the block holds none.
bool bitmap_pixels(HGLOBAL bitmap, plat::Image& out);
