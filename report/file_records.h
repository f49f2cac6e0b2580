// The records of report, relation and style files as the reader takes them
// in: a retrieve first reads the whole file into these, checking every
// count, length and limit, and only then builds the relation and the
// layout from them, so a damaged file is refused before anything is made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/alias_map.h"
#include "report/file_items.h"

namespace repfile {

struct NodeRecord {
  std::string name;
  std::string alias;  // empty before version 36: the file's own name
  int settings[4] = {0, DB_RELATE_EXACT, 0, DB_RELATE_BLANK};
  std::vector<std::string> indexes;
  std::string tag;
  std::string master_expr;
  int step = 2;  // what relate_next said leaving the node
};

struct RelationRecord {
  std::vector<NodeRecord> nodes;
  std::string query;
  std::string sort;
};

struct CalcRecord {
  bool total = false;
  std::string name;
  std::string expr;
  bool has_reset = false;
  std::string reset;
  bool has_condition = false;
  std::string condition;
  int logical = 0;
  int type = 0;
  int lookahead = 0;
};

struct StyleRecord {
  std::string name;
  COLORREF color = 0;
  int point_size = 0;
  LOGFONT16 font{};
  std::string bytes_first;
  std::string bytes_second;
};

struct ObjectRecord {
  int32_t x = 0, y = 0, width = 0, height = 0;
  int32_t display_width = 0;
  int marks[2] = {0, 0};
  int justify = 0, numeric_type = 0, display_zero = 0, decimals = 0, brackets = 0, leading_zero = 0;
  std::string display_once;
  std::string date_picture;
  std::string text;  // "wintext": none
  std::string style;
  int lookahead = 0;
  int32_t type = 0;
  bool has_output = false;
  std::string out_name;
  int out_type = 0, out_len = 0, out_decimals = 0;
  std::string data;
};

struct AreaRecord {
  std::string suppress;
  int32_t height = 0;
  int setting_second = 0;
  int page_break = 1;
  std::vector<ObjectRecord> objects;  // in pre-order; the tree comes from their places
};

struct GroupRecord {
  std::string name;
  std::string reset;
  int title = 0;
  int setting_second = 0;
  int flags[DB_GROUP_FLAGS] = {};
  std::vector<AreaRecord> headers;
  std::vector<AreaRecord> footers;
};

struct ReportRecord {
  std::string name;
  std::string caption;
  int32_t width = 0, top = 0, bottom = 0, left = 0, right = 0;
  std::vector<CalcRecord> calcs;
  std::vector<StyleRecord> styles;
  GroupRecord page_group;
  std::vector<GroupRecord> groups;
  std::string currency;
  char separator = ',';
  char decimal_point = '.';
  int title_page = 0;
  int hard_resets = 0;
  int32_t layout_values[2] = {0, 0};
  bool has_output = false;
  std::string output_group;
  std::string output_file;
};

// The text "wintext" stands for an object without a text.
inline constexpr const char* kNoText = "wintext";

// Options of the context that are off while a file is read, and back on
// every way out: production indexes are opened as the file names them, and
// failures to open a file or find a tag or field are reported by the
// reader, once, in its own words.
class ReadOptions {
 public:
  explicit ReadOptions(DB_ENGINE* c)
      : auto_open_(c->auto_open, 0),
        open_errors_(c->report_open_errors, 0),
        tag_errors_(c->report_tag_errors, 0),
        field_errors_(c->report_field_errors, 0) {}

 private:
  DbSettingFor auto_open_, open_errors_, tag_errors_, field_errors_;
};

// The mark and version of a report or relation file: exactly the mark and
// a version the reader knows.
enum { kHeaderOk, kHeaderNotOurs, kHeaderBadVersion };
int read_header(ItemReader& in, int& version);

// The relation section.
bool write_relation(ItemWriter& out, DbRelation* relation, bool full_path);
bool read_relation(ItemReader& in, int version, RelationRecord& rec, ReadErrors& errors);

// The relation rebuilt from its record: its data files found among the
// open ones or opened (under the directory given), their index files and
// tags, the node tree. On failure what was made is freed again with
// abandon(): only the files this reader opened are closed.
class RelationBuild {
 public:
  explicit RelationBuild(DB_ENGINE* c) : c_(c) {}
  bool build(const RelationRecord& rec, int open_files, const char* data_dir, ReadErrors& errors);
  // Parses the query and the sort (they may name calculations made after
  // the nodes) and gives them to the relation.
  bool set_texts(const RelationRecord& rec, ReadErrors& errors);
  void abandon();
  DbRelation* relation() const { return relation_; }
  const AliasMap& aliases() const { return aliases_; }
  // The data file of the relation open under that alias now.
  DbDataFile* file_of(const std::string& alias) const;

 private:
  DbDataFile* find_or_open(const NodeRecord& node, const std::string& stored, int open_files,
                           const char* data_dir, ReadErrors& errors);
  bool open_indexes(DbDataFile* d, const NodeRecord& node, const char* data_dir, ReadErrors& errors);
  DB_ENGINE* c_;
  DbRelation* relation_ = nullptr;
  AliasMap aliases_;
  std::vector<std::pair<std::string, DbDataFile*>> stored_;  // stored alias, file
  std::vector<DbDataFile*> opened_;
};

// The report record after the relation section.
bool write_report(ItemWriter& out, DbReport* r, const std::vector<DbCalc*>& calcs, SaveErrors& errors,
                  const std::string& report_dir);
bool read_report(ItemReader& in, int version, ReportRecord& rec, ReadErrors& errors);

// One style record, shared by report and style files, and its shortest size.
inline constexpr long kStyleMinBytes = 37;
bool write_style(ItemWriter& out, const DbReportStyle* s);
bool read_style(ItemReader& in, StyleRecord& rec);
// Makes the style; a NULL report makes one that belongs to none yet.
DbReportStyle* style_from(DbReport* r, const StyleRecord& rec);

}  // namespace repfile
