// Page production (output_run.h): the start of an output, the record steps
// with their group breaks and totals, and the pages with their headers,
// footers, page breaks and split areas.
//
// Page rules, in device units from the top of the page:
// - a page runs from the top margin to its bottom, where the page footer's
//   areas (those not suppressed when the page starts) begin; they are
//   printed from there down when the page ends;
// - the page header starts every page, except one that a header with
//   flag 1 starts; from the second page on, the headers with flag 3 of the
//   groups the page goes on in come next;
// - an area that does not fit below what is printed ends the page: with
//   its page-break flag the part above the lowest line that cuts through
//   none of its objects stays on this page; otherwise it moves whole. On a
//   page with nothing else printed in the flow it is split in any case, at
//   such a line or else right at the bottom (objects there are cut), so
//   that every page brings output forward;
// - a breaking group's header with flag 1, 4 or 5 starts a new page when
//   something is printed already (flag 5 numbers it 1), its footer with
//   flag 2 goes at the foot of the page, ending at the bottom, and ends it
//   (hard resets make every group's flags count, not only the breaking
//   group's); with the title page the page ends after the title.
#include <algorithm>
#include <climits>

#include "platform/ui/dc.h"
#include "platform/ui/gdi_types.h"
#include "report/object_text.h"
#include "report/output_run.h"

namespace {

constexpr int32_t kNoBottom = INT32_MAX / 2;  // a data file has no page end

enum Step { kBandDone, kPageFull, kError };
constexpr int kGoOn = -1;  // the page flags leave the band to print as usual

DB_ENGINE* context_of(const ReportRun& run) { return run.r->context; }

// Every node of the relation, master first.
std::vector<DbRelateNode*> relation_nodes(DbRelation* rel) {
  std::vector<DbRelateNode*> out;
  for (DbRelateNode* n = &rel->top; n;) {
    out.push_back(n);
    if (relate_next(&n) == 2) break;
  }
  return out;
}

std::vector<DbField*> memo_fields(DbDataFile* d) {
  std::vector<DbField*> out;
  for (int i = 1; i <= data_num_fields(d); i++)
    if (DbField* f = data_field_at(d, i); f && field_type(f) == 'M') out.push_back(f);
  return out;
}

// The records of every node as they are now, kept for the footers.
void keep_records(ReportRun& run) {
  for (DbRelateNode* n : relation_nodes(run.r->relation)) {
    const char* rec = data_record(n->data);
    n->report_record.assign(rec, rec + data_record_width(n->data));
  }
}

// Puts the kept records in place of the current ones, or back.
void swap_records(ReportRun& run) {
  for (DbRelateNode* n : relation_nodes(run.r->relation)) {
    char* rec = data_record(n->data);
    if (n->report_record.size() != data_record_width(n->data)) continue;
    std::swap_ranges(rec, rec + n->report_record.size(), n->report_record.begin());
    // A memo is read again for the record now in place.
    for (DbField* f : memo_fields(n->data)) memo_field_reset(f);
  }
}

// The kept records in place while a band of footers prints.
class KeptRecords {
 public:
  KeptRecords(ReportRun& run, bool on) : run_(run), on_(on) {
    if (on_) swap_records(run_);
  }
  ~KeptRecords() {
    if (on_) swap_records(run_);
  }
  KeptRecords(const KeptRecords&) = delete;
  KeptRecords& operator=(const KeptRecords&) = delete;

