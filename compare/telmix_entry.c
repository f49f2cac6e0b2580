/* The exported entry of the compare library, by the name the program looks
   up. Written in C: C++'s standard headers define _COMPARE as a macro. */
#include "compare/telmix.h"

__attribute__((visibility("default"))) int _COMPARE(const char* newFile, const char* oldFile, HWND oldList,
                                                    HWND newList);

int _COMPARE(const char* newFile, const char* oldFile, HWND oldList, HWND newList) {
  return kv_telmix_compare(newFile, oldFile, oldList, newList);
}
