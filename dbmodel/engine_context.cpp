// The engine context is made by a static initialiser so that it exists
// before any table object; the engine's own lock serialises its calls.
#include "dbmodel/engine_context.h"

DbEngine* DbContext = new DbEngine;
