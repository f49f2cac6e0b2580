// Page production: the state of one output of a report, from its start
// (report_output, report_data_file, or the first report_page_next) until
// the report is finished, freed or output again.
//
// The producer walks the relation's records and keeps a queue of bands:
// the header or footer areas of a group still to print, in order, and the
// points at which the current record is given to the totals. A record
// step (the queue is empty) keeps a copy of every node's record, skips to
// the next record and finds the breaking group; it queues the footers from
// the innermost group out to the breaking one (printed with the copies, so
// that they show the record before the break), a feed of the totals, and
// the headers from the breaking group in. A page takes bands from the
// queue until one does not fit; the rest of the queue waits for the next
// page, which starts with the page header and the headers repeated on it.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/print.h"
#include "report/report_internal.h"

class TWindow;
class TPreviewWin;

enum : int { kProducing = 0, kLastPage = 1, kFinished = 2 };

struct Band {
  enum Kind { Areas, Feed } kind = Areas;
  DbReportGroup* group = nullptr;
  bool header = true;
  bool breaking = false;  // its group broke (or the output starts or ends with it)
  bool saved = false;     // printed with the records before the break
  size_t area = 0;        // the next area to print
  int32_t done = 0;       // device units of that area printed already
  bool checked = false;   // its group's page flags were heeded
  bool looked = false;    // the look-ahead of its group ran
};

struct ReportRun {
  explicit ReportRun(DbReport* report) : r(report) {}
  ~ReportRun();
  ReportRun(const ReportRun&) = delete;
  ReportRun& operator=(const ReportRun&) = delete;

  DbReport* r;
  int state = kProducing;
  long page = 0;  // the report's page number
  // The context pages are produced on (none while a data file is
  // generated), and the device the layout was converted for: resolution,
  // page size, printer or not.
  TDC* dc = nullptr;
  bool laid_out = false;
  int device[5] = {};
  bool printing = false;  // printer fonts
  // The page under way.
  int32_t y = 0;
  int32_t bottom = 0;  // where the page footer begins
  std::vector<DbReportArea*> page_footers;
  bool flow = false;      // something besides the page header and repeated headers printed
  bool end_page = false;  // a footer at the foot of the page or the title page ends it
  DbReportGroup* starter = nullptr;  // its header (flag 1) starts the next page in place of the page header
  bool restart = false;   // the next page is number 1 again
  std::deque<Band> bands;
  std::vector<std::string> reset_values;  // by place in the report's groups
  std::vector<bool> ahead_groups;         // groups whose objects read ahead
  std::vector<DbReportObject*> ahead_objects;
  // Data-file generation.
  bool generating = false;
  DbDataFile* out = nullptr;
  std::unordered_map<DbReportObject*, DbField*> out_fields;
  long records = 0;
  bool failed = false;
  // Windows of the output.
  TWindow* mouse_eater = nullptr;
  TPreviewWin* preview = nullptr;
  std::unique_ptr<TPrintDC> own_printer;  // the configured printer, when the report names none
};

// Starts an output: backward skipping, the first record, the totals reset,
// the first bands queued. -1 after an error.
int output_start(DbReport* r, bool generating);
// Produces the next page on the run's context (none while generating).
// kFinished when the report is finished, 0 when pages follow, -1 on error.
int output_page(ReportRun& run);
// Converts the layout for a context: areas' heights and objects' places
// in its device units, the device page and margins, printer fonts on a
// printer's context. output_device_known tells whether the layout fits a
// context already (any other of the same device).
void output_layout(ReportRun& run, TDC* dc);
bool output_device_known(const ReportRun& run, const TDC& dc);

// Drawing (output_draw.cpp): the objects of an area between two lines of
// it (device units), the area's top line standing at page line top;
// objects that cross those lines are cut at them.
bool draw_slice(ReportRun& run, DbReportArea* a, int32_t from, int32_t to, int32_t top);

// Data-file generation (output_data.cpp): an object's value into its
// field of the output record, and the record written.
bool output_store(ReportRun& run, DbReportObject* o);
bool output_store_record(ReportRun& run);

// The mouse eater: captures the mouse while output runs.
void mouse_eater_create(ReportRun& run);
void mouse_eater_destroy(ReportRun& run);
