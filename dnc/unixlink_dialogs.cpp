// The Unix link's dialogs; see unixlink_dialogs.h.
#include "dnc/unixlink_dialogs.h"

#include <cstdio>

#include "appcore/globals.h"
#include "platform/msgbox.h"
#include "platform/ui/button.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"

namespace {

// The edit holds 99 characters (the limit counts the zero).
constexpr UINT kInputLimit = kUnixArgumentLength + 1;
// A chosen line is one of the output's, at most a line long.
constexpr std::size_t kChosenLength = kUnixLineLength;

}  // namespace

// ---- text input ---------------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TMyInputDialog, TLangDlg)
  EV_EN_CHANGE(IDC_UNIX_INPUT_TEXT, EvTextChange),
END_RESPONSE_TABLE;

TMyInputDialog::TMyInputDialog(TWindow* parent, const std::string& caption, const std::string& text)
    : TLangDlg(parent, IDD_UNIX_INPUT), caption_(caption), text_(text) {
  Edit = new TEdit(this, IDC_UNIX_INPUT_TEXT, kInputLimit);
}

void TMyInputDialog::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaption(caption_.c_str());
  const std::string initial = text_;
  Edit->SetText(initial.c_str());
  text_ = initial;
}

void TMyInputDialog::EvTextChange() { text_ = Edit->GetText(); }

// ---- selection lists ----------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TUnixSelection, TLangDlg)
  EV_LBN_SELCHANGE(IDC_UNIX_SELECT_LIST, EvSelChange),
  EV_LBN_DBLCLK(IDC_UNIX_SELECT_LIST, EvDoubleClick),
END_RESPONSE_TABLE;

TUnixSelection::TUnixSelection(TWindow* parent, const std::string& caption)
    : TLangDlg(parent, IDD_UNIX_SELECT), caption_(caption) {
  List = new TListBox(this, IDC_UNIX_SELECT_LIST);
}

void TUnixSelection::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaption(caption_.c_str());
}

void TUnixSelection::EvSelChange() {
  const int i = List->GetSelIndex();
  const std::string line = i < 0 ? std::string() : List->GetString(i);
  chosen_ = line.size() < 2 ? std::string() : line.substr(0, kChosenLength);
}

void TUnixSelection::EvDoubleClick() { CloseWindow(IDOK); }

TMySelectionDialog::TMySelectionDialog(TWindow* parent, int mode, const std::string& caption, const char* argument)
    : TUnixSelection(parent, caption), mode_(mode), argument_(argument ? argument : "") {}

void TMySelectionDialog::SetupWindow() {
  TUnixSelection::SetupWindow();
  TNCUnixLink link(this);
  if (const int init = link.Init()) {
    link.Tell(UnixLinkInitMessage(init));
    return;
  }
  const UnixText& text = mode_ == 1 ? link.Config.Command1 : link.Config.Command2;
  if (!text) return;
  const std::string command = mode_ == 1 ? *text : FillUnixCommandName(*text, argument_);
  const int started = link.Run(command);
  if (started == kUnixNoHostResult) return;  // told
  if (started < 0) {
    link.Tell(kMsgUnixCommandFailed, link.LastError());
    return;
  }
  if (link.ReadOutputToList(*List) < 0) {
    // A listing cut short is not offered.
    List->ClearList();
    link.Tell(kMsgUnixCommandFailed, link.LastError());
  }
}

TMySelectionDialog2::TMySelectionDialog2(TWindow* parent, const std::string& caption, const std::string& output)
    : TUnixSelection(parent, caption), output_(output) {}

void TMySelectionDialog2::SetupWindow() {
  TUnixSelection::SetupWindow();
  std::size_t start = 0;
  while (start < output_.size()) {
    std::size_t end = output_.find(kUnixLineEnd, start);
    if (end == std::string::npos) end = output_.size();
    if (end > start) List->AddString(output_.substr(start, end - start).c_str());
    start = end + 1;
  }
}

