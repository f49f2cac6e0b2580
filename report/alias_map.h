// The aliases a layout was saved with and those its data files are open
// under now. A file the reader opens may not get the alias it was saved
// with; every expression read afterwards names it by its new one.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class AliasMap {
 public:
  // The file saved under `stored` is open under `now`.
  void add(const std::string& stored, const std::string& now);
  // The alias the file saved under `stored` is open under now (the stored
  // one when none is known).
  std::string now(const std::string& stored) const;
  // The text with every whole name before "->" that is a stored alias
  // replaced by the file's alias now, in one pass (so two aliases may trade
  // places); compared upper-cased. Quoted constants and field names are
  // left as they are. The text grows as far as the new names need.
  std::string apply(std::string_view text) const;

 private:
  std::vector<std::pair<std::string, std::string>> map_;  // upper-cased stored, now
};
