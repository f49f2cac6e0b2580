// The two line tables of one comparison and the distinct line texts they
// share. Every distinct text is kept once (a node); lines refer to nodes, so
// equal lines are compared by node number, never by text again.
//
// Line numbers run from 1 to n; index 0 and index n+1 are sentinels that the
// matching links to each other across the files, so growth from the file
// edges needs no special case. Line numbers are 32-bit to halve the tables
// of large files; a file of more lines than they hold is refused.
#ifndef KV_COMPARE_LINE_TABLE_H
#define KV_COMPARE_LINE_TABLE_H

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "compare/big_alloc.h"

using LineNo = std::int32_t;
using NodeId = std::uint32_t;
constexpr LineNo kNoLink = -1;
constexpr NodeId kNoNode = 0xFFFFFFFFu;
// Lines per file: n + 1 must stay a line number.
constexpr LineNo kMaxLines = std::numeric_limits<LineNo>::max() - 2;

// How often a text was met: once in the old file only, once in the new file
// only, exactly once in each (a unique pair that anchors the matching), or
// anything else.
enum TNodeState : std::uint8_t {
  kNodeNew = 0,
  kNodeOldOnce = 1,
  kNodeNewOnce = 2,
  kNodeUniquePair = 3,
  kNodeRepeated = 4,
};

struct TInfoClass {
  std::string name;
  LineNo n = 0;
  // Indexed by line number 0..n+1; the sentinels have no node.
  TBigVector<NodeId> node;
  TBigVector<LineNo> link;
};

#endif
