// A small table with a field of every type the expression language reads,
// in its own temporary directory, and helpers to parse, evaluate and show
// values as text.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "engine/convert.h"
#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/expr.h"
#include "engine/memo.h"

class ExprTest : public ::testing::Test {
 protected:
    DbEngine ctx;
    std::filesystem::path dir;
    DbDataFile* d = nullptr;

    void SetUp() override {
        ctx.silent_errors = 1;
        char tmpl[] = "/tmp/kv_expr_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        static const DbFieldInfo fields[] = {
            {"NAME", 'C', 10, 0}, {"CODE", 'C', 3, 0}, {"QTY", 'N', 8, 2},
            {"PRICE", 'F', 10, 3}, {"DUE", 'D', 8, 0}, {"DONE", 'L', 1, 0},
            {"NOTE", 'M', 10, 0}, {"PIC", 'G', 10, 0}, {nullptr, 0, 0, 0}};
        d = data_create(&ctx, (dir / "PARTS.DBF").c_str(), fields, nullptr);
        ASSERT_NE(d, nullptr) << code_error_get(&ctx);
        set_record("ABCDEF", "XY", "12.50", "20240229", "T");
    }

    void TearDown() override {
        code_close_all(&ctx);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    void set(const char* field, const char* value) {
        DbField* f = data_field_named(d, field);
        ASSERT_NE(f, nullptr) << field;
        if (f->type == 'N') {
            field_assign_double(f, std::strtod(value, nullptr));
            if (!*value) field_blank(f);
        } else {
            field_assign(f, value);
        }
    }

    void set_record(const char* name, const char* code, const char* qty, const char* due,
                    const char* done) {
        set("NAME", name);
        set("CODE", code);
        set("QTY", qty);
        set("DUE", due);
        set("DONE", done);
    }

    // Parses; on failure the pending error is taken out and returned.
    DbExpr* parse(const std::string& text, int* error = nullptr) {
        DbExpr* e = expr_parse(d, text.c_str());
        int code = code_error_set(&ctx, 0);
        if (error) *error = code;
        return e;
    }

    // The value of an expression shown as text: characters as they are
    // (NUL shown as '~'), numbers and julian days with %g, logicals T/F.
    std::string show(const std::string& text) {
        int err = 0;
        DbExpr* e = parse(text, &err);
        if (!e) return "parse error " + std::to_string(err);
        char* v = nullptr;
        int len = expr_eval(e, &v);
        std::string out;
        if (len < 0) {
            out = "eval error";
        } else {
            out = render(v, len, expr_type(e));
        }
        expr_free(e);
        return out;
    }

    static std::string render(const char* v, int len, int type) {
        char buf[64];
        switch (type) {
            case 'n':
            case 'd': {
                double x;
                std::memcpy(&x, v, 8);
                std::snprintf(buf, sizeof buf, "%g", x);
                return buf;
            }
            case 'L': {
                int32_t x;
                std::memcpy(&x, v, 4);
                return x ? "T" : "F";
            }
            default: {
                std::string s(v, size_t(len));
                for (char& c : s)
                    if (c == '\0') c = '~';
                return s;
            }
        }
    }
};
