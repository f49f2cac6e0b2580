// TDialog: a window built from a dialog template. Controls of the template
// are bound to the control objects the dialog built for their ids; the
// others get plain objects of their class. Execute runs the dialog modally
// and returns the value it ended with; a dialog may end inside its own
// SetupWindow, and Execute then returns at once. Create runs it modeless.
// OK asks CanClose (every enabled edit's validator) before the dialog
// ends; Cancel, Esc and the close box end it with IDCANCEL.
#pragma once

#include "platform/ui/resource.h"
#include "platform/ui/window.h"

struct TResId {
  TResId(int id) : Id(id) {}  // NOLINT: ids are written as plain numbers
  int Id;
};

class TDialog : public TWindow {
 public:
  TDialog(TWindow* parent, TResId resId);
  ~TDialog() override;

  virtual int Execute();
  bool Create() override;
  void Destroy(int retVal = 0) override;
  void SetupWindow() override;
  void EvClose() override;

  bool IsModal() const { return Modal; }
  bool HasEnded() const { return Ended; }
  int GetResult() const { return Result; }
  int GetTemplateId() const { return ResId.Id; }
  const plat::DialogTemplate* GetTemplate() const { return Template; }

  virtual void CmOk();
  virtual void CmCancel();

  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

 protected:
  bool PerformCreate() override;
  const char* WindowClass() const override { return "KvDialog"; }

  DECLARE_RESPONSE_TABLE(TDialog);

 private:
  void FocusFirstControl();
  void ReleaseModal();

  TResId ResId;
  const plat::DialogTemplate* Template = nullptr;
  bool Modal = false;
  bool TitleFromTemplate = false;
  bool Ended = false;
  int Result = 0;
  std::vector<TWindow*> MadeForTemplate;  // plain controls we built; ours to delete
};

// Keyboard moves between a dialog's controls (see dlgnav.cpp).
HWND GetNextDlgTabItem(HWND dlg, HWND ctl, BOOL previous);
HWND GetNextDlgGroupItem(HWND dlg, HWND ctl, BOOL previous);

namespace plat {
// Tab, Shift+Tab and the arrow keys pressed on a dialog's control: the
// focus moves (true), or the key is not the dialog's (false).
bool dialog_key(HWND focus, UINT vk, BYTE modifiers);
}  // namespace plat
