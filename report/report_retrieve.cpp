// Retrieving a report: the whole file is read into its records first (a
// damaged file is refused before anything is made), then the relation is
// rebuilt, the report created on it, the calculations and totals made
// before the relation's query and sort are parsed (they may name them),
// and the layout built with the operations a caller would use. A failure
// at any point frees what was made: no report stays, the calculations the
// caller had stay, the files the reader opened are closed, and the
// context's options are as they were.
#include <algorithm>

#include "report/bitmap_file.h"
#include "report/file_records.h"

namespace repfile {

namespace {

constexpr int32_t kPageHeight = 11000;  // not stored: the sheet is taken as a letter sheet

class LayoutBuild {
 public:
  LayoutBuild(DbReport* r, const RelationBuild& relation, ReadErrors& errors, std::string dir)
      : r_(r), c_(r->context), relation_(relation), errors_(errors), dir_(std::move(dir)) {}

  bool calcs(const ReportRecord& rec);
  bool layout(const ReportRecord& rec);

 private:
  bool fail(const char* text, const char* extra = nullptr) {
    if (code_error_get(c_) > 0) code_error_set(c_, 0);
    return errors_.fail(e_report_retrieve, text, extra);
  }
  std::string text(const std::string& stored) const { return relation_.aliases().apply(stored); }
  bool calc(const CalcRecord& rec);
  bool group(DbReportGroup* g, const GroupRecord& rec, bool page);
  bool area(DbReportGroup* g, const AreaRecord& rec, bool header, const char* failed);
  DbReportObject* object(DbReportArea* a, const ObjectRecord& rec);
  DbField* field(const std::string& data) const;

