#include "dnc/lsv2_dripfeed.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "appcore/myfile.h"
#include "dnc/lsv2_telegram.h"

long Lsv2PartSize(long blockSize) { return (blockSize > 0 ? blockSize : 40000) / 5; }

namespace {

// A leading block number: N, then N, digits and blanks. Only a prefix with
// a digit counts, so a word that merely starts with N stays whole.
std::size_t BlockNumberLength(const std::string& s) {
  if (s.empty() || s[0] != 'N') return 0;
  std::size_t i = 1;
  bool digit = false;
  for (; i < s.size() && (s[i] == 'N' || s[i] == ' ' || std::isdigit(static_cast<unsigned char>(s[i]))); i++)
    digit = digit || std::isdigit(static_cast<unsigned char>(s[i]));
  return digit ? i : 0;
}

std::string Six(unsigned long n) {
  char text[24];
  std::snprintf(text, sizeof text, "%06lu", n);
  return text;
}

}  // namespace

bool Lsv2WriteDripFeedFile(const std::string& program, const std::string& drip, unsigned long firstNumber,
                           long partSize) {
  TMyFile in(program.c_str());
  if (!in.Open(1)) return false;
  TMyFile out(drip.c_str());
  if (!out.Open(0)) return false;

  int lineCounter = 3;
  bool firstPart = true, renumber = false, skipComment = false, skipDigits = false;
  long count = 0;
  unsigned long current = firstNumber;
  while (auto raw = in.ReadLine(0)) {
    if (count > partSize) {
      out.WriteLine(kLsv2PartBreak);
      count = 0;
      lineCounter = 1;
    }
    std::string line = raw.get();
    const std::size_t lead = line.find_first_not_of(" \t");
    if (lead == std::string::npos) continue;
    line.erase(0, lead);
    if (line[0] == '?') {
      skipDigits = true;
      continue;
    }
    // Only the title comment right after the program start is replaced by
    // the part header; a program without one loses no line.
    if (skipComment) {
      skipComment = false;
      if (line[0] == '(') continue;
    }
    if (skipDigits) {
      if (std::isdigit(static_cast<unsigned char>(line[0]))) continue;
      skipDigits = false;
    }
    if (line.compare(0, 2, "&%") == 0) line = "&%" + Six(current);
    if (const std::size_t n = BlockNumberLength(line)) {
      line.erase(0, n);
      if (line.empty()) continue;
    }
    if (renumber) line = "N" + std::to_string(lineCounter++) + " " + line;
    if (line[0] == '%' && firstPart) {
      out.WriteLine("%");
      out.WriteLine(("(&%" + Six(current) + "/000000\"NLP aus %" + Six(current) + ")").c_str());
      current++;
      renumber = skipComment = true;
      continue;
    }
    out.WriteLine(line.c_str());
    count += static_cast<long>(line.size());
    if (firstPart && lineCounter >= 40) {
      count = partSize + 1;
      firstPart = false;
    }
    if (line.find("M30") != std::string::npos) break;
  }
  out.WriteLine("?");
  out.WriteLine("0000");
  out.WriteLine("");
  const bool written = out.FlushBuffer() != 0 && !out.Failed();
  const bool closed = out.Close() != 0;
  return written && closed && !in.Failed();
}

bool TLsv2BlockSource::Open(const std::string& path, bool drip, unsigned long nextPart) {
  Close();
  file_ = plat::create_file(path, plat::Access::read, plat::Share::read_write, plat::Disposition::open_existing);
  drip_ = drip;
  part_ = nextPart;
  return file_.is_open();
}

void TLsv2BlockSource::Close() {
  if (file_.is_open()) plat::close(file_);
  ahead_.clear();
  eof_ = failed_ = done_ = false;
  step_ = 0;
  last_ = '\n';
}

bool TLsv2BlockSource::Fill(std::size_t n) {
  while (ahead_.size() < n && !eof_) {
    char buf[4096];
    const int64_t got = plat::read(file_, buf, sizeof buf);
    if (got < 0) failed_ = true;
    if (got <= 0) {
      eof_ = true;
      break;
    }
    ahead_.append(buf, static_cast<std::size_t>(got));
  }
  return ahead_.size() >= n;
}

TLsv2BlockSource::Block TLsv2BlockSource::Finish(bool failed) {
  done_ = true;
  Block b;
  b.Text = "T FD";
  b.Ends = End::Program;
  b.Failed = failed || failed_;
  return b;
}

// Up to `room` data bytes. In a drip feed a part break ends the data and
// moves on to the part end; in a plain send a '?' line ends the program:
// the two bytes after the '?' and "0000" CR LF close the last block.
std::string TLsv2BlockSource::TakeData(std::size_t room) {
  Fill(room);
  std::string data = ahead_.substr(0, room);
  if (drip_) {
    const std::size_t ff = data.find('\f');
    if (ff == std::string::npos) {
      ahead_.erase(0, data.size());
      return data;
    }
    // The break keeps its CR LF ETX (and the line's CR LF) together even
    // when the read ended inside it.
    Fill(ff + kLsv2PartBreakBytes);
    std::size_t end = ff + 1;
    for (const char c : {'\r', '\n', kLsv2Etx, '\r', '\n'}) {
      if (end < ahead_.size() && ahead_[end] == c)
        end++;
      else
        break;
    }
    ahead_.erase(0, end);
    step_ = 1;
    return data.substr(0, ff);
  }
  for (std::size_t i = 0; i < data.size(); i++) {
    const char before = i ? data[i - 1] : last_;
    if (data[i] != '?' || (before != '\n' && before != '\r')) continue;
    if (i + 3 + 6 > room) {
      // No room for the end: the block stops before the '?', the next
      // one starts with it.
      data.resize(i);
      break;
    }
    Fill(i + 3);
    std::string block = ahead_.substr(0, std::min(ahead_.size(), i + 3)) + "0000\r\n";
    ahead_.clear();
    done_ = true;
    last_ = '\n';
    return block;
  }
  ahead_.erase(0, data.size());
  if (!data.empty()) last_ = data.back();
  return data;
}

TLsv2BlockSource::Block TLsv2BlockSource::Next() {
  if (!file_.is_open() || failed_) return Finish(true);
  if (done_ && step_ == 0) return Finish();
  Block b;
  switch (step_) {
    case 1: {
      char text[80];
      std::snprintf(text, sizeof text, "R PPN9999 L0 %%%lu\r\n\r\n?\r\n0000\r\n", part_);
      part_++;
      b.Text = text;
      if (Fill(1))
        step_ = 2;
      else
        done_ = true, step_ = 0;
      return b;
    }
    case 2:
      b.Text = "T FD";
      b.Ends = End::Part;
      step_ = 3;
      return b;
    case 3: {
      char head[80];
      std::snprintf(head, sizeof head, "R PP%%%lu\r\n(&%%%lu/000000)\r\n", part_ - 1, part_ - 1);
      b.Text = head;
      step_ = 0;
      const std::size_t used = b.Text.size() - 4;
      b.Text += TakeData(kLsv2BlockData > used ? kLsv2BlockData - used : 0);
      return b;
    }
    default:
      break;
  }
  std::string data = TakeData(kLsv2BlockData);
  if (failed_) return Finish(true);
  if (data.empty()) {
    // A break at the very start of the block: the part ends at once.
    if (step_ == 1) return Next();
    return Finish();
  }
  b.Text = "R PP" + data;
  return b;
}
