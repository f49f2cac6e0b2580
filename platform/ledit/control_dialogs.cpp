// The control's dialogs and document commands: find, replace, go to line,
// the file commands of a control that owns its file name, raw print.
// The dialog templates travel with the control.
#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "platform/ledit/control.h"
#include "platform/msgbox.h"
#include "platform/ui/button.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/print.h"
#include "platform/ui/resource.h"

using namespace plat::ledit;

namespace {

enum { IdFindDlg = 32700, IdReplaceDlg = 32701, IdGotoDlg = 32702 };
enum { IdWhat = 101, IdCase = 102, IdWord = 103, IdUp = 104, IdWith = 105, IdReplaceOne = 106, IdReplaceAll = 107 };

const char* kTemplates = R"(
dialog 32700 "Find" 0 0 230 70
  ltext        -1 "Find what:"     6  8  50  8
  edit        101 ""              60  6 110 12  ES_AUTOHSCROLL
  checkbox    102 "Match case"     6 26  80 10
  checkbox    103 "Whole word"     6 40  80 10
  checkbox    104 "Search up"      6 54  80 10
  defpushbutton 1 "Find Next"    176  6  48 14
  pushbutton  2 "Cancel"         176 24  48 14
end
dialog 32701 "Replace" 0 0 230 90
  ltext        -1 "Find what:"     6  8  50  8
  edit        101 ""              60  6 110 12  ES_AUTOHSCROLL
  ltext        -1 "Replace with:"  6 26  50  8
  edit        105 ""              60 24 110 12  ES_AUTOHSCROLL
  checkbox    102 "Match case"     6 44  80 10
  checkbox    103 "Whole word"     6 58  80 10
  defpushbutton 1 "Find Next"    176  6  48 14
  pushbutton  106 "Replace"      176 24  48 14
  pushbutton  107 "Replace All"  176 42  48 14
  pushbutton  2 "Close"          176 60  48 14
end
dialog 32702 "Goto line" 0 0 150 46
  ltext        -1 "Line number:"   6  8  50  8
  edit        101 ""              60  6  40 12  ES_NUMBER
  defpushbutton 1 "OK"           106  6  38 14
  pushbutton  2 "Cancel"         106 24  38 14
end
)";

void ensure_templates() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::string err;
    plat::add_dialog_templates(kTemplates, "edit control dialogs", &err);
  });
}

bool checked(TWindow& dlg, int id) { return dlg.SendDlgItemMessage(id, BM_GETCHECK) == BST_CHECKED; }
void check(TWindow& dlg, int id, bool on) { dlg.SendDlgItemMessage(id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED); }

}  // namespace

// Find and Replace: both stay open while the user searches on.
class LEditFindDialog : public TDialog {
 public:
  LEditFindDialog(LEditControl* ctl, bool replace)
      : TDialog(ctl, replace ? IdReplaceDlg : IdFindDlg), Ctl(ctl), Replacing(replace) {}

  void SetupWindow() override {
    TDialog::SetupWindow();
    size_t a = std::min(Ctl->Anchor, Ctl->Caret), b = std::max(Ctl->Anchor, Ctl->Caret);
    std::string what = Ctl->FindWhat;
    // A selection within one line is what the user means to find.
    if (a != b && Ctl->Text->line_of(a) == Ctl->Text->line_of(b)) what = Ctl->Text->text(a, b - a);
    SetDlgItemText(IdWhat, what.c_str());
    if (Replacing) SetDlgItemText(IdWith, Ctl->ReplaceWith.c_str());
    check(*this, IdCase, Ctl->MatchCase);
    check(*this, IdWord, Ctl->WholeWord);
    if (!Replacing) check(*this, IdUp, Ctl->SearchUp);
  }
  void CmOk() override {
    if (!Take()) return;
    bool found = Ctl->FindNext();
    if (!Replacing && found) CloseWindow(IDOK);
  }
  void CmReplace() {
    if (Take()) Ctl->ReplaceOne();
  }
  void CmReplaceAll() {
    if (!Take()) return;
    Ctl->ReplaceEvery();
    CloseWindow(IDOK);
  }

 private:
  bool Take() {
    Ctl->FindWhat = GetItem(IdWhat);
    if (Replacing) Ctl->ReplaceWith = GetItem(IdWith);
    Ctl->MatchCase = checked(*this, IdCase);
    Ctl->WholeWord = checked(*this, IdWord);
    Ctl->SearchUp = !Replacing && checked(*this, IdUp);
    if (Ctl->FindWhat.empty()) {
      MessageBeep(0);
      return false;
    }
    return true;
  }
  std::string GetItem(int id) {
    TWindow* c = ChildWithId(id);
    return c ? c->GetText() : std::string();
  }
  LEditControl* Ctl;
  bool Replacing;
  DECLARE_RESPONSE_TABLE(LEditFindDialog);
};

