// Fuzz target: arbitrary texts parsed as expressions against a table with a
// field of every type (and a second table reached by alias); whatever
// parses (named calculations included) is evaluated, read as a logical and a double, and turned into a key.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/expr.h"
#include "engine/memo.h"

namespace {

struct Tables {
    DbEngine ctx;
    DbDataFile* parts = nullptr;
    DbDataFile* other = nullptr;

    Tables() {
        ctx.silent_errors = 1;
        char dir[] = "/tmp/kv_fuzz_XXXXXX";
        if (!mkdtemp(dir)) std::abort();
        static const DbFieldInfo fields[] = {
            {"NAME", 'C', 10, 0}, {"CODE", 'C', 3, 0}, {"QTY", 'N', 8, 2},
            {"PRICE", 'F', 12, 4}, {"DUE", 'D', 8, 0}, {"DONE", 'L', 1, 0},
            {"NOTE", 'M', 10, 0}, {"PIC", 'G', 10, 0}, {"BIN", 'B', 10, 0},
            {"LONG_NAME", 'C', 300, 0}, {nullptr, 0, 0, 0}};
        static const DbFieldInfo other_fields[] = {
            {"NAME", 'C', 4, 0}, {"WHEN", 'D', 8, 0}, {nullptr, 0, 0, 0}};
        parts = data_create(&ctx, (std::string(dir) + "/PARTS.DBF").c_str(), fields, nullptr);
        other = data_create(&ctx, (std::string(dir) + "/OTHER.DBF").c_str(), other_fields, nullptr);
        if (!parts || !other) std::abort();
        field_assign(data_field_named(parts, "NAME"), "Abc def");
        field_assign(data_field_named(parts, "CODE"), "X1");
        field_assign_double(data_field_named(parts, "QTY"), -12.5);
        field_assign(data_field_named(parts, "DUE"), "20240229");
        field_assign(data_field_named(parts, "DONE"), "T");
        const char* memo = "a memo text longer than nothing";
        memo_field_assign(data_field_named(parts, "NOTE"), memo, unsigned(std::strlen(memo)));
        field_assign(data_field_named(other, "NAME"), "zz");
        if (data_append(parts) != 0 || data_append(other) != 0) std::abort();
        // Two named calculations, so calls of them are fuzzed as well.
        static DbCalc calcs[2];
        const char* named[2][2] = {{"DBL", "QTY * 2"}, {"NM", "TRIM(NAME) + CODE"}};
        for (int i = 0; i < 2; ++i) {
            calcs[i].context = &ctx;
            calcs[i].expr = expr_parse(parts, named[i][1]);
            if (!calcs[i].expr) std::abort();
            std::strcpy(calcs[i].name, named[i][0]);
            list_add(&ctx.calc_list, &calcs[i]);
        }
    }
};

Tables& tables() {
    static Tables* t = new Tables;  // lives for the whole run
    return *t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Tables& t = tables();
    std::string text(reinterpret_cast<const char*>(data), size);
    // The second table's date is blank or not, so blank-date paths run too.
    field_assign(data_field_named(t.other, "WHEN"), size % 2 ? "19991231" : "");
    DbExpr* e = expr_parse(t.parts, text.c_str());
    code_error_set(&t.ctx, 0);
    if (e) {
        char* v = nullptr;
        expr_eval(e, &v);
        expr_true(e);
        code_error_set(&t.ctx, 0);
        expr_double(e);
        expr_key_eval(e, &v);
        code_error_set(&t.ctx, 0);
        expr_free(e);
    }
    return 0;
}
