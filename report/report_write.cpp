// Saving a report: the relation section, then the report record with the
// context's calculations, the styles, the page header/footer group and the
// groups with their areas and objects. Each level reports its own failure
// once; the levels above return without a second report.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "report/bitmap_file.h"
#include "report/file_records.h"

namespace repfile {

namespace {

constexpr int32_t kMarginMax = 32000;   // larger margins are saved as 0
constexpr size_t kBitmapStem = 8;       // report name letters in a bitmap's name
constexpr size_t kCurrencyBytes = 11;

struct Saving {
  ItemWriter& out;
  SaveErrors& errors;
  DbReport* r;
  std::string dir;  // where the report file goes: its bitmaps go beside it
};

const char* source(DbExpr* e) { return e ? expr_source(e) : ""; }

int32_t positive(int32_t v) { return v <= 0 ? 1 : v; }

DbReportTotal* total_of(DbCalc* calc) {
  return calc->total ? static_cast<DbReportTotal*>(static_cast<DbTotal*>(calc->total)) : nullptr;
}

bool write_calc(ItemWriter& out, DbCalc* calc) {
  DbReportTotal* t = total_of(calc);
  out.u16(t ? 1 : 0);
  out.text(calc->name, kCalcName);
  out.text(source(calc->expr), kText);
  if (t) {
    out.u16(t->reset ? 1 : 0);
    if (t->reset) out.text(source(t->reset), kText);
    out.u16(t->condition ? 1 : 0);
    if (t->condition) out.text(source(t->condition), kText);
    out.u16(t->logical);
    out.u16(t->type);
    out.u16(t->lookahead ? 1 : 0);
  }
  return out.ok();
}

// The data an object shows, as its record names it.
bool data_text(Saving& s, DbReportObject* o, std::string& data) {
  switch (o->type) {
    case DB_OBJ_FIELD:
    case DB_OBJ_BITMAP_FIELD:
      if (!o->field) return false;
      data = std::string(data_alias(o->field->data)) + "|" + field_name(o->field);
      return true;
    case DB_OBJ_EXPR: data = source(o->expr); return true;
    case DB_OBJ_TOTAL:
      if (!o->total || !o->total->calc) return false;
      data = o->total->calc->name;
      return true;
    case DB_OBJ_CALC: data = o->calc->name; return true;
    case DB_OBJ_BITMAP_MEM: {
      char name[32];
      std::snprintf(name, sizeof name, "%s.b%02d", s.r->name.substr(0, kBitmapStem).c_str(),
                    s.r->bitmap_counter++);
      data = name;
      // The file the record names must be there for the reader.
      return o->bitmap && bitmap_save((s.dir + data).c_str(), o->bitmap) == 1;
    }
    default: data = "data"; return true;
  }
}

bool write_object(Saving& s, DbReportObject* o) {
  ItemWriter& out = s.out;
  std::string data;
  if (!data_text(s, o, data)) return s.errors.fail("Unable to save object.");
  for (int32_t v : {o->x, o->y, o->width, o->height}) out.i32(positive(v));
  out.i32(o->display_width);
  for (int v : {o->marks[0], o->marks[1], o->justify, o->numeric_type, o->display_zero, o->decimals,
                o->brackets, o->leading_zero})
    out.u16(v);
  out.text(source(o->display_once), kText);
  out.text(o->date_picture, kText);
  out.text(o->text ? *o->text : kNoText, kText);
  out.text(o->style ? o->style->name : "", kStyleName);
  out.u16(o->lookahead);
  out.i32(o->type);
  out.u16(o->out_name.empty() ? 0 : 1);
  if (!o->out_name.empty()) {
    out.text(o->out_name, kOutName);
    out.u16(o->out_type);
    out.u16(o->out_len);
    out.u16(o->out_decimals);
  }
  out.text(data, kText);
  out.i32(int32_t(o->children.size()));
  return out.ok() || s.errors.fail("Unable to save object.");
}

bool write_area(Saving& s, DbReportArea* a) {
  ItemWriter& out = s.out;
  out.text(source(a->suppress), kText);
  out.i32(a->height);
  out.u16(a->header);
  out.u16(a->setting_second);
  out.u16(a->page_break);
  out.count(a->objects.size());
  if (!out.ok()) return s.errors.fail("Unable to save area.");
  // Pre-order: each record is followed by its children's.
  for (DbReportObject* o = area_obj_first(a); o; o = area_obj_next(a, o))
    if (!write_object(s, o)) return false;
  return true;
}

bool write_group(Saving& s, DbReportGroup* g, const char* failed) {
  ItemWriter& out = s.out;
  out.text(g->name, kGroupName);
  out.text(source(g->reset), kText);
  out.u16(g->title_group);
  out.u16(g->position);
  out.u16(g->setting_second);
  for (int flag : g->flags) out.u16(flag);
  if (!out.ok()) return s.errors.fail(failed, g->name.c_str());
  for (auto* list : {&g->headers, &g->footers}) {
    out.count(list->size());
    if (!out.ok()) return s.errors.fail(failed, g->name.c_str());
    for (DbReportArea* a : *list)
      if (!write_area(s, a)) return false;
  }
  return true;
}

}  // namespace

bool write_style(ItemWriter& out, const DbReportStyle* s) {
  const LOGFONT16& f = s->font16;
  out.text(s->name, kStyleName);
  out.byte(GetRValue(s->color));
  out.byte(GetGValue(s->color));
  out.byte(GetBValue(s->color));
  out.u16(s->point_size);
  for (int v : {f.lfHeight, f.lfWidth, f.lfEscapement, f.lfOrientation, f.lfWeight}) out.u16(v);
  out.bytes(&f.lfItalic, 8);
  out.text(std::string_view(f.lfFaceName, strnlen(f.lfFaceName, sizeof f.lfFaceName)), kFaceName);
  for (const std::string* b : {&s->bytes_first, &s->bytes_second}) {
    out.count(b->size());
    out.bytes(b->data(), b->size());
  }
  return out.ok();
}

bool write_report(ItemWriter& out, DbReport* r, const std::vector<DbCalc*>& calcs, SaveErrors& errors,
                  const std::string& report_dir) {
  Saving s{out, errors, r, report_dir};
  auto margin = [](int32_t m) { return m > kMarginMax ? 0 : m; };
  out.text(r->name, kReportText);
  out.text(r->caption ? *r->caption : "", kReportText);
  for (int32_t v : {r->width, margin(r->margin_top), margin(r->margin_bottom), margin(r->margin_left),
                    margin(r->margin_right)})
    out.i32(v);
  out.count(calcs.size());
  if (!out.ok()) return errors.fail("Unable to save report.");
  for (DbCalc* calc : calcs)
    if (!write_calc(out, calc)) return errors.fail("Unable to save calculation/total.", calc->name);
  out.count(r->styles.size());
  if (!out.ok()) return errors.fail("Unable to save report.");
  for (DbReportStyle* style : r->styles)
    if (!write_style(out, style)) return errors.fail("Unable to save style.", style->name.c_str());
  if (!write_group(s, r->page_group, "Unable to save page header/footer.")) return false;
  out.count(r->groups.size());
  if (!out.ok()) return errors.fail("Unable to save report.");
  for (DbReportGroup* g : r->groups)
    if (!write_group(s, g, "Unable to save group.")) return false;
  char currency[kCurrencyBytes] = {};
  std::memcpy(currency, r->currency.data(), std::min(r->currency.size(), kCurrencyBytes - 1));
  out.bytes(currency, sizeof currency);
  out.byte(r->separator);
  out.byte(r->decimal_point);
  out.u16(r->title_page);
  out.u16(r->hard_resets);
  out.i32(r->layout_values[0]);
  out.i32(r->layout_values[1]);
  bool output = r->output_group || !r->output_file.empty();
  out.u16(output ? 1 : 0);
  if (output) {
    out.text(r->output_group ? r->output_group->name : "", kGroupName);
    out.text(r->output_file, kFileName);
  }
  return out.ok() || errors.fail("Unable to save report.");
}

}  // namespace repfile

