// The fill-in dialog of one machine cycle: up to 15 value fields, each
// labelled with its NC address, formatted by the parameter's flags as the
// user leaves it, and the cycle's NC text built from them. Insert mode
// hands the text to the editor (CycleText of the globals); test mode only
// shows it.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "app/lang_dlg.h"
#include "dbmodel/cycle.h"
#include "platform/ui/button.h"
#include "platform/ui/edit.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/static.h"
#include "resources/dialogs/nctools.h"

// Parameter flag bits.
enum : long {
  kParamDefined = 0x1,
  kParamRequired = 0x2,
  kParamLineBreak = 0x4,
  kParamPlusSign = 0x8,
  kParamNegative = 0x10,
  kParamBlank = 0x20,
  kParamAuto = 0x40,
  kParamAlpha = 0x80,
  kParamAlways = 0x100,
};

// The printf format of a value with `decimals` places ("%1.3f"), with a
// plus sign in front when asked.
std::string DecimalsFormat(long decimals, bool plus = false);
// The number formatted with the parameter's decimals.
std::string FormatDecimals(double value, long decimals, bool plus = false);

class TCycleRun : public TLangDlg {
 public:
  static constexpr int kResourceId = IDD_CYCLE;
  static constexpr int kSlots = 15;
  enum Mode { InsertMode = 0, TestMode = 1 };

  // Takes over the parameter list (linked by next), one record per slot in
  // parameter-number order, and frees it.
  TCycleRun(TWindow* parent, TcbParamRecord* first, int mode);
  ~TCycleRun() override;

  void SetupWindow() override;
  void CmInsert();
  void CmTest();
  void EvFieldSetFocus(UINT id);
  void EvFieldKillFocus(UINT id);
  // Formats the value of slot i (0-14) by its flags.
  void FormatField(int slot);
  // The cycle's text; false, with the focus on the field and the user
  // told, when a required value is missing.
  bool BuildText(std::string& text);

  std::array<TStatic*, kSlots> Markers{};
  std::array<TEdit*, kSlots> Fields{};
  std::array<TStatic*, kSlots> Labels{};
  std::array<std::unique_ptr<TcbParamRecord>, kSlots> Params;
  TStatic* Hint;
  TButton* InsertButton;
  int Mode;

 private:
  std::unique_ptr<TFont> hintFont_;

  DECLARE_RESPONSE_TABLE(TCycleRun);
};
