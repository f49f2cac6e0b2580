/* The one entry of the compare library (libtelmix.so, TELMIX.DLL on the
   stations it replaces), for the program that loads it.

   _COMPARE(new file, old file, old-side list, new-side list) compares the two
   text files line by line and adds one item to each list for every aligned
   step with LB_ADDSTRING: "%d@@%s", the step's type (0 same, 1 changed,
   2 deleted = only in the old file, 3 inserted = only in the new file) and
   the text shown on that side; the side without a line shows "<Line
   deleted>" or "<Line inserted>". Items with the same index belong together.
   The list copies each item text (as every list window of the program does,
   owner-drawn ones included); the library frees its own copy after the add.

   Returns 1 when both lists have been filled; 0 when a file cannot be opened
   or read or is too large to compare (more than 2,147,483,645 lines, a line
   of 4 GB or more, or too little memory; nothing is added), when the host
   table is not set, or when a list refuses an item. */
#ifndef KV_COMPARE_TELMIX_H
#define KV_COMPARE_TELMIX_H

#include "platform/wintypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define KV_COMPARE_ENTRY "_COMPARE"

typedef int (*kv_compare_fn)(const char* newFile, const char* oldFile, HWND oldList, HWND newList);

/* The comparison behind the entry. C++'s <compare> takes the name _COMPARE
   for its include guard, so the entry itself is defined in C (telmix_entry.c)
   and C++ callers reach it through dlsym(KV_COMPARE_ENTRY) only. */
int kv_telmix_compare(const char* newFile, const char* oldFile, HWND oldList, HWND newList);

#ifdef __cplusplus
}
#endif

#endif