  DbReport* r_;
  DB_ENGINE* c_;
  const RelationBuild& relation_;
  ReadErrors& errors_;
  std::string dir_;
};

bool LayoutBuild::calc(const CalcRecord& rec) {
  std::string expr = text(rec.expr);
  if (!rec.total) {
    DbExpr* e = expr_parse(report_master(r_), expr.c_str());
    if (!e) return false;
    if (calc_create(c_, e, rec.name.c_str())) return true;
    expr_free(e);
    return false;
  }
  std::string reset = rec.has_reset ? text(rec.reset) : std::string();
  DbReportTotal* t = total_create(r_, rec.name.c_str(), expr.c_str(), rec.type, reset.c_str());
  if (!t) return false;
  if (rec.has_condition && total_condition_set(t, text(rec.condition).c_str(), rec.logical) != 0) return false;
  t->logical = rec.logical;
  t->lookahead = rec.lookahead;
  return true;
}

bool LayoutBuild::calcs(const ReportRecord& rec) {
  for (const CalcRecord& calc_rec : rec.calcs)
    if (!calc(calc_rec)) return fail("Unable to retrieve calculation/total.", calc_rec.name.c_str());
  return true;
}

// The field an "alias|field" text names, in the file open now under the
// alias the layout was saved with.
DbField* LayoutBuild::field(const std::string& data) const {
  size_t bar = data.rfind('|');
  if (bar == std::string::npos) return nullptr;
  DbDataFile* d = relation_.file_of(relation_.aliases().now(data.substr(0, bar)));
  return d ? data_field_named(d, data.substr(bar + 1).c_str()) : nullptr;
}

DbReportObject* LayoutBuild::object(DbReportArea* a, const ObjectRecord& rec) {
  bool has_text = rec.text != kNoText;
  const char* own_text = has_text ? rec.text.c_str() : nullptr;
  DbReportObject* o = nullptr;
  switch (rec.type) {
    case DB_OBJ_FIELD:
      if (DbField* f = field(rec.data)) o = obj_field_create(a, f, rec.x, rec.y, rec.width, rec.height);
      break;
    case DB_OBJ_BITMAP_FIELD:
      if (DbField* f = field(rec.data)) o = obj_bitmap_field_create(a, f, rec.x, rec.y, rec.width, rec.height);
      break;
    case DB_OBJ_EXPR: o = obj_expr_create(a, text(rec.data).c_str(), rec.x, rec.y, rec.width, rec.height); break;
    case DB_OBJ_TOTAL:
      if (!rec.data.empty())
        if (DbReportTotal* t = total_lookup(r_, rec.data.c_str()))
          o = obj_total_create(a, t, rec.x, rec.y, rec.width, rec.height);
      break;
    case DB_OBJ_CALC:
      if (DbCalc* calc = calc_lookup(c_, rec.data.c_str(), int(rec.data.size())))
        o = obj_calc_create(a, calc, rec.x, rec.y, rec.width, rec.height);
      break;
    case DB_OBJ_TEXT: o = obj_text_create(a, own_text, rec.x, rec.y, rec.width, rec.height); break;
    case DB_OBJ_BITMAP_MEM: {
      // A bitmap that cannot be loaded leaves its object without a picture.
      std::string name = dir_of(rec.data).empty() ? dir_ + rec.data : rec.data;
      HGLOBAL bitmap = bitmap_load(name.c_str(), c_);
      o = obj_bitmap_mem_create(a, bitmap, rec.x, rec.y, rec.width, rec.height);
      if (!o && bitmap) GlobalFree(bitmap);
      break;
    }
    case DB_OBJ_HLINE: o = obj_line_create(a, 0, rec.x, rec.y, rec.width); break;
    case DB_OBJ_VLINE: o = obj_line_create(a, 1, rec.x, rec.y, rec.height); break;
    case DB_OBJ_FRAME: o = obj_frame_create(a, rec.x, rec.y, rec.width, rec.height); break;
    case DB_OBJ_BITMAP_FILE:
      if (own_text) o = obj_bitmap_file_create(a, own_text, rec.x, rec.y, rec.width, rec.height);
      break;
    default: break;  // a type this reader does not know
  }
  if (!o) return nullptr;
  o->width = rec.width;
  o->height = rec.height;
  o->display_width = rec.display_width;
  o->marks[0] = rec.marks[0];
  o->marks[1] = rec.marks[1];
  o->justify = rec.justify;
  o->numeric_type = rec.numeric_type;
  o->display_zero = rec.display_zero;
  o->decimals = rec.decimals;
  o->brackets = rec.brackets;
  o->leading_zero = rec.leading_zero;
  o->date_picture = rec.date_picture;
  o->lookahead = rec.lookahead;
  if (rec.type != DB_OBJ_TEXT && rec.type != DB_OBJ_BITMAP_FILE && rec.type != DB_OBJ_BITMAP_FIELD) {
    if (has_text) o->text = rec.text;
    else o->text.reset();
  }
  o->style = nullptr;
  if (!rec.style.empty() && !(o->style = style_lookup(r_, rec.style.c_str()))) return nullptr;
  if (!rec.display_once.empty() && obj_display_once_set(o, text(rec.display_once).c_str()) != 0) return nullptr;
  if (rec.has_output)
    obj_output_field_set(o, rec.out_name.c_str(), rec.out_type, rec.out_len, rec.out_decimals);
  return o;
}

bool LayoutBuild::area(DbReportGroup* g, const AreaRecord& rec, bool header, const char* failed) {
  DbReportArea* a = area_create(g, rec.height, header ? 1 : 0, text(rec.suppress).c_str());
  if (!a) return fail(failed, g->name.c_str());
  a->setting_second = rec.setting_second;
  a->page_break = rec.page_break;
  for (const ObjectRecord& obj : rec.objects)
    if (!object(a, obj)) return fail("Unable to retrieve object.");
  return true;
}

bool LayoutBuild::group(DbReportGroup* g, const GroupRecord& rec, bool page) {
  const char* failed = page ? "Unable to retrieve page header/footer." : "Unable to retrieve group.";
  if (g->title_group || g->page_group) {
    if (!rec.reset.empty() && group_reset_set(g, text(rec.reset).c_str()) != 0) return fail(failed, rec.name.c_str());
  }
  g->setting_second = rec.setting_second;
  std::copy(std::begin(rec.flags), std::end(rec.flags), g->flags);
  for (const AreaRecord& a : rec.headers)
    if (!area(g, a, true, page ? failed : "Unable to retrieve header area.")) return false;
  for (const AreaRecord& a : rec.footers)
    if (!area(g, a, false, page ? failed : "Unable to retrieve footer area.")) return false;
  return true;
}

bool LayoutBuild::layout(const ReportRecord& rec) {
  // The page first: an object is refused beyond the printable width, and
  // the file's objects stand within its own width, not the default one.
  // The reader has checked every value (margins 0..32000, width in range).
  r_->width = rec.width;
  r_->margin_top = rec.top;
  r_->margin_bottom = rec.bottom;
  r_->margin_left = rec.left;
  r_->margin_right = rec.right;
  r_->height = kPageHeight - rec.top - rec.bottom;
  for (const StyleRecord& style : rec.styles)
    if (!style_from(r_, style)) return fail("Unable to retrieve style.", style.name.c_str());
  if (!group(r_->page_group, rec.page_group, true)) return false;
  bool title_read = false;
  for (const GroupRecord& g_rec : rec.groups) {
    DbReportGroup* g = r_->title_group;
    if (g_rec.title) {
      // One record fills "Title/Summary"; a second is a damaged file.
      if (title_read) return fail("Unable to retrieve group.", g_rec.name.c_str());
      title_read = true;
    } else {
      g = group_create(r_, g_rec.name.c_str(), text(g_rec.reset).c_str());
      if (!g) return fail("Unable to retrieve group.", g_rec.name.c_str());
      r_->groups.erase(std::find(r_->groups.begin(), r_->groups.end(), g));
      r_->groups.push_back(g);
      groups_renumber(r_);
    }
    if (!group(g, g_rec, false)) return false;
  }
  r_->name = rec.name;
  if (!rec.caption.empty()) r_->caption = rec.caption;
  r_->currency = rec.currency;
  r_->separator = rec.separator;
  r_->decimal_point = rec.decimal_point;
  r_->title_page = rec.title_page;
  r_->hard_resets = rec.hard_resets;
  r_->layout_values[0] = rec.layout_values[0];
  r_->layout_values[1] = rec.layout_values[1];
  if (rec.has_output) {
    if (!rec.output_group.empty() && !(r_->output_group = report_groupLookup(r_, rec.output_group.c_str())))
      return fail("Unable to retrieve group.", rec.output_group.c_str());
    r_->output_file = rec.output_file;
  }
  return true;
}

}  // namespace

}  // namespace repfile