 private:
  ReportRun& run_;
  bool on_;
};

bool value_of(DbExpr* e, std::string& out) {
  char* result = nullptr;
  int len = expr_eval(e, &result);
  if (len < 0 || !result) return false;
  out.assign(result, size_t(len));
  return true;
}

// The place (in the report's groups) of the outermost group that breaks at
// the current record: a group whose reset value changed, or one without a
// reset expression; 0 for none, -1 after an error. Every group's stored
// value is brought up to date, so that an inner one is not seen to break
// later for a change it has been given already.
int breaking_group(ReportRun& run) {
  auto& gs = run.r->groups;
  int found = 0;
  std::string v;
  for (size_t i = 1; i < gs.size(); i++) {
    if (!gs[i]->reset) {
      if (!found) found = int(i);
      continue;
    }
    if (!value_of(gs[i]->reset, v)) return -1;
    if (v != run.reset_values[i]) {
      run.reset_values[i].swap(v);
      if (!found) found = int(i);
    }
  }
  return found;
}

int feed_totals(ReportRun& run) {
  DB_ENGINE* c = context_of(run);
  for (auto* t = static_cast<DbTotal*>(list_first(&c->total_list)); t;
       t = static_cast<DbTotal*>(list_next(&c->total_list, t))) {
    auto* rt = static_cast<DbReportTotal*>(t);
    if (rt->report == run.r && total_evaluate(rt) < 0) return -1;
  }
  return 0;
}

size_t place_of(const ReportRun& run, const DbReportGroup* g) {
  auto& gs = run.r->groups;
  return size_t(std::find(gs.begin(), gs.end(), g) - gs.begin());
}

Band areas_band(DbReportGroup* g, bool header, bool breaking, bool saved) {
  Band b;
  b.group = g;
  b.header = header;
  b.breaking = breaking;
  b.saved = saved;
  return b;
}

Band feed_band() {
  Band b;
  b.kind = Band::Feed;
  return b;
}

// The objects of a group that read ahead show the values of its last
// record: the relation is walked to the end of the group (where it or an
// outer group breaks) and back.
int look_ahead(ReportRun& run, DbReportGroup* g) {
  size_t gi = place_of(run, g);
  if (gi >= run.ahead_groups.size() || !run.ahead_groups[gi]) return 0;
  auto& gs = run.r->groups;
  auto take = [&run, g] {
    for (DbReportObject* o : run.ahead_objects) {
      if (o->area->group != g) continue;
      ShownValue v;
      if (!object_shown(run.r, o, v)) return false;
      o->last_text = v.text;
      o->last_value = v.number;
      o->ahead = true;
    }
    return true;
  };
  if (!take()) return -1;
  std::string v;
  return relation_walk_ahead(run.r->relation, [&]() -> int {
    for (size_t i = 1; i <= gi; i++) {
      if (!gs[i]->reset) return 0;
      if (!value_of(gs[i]->reset, v)) return -1;
      if (v != run.reset_values[i]) return 0;
    }
    return take() ? 1 : -1;
  });
}

// 1 while the area's suppression expression is true, -1 after an error.
int suppressed(DbReportArea* a) {
  if (!a->suppress) return 0;
  int t = expr_true(a->suppress);
  return t < 0 ? -1 : t != 0;
}

// The lowest line of an area between from (excluded) and limit that cuts
// through none of its objects; from when there is none.
int32_t clean_cut(DbReportArea* a, int32_t from, int32_t limit) {
  std::vector<std::pair<int32_t, int32_t>> spans;
  std::vector<int32_t> lines = {limit};
  for (DbReportObject* o = area_obj_first(a); o; o = area_obj_next(a, o)) {
    spans.emplace_back(o->device.top, o->device.bottom);
    if (o->device.top > from && o->device.top < limit) lines.push_back(o->device.top);
  }
  std::sort(lines.rbegin(), lines.rend());
  for (int32_t line : lines) {
    bool cuts = std::any_of(spans.begin(), spans.end(), [line](auto s) { return s.first < line && line < s.second; });
    if (!cuts) return line;
  }
  return from;
}

Step print_slice(ReportRun& run, DbReportArea* a, Band& b, int32_t to) {
  if (!draw_slice(run, a, b.done, to, run.y)) return kError;
  run.y += to - b.done;
  run.flow = true;
  if (to >= a->device_height) {
    b.done = 0;
    return kBandDone;
  }
  b.done = to;
  return kPageFull;
}

// Prints what is left of an area below what is printed on the page.
Step print_area(ReportRun& run, DbReportArea* a, Band& b) {
  int32_t left = a->device_height - b.done;
  int32_t room = run.bottom - run.y;
  if (left <= room) return print_slice(run, a, b, a->device_height);
  if (run.flow) {
    int32_t cut = a->page_break ? clean_cut(a, b.done, b.done + room) : b.done;
    return cut > b.done ? print_slice(run, a, b, cut) : kPageFull;
  }
  // Alone on its page it still does not fit: split. Where not even a line
  // fits under the headers, the rest goes whole, cut at the paper's edge.
  if (room <= 0) return print_slice(run, a, b, a->device_height);
  int32_t cut = clean_cut(a, b.done, b.done + room);
  return print_slice(run, a, b, cut > b.done ? cut : b.done + room);
}

// A footer with flag 2 at the foot of the page, ending at its bottom:
// 1 when printed there, 0 when it does not fit below what is printed (it
// then goes in the flow), -1 after an error.
int print_at_foot(ReportRun& run, Band& b) {
  std::vector<DbReportArea*> shown;
  int64_t h = 0;  // many tall areas may add up beyond 32 bits
  for (DbReportArea* a : b.group->footers) {
    int s = suppressed(a);
    if (s < 0) return -1;
    if (s) continue;
    shown.push_back(a);
    h += a->device_height;
  }
  if (shown.empty() || run.y + h > run.bottom) return 0;
  run.y = int32_t(run.bottom - h);
  for (DbReportArea* a : shown) {
    if (!draw_slice(run, a, 0, a->device_height, run.y)) return -1;
    run.y += a->device_height;
  }
  run.flow = true;
  run.end_page = true;
  b.area = b.group->footers.size();
  return 1;
}

// The page flags of the band's group, before its first area: kPageFull
// when the band must start a new page, kBandDone when it went at the foot
// of this one, kGoOn when it prints as usual.
int heed_flags(ReportRun& run, Band& b) {
  b.checked = true;
  DbReportGroup* g = b.group;
  if (run.generating || !(b.breaking || run.r->hard_resets)) return kGoOn;
  if (b.header) {
    bool new_page = g->flags[DB_GROUP_HEADER_PAGE] || g->flags[DB_GROUP_BREAK_BEFORE] || g->flags[DB_GROUP_PAGE_RESTART];
    if (!new_page) return kGoOn;
    if (run.flow) {
      run.starter = g->flags[DB_GROUP_HEADER_PAGE] ? g : nullptr;
      run.restart = g->flags[DB_GROUP_PAGE_RESTART] != 0;
      return kPageFull;
    }
    if (g->flags[DB_GROUP_PAGE_RESTART]) context_of(run)->page_no = 1;
    return kGoOn;
  }
  if (!g->flags[DB_GROUP_FOOTER_FOOT]) return kGoOn;
  int rc = print_at_foot(run, b);
  return rc < 0 ? kError : rc ? kBandDone : kGoOn;
}

Step print_band(ReportRun& run, Band& b) {
  KeptRecords kept(run, b.saved);
  if (!b.checked) {
    int rc = heed_flags(run, b);
    if (rc != kGoOn) return Step(rc);
  }
  if (b.header && !b.looked) {
    b.looked = true;
    if (look_ahead(run, b.group) < 0) return kError;
  }
  auto& areas = b.header ? b.group->headers : b.group->footers;
  for (; b.area < areas.size(); b.area++) {
    DbReportArea* a = areas[b.area];
    if (b.done == 0) {
      int s = suppressed(a);
      if (s < 0) return kError;
      if (s) continue;
    }
    Step st = run.generating ? print_slice(run, a, b, a->device_height) : print_area(run, a, b);
    if (st != kBandDone) return st;
  }
  return kBandDone;
}

// One record step: the footers from the innermost group out to the
// breaking one, the totals fed, the headers from the breaking group in; at
// the end of the relation the footers of every group and the summary.
int record_step(ReportRun& run) {
  auto& gs = run.r->groups;
  int breaking = 0;
  bool end = false;
  for (;;) {
    keep_records(run);
    int rc = relate_skip(run.r->relation, 1);
    if (rc < 0) return -1;
    if (rc != 0) {
      end = true;
      break;
    }
    breaking = breaking_group(run);
    if (breaking < 0) return -1;
    if (breaking > 0) break;
    if (feed_totals(run) < 0) return -1;  // a record no group breaks at
  }
  size_t outer = end ? 0 : size_t(breaking);
  for (size_t i = gs.size(); i-- > outer;) run.bands.push_back(areas_band(gs[i], false, i == outer, true));
  if (end) {
    run.state = kLastPage;
    return 0;
  }
  run.bands.push_back(feed_band());
  for (size_t i = outer; i < gs.size(); i++) run.bands.push_back(areas_band(gs[i], true, i == outer, false));
  return 0;
}

// Areas printed one after the other from the page line y down, whole.
bool print_whole(ReportRun& run, const std::vector<DbReportArea*>& areas) {
  for (DbReportArea* a : areas) {
    int s = suppressed(a);
    if (s < 0 || (!s && !draw_slice(run, a, 0, a->device_height, run.y))) return false;
    if (!s) run.y += a->device_height;
  }
  return true;
}

// From the second page on: the headers with flag 3 of the groups the page
// goes on in, outermost first (the group of a footer band included, the
// group of a header band not: its own header follows).
bool print_repeated(ReportRun& run) {
  if (run.bands.empty()) return true;
  const Band& front = run.bands.front();
  size_t limit = place_of(run, front.group) + (front.header ? 0 : 1);
  auto& gs = run.r->groups;
  for (size_t i = 0; i < std::min(limit, gs.size()); i++)
    if (gs[i]->flags[DB_GROUP_HEADER_REPEAT] && !print_whole(run, gs[i]->headers)) return false;
  return true;
}

// The page's bottom and the page footer's areas it leaves room for.
bool page_bottom(ReportRun& run) {
  DbReport* r = run.r;
  run.page_footers.clear();
  if (run.generating) {
    run.bottom = kNoBottom;
    return true;
  }
  int64_t h = 0;  // many tall areas may add up beyond 32 bits
  for (DbReportArea* a : r->page_group->footers) {
    int s = suppressed(a);
    if (s < 0) return false;
    if (s) continue;
    run.page_footers.push_back(a);
    h += a->device_height;
  }
  // Footers taller than the page leave no room: the bottom stays above the
  // top, never wraps round.
  run.bottom = int32_t(std::max<int64_t>(int64_t(r->page_height_device) - r->offset_bottom - h, -(int64_t(1) << 30)));
  return true;
}

// A band of areas that has none left to print.
bool empty_band(const Band& b) {
  return b.kind == Band::Areas && b.area >= (b.header ? b.group->headers : b.group->footers).size();
}

bool run_feeds(ReportRun& run) {
  while (!run.bands.empty() && run.bands.front().kind == Band::Feed) {
    if (feed_totals(run) < 0) return false;
    run.bands.pop_front();
  }
  return true;
}

// The page header, unless a header with flag 1 starts the page, and the
// repeated headers, with the records of the band that comes first.
bool page_top(ReportRun& run) {
  DbReport* r = run.r;
  run.y = run.generating ? 0 : r->offset_top;
  const Band* front = run.bands.empty() ? nullptr : &run.bands.front();
  KeptRecords kept(run, front && front->saved);
  bool replaced = front && run.starter && front->header && front->group == run.starter && front->area == 0;
  run.starter = nullptr;
  if (!replaced && !print_whole(run, r->page_group->headers)) return false;
  return run.page == 1 || print_repeated(run);
}

}  // namespace

