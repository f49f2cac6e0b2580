// The output's windows (output_windows.h) and the end of an output run,
// which takes them down.
//
// The preview draws each page into a bitmap of one page at the screen's
// resolution (the paper of the report's printer, or of the configured
// one) and shows the part of it the scroll bars point at. "&Next" clears
// the bitmap, produces the next page and goes back to the page's top left
// corner; once the report is finished the command is greyed. "&Close" (or
// the close box) takes the preview down and posts WM_REPORT_DONE to the
// owner.
#include "report/output_windows.h"

#include <algorithm>
#include <string>

#include "platform/ui/app_state.h"
#include "platform/ui/capture.h"
#include "platform/ui/print.h"
#include "platform/ui/static.h"
#include "report/output_run.h"

namespace {

constexpr UINT kPreviewStyle = WS_POPUP | WS_VISIBLE | WS_MAXIMIZE | WS_CAPTION | WS_VSCROLL | WS_HSCROLL |
                               WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr UINT kMouseEatStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION;
constexpr int kMouseEatSize = 5;
constexpr int kScrollLine = 8;  // pixels a scroll bar's arrow moves
constexpr COLORREF kLightGrey = 0xC0C0C0;
constexpr COLORREF kWhite = 0xFFFFFF;

const char* caption_of(const DbReport* r) { return r->caption ? r->caption->c_str() : kReportTitle; }

// The paper's size in pixels of the screen: the report's printer, or the
// configured one.
TSize paper_on_screen(const DbReport* r, const TDC& screen) {
  TDC* printer = r->printer_dc ? plat::dc_of(r->printer_dc) : nullptr;
  std::unique_ptr<TPrintDC> info;
  if (!printer) {
    info = std::make_unique<TPrintDC>(plat::default_print_setup());
    printer = info.get();
  }
  auto scale = [](int dots, int from, int to) { return int((long long)dots * to / std::max(from, 1)); };
  return {scale(printer->GetDeviceCaps(HORZRES), printer->GetDeviceCaps(LOGPIXELSX), screen.GetDeviceCaps(LOGPIXELSX)),
          scale(printer->GetDeviceCaps(VERTRES), printer->GetDeviceCaps(LOGPIXELSY), screen.GetDeviceCaps(LOGPIXELSY))};
}

}  // namespace

// ---- the preview ----

DEFINE_RESPONSE_TABLE1(TPreviewWin, TFrameWindow)
  EV_COMMAND(IDM_REPORT_NEXT, CmNext),
  EV_COMMAND_ENABLE(IDM_REPORT_NEXT, CeNext),
  EV_COMMAND(IDM_REPORT_CLOSE, CmClose),
  EV_MESSAGE(WM_HSCROLL, EvHScroll),
  EV_MESSAGE(WM_VSCROLL, EvVScroll),
END_RESPONSE_TABLE;

TPreviewWin::TPreviewWin(TWindow* owner, DbReport* report)
    : TFrameWindow(owner, caption_of(report)), Report(report), PageWin(new TOutputPageWin(this)) {
  Attr.Style = kPreviewStyle;
  Attr.X = 0;
  Attr.Y = 0;
  Attr.W = plat::screen_width();
  Attr.H = plat::screen_height();
  OwnedByParent = false;  // the report's output owns it
  SetBkgndColor(kLightGrey);
  SetClientWindow(PageWin);
  HMENU bar = CreateMenu();
  AppendMenu(bar, MF_STRING, IDM_REPORT_NEXT, "&Next");
  AppendMenu(bar, MF_STRING, IDM_REPORT_CLOSE, "&Close");
  AssignMenu(bar);
}

TPreviewWin::~TPreviewWin() {
  Page.RestoreObjects();
  if (Bitmap) DeleteObject(Bitmap);
}

bool TPreviewWin::Start() {
  if (!PageWin->GetHandle()) return false;
  TSize paper = paper_on_screen(Report, Page);
  Bitmap = CreateCompatibleBitmap(Page, paper.cx, paper.cy);
  if (!Bitmap) return false;
  Page.SelectObject(Bitmap);
  output_layout(*Report->run, &Page);
  TRect view = PageWin->GetClientRect();
  SetScrollRange(GetHandle(), SB_HORZ, 0, std::max(0, paper.cx - view.Width()), FALSE);
  SetScrollRange(GetHandle(), SB_VERT, 0, std::max(0, paper.cy - view.Height()), FALSE);
  return ProducePage();
}

bool TPreviewWin::ProducePage() {
  TSize size = Page.DeviceSize();
  Page.PatBlt(0, 0, size.cx, size.cy, WHITENESS);
  int rc = report_page_next(Report, Page.GetHDC());
  PageRecord = Page.Record();
  Page.Flush();
  Done = rc != 0;  // finished, or stopped by an error the engine has shown
  EnableMenuItem(GetMenu(), IDM_REPORT_NEXT, MF_BYCOMMAND | (Done ? MF_GRAYED : MF_ENABLED));
  SetScrollPos(GetHandle(), SB_HORZ, 0, TRUE);
  SetScrollPos(GetHandle(), SB_VERT, 0, TRUE);
  PageWin->Invalidate();
  return rc >= 0;
}

TPoint TPreviewWin::ScrollPos() const {
  return {GetScrollPos(GetHandle(), SB_HORZ), GetScrollPos(GetHandle(), SB_VERT)};
}

