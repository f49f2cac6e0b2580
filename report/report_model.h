// The records of a report layout. A report runs over the records of a
// relation (a master data file with its slaves, a query and a sort) and is
// laid out as groups: each group breaks when its reset expression changes
// and owns header and footer areas, bands of a fixed height; each area owns
// output objects placed inside it. Positions and sizes are in thousandths
// of an inch, relative to the top left corner of the area.
//
// Ownership runs down the tree: the report owns its groups (and the two
// fixed ones), its styles and their fonts; a group its areas; an area its
// objects; an object its children, texts, expressions and bitmap memory.
// Totals live in the engine context's total list and belong to it. The
// relation and its data files stay the caller's unless report_free is asked
// to free them. Callers never free a record themselves.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_api.h"
#include "platform/global_memory.h"
#include "platform/ui/gdi_types.h"
#include "platform/ui/geometry.h"
#include "platform/wintypes.h"

class TPrintDC;
struct ReportRun;
struct DbReport;
struct DbReportArea;
struct DbReportGroup;
struct DbReportObject;
struct DbReportStyle;
struct DbReportTotal;

// Object types; the codes are stored in report files.
enum : int {
  DB_OBJ_FIELD = 400,
  DB_OBJ_EXPR = 401,
  DB_OBJ_TOTAL = 402,
  DB_OBJ_CALC = 403,
  DB_OBJ_TEXT = 404,
  DB_OBJ_BITMAP_MEM = 405,
  DB_OBJ_HLINE = 406,
  DB_OBJ_VLINE = 407,
  DB_OBJ_FRAME = 408,
  DB_OBJ_BITMAP_FILE = 409,
  DB_OBJ_BITMAP_FIELD = 410,
};

// The five output flags of a group, in record order.
enum DbGroupFlag : int {
  DB_GROUP_HEADER_PAGE,    // header starts a page and stands for the page header
  DB_GROUP_FOOTER_FOOT,    // footer at the foot of the page
  DB_GROUP_HEADER_REPEAT,  // header again on every page the group goes on
  DB_GROUP_BREAK_BEFORE,   // header starts a page
  DB_GROUP_PAGE_RESTART,   // header starts a page numbered 1
  DB_GROUP_FLAGS
};

// Justification, numeric types.
enum : int { DB_JUSTIFY_LEFT = 0, DB_JUSTIFY_RIGHT = 1, DB_JUSTIFY_CENTRE = 2 };
enum : int { DB_NUMERIC_PLAIN = 0, DB_NUMERIC_SCIENTIFIC = 1, DB_NUMERIC_CURRENCY = 2, DB_NUMERIC_PERCENT = 3 };

// A named font with a colour.
struct DbReportStyle {
  std::string name;    // at most 19 characters, unique in the report
  LOGFONT16 font16{};  // the record as stored
  LOGFONT font{};      // its 32-bit form, which the fonts are made from
  COLORREF color = 0;
  int point_size = 0;
  HFONT screen_font = nullptr;
  HFONT printer_font = nullptr;  // made when printing starts
  int id = 0;                    // 600 + the styles before it
  std::string bytes_first;       // two byte strings kept with the style
  std::string bytes_second;
};

// A running minimum, maximum, count, average or sum over the records.
struct DbReportTotal : DbTotal {
  DbExpr* reset = nullptr;  // starts anew when its value changes
  std::string reset_value;
  bool reset_seen = false;
  DbExpr* condition = nullptr;  // which records count
  std::string condition_value;
  bool condition_seen = false;
  int logical = 0;  // the condition is a logical one
  int computed_ahead = 0;
  DbReport* report = nullptr;
  int lookahead = 0;
  DbReportObject* object = nullptr;  // the object that shows it
};

