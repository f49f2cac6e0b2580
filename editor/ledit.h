// The wrappers of the large-text edit control: TLEdit (one "LEdit32"
// control), TLEditFile (one that owns a file name) and TLEditGroup (one
// "LEditGroup32" window). A wrapper keeps every option, so options can be
// set before the control exists; its set-up sends them in one fixed order.
// It maps the standard edit commands to the control's command numbers,
// answers the control's colour callbacks through overridable operations
// and forwards the control's notifications to its parent.
#pragma once

#include <memory>
#include <string>

#include "platform/global_memory.h"
#include "platform/ledit/control.h"
#include "platform/ui/enabler.h"
#include "platform/ui/gdi_object.h"
#include "editor/ledit_stream.h"

struct TModule;
class TLEditGroup;

// Marks the constructor that builds a wrapper to be read from a stream.
struct TLEditStreamed {};

class TLEdit : public LEditControl {
 public:
  enum { NotifyId = 1000, CharTableSize = 254 };

  TLEdit(TWindow* parent, const char* title, UINT extraStyle = 0, TModule* module = nullptr);
  TLEdit(TWindow* parent, int id, const char* title, int x, int y, int w, int h, UINT extraStyle = 0,
         TModule* module = nullptr);
  TLEdit(TWindow* parent, int resourceId, TModule* module = nullptr);
  TLEdit(TWindow* parent, TLEditStreamed);
  ~TLEdit() override;

  // The options in stream order; reading sends them again when the
  // control exists. False for a stream that ended early (nothing sent).
  virtual void Write(TLEditOut& os);
  virtual bool Read(TLEditIn& is);
  bool IsStreamed() const { return Streamed; }

  void SetupWindow() override;
  bool CanClose() override;
  bool ControlExists() const { return Exists; }

  // ---- options: stored, and sent when the control exists
  void SetReadOnly(bool on);
  void SetStyleOptionA(bool on);
  void SetStyleOptionB(bool on);
  void SetScrollBars(bool horizontal, bool vertical);
  void SetOptionLowNibble(int v);
  void SetOptionBit(UINT bit, bool on);  // bits 1, 2, 4, 8, 16, 128, 256, 512, 1024
  void SetOptionBit1(bool on) { SetOptionBit(1, on); }
  void SetOptionBit2(bool on) { SetOptionBit(2, on); }
  void SetOptionBit4(bool on) { SetOptionBit(4, on); }
  bool GetOptionBit(UINT bit) const;
  void SetTypingMode(int mode);
  int GetTypingMode() const { return TypingMode; }
  void SetWidthValue(int v);
  int GetWidthValue() const { return WidthValue; }
  void SetValue32(long v);
  long GetValue32() const { return Value32Stored; }
  void SetValue78(int v);
  void SetValue87(int v);
  void SetValues79(void* p, long v, short s);
  void SetCharTable(const char* coded, int flag);
  void SetCharTable(const unsigned char* entries, int count, int flag);
  int GetCharTableCount() const { return CharCount; }  // the count word; -1: none
  const unsigned char* GetCharTable() const { return CharTable; }
  void SetFont(TFont* font);  // takes the font
  void SetGroup(TLEditGroup* group) { Group = group; }
  WORD GetGroupAnswer() const { return GroupAnswer; }
  void SetSavedSelection(const SelectionRange& r) { SavedSel = r; }

  // Colours the callbacks answer with.
  void SetSelectionColors(COLORREF text, COLORREF back);
  void SetNormalColors(bool override, COLORREF text, COLORREF back);
  void SetMemoryPainting(bool on) { MemoryPainting = on; }

  // ---- text operations
  // Copies line into buffer (size bytes); false when the line is missing
  // or longer than the buffer holds.
  bool GetLine(char* buffer, size_t size, long line);
  std::string GetLine(long line);
  bool HasSelection();
  SelectionRange GetSelection();
  void SetCaretPos(long line, int column);
  void SetSelection(long startLine, int startCol, long endLine, int endCol);
  void DeleteRange(const SelectionRange& r);
  void DeleteText(long startLine, int startCol, long endLine, int endCol);
  void DeleteLine(long line);
  HGLOBAL GetTextHandle();
  HGLOBAL GetTextHandle2();
  void SetTextHandle(HGLOBAL h);
  void InsertTextHandle(HGLOBAL h);