void TPreviewWin::CmNext() {
  if (!Done) ProducePage();
}

void TPreviewWin::CeNext(TCommandEnabler& ce) { ce.Enable(!Done); }

void TPreviewWin::CmClose() { Ended(); }

void TPreviewWin::EvClose() { Ended(); }

void TPreviewWin::Ended() {
  if (Closed) return;
  Closed = true;
  HWND owner = Report->parent;
  Destroy();
  if (owner) ::PostMessage(owner, WM_REPORT_DONE, 0, 0);
}

void TPreviewWin::Scroll(int bar, UINT code, int thumb) {
  TRect view = PageWin->GetClientRect();
  int page = bar == SB_HORZ ? view.Width() : view.Height();
  int pos = GetScrollPos(GetHandle(), bar), min = 0, max = 0;
  GetScrollRange(GetHandle(), bar, &min, &max);
  switch (code) {
    case SB_LINEUP: pos -= kScrollLine; break;
    case SB_LINEDOWN: pos += kScrollLine; break;
    case SB_PAGEUP: pos -= page; break;
    case SB_PAGEDOWN: pos += page; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: pos = thumb; break;
    case SB_TOP: pos = min; break;
    case SB_BOTTOM: pos = max; break;
    default: return;
  }
  SetScrollPos(GetHandle(), bar, pos, TRUE);
  PageWin->Invalidate(false);
}

LRESULT TPreviewWin::EvHScroll(WPARAM wp, LPARAM) {
  Scroll(SB_HORZ, LOWORD(wp), short(HIWORD(wp)));
  return 0;
}

LRESULT TPreviewWin::EvVScroll(WPARAM wp, LPARAM) {
  Scroll(SB_VERT, LOWORD(wp), short(HIWORD(wp)));
  return 0;
}

TOutputPageWin::TOutputPageWin(TPreviewWin* preview) : TWindow(preview), Preview(preview) {
  Attr.Style = WS_CHILD | WS_VISIBLE;
  SetBkgndColor(kWhite);
}

void TOutputPageWin::Paint(TDC& dc, bool, TRect&) {
  TRect view = GetClientRect();
  TPoint at = Preview->ScrollPos();
  dc.BitBlt(0, 0, view.Width(), view.Height(), Preview->PageDC(), at.x, at.y);
}

// ---- the mouse eater ----

TMouseEat::TMouseEat(TWindow* owner) : TWindow(owner) {
  Attr.Style = kMouseEatStyle;
  Attr.ExStyle = WS_EX_TRANSPARENT;
  Attr.W = Attr.H = kMouseEatSize;
  OwnedByParent = false;
}

void mouse_eater_create(ReportRun& run) {
  auto eater = std::make_unique<TMouseEat>(plat::window_object(run.r->parent));
  if (!eater->Create()) return;  // output goes on without it
  eater->SetCursor(nullptr, IDC_WAIT);
  SetCapture(eater->GetHandle());
  run.mouse_eater = eater.release();
}

void mouse_eater_destroy(ReportRun& run) {
  TWindow* eater = run.mouse_eater;
  if (!eater) return;
  run.mouse_eater = nullptr;
  if (GetCapture() == eater->GetHandle()) ReleaseCapture();
  eater->SetCursor(nullptr, IDC_ARROW);
  eater->Destroy();
  delete eater;
}

ReportRun::~ReportRun() {
  mouse_eater_destroy(*this);
  if (preview) {
    preview->Destroy();
    delete preview;
  }
}

void DbReport::RunEnd::operator()(ReportRun* run) const { delete run; }

// ---- the cancel dialog ----

namespace {

// The template, made here rather than read from the resources.
void add_cancel_template() {
  static const bool added = [] {
    std::string text = "dialog " + std::to_string(IDD_REPORT_CANCEL) + " \"" + kReportTitle +
                       "\" 40 40 120 40\n"
                       "  ctext -1 \"Cancel Printing\" 4 6 120 12\n"
                       "  pushbutton " + std::to_string(IDC_REPORT_CANCEL) + " \"&Cancel\" 44 22 32 14\n"
                       "end\n";
    std::string err;
    return plat::add_dialog_templates(text, "report cancel dialog", &err);
  }();
  (void)added;
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TReportCancelDlg, TDialog)
  EV_COMMAND(IDC_REPORT_CANCEL, CmCancelPrinting),
  EV_WM_CLOSE,
END_RESPONSE_TABLE;

TReportCancelDlg::TReportCancelDlg(TWindow* owner, DbReport* report, bool& abort)
    : TDialog((add_cancel_template(), owner), IDD_REPORT_CANCEL), Report(report), Abort(abort) {
  OwnedByParent = false;  // it lives on the printing loop's stack
}

void TReportCancelDlg::SetupWindow() {
  TDialog::SetupWindow();
  if (Report->caption) SetCaption(Report->caption->c_str());
  else if (!Report->name.empty()) SetCaption(Report->name.c_str());
  if (HWND button = GetDlgItem(IDC_REPORT_CANCEL)) ::SetFocus(button);
  ReleaseCapture();
}

void TReportCancelDlg::CmCancelPrinting() {
  Abort = true;
  if (Report->parent) ::EnableWindow(Report->parent, TRUE);
  Destroy(IDCANCEL);
}

void TReportCancelDlg::CmCancel() { CmCancelPrinting(); }

void TReportCancelDlg::EvClose() {}