int output_start(DbReport* r, bool generating) {
  DB_ENGINE* c = r->context;
  r->run.reset();
  r->run.reset(new ReportRun(r));
  ReportRun& run = *r->run;
  run.generating = generating;
  relate_skip_enable(r->relation, 1);
  int rc = relate_top(r->relation);
  if (rc < 0) return -1;
  keep_records(run);
  c->page_no = 0;
  for (auto* t = static_cast<DbTotal*>(list_first(&c->total_list)); t;
       t = static_cast<DbTotal*>(list_next(&c->total_list, t)))
    if (static_cast<DbReportTotal*>(t)->report == r) total_reset(static_cast<DbReportTotal*>(t));
  auto& gs = r->groups;
  run.reset_values.assign(gs.size(), std::string());
  run.ahead_groups.assign(gs.size(), false);
  report_each_object(r, [&run](DbReportObject* o) {
    o->once_seen = false;
    o->ahead = false;
    if (!o->lookahead || o->type == DB_OBJ_TOTAL || o->area->group->page_group) return;
    run.ahead_objects.push_back(o);
    run.ahead_groups[place_of(run, o->area->group)] = true;
  });
  if (rc != 0) {
    // No record: the title and the summary.
    run.bands.push_back(areas_band(gs[0], true, true, false));
    run.bands.push_back(areas_band(gs[0], false, true, false));
    run.state = kLastPage;
    return 0;
  }
  for (size_t i = 1; i < gs.size(); i++)
    if (gs[i]->reset && !value_of(gs[i]->reset, run.reset_values[i])) return -1;
  run.bands.push_back(feed_band());
  for (size_t i = 0; i < gs.size(); i++) run.bands.push_back(areas_band(gs[i], true, i == 0, false));
  return 0;
}

