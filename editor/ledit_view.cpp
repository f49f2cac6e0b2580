#include "editor/ledit_view.h"

#include <algorithm>
#include <cstring>

TLEditView::TLEditView(TLEditDocument& doc, TWindow* parent) : TLEdit(parent, nullptr), Doc(doc) {}

size_t TLEditView::PieceSize(uintptr_t address, size_t remaining) {
  size_t toBoundary = 65536 - (address % 65536);
  return std::min({remaining, toBoundary, size_t{16384}});
}

bool TLEditView::LoadData() {
  std::unique_ptr<TLEditStream> in = Doc.InStream(TLEditDocument::ModeIn);
  if (!in) {
    Doc.PostError(TLEditDocument::ErrNoStream);
    return false;
  }
  int64_t size = in->Size();
  HGLOBAL h = size < 0 ? nullptr : GlobalAlloc(GMEM_MOVEABLE, static_cast<size_t>(size) + 1);
  char* p = h ? static_cast<char*>(GlobalLock(h)) : nullptr;
  if (!p) {
    if (h) GlobalFree(h);
    Doc.PostError(TLEditDocument::ErrMemory);
    return false;
  }
  for (size_t done = 0, total = static_cast<size_t>(size); done < total;) {
    size_t n = PieceSize(reinterpret_cast<uintptr_t>(p + done), total - done);
    if (in->Read(p + done, n) != n) {
      GlobalUnlock(h);
      GlobalFree(h);
      Doc.PostError(TLEditDocument::ErrRead);
      return false;
    }
    done += n;
  }
  p[size] = '\0';
  SendMessage(LEM_SETALLTEXT, 1, reinterpret_cast<LPARAM>(p));
  SendMessage(LEM_TEXTREPLACED, 0, 0);
  SendMessage(LEM_SETSTATE, 0, 15);
  GlobalUnlock(h);
  GlobalFree(h);
  return true;
}

bool TLEditView::Create() {
  if (ControlExists()) return true;
  if (!TLEdit::Create()) return false;
  if (!Doc.HasData()) SendMessage(LEM_SETSTATE, 0, 15);
  else Loaded = LoadData();
  return true;
}

bool TLEditView::CanClose() { return TLEdit::CanClose() && Doc.CanClose(); }

bool TLEditView::VnIsWindow(HWND h) {
  return h == GetHandle() && SendMessage(LEM_PING, 0, lping_question) == lping_answer;
}

bool TLEditView::VnIsDirty() { return SendMessage(LEM_GETSTATE, 15, 0) != 0; }

bool TLEditView::VnRevert(bool clear) {
  SendMessage(WM_CLEAR, 1, 0);
  SendMessage(LEM_SETSTATE, 0, 15);
  if (!clear) Loaded = LoadData();
  return true;
}

bool TLEditView::VnDocClosed(int openMode) {
  if ((openMode & 2) && !Writer) {
    SelectionRange r = GetSelection();
    Loaded = LoadData();
    SendMessage(LEM_SETSEL, 0, reinterpret_cast<LPARAM>(&r));
  }
  Writer = false;
  return true;
}

bool TLEditView::VnCommit(bool force) {
  if (!force && !VnIsDirty()) return true;
  std::unique_ptr<TLEditStream> out = Doc.OutStream(TLEditDocument::ModeOut);
  if (!out) {
    Doc.PostError(TLEditDocument::ErrNoStream);
    return false;
  }
  Writer = true;
  HGLOBAL h = GetTextHandle();
  if (!h) {
    Doc.PostError(TLEditDocument::ErrMemory);
    return false;
  }
  const char* p = static_cast<const char*>(GlobalLock(h));
  size_t total = std::strlen(p);
  bool ok = true;
  for (size_t done = 0; ok && done < total;) {
    size_t n = PieceSize(reinterpret_cast<uintptr_t>(p + done), total - done);
    ok = out->Write(p + done, n);
    done += n;
  }
  GlobalUnlock(h);
  GlobalFree(h);
  if (!ok) {
    Doc.PostError(TLEditDocument::ErrWrite);
    return false;
  }
  SendMessage(LEM_SETSTATE, 0, 15);
  return true;
}
