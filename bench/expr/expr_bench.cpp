// Expression evaluation per record: a typical list filter, and the key of a
// character and a numeric tag. Parsing is once per filter, so it is measured
// apart.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/expr.h"

namespace {

struct Table {
    DbEngine ctx;
    DbDataFile* d = nullptr;
    std::string dir;

    Table() {
        ctx.silent_errors = 1;
        char tmpl[] = "/tmp/kv_expr_bench_XXXXXX";
        if (!mkdtemp(tmpl)) std::abort();
        dir = tmpl;
        static const DbFieldInfo fields[] = {{"DESC", 'C', 40, 0}, {"CUST", 'N', 10, 0},
                                             {"DUE", 'D', 8, 0}, {nullptr, 0, 0, 0}};
        d = data_create(&ctx, (dir + "/PROGS.DBF").c_str(), fields, nullptr);
        if (!d) std::abort();
        field_assign(data_field_named(d, "DESC"), "shaft flange, second operation");
        field_assign_long(data_field_named(d, "CUST"), 4711);
        field_assign(data_field_named(d, "DUE"), "20240229");
    }
    ~Table() {
        code_close_all(&ctx);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

void run(benchmark::State& state, const char* text, bool key) {
    Table t;
    DbExpr* e = expr_parse(t.d, text);
    if (!e) std::abort();
    char* v = nullptr;
    for (auto _ : state) {
        int n = key ? expr_key_eval(e, &v) : expr_eval(e, &v);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(v);
    }
    expr_free(e);
}

void BM_Filter(benchmark::State& s) {
    run(s, "'FLANGE' $ UPPER(DESC) .AND. CUST = 4711 .AND. DUE > STOD('20240101')", false);
}
void BM_CharacterKey(benchmark::State& s) { run(s, "UPPER(TRIM(DESC)) + DTOS(DUE)", true); }
void BM_NumericKey(benchmark::State& s) { run(s, "CUST", true); }

void BM_Parse(benchmark::State& state) {
    Table t;
    for (auto _ : state) {
        DbExpr* e = expr_parse(t.d, "'FLANGE' $ UPPER(DESC) .AND. CUST = 4711 .AND. DUE > DATE() - 30");
        benchmark::DoNotOptimize(e);
        expr_free(e);
    }
}

}  // namespace

BENCHMARK(BM_Filter);
BENCHMARK(BM_CharacterKey);
BENCHMARK(BM_NumericKey);
BENCHMARK(BM_Parse);
BENCHMARK_MAIN();
