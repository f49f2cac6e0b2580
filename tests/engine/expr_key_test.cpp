// Index keys: numeric keys are packed decimals that sort like the numbers,
// date keys are julian days as doubles with blank dates after every date,
// character keys of trimmed expressions end in blanks.
#include "tests/engine/expr_fixture.h"

#include <algorithm>
#include <vector>

namespace {

std::string key_of(DbExpr* e) {
    char* k = nullptr;
    int len = expr_key_eval(e, &k);
    if (len < 0) return "error";
    EXPECT_EQ(k[len], '\0');
    return std::string(k, size_t(len));
}

std::string packed(const char* text) {
    unsigned char p[DB_PACKED_LEN];
    packed_from_str(p, text, int(std::strlen(text)));
    return std::string(reinterpret_cast<char*>(p), DB_PACKED_LEN);
}

int compare(const std::string& a, const std::string& b) {
    return packed_compare(reinterpret_cast<const unsigned char*>(a.data()),
                          reinterpret_cast<const unsigned char*>(b.data()));
}

std::string as_bytes(double v) { return std::string(reinterpret_cast<char*>(&v), 8); }

}  // namespace

TEST_F(ExprTest, KeyLengths) {
    struct Case { const char* text; int len; };
    const Case cases[] = {{"NAME", 10}, {"QTY", 12}, {"QTY * 2", 12}, {"DUE", 8},
                          {"DUE + 1", 8}, {"DONE", 4}, {"NAME + CODE", 13}};
    for (const Case& c : cases) {
        DbExpr* e = parse(c.text);
        ASSERT_NE(e, nullptr) << c.text;
        EXPECT_EQ(expr_key_len(e), c.len) << c.text;
        EXPECT_EQ(int(key_of(e).size()), c.len) << c.text;
        expr_free(e);
    }
}

TEST_F(ExprTest, NumericKeysArePackedDecimalsInNumericOrder) {
    DbExpr* field = parse("QTY");
    DbExpr* computed = parse("QTY * 1");
    ASSERT_NE(field, nullptr);
    ASSERT_NE(computed, nullptr);
    const char* values[] = {"-5.25", "-0.5", "0", "0.01", "0.5", "1", "9.99", "12.5", "99.5", "100"};
    std::vector<std::string> keys;
    for (const char* v : values) {
        set("QTY", v);
        DbField* qty = data_field_named(d, "QTY");
        std::string stored(d->record + qty->offset, qty->len);
        std::string k = key_of(field);
        EXPECT_EQ(k, packed(stored.c_str())) << v;
        EXPECT_EQ(compare(key_of(computed), k), 0) << v;
        keys.push_back(k);
    }
    for (size_t i = 1; i < keys.size(); ++i)
        EXPECT_LT(compare(keys[i - 1], keys[i]), 0)
            << values[i - 1] << " < " << values[i];
    expr_free(field);
    expr_free(computed);
}

TEST_F(ExprTest, ExtremeNumbersStillMakeKeys) {
    for (const char* text : {"2 ^ 2000", "0 - 2 ^ 2000", "1 / (2 ^ 2000)", "10 ^ 100", "10 ^ -100", "0 / 0"}) {
        DbExpr* e = parse(text);
        ASSERT_NE(e, nullptr) << text;
        EXPECT_EQ(key_of(e).size(), size_t(DB_PACKED_LEN)) << text;
        expr_free(e);
    }
}

TEST_F(ExprTest, DateKeysAreJulianDoubles) {
    struct Case { const char* text; const char* due; double key; };
    const Case cases[] = {
        {"DUE", "20240229", 2460370},      {"DUE", "", 1.0e100},
        {"DUE + 1", "20240229", 2460371},  {"DUE + 1", "", 1.0e300},
        {"STOD('20000101')", "", 2451545}, {"DUE - 0", "19991231", 2451544},
    };
    for (const Case& c : cases) {
        set("DUE", c.due);
        DbExpr* e = parse(c.text);
        ASSERT_NE(e, nullptr) << c.text;
        EXPECT_EQ(key_of(e), as_bytes(c.key)) << c.text << " " << c.due;
        expr_free(e);
    }
}

TEST_F(ExprTest, BlankDateKeySortsAfterEveryDate) {
    DbExpr* e = parse("DUE");
    ASSERT_NE(e, nullptr);
    std::vector<double> keys;
    for (const char* due : {"00010101", "20240229", "99991231", ""}) {
        set("DUE", due);
        double v;
        std::memcpy(&v, key_of(e).data(), 8);
        keys.push_back(v);
    }
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_LT(keys[2], keys[3]);
    expr_free(e);
}

TEST_F(ExprTest, CharacterKeys) {
    struct Case { const char* text; const char* key; };
    const Case cases[] = {
        {"NAME", "ABCDEF    "},
        {"TRIM(NAME) + CODE", "ABCDEFXY     "},
        {"UPPER(LTRIM('  ab'))", "AB  "},
        {"NAME + STR(QTY, 6, 1)", "ABCDEF      12.5"},
        {"DTOS(DUE) + CODE", "20240229XY "},
    };
    for (const Case& c : cases) {
        DbExpr* e = parse(c.text);
        ASSERT_NE(e, nullptr) << c.text;
        EXPECT_EQ(key_of(e), c.key) << c.text;
        expr_free(e);
    }
}

TEST_F(ExprTest, KeyOfAGivenValue) {
    DbExpr* e = parse("NAME");
    ASSERT_NE(e, nullptr);
    char text[] = "  -12.5";
    char* v = text;
    DbLock hold(&ctx);
    ASSERT_EQ(expr_key(e, &v, 7, 'N'), DB_PACKED_LEN);
    EXPECT_EQ(std::string(v, DB_PACKED_LEN), packed("-12.5"));
    char date[] = "20240229";
    v = date;
    ASSERT_EQ(expr_key(e, &v, 8, 'D'), 8);
    EXPECT_EQ(std::string(v, 8), as_bytes(2460370));
    expr_free(e);
}