using namespace repfile;

DbReport* report_retrieve(DB_ENGINE* c, const char* name, int open_files, const char* data_dir) {
  if (!c || !name) return nullptr;
  DbLock lock(c);
  if (report_pending(c)) return nullptr;
  if (c->report_exists) {
    report_fail(c, e_report_retrieve, "Unable to retrieve report.\r\nA report already exists.");
    return nullptr;
  }
  ReadOptions options(c);
  std::string path;
  ReadFile file(c);
  if (!name_with_ext(name, "REP", path) || !file.open(path)) {
    report_fail(c, e_report_retrieve, "Unable to retrieve report.", name);
    return nullptr;
  }
  ReadErrors errors(c);
  int version = 0;
  switch (read_header(file.in(), version)) {
    case kHeaderNotOurs:
      errors.fail(e_report_retrieve, "Unable to retrieve report.\r\nFile is not a ZevoZezododo file.");
      return nullptr;
    case kHeaderBadVersion:
      errors.fail(e_report_retrieve, "Unable to retrieve report.\r\nBad file version.");
      return nullptr;
    default: break;
  }
  RelationRecord relation_rec;
  ReportRecord report_rec;
  if (!read_relation(file.in(), version, relation_rec, errors) ||
      !read_report(file.in(), version, report_rec, errors))
    return nullptr;

  std::vector<DbCalc*> callers_calcs = context_calcs(c);
  RelationBuild relation(c);
  if (!relation.build(relation_rec, open_files, data_dir, errors)) {
    relation.abandon();
    return nullptr;
  }
  DbReport* r;
  {
    DbSettingFor no_style(c->no_default_style, 1);  // the file brings its own styles
    r = report_create(relation.relation());
  }
  if (!r) {
    relation.abandon();
    return nullptr;
  }
  LayoutBuild layout(r, relation, errors, dir_of(path));
  if (!layout.calcs(report_rec) || !relation.set_texts(relation_rec, errors) || !layout.layout(report_rec)) {
    report_destroy(r, 0, 0, &callers_calcs);
    relation.abandon();
    return nullptr;
  }
  r->file_name = path;
  return r;
}
