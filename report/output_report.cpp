// The entry points of output: report_output (the preview, or printing),
// report_page_next, and the printing loop.
//
// Printing goes to the report's printer context, or to the configured
// printer of the layer when the report names none; the ended pages become
// one PDF document handed on as the printer's setup says. A page range
// prints exactly its pages: those before it are produced on a scratch
// context of the same printer and never reach the document, and
// production stops after the range's last page. The cancel dialog stops
// printing at the next page boundary; the pages ended by then are printed.
#include <climits>
#include <memory>

#include "platform/ui/app_state.h"
#include "platform/ui/capture.h"
#include "platform/ui/print.h"
#include "report/output_run.h"
#include "report/output_windows.h"

namespace {

// The waiting messages go their way (the cancel dialog's button among
// them); false once printing is to stop.
bool keep_printing(const bool& abort) {
  plat::pump_host();
  plat::dispatch_all();
  return !abort;
}

const char* document_name(const DbReport* r) {
  if (r->caption) return r->caption->c_str();
  return r->name.empty() ? kReportTitle : r->name.c_str();
}

// The end of an output: the owner hears of it and gets back the input.
void output_ended(DbReport* r) {
  if (r->run) mouse_eater_destroy(*r->run);
  ReleaseCapture();
  if (!r->parent) return;
  PostMessage(r->parent, WM_REPORT_DONE, 0, 0);
  EnableWindow(r->parent, TRUE);
  SetFocus(r->parent);
}

TPrintDC* printer_of(DbReport* r, ReportRun& run) {
  TDC* given = r->printer_dc ? plat::dc_of(r->printer_dc) : nullptr;
  if (auto* dc = dynamic_cast<TPrintDC*>(given)) return dc;
  run.own_printer = std::make_unique<TPrintDC>(plat::default_print_setup());
  return run.own_printer.get();
}

// Pages produced one by one onto the document (or, before the range, the
// scratch context), until the report is finished or cancelled; 0, or -1
// after an error of production.
int print_pages(DbReport* r, TPrintDC& dc, const bool& abort) {
  ReportRun& run = *r->run;
  TPrintDC scratch(dc.Setup());
  long first = r->page_range_on ? r->page_first : 1;
  long last = r->page_range_on ? r->page_last : LONG_MAX;
  int rc = 0;
  while (rc == 0 && !abort && run.page < last) {
    bool wanted = run.page + 1 >= first;
    TPrintDC& target = wanted ? dc : scratch;
    target.StartPage();
    rc = report_page_next(r, target.GetHDC());
    if (rc < 0) return -1;
    if (wanted) target.EndPage();
    if (!keep_printing(abort)) break;
  }
  return 0;
}

int print_report(DbReport* r) {
  DB_ENGINE* c = r->context;
  ReportRun& run = *r->run;
  TWindow* owner = plat::window_object(r->parent);
  if (r->parent) EnableWindow(r->parent, FALSE);
  TPrintDC* dc = printer_of(r, run);
  dc->SaveDC();
  output_layout(run, dc);
  dc->RestoreDC(-1);
  bool abort = false;
  TReportCancelDlg cancel(owner, r, abort);
  if (!cancel.Create()) {
    output_ended(r);
    return report_fail(c, e_repwin, "Unable to create report cancel dialog.");
  }
  cancel.ShowWindow(SW_SHOW);
  dc->StartDoc(document_name(r));
  int rc = print_pages(r, *dc, abort);
  if (rc < 0) dc->AbortDoc();
  dc->EndDoc();
  if (cancel.GetHandle()) cancel.Destroy();
  TPrinter printer;
  printer.GetSetup() = dc->Setup();
  if (rc == 0 && !printer.Submit(owner, *dc)) rc = -1;
  output_ended(r);
  return rc;
}

int preview_report(DbReport* r) {
  DB_ENGINE* c = r->context;
  ReportRun& run = *r->run;
  run.preview = new TPreviewWin(plat::window_object(r->parent), r);
  if (!run.preview->Create()) {
    output_ended(r);
    return report_fail(c, e_repwin, "Unable to create report output window.");
  }
  // From here on the preview takes the input.
  mouse_eater_destroy(run);
  ReleaseCapture();
  if (!run.preview->Start()) {
    if (!report_pending(c)) report_fail(c, e_repwin, "Unable to create report page window.");
    run.preview->Destroy();
    output_ended(r);
    return -1;
  }
  return 0;
}

}  // namespace

int report_output(DbReport* r) {
  if (!r) return -1;
  DB_ENGINE* c = r->context;
  {
    DbLock lock(c);
    if (report_pending(c) || output_start(r, false) < 0) return -1;
  }
  mouse_eater_create(*r->run);
  return r->to_screen ? preview_report(r) : print_report(r);
}

int report_page_next(DbReport* r, HDC hdc) {
  if (!r) return -1;
  DB_ENGINE* c = r->context;
  DbLock lock(c);
  if (report_pending(c)) return -1;
  // Without an output under way, or after a finished one, output starts
  // (again) from the first record.
  bool again = !r->run || (r->run->state == kFinished && !r->run->generating);
  if (again && output_start(r, false) < 0) return -1;
  ReportRun& run = *r->run;
  if (!run.generating) {
    TDC* dc = plat::dc_of(hdc);
    if (!dc) return report_fail(c, e_parm, "Invalid device context in call to report_page_next().");
    if (!output_device_known(run, *dc)) output_layout(run, dc);
    run.dc = dc;
  }
  return output_page(run);
}
