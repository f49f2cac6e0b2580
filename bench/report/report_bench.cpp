// The report engine over 10,000 sales rows (eight columns) in three groups
// (region, branch, representative), each with a total of the amounts in
// its footer, the rows in a group of their own:
// - printed to PDF, beside groff setting the same rows, group lines and
//   totals as a table (tbl piped into groff -Tpdf, its fastest way from
//   text to PDF); both PDFs are read back with pdftotext and must show
//   the same amounts and totals in the same order;
// - written to a dBASE table, one record a row, beside python3-dbf writing
//   the same 10,000 records; both tables are read back with dbfread and
//   must hold the same records.
// Compare the medians: the goal is at most the peer's time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bench/outputs.h"
#include "platform/ui/print.h"
#include "report/report.h"

namespace {

constexpr int kRows = 10000;

std::string Dir() { return (kvbench::scratch_root() / "kv_bench_report").string(); }

std::string Shell(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen(command.c_str(), "r"), pclose);
  std::string out;
  char buf[8192];
  size_t n;
  while (p && (n = fread(buf, 1, sizeof buf, p.get())) > 0) out.append(buf, n);
  return out;
}

struct Row {
  std::string region, branch, rep, item;
  long ordno, qty;
  double price, amount;
};

// Rows in group order: 4 regions, 5 branches each, 10 representatives
// each, 50 rows each.
const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = [] {
    std::vector<Row> out;
    for (int i = 0; i < kRows; i++) {
      Row r;
      r.region = "R" + std::to_string(i / 2500);
      r.branch = "B" + std::to_string(i / 500);
      r.rep = "REP" + std::to_string(i / 50);
      r.item = "ITEM" + std::to_string(i % 97);
      r.ordno = 100000 + i;
      r.qty = 1 + i % 23;
      r.price = 1.25 + (i % 89) * 0.75;
      r.amount = r.qty * r.price;
      out.push_back(r);
    }
    return out;
  }();
  return rows;
}

const DbFieldInfo kFields[] = {{"REGION", 'C', 4, 0}, {"BRANCH", 'C', 6, 0},  {"REP", 'C', 8, 0},
                               {"ORDNO", 'N', 8, 0},  {"ITEM", 'C', 12, 0},   {"QTY", 'N', 6, 0},
                               {"PRICE", 'N', 10, 2}, {"AMOUNT", 'N', 12, 2}, {nullptr, 0, 0, 0}};

std::string Money(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.2f", v);
  return b;
}

// The sales table and the report over it, made once.
struct Sales {
  DbEngine ctx;
  DbDataFile* data = nullptr;
  DbReport* report = nullptr;
  DbReportGroup* row_group = nullptr;
  std::vector<DbReportObject*> columns;

  Sales() {
    std::filesystem::create_directories(Dir());
    std::filesystem::remove(Dir() + "/SALES.DBF");
    data = data_create(&ctx, (Dir() + "/SALES.DBF").c_str(), kFields, nullptr);
    data_lock_file(data);
    for (const Row& r : Rows()) {
      data_append_start(data, 0);
      field_assign(data_field_at(data, 1), r.region.c_str());
      field_assign(data_field_at(data, 2), r.branch.c_str());
      field_assign(data_field_at(data, 3), r.rep.c_str());
      field_assign_long(data_field_at(data, 4), r.ordno);
      field_assign(data_field_at(data, 5), r.item.c_str());
      field_assign_long(data_field_at(data, 6), r.qty);
      field_assign_double(data_field_at(data, 7), r.price);
      field_assign_double(data_field_at(data, 8), r.amount);
      data_append(data);
    }
    data_flush(data);
    data_unlock(data);
    report = report_create(relate_init(data));
    Layout();
  }

  DbReportArea* Band(DbReportGroup* g, bool header) { return area_create(g, 180, header ? 1 : 0, nullptr); }

