// The NC text commands. The transform pass goes through files because
// the transforms stream programs of any size; the text is replaced only
// by a destination written completely.
#include "editor/nc_commands.h"

#include <cstdlib>
#include <cstring>

#include <memory>

#include "app/status_dlg.h"
#include "app/users_lines.h"
#include "app/users_dialogs.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/cycle.h"
#include "dbmodel/macro.h"
#include "dbmodel/text_helpers.h"
#include "editor/cycle_run.h"
#include "editor/ledit.h"
#include "platform/file.h"
#include "platform/ui/application.h"
#include "platform/ui/winstyle.h"

namespace {
constexpr size_t kBoxText = 200;
constexpr int kStatusEvery = 50;
}  // namespace

std::string TransformTempName(long frameNo, int which) {
  return FormatText("%sCRNF%ld.RF%d", Globals->TempDir.c_str(), frameNo, which);
}

int RunTransformPass(TWindow* frame, TLEdit* edit, long frameNo, NcTransform transform, TApplication* app) {
  if (!edit || !transform) return 0;
  std::string rf1 = TransformTempName(frameNo, 1), rf2 = TransformTempName(frameNo, 2);
  if (frame) frame->Invalidate();
  if (app) app->PumpWaitingMessages();
  if (frame) frame->SetCursor(nullptr, IDC_WAIT);
  int replaced = 0;
  // A text that was not saved whole must not come back as the program.
  if (edit->SendMessage(LEM_SAVEFILE, 0, reinterpret_cast<LPARAM>(rf1.c_str())) != 0) {
    ShowMessage(frame, kMsgNcToolTempFile, MB_OK | MB_ICONSTOP);
  } else if (transform(frame, rf1.c_str(), rf2.c_str(), app)) {
    LRESULT rc = edit->SendMessage(LEM_LOADFILE, 0, reinterpret_cast<LPARAM>(rf2.c_str()));
    if ((rc & 0xFFFF) == 0) replaced = 1;
    else ShowMessage(frame, kMsgNcToolTempFile, MB_OK | MB_ICONSTOP);
  }
  plat::delete_file(rf1);
  plat::delete_file(rf2);
  if (frame) frame->SetCursor(nullptr, IDC_ARROW);
  return replaced;
}

// ---- axis value ranges --------------------------------------------------------------

void TAxisRanges::Reset() {
  for (int i = 0; i < 5; i++) {
    Min[i] = 100000000.0;
    Max[i] = -100000000.0;
    Seen[i] = false;
  }
}

void TAxisRanges::ScanLine(const char* line) {
  bool found[5] = {};
  bool comment = false;
  for (const char* p = line; *p; p++) {
    if (*p == '(') comment = true;
    if (comment) {
      if (*p == ')') comment = false;
      continue;
    }
    const char* hit = std::strchr(kLetters, *p);
    if (!hit) continue;
    int i = static_cast<int>(hit - kLetters);
    if (found[i]) continue;
    found[i] = Seen[i] = true;
    double v = std::strtod(p + 1, nullptr);
    if (v < Min[i]) Min[i] = v;
    if (v > Max[i]) Max[i] = v;
  }
}

void TAxisRanges::Finish() {
  for (int i = 0; i < 5; i++)
    if (!Seen[i]) Min[i] = Max[i] = 0.0;
}

std::string TAxisRanges::Text() const {
  // The box lists F before S, the scan takes S first.
  return FormatText("X : %1.4f -> %1.4f\r\nY : %1.4f -> %1.4f\r\nZ : %1.4f -> %1.4f\r\nF : %1.4f -> %1.4f\r\n"
                    "S : %1.4f -> %1.4f\r\n",
                    Min[0], Max[0], Min[1], Max[1], Min[2], Max[2], Min[4], Max[4], Min[3], Max[3]);
}

void ShowAxisValues(TWindow* frame, TLEdit* edit, TApplication* app) {
  if (!edit) return;
  if (frame) frame->SetCursor(nullptr, IDC_WAIT);
  long count = static_cast<long>(edit->SendMessage(LEM_GETLINECOUNT, 0, 0));
  if (count <= 0) {
    if (frame) frame->SetCursor(nullptr, IDC_ARROW);
    return;
  }
  TAxisRanges ranges;
  {
    TShowStatusDlg status(frame);
    status.Create();
    status.ShowWindow(SW_SHOW);
    status.SetStatus("Processing");
    for (long i = 1; i <= count; i++) {
      if (i % kStatusEvery == 0) {
        status.SetStatus(FormatText("Processing (%ld/%ld)", i, count));
        if (app) app->PumpWaitingMessages();
      }
      // The whole line, however long: a cut could hide a word.
      std::string line = edit->GetLine(i);
      if (!line.empty()) ranges.ScanLine(line.c_str());
    }
    status.Destroy();
  }
  if (frame) frame->SetCursor(nullptr, IDC_ARROW);
  ranges.Finish();
  ::MessageBox(frame ? frame->GetHandle() : nullptr, ranges.Text().c_str(), "Values", MB_OK);
}

// ---- cycles into the text ------------------------------------------------------------

void InsertCycleText(TLEdit* edit) {
  if (!edit || !Globals->CycleText.IsSet()) return;
  edit->SendMessage(LEM_INSERT, 0, reinterpret_cast<LPARAM>(Globals->CycleText.get()));
  SelectionRange r = edit->GetSelection();
  edit->SetSelection(r.endLine, r.endCol, r.endLine, r.endCol);
}

void InsertCycle(TWindow* frame, TLEdit* edit, const std::string& cycleBoxLine) {
  std::string line = cycleBoxLine.substr(0, kBoxText);
  long cycle = ListLineId(line.c_str());
  if (cycle == 0) return;
  TcbParamRecord* params;
  {
    TcbParamTable t("KELVCYC4.DBF", 0, 0);
    params = t.ReadOfOwner(cycle);
  }
  TCycleRun run(frame, params, TCycleRun::InsertMode);
  if (run.Execute() == IDOK && Globals->CycleText.IsSet()) InsertCycleText(edit);
  if (edit) edit->SetFocus();
}

// ---- macros ---------------------------------------------------------------------------

bool CopySelectionForMacro(TLEdit* edit) {
  if (!edit || edit->SendMessage(LEM_HASSEL, 0, 0) <= 0) return false;
  edit->SendMessage(WM_COMMAND, LEC_COPY, 0);
  return true;
}

void RefillMacroBox(TComboBox* box, long machineId) {
  if (!box || !(Globals->DisplayFlags & 0x2) || machineId == 0) return;
  TcbMacroTable t("KELVMACR.DBF", 0, 0);
  TControlLines lines(*box);
  t.FillList(machineId, &lines);
  box->SetSelIndex(0);
}

bool ReadMacroOfBoxLine(const std::string& boxLine, std::string& text) {
  std::string line = boxLine.substr(0, kBoxText);
  long id = ListLineId(line.c_str());
  if (id == 0) return false;
  std::unique_ptr<TcbMacroRecord> macro;
  {
    TcbMacroTable t("KELVMACR.DBF", 0, 0);
    macro.reset(t.FindById(id));
  }
  if (!macro || !macro->text) return false;
  text = macro->text;
  return true;
}

void PasteMacro(TLEdit* edit) {
  if (!edit) return;
  edit->SendMessage(WM_PASTE, 0, 0);
  SelectionRange r = edit->GetSelection();
  edit->SetSelection(r.endLine, r.endCol, r.endLine, r.endCol);
  edit->SetFocus();
}