DEFINE_RESPONSE_TABLE1(LEditFindDialog, TDialog)
  EV_COMMAND(IdReplaceOne, CmReplace),
  EV_COMMAND(IdReplaceAll, CmReplaceAll),
END_RESPONSE_TABLE;

class LEditGotoDialog : public TDialog {
 public:
  explicit LEditGotoDialog(LEditControl* ctl) : TDialog(ctl, IdGotoDlg), Ctl(ctl) {}
  void SetupWindow() override {
    TDialog::SetupWindow();
    SetDlgItemText(IdWhat, std::to_string(Ctl->Text->line_of(Ctl->Caret) + 1).c_str());
  }
  void CmOk() override {
    TWindow* e = ChildWithId(IdWhat);
    std::string s = e ? e->GetText() : "";
    char* end = nullptr;
    unsigned long long n = std::strtoull(s.c_str(), &end, 10);
    if (s.empty() || *end || n == 0 || n > Ctl->Text->lines()) {
      MessageBeep(0);
      if (e) e->SetFocus();
      return;
    }
    Ctl->GotoLine(static_cast<size_t>(n - 1));
    CloseWindow(IDOK);
  }

 private:
  LEditControl* Ctl;
};

void LEditControl::ShowFindDialog(bool replace) {
  ensure_templates();
  if (replace && ReadOnly) {
    MessageBeep(0);
    return;
  }
  LEditFindDialog(this, replace).Execute();
}

void LEditControl::ShowGotoDialog() {
  ensure_templates();
  LEditGotoDialog(this).Execute();
}

bool LEditControl::FindNext(bool quiet) {
  if (FindWhat.empty()) return false;
  size_t from = SearchUp ? std::min(Anchor, Caret) : std::max(Anchor, Caret);
  int64_t hit = Text->find(FindWhat, from, !SearchUp, MatchCase, WholeWord);
  if (hit < 0) {
    if (!quiet) MessageBox(("Cannot find \"" + FindWhat + "\".").c_str(), "Find", MB_OK | MB_ICONINFORMATION);
    return false;
  }
  Anchor = static_cast<size_t>(hit);
  Caret = Anchor + FindWhat.size();
  WantX = -1;
  ScrollToCaret();
  Invalidate(false);
  return true;
}

void LEditControl::ReplaceOne() {
  size_t a = std::min(Anchor, Caret), b = std::max(Anchor, Caret);
  // Replace the match when it is what is selected; then go to the next.
  if (b - a == FindWhat.size() && Text->find(FindWhat, a, true, MatchCase, WholeWord) == static_cast<int64_t>(a)) {
    if (!ReplaceSelection(ReplaceWith, false)) return;
  }
  FindNext();
}

