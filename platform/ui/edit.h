// TEdit: single- and multi-line edits. The text limit bounds what the user
// types or pastes (EN_MAXTEXT and a beep when it is reached); a program may
// set a longer text, which is kept whole. Typed letters become capitals in
// an ES_UPPERCASE edit; a read-only edit refuses typing; a password edit
// keeps its text but never hands it to the clipboard. Setting the text
// clears the modify flag; typing sets it. A validator refuses characters
// as they are typed and is asked again by CanClose.
#pragma once

#include <memory>

#include "platform/ui/static.h"
#include "platform/ui/validator.h"

class TEdit : public TStatic {
 public:
  // textLimit counts the terminating zero, as a caller's buffer does: an
  // edit built with 40 takes 39 characters. 0 leaves the default.
  TEdit(TWindow* parent, int id, const char* text, int x, int y, int w, int h, UINT textLimit = 0,
        bool multiline = false);
  TEdit(TWindow* parent, int resourceId, UINT textLimit = 0);
  ~TEdit() override;

  void SetupWindow() override;
  bool CanClose() override;

  void LimitText(int maxChars) { SendMessage(EM_LIMITTEXT, maxChars); }
  int GetLimit() const;
  void SetReadOnly(bool readOnly) { SendMessage(EM_SETREADONLY, readOnly); }
  bool IsModified() const;
  void ClearModify() { SendMessage(EM_SETMODIFY, FALSE); }
  void SetSelection(int start, int end) { SendMessage(EM_SETSEL, start, end); }
  void GetSelection(int& start, int& end) const;
  void Insert(const char* text) { SendMessage(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text)); }
  int GetNumLines() const;
  void Cut() { SendMessage(WM_CUT); }
  void Copy() { SendMessage(WM_COPY); }
  void Paste() { SendMessage(WM_PASTE); }
  void Clear() { SendMessage(WM_CLEAR); }

  // The edit owns its validator.
  void SetValidator(TValidator* validator);
  TValidator* GetValidator() const { return Validator.get(); }
  // Asks the validator; with reportErr its message is shown and the edit
  // takes the focus.
  bool IsValid(bool reportErr = false);

  bool IsStateMessage(UINT msg) const override;
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

 protected:
  const char* WindowClass() const override { return "EDIT"; }
  UINT SetFocusCode() const override { return EN_SETFOCUS; }
  UINT KillFocusCode() const override { return EN_KILLFOCUS; }

 private:
  // Replaces the selection with typed or pasted text; false when nothing
  // could go in. Runs the notifications.
  bool ReplaceSelection(std::string text, bool typed);
  void TypeChar(unsigned char c);

  std::unique_ptr<TValidator> Validator;
  int Limit = 0;  // characters; 0 = default
  int InitialLimit = 0;
  bool Modified = false;
  int SelStart = 0;
  int SelEnd = 0;
};
