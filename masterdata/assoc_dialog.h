// What the program index holds for one program: its id, texts, customer,
// project, machine and file, read only.
#pragma once

#include <array>

#include "app/lang_dlg.h"
#include "platform/ui/dc.h"
#include "platform/ui/static.h"

class TcbFileRecord;

class TDisplayAssoc : public TLangDlg {
 public:
  // The record stays the caller's; null shows the labels alone.
  TDisplayAssoc(TWindow* parent, const TcbFileRecord* program);

  void SetupWindow() override;
  HBRUSH EvCtlColor(HDC dc, HWND control, UINT ctlType);

  // Program ID, description, drawing, part, customer, project, machine,
  // file: in the order of their controls.
  std::array<TStatic*, 8> Values;

 private:
  const TcbFileRecord* Program;

  DECLARE_RESPONSE_TABLE(TDisplayAssoc);
};
