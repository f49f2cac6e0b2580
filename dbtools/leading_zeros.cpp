// Add leading zeros: the numeric program ids (DESC) of one machine are
// padded to a chosen width. Only a DESC of digits alone changes, and never
// into the DESC another program of the machine has or gets.
#include <map>
#include <set>

#include "app/frame_commands.h"
#include "app/lang_dlg.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbtools/maintenance.h"
#include "dbtools/table_rewrite.h"
#include "dbmodel/engine_context.h"
#include "engine/engine_api.h"
#include "masterdata/pick_dialogs.h"
#include "platform/msgbox.h"
#include "platform/ui/dialog.h"
#include "platform/ui/listbox.h"
#include "resources/dialogs/maintenance.h"

namespace {

constexpr int kWidthLines = 16;
constexpr int kFirstSelected = 7;  // "( 8) - 00000001"

class TAddLeadingZeros : public TDialog {
 public:
  TAddLeadingZeros(TWindow* parent, int* index) : TDialog(parent, IDD_ADD_LEADING_ZEROS), Index(index) {
    List = new TListBox(this, IDC_LEADING_ZEROS_LIST);
  }
  void SetupWindow() override {
    TDialog::SetupWindow();
    CentreOnScreen(*this);
    for (int i = 0; i < kWidthLines; ++i) {
      std::string zeros(static_cast<std::size_t>(i), '0');
      std::string n = std::to_string(i + 1);
      List->AddString(("(" + std::string(n.size() < 2 ? " " : "") + n + ") - " + zeros + "1").c_str());
    }
    List->SetSelIndex(kFirstSelected);
  }
  // A width of one digit changes nothing: only the other lines close.
  void CmOk() override {
    int i = List->GetSelIndex();
    if (i <= 0) return;
    *Index = i;
    TDialog::CmOk();
  }

  TListBox* List;

 private:
  int* Index;

  DECLARE_RESPONSE_TABLE(TAddLeadingZeros);
};

DEFINE_RESPONSE_TABLE1(TAddLeadingZeros, TDialog)
  EV_LBN_DBLCLK(IDC_LEADING_ZEROS_LIST, CmOk),
END_RESPONSE_TABLE;

constexpr const char* kZeroTables[] = {"KELVFILE.DBF", "KELVLOCK.DBF", "KELVBACK.DBF"};
// The tables whose DESCs are the machine's programs.
constexpr const char* kProgramTables[] = {"KELVFILE.DBF", "KELVLOCK.DBF"};

bool OfMachine(DbDataFile* d, long machineId) { return FieldRef(d, kProgramMachineField).asLong() == machineId; }

}  // namespace

std::optional<std::string> PaddedDesc(const std::string& desc, int width) {
  if (desc.empty() || desc.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  std::string digits = desc.substr(std::min(desc.find_first_not_of('0'), desc.size()));
  if (digits.empty()) return std::nullopt;  // zero stays
  if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  if (digits == desc) return std::nullopt;
  return digits;
}

std::set<std::string> RefusedDescs(const std::set<std::string>& descs, int width) {
  std::map<std::string, std::set<std::string>> byResult;
  for (const auto& d : descs) byResult[PaddedDesc(d, width).value_or(d)].insert(d);
  std::set<std::string> refused;
  for (const auto& [result, from] : byResult)
    if (from.size() > 1)
      for (const auto& d : from)
        if (d != result) refused.insert(d);
  return refused;
}

void CmAddLeadingZeros(TFrameWindow& frame) {
  int index = 0;
  if (TAddLeadingZeros(&frame, &index).Execute() != IDOK) return;
  const int width = index + 1;
  int32_t machineId = 0;
  if (TMachineDialog(&frame, &machineId).Execute() != IDOK) return;
  const long machine = Globals->ChosenMachineId;
  if (machine == 0) return;

  // Every DESC the machine's programs have now.
  std::set<std::string> descs;
  for (const char* t : kProgramTables)
    RewriteTable(Globals->DatabaseDir + t, kProgramDescField,
                 [&](DbDataFile* d, const std::string& text) -> std::optional<std::string> {
                   if (OfMachine(d, machine)) descs.insert(text);
                   return std::nullopt;
                 },
                 true);
  const std::set<std::string> refused = RefusedDescs(descs, width);

  std::vector<TRewriteResult> results;
  frame.SetCursor(nullptr, IDC_WAIT);
  for (const char* t : kZeroTables)
    results.push_back(RewriteTable(Globals->DatabaseDir + t, kProgramDescField,
                                   [&](DbDataFile* d, const std::string& text) -> std::optional<std::string> {
                                     if (!OfMachine(d, machine) || refused.count(text)) return std::nullopt;
                                     return PaddedDesc(text, width);
                                   }));
  frame.SetCursor(nullptr, IDC_ARROW);

  std::string text = RewriteSummary(results);
  if (!refused.empty()) {
    text += "\r\n\r\n" + Globals->GetMessageText(kMsgLeadingZerosRefusedHeading);
    for (const auto& d : refused) text += "\r\n" + d;
  }
  bool trouble = !refused.empty();
  for (const auto& r : results) trouble = trouble || (r.present && (r.outcome != TTableOutcome::Done || r.tooLong));
  ::MessageBox(frame.GetHandle(), text.c_str(), Globals->CaptionText.c_str(),
               MB_OK | (trouble ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
}
