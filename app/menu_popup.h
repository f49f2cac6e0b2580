// The frames' menus from their resources (resources/menus), each item
// titled with its MENUES language text when there is one.
#pragma once

#include "platform/wintypes.h"

// The MENUES text of an id, or null when it has none.
const char* MenuText(int id);
// A popup from its menu resource, each item with its MENUES text when there
// is one; an empty popup when the resource is missing.
HMENU LoadPopup(int resId);