bool RunUnixStep(TWindow* owner, TNCUnixLink& link, const std::string& command, const UnixText& title,
                 const UnixArguments& args, std::string& argument) {
  const int started = link.Run(FillUnixCommand(command, args));
  if (started == kUnixNoHostResult) return false;  // told
  std::string output;
  if (started < 0 || link.ReadOutputToText(output) < 0) {
    link.Tell(kMsgUnixCommandFailed, link.LastError());
    return false;
  }
  if (!title) return true;
  TMySelectionDialog2 dlg(owner, FillUnixTitle(*title, args), output);
  if (dlg.Execute() != IDOK) return false;
  const std::string& chosen = dlg.GetSelection();
  if (chosen.size() > kUnixArgumentLength) {
    // A cut name would name another file or order.
    link.Tell(kMsgUnixChoiceTooLong, chosen);
    return false;
  }
  argument = chosen;
  return true;
}

// ---- order dialog -------------------------------------------------------------------

std::string OrderIdentification(const plat::SystemTime& local) {
  char id[16];
  std::snprintf(id, sizeof id, "F%03d%04d", local.day_of_year % 1000, (local.hour * 60 + local.minute) % 10000);
  return id;
}

DEFINE_RESPONSE_TABLE1(BK_Order_Dialog, TLangDlg)
  EV_BN_CLICKED(IDC_UNIX_ORDER_STANDARD, CmStandard),
  EV_BN_CLICKED(IDC_UNIX_ORDER_MORE, CmMore),
  EV_COMMAND(IDOK, CmOk),
END_RESPONSE_TABLE;

BK_Order_Dialog::BK_Order_Dialog(TWindow* parent, TNCUnixLink* link, int setIndex, const plat::SystemTime& now)
    : TLangDlg(parent, IDD_UNIX_ORDER), Link(link), Set(setIndex), id_(OrderIdentification(now)) {
  IdEdit = new TEdit(this, IDC_UNIX_ORDER_ID);
  CountEdit = new TEdit(this, IDC_UNIX_ORDER_COUNT);
  StandardBox = new TCheckBox(this, IDC_UNIX_ORDER_STANDARD);
}

void BK_Order_Dialog::SetupWindow() {
  TLangDlg::SetupWindow();
  SetDlgItemText(IDCANCEL, "Fortryd");  // the template's Danish, not the language's Cancel
  IdEdit->SetText(id_.c_str());
  ShowCount();
  StandardBox->Check();
}

void BK_Order_Dialog::ShowCount() { CountEdit->SetText(std::to_string(count_).c_str()); }

void BK_Order_Dialog::CmStandard() { Standard = Standard ? 0 : 1; }

bool BK_Order_Dialog::RunStep(int step, UnixArguments& args, std::string& argument) {
  const UnixText& command = Link->Config.Commands[Set][step];
  if (!command) return true;
  return RunUnixStep(this, *Link, *command, Link->Config.Titles[Set][step], args, argument);
}

void BK_Order_Dialog::CmMore() {
  UnixArguments args;
  if (Link->Config.ArgumentDialog[Set]) {
    const UnixText& title = Link->Config.ArgumentTitle[Set];
    TMyInputDialog input(this, title ? *title : std::string(), argumentText_);
    if (input.Execute() != IDOK) return;
    args[0] = input.GetText();
  }
  if (!RunStep(0, args, args[0])) return;
  const bool second = firstRun_;
  if (second && !RunStep(1, args, args[1])) return;
  if (orders_.size() + args[0].size() + 1 > kOrderListLength) {
    Link->Tell(kMsgUnixOrdersTooLong);
    return;
  }
  // The second step runs until an order took its choice: the common value
  // is the first counted order's.
  if (second) firstRun_ = false;
  orders_ += args[0] + "@";
  if (common_.empty()) common_ = args[1];
  count_++;
  ShowCount();
}

void BK_Order_Dialog::CmOk() {
  CloseWindow(IDOK);
  const UnixText& final = Link->Config.Commands[Set][2];
  if (!final) {
    Link->Tell(kMsgUnixNoFinalCommand);
    return;
  }
  std::string orders = orders_;
  if (!orders.empty()) orders.pop_back();  // the last "@"
  const std::string command = *final + " " + QuoteUnixWord(orders) + " " + QuoteUnixWord(id_) + " " +
                              QuoteUnixWord(common_) + " " + std::to_string(Standard);
  const int started = Link->Run(command);
  if (started == kUnixNoHostResult) return;
  if (started < 0 || Link->DrainOutput() < 0) Link->Tell(kMsgUnixCommandFailed, Link->LastError());
}
