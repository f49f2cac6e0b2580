// TLEditView: a TLEdit that shows a document of the document/view model.
// The document hands out byte streams; the view reads the whole text into
// one global block and writes it back, in pieces of at most 16384 bytes
// that never cross a 64 KB boundary of the block's address (the pieces the
// old segmented memory needed; kept, as documents rely on the sizes).
#pragma once

#include <cstdint>
#include <memory>

#include "editor/ledit.h"

// A byte stream of a document (mode 129 reads, 130 writes).
class TLEditStream {
 public:
  virtual ~TLEditStream() = default;
  virtual int64_t Size() = 0;
  // Bytes read (fewer only at the end or on failure).
  virtual size_t Read(void* buf, size_t n) = 0;
  virtual bool Write(const void* buf, size_t n) = 0;
};

class TLEditDocument {
 public:
  enum { ModeIn = 129, ModeOut = 130 };
  enum { ErrNoStream = 32504, ErrRead = 32506, ErrWrite = 32507, ErrMemory = 32511 };
  virtual ~TLEditDocument() = default;
  virtual std::unique_ptr<TLEditStream> OutStream(int mode) = 0;
  virtual std::unique_ptr<TLEditStream> InStream(int mode) = 0;
  virtual bool HasData() const = 0;
  virtual bool CanClose() { return true; }
  virtual bool IsOpenForWrite() const { return false; }
  // Reports a document error by its code.
  virtual void PostError(int code) = 0;
};

class TLEditView : public TLEdit {
 public:
  TLEditView(TLEditDocument& doc, TWindow* parent = nullptr);

  static const char* StaticName() { return "Large Edit View"; }
  const char* GetViewName() const { return StaticName(); }

  bool Create() override;
  bool CanClose() override;

  // View notifications.
  bool VnCommit(bool force);
  bool VnRevert(bool clear);
  bool VnIsWindow(HWND h);
  bool VnIsDirty();
  bool VnDocClosed(int openMode);

  bool TextLoaded() const { return Loaded; }
  // Size of the next piece at address with remaining bytes to go.
  static size_t PieceSize(uintptr_t address, size_t remaining);

 private:
  bool LoadData();
  TLEditDocument& Doc;
  bool Loaded = false;
  bool Writer = false;
};
