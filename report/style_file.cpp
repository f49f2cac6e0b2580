// Style files: a report's styles kept apart from the layout, to be taken
// into another report. A style of a name the report has already replaces
// the old one (its objects take the new one) or is passed over.
#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "report/file_records.h"

namespace repfile {

DbReportStyle* style_from(DbReport* r, const StyleRecord& rec) {
  DbReportStyle* s = style_create(r, &rec.font, rec.name.c_str(), rec.color, rec.point_size);
  if (s) {
    s->bytes_first = rec.bytes_first;
    s->bytes_second = rec.bytes_second;
  }
  return s;
}

}  // namespace repfile

using namespace repfile;

namespace {

// Puts the new style in the old one's place in the list and frees the old.
void replace_style(DbReport* r, DbReportStyle* old_style, DbReportStyle* new_style) {
  auto at = std::find(r->styles.begin(), r->styles.end(), old_style);
  *at = new_style;
  new_style->id = old_style->id;
  style_replace(r, old_style, new_style);
  if (r->current_style == old_style) r->current_style = new_style;
  style_destroy(old_style);
}

}  // namespace

int style_save(DbReport* r, const char* name) {
  if (!r || !name) return -1;
  DB_ENGINE* c = r->context;
  DbLock lock(c);
  if (report_pending(c)) return -1;
  SaveFile file(c, 1024);
  if (!file.create(name, "CRS")) return -1;
  SaveErrors errors(c);
  ItemWriter& out = file.out();
  out.bytes(kStyleMark, sizeof kStyleMark);
  out.count(r->styles.size());
  for (DbReportStyle* s : r->styles) {
    if (!write_style(out, s)) {
      errors.fail("Unable to save style.", s->name.c_str());
      return -1;
    }
  }
  return file.finish(errors) ? 0 : -1;
}

int style_retrieve(DbReport* r, const char* name, int replace) {
  if (!r || !name) return -1;
  DB_ENGINE* c = r->context;
  DbLock lock(c);
  if (report_pending(c)) return -1;
  const char* failed = "Unable to retrieve style.";
  std::string path;
  ReadFile file(c);
  if (!name_with_ext(name, "CRS", path) || !file.open(path)) return report_fail(c, e_report_retrieve, failed, name);
  ItemReader& in = file.in();
  ReadErrors errors(c);
  auto refuse = [&](const char* extra, const ItemReader* at = nullptr) {
    errors.fail(e_report_retrieve, failed, extra, at);
    return -1;
  };
  unsigned char mark[2];
  int count;
  if (!in.bytes(mark, 2) || mark[0] != kStyleMark[0] || mark[1] != kStyleMark[1])
    return refuse("File is not a ZevoZezododo file.");
  if (!in.u16(count) || !in.fits(count, kStyleMinBytes)) return refuse(nullptr, &in);
  // Every record is read and checked before the report changes.
  std::vector<StyleRecord> records(static_cast<size_t>(count));
  std::set<std::string> names;
  for (StyleRecord& rec : records)
    if (!read_style(in, rec) || !names.insert(rec.name).second) return refuse(rec.name.c_str(), &in);
  // The styles are all made before any goes in, so a failure changes nothing.
  std::vector<std::pair<DbReportStyle*, DbReportStyle*>> made;  // old one or none, new one
  for (const StyleRecord& rec : records) {
    DbReportStyle* old_style = style_lookup(r, rec.name.c_str());
    if (old_style && !replace) continue;
    DbReportStyle* s = style_from(nullptr, rec);
    if (!s) {
      for (auto& m : made) style_destroy(m.second);
      return refuse(rec.name.c_str());
    }
    made.emplace_back(old_style, s);
  }
  for (auto [old_style, s] : made) {
    if (old_style) replace_style(r, old_style, s);
    else style_link(r, s);
  }
  return 0;
}
