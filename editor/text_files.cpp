// The editor's scratch-file routines over whole files.
#include "editor/text_files.h"

#include "platform/file.h"

namespace {

bool Fail(TFileError& error, const std::string& path, bool reading) {
  error.Path = path;
  error.Reason = plat::error_text(plat::last_error());
  error.Reading = reading;
  return false;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, TFileError& error) {
  plat::File f = plat::create_file(path, plat::Access::read, plat::Share::read, plat::Disposition::open_existing);
  if (!f.is_open()) return Fail(error, path, true);
  int64_t n = plat::length(f);
  if (n < 0) return Fail(error, path, true);
  bytes.assign(static_cast<size_t>(n), '\0');
  if (n > 0 && plat::read_at(f, 0, bytes.data(), bytes.size()) != n) return Fail(error, path, true);
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, TFileError& error) {
  const std::string scratch = path + ".$$$";
  {
    plat::File f =
        plat::create_file(scratch, plat::Access::write, plat::Share::none, plat::Disposition::create_always);
    if (!f.is_open()) return Fail(error, path, false);
    bool ok = plat::write(f, bytes.data(), bytes.size()) == static_cast<int64_t>(bytes.size()) && plat::flush(f);
    if (!plat::close(f) || !ok) {
      Fail(error, path, false);
      plat::delete_file(scratch);
      return false;
    }
  }
  // The copy replaces the old file only once it is complete.
  bool ok = plat::copy_file(scratch, path, false);
  if (!ok) Fail(error, path, false);
  plat::delete_file(scratch);
  return ok;
}

bool AppendFileToText(const std::string& target, const std::string& source, TFileError& error) {
  std::string text, tail;
  if (plat::file_exists(target) && !ReadWholeFile(target, text, error)) return false;
  if (!ReadWholeFile(source, tail, error)) return false;
  return WriteWholeFile(target, text + tail, error);
}

bool InsertFileAtLine(const std::string& output, const std::string& text, const std::string& insert, long line,
                      TFileError& error) {
  std::string body, piece;
  if (!ReadWholeFile(text, body, error) || !ReadWholeFile(insert, piece, error)) return false;
  // Line n starts after the (n-1)th line feed.
  size_t at = std::string::npos;
  long counter = 1;
  for (size_t i = 0; i < body.size(); i++) {
    if (body[i] != '\n') continue;
    if (++counter == line) {
      at = i + 1;
      break;
    }
  }
  if (at == std::string::npos) return WriteWholeFile(output, body, error);
  return WriteWholeFile(output, body.substr(0, at) + piece + body.substr(at), error);
}

bool JoinFiles(const std::string& output, const std::string& first, const std::string& second, TFileError& error) {
  std::string a, b;
  if (!ReadWholeFile(first, a, error) || !ReadWholeFile(second, b, error)) return false;
  return WriteWholeFile(output, a + b, error);
}
