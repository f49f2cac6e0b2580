#include "masterdata/assoc_dialog.h"

#include <memory>

#include "dbmodel/customer.h"
#include "dbmodel/filetable.h"
#include "dbmodel/project.h"
#include "platform/ui/ctlcolor.h"
#include "resources/dialogs/masterdata.h"

namespace {

constexpr UINT kValueLimit = 200;

// The name a look-up gives, "" for none; the copy is freed.
std::string TakeName(char* copy) {
  std::unique_ptr<char[]> owned(copy);
  return copy ? std::string(copy) : std::string();
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TDisplayAssoc, TLangDlg)
  EV_WM_CTLCOLOR,
END_RESPONSE_TABLE;

TDisplayAssoc::TDisplayAssoc(TWindow* parent, const TcbFileRecord* program)
    : TLangDlg(parent, IDD_ASSOCIATIONS), Program(program) {
  for (size_t i = 0; i < Values.size(); i++)
    Values[i] = new TStatic(this, IDC_ASSOCIATIONS_ID + static_cast<int>(i), kValueLimit);
}

void TDisplayAssoc::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(612);
  SetItemTexts(IDC_ASSOCIATIONS_ID_LABEL, 613, 8);
  if (!Program) return;
  const TcbFileRecord& p = *Program;
  SetDlgItemText(IDC_ASSOCIATIONS_ID, p.DESC);
  SetDlgItemText(IDC_ASSOCIATIONS_DESCRIPTION, p.CHAR3);
  SetDlgItemText(IDC_ASSOCIATIONS_DRAWING, p.DRAW);
  SetDlgItemText(IDC_ASSOCIATIONS_PART, p.PART);
  SetDlgItemText(IDC_ASSOCIATIONS_MACHINE, p.MACHINE);
  SetDlgItemText(IDC_ASSOCIATIONS_FILE, p.FilePath().c_str());
  if (p.CUST != 0) {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    SetDlgItemText(IDC_ASSOCIATIONS_CUSTOMER, TakeName(customers.GetName(p.CUST)).c_str());
  }
  if (p.PROJECT != 0) {
    TcbProTable projects("KELVPRO.DBF", 0, 0);
    SetDlgItemText(IDC_ASSOCIATIONS_PROJECT, TakeName(projects.GetName(p.PROJECT)).c_str());
  }
}

HBRUSH TDisplayAssoc::EvCtlColor(HDC dc, HWND control, UINT ctlType) {
  if (ctlType != CTLCOLOR_STATIC || !control) return nullptr;
  int id = GetDlgCtrlID(control);
  if (id < IDC_ASSOCIATIONS_ID || id > IDC_ASSOCIATIONS_FILE) return nullptr;
  SetTextColor(dc, RGB(255, 255, 0));
  SetBkColor(dc, RGB(0, 0, 0));
  return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
}