  void Layout() {
    // Created innermost first: each new group is the outermost so far.
    row_group = group_create(report, "Row", nullptr);
    struct Level {
      const char* name;
      const char* reset;
      const char* field;
    } levels[] = {{"Rep", "REGION + BRANCH + REP", "REP"},
                  {"Branch", "REGION + BRANCH", "BRANCH"},
                  {"Region", "REGION", "REGION"}};
    for (const Level& l : levels) {
      DbReportGroup* g = group_create(report, l.name, l.reset);
      DbReportArea* head = Band(g, true);
      obj_text_create(head, l.name, 0, 0, 900, 180);
      obj_field_create(head, data_field_named(data, l.field), 1000, 0, 1500, 180);
      DbReportArea* foot = Band(g, false);
      obj_text_create(foot, "Total", 0, 0, 900, 180);
      std::string name = std::string("SUM") + l.field;
      DbReportTotal* t = total_create(report, name.c_str(), "AMOUNT", DB_TOTAL_SUM, l.reset);
      DbReportObject* o = obj_total_create(foot, t, 6500, 0, 1500, 180);
      obj_decimals_set(o, 2);
    }
    DbReportArea* row = Band(row_group, true);
    long x = 0;
    const long widths[] = {600, 800, 900, 900, 1200, 600, 1100, 1300};
    for (int i = 0; i < 8; i++) {
      DbReportObject* o = obj_field_create(row, data_field_at(data, i + 1), x, 0, widths[i], 180);
      columns.push_back(o);
      x += widths[i];
    }
    report_separator_set(report, 0);
    report_toScreen(report, 0);
    const char* types = "CCCNCNNN";
    const int lens[] = {4, 6, 8, 8, 12, 6, 10, 12}, decs[] = {0, 0, 0, 0, 0, 0, 2, 2};
    for (int i = 0; i < 8; i++)
      obj_output_field_set(columns[size_t(i)], field_name(data_field_at(data, i + 1)), types[i], lens[i], decs[i]);
    report_output_group_set(report, row_group);
  }
};

Sales& TheSales() {
  static Sales s;
  return s;
}

// ---- printing ----

std::string PdfDir() { return Dir() + "/pdf"; }

std::string LatestPdf() {
  std::string newest;
  auto when = std::filesystem::file_time_type::min();
  for (const auto& e : std::filesystem::directory_iterator(PdfDir()))
    if (e.path().extension() == ".pdf" && e.last_write_time() >= when) {
      when = e.last_write_time();
      newest = e.path().string();
    }
  return newest;
}

// The groff table: the same lines the report prints, totals included.
std::string GroffSource() {
  static const std::string path = [] {
    std::string p = Dir() + "/sales.tr";
    std::ofstream out(p);
    out << ".TS\nl l l r l r r r.\n";
    const auto& rows = Rows();
    auto foot = [&](double sum) { out << "Total\t\t\t\t\t\t\t" << Money(sum) << "\n"; };
    double sums[3] = {0, 0, 0};
    for (size_t i = 0; i < rows.size(); i++) {
      const Row& r = rows[i];
      bool region = i == 0 || r.region != rows[i - 1].region;
      bool branch = region || r.branch != rows[i - 1].branch;
      bool rep = branch || r.rep != rows[i - 1].rep;
      if (region) out << "Region\t" << r.region << "\n";
      if (branch) out << "Branch\t" << r.branch << "\n";
      if (rep) out << "Rep\t" << r.rep << "\n";
      out << r.region << "\t" << r.branch << "\t" << r.rep << "\t" << r.ordno << "\t" << r.item << "\t" << r.qty
          << "\t" << Money(r.price) << "\t" << Money(r.amount) << "\n";
      for (double& s : sums) s += r.amount;
      bool last = i + 1 == rows.size();
      bool rep_end = last || rows[i + 1].rep != r.rep;
      bool branch_end = last || rows[i + 1].branch != r.branch;
      bool region_end = last || rows[i + 1].region != r.region;
      if (rep_end) foot(sums[0]), sums[0] = 0;
      if (branch_end) foot(sums[1]), sums[1] = 0;
      if (region_end) foot(sums[2]), sums[2] = 0;
    }
    out << ".TE\n";
    return p;
  }();
  return path;
}

