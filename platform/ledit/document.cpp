#include "platform/ledit/document.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

#include "platform/file.h"
#include "platform/file_internal.h"
#include "platform/path.h"

namespace plat::ledit {

Document::Document() {
  for (int c = 0; c < 256; ++c) wordBytes_[c] = std::isalnum(c) || c == '_';
}

std::string Document::text(size_t pos, size_t n) const {
  std::string s(n, '\0');
  if (n) text_.copy_out(pos, n, s.data());
  return s;
}

size_t Document::line_next(size_t line) const { return line + 1 < lines() ? line_start(line + 1) : length(); }

size_t Document::line_end(size_t line) const {
  size_t start = line_start(line);
  size_t end = line_next(line);
  if (end > start && text_.at(end - 1) == '\n') {
    --end;
    if (end > start && text_.at(end - 1) == '\r') --end;
  }
  return end;
}

std::string Document::line_text(size_t line) const {
  size_t s = line_start(line);
  return text(s, line_end(line) - s);
}

// ---- edits ---------------------------------------------------------------

void Document::raw_insert(size_t pos, const char* data, size_t n) {
  if (!text_.try_reserve(n)) throw std::bad_alloc();
  text_.insert(pos, data, n);
  lines_.inserted(pos, data, n);
  state_ |= state_modified;
  for (DocumentWatcher* w : watchers_) w->text_inserted(pos, n);
}

void Document::raw_erase(size_t pos, size_t n) {
  size_t newlines = lines_.line_of(pos + n) - lines_.line_of(pos);
  lines_.erased(pos, n, newlines);
  text_.erase(pos, n);
  state_ |= state_modified;
  for (DocumentWatcher* w : watchers_) w->text_erased(pos, n);
}

void Document::record(bool insert, size_t pos, size_t n, const char* data) {
  UndoRecord r;
  r.pos = pos;
  r.len = n;
  r.insert = insert;
  r.groupStart = groupDepth_ == 0 || groupOpen_ || undo_.empty();
  groupOpen_ = false;
  if (groupDepth_ == 0) mergeOpen_ = false;
  undo_.push(r, data);
  redo_.clear();
}

void Document::insert(size_t pos, const char* data, size_t n) {
  assert(pos <= length());
  if (n == 0) return;
  raw_insert(pos, data, n);
  record(true, pos, n, data);
}

void Document::erase(size_t pos, size_t n) {
  assert(pos + n <= length());
  if (n == 0) return;
  std::string gone = text(pos, n);
  raw_erase(pos, n);
  record(false, pos, n, gone.data());
}

void Document::replace_all_text(const char* data, size_t n) {
  begin_group();
  erase(0, length());
  insert(0, data, n);
  end_group();
}

void Document::begin_group(bool merge) {
  if (groupDepth_++ > 0) return;
  groupOpen_ = !(merge && mergeOpen_ && !undo_.empty());
  mergeOpen_ = merge;
}

void Document::end_group() {
  assert(groupDepth_ > 0);
  if (groupDepth_ > 0) --groupDepth_;
}

int64_t Document::step(UndoStack& from, UndoStack& to, bool undoing) {
  mergeOpen_ = false;
  if (from.empty()) return -1;
  int64_t caret = -1;
  bool first = true;
  for (;;) {
    UndoRecord r = from.top();
    std::string bytes(from.top_text(), r.len);
    bool putIn = r.insert != undoing;
    if (putIn) {
      raw_insert(r.pos, bytes.data(), r.len);
      caret = static_cast<int64_t>(r.pos + r.len);
    } else {
      raw_erase(r.pos, r.len);
      caret = static_cast<int64_t>(r.pos);
    }
    bool last = r.groupStart;
    from.pop();
    r.groupStart = first;  // the first moved is the last taken back
    first = false;
    to.push(r, bytes.data());
    if (last || from.empty()) break;
  }
  return caret;
}

int64_t Document::undo() { return step(undo_, redo_, true); }
int64_t Document::redo() { return step(redo_, undo_, false); }

void Document::clear_undo() {
  undo_.clear();
  redo_.clear();
  mergeOpen_ = false;
}

// ---- search ------------------------------------------------------------------

bool Document::whole_word_at(size_t pos, size_t n) const {
  if (pos > 0 && is_word_byte(static_cast<unsigned char>(text_.at(pos - 1)))) return false;
  if (pos + n < length() && is_word_byte(static_cast<unsigned char>(text_.at(pos + n)))) return false;
  return true;
}

namespace {

bool same(const char* a, const std::string& b, bool matchCase) {
  if (matchCase) return std::memcmp(a, b.data(), b.size()) == 0;
  for (size_t i = 0; i < b.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// First candidate start in [p, end) whose first byte matches.
const char* next_first(const char* p, const char* end, char c, bool matchCase) {
  if (matchCase) return static_cast<const char*>(std::memchr(p, c, end - p));
  int lo = std::tolower(static_cast<unsigned char>(c)), up = std::toupper(static_cast<unsigned char>(c));
  if (lo == up) return static_cast<const char*>(std::memchr(p, c, end - p));
  for (; p < end; ++p)
    if (*p == lo || *p == up) return p;
  return nullptr;
}

}  // namespace

int64_t Document::find(const std::string& what, size_t from, bool forward, bool matchCase, bool wholeWord) {
  size_t n = what.size();
  if (n == 0 || n > length()) return -1;
  if (forward) {
    if (from + n > length()) return -1;
    const char* base = text_.range_pointer(from, length() - from);
    const char* end = base + (length() - from) - n + 1;
    for (const char* p = base; p < end && (p = next_first(p, end, what[0], matchCase)); ++p) {
      size_t pos = from + (p - base);
      if (same(p, what, matchCase) && (!wholeWord || whole_word_at(pos, n))) return static_cast<int64_t>(pos);
    }
    return -1;
  }
  size_t limit = std::min(from, length() - n + 1);  // starts in [0, limit)
  if (limit == 0) return -1;
  const char* base = text_.range_pointer(0, limit - 1 + n);
  for (size_t pos = limit; pos-- > 0;)
    if (same(base + pos, what, matchCase) && (!wholeWord || whole_word_at(pos, n))) return static_cast<int64_t>(pos);
  return -1;
}

size_t Document::replace_all(const std::string& what, const std::string& with, bool matchCase, bool wholeWord,
                             size_t from, size_t to) {
  size_t count = 0;
  begin_group();
  for (size_t pos = from;;) {
    int64_t hit = find(what, pos, true, matchCase, wholeWord);
    if (hit < 0 || static_cast<size_t>(hit) + what.size() > to) break;
    erase(static_cast<size_t>(hit), what.size());
    insert(static_cast<size_t>(hit), with);
    pos = static_cast<size_t>(hit) + with.size();
    to = to - what.size() + with.size();
    ++count;
  }
  end_group();
  return count;
}

// ---- files ------------------------------------------------------------------

namespace {

// The file a save replaces, held open across the rename: the rename then
// only takes its name, and the storage of a large old text is given back
// when the last handle closes, on a thread of its own rather than while
// the user waits for the save.
class ReplacedFile {
 public:
  explicit ReplacedFile(const std::string& native) : fd_(::open(native.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;
  ~ReplacedFile() { close_now(); }
  // Its cached pages are of no use once the new text stands in its place;
  // given back before the new text is written, they make room for it (a
  // large text written beside a cached old one waits on fresh memory). The
  // file itself is untouched.
  void drop_cache() {
    if (fd_ >= 0) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED);
  }
  void close_now() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  }
  void close_later() {
    if (fd_ < 0) return;
    int fd = std::exchange(fd_, -1);
    try {
      std::thread([fd] { ::close(fd); }).detach();
    } catch (...) {
      ::close(fd);
    }
  }

 private:
  int fd_;
};

IoResult failure(const std::string& what, const std::string& path, int error) {
  IoResult r;
  r.ok = false;
  r.error = error ? error : error_invalid_argument;
  r.message = what + " \"" + path + "\": " + error_text(r.error);
  return r;
}

}  // namespace

IoResult Document::load(const std::string& dosPath) {
  int err = 0;
  File f = create_file(dosPath, Access::read, Share::read, Disposition::open_existing, &err);
  if (!f.is_open()) return failure("Cannot open", dosPath, err);
  int64_t size = plat::length(f);
  if (size < 0) return failure("Cannot read", dosPath, last_error());
  GapBuffer<char> text;
  LineIndex lines;
  // Room for edits is reserved beyond the file's size but left untouched,
  // so the memory held stays the file's size, and the first keystrokes
  // after opening do not wait for the whole text to be copied into a
  // larger block.
  if (!text.try_reserve(static_cast<size_t>(size) + 1)) return failure("Not enough memory for", dosPath, ENOMEM);
  std::vector<char> chunk(std::min<int64_t>(size + 1, 1 << 22));
  for (bool first = true;; first = false) {
    int64_t got = read_at(f, static_cast<int64_t>(text.size()), chunk.data(), chunk.size());
    if (got < 0) return failure("Cannot read", dosPath, last_error());
    if (got == 0) break;
    if (first && got < size) {
      // The line starts, guessed from the first piece, a little generously.
      size_t nl = static_cast<size_t>(std::count(chunk.data(), chunk.data() + got, '\n'));
      lines.reserve(static_cast<size_t>(static_cast<double>(nl) * size / got * 1.02) + 16);
    }
    if (!text.try_reserve(static_cast<size_t>(got)) || !lines.add_text(chunk.data(), got, text.size()))
      return failure("Not enough memory for", dosPath, ENOMEM);
    text.insert(text.size(), chunk.data(), static_cast<size_t>(got));
  }
  size_t old = length();
  text_ = std::move(text);
  lines_ = std::move(lines);
  lines_.shrink();
  clear_undo();
  state_ &= ~state_modified;
  for (DocumentWatcher* w : watchers_) {
    w->text_erased(0, old);
    w->text_inserted(0, length());
  }
  return {};
}

IoResult Document::save(const std::string& dosPath) const {
  std::string tmpPath = dosPath + "~kv";
  int err = 0;
  File f = create_file(tmpPath, Access::write, Share::none, Disposition::create_always, &err);
  if (!f.is_open()) return failure("Cannot write", dosPath, err);
  std::string target = to_native_path(dosPath);
  ReplacedFile replaced(target);
  replaced.drop_cache();
  size_t n1 = 0, n2 = 0;
  const char* a = text_.before_gap(n1);
  const char* b = text_.after_gap(n2);
  // The room for the whole text is taken first: a full disk shows before
  // anything is written, and the writes need no blocks found on the way.
  // A file system that cannot reserve room just gets the writes.
  bool ok = n1 + n2 == 0 || ::fallocate(f.impl()->fd, 0, 0, static_cast<off_t>(n1 + n2)) == 0 ||
            (errno != ENOSPC && errno != EDQUOT && errno != EFBIG);
  if (!ok) set_last_error(errno);
  ok = ok && (n1 == 0 || write(f, a, n1) == static_cast<int64_t>(n1)) &&
       (n2 == 0 || write(f, b, n2) == static_cast<int64_t>(n2));
  err = ok ? 0 : last_error();
  std::string native = f.native_path();
  if (!close(f) && ok) {
    ok = false;
    err = last_error();
  }
  struct stat st;
  if (ok && ::stat(target.c_str(), &st) == 0) ::chmod(native.c_str(), st.st_mode & 07777);  // keep its permissions
  if (ok && ::rename(native.c_str(), target.c_str()) != 0) {
    // A file system that will not replace an open file gets it closed.
    replaced.close_now();
    if (::rename(native.c_str(), target.c_str()) != 0) {
      ok = false;
      err = errno;
    }
  }
  if (ok) replaced.close_later();
  if (!ok) {
    delete_file(tmpPath);
    return failure("Cannot write", dosPath, err);
  }
  return {};
}

void Document::add_watcher(DocumentWatcher* w) { watchers_.push_back(w); }
void Document::remove_watcher(DocumentWatcher* w) { std::erase(watchers_, w); }


}  // namespace plat::ledit