struct DbReportObject {
  int type = 0;
  int32_t x = 0, y = 0, width = 0, height = 0;
  int32_t display_width = 0;  // in characters
  DbExpr* display_once = nullptr;  // printed only when its value changes
  std::string once_value;
  bool once_seen = false;  // once_value holds the value last printed
  DbReportArea* area = nullptr;
  DbReportObject* parent = nullptr;
  std::vector<DbReportObject*> children;
  // A text object's text, a bitmap file's name, "alias->field" of a bitmap
  // field; none for the others.
  std::optional<std::string> text;
  std::string date_picture;  // empty: the report's
  DbReportStyle* style = nullptr;
  int lookahead = 0;  // a total object keeps it in its total
  int justify = 0;       // the corner rounding of a frame
  int numeric_type = 0;
  int display_zero = 0;  // the fill of a frame
  int decimals = 0;      // the line width of lines and frames
  int brackets = 0;
  int leading_zero = 0;
  int marks[2] = {0, 0};  // two output marks, carried unchanged
  // The data it shows, by type.
  DbField* field = nullptr;
  DbExpr* expr = nullptr;
  DbCalc* calc = nullptr;
  DbReportTotal* total = nullptr;
  HGLOBAL bitmap = nullptr;
  // The field it fills when the report is written to a data file.
  std::string out_name;  // at most 10 characters
  int out_type = 0;
  int out_len = 0;
  int out_decimals = 0;
  double last_value = 0;
  std::string last_text;
  // While pages are produced: the place in the area in device units, and
  // whether last_text holds the value read ahead to its group's last record.
  TRect device;
  bool ahead = false;
};

struct DbReportArea {
  int position = 0;  // from 1 in its group's header or footer list
  int32_t height = 0;
  int header = 0;  // 1 header area, 0 footer area
  DbExpr* suppress = nullptr;  // not printed while true
  DbReportGroup* group = nullptr;
  int page_break = 1;  // may be split across pages
  int setting_second = 0;  // carried unchanged
  std::vector<DbReportObject*> objects;  // the tree's top level, in drawing order
  DbReport* report = nullptr;
  int32_t device_height = 0;  // while pages are produced
};

struct DbReportGroup {
  // Counted from the end of the report's list: the innermost group is 1,
  // "Title/Summary" the highest.
  int position = 0;
  int page_group = 0;
  int title_group = 0;
  DbExpr* reset = nullptr;  // none: breaks on every record
  std::string name;         // at most 25 characters, unique in the report
  std::vector<DbReportArea*> headers;
  std::vector<DbReportArea*> footers;
  int flags[DB_GROUP_FLAGS] = {};
  int saved_flags[DB_GROUP_FLAGS] = {};  // while a data file is generated
  int setting_second = 0;  // carried unchanged
  DbReport* report = nullptr;
};

struct DbReport {
  DB_ENGINE* context = nullptr;
  DbRelation* relation = nullptr;
  std::string name;       // at most 9 characters: the file's name alone
  std::string file_name;  // the file saved to or retrieved from
  HDC printer_dc = nullptr;  // none: the default printer
  TPrintDC* own_printer_dc = nullptr;  // the one report_printer_setup made
  std::optional<std::string> caption;
  std::string date_picture;
  DbReportGroup* title_group = nullptr;  // first in groups
  DbReportGroup* page_group = nullptr;   // kept apart from groups
  std::vector<DbReportStyle*> styles;
  DbReportStyle* current_style = nullptr;
  std::vector<DbReportGroup*> groups;
  // Printable sizes and margins.
  int32_t width = 8000, height = 11000;
  int32_t margin_top = 0, margin_bottom = 0, margin_right = 250, margin_left = 250;
  char decimal_point = '.';
  char separator = ',';
  std::string currency = "$";  // at most 10 characters
  int title_page = 0;
  int hard_resets = 0;
  int to_screen = 1;  // 1 preview, 0 printer
  int32_t layout_values[2] = {0, 0};  // each 0..5000
  int page_first = 0, page_last = 0, page_range_on = 0;
  int32_t output_settings[2] = {1, 0};
  // Data-file generation: the group whose footer makes a record, the file,
  // and the objects with an output field in the order of the file's fields.
  DbReportGroup* output_group = nullptr;
  std::string output_file;
  std::vector<DbReportObject*> output_fields;
  HWND parent = nullptr;
  int full_path = 1;  // data files saved with their full names
  int bitmap_counter = 0;
  // The device page and margins as page production computes them.
  int32_t page_width_device = 0, page_height_device = 0;
  int32_t offset_left = 0, offset_right = 0, offset_top = 0, offset_bottom = 0;
  // Output under way (report_output, report_data_file, report_page_next):
  // the producer's state and the preview's windows.
  struct RunEnd {
    void operator()(ReportRun* run) const;
  };
  std::unique_ptr<ReportRun, RunEnd> run;
};
