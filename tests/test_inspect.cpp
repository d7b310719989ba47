// Validation, statistics, search, flattening and formatting through the
// public interface, with deep-document robustness and the CLI commands.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <cstring>
#include <string>
#include <vector>

#include "je_test_util.h"
#include "quendral/jsonengine.h"

namespace {

void load(const std::string &text) { ASSERT_EQ(json_parse(text.c_str()), 0) << json_last_error(); }

// ---- validation ------------------------------------------------------------

std::string row(const char *rule, bool ok, const std::string &detail, int line, int col) {
    return std::string("{\"rule\":\"") + rule + "\",\"ok\":" + (ok ? "true" : "false") + ",\"detail\":\"" +
           (ok ? "" : detail) + "\",\"line\":" + std::to_string(line) + ",\"col\":" + std::to_string(col) + "}";
}

// The report of a text that was read, with the two rules that can fail.
std::string read_report(bool dup_ok, bool depth_ok) {
    return "[" + row("syntax", true, "", 0, 0) + "," + row("root", true, "", 0, 0) + "," +
           row("trailing", true, "", 1, 1) + "," + row("duplicate-keys", dup_ok, "duplicate object key", 0, 0) + "," +
           row("number-range", true, "", 0, 0) + "," + row("depth", depth_ok, "nesting deeper than 512", 0, 0) + "]";
}

std::string unread_report(const std::string &detail, int line, int col) {
    return "[" + row("syntax", false, detail, line, col) + "," + row("root", true, "", 0, 0) + "," +
           row("trailing", true, "", 0, 0) + "," + row("duplicate-keys", true, "", 0, 0) + "," +
           row("number-range", true, "", 0, 0) + "," + row("depth", true, "", 0, 0) + "]";
}

// {"k0":0,...} with n members named by keys(i).
std::string wide_object(int n, const std::function<std::string(int)> &keys) {
    std::string s = "{";
    for (int i = 0; i < n; ++i) s += (i ? ",\"" : "\"") + keys(i) + "\":" + std::to_string(i);
    return s + "}";
}

struct validate_case {
    const char *name;
    std::string text;
    std::string error;  // "" when valid
    std::string report;
};

TEST(Validate, ReportsAndErrors) {
    const std::string deep513 = je_nested(513, "[", "]");
    const std::string key300(300, 'k');
    const validate_case cases[] = {
        {"valid", "{\"a\":[1,2.5,\"x\",null,true]}", "", read_report(true, true)},
        {"whitespace after the value", " \t[1]\r\n ", "", read_report(true, true)},
        {"scalar root", "42", "", read_report(true, true)},
        {"empty text", "", "invalid JSON: input length is 0 (line 1 col 1)", unread_report("input length is 0", 1, 1)},
        {"content after the value", "{\"a\":1}x", "invalid JSON: unexpected content after document (line 1 col 8)",
         unread_report("unexpected content after document", 1, 8)},
        {"trailing comma on line 2", "[1,\n  2,]", "invalid JSON: trailing comma is not allowed (line 2 col 4)",
         unread_report("trailing comma is not allowed", 2, 4)},
        {"NaN at position 0", "NaN", "invalid JSON: unexpected character, expected a JSON value (line 1 col 1)",
         unread_report("unexpected character, expected a JSON value", 1, 1)},
        {"number beyond a double", "[1e999]", "invalid JSON: number is infinity when parsed as double (line 1 col 2)",
         unread_report("number is infinity when parsed as double", 1, 2)},
        {"duplicate", "{\"a\":1,\"a\":2}", "duplicate key: a", read_report(false, true)},
        {"parent key tested before its value", "{\"x\":{\"y\":1,\"y\":2},\"x\":3}", "duplicate key: x",
         read_report(false, true)},
        {"child found before a later parent duplicate", "{\"x\":{\"y\":1,\"y\":2},\"z\":3,\"z\":4}", "duplicate key: y",
         read_report(false, true)},
        {"first key in member order", "{\"a\":1,\"b\":2,\"b\":3,\"a\":4}", "duplicate key: a",
         read_report(false, true)},
        {"equal keys in different objects", "[{\"k\":1},{\"k\":2},{\"o\":{\"k\":3}}]", "", read_report(true, true)},
        {"keys equal up to a NUL", "{\"a\\u0000b\":1,\"a\\u0000c\":2}", "duplicate key: a", read_report(false, true)},
        {"long duplicate key cut to 255", "{\"" + key300 + "\":1,\"" + key300 + "\":2}",
         "duplicate key: " + key300.substr(0, 255), read_report(false, true)},
        {"first duplicate in a large object",
         wide_object(100, [](int i) { return "z" + std::to_string(i == 99   ? 60
                                                                  : i == 98 ? 30
                                                                            : i); }),
         "duplicate key: z30", read_report(false, true)},
        {"511 members checked", wide_object(511, [](int i) { return "k" + std::to_string(i == 510 ? 0 : i); }),
         "duplicate key: k0", read_report(false, true)},
        {"512 members not checked", wide_object(512, [](int i) { return "k" + std::to_string(i == 511 ? 0 : i); }), "",
         read_report(true, true)},
        {"512 empty arrays", je_nested(512, "[", "]"), "", read_report(true, true)},
        {"number at level 512", je_nested(511, "[", "]", "1"), "", read_report(true, true)},
        {"number at level 513", je_nested(512, "[", "]", "1"), "nesting exceeds 512 levels", read_report(true, false)},
        {"513 empty arrays", deep513, "nesting exceeds 512 levels", read_report(true, false)},
        {"513 levels of objects", je_nested(512, "{\"a\":", "}", "{}"), "nesting exceeds 512 levels",
         read_report(true, false)},
        {"too deep, then duplicate", "[" + deep513 + ",{\"a\":1,\"a\":2}]", "duplicate key: a",
         read_report(false, false)},
        {"nothing walked after the duplicate", "[{\"a\":1,\"a\":2}," + deep513 + "]", "duplicate key: a",
         read_report(false, true)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(json_validate(c.text.c_str()), c.error.empty() ? 0 : -1);
        EXPECT_EQ(json_last_error(), c.error);
        EXPECT_EQ(json_validate_report_json(), c.report);
    }
}

TEST(Validate, NullTextAndDocumentUntouched) {
    load("{\"b\":1,\"a\":2}");
    EXPECT_EQ(json_validate(nullptr), -1);
    EXPECT_STREQ(json_last_error(), "null input");
    EXPECT_EQ(json_validate_report_json(),
              "[" + row("syntax", false, "null input", 1, 1) + "," + row("root", true, "", 0, 0) + "," +
                  row("trailing", true, "", 0, 0) + "," + row("duplicate-keys", true, "", 0, 0) + "," +
                  row("number-range", true, "", 0, 0) + "," + row("depth", true, "", 0, 0) + "]");
    EXPECT_EQ(json_validate("[1]"), 0);
    EXPECT_STREQ(json_format("minify"), "{\"b\":1,\"a\":2}");
    // The report survives other calls until the next validation.
    std::string report = json_validate_report_json();
    load("[]");
    json_search(nullptr, "x");
    EXPECT_EQ(json_validate_report_json(), report);
}

// ---- no document, first state (a fresh copy of the shared library) --------

TEST(Inspect, FreshLibraryWithoutDocument) {
    std::string why;
    void *lib = je_lib_load(&why);
    ASSERT_NE(lib, nullptr) << why;
    auto sym = [&](const char *name) {
        void *p = je_lib_sym(lib, name);
        EXPECT_NE(p, nullptr) << name;
        return p;
    };
    auto last_error = reinterpret_cast<const char *(*)()>(sym("json_last_error"));
    auto validate = reinterpret_cast<int (*)(const char *)>(sym("json_validate"));
    auto report = reinterpret_cast<const char *(*)()>(sym("json_validate_report_json"));
    auto stats = reinterpret_cast<const char *(*)()>(sym("json_stats_json"));
    auto search = reinterpret_cast<int (*)(const char *, const char *)>(sym("json_search"));
    auto search_count = reinterpret_cast<int (*)()>(sym("json_search_count"));
    auto search_field = reinterpret_cast<const char *(*)(int, const char *)>(sym("json_search_field"));
    auto flatten = reinterpret_cast<const char *(*)()>(sym("json_flatten"));
    auto format = reinterpret_cast<const char *(*)(const char *)>(sym("json_format"));
    ASSERT_FALSE(::testing::Test::HasFailure());

    EXPECT_STREQ(report(), "[]");
    EXPECT_EQ(search_count(), 0);
    EXPECT_STREQ(search_field(0, "path"), "");
    EXPECT_STREQ(stats(), "");
    EXPECT_STREQ(last_error(), "no document loaded");
    EXPECT_STREQ(flatten(), "");
    EXPECT_STREQ(last_error(), "no document loaded");
    // The document test comes before the pattern and the mode.
    EXPECT_EQ(search("bad", ""), -1);
    EXPECT_STREQ(last_error(), "no document loaded");
    EXPECT_STREQ(format("bad"), "");
    EXPECT_STREQ(last_error(), "no document loaded");
    // Validation needs no document.
    EXPECT_EQ(validate("{\"a\":1,\"a\":2}"), -1);
    EXPECT_STREQ(last_error(), "duplicate key: a");
    EXPECT_EQ(report(), read_report(false, true));
}

// ---- statistics ---------------------------------------------------------------

TEST(Stats, Counts) {
    struct stats_case {
        const char *name;
        const char *doc;
        const char *stats;
    };
    const stats_case cases[] = {
        {"scalar root", "42",
         "{\"bytes\":2,\"depth\":1,\"keys\":0,\"numbers\":1,\"strings\":0,\"arrays\":0,\"objects\":0}"},
        {"empty object", "{}",
         "{\"bytes\":2,\"depth\":1,\"keys\":0,\"numbers\":0,\"strings\":0,\"arrays\":0,\"objects\":1}"},
        {"mixed", "{\"a\":[1,\"x\",null,true]}",
         "{\"bytes\":23,\"depth\":3,\"keys\":1,\"numbers\":1,\"strings\":1,\"arrays\":1,\"objects\":1}"},
        {"duplicate keys count twice", "{\"a\":1,\"a\":2}",
         "{\"bytes\":13,\"depth\":2,\"keys\":2,\"numbers\":2,\"strings\":0,\"arrays\":0,\"objects\":1}"},
        {"empty array raises depth", "{\"a\":[]}",
         "{\"bytes\":8,\"depth\":2,\"keys\":1,\"numbers\":0,\"strings\":0,\"arrays\":1,\"objects\":1}"},
        {"minified length, not loaded length", "  [ 1 ,\n\t2.5 , \"\\u00e9\" ,  false ]  ",
         "{\"bytes\":18,\"depth\":2,\"keys\":0,\"numbers\":2,\"strings\":1,\"arrays\":1,\"objects\":0}"},
        {"nested mix", "[{\"a\":{\"b\":[[],{}]},\"c\":\"s\"},[[1]],\"t\",-3]",
         "{\"bytes\":42,\"depth\":5,\"keys\":3,\"numbers\":2,\"strings\":2,\"arrays\":5,\"objects\":3}"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        load(c.doc);
        EXPECT_STREQ(json_stats_json(), c.stats);
        EXPECT_STREQ(json_last_error(), "");
        std::string bytes = "\"bytes\":" + std::to_string(strlen(json_format("minify"))) + ",";
        EXPECT_NE(std::string(json_stats_json()).find(bytes), std::string::npos);
    }
}

// ---- search ------------------------------------------------------------------------

struct hit {
    std::string path, key, value;
    bool operator==(const hit &) const = default;
};

std::vector<hit> hits() {
    std::vector<hit> out;
    for (int i = 0; i < json_search_count(); ++i)
        out.push_back({json_search_field(i, "path"), json_search_field(i, "key"), json_search_field(i, "value")});
    return out;
}

void PrintTo(const hit &h, std::ostream *os) { *os << "{" << h.path << " | " << h.key << " | " << h.value << "}"; }

TEST(Search, HitRows) {
    struct search_case {
        const char *name;
        const char *doc;
        const char *mode;
        const char *pattern;
        std::vector<hit> hits;
    };
    const search_case cases[] = {
        {"key hit before value hit",
         "{\"bob\":\"bobby\"}",
         "both",
         "bob",
         {{"$.bob", "bob", "\"bobby\""}, {"$.bob", "", "bobby"}}},
        {"null mode is both",
         "{\"bob\":\"bobby\"}",
         nullptr,
         "bob",
         {{"$.bob", "bob", "\"bobby\""}, {"$.bob", "", "bobby"}}},
        {"key mode", "{\"bob\":\"bobby\"}", "key", "bob", {{"$.bob", "bob", "\"bobby\""}}},
        {"value mode", "{\"bob\":\"bobby\"}", "value", "bob", {{"$.bob", "", "bobby"}}},
        {"root string", "\"needle\"", "value", "eed", {{"$", "", "needle"}}},
        {"numbers are not searched", "{\"n\":123,\"t\":true}", "both", "12", {}},
        {"nested arrays", "[[\"x\"]]", "both", "x", {{"$[0][0]", "", "x"}}},
        {"raw key in the path", "{\"a.b\":\"x\"}", "value", "x", {{"$.a.b", "", "x"}}},
        {"case-sensitive", "{\"abc\":\"abc\"}", "both", "ABC", {}},
        {"key hit carries the whole container",
         "{\"kx\":{\"a\":[1,2.5,\"q\\\"\\n\"],\"b\":{},\"c\":[],\"d\":null,\"e\":\"\\u00e9\"}}",
         "key",
         "kx",
         {{"$.kx", "kx", "{\"a\":[1,2.5,\"q\\\"\\n\"],\"b\":{},\"c\":[],\"d\":null,\"e\":\"\xc3\xa9\"}"}}},
        {"document order, parents first",
         "{\"ab\":{\"ab\":[\"xab\",{\"c\":\"ab\"}]},\"z\":\"ab\"}",
         "both",
         "ab",
         {{"$.ab", "ab", "{\"ab\":[\"xab\",{\"c\":\"ab\"}]}"},
          {"$.ab.ab", "ab", "[\"xab\",{\"c\":\"ab\"}]"},
          {"$.ab.ab[0]", "", "xab"},
          {"$.ab.ab[1].c", "", "ab"},
          {"$.z", "", "ab"}}},
        {"text up to a NUL",
         "{\"a\\u0000needle\":\"b\\u0000needle\",\"n\":\"needle\\u0000\"}",
         "both",
         "needle",
         {{"$.n", "", "needle"}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        load(c.doc);
        EXPECT_EQ(json_search(c.mode, c.pattern), 0);
        EXPECT_STREQ(json_last_error(), "");
        EXPECT_EQ(hits(), c.hits);
    }
}

TEST(Search, ErrorsInOrder) {
    load("{\"abc\":\"abc\"}");
    struct error_case {
        const char *name;
        const char *mode;
        const char *pattern;
        const char *error;
    };
    const error_case cases[] = {
        {"null pattern", "both", nullptr, "empty search pattern"},
        {"empty pattern before a bad mode", "Key", "", "empty search pattern"},
        {"mode matched exactly", "Key", "a", "unknown search mode: Key (use key|value|both)"},
        {"empty mode", "", "a", "unknown search mode:  (use key|value|both)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(json_search("both", "abc"), 0);
        ASSERT_EQ(json_search_count(), 2);
        EXPECT_EQ(json_search(c.mode, c.pattern), -1);
        EXPECT_STREQ(json_last_error(), c.error);
        EXPECT_EQ(json_search_count(), 0);
    }
}

TEST(Search, FieldAccess) {
    load("{\"abc\":\"abc\"}");
    ASSERT_EQ(json_search("both", "b"), 0);
    ASSERT_EQ(json_search_count(), 2);
    for (int index : {-1, 2})
        for (const char *field : {"path", "key", "value"}) EXPECT_STREQ(json_search_field(index, field), "") << index;
    EXPECT_STREQ(json_search_field(0, "Path"), "");
    EXPECT_STREQ(json_search_field(0, nullptr), "");
    // The table stays through loading, formatting and flattening.
    load("[1]");
    json_format("sorted");
    json_flatten();
    json_stats_json();
    EXPECT_EQ(hits(), (std::vector<hit>{{"$.abc", "abc", "\"abc\""}, {"$.abc", "", "abc"}}));
}

TEST(Search, CutsAndCapacity) {
    const std::string long_key(600, 'k'), long_str(5000, 's');
    load("{\"" + long_key + "\":\"" + long_str + "\"}");
    ASSERT_EQ(json_search("both", "k"), 0);
    ASSERT_EQ(json_search_count(), 1);
    EXPECT_EQ(json_search_field(0, "key"), long_key.substr(0, 511));
    EXPECT_EQ(json_search_field(0, "path"), ("$." + long_key).substr(0, 4095));
    EXPECT_EQ(json_search_field(0, "value"), ("\"" + long_str).substr(0, 4095));
    ASSERT_EQ(json_search("value", "s"), 0);
    EXPECT_EQ(json_search_field(0, "value"), long_str.substr(0, 4095));

    // A key hit on a large container keeps the first 4095 bytes of its
    // compact text, whatever the values inside.
    std::string big = "{\"hit\":[";
    for (int i = 0; i < 600; ++i)
        big += (i ? "," : "") + std::string("{\"r\":") + std::to_string(i) + ".25,\"s\":\"\\u00e9\\t\",\"n\":[-" +
               std::to_string(i) + ",true,null,{}]}";
    load(big + "]}");
    std::string whole = json_get("$.hit");
    ASSERT_GT(whole.size(), 4095u);
    ASSERT_EQ(json_search("key", "hit"), 0);
    EXPECT_EQ(json_search_field(0, "value"), whole.substr(0, 4095));

    // Four hits per object; the 10000th is a string value directly followed
    // by a matching key, and nothing past the table is recorded.
    std::string many = "[\"x\",\"x\"";
    for (int i = 0; i < 2600; ++i) many += ",{\"x\":\"x\",\"xx\":\"x\"}";
    load(many + "]");
    ASSERT_EQ(json_search("both", "x"), 0);
    EXPECT_EQ(json_search_count(), 10000);
    EXPECT_EQ(hits().back(), (hit{"$[2501].x", "", "x"}));
}

// ---- flattening -------------------------------------------------------------------------

TEST(Flatten, Texts) {
    struct flatten_case {
        const char *name;
        const char *doc;
        const char *flat;
    };
    const flatten_case cases[] = {
        {"nested", "{\"a\":{\"b\":1,\"c\":[true,null]},\"d\":\"x\"}",
         "{\"a.b\":1,\"a.c[0]\":true,\"a.c[1]\":null,\"d\":\"x\"}"},
        {"array root", "[1,{\"k\":2}]", "{\"[0]\":1,\"[1].k\":2}"},
        {"scalar root", "5", "{\"$\":5}"},
        {"empty object root", "{}", "{\"$\":{}}"},
        {"no leaf anywhere", "{\"a\":[]}", "{\"$\":{\"a\":[]}}"},
        {"empty containers vanish", "{\"a\":[],\"b\":1}", "{\"b\":1}"},
        {"nested arrays", "[[1],[[2]]]", "{\"[0][0]\":1,\"[1][0][0]\":2}"},
        {"dotted key reads like nesting", "{\"a.b\":1}", "{\"a.b\":1}"},
        {"duplicate keys give duplicate pairs", "{\"a\":1,\"a\":2}", "{\"a\":1,\"a\":2}"},
        {"empty key at the root", "{\"\":{\"a\":1}}", "{\"a\":1}"},
        {"empty key below the root", "{\"a\":{\"\":1}}", "{\"a.\":1}"},
        {"key escaping", "{\"q\\\"b\\\\s\\nt\\u001f/\\u00e9\":1}", "{\"q\\\"b\\\\s\\u000at\\u001f/\xc3\xa9\":1}"},
        {"string leaves keep their escaping", "{\"s\":\"a\\\"b\\u0000\"}", "{\"s\":\"a\\\"b\\u0000\"}"},
        {"key cut at a NUL", "{\"a\\u0000b\":1}", "{\"a\":1}"},
        {"numbers as written", "[0,-1,18446744073709551615,-9223372036854775808,1.5,-0.0,1e300,2.5e-7]",
         "{\"[0]\":0,\"[1]\":-1,\"[2]\":18446744073709551615,\"[3]\":-9223372036854775808,\"[4]\":1.5,\"[5]\":-0.0,"
         "\"[6]\":1e300,\"[7]\":2.5e-7}"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        load(c.doc);
        EXPECT_STREQ(json_flatten(), c.flat);
        EXPECT_STREQ(json_last_error(), "");
    }
}

TEST(Flatten, ValuesMatchTheWriter) {
    const char *doc =
        "[0,-1,18446744073709551615,-9223372036854775808,1.5,-0.0,1e300,2.5e-7,0.1,1e-300,5e-324,"
        "1.7976931348623157e308,123456.789,1e21,1e20,-2.5E+10,100.0,3.0e0,true,false,null,\"\",\"a/b\","
        "\"\\u00e9\\n\",\"\\u2028\",\"\\ud83d\\ude00\",\"\\u007f\"]";
    load(doc);
    std::string expect = "{";
    for (int i = 0; i < 27; ++i) {
        std::string p = "$[" + std::to_string(i) + "]";
        expect += (i ? ",\"[" : "\"[") + std::to_string(i) + "]\":" + json_get(p.c_str());
    }
    EXPECT_EQ(json_flatten(), expect + "}");
}

TEST(Flatten, CutsAndCapacity) {
    const std::string long_key(5000, 'k');
    load("{\"" + long_key + "\":{\"x\":1}}");
    EXPECT_EQ(json_flatten(), "{\"" + long_key.substr(0, 4095) + "\":1}");

    std::string many = "[";
    for (int i = 0; i < 10005; ++i) many += (i ? "," : "") + std::to_string(i);
    load(many + "]");
    std::string flat = json_flatten();
    std::string expect = "{";
    for (int i = 0; i < 10000; ++i) expect += (i ? ",\"[" : "\"[") + std::to_string(i) + "]\":" + std::to_string(i);
    EXPECT_EQ(flat, expect + "}");
}

// ---- formatting ----------------------------------------------------------------------------

TEST(Format, Layouts) {
    struct format_case {
        const char *name;
        const char *doc;
        const char *mode;
        const char *text;
    };
    const format_case cases[] = {
        {"pretty", "{\"a\":[1,{}],\"b\":{\"c\":null}}", "pretty",
         "{\n    \"a\": [\n        1,\n        {}\n    ],\n    \"b\": {\n        \"c\": null\n    }\n}"},
        {"null mode is pretty", "[1,2]", nullptr, "[\n    1,\n    2\n]"},
        {"minify", " { \"b\" : [ 1 , 2 ] , \"a\" : \"\\u00e9/\" } ", "minify", "{\"b\":[1,2],\"a\":\"\xc3\xa9/\"}"},
        {"sorted at every depth", "{\"b\":1,\"a\":{\"d\":1,\"c\":2},\"c\":[{\"z\":1,\"y\":2}]}", "sorted",
         "{\"a\":{\"c\":2,\"d\":1},\"b\":1,\"c\":[{\"y\":2,\"z\":1}]}"},
        {"sorted duplicates: once, last value", "{\"b\":1,\"a\":2,\"b\":3}", "sorted", "{\"a\":2,\"b\":3}"},
        {"sorted duplicates apart", "{\"b\":{\"x\":1},\"a\":2,\"c\":0,\"b\":[3],\"a\":4,\"b\":5}", "sorted",
         "{\"a\":4,\"b\":5,\"c\":0}"},
        {"minify keeps duplicates", "{\"b\":1,\"a\":2,\"b\":3}", "minify", "{\"b\":1,\"a\":2,\"b\":3}"},
        {"pretty keeps duplicates", "{\"b\":1,\"b\":3}", "pretty", "{\n    \"b\": 1,\n    \"b\": 3\n}"},
        {"byte order", "{\"ab\":1,\"\xc3\xa9\":2,\"aa\":3,\"a\":4,\"B\":5,\"\":6,\"~\":7}", "sorted",
         "{\"\":6,\"B\":5,\"a\":4,\"aa\":3,\"ab\":1,\"~\":7,\"\xc3\xa9\":2}"},
        {"keys with NUL kept whole", "{\"a\\u0000b\":1,\"a\":2,\"a\\u0000\":3,\"a\\u0000c\":4}", "sorted",
         "{\"a\":2,\"a\\u0000\":3,\"a\\u0000b\":1,\"a\\u0000c\":4}"},
        {"duplicate keys with NUL", "{\"a\\u0000b\":1,\"a\\u0000b\":2}", "sorted", "{\"a\\u0000b\":2}"},
        {"arrays keep their order", "[3,{\"b\":1,\"a\":2},[2,1]]", "sorted", "[3,{\"a\":2,\"b\":1},[2,1]]"},
        {"scalar root pretty", "\"s\"", "pretty", "\"s\""},
        {"scalar root minify", "-1.5", "minify", "-1.5"},
        {"scalar root sorted", "true", "sorted", "true"},
        {"empty containers sorted", "{\"b\":{},\"a\":[]}", "sorted", "{\"a\":[],\"b\":{}}"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        load(c.doc);
        EXPECT_STREQ(json_format(c.mode), c.text);
        EXPECT_STREQ(json_last_error(), "");
    }
}

TEST(Format, StableSortOnWideObjects) {
    // 300 members in reverse order with every key twice: the sorted copy
    // has each key once with its second value.
    std::string doc = "{";
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 299; i >= 0; --i) {
            char key[8];
            snprintf(key, sizeof key, "k%03d", i);
            doc += std::string(doc.size() > 1 ? "," : "") + "\"" + key + "\":" + std::to_string(pass * 1000 + i);
        }
    load(doc + "}");
    std::string expect = "{";
    for (int i = 0; i < 300; ++i) {
        char key[8];
        snprintf(key, sizeof key, "k%03d", i);
        expect += std::string(i ? "," : "") + "\"" + key + "\":" + std::to_string(1000 + i);
    }
    EXPECT_EQ(json_format("sorted"), expect + "}");
    EXPECT_EQ(json_format("minify"), doc + "}");
}

TEST(Format, ModesAndDocumentUnchanged) {
    load("{\"b\":1,\"a\":{\"d\":1,\"c\":2}}");
    for (const char *mode : {"", "Pretty", "PRETTY", "sorted "}) {
        EXPECT_STREQ(json_format(mode), "") << mode;
        EXPECT_EQ(json_last_error(), std::string("unknown format mode: ") + mode + " (use pretty|minify|sorted)");
    }
    EXPECT_STREQ(json_format("sorted"), "{\"a\":{\"c\":2,\"d\":1},\"b\":1}");
    EXPECT_STREQ(json_format("minify"), "{\"b\":1,\"a\":{\"d\":1,\"c\":2}}");
    EXPECT_STREQ(json_get("$.a"), "{\"d\":1,\"c\":2}");
}

// The pretty text of nested arrays grows with the square of the depth: one
// that fits the shared buffer is written as the writer gives it, one that
// cannot is refused with the buffer's message.
TEST(Format, DeepPrettyBounds) {
    std::string fits = je_nested(2800, "[", "]", "1");
    load(fits);
    yyjson_doc *doc = yyjson_read(fits.data(), fits.size(), 0);
    ASSERT_NE(doc, nullptr);
    size_t len = 0;
    char *expect = yyjson_write(doc, YYJSON_WRITE_PRETTY, &len);
    yyjson_doc_free(doc);
    ASSERT_NE(expect, nullptr);
    EXPECT_LT(len, 67108864u);
    EXPECT_EQ(std::string(json_format("pretty")), std::string(expect, len));
    free(expect);
    EXPECT_STREQ(json_last_error(), "");

    load(je_nested(4200, "[", "]", "1"));
    EXPECT_STREQ(json_format("pretty"), "");
    EXPECT_STREQ(json_last_error(), "output too large (>64MB)");
}

// ---- deep documents on a small stack ----------------------------------------------------------

TEST(Inspect, MillionLevelsOnSmallStack) {
    const std::string arrays = je_nested(JE_TEST_DEEP, "[", "]");
    const std::string objects = je_nested(JE_TEST_DEEP, "{\"a\":", "}", "\"x\"");
    je_run_small_stack([&] {
        EXPECT_EQ(json_validate(arrays.c_str()), -1);
        EXPECT_STREQ(json_last_error(), "nesting exceeds 512 levels");
        EXPECT_EQ(json_validate_report_json(), read_report(true, false));

        ASSERT_EQ(json_parse(arrays.c_str()), 0) << json_last_error();
        EXPECT_STREQ(json_stats_json(),
                     "{\"bytes\":2000000,\"depth\":1000000,\"keys\":0,\"numbers\":0,\"strings\":0,"
                     "\"arrays\":1000000,\"objects\":0}");
        EXPECT_EQ(json_flatten(), "{\"$\":" + arrays + "}");
        EXPECT_EQ(json_search("both", "x"), 0);
        EXPECT_EQ(json_search_count(), 0);
        EXPECT_EQ(json_format("minify"), arrays);
        EXPECT_EQ(json_format("sorted"), arrays);
        EXPECT_STREQ(json_format("pretty"), "");
        EXPECT_STREQ(json_last_error(), "output too large (>64MB)");

        ASSERT_EQ(json_parse(objects.c_str()), 0) << json_last_error();
        EXPECT_STREQ(json_stats_json(),
                     "{\"bytes\":6000003,\"depth\":1000001,\"keys\":1000000,\"numbers\":0,"
                     "\"strings\":1,\"arrays\":0,\"objects\":1000000}");
        std::string dotted;
        for (int i = 0; i < 2100; ++i) dotted += ".a";
        EXPECT_EQ(json_flatten(), "{\"" + dotted.substr(1, 4095) + "\":\"x\"}");
        ASSERT_EQ(json_search("key", "a"), 0);
        ASSERT_EQ(json_search_count(), 10000);
        EXPECT_EQ(json_search_field(0, "path"), std::string("$.a"));
        EXPECT_EQ(json_search_field(9999, "path"), ("$" + dotted).substr(0, 4095));
        EXPECT_EQ(json_search_field(0, "value"), objects.substr(5, 4095));
        ASSERT_EQ(json_search("value", "x"), 0);
        ASSERT_EQ(json_search_count(), 1);
        EXPECT_EQ(json_search_field(0, "path"), ("$" + dotted).substr(0, 4095));
        EXPECT_EQ(json_format("minify"), objects);
        EXPECT_EQ(json_format("sorted"), objects);
    });
}

// ---- the command-line program ---------------------------------------------------------------

TEST(InspectCli, Commands) {
    struct cli_case {
        const char *name;
        std::string args, input;
        int status;
        std::string out, err;
    };
    const std::string file = je_temp_file("{\"b\":{\"k\":\"bk\"},\"a\":1}");
    const cli_case cases[] = {
        {"validate valid", "validate", "[1]", 0, read_report(true, true) + "\n", ""},
        {"validate invalid", "validate", "{\"a\":1,\"a\":2}", 1, read_report(false, true) + "\n",
         "jsonengine: duplicate key: a\n"},
        {"validate a file", "validate '" + file + "'", "", 0, read_report(true, true) + "\n", ""},
        {"stats", "stats", "{\"a\":[1,\"x\"]}", 0,
         "{\"bytes\":13,\"depth\":3,\"keys\":1,\"numbers\":1,\"strings\":1,\"arrays\":1,\"objects\":1}\n", ""},
        {"search both", "search k '" + file + "'", "", 0, "$.b.k\tk\t\"bk\"\n$.b.k\t\t\"bk\"\n", ""},
        {"search key mode", "search --mode key b", "{\"b\":{\"k\":\"bk\"}}", 0, "$.b\tb\t{\"k\":\"bk\"}\n", ""},
        {"search bad mode", "search --mode keys b", "{}", 1, "",
         "jsonengine: unknown search mode: keys (use key|value|both)\n"},
        {"flatten", "flatten '" + file + "'", "", 0, "{\"b.k\":\"bk\",\"a\":1}\n", ""},
        {"format default", "format", "[1]", 0, "[\n    1\n]\n", ""},
        {"format sorted file", "format sorted '" + file + "'", "", 0, "{\"a\":1,\"b\":{\"k\":\"bk\"}}\n", ""},
        {"format minify", "format minify", " [ 1 , 2 ] ", 0, "[1,2]\n", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        je_cli_result r = je_run_cli(c.args, c.input);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
    unlink(file.c_str());
}

}  // namespace
