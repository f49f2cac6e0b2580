// Gadget windows: tool bars (TControlBar) and the status bar (TStatusBar).
// They lay their gadgets out in a row or a column inside margins, refresh
// their buttons from the frame's command enablers when the application
// goes idle, and show command hints in the frame's status bar when the
// pointer enters a button or while it is pressed.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/gadget.h"
#include "platform/ui/font_face.h"
#include "platform/ui/gdi_object.h"

class TFrameWindow;

struct TMargins {
  enum TUnits { Pixels, LayoutUnits, BorderUnits };
  TUnits Units = LayoutUnits;
  int Left = 0, Right = 0, Top = 0, Bottom = 0;
};

class TGadgetWindow : public TWindow {
 public:
  enum TTileDirection { Horizontal, Vertical };
  enum THintMode { PressHints, EnterHints, NoHints };
  enum TPlacement { Before, After };

  // The window owns the font (null: "MS Sans Serif" at 10 points) and the
  // gadgets inserted.
  TGadgetWindow(TWindow* parent = nullptr, TTileDirection direction = Horizontal, TFont* font = nullptr);
  ~TGadgetWindow() override;

  void Insert(TGadget& gadget, TPlacement placement = After, TGadget* sibling = nullptr);
  TGadget* Remove(TGadget& gadget);  // hands the gadget back to the caller
  int GadgetCount() const { return static_cast<int>(Gadgets.size()); }
  TGadget* GadgetAt(int index) const;
  TGadget* GadgetWithId(int id) const;

  TTileDirection GetDirection() const { return Direction; }
  void SetDirection(TTileDirection d);
  void SetHintMode(THintMode mode) { HintMode = mode; }
  THintMode GetHintMode() const { return HintMode; }
  void SetMargins(const TMargins& m);
  TFont& GetFont() const { return *Font; }
  // Font metrics in pixels of the gadget font.
  const plat::FontInstance& FontMetrics() const { return Metrics; }
  int LayoutUnitPixels() const;

  TSize GetDesiredSize();
  void LayoutSession();
  // Asks the frame's enablers for every button.
  void CommandEnableAll();
  TFrameWindow* GetFrame() const;

  // The pointer's doings, as the desktop reports them and tests play them.
  void PointerEnter(int id);
  void PointerLeave();
  // A click on the button with this id; false when it is missing or grey.
  bool PressButton(int id);

  bool IdleAction(long idleCount) override;
  void SetupWindow() override;
  void EvSize(UINT sizeType, const TSize& size) override;
  void Paint(TDC& dc, bool erase, TRect& rect) override;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  const char* WindowClass() const override { return "KvGadgetWindow"; }
  void ShowHint(int id);

  std::vector<TGadget*> Gadgets;
  TTileDirection Direction;
  THintMode HintMode = PressHints;
  TMargins Margins;
  std::unique_ptr<TFont> Font;
  plat::FontInstance Metrics;
};

class TControlBar : public TGadgetWindow {
 public:
  TControlBar(TWindow* parent = nullptr, TTileDirection direction = Horizontal, TFont* font = nullptr);
};

class TStatusBar : public TGadgetWindow {
 public:
  enum TModeIndicator { ExtendSelection = 1, CapsLock = 2, NumLock = 4, ScrollLock = 8, Overtype = 16 };
  TStatusBar(TWindow* parent = nullptr, TGadget::TBorderStyle borderStyle = TGadget::Recessed,
             unsigned modeIndicators = 0, TFont* font = nullptr);

  // The text of the first gadget, where hints show.
  void SetText(const char* text);
  std::string GetText() const;
  bool GetModeIndicator(TModeIndicator i) const;
  void SetModeIndicator(TModeIndicator i, bool on);
  // Sets the indicators from the keyboard state.
  void UpdateModeIndicators();
  bool IdleAction(long idleCount) override;

 private:
  TTextGadget* HintGadget;
  unsigned Indicators;
  unsigned States = 0;
};