int output_page(ReportRun& run) {
  if (run.state == kFinished) return kFinished;
  DbReport* r = run.r;
  DB_ENGINE* c = r->context;
  run.page++;
  c->page_no = run.restart ? 1 : uint16_t(c->page_no + 1);
  run.restart = false;
  run.flow = false;
  run.end_page = false;
  if (!run_feeds(run)) return -1;
  if (run.bands.empty() && run.state == kProducing && record_step(run) < 0) return -1;
  if (!run_feeds(run) || !page_bottom(run) || !page_top(run)) return -1;
  while (!run.end_page) {
    if (run.bands.empty()) {
      if (run.state == kLastPage) {
        run.state = kFinished;
        break;
      }
      if (record_step(run) < 0) return -1;
      continue;
    }
    Band& b = run.bands.front();
    if (b.kind == Band::Feed) {
      if (!run_feeds(run)) return -1;
      continue;
    }
    Step st = print_band(run, b);
    if (st == kError) return -1;
    if (run.generating) run.y = 0;  // one endless page
    if (st == kPageFull) break;
    if (run.generating && !b.header && b.group == r->output_group && !output_store_record(run)) return -1;
    bool title_page = b.header && b.group->title_group && r->title_page && run.flow && !run.generating;
    run.bands.pop_front();
    if (title_page) break;
  }
  // Nothing left to print after this page: it is the last.
  while (!run.generating && !run.bands.empty() && empty_band(run.bands.front())) run.bands.pop_front();
  if (run.bands.empty() && run.state == kLastPage) run.state = kFinished;
  run.y = run.bottom;
  for (DbReportArea* a : run.page_footers) {
    if (!draw_slice(run, a, 0, a->device_height, run.y)) return -1;
    run.y += a->device_height;
  }
  return run.state == kFinished ? kFinished : 0;
}