// The amounts a PDF shows, in order.
std::vector<std::string> Amounts(const std::string& pdf) {
  std::string text = Shell("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  std::vector<std::string> out;
  static const std::regex money(R"(\b\d+\.\d\d\b)");
  for (std::sregex_iterator it(text.begin(), text.end(), money), end; it != end; ++it) out.push_back(it->str());
  return out;
}

void BM_ReportToPdf(benchmark::State& state) {
  Sales& s = TheSales();
  TPrintSetup setup = plat::default_print_setup();
  setup.OutputDir = PdfDir();
  setup.PaperWidthMm = 216;
  setup.PaperHeightMm = 279;
  plat::set_default_print_setup(setup);
  for (auto _ : state)
    if (report_output(s.report) != 0) kvbench::fail(state, "printing failed");
  std::string ours = LatestPdf();
  std::string peer = Dir() + "/groff.pdf";
  Shell("tbl " + GroffSource() + " | groff -Tpdf > " + peer);
  auto a = Amounts(ours), b = Amounts(peer);
  state.counters["pages"] = double(std::stoi(Shell("pdfinfo " + ours + " | awk '/^Pages:/ {print $2}'")));
  if (a.size() < size_t(2 * kRows) || a != b) kvbench::fail(state, "the PDFs show different amounts");
}

void BM_GroffTblToPdf(benchmark::State& state) {
  std::string src = GroffSource();
  std::string cmd = "tbl " + src + " | groff -Tpdf > " + Dir() + "/groff.pdf";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) kvbench::fail(state, "groff failed");
  state.counters["pages"] =
      double(std::stoi(Shell("pdfinfo " + Dir() + "/groff.pdf | awk '/^Pages:/ {print $2}'")));
}

// ---- the data file ----

std::string CsvSource() {
  static const std::string path = [] {
    std::string p = Dir() + "/sales.csv";
    std::ofstream out(p);
    for (const Row& r : Rows())
      out << r.region << "," << r.branch << "," << r.rep << "," << r.ordno << "," << r.item << "," << r.qty << ","
          << Money(r.price) << "," << Money(r.amount) << "\n";
    return p;
  }();
  return path;
}

const char* kPeerWriter = R"(import csv, dbf, sys
t = dbf.Table(sys.argv[2], 'REGION C(4); BRANCH C(6); REP C(8); ORDNO N(8,0); ITEM C(12); QTY N(6,0); PRICE N(10,2); AMOUNT N(12,2)', dbf_type='db3')
t.open(dbf.READ_WRITE)
with open(sys.argv[1]) as f:
    for r in csv.reader(f):
        t.append((r[0], r[1], r[2], int(r[3]), r[4], int(r[5]), float(r[6]), float(r[7])))
t.close()
)";

std::string ReadBack(const std::string& file) {
  return Shell("/usr/bin/python3 -c \"import dbfread, sys\nfor r in dbfread.DBF(sys.argv[1]): "
               "print('|'.join(str(v).strip() for v in r.values()))\" '" + file + "' 2>&1");
}

void BM_ReportToDataFile(benchmark::State& state) {
  Sales& s = TheSales();
  std::string out = Dir() + "/OURS.DBF";
  report_output_file_set(s.report, out.c_str());
  for (auto _ : state) {
    std::filesystem::remove(out);
    if (report_data_file(s.report) != 0) kvbench::fail(state, "generation failed");
  }
  std::string peer = Dir() + "/peer.dbf";
  std::filesystem::remove(peer);
  std::ofstream(Dir() + "/write.py") << kPeerWriter;
  Shell("/usr/bin/python3 " + Dir() + "/write.py " + CsvSource() + " " + peer);
  std::string a = ReadBack(out), b = ReadBack(peer);
  if (std::count(a.begin(), a.end(), '\n') != kRows || a != b) kvbench::fail(state, "the tables differ");
}

void BM_PythonDbfWrite(benchmark::State& state) {
  std::string peer = Dir() + "/peer.dbf";
  std::ofstream(Dir() + "/write.py") << kPeerWriter;
  std::string cmd = "/usr/bin/python3 " + Dir() + "/write.py " + CsvSource() + " " + peer;
  for (auto _ : state) {
    std::filesystem::remove(peer);
    if (std::system(cmd.c_str()) != 0) kvbench::fail(state, "python3-dbf failed");
  }
}

KV_BENCHMARK(BM_ReportToPdf, 5)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
KV_BENCHMARK(BM_GroffTblToPdf, 5)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
KV_BENCHMARK(BM_ReportToDataFile, 5)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
KV_BENCHMARK(BM_PythonDbfWrite, 5)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return kvbench::main(argc, argv); }
