// The process's one table-engine context, made before the main function
// runs and kept until the process ends; every table works on it.
#pragma once

#include "engine/engine_api.h"

extern DbEngine* DbContext;