size_t LEditControl::ReplaceEvery() {
  if (ReadOnly) {
    MessageBeep(0);
    return 0;
  }
  size_t n = 0;
  try {
    n = Text->replace_all(FindWhat, ReplaceWith, MatchCase, WholeWord, 0, Text->length());
  } catch (const std::bad_alloc&) {
    MessageBox("Not enough memory to replace them all; the replacements made so far can be undone.", "Replace",
               MB_OK | MB_ICONSTOP);
  }
  if (n == 0) {
    MessageBox(("Cannot find \"" + FindWhat + "\".").c_str(), "Replace", MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  Anchor = Caret = std::min(Caret, Text->length());
  Changed();
  return n;
}

void LEditControl::GotoLine(size_t line) {
  line = std::min(line, Text->lines() - 1);
  Anchor = Caret = Text->line_start(line);
  WantX = -1;
  // The line comes to the top of the window, as far as the text reaches.
  size_t page = PageLines();
  size_t top = Text->lines() > page ? std::min(line, Text->lines() - page) : 0;
  if (top != TopLine) {
    TopLine = top;
    Notify(LEN_VSCROLL);
  }
  ScrollToCaret();
  Invalidate(false);
}

void LEditControl::FileCommand(UINT cmd) {
  auto report = [this](const char* caption) {
    MessageBox(LastError.c_str(), caption, MB_OK | MB_ICONSTOP);
  };
  auto choose = [this](bool save) -> std::string {
    TOpenSaveDialog::TData data(0, "NC programs (*.NC)|*.NC|All files (*.*)|*.*|", nullptr, nullptr, "NC");
    if (!Name.empty()) std::snprintf(data.FileName, data.MaxPath, "%s", Name.c_str());
    int r = save ? TFileSaveDialog(this, data).Execute() : TFileOpenDialog(this, data).Execute();
    return r == IDOK ? std::string(data.FileName) : std::string();
  };
  switch (cmd) {
    case LEC_NEW:
      if (ReadOnly) return MessageBeep(0), void();
      SetAll("", 0);
      Text->clear_undo();
      Text->change_state(0, 15);
      SendMessage(LEM_SETFILENAME, 0, reinterpret_cast<LPARAM>(""));
      return;
    case LEC_OPEN: {
      std::string f = choose(false);
      if (f.empty()) return;
      if (LoadFile(f.c_str()) != 0) return report("Open");
      SendMessage(LEM_SETFILENAME, 0, reinterpret_cast<LPARAM>(f.c_str()));  // a wrapper hears it
      return;
    }
    case LEC_REVERT:
      if (!Name.empty() && LoadFile(Name.c_str()) != 0) report("Revert");
      return;
    case LEC_SAVE:
      if (Name.empty()) return FileCommand(LEC_SAVEAS);
      if (SaveFile(Name.c_str()) != 0) report("Save");
      return;
    case LEC_SAVEAS: {
      std::string f = choose(true);
      if (f.empty()) return;
      if (SaveFile(f.c_str()) != 0) return report("Save");
      SendMessage(LEM_SETFILENAME, 0, reinterpret_cast<LPARAM>(f.c_str()));
      return;
    }
    default:
      return;
  }
}

// ---- raw print -----------------------------------------------------------------

namespace {

// The text as it stands, in the control's font, as many lines a page as fit.
class RawPrintout : public TPrintout {
 public:
  RawPrintout(Document& doc, HFONT font, int tabWidth, const std::string& title)
      : TPrintout(title.c_str()), Doc(doc), Font(font), Tab(tabWidth) {}

  void SetPrintParams(TPrintDC* dc, TSize pageSize) override {
    TPrintout::SetPrintParams(dc, pageSize);
    if (!dc) return;  // printing is over
    LOGFONT lf{};
    GetObject(Font, sizeof lf, &lf);
    // The screen font's height in points, at the printer's resolution.
    int dpi = dc->GetDeviceCaps(LOGPIXELSY);
    lf.lfHeight = lf.lfHeight ? lf.lfHeight * dpi / 96 : -10 * dpi / 72;
    PrintFont = std::make_unique<TFont>(lf);
    dc->SelectObject(*PrintFont);
    TEXTMETRIC tm{};
    dc->GetTextMetrics(tm);
    LineH = std::max(1, static_cast<int>(tm.tmHeight + tm.tmExternalLeading));
    Margin = dpi / 2;
    PerPage = std::max(1, (pageSize.cy - 2 * Margin) / LineH);
    dc->RestoreFont();
  }
  void GetDialogInfo(int& minPage, int& maxPage, int& from, int& to) override {
    minPage = 1;
    maxPage = Pages();
    from = to = 0;
  }
  bool HasPage(int page) override { return page >= 1 && page <= Pages(); }
  void PrintPage(int page, TRect&, unsigned) override {
    TPrintDC& dc = *GetDC();
    dc.SelectObject(*PrintFont);
    size_t first = static_cast<size_t>(page - 1) * PerPage;
    for (size_t i = 0; i < static_cast<size_t>(PerPage) && first + i < Doc.lines(); ++i) {
      std::string t = Doc.line_text(first + i), e;
      for (char c : t) {
        if (c == '\t') e.append(Tab - e.size() % Tab, ' ');
        else e += c;
      }
      dc.TextOut(Margin, Margin + static_cast<int>(i) * LineH, e.c_str(), static_cast<int>(e.size()));
    }
    dc.RestoreFont();
  }

 private:
  int Pages() const { return static_cast<int>((Doc.lines() + PerPage - 1) / PerPage); }
  Document& Doc;
  HFONT Font;
  int Tab;
  std::unique_ptr<TFont> PrintFont;
  int LineH = 1, Margin = 0, PerPage = 1;
};

}  // namespace

void LEditControl::RawPrint() {
  EnsureFont();
  std::string title = Name.empty() ? std::string("Untitled") : Name;
  RawPrintout printout(*Text, FontHandle, TabWidth, title);
  TPrinter& printer = Printer();
  if (!printer.Print(this, printout, true) || printer.LastFile().empty()) return;
  // The pages go to a file first: the user is told where it is.
  std::string done = title + " was printed to " + printer.LastFile();
  if (!printer.GetSetup().Queue.empty()) done += " and handed to the print queue " + printer.GetSetup().Queue;
  ::MessageBox(GetHandle(), done.c_str(), "Raw print", MB_OK | MB_ICONINFORMATION);
}
