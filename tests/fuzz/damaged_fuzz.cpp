// Fuzz target: a table the engine wrote (data, memo and index file) damaged
// by the input, then browsed as a user would: open, every record and memo,
// every tag both ways, seeks; once shared and once exclusive. A walk that
// does not end within what the files can hold aborts (libFuzzer reports it);
// the run's memory and time limits turn a blow-up or a stall into a failure.
//
// The input is a list of 4-byte damages: byte 0 picks the file (low two bits:
// data, memo, index) and the kind (bits 2-3: set a byte, flip bits, cut the
// file, put a 32-bit number); bytes 1-2 the offset (modulo the file's
// length); byte 3 the value.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../engine/damaged_walk.h"
#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/memo.h"

namespace {

const char* const kNames[3] = {"T.DBF", "T.DBT", "T.MDX"};

struct Template {
  std::string dir;
  std::vector<unsigned char> files[3];
};

std::vector<unsigned char> slurp(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void spill(const std::string& name, const std::vector<unsigned char>& bytes) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// A healthy table with every kind of tag, a memo field and two-level trees.
Template make_template() {
  Template t;
  char dir[] = "kv_damaged_XXXXXX";  // in the run's own directory, removed with it
  if (!mkdtemp(dir)) std::abort();
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) std::abort();
  t.dir = std::string(cwd) + "/" + dir;
  DbEngine c;
  c.silent_errors = 1;
  static const DbFieldInfo fields[] = {{"NAME", 'C', 60, 0}, {"QTY", 'N', 8, 2},
                                       {"DUE", 'D', 8, 0},   {"DONE", 'L', 1, 0},
                                       {"NOTE", 'M', 10, 0}, {nullptr, 0, 0, 0}};
  static const DbTagInfo tags[] = {{"NAME", "NAME", nullptr, 0, 0},
                                   {"QTY", "QTY", nullptr, 0, 1},
                                   {"DUE", "DUE", "DONE", 0, 0},
                                   {"UNAME", "UPPER(NAME)+DTOS(DUE)", nullptr, 20, 0},
                                   {nullptr, nullptr, nullptr, 0, 0}};
  std::string dbf = t.dir + "/" + kNames[0];
  DbDataFile* d = data_create(&c, dbf.c_str(), fields, tags);
  if (!d) {
    std::fprintf(stderr, "template: create failed (%d)\n", code_error_get(&c));
    std::abort();
  }
  for (int i = 0; i < 60; i++) {
    data_append_start(d, 0);
    data_blank(d);
    char name[16], due[16];
    std::snprintf(name, sizeof name, "P%05d", (i * 37) % 50);
    std::snprintf(due, sizeof due, "2024%02d%02d", 1 + i % 12, 1 + i % 28);
    field_assign(data_field_named(d, "NAME"), name);
    field_assign_double(data_field_named(d, "QTY"), (i % 50) / 4.0);
    field_assign(data_field_named(d, "DUE"), i % 9 ? due : "");
    field_assign(data_field_named(d, "DONE"), i % 3 ? "T" : "F");
    if (i % 4 == 0) memo_field_assign(data_field_named(d, "NOTE"), name, unsigned(std::strlen(name)));
    if (data_append(d) != 0) std::abort();
  }
  if (data_close(d) != 0) std::abort();
  for (int f = 0; f < 3; f++) t.files[f] = slurp(t.dir + "/" + kNames[f]);
  return t;
}

Template& templ() {
  static Template* t = new Template(make_template());
  return *t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Template& t = templ();
  std::vector<unsigned char> files[3] = {t.files[0], t.files[1], t.files[2]};
  for (size_t i = 0; i + 4 <= size; i += 4) {
    int which = data[i] & 3;
    auto& f = files[which == 3 ? 2 : which];
    if (f.empty()) continue;
    size_t at = (size_t(data[i + 1]) | size_t(data[i + 2]) << 8) % f.size();
    unsigned char v = data[i + 3];
    switch ((data[i] >> 2) & 3) {
      case 0: f[at] = v; break;
      case 1: f[at] ^= v ? v : 0x80; break;
      case 2: f.resize(at); break;
      case 3:
        for (int k = 0; k < 4 && at + k < f.size(); k++) f[at + k] = k == 0 ? v : (v & 0x80 ? 0xFF : 0);
        break;
    }
  }
  for (int f = 0; f < 3; f++) spill(t.dir + "/" + kNames[f], files[f]);
  // One context for the whole run, as the program has: every context leaves
  // its per-thread state behind.
  static DbEngine* c = new DbEngine;
  for (int exclusive = 0; exclusive < 2; exclusive++) {
    c->silent_errors = 1;
    c->exclusive = exclusive;
    kvdamaged::Outcome o = kvdamaged::exercise(c, t.dir + "/" + kNames[0]);
    if (o.endless) {
      std::fprintf(stderr, "walk %s did not end after %ld steps (exclusive %d)\n", o.where.c_str(),
                   o.steps, exclusive);
      std::abort();
    }
  }
  return 0;
}
