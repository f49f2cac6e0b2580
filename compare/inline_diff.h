// Character comparison of two single lines, for showing what changed inside
// a changed line.
//
// The result is a text of runs. Each run opens with the marker bytes 0xA3
// 0xA3 and a digit, and its characters follow:
//   '0' same          characters common to both lines        (state 1)
//   '1' changed       line A's characters standing in for as many of B's (4)
//   '2' only in A     line A's characters that line B lacks  (state 2)
//   '3' only in B     one 0xB7 byte per character of B that A lacks (state 3)
// Characters of line A left over when line B ends are not shown.
#ifndef KV_COMPARE_INLINE_DIFF_H
#define KV_COMPARE_INLINE_DIFF_H

#include <cstddef>

// The runs of line A against line B as a new text from malloc (the caller
// frees it); *state receives the state of the last run, 0 when line B is
// empty. Null only when memory runs out.
char* InlineDiff(int* state, const char* lineA, const char* lineB);

// Smallest k >= 1 below both lengths at which a[k] == b[k]; 0 when none.
std::size_t InlineDiffStep(const char* a, std::size_t lenA, const char* b, std::size_t lenB);

#endif
