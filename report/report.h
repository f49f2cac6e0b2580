// The report engine's operations: build and change a layout (reports,
// groups, areas, objects), its styles and totals, and keep it in report,
// relation and style files. The records are in report_model.h.
//
// Every operation reports a failure through the engine's error reporter
// (code_error_ex) with its code and text, which leaves the code pending in
// the context, and returns NULL (constructors) or -1 (setters). A NULL
// record is answered with NULL, 0 or -1 and no report.
#pragma once

#include "report/report_model.h"

// Reports.
DbReport* report_create(DbRelation* relation);
int report_free(DbReport* report, int free_relation, int close_files);
int report_caption_set(DbReport* report, const char* text);
int report_titlePage(DbReport* report, int flag);
int report_hardResets(DbReport* report, int flag);
int report_toScreen(DbReport* report, int flag);
int report_page_size_set(DbReport* report, long height, long width, int units);
int report_margins_set(DbReport* report, long left, long right, long top, long bottom, int units);
int report_decimal_set(DbReport* report, char c);
int report_separator_set(DbReport* report, char c);
int report_currency_set(DbReport* report, const char* text);
int report_query_set(DbReport* report, const char* text);
int report_sort_set(DbReport* report, const char* text);
HDC report_printer_dc_set(DbReport* report, HDC dc);
int report_parent_set(DbReport* report, HWND window);
int report_printer_setup(DbReport* report);
int report_output_flags_set(DbReport* report, long a, long b);
int report_output_group_set(DbReport* report, DbReportGroup* group);
int report_output_file_set(DbReport* report, const char* name);
int report_page_extent(DbReport* report, long* width, long* height);
int report_page_offsets(DbReport* report, long* left, long* right, long* top, long* bottom);
int report_styleSelect(DbReport* report, DbReportStyle* style);

// Groups. The navigation never returns "Title/Summary".
DbReportGroup* group_create(DbReport* report, const char* name, const char* reset);
int group_free(DbReportGroup* group);
int group_position_set(DbReportGroup* group, int n);
int group_reset_set(DbReportGroup* group, const char* text);
int group_header_page_set(DbReportGroup* group, int flag);
int group_footer_foot_set(DbReportGroup* group, int flag);
int group_header_repeat_set(DbReportGroup* group, int flag);
int group_break_before_set(DbReportGroup* group, int flag);
int group_page_restart_set(DbReportGroup* group, int flag);
DbReportGroup* group_first(DbReport* report);
DbReportGroup* group_next(DbReport* report, DbReportGroup* group);
DbReportGroup* group_last(DbReport* report);
DbReportGroup* group_prev(DbReport* report, DbReportGroup* group);
int group_count(DbReport* report);
DbReportGroup* report_title_group(DbReport* report);
DbReportGroup* report_page_group(DbReport* report);
DbReportGroup* report_groupLookup(DbReport* report, const char* name);

// Areas and the walk over an area's objects (pre-order).
DbReportArea* area_create(DbReportGroup* group, long height, int header, const char* suppress);
int area_free(DbReportArea* area);
int area_pageBreak(DbReportArea* area, int flag);
DbReportArea* group_header_first(DbReportGroup* group);
DbReportArea* group_header_next(DbReportGroup* group, DbReportArea* area);
DbReportArea* group_header_last(DbReportGroup* group);
DbReportArea* group_header_prev(DbReportGroup* group, DbReportArea* area);
DbReportArea* group_footer_first(DbReportGroup* group);
DbReportArea* group_footer_next(DbReportGroup* group, DbReportArea* area);
DbReportArea* group_footer_last(DbReportGroup* group);
DbReportArea* group_footer_prev(DbReportGroup* group, DbReportArea* area);
int group_header_count(DbReportGroup* group);
int group_footer_count(DbReportGroup* group);
DbReportObject* area_obj_first(DbReportArea* area);
DbReportObject* area_obj_next(DbReportArea* area, DbReportObject* obj);
DbReportObject* area_obj_prev(DbReportArea* area, DbReportObject* obj);
DbReportObject* area_obj_last(DbReportArea* area);
int area_obj_count(DbReportArea* area);
int area_sort(DbReportArea* area);

// Objects: the area, the data, then x, y, width and height.
DbReportObject* obj_field_create(DbReportArea* area, DbField* field, long x, long y, long w, long h);
DbReportObject* obj_expr_create(DbReportArea* area, const char* text, long x, long y, long w, long h);
DbReportObject* obj_total_create(DbReportArea* area, DbReportTotal* total, long x, long y, long w,
                                 long h);
