// The cycle fill-in dialog. A required value left empty is asked for
// before any text is built, so no placeholder ever reaches a program.
#include "editor/cycle_run.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "platform/msgbox.h"
#include "platform/ui/validator.h"
#include "resources/menus/editor.h"

namespace {

constexpr int kFieldId = 101;
constexpr int kLabelId = 125;
constexpr int kMarkerId = 200;
constexpr int kHintId = 300;
constexpr int kInsertId = 400;
constexpr int kTestId = 401;

const char* CharsOf(long flag) {
  if (flag & kParamAlpha) return "0-9A-Za-z()/.,+-*@%&";
  if (flag & kParamNegative) return "0-9.,+-";
  return "0-9.,+";
}

}  // namespace

std::string DecimalsFormat(long decimals, bool plus) {
  if (decimals < 0) decimals = 0;
  if (decimals > 99) decimals = 99;
  return std::string(plus ? "+" : "") + "%1." + std::to_string(decimals) + "f";
}

std::string FormatDecimals(double value, long decimals, bool plus) {
  char buf[160];
  std::snprintf(buf, sizeof buf, DecimalsFormat(decimals, plus).c_str(), value);
  return buf;
}

DEFINE_RESPONSE_TABLE1(TCycleRun, TLangDlg)
  EV_BN_CLICKED(kInsertId, CmInsert),
  EV_BN_CLICKED(kTestId, CmTest),
#define KV_FIELD(n) EV_CHILD_NOTIFY_AND_ID(kFieldId + n, EN_SETFOCUS, EvFieldSetFocus), \
                    EV_CHILD_NOTIFY_AND_ID(kFieldId + n, EN_KILLFOCUS, EvFieldKillFocus)
  KV_FIELD(0), KV_FIELD(1), KV_FIELD(2), KV_FIELD(3), KV_FIELD(4), KV_FIELD(5), KV_FIELD(6), KV_FIELD(7),
  KV_FIELD(8), KV_FIELD(9), KV_FIELD(10), KV_FIELD(11), KV_FIELD(12), KV_FIELD(13), KV_FIELD(14),
#undef KV_FIELD
END_RESPONSE_TABLE;

TCycleRun::TCycleRun(TWindow* parent, TcbParamRecord* first, int mode) : TLangDlg(parent, kResourceId), Mode(mode) {
  for (int i = 0; i < kSlots; i++) {
    Markers[i] = new TStatic(this, kMarkerId + i);
    Fields[i] = new TEdit(this, kFieldId + i, 13);
    Labels[i] = new TStatic(this, kLabelId + i, 26);
  }
  Hint = new TStatic(this, kHintId, 151);
  InsertButton = new TButton(this, kInsertId);
  // One record per slot in parameter-number order; extra rows are freed.
  std::vector<TcbParamRecord*> list;
  for (TcbRecord* r = first; r;) {
    TcbRecord* next = r->next;
    r->next = r->prev = nullptr;
    list.push_back(static_cast<TcbParamRecord*>(r));
    r = next;
  }
  std::stable_sort(list.begin(), list.end(),
                   [](const TcbParamRecord* a, const TcbParamRecord* b) { return a->PNUMBER < b->PNUMBER; });
  for (size_t i = 0; i < list.size(); i++) {
    if (i < kSlots) Params[i].reset(list[i]);
    else delete list[i];
  }
}

TCycleRun::~TCycleRun() = default;

