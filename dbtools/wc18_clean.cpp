// WC-18 program files into clean NC text (see tape_conversions.h): a table
// of the kept bytes, applied to large pieces of the file without a branch
// per byte.
#include <array>
#include <cstring>
#include <vector>

#include "dbtools/tape_conversions.h"
#include "dbtools/work_file.h"

namespace {

constexpr std::array<unsigned char, 256> kKept = [] {
  std::array<unsigned char, 256> kept{};
  for (int c = 0x20; c <= 0x7F; ++c) kept[c] = 1;
  kept['\r'] = kept['\n'] = 1;
  return kept;
}();

constexpr char kStart = '%';

TConversion CleanFile(const std::string& source, const std::string& work, bool fromPercent, int* error) {
  auto fail = [error](TConversion result, int code) {
    if (error) *error = code;
    return result;
  };
  TSourceReader in(source);
  if (in.Failed()) return fail(TConversion::SourceFailed, in.Error());
  TWorkWriter out(work);
  if (out.Failed()) return fail(TConversion::WorkFailed, out.Error());
  bool started = !fromPercent;
  std::vector<char> kept;
  for (std::string_view piece; !(piece = in.NextPiece()).empty();) {
    if (!started) {
      // Everything before the first "%" goes; the "%" itself is kept.
      const void* at = std::memchr(piece.data(), kStart, piece.size());
      if (!at) continue;
      piece.remove_prefix(static_cast<const char*>(at) - piece.data());
      started = true;
    }
    if (kept.size() < piece.size()) kept.resize(piece.size());
    out.Put(std::string_view(kept.data(), Wc18Keep(piece.data(), piece.size(), kept.data())));
  }
  // A read that failed part-way is no end of the program: nothing is taken.
  if (in.Failed()) return fail(TConversion::SourceFailed, in.Error());
  if (!out.Finish()) return fail(TConversion::WorkFailed, out.Error());
  return TConversion::Taken;
}

}  // namespace

std::size_t Wc18Keep(const char* in, std::size_t n, char* out) {
  std::size_t k = 0;
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    out[k] = static_cast<char>(c);
    k += kKept[c];
  }
  return k;
}

TConversion ConvertWc18File(const std::string& source, const std::string& work, int* error) {
  return CleanFile(source, work, false, error);
}

TConversion ConvertWc18140File(const std::string& source, const std::string& work, int* error) {
  return CleanFile(source, work, true, error);
}