using namespace repfile;

namespace {

// Whether the calculation's texts parse now, with only the calculations
// already put back in the context's list.
bool parses_now(DB_ENGINE* c, DbDataFile* master, DbCalc* calc) {
  std::vector<const char*> texts{calc->expr ? expr_source(calc->expr) : ""};
  if (auto* t = calc->total ? static_cast<DbReportTotal*>(static_cast<DbTotal*>(calc->total)) : nullptr) {
    if (t->reset) texts.push_back(expr_source(t->reset));
    if (t->condition) texts.push_back(expr_source(t->condition));
  }
  for (const char* text : texts) {
    DbExpr* e = expr_parse(master, text);
    code_error_set(c, 0);
    if (!e) return false;
    expr_free(e);
  }
  return true;
}

// Puts the context's calculations in an order in which each comes after
// those it names (a total's reset and condition included), as the reader
// makes them one by one. A calculation that never parses (it names one
// that does not exist, or calculations name each other in a circle) ends
// the ordering: the list goes back as it was and its name is given.
bool order_calcs(DB_ENGINE* c, DbDataFile* master, std::vector<DbCalc*>& ordered, std::string& stuck) {
  std::vector<DbCalc*> original = context_calcs(c);
  std::vector<DbCalc*> waiting = original;
  for (DbCalc* calc : original) list_remove(&c->calc_list, calc);
  {
    DbSettingFor quiet(c->silent_errors, 1);
    for (bool moved = true; moved && !waiting.empty();) {
      moved = false;
      for (auto it = waiting.begin(); it != waiting.end();) {
        if (parses_now(c, master, *it)) {
          list_add(&c->calc_list, *it);
          ordered.push_back(*it);
          it = waiting.erase(it);
          moved = true;
        } else {
          ++it;
        }
      }
    }
  }
  if (waiting.empty()) return true;
  stuck = waiting.front()->name;
  for (DbCalc* calc : ordered) list_remove(&c->calc_list, calc);
  for (DbCalc* calc : original) list_add(&c->calc_list, calc);
  return false;
}

}  // namespace

int report_save(DbReport* r, const char* name, int full_path) {
  if (!r || !name) return -1;
  DB_ENGINE* c = r->context;
  DbLock lock(c);
  if (report_pending(c)) return -1;
  SaveFile file(c, 2048);
  if (!file.create(name, "REP")) return -1;
  SaveErrors errors(c);
  ItemWriter& out = file.out();
  out.byte(kReportMark);
  out.byte(kVersion);
  if (!write_relation(out, r->relation, r->full_path == 1 || full_path == 1)) {
    errors.fail("Unable to save relate.");
    return -1;
  }
  // The report is named after its file, or after this one when it has none.
  const std::string& path = file.path();
  const std::string& file_name = r->file_name.empty() ? path : r->file_name;
  char report_name[10];
  file_name_piece(report_name, sizeof report_name, file_name.c_str(), 0, 0);
  r->name = report_name;
  std::vector<DbCalc*> calcs;
  std::string stuck;
  if (!order_calcs(c, report_master(r), calcs, stuck)) {
    errors.fail("Unable to save calculation/total.", stuck.c_str());
    return -1;
  }
  r->bitmap_counter = 0;
  if (!write_report(out, r, calcs, errors, dir_of(path)) || !file.finish(errors)) return -1;
  if (r->file_name.empty()) r->file_name = path;
  return 0;
}
