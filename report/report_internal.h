// What the report engine's files share among themselves: error reporting,
// the walk over every object of a report, the placement of objects in an
// area's tree and the teardown of records.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "report/report.h"

// Reports the failure through the engine and gives -1.
int report_fail(DB_ENGINE* c, int code, const char* text, const char* extra = nullptr);
// True while the context has an error pending: the operations that reach
// into the engine refuse then, as the engine's own do.
bool report_pending(DB_ENGINE* c);

// The master data file: every expression of the report is parsed against it.
DbDataFile* report_master(const DbReport* r);

// Reports alive now, so that freeing one twice finds nothing to free.
void report_register(DbReport* r);
bool report_unregister(DbReport* r);  // false when it was not alive
bool report_alive(const DbReport* r);

// Every object of every area of the report (the page header/footer group's
// too), in pre-order.
void report_each_object(DbReport* r, const std::function<void(DbReportObject*)>& fn);
// The sibling list an object stands in.
std::vector<DbReportObject*>& object_siblings(DbReportObject* o);

// Containment: puts the object where it belongs in the area's tree and
// takes under it the top-level objects that lie inside it.
void area_place(DbReportArea* a, DbReportObject* o);
// Puts the object under the innermost object that holds it, without taking
// others under it.
void area_place_alone(DbReportArea* a, DbReportObject* o);

// Teardown without the checks of the public operations: the object tree
// of an area, an area, a group (fixed ones too), a style's fonts.
void area_objects_destroy(DbReportArea* a);
void area_destroy(DbReportArea* a);
void group_destroy(DbReportGroup* g);
void style_destroy(DbReportStyle* s);
// Appends a style made for no report to the report's list.
void style_link(DbReport* r, DbReportStyle* s);
void groups_renumber(DbReport* r);
// Drops the object from the report's output-field list; false when it
// was not there.
bool output_field_forget(DbReportObject* o);

// Frees a report. With keep set, only the calculations not in it are freed
// (a failed retrieve keeps the caller's); otherwise every one of the context.
void report_destroy(DbReport* r, int free_relation, int close_files,
                    const std::vector<DbCalc*>* keep);

// Steps forward through the relation from the current record and calls
// visit on each record after it: 1 goes on, 0 stops there (the record
// belongs to what follows), -1 fails. Then steps back to the record it
// started from, also when the walk ran past the last record. 0, or -1
// after an error; the relation must allow backward skipping.
int relation_walk_ahead(DbRelation* rel, const std::function<int()>& visit);

// The context's calculations in list order.
std::vector<DbCalc*> context_calcs(DB_ENGINE* c);
