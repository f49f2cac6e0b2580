// Data-file generation: the report's pages produced into a dBASE table
// instead of onto paper. The objects with an output field name the
// table's fields, in the order they were given one; while the report runs
// (one endless page, the groups' page flags switched off) each of them
// stores its value into the output record instead of being drawn, and
// every time the footer of the output group has printed, that record is
// appended. A table that cannot be finished is removed rather than left
// with records missing.
#include <cstring>

#include "report/object_text.h"
#include "report/output_run.h"

namespace {

int setup_error(DB_ENGINE* c, const char* text, const char* extra = nullptr) {
  return report_fail(c, e_report_to_data, text, extra);
}

// The fields of the output table, from the registered objects.
struct FieldList {
  std::vector<std::string> names;
  std::vector<DbFieldInfo> fields;
  explicit FieldList(const DbReport* r) {
    names.reserve(r->output_fields.size());
    for (const DbReportObject* o : r->output_fields) names.push_back(o->out_name);
    for (size_t i = 0; i < names.size(); i++) {
      const DbReportObject* o = r->output_fields[i];
      fields.push_back({names[i].c_str(), o->out_type, unsigned(o->out_len), unsigned(o->out_decimals)});
    }
    fields.push_back({nullptr, 0, 0, 0});
  }
};

// The groups' page flags, off while the table is written.
class FlagsOff {
 public:
  explicit FlagsOff(DbReport* r) : r_(r) {
    for (DbReportGroup* g : groups())
      for (int i = 0; i < DB_GROUP_FLAGS; i++) {
        g->saved_flags[i] = g->flags[i];
        g->flags[i] = 0;
      }
  }
  ~FlagsOff() {
    for (DbReportGroup* g : groups())
      for (int i = 0; i < DB_GROUP_FLAGS; i++) g->flags[i] = g->saved_flags[i];
  }
  FlagsOff(const FlagsOff&) = delete;
  FlagsOff& operator=(const FlagsOff&) = delete;

 private:
  std::vector<DbReportGroup*> groups() const {
    std::vector<DbReportGroup*> all = r_->groups;
    all.push_back(r_->page_group);
    return all;
  }
  DbReport* r_;
};

// Writes the records; false when the run or a write failed.
bool generate(DbReport* r, DbDataFile* out) {
  if (output_start(r, true) < 0) return false;
  ReportRun& run = *r->run;
  run.out = out;
  for (size_t i = 0; i < r->output_fields.size(); i++)
    run.out_fields[r->output_fields[i]] = data_field_at(out, int(i) + 1);
  output_layout(run, nullptr);
  // The record the objects fill is the one appended next.
  if (data_lock_file(out) != 0 || data_append_start(out, 0) != 0) return false;
  int rc = 0;
  while (rc == 0) rc = output_page(run);
  if (rc != kFinished) return false;
  DbSettingFor silent(r->context->silent_errors, 1);  // a write failure is reported as the table's
  if (data_flush(out) != 0) run.failed = true;
  return !run.failed;
}

}  // namespace

bool output_store(ReportRun& run, DbReportObject* o) {
  auto it = run.out_fields.find(o);
  if (it == run.out_fields.end() || !it->second) return true;
  DbField* f = it->second;
  ShownValue v;
  if (!object_shown(run.r, o, v)) return false;
  int type = field_type(f);
  if (o->type == DB_OBJ_TOTAL) {
    // A total without a value (an average over no record) stores 0.
    if (type == 'N' && o->total && o->total->type == DB_TOTAL_COUNT) field_assign_long(f, long(v.number));
    else if (type == 'N') field_assign_double(f, v.number);
    else if (type == 'C') field_assign(f, v.text.c_str());
    return true;
  }
  switch (type) {
    case 'C': field_assign(f, v.text.c_str()); break;
    // A date is stored as the date, not as the picture shows it.
    case 'D': field_assign(f, v.date.empty() ? v.text.c_str() : v.date.c_str()); break;
    case 'L': field_assign_char(f, v.text.empty() ? ' ' : v.text[0]); break;
    case 'N': field_assign_double(f, v.number); break;
    default: break;
  }
  return true;
}

bool output_store_record(ReportRun& run) {
  DbSettingFor silent(run.r->context->silent_errors, 1);  // reported as the table's failure
  if (data_append(run.out) != 0 || data_append_start(run.out, 0) != 0) {
    run.failed = true;
    return false;
  }
  run.records++;
  return true;
}

int report_data_file(DbReport* r) {
  if (!r) return -1;
  DB_ENGINE* c = r->context;
  DbLock lock(c);
  if (report_pending(c)) return -1;
  if (!r->output_group || r->output_file.empty() || r->output_fields.empty())
    return setup_error(c, "Error in setup for data file generation.");
  FieldList list(r);
  DbDataFile* out;
  {
    // The engine's own report of the failure gives way to ours, with the name.
    DbSettingFor read_only(c->read_only, 0), quiet(c->report_create_errors, 0);
    out = data_create(c, r->output_file.c_str(), list.fields.data(), nullptr);
  }
  if (!out) {
    code_error_set(c, 0);
    return setup_error(c, "Unable to create the specified data file for generation.", r->output_file.c_str());
  }
  std::string made = out->file.name;
  bool done, write_failed;
  {
    FlagsOff flags(r);
    done = generate(r, out);
    write_failed = r->run && r->run->failed;
  }
  r->run.reset();
  int pending = code_error_set(c, 0);  // an error of the run itself, reported already
  {
    DbSettingFor silent(c->silent_errors, 1);
    if (data_close(out) != 0) done = false, write_failed = true;
  }
  code_error_set(c, 0);
  if (done) return 0;
  file_remove(made.c_str());
  if (pending < 0 && !write_failed) {
    code_error_set(c, pending);
    return -1;
  }
  return setup_error(c, "Unable to write the data file of the report.", made.c_str());
}
