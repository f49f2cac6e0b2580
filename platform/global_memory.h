// Global memory blocks by handle (GlobalAlloc and friends), for texts
// handed between windows as one block. A handle maps to a block the layer
// owns; a freed or foreign handle is detected, never dereferenced.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

typedef struct kv_hglobal__* HGLOBAL;

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

// A block of n bytes; null when the memory cannot be had.
HGLOBAL GlobalAlloc(UINT flags, size_t n);
// The block's bytes (null for a bad handle); GlobalUnlock ends the use.
void* GlobalLock(HGLOBAL h);
BOOL GlobalUnlock(HGLOBAL h);
size_t GlobalSize(HGLOBAL h);
// Frees the block; returns null on success, the handle for a bad one.
HGLOBAL GlobalFree(HGLOBAL h);