void TCycleRun::SetupWindow() {
  TLangDlg::SetupWindow();
  hintFont_ = std::make_unique<TFont>("ARIAL", 24, 0, 0, 0, 700, FIXED_PITCH, 0, 0, 0, DEFAULT_CHARSET);
  Hint->SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(*hintFont_)), 1);
  SetCaptionText(426);
  SetItemText(kInsertId, 427);
  SetItemText(kTestId, 428);
  if (Mode == TestMode) InsertButton->ShowWindow(SW_HIDE);
  for (int i = 0; i < kSlots; i++) {
    const TcbParamRecord* r = Params[i].get();
    long flag = r ? r->FLAG : 0;
    Fields[i]->SetValidator(new TFilterValidator(CharsOf(flag)));
    if (!(flag & kParamDefined)) {
      for (TWindow* w : {static_cast<TWindow*>(Markers[i]), static_cast<TWindow*>(Fields[i]),
                         static_cast<TWindow*>(Labels[i])})
        w->ShowWindow(SW_HIDE);
      continue;
    }
    Labels[i]->SetWindowText(r->CODE);
    if (flag & kParamAuto) Fields[i]->SetWindowText(FormatDecimals(r->AUTO, r->DECI).c_str());
    if (flag & kParamAlways) Fields[i]->SetReadOnly(true);
    if (!(flag & kParamRequired)) Markers[i]->ShowWindow(SW_HIDE);
  }
}

void TCycleRun::EvFieldSetFocus(UINT id) {
  int i = static_cast<int>(id) - kFieldId;
  if (i >= 0 && i < kSlots && Params[i]) Hint->SetWindowText(Params[i]->HINT);
}

void TCycleRun::EvFieldKillFocus(UINT id) {
  int i = static_cast<int>(id) - kFieldId;
  if (i >= 0 && i < kSlots) FormatField(i);
}

void TCycleRun::FormatField(int slot) {
  const TcbParamRecord* r = Params[slot].get();
  if (!r || (r->FLAG & (kParamAlpha | kParamAlways))) return;
  std::string text = Fields[slot]->GetText();
  if (text.empty()) {
    // Leaving a required field empty brings the user back to it; a hidden
    // field cannot take the focus.
    if ((r->FLAG & kParamRequired) && (r->FLAG & kParamDefined)) Fields[slot]->SetFocus();
    return;
  }
  if (size_t comma = text.find(','); comma != std::string::npos) text[comma] = '.';
  double value = std::strtod(text.c_str(), nullptr);
  bool plus = (r->FLAG & kParamPlusSign) && value > 0;
  Fields[slot]->SetWindowText(FormatDecimals(value, r->DECI, plus).c_str());
}

bool TCycleRun::BuildText(std::string& text) {
  text.clear();
  for (int i = 0; i < kSlots; i++) {
    const TcbParamRecord* r = Params[i].get();
    // An undefined parameter has no field on the screen and gives nothing.
    if (!r || !(r->FLAG & kParamDefined)) continue;
    long flag = r->FLAG;
    FormatField(i);
    std::string value = Fields[i]->GetText();
    const char* end = (flag & kParamLineBreak) ? "\r\n" : "";
    if (value.empty()) {
      if (flag & kParamAlways) {
        text += r->CODE;
        text += end;
      } else if (flag & kParamRequired) {
        // The address goes in by hand: a language text is no format.
        std::string ask = Globals->GetMessageText(kMsgCycleValueMissing);
        if (size_t at = ask.find("%s"); at != std::string::npos) ask.replace(at, 2, r->CODE);
        ::MessageBox(GetHandle(), ask.c_str(), Globals->CaptionText.c_str(), MB_OK | MB_ICONINFORMATION);
        Fields[i]->SetFocus();
        text.clear();
        return false;
      }
      continue;
    }
    text += r->CODE;
    if (flag & kParamBlank) text += ' ';
    text += value;
    text += end;
    if (i != kSlots - 1 && !(flag & kParamLineBreak) && Params[i + 1] && (Params[i + 1]->FLAG & kParamDefined))
      text += ' ';
  }
  return true;
}

void TCycleRun::CmInsert() {
  std::string text;
  if (!BuildText(text)) return;
  Globals->CycleText.Set(text.c_str());
  if (Globals->CloseCycleWindowOnInsert == 0) {
    if (TWindow* parent = GetParentO()) parent->SendMessage(WM_COMMAND, kCmInsertBlock, 0);
    return;
  }
  Destroy(IDOK);
}

void TCycleRun::CmTest() {
  std::string text;
  if (!BuildText(text)) return;
  std::string caption = Globals->GetMessageText(kMsgCycleTextCaption);
  ::MessageBox(GetHandle(), text.c_str(), caption.c_str(), MB_OK);
}
