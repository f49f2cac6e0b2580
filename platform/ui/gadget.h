// Gadgets: the items of tool bars and status bars. A gadget has an id, a
// border style and bounds inside its gadget window; text gadgets show a
// text sized in characters of the window's font, button gadgets send their
// command to the frame and follow its enabler, separators leave room,
// control gadgets host a control (a combo box) as a child of the bar.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/ui/dialog.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/geometry.h"

class TDC;
class TGadgetWindow;

class TGadget {
 public:
  enum TBorderStyle { None, Plain, Raised, Recessed, Embossed };
  explicit TGadget(int id = 0, TBorderStyle style = None);
  virtual ~TGadget() = default;
  TGadget(const TGadget&) = delete;
  TGadget& operator=(const TGadget&) = delete;

  int GetId() const { return Id; }
  TBorderStyle GetBorderStyle() const { return BorderStyle; }
  void SetBorderStyle(TBorderStyle s) { BorderStyle = s; }
  const TRect& GetBounds() const { return Bounds; }
  bool GetEnabled() const { return Enabled; }
  virtual void SetEnabled(bool enabled) { Enabled = enabled; }
  TGadgetWindow* GetGadgetWindow() const { return Window; }
  // Size the gadget wants, in pixels, with its borders.
  virtual TSize GetDesiredSize();
  // Asks the frame's enabler (buttons only).
  virtual void CommandEnable() {}
  virtual void Paint(TDC& dc);
  // Called when the gadget joins or leaves its window.
  virtual void Inserted() {}
  virtual void Removed() {}

  bool WideAsPossible = false;

 protected:
  int BorderWidth() const { return BorderStyle == None ? 0 : (BorderStyle == Plain ? 1 : 2); }
  int Id;
  TBorderStyle BorderStyle;
  TRect Bounds;
  bool Enabled = true;
  TGadgetWindow* Window = nullptr;
  friend class TGadgetWindow;
};

class TSeparatorGadget : public TGadget {
 public:
  explicit TSeparatorGadget(int size = 6);
  TSize GetDesiredSize() override;

 private:
  int Size;
};

class TTextGadget : public TGadget {
 public:
  enum TAlign { Left, Center, Right };
  TTextGadget(int id = 0, TBorderStyle style = Recessed, TAlign align = Left, unsigned numChars = 10,
              const char* text = nullptr);
  // Any thread may set the text (a port's status, a line count).
  void SetText(const char* text);
  std::string GetText() const;
  TAlign GetAlign() const { return Align; }
  unsigned GetNumChars() const { return NumChars; }
  TSize GetDesiredSize() override;
  void Paint(TDC& dc) override;
  // A text the gadget must show whole (an indicator's label): it is at
  // least as wide as that text in the bar's font.
  void SetFitText(const char* text) { FitText = text ? text : ""; }

 protected:
  std::string FitText;
  mutable std::mutex TextMu;
  std::string Text;
  TAlign Align;
  unsigned NumChars;
};

class TButtonGadget : public TGadget {
 public:
  enum TType { Command, Exclusive, NonExclusive };
  enum TState { Up, Down, Indeterminate };
  TButtonGadget(TResId bitmapId, int id, TType type = Command, bool enabled = false, TState state = Up,
                bool repeat = false);
  int GetResId() const { return BitmapId; }
  TType GetType() const { return Type; }
  TState GetButtonState() const { return State; }
  void SetButtonState(TState s) { State = s; }
  TSize GetDesiredSize() override;
  void CommandEnable() override;
  void Paint(TDC& dc) override;
  // The user clicks it: a disabled button does nothing (false); an
  // enabled one sends its command to the frame.
  bool Click();

 private:
  int BitmapId;
  std::shared_ptr<plat::Image> Glyph;
  TType Type;
  TState State;
};

class TControlGadget : public TGadget {
 public:
  explicit TControlGadget(TWindow& control, TBorderStyle style = None);
  TWindow* GetControl() const { return Control; }
  TSize GetDesiredSize() override;
  void Inserted() override;

 private:
  TWindow* Control;
};