  // ---- overridable notices, in the order the control's notifications map
  virtual void EvTextChanged() { Forward(0x300); }
  virtual void EvTypingMode(int mode) { Forward(800 + mode); }
  virtual LRESULT Notice1501() { return Forward(1501), 0; }
  virtual LRESULT Notice1500() { return Forward(1500), 0; }
  virtual LRESULT Notice1278() { return Forward(1280), 0; }
  virtual LRESULT Notice1281() { return Forward(1281), 0; }
  virtual LRESULT Notice2048() { return Forward(2048), 0; }
  virtual void EvFocusGained() { Forward(0x100); }
  virtual void EvFocusLost() { Forward(0x200); }
  virtual void EvHorzScroll() { Forward(1537); }
  virtual void EvVertScroll() { Forward(1538); }
  virtual void Notice1022() { Forward(0x400); }
  virtual void Notice1023() { Forward(0x401); }
  virtual void EvSelColorNotice() { Forward(30000); }
  virtual void EvColorNotice() { Forward(30001); }
  virtual void EvQueryNotice() { Forward(30002); }
  virtual void EvSetupDone() { Forward(2100); }
  virtual LRESULT Notice2049() { return 0; }
  // Colours of one token: bit 2 of the result applies back, bit 1 text.
  virtual int GetTokenColor(const char* token, COLORREF& back, COLORREF& text);
  virtual int Query48(LPARAM) { return 0; }
  virtual int Query49(LPARAM) { return 0; }
  virtual LRESULT DrawHook83(TDC&, int /*highWord*/, LPARAM) { return 0; }
  virtual short Value80(short v) { return v; }

  // The command enabler of the standard edit ids.
  void CeEditCommand(TCommandEnabler& ce);
  // The control's command number of a standard id (0 for others).
  static UINT ControlCommandOf(UINT id);

 protected:
  // Sends WM_COMMAND (code, own id, own handle) to the parent, if any.
  void Forward(UINT code);
  virtual void SendAllOptions();

  LRESULT EvEngineNotify(UINT code);
  LRESULT EvSetFont(WPARAM, LPARAM);
  LRESULT EvDestroy(WPARAM, LPARAM);
  LRESULT EvSelColors(WPARAM, LPARAM);
  LRESULT EvCtlColor(WPARAM, LPARAM);
  LRESULT EvTokenColor(WPARAM, LPARAM);
  LRESULT EvBackground(WPARAM, LPARAM);
  LRESULT EvQuery48(WPARAM, LPARAM);
  LRESULT EvQuery49(WPARAM, LPARAM);
  LRESULT EvHook83(WPARAM, LPARAM);
  LRESULT EvValue80(WPARAM, LPARAM);
  void CmStandard(UINT id);
  void CmOwn(UINT id);

  static LRESULT DispatchNotify(TWindow* w, TEventInfo& ev);

  // Fields in their order of declaration.
  bool MemoryPainting = false;
  COLORREF SelBack, SelText;
  bool ColorOverride = false;
  COLORREF NormalBack, NormalText;
  SelectionRange SavedSel{};
  std::unique_ptr<TFont> FontObj;
  char* PendingFileName = nullptr;
  bool Exists = false;
  bool Streamed = false;
  int TypingMode = 0;
  bool Opt2 = false, Opt1 = false, Opt4 = false, Opt1024 = false, Opt512 = false, Opt8 = false, Opt16 = false,
       Opt128 = false, Opt256 = false;
  void* Val79Ptr = nullptr;
  long Val79Value = 0;
  short Val79Short = 0;
  short Val87 = 0;
  short Val78 = 16;
  TLEditGroup* Group = nullptr;
  WORD GroupAnswer = 0;
  long Value32Stored = -1;
  int WidthValue = 8;
  unsigned char CharTable[2 * CharTableSize] = {};
  int CharCount = -1;

  DECLARE_RESPONSE_TABLE(TLEdit);

 private:
  bool* OptionField(UINT bit);
  void SendOption(UINT bit, bool on);
  void Init();
};

// A control that owns a file name of up to 254 characters.
class TLEditFile : public TLEdit {
 public:
  enum { MaxName = 255, NameBuffer = 528 };
  TLEditFile(TWindow* parent, const char* title, UINT extraStyle = 0, TModule* module = nullptr);
  TLEditFile(TWindow* parent, int id, const char* title, int x, int y, int w, int h, UINT extraStyle = 0,
             TModule* module = nullptr);
  TLEditFile(TWindow* parent, int resourceId, TModule* module = nullptr);
  TLEditFile(TWindow* parent, TLEditStreamed s) : TLEdit(parent, s) {}

  void SetupWindow() override;
  void Write(TLEditOut& os) override;
  bool Read(TLEditIn& is) override;
  // The text the stream named, kept until the window goes.
  const char* PendingName() const { return PendingFileName; }
  // Stores the name while the control does not exist, else sends it. A
  // name longer than the field holds is refused (false), never cut.
  bool SetFileName(const char* name);
  std::string GetFileName();
  const char* StoredFileName() const { return FileName; }

 protected:
  LRESULT EvSetFileName(WPARAM, LPARAM);
  void CmFile(UINT id);

  char FileName[MaxName] = {};

  DECLARE_RESPONSE_TABLE(TLEditFile);
};

class TLEditGroup : public LEditGroupWindow {
 public:
  explicit TLEditGroup(TWindow* parent) : LEditGroupWindow(parent) { Attr.Style = WS_CHILD; }
};