DbReportObject* obj_calc_create(DbReportArea* area, DbCalc* calc, long x, long y, long w, long h);
DbReportObject* obj_text_create(DbReportArea* area, const char* text, long x, long y, long w, long h);
DbReportObject* obj_bitmap_mem_create(DbReportArea* area, HGLOBAL bitmap, long x, long y, long w,
                                      long h);
DbReportObject* obj_line_create(DbReportArea* area, int vertical, long x, long y, long length);
DbReportObject* obj_frame_create(DbReportArea* area, long x, long y, long w, long h);
DbReportObject* obj_bitmap_file_create(DbReportArea* area, const char* file, long x, long y, long w,
                                       long h);
DbReportObject* obj_bitmap_field_create(DbReportArea* area, DbField* field, long x, long y, long w,
                                        long h);
int obj_delete(DbReportObject* obj);
int obj_justify(DbReportObject* obj, int j);
int obj_frameCorners(DbReportObject* obj, int n);
int obj_frameFill(DbReportObject* obj, int flag);
int obj_displayZero(DbReportObject* obj, int flag);
int obj_numericType(DbReportObject* obj, int t);
int obj_leadingZero(DbReportObject* obj, int flag);
int obj_brackets(DbReportObject* obj, int flag);
int obj_style(DbReportObject* obj, DbReportStyle* style);
int obj_lookahead(DbReportObject* obj, int flag);
int obj_decimals_set(DbReportObject* obj, int n);
int obj_line_width_set(DbReportObject* obj, int n);
int obj_date_picture_set(DbReportObject* obj, const char* text);
int obj_display_once_set(DbReportObject* obj, const char* text);
int obj_output_field_set(DbReportObject* obj, const char* name, int type, int length, int decimals);

// Styles. A NULL report makes a style that belongs to no report yet.
DbReportStyle* style_create(DbReport* report, const LOGFONT16* font, const char* name, COLORREF color,
                            int point_size);
int style_free(DbReport* report, DbReportStyle* style);
int style_delete(DbReport* report, const char* name);
DbReportStyle* style_lookup(DbReport* report, const char* name);
DbReportStyle* style_index(DbReport* report, int n);
DbReportStyle* style_first(DbReport* report);
DbReportStyle* style_next(DbReport* report, DbReportStyle* style);
DbReportStyle* style_last(DbReport* report);
DbReportStyle* style_prev(DbReport* report, DbReportStyle* style);
int style_count(DbReport* report);
DbReportStyle* report_style_current(DbReport* report);
int style_color_set(DbReportStyle* style, COLORREF color);
int style_replace(DbReport* report, DbReportStyle* old_style, DbReportStyle* new_style);

// Totals. Page production resets every total when output starts and gives
// it each record; a total's value is total_value (engine_api.h).
DbReportTotal* total_create(DbReport* report, const char* name, const char* expr, int type,
                            const char* reset);
DbReportTotal* total_lookup(DbReport* report, const char* name);
int total_condition_set(DbReportTotal* total, const char* expr, int logical);
int total_free(DbReportTotal* total);
int total_reset(DbReportTotal* total);
int total_evaluate(DbReportTotal* total);

// Output. report_output produces the whole report into the preview (the
// to-screen flag set) or onto the printer; report_data_file writes it as a
// dBASE table with one record for each footer of the output group;
// report_page_next produces the next page on a context (2 when the report
// is finished, 0 when pages follow, -1 on error). When the preview closes
// or printing ends, the parent window is posted WM_REPORT_DONE (0, 0).
enum : UINT { WM_REPORT_DONE = 2024 };
int report_output(DbReport* report);
int report_data_file(DbReport* report);
int report_page_next(DbReport* report, HDC dc);

// Files. Each save writes a file beside the target and puts it in the
// target's place only when complete.
int report_save(DbReport* report, const char* name, int full_path);
DbReport* report_retrieve(DB_ENGINE* c, const char* name, int open_files, const char* data_dir);
int relate_save(DbRelation* relation, const char* name, int full_path);
DbRelation* relate_retrieve(DB_ENGINE* c, const char* name, int open_files, const char* data_dir);
int style_save(DbReport* report, const char* name);
int style_retrieve(DbReport* report, const char* name, int replace);
