// The relation section of report and relation files, and relation files
// themselves. The nodes are written depth first, master first, each with
// the step the walk took from it, so the reader can hang every node under
// the right master again.
//
// A data file is taken by the alias it was saved under: first a file this
// reader already opened for that alias, then any open file with that alias
// (the caller may have opened the data under it), and else, when the
// caller allows it, the file is opened, from the data directory when one
// is given. An opened file keeps the alias it opens under (its name) while
// no other open file has that alias, so a second copy of one file takes
// its saved alias instead; the expressions read afterwards name every file
// by its alias now.
#include <algorithm>
#include <cctype>

#include "report/file_records.h"

namespace repfile {

namespace {

constexpr size_t kShortNameMax = 24;  // names saved without their path

std::string upper(std::string s) {
  for (char& ch : s) ch = char(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

// The extension the engine's build gives index files.
const char* index_ext() {
  int options = code_options();
  if (options & DB_BUILD_CDX) return "cdx";
  if (options & DB_BUILD_NTX) return "ntx";
  if (options & DB_BUILD_NDX && !(options & DB_BUILD_MDX)) return "ndx";
  return "mdx";
}

// A saved name: the full one, or the file's name alone, which must fit the
// short form (a cut name would lead the reader to another file).
bool saved_name(const char* name, bool full, std::string& out) {
  out = full ? std::string(name) : base_name(name);
  return full || out.size() <= kShortNameMax;
}

std::vector<DbIndexFile*> index_files(DbDataFile* d) {
  std::vector<DbIndexFile*> out;
  for (auto* x = static_cast<DbIndexFile*>(list_first(&d->indexes)); x;
       x = static_cast<DbIndexFile*>(list_next(&d->indexes, x)))
    out.push_back(x);
  return out;
}

bool alias_taken(DB_ENGINE* c, const std::string& alias, DbDataFile* self) {
  for (auto* d = static_cast<DbDataFile*>(list_first(&c->data_list)); d;
       d = static_cast<DbDataFile*>(list_next(&c->data_list, d)))
    if (d != self && upper(alias) == data_alias(d)) return true;
  return false;
}

// The master a node hangs under, from the step the walk took leaving the
// node before it: 1 down to its first slave, 0 to its next sibling, -k to
// the next sibling of its k-th master.
DbRelateNode* master_for(DbRelateNode* prev, int step) {
  if (step == 1) return prev;
  if (step > 0) return nullptr;
  DbRelateNode* n = prev;
  for (int up = -step; up > 0 && n; up--) n = n->master;
  return n ? n->master : nullptr;
}

}  // namespace

bool write_relation(ItemWriter& out, DbRelation* relation, bool full) {
  DbRelateNode* n = &relation->top;
  for (;;) {
    DbDataFile* d = n->data;
    std::string name;
    if (!saved_name(d->file.name, full, name)) return false;
    out.text(name, kFileName);
    out.text(data_alias(d), kAlias);
    out.u16(n->setting_first);
    out.u16(n->match_mode);
    out.u16(n->setting_third);
    out.u16(n->error_action);
    std::vector<DbIndexFile*> indexes = index_files(d);
    out.count(indexes.size());
    for (DbIndexFile* x : indexes) {
      if (!saved_name(x->file.name, full, name)) return false;
      out.text(name, kFileName);
    }
    DbTag* tag = n->master ? n->slave_tag : data_tag_selected(d);
    out.text(tag ? tag_name(tag) : "", kTagName);
    out.text(n->master ? expr_source(n->master_expr) : "", kText);
    DbRelateNode* next = n;
    int step = relate_next(&next);
    out.u16(step);
    if (step == 2) break;
    n = next;
  }
  out.text(relation->query_text, kText);
  out.text(relation->sort_text, kText);
  return out.ok();
}

bool read_relation(ItemReader& in, int version, RelationRecord& rec, ReadErrors& errors) {
  auto fail = [&] { return errors.fail(e_report, "Error retrieving relation from file.", nullptr, &in); };
  for (;;) {
    NodeRecord node;
    if (!in.text(node.name, kFileName)) return fail();
    if (version >= 36 && !in.text(node.alias, kAlias)) return fail();
    for (int& s : node.settings)
      if (!in.u16(s)) return fail();
    int indexes;
    if (!in.u16(indexes) || !in.fits(indexes, 5)) return fail();
    node.indexes.resize(size_t(indexes));
    for (std::string& x : node.indexes)
      if (!in.text(x, kFileName)) return fail();
    int16_t step;
    if (!in.text(node.tag, kTagName) || !in.text(node.master_expr, kText) || !in.i16(step)) return fail();
    node.step = step;
    rec.nodes.push_back(std::move(node));
    if (step == 2) break;
    if (step > 1) return fail();  // not a step the walk takes
  }
  if (!in.text(rec.query, kText) || !in.text(rec.sort, kText)) return fail();
  return true;
}

bool RelationBuild::build(const RelationRecord& rec, int open_files, const char* data_dir, ReadErrors& errors) {
  auto fail = [&](const char* text, const char* extra = nullptr) {
    if (code_error_get(c_) > 0) code_error_set(c_, 0);
    return errors.fail(e_report, text, extra);
  };
  DbRelateNode* prev = nullptr;
  for (size_t i = 0; i < rec.nodes.size(); i++) {
    const NodeRecord& node = rec.nodes[i];
    std::string stored = node.alias.empty() ? default_alias(node.name) : node.alias;
    DbDataFile* d = find_or_open(node, stored, open_files, data_dir, errors);
    if (!d || !open_indexes(d, node, data_dir, errors)) return false;
    DbTag* tag = nullptr;
    if (!node.tag.empty() && !(tag = data_tag_find(d, node.tag.c_str())))
      return fail("Unable to locate report tag.", node.tag.c_str());
    DbRelateNode* made;
    if (i == 0) {
      relation_ = relate_init(d);
      if (!relation_) return fail("Error retrieving relation from file.");
      made = &relation_->top;
      if (tag) data_tag_select(d, tag);
    } else {
      DbRelateNode* master = master_for(prev, rec.nodes[i - 1].step);
      if (!master) return fail("Error retrieving relation from file.");
      std::string expr = aliases_.apply(node.master_expr);
      DbExpr* parsed = expr_parse(master->data, expr.c_str());
      if (!parsed) return fail("Unable to parse relate master expression.", expr.c_str());
      expr_free(parsed);
      made = relate_create_slave(master, d, expr.c_str(), tag);
      if (!made) return fail("Error retrieving relation from file.");
    }
    relate_match_set(made, node.settings[1]);
    relate_error_action_set(made, node.settings[3]);
    made->setting_first = node.settings[0];
    made->setting_third = node.settings[2];
    prev = made;
  }
  return relation_ != nullptr || errors.fail(e_report, "Error retrieving relation from file.");
}

DbDataFile* RelationBuild::find_or_open(const NodeRecord& node, const std::string& stored, int open_files,
                                        const char* data_dir, ReadErrors& errors) {
  DbDataFile* d = nullptr;
  for (const auto& [alias, file] : stored_)
    if (upper(alias) == upper(stored)) d = file;
  if (!d) {
    d = data_find_by_alias(c_, stored.c_str());
    // A file this reader opened answers only to the alias it was saved under.
    if (std::find(opened_.begin(), opened_.end(), d) != opened_.end()) d = nullptr;
  }
  if (!d) {
    if (!open_files) {
      errors.fail(e_result, "Could not locate File:", node.name.c_str());
      return nullptr;
    }
    std::string path = data_dir && *data_dir ? in_dir(data_dir, base_name(node.name)) : node.name;
    d = data_open(c_, path.c_str());
    if (!d) {
      if (code_error_get(c_) > 0) code_error_set(c_, 0);
      errors.fail(e_report, "Unable to open report data file.", path.c_str());
      return nullptr;
    }
    opened_.push_back(d);
    if (alias_taken(c_, data_alias(d), d)) {
      std::string alias = stored;
      for (int k = 1; alias_taken(c_, alias, d) && k < 1000; k++) {
        std::string digits = std::to_string(k);
        alias = default_alias(node.name).substr(0, kAlias - digits.size()) + digits;
      }
      data_alias_set(d, alias.c_str());
    }
  }
  stored_.emplace_back(stored, d);
  aliases_.add(stored, data_alias(d));
  return d;
}

bool RelationBuild::open_indexes(DbDataFile* d, const NodeRecord& node, const char* data_dir,
                                 ReadErrors& errors) {
  for (const std::string& stored : node.indexes) {
    bool open = false;
    for (DbIndexFile* x : index_files(d)) open = open || upper(x->file.name) == upper(stored);
    for (DbIndexFile* x : index_files(d)) open = open || base_name(x->file.name) == base_name(stored);
    if (open) continue;
    char name[kFileName + 1];
    str_copy_max(name, stored.c_str(), sizeof name);
    if (file_name_ext(name, sizeof name, index_ext(), 1) != 0)
      return errors.fail(e_report, "Unable to open report index file.", stored.c_str());
    std::string path = data_dir && *data_dir ? in_dir(data_dir, base_name(name)) : std::string(name);
    if (!index_open(d, path.c_str())) {
      if (code_error_get(c_) > 0) code_error_set(c_, 0);
      return errors.fail(e_report, "Unable to open report index file.", path.c_str());
    }
  }
  return true;
}

bool RelationBuild::set_texts(const RelationRecord& rec, ReadErrors& errors) {
  std::string query = aliases_.apply(rec.query), sort = aliases_.apply(rec.sort);
  DbDataFile* master = relation_->top.data;
  for (auto [text, what] : {std::pair{&query, "Unable to parse relation query expression."},
                            std::pair{&sort, "Unable to parse relation sort expression."}}) {
    if (text->empty()) continue;
    DbExpr* parsed = expr_parse(master, text->c_str());
    if (!parsed) return errors.fail(e_report, what, text->c_str());
    expr_free(parsed);
  }
  relate_query_set(relation_, query.c_str());
  relate_sort_set(relation_, sort.c_str());
  return true;
}

void RelationBuild::abandon() {
  DbQuietError quiet(c_, DbQuietError::if_error);
  if (relation_) relate_free(relation_, 0);
  relation_ = nullptr;
  for (DbDataFile* d : opened_) data_close(d);
  opened_.clear();
}

DbDataFile* RelationBuild::file_of(const std::string& alias) const {
  std::string want = upper(alias);
  for (DbRelateNode* n = &relation_->top; n;) {
    if (want == data_alias(n->data)) return n->data;
    if (relate_next(&n) == 2) break;
  }
  return nullptr;
}

int read_header(ItemReader& in, int& version) {
  uint8_t mark = 0, v = 0;
  if (!in.byte(mark) || mark != kReportMark || !in.byte(v)) return kHeaderNotOurs;
  version = v;
  return version >= kOldestVersion && version <= kVersion ? kHeaderOk : kHeaderBadVersion;
}

}  // namespace repfile

using namespace repfile;

int relate_save(DbRelation* relation, const char* name, int full_path) {
  if (!relation || !name) return -1;
  DB_ENGINE* c = relation->top.context;
  DbLock lock(c);
  if (report_pending(c)) return -1;
  SaveFile file(c, 2048);
  if (!file.create(name, "REL")) return -1;
  SaveErrors errors(c);
  file.out().byte(kReportMark);
  file.out().byte(kVersion);
  if (!write_relation(file.out(), relation, full_path != 0)) {
    errors.fail("Unable to save relate.");
    return -1;
  }
  return file.finish(errors) ? 0 : -1;
}

DbRelation* relate_retrieve(DB_ENGINE* c, const char* name, int open_files, const char* data_dir) {
  if (!c || !name) return nullptr;
  DbLock lock(c);
  if (report_pending(c)) return nullptr;
  ReadOptions options(c);
  const char* failed = "Error retrieving relation from file.";
  std::string path;
  ReadFile file(c);
  if (!name_with_ext(name, "REL", path) || !file.open(path)) {
    report_fail(c, e_report, failed, name);
    return nullptr;
  }
  ReadErrors errors(c);
  int version = 0;
  switch (read_header(file.in(), version)) {
    case kHeaderNotOurs: errors.fail(e_report, failed, "File is not a ZevoZezododo file."); return nullptr;
    case kHeaderBadVersion: errors.fail(e_report, failed, "Bad file version."); return nullptr;
    default: break;
  }
  RelationRecord rec;
  if (!read_relation(file.in(), version, rec, errors)) return nullptr;
  RelationBuild build(c);
  if (!build.build(rec, open_files, data_dir, errors) || !build.set_texts(rec, errors)) {
    build.abandon();
    return nullptr;
  }
  return build.relation();
}
