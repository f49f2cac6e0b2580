// Sequential reader and writer over a DbFile. Buffers are whole multiples of
// 1024 bytes and, after a shortened first piece, every transfer starts on a
// 1024-byte boundary of the file.
#include <cstring>

#include "engine/engine.h"
#include "engine/file.h"

namespace {
unsigned whole_kb(unsigned size) { return size & 0xFC00u; }
}  // namespace

int seq_read_init(DbSeqRead* r, DbFile* f, long pos, char* buf, unsigned size) {
  std::memset(r, 0, sizeof *r);
  r->file = f;
  r->pos = pos;
  if (buf && whole_kb(size) > 0) {
    r->buffer = buf;
    r->total = whole_kb(size);
    unsigned skew = static_cast<unsigned>(pos % 1024);
    r->next_read = r->total > skew ? r->total - skew : r->total;
  }
  return 0;
}

unsigned seq_read_in(DbSeqRead* r, void* out, unsigned n) {
  DB_ENGINE* c = r->file->context;
  DbAssertLocked(c);
  char* dst = static_cast<char*>(out);
  if (!r->buffer) {
    unsigned got = file_read(r->file, r->pos, dst, n);
    r->pos += got;
    return got;
  }
  unsigned delivered = 0;
  while (delivered < n) {
    if (r->left == 0) {
      unsigned got = file_read(r->file, r->pos, r->buffer, r->next_read);
      if (c->error_code < 0) return delivered;
      r->pos += got;
      r->next_read = r->total;
      r->avail = r->left = got;
      if (got == 0) break;
    }
    unsigned k = n - delivered < r->left ? n - delivered : r->left;
    std::memcpy(dst + delivered, r->buffer + (r->avail - r->left), k);
    r->left -= k;
    delivered += k;
  }
  return delivered;
}

int seq_read_all(DbSeqRead* r, void* out, unsigned n) {
  DbAssertLocked(r->file->context);
  unsigned got = seq_read_in(r, out, n);
  if (r->file->context->error_code < 0) return -1;
  if (got != n)
    return code_error_ex(r->file->context, e_read, "File Name:", r->file->name, nullptr);
  return 0;
}

int seq_write_init(DbSeqWrite* w, DbFile* f, long pos, char* buf, unsigned size) {
  std::memset(w, 0, sizeof *w);
  w->file = f;
  w->pos = pos;
  if (buf && whole_kb(size) > 0) {
    w->buffer = buf;
    w->total = whole_kb(size);
    unsigned skew = static_cast<unsigned>(pos % 1024);
    w->working = skew < w->total ? w->total - skew : w->total;
    w->avail = w->working;
  }
  return 0;
}

int seq_write_in(DbSeqWrite* w, const void* in, unsigned n) {
  DbAssertLocked(w->file->context);
  const char* src = static_cast<const char*>(in);
  if (!w->buffer) {
    if (file_write(w->file, w->pos, src, n) < 0) return -1;
    w->pos += n;
    return 0;
  }
  while (n > 0) {
    if (w->avail == 0 && seq_write_flush_in(w) < 0) return -1;
    unsigned k = n < w->avail ? n : w->avail;
    std::memcpy(w->buffer + (w->working - w->avail), src, k);
    w->avail -= k;
    src += k;
    n -= k;
  }
  return 0;
}

int seq_write_flush_in(DbSeqWrite* w) {
  DbAssertLocked(w->file->context);
  if (!w->buffer) return 0;
  unsigned n = w->working - w->avail;
  if (file_write(w->file, w->pos, w->buffer, n) < 0) return -1;
  w->pos += n;
  w->working = w->avail = w->total;
  return 0;
}

int seq_write_fill(DbSeqWrite* w, long n, int byte) {
  char piece[512];
  std::memset(piece, byte, sizeof piece);
  while (n > 0) {
    unsigned k = n < 512 ? static_cast<unsigned>(n) : 512u;
    if (seq_write_in(w, piece, k) < 0) return -1;
    n -= k;
  }
  return 0;
}
