// Replays recorded drawings with cairo: onto a PDF page or into a bitmap.
#pragma once

#include <string>

#include "platform/ui/dc.h"

typedef struct _cairo cairo_t;

namespace plat {

// Draws the record; device units are multiplied by scale.
void render_record(cairo_t* cr, const DrawRecord& ops, double scale);
// Draws the record into the pixels of a bitmap (device units are pixels).
bool render_into(Image& image, const DrawRecord& ops);

}  // namespace plat
