// Comparison and conversion through the C interface: json_merge, json_diff
// with its row table, json_to_csv and json_from_csv, their failures, the
// public CSV cases, documents nested 1,000,000 levels deep, big CSV texts
// and the merge, diff, to-csv and from-csv commands.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "je_test_util.h"
#include "je_tree.h"
#include "merge_reference.h"

namespace {

void unload() { je_doc_replace(nullptr); }

std::string doc_text() { return json_get("$"); }

std::string repeat(const std::string &piece, size_t n) {
    std::string s;
    s.reserve(piece.size() * n);
    for (size_t i = 0; i < n; ++i) s += piece;
    return s;
}

// ---- merge ------------------------------------------------------------------

struct MergeRow {
    const char *name;
    std::string doc;
    std::string patch;
    std::string merged;
};

// An object of n members "<prefix>0".."<prefix>n-1" with the member number
// (plus offset) as value, then the extra text (more members) at its end.
std::string numbered(const char *prefix, int n, int offset = 0, const std::string &extra = "") {
    std::string s = "{";
    for (int i = 0; i < n; ++i) {
        if (i) s += ",";
        s += "\"" + std::string(prefix) + std::to_string(i) + "\":" + std::to_string(i + offset);
    }
    return s + extra + "}";
}

TEST(Merge, Results) {
    const MergeRow rows[] = {
        {"nested objects merge", R"({"a":1,"b":{"x":1,"y":2}})", R"({"b":{"y":3,"z":4},"c":5})",
         R"({"a":1,"b":{"x":1,"y":3,"z":4},"c":5})"},
        {"null sets, does not remove", R"({"a":1})", R"({"a":null})", R"({"a":null})"},
        {"arrays replace", R"({"a":[1,2]})", R"({"a":[3]})", R"({"a":[3]})"},
        {"scalar replaces object", R"({"a":{"x":1}})", R"({"a":5})", R"({"a":5})"},
        {"object replaces scalar", R"({"a":5})", R"({"a":{"x":1}})", R"({"a":{"x":1}})"},
        {"array root takes object patch", "[1,2]", R"({"a":1})", R"({"a":1})"},
        {"object root takes array patch", R"({"a":1})", "[1,2]", "[1,2]"},
        {"object root takes scalar patch", R"({"a":1})", "7", "7"},
        {"base order, then patch-only keys", R"({"b":1,"a":2})", R"({"c":3,"a":4})", R"({"b":1,"a":4,"c":3})"},
        {"base duplicate: first place, last value", R"({"k":1,"x":0,"k":2})", "{}", R"({"k":2,"x":0})"},
        {"patch duplicate of a base key: first patch member counts", R"({"k":1})", R"({"k":2,"k":3})", R"({"k":2})"},
        {"patch-only duplicate: first place, last value", "{}", R"({"k":1,"j":0,"k":2})", R"({"k":2,"j":0})"},
        {"each base duplicate merges with the first patch member", R"({"k":{"a":1},"k":{"b":1}})",
         R"({"k":{"c":1},"k":{"d":1}})", R"({"k":{"b":1,"c":1}})"},
        {"duplicates collapse in merged objects at depth", R"({"o":{"k":1,"k":2}})", R"({"o":{}})", R"({"o":{"k":2}})"},
        {"copied subtrees keep their duplicates", R"({"o":{"k":1,"k":2}})", R"({"p":{"q":3,"q":4}})",
         R"({"o":{"k":1,"k":2},"p":{"q":3,"q":4}})"},
        {"empty patch copies the document", R"({"a":[1,{"b":null}],"s":"x"})", "{}", R"({"a":[1,{"b":null}],"s":"x"})"},
        {"keys with a NUL byte stay whole", "{\"a\\u0000b\":1,\"a\\u0000c\":2}", "{\"a\\u0000c\":3,\"a\":4}",
         "{\"a\\u0000b\":1,\"a\\u0000c\":3,\"a\":4}"},
        {"empty key", R"({"":1})", R"({"":{"x":1}})", R"({"":{"x":1}})"},
        // Big enough for the key index; the result must match the scanning rule.
        {"large objects", numbered("k", 40, 0, R"(,"k3":99,"o":{"p":1})"),
         numbered("n", 30, 100, R"(,"k5":-5,"o":{"q":2},"n0":-1)"),
         [] {
             std::string s = "{";
             for (int i = 0; i < 40; ++i)
                 s += "\"k" + std::to_string(i) + "\":" + (i == 3 ? "99" : i == 5 ? "-5" : std::to_string(i)) + ",";
             s += R"("o":{"p":1,"q":2})";
             for (int i = 0; i < 30; ++i)
                 s += ",\"n" + std::to_string(i) + "\":" + (i ? std::to_string(i + 100) : "-1");
             return s + "}";
         }()},
    };
    for (const MergeRow &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(json_parse(row.doc.c_str()), 0) << json_last_error();
        je_set_error("stale");
        EXPECT_EQ(json_merge(row.patch.c_str()), 0) << json_last_error();
        EXPECT_STREQ(json_last_error(), "");
        EXPECT_EQ(doc_text(), row.merged);
    }
}

TEST(Merge, ResultSharesNothingWithTheOldTree) {
    ASSERT_EQ(json_parse(R"({"a":{"b":[1]},"c":"s"})"), 0);
    ASSERT_EQ(json_merge(R"({"d":{"e":2}})"), 0);
    ASSERT_EQ(json_set("$.a.b", "0"), 0);
    ASSERT_EQ(json_merge(R"({"a":{"x":1}})"), 0);
    EXPECT_EQ(doc_text(), R"({"a":{"b":0,"x":1},"c":"s","d":{"e":2}})");
}

TEST(Merge, Failures) {
    struct Row {
        const char *name;
        bool loaded;
        const char *patch;
        std::string message;  // a prefix when prefix_only
        bool prefix_only;
    } rows[] = {
        {"no document", false, "{}", "no document loaded", false},
        {"no document wins over a bad patch", false, "{", "no document loaded", false},
        {"null patch", true, nullptr, "merge target: null value", false},
        {"unfinished object", true, "{", "merge target: ", true},
        {"two values", true, "{} {}", "merge target: ", true},
        {"empty text", true, "", "merge target: ", true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (row.loaded)
            ASSERT_EQ(json_parse(R"({"keep":[1]})"), 0);
        else
            unload();
        EXPECT_EQ(json_merge(row.patch), -1);
        std::string msg = json_last_error();
        if (row.prefix_only) {
            EXPECT_EQ(msg.rfind(row.message, 0), 0u) << msg;
            EXPECT_GT(msg.size(), row.message.size()) << msg;
        } else {
            EXPECT_EQ(msg, row.message);
        }
        EXPECT_EQ(doc_text(), row.loaded ? R"({"keep":[1]})" : "");
    }
}

// Random JSON texts for comparing the merge with the copying reference:
// keys from a small set (so members meet and repeat, some holding a NUL
// byte), nested objects and arrays, scalars of every kind.
struct json_gen {
    uint64_t s;
    explicit json_gen(uint64_t seed) : s(seed) {}
    uint32_t next(uint32_t n) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(s >> 33) % n;
    }
    std::string key() {
        static const char *const keys[] = {"a", "b", "c", "", "k", "a\\u0000b", "a\\u0000c", "\\u00e9"};
        return std::string("\"") + keys[next(8)] + "\"";
    }
    std::string scalar() {
        static const char *const scalars[] = {
            "0", "-1", "18446744073709551615", "2.5", "-0.0", "\"\"", "\"s\"", "true", "false", "null", "1e300"};
        return scalars[next(11)];
    }
    std::string value(int depth) {
        uint32_t pick = depth <= 0 ? 0 : next(10);
        if (pick < 4) return scalar();
        if (pick < 6) {
            std::string a = "[";
            for (uint32_t i = 0, n = next(4); i < n; ++i) a += (i ? "," : "") + value(depth - 1);
            return a + "]";
        }
        return object(depth - 1);
    }
    std::string object(int depth) {
        std::string o = "{";
        for (uint32_t i = 0, n = next(6); i < n; ++i) o += (i ? "," : "") + key() + ":" + value(depth);
        return o + "}";
    }
    // Mostly objects; now and then another root, which the patch replaces
    // or which replaces the document.
    std::string root(int depth) { return next(8) ? object(depth) : value(depth); }
};

TEST(Merge, MatchesTheCopyingReference) {
    json_gen gen(12);
    for (int round = 0; round < 1500; ++round) {
        std::string doc = gen.root(4);
        SCOPED_TRACE("document " + doc);
        ASSERT_EQ(json_parse(doc.c_str()), 0) << json_last_error();
        yyjson_doc *read = yyjson_read(doc.data(), doc.size(), 0);
        je_mut_doc_guard ref(yyjson_doc_mut_copy(read, nullptr));
        yyjson_doc_free(read);
        // Several patches in a row: later merges work on merged trees.
        for (int step = 0; step < 4; ++step) {
            std::string patch = gen.root(4);
            SCOPED_TRACE("patch " + patch);
            const char *msg = nullptr;
            yyjson_mut_val *pv = je_parse_val(ref.d, patch.c_str(), &msg);
            ASSERT_NE(pv, nullptr);
            yyjson_mut_doc_set_root(ref.d, je_ref_merge_build(ref.d, yyjson_mut_doc_get_root(ref.d), pv));
            je_free_guard expect(je_write_val(yyjson_mut_doc_get_root(ref.d), nullptr));
            ASSERT_EQ(json_merge(patch.c_str()), 0) << json_last_error();
            ASSERT_EQ(doc_text(), static_cast<const char *>(expect.p));
        }
    }
}

TEST(Merge, DeepDocumentsOnSmallStack) {
    const std::string base = je_nested(JE_TEST_DEEP, "{\"a\":", "}", R"({"x":1,"s":[[[]]]})");
    const std::string patch = je_nested(JE_TEST_DEEP, "{\"a\":", "}", R"({"x":2,"y":[[{}]]})");
    const std::string merged = je_nested(JE_TEST_DEEP, "{\"a\":", "}", R"({"x":2,"s":[[[]]],"y":[[{}]]})");
    // A deep array in the patch is taken over as one deep copy.
    const std::string arrays = je_nested(JE_TEST_DEEP, "[", "]", "3");
    je_run_small_stack([&] {
        ASSERT_EQ(json_parse(base.c_str()), 0);
        ASSERT_EQ(json_merge(patch.c_str()), 0) << json_last_error();
        EXPECT_TRUE(doc_text() == merged);
        ASSERT_EQ(json_merge(("{\"a\":" + arrays + "}").c_str()), 0);
        EXPECT_TRUE(doc_text() == "{\"a\":" + arrays + "}");
    });
}

// ---- diff -----------------------------------------------------------------------

struct DiffRowText {
    std::string path, type, a, b;
    bool operator==(const DiffRowText &o) const { return path == o.path && type == o.type && a == o.a && b == o.b; }
};

std::ostream &operator<<(std::ostream &os, const DiffRowText &r) {
    return os << "(" << r.path << ", " << r.type << ", " << r.a << ", " << r.b << ")";
}

std::vector<DiffRowText> diff_rows() {
    std::vector<DiffRowText> rows;
    for (int i = 0; i < json_diff_count(); ++i)
        rows.push_back(
            {json_diff_field(i, "path"), json_diff_field(i, "type"), json_diff_field(i, "a"), json_diff_field(i, "b")});
    return rows;
}

struct DiffCase {
    const char *name;
    std::string a;
    std::string b;
    std::vector<DiffRowText> rows;
};

TEST(Diff, Rows) {
    const DiffCase cases[] = {
        {"identical", R"({"a":[1,{"b":null}],"s":"x"})", R"({"a":[1,{"b":null}],"s":"x"})", {}},
        {"member order does not matter", R"({"a":1,"b":{"c":2,"d":3}})", R"({"b":{"d":3,"c":2},"a":1})", {}},
        {"scalar roots", "1", "2", {{"$", "changed", "1", "2"}}},
        {"object against array", R"({"a":1})", "[1]", {{"$", "changed", R"({"a":1})", "[1]"}}},
        {"integer against real", R"({"x":1})", R"({"x":1.0})", {{"$.x", "changed", "1", "1.0"}}},
        {"zero against minus zero", "[0.0]", "[-0.0]", {{"$[0]", "changed", "0.0", "-0.0"}}},
        {"equal reals", "[1.5,1e300]", "[1.5,1e300]", {}},
        {"plain and escaped string", R"(["A"])", R"(["\u0041"])", {}},
        {"strings keep their quotes", R"({"s":"x"})", R"({"s":"y"})", {{"$.s", "changed", "\"x\"", "\"y\""}}},
        {"string prefix differs", R"(["ab"])", R"(["abc"])", {{"$[0]", "changed", "\"ab\"", "\"abc\""}}},
        {"booleans and null",
         "[true,false,null]",
         "[false,false,0]",
         {{"$[0]", "changed", "true", "false"}, {"$[2]", "changed", "null", "0"}}},
        {"large unsigned against minus one",
         "[18446744073709551615]",
         "[-1]",
         {{"$[0]", "changed", "18446744073709551615", "-1"}}},
        {"array grows at the front",
         "[1,2]",
         "[0,1,2]",
         {{"$[0]", "changed", "1", "0"}, {"$[1]", "changed", "2", "1"}, {"$[2]", "added", "", "2"}}},
        {"array shrinks", "[1,[2,3],4]", "[1]", {{"$[1]", "removed", "[2,3]", ""}, {"$[2]", "removed", "4", ""}}},
        {"object rows: a's order, then added in b's order",
         R"({"a":1,"b":2})",
         R"({"c":3,"a":5})",
         {{"$.a", "changed", "1", "5"}, {"$.b", "removed", "2", ""}, {"$.c", "added", "", "3"}}},
        {"subtree rows come at the member's place",
         R"({"x":{"p":1,"q":[1]},"y":0})",
         R"({"y":1,"x":{"q":[2],"r":3}})",
         {{"$.x.p", "removed", "1", ""},
          {"$.x.q[0]", "changed", "1", "2"},
          {"$.x.r", "added", "", "3"},
          {"$.y", "changed", "0", "1"}}},
        {"type change is one row",
         R"({"a":{"b":[1,2]}})",
         R"({"a":[{"b":1}]})",
         {{"$.a", "changed", R"({"b":[1,2]})", R"([{"b":1}])"}}},
        {"each a duplicate meets the first b member", R"({"k":1,"k":2})", R"({"k":1})", {{"$.k", "changed", "2", "1"}}},
        {"later b duplicates are never reported", R"({"k":1})", R"({"k":2,"k":3})", {{"$.k", "changed", "1", "2"}}},
        {"b-only duplicates each added",
         "{}",
         R"({"k":1,"k":2})",
         {{"$.k", "added", "", "1"}, {"$.k", "added", "", "2"}}},
        {"keys stand raw in paths",
         R"({"a.b":1,"c[0]":2,"":3})",
         "{}",
         {{"$.a.b", "removed", "1", ""}, {"$.c[0]", "removed", "2", ""}, {"$.", "removed", "3", ""}}},
        {"paths through arrays and objects",
         R"({"users":[{},{},{"name":"a"}]})",
         R"({"users":[{},{},{"name":"b"}]})",
         {{"$.users[2].name", "changed", "\"a\"", "\"b\""}}},
        // Big enough for the key index on both sides.
        {"large objects",
         numbered("k", 40, 0, R"(,"k7":70)"),
         numbered("k", 41, 0, R"(,"k3":-3,"n":1,"n":2)"),
         {{"$.k7", "changed", "70", "7"},
          {"$.k40", "added", "", "40"},
          {"$.n", "added", "", "1"},
          {"$.n", "added", "", "2"}}},
    };
    for (const DiffCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(json_parse(c.a.c_str()), 0) << json_last_error();
        je_set_error("stale");
        EXPECT_EQ(json_diff(c.b.c_str()), 0) << json_last_error();
        EXPECT_STREQ(json_last_error(), "");
        EXPECT_EQ(diff_rows(), c.rows);
        EXPECT_EQ(doc_text(), c.a) << "the document is not changed";
    }
}

TEST(Diff, SignedAndUnsignedIntegersCompareByValue) {
    // The CSV reader makes signed integers, the JSON reader unsigned ones.
    ASSERT_EQ(json_from_csv("a,b\n1,-2\n"), 0);
    EXPECT_EQ(json_diff(R"([{"a":1,"b":-2}])"), 0);
    EXPECT_EQ(json_diff_count(), 0);
    EXPECT_EQ(json_diff(R"([{"a":1.0,"b":-2}])"), 0);
    EXPECT_EQ(diff_rows(), (std::vector<DiffRowText>{{"$[0].a", "changed", "1", "1.0"}}));
}

TEST(Diff, FailuresEmptyTheTable) {
    struct Row {
        const char *name;
        bool loaded;
        const char *other;
        std::string message;
        bool prefix_only;
    } rows[] = {
        {"no document", false, "{}", "no document loaded", false},
        {"null other", true, nullptr, "diff target: null value", false},
        {"unfinished array", true, "[1,", "diff target: ", true},
        {"trailing text", true, "1 x", "diff target: ", true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(json_parse("[1,2,3]"), 0);
        ASSERT_EQ(json_diff("[]"), 0);
        ASSERT_EQ(json_diff_count(), 3);
        if (!row.loaded) unload();
        EXPECT_EQ(json_diff(row.other), -1);
        std::string msg = json_last_error();
        if (row.prefix_only) {
            EXPECT_EQ(msg.rfind(row.message, 0), 0u) << msg;
            EXPECT_GT(msg.size(), row.message.size()) << msg;
        } else {
            EXPECT_EQ(msg, row.message);
        }
        EXPECT_EQ(json_diff_count(), 0);
        EXPECT_STREQ(json_diff_field(0, "path"), "");
    }
}

TEST(Diff, TableSurvivesOtherCalls) {
    ASSERT_EQ(json_parse(R"({"a":1})"), 0);
    ASSERT_EQ(json_diff(R"({"a":2})"), 0);
    ASSERT_EQ(json_parse("[]"), 0);
    ASSERT_EQ(json_set("$", "5"), 0);
    EXPECT_EQ(json_merge("{"), -1);
    ASSERT_EQ(json_from_csv("x\n1\n"), 0);
    EXPECT_STREQ(json_to_csv("$"), "x\n1\n");
    EXPECT_EQ(diff_rows(), (std::vector<DiffRowText>{{"$.a", "changed", "1", "2"}}));
}

TEST(Diff, FieldAccessor) {
    ASSERT_EQ(json_parse(R"({"a":1})"), 0);
    ASSERT_EQ(json_diff("{}"), 0);
    ASSERT_EQ(json_diff_count(), 1);
    je_set_error("kept");
    struct Row {
        int index;
        const char *field;
        const char *want;
    } rows[] = {
        {0, "path", "$.a"}, {0, "type", "removed"}, {0, "a", "1"},    {0, "b", ""},
        {0, "A", ""},       {0, "Path", ""},        {0, "pathx", ""}, {0, "", ""},
        {0, nullptr, ""},   {-1, "path", ""},       {1, "type", ""},  {INT32_MIN, "a", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.index) + " " + (row.field ? row.field : "(null)"));
        EXPECT_STREQ(json_diff_field(row.index, row.field), row.want);
    }
    EXPECT_STREQ(json_last_error(), "kept");
    // A returned text is a copy: the next diff leaves it alone.
    const char *path = json_diff_field(0, "path");
    ASSERT_EQ(json_diff(R"({"a":1})"), 0);
    EXPECT_STREQ(path, "$.a");
}

TEST(Diff, CapacityAndBoundedFields) {
    // 12,000 changed elements: the first 10,000 rows in walk order remain.
    std::string a = "[", b = "[";
    for (int i = 0; i < 12000; ++i) {
        a += (i ? ",0" : "0");
        b += (i ? ",1" : "1");
    }
    ASSERT_EQ(json_parse((a + "]").c_str()), 0);
    EXPECT_EQ(json_diff((b + "]").c_str()), 0);
    EXPECT_EQ(json_diff_count(), 10000);
    EXPECT_STREQ(json_diff_field(9999, "path"), "$[9999]");
    EXPECT_STREQ(json_diff_field(10000, "path"), "");

    // Value texts are cut after 4095 bytes; so is a long key's path.
    const std::string long_text = "[\"" + std::string(5000, 'x') + "\"]";
    const std::string long_key(5000, 'k');
    ASSERT_EQ(json_parse(("{\"r\":" + long_text + ",\"" + long_key + "\":1}").c_str()), 0);
    ASSERT_EQ(json_diff(R"({"r":null})"), 0);
    auto rows = diff_rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].a, long_text.substr(0, 4095));
    EXPECT_EQ(rows[0].b, "null");
    EXPECT_EQ(rows[1].path, ("$." + long_key).substr(0, 4095));
    EXPECT_EQ(rows[1].type, "removed");
}

TEST(Diff, DeepDocumentsOnSmallStack) {
    const std::string arr_a = je_nested(JE_TEST_DEEP, "[", "]", "1");
    const std::string arr_b = je_nested(JE_TEST_DEEP, "[", "]", "2");
    const std::string obj_a = je_nested(JE_TEST_DEEP, "{\"k\":", "}", R"({"x":1,"gone":[[]]})");
    const std::string obj_b = je_nested(JE_TEST_DEEP, "{\"k\":", "}", R"({"new":{},"x":1})");
    je_run_small_stack([&] {
        ASSERT_EQ(json_parse(arr_a.c_str()), 0);
        ASSERT_EQ(json_diff(arr_b.c_str()), 0);
        auto rows = diff_rows();
        ASSERT_EQ(rows.size(), 1u);
        // The path is cut at 4095 bytes, deep below which the change is.
        EXPECT_EQ(rows[0].path, ("$" + repeat("[0]", 1365)).substr(0, 4095));
        EXPECT_EQ(rows[0].type + rows[0].a + rows[0].b, "changed12");

        ASSERT_EQ(json_diff(arr_a.c_str()), 0);
        EXPECT_EQ(json_diff_count(), 0);

        ASSERT_EQ(json_parse(obj_a.c_str()), 0);
        ASSERT_EQ(json_diff(obj_b.c_str()), 0);
        rows = diff_rows();
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].type + rows[0].a, "removed[[]]");
        EXPECT_EQ(rows[1].type + rows[1].b, "added{}");
        EXPECT_EQ(rows[0].path.size(), 4095u);

        // A whole deep subtree on one side is one row with a cut text.
        ASSERT_EQ(json_diff("{}"), 0);
        rows = diff_rows();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].path, "$.k");
        EXPECT_EQ(rows[0].a, obj_a.substr(5, 4095));
    });
}

// ---- JSON to CSV ------------------------------------------------------------------

struct ToCsvRow {
    const char *name;
    std::string doc;
    const char *path;
    std::string csv;
};

// An array of objects holding n distinct keys "c0".."cn-1" in all, three
// per element.
std::string many_keys(int n) {
    std::string s = "[";
    for (int i = 0; i < n; i += 3) {
        if (i) s += ",";
        s += "{";
        for (int k = i; k < i + 3 && k < n; ++k)
            s += (k > i ? ",\"c" : "\"c") + std::to_string(k) + "\":" + std::to_string(k);
        s += "}";
    }
    return s + "]";
}

std::string many_keys_csv(int shown) {
    std::string head;
    for (int i = 0; i < shown; ++i) {
        head += (i ? ",c" : "c") + std::to_string(i);
    }
    // Element e holds columns 3e..3e+2; every element gives one line.
    std::string out = head + "\n";
    int elements = (300 + 2) / 3;
    for (int e = 0; e < elements; ++e) {
        std::string l;
        for (int c = 0; c < shown; ++c) {
            if (c) l += ",";
            if (c / 3 == e) l += std::to_string(c);
        }
        out += l + "\n";
    }
    return out;
}

TEST(ToCsv, Texts) {
    const std::string long_key(300, 'L');
    const ToCsvRow rows[] = {
        {"columns in first-met order", R"([{"a":1,"b":"x"},{"b":"y,z","c":true}])", "$",
         "a,b,c\n1,x,\n,\"y,z\",true\n"},
        {"no objects: empty lines, no header", "[1,2,3]", "$", "\n\n\n"},
        {"empty array", "[]", "$", ""},
        {"non-object elements give empty cells", R"([{"a":1},5,{"a":2}])", "$", "a\n1\n\n2\n"},
        {"null path means the root", R"([{"a":1}])", nullptr, "a\n1\n"},
        {"empty path means the root", R"([{"a":1}])", "", "a\n1\n"},
        {"array below the root", R"({"d":{"rows":[{"k":"v"}]}})", "$.d.rows", "k\nv\n"},
        {"string quoting", R"([{"s":" lead"},{"s":"trail "},{"s":"q\"q"},{"s":"l\nf"},{"s":"c\rr"},{"s":"mid space"}])",
         "$", "s\n\" lead\"\n\"trail \"\n\"q\"\"q\"\n\"l\nf\"\n\"c\rr\"\nmid space\n"},
        {"name quoting", R"([{"a,b":1,"q\"":2,"l\nf":3,"plain":4}])", "$",
         "\"a,b\",\"q\"\"\",\"l\nf\",plain\n1,2,3,4\n"},
        {"nested values as quoted compact JSON", R"([{"a":{"b":[1,"q"]},"e":[],"o":{}}])", "$",
         "a,e,o\n\"{\"\"b\"\":[1,\"\"q\"\"]}\",\"[]\",\"{}\"\n"},
        {"numbers",
         R"([{"n":0.1},{"n":1e300},{"n":2.0},{"n":-5},{"n":18446744073709551615},{"n":-9223372036854775808},{"n":-0.0}])",
         "$",
         "n\n0.10000000000000001\n1.0000000000000001e+300\n2\n-5\n18446744073709551615\n-9223372036854775808\n-0\n"},
        {"null and empty string are empty cells", R"([{"a":null,"b":"","c":false}])", "$", "a,b,c\n,,false\n"},
        {"first duplicate member counts", R"([{"k":1,"k":2}])", "$", "k\n1\n"},
        {"strings up to their first NUL", R"([{"s":"ab\u0000cd"}])", "$", "s\nab\n"},
        {"keys with a NUL byte are distinct columns", R"([{"a\u0000x":1,"a\u0000y":2}])", "$", "a,a\n1,2\n"},
        {"long keys stay whole and find their cells", "[{\"" + long_key + "\":1},{\"" + long_key + "\":2}]", "$",
         long_key + "\n1\n2\n"},
        {"256 columns at most", many_keys(300), "$", many_keys_csv(256)},
        {"UTF-8 passes unchanged", R"([{"é":"ʤ"}])", "$", "é\nʤ\n"},
    };
    for (const ToCsvRow &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(json_parse(row.doc.c_str()), 0) << json_last_error();
        je_set_error("stale");
        EXPECT_EQ(std::string(json_to_csv(row.path)), row.csv);
        EXPECT_STREQ(json_last_error(), "");
        EXPECT_EQ(doc_text(), row.doc);
    }
}

TEST(ToCsv, Failures) {
    struct Row {
        const char *name;
        const char *doc;  // null: no document
        const char *path;
        std::string message;
    } rows[] = {
        {"no document", nullptr, "$", "no document loaded"},
        {"no document wins over a bad path", nullptr, "x", "no document loaded"},
        {"path must start with $", "[]", "a", "path must start with '$': a"},
        {"object root", R"({"a":[]})", "$", "path $ is not an array"},
        {"object root, null path", R"({"a":[]})", nullptr, "path $ is not an array"},
        {"missing member", R"({"a":[]})", "$.b", "path $.b is not an array"},
        {"index past the end", "[[]]", "$[1]", "path $[1] is not an array"},
        {"scalar", R"({"a":"[]"})", "$.a", "path $.a is not an array"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (row.doc)
            ASSERT_EQ(json_parse(row.doc), 0);
        else
            unload();
        EXPECT_STREQ(json_to_csv(row.path), "");
        EXPECT_EQ(std::string(json_last_error()), row.message);
    }
}

// The engine never stores text its writer refuses, so the writer's failure
// is staged by planting an invalid string directly in the document.
void plant_unwritable(const char *path) {
    yyjson_mut_val *bad = yyjson_mut_strn(je_doc_mut(), "\xFF", 1);
    ASSERT_TRUE(je_parse_path(path));
    yyjson_mut_val *obj = je_nav(yyjson_mut_doc_get_root(je_doc_mut()));
    ASSERT_TRUE(yyjson_mut_obj_add(obj, yyjson_mut_str(je_doc_mut(), "bad"), bad));
}

TEST(ToCsv, UnwritableCellIsEmptyAndReported) {
    ASSERT_EQ(json_parse(R"([{"a":1,"n":{}},{"a":2,"n":{}}])"), 0);
    plant_unwritable("$[0].n");
    EXPECT_STREQ(json_to_csv("$"), "a,n\n1,\n2,\"{}\"\n");
    EXPECT_STREQ(json_last_error(), "internal: json write failed");

    // A diff row whose value cannot be written would lose that side's text,
    // so the diff fails as a whole and keeps no rows.
    EXPECT_EQ(json_diff(R"([{"a":1,"n":{}},{"a":2,"n":{}}])"), -1);
    EXPECT_STREQ(json_last_error(), "internal: json write failed");
    EXPECT_EQ(json_diff_count(), 0);
}

TEST(ToCsv, DeepCellOnSmallStack) {
    const std::string deep = je_nested(JE_TEST_DEEP, "[", "]");
    const std::string doc = "[{\"d\":" + deep + "}]";
    je_run_small_stack([&] {
        ASSERT_EQ(json_parse(doc.c_str()), 0);
        std::string csv = json_to_csv("$");
        EXPECT_TRUE(csv == "d\n\"" + deep + "\"\n");
    });
}

// ---- CSV to JSON ------------------------------------------------------------------

struct FromCsvRow {
    const char *name;
    std::string csv;
    std::string json;
};

TEST(FromCsv, Records) {
    const std::string letters300(300, 'z');
    const std::string names300 = [] {
        std::string s;
        for (int i = 0; i < 300; ++i) s += (i ? ",h" : "h") + std::to_string(i);
        return s;
    }();
    const std::string names256_json = [] {
        std::string s = "[{";
        for (int i = 0; i < 256; ++i) s += (i ? ",\"h" : "\"h") + std::to_string(i) + "\":" + std::to_string(i);
        return s + "}]";
    }();
    const std::string values256 = [] {
        std::string s;
        for (int i = 0; i < 256; ++i) s += (i ? "," : "") + std::to_string(i);
        return s;
    }();
    const FromCsvRow rows[] = {
        {"short last record", "name,age\nann,30\nbob,\n", R"([{"name":"ann","age":30},{"name":"bob","age":null}])"},
        {"CR LF line ends", "a,b\r\n1,true\r\n", R"([{"a":1,"b":true}])"},
        {"CR alone ends a line", "a,b\r1,2\r3,4", R"([{"a":1,"b":2},{"a":3,"b":4}])"},
        {"quoted cells", "a,b\n\"x \"\"y\"\" z\",\"1,\n2\"\n", R"([{"a":"x \"y\" z","b":"1,\n2"}])"},
        {"quoted CR LF kept", "a\n\"p\r\nq\"\n", R"([{"a":"p\r\nq"}])"},
        {"quoted number is a number", "a,b\n\"42\",\"1,5\"\n", R"([{"a":42,"b":"1,5"}])"},
        {"empty quoted cell is null", "a,b\n\"\",x\n", R"([{"a":null,"b":"x"}])"},
        {"text after a closing quote continues the field", "a,b\n\"ab\"cd\"e,2\n", R"([{"a":"abcd\"e","b":2}])"},
        {"quote inside an unquoted field is a byte", "a\nx\"y\n", R"([{"a":"x\"y"}])"},
        {"unterminated quote runs to the end", "a,b\n1,\"open\nstill", R"([{"a":1,"b":"open\nstill"}])"},
        {"fields fill a short record across lines", "a,b\n1\n2\n", R"([{"a":1,"b":2}])"},
        {"a long line gives several records", "a\n1,2\n", R"([{"a":1},{"a":2}])"},
        {"surplus fields start the next record", "a,b\n1,2,3\n", R"([{"a":1,"b":2},{"a":3,"b":null}])"},
        {"blank lines skipped, no final line feed", "a,b\n1,2\n\n\n3,4", R"([{"a":1,"b":2},{"a":3,"b":4}])"},
        {"blank CR LF lines skipped", "a\r\n\r\n\r\n1\r\n\r\n", R"([{"a":1}])"},
        {"repeated names repeat keys", "a,a\n1,2\n", R"([{"a":1,"a":2}])"},
        {"empty name in the middle", ",x\n1,2\n", R"([{"":1,"x":2}])"},
        {"trailing comma in the header names an empty column", "a,\n1,2\n", R"([{"a":1,"":2}])"},
        {"byte-order mark skipped",
         "\xEF\xBB\xBF"
         "a\n1\n",
         R"([{"a":1}])"},
        {"only the first mark is skipped",
         "\xEF\xBB\xBF\xEF\xBB\xBF"
         "a\n1\n",
         "[{\"\xEF\xBB\xBF"
         "a\":1}]"},
        {"quoted header name", "\"a,b\",\"c\"\"\"\n1,2\n", R"([{"a,b":1,"c\"":2}])"},
        {"long cell cut to 255 bytes", "a\n" + letters300 + "\n", "[{\"a\":\"" + std::string(255, 'z') + "\"}]"},
        {"cut keeps whole characters",
         "a\n" + std::string(254, 'y') +
             "\xC3\xA9"
             "tail\n",
         "[{\"a\":\"" + std::string(254, 'y') + "\"}]"},
        {"cut after a whole character",
         "a\n" + std::string(253, 'y') +
             "\xC3\xA9"
             "tail\n",
         "[{\"a\":\"" + std::string(253, 'y') + "\xC3\xA9\"}]"},
        {"long name cut too", letters300 + "\n1\n", "[{\"" + std::string(255, 'z') + "\":1}]"},
        {"header of 300 names: 256 columns, data on the next line", names300 + "\n" + values256 + "\n", names256_json},
        {"UTF-8 cells", "a,b,c\n4,5,\xCA\xA4\n", "[{\"a\":4,\"b\":5,\"c\":\"\xCA\xA4\"}]"},
    };
    for (const FromCsvRow &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(json_parse("\"old\""), 0);
        je_set_error("stale");
        EXPECT_EQ(json_from_csv(row.csv.c_str()), 0) << json_last_error();
        EXPECT_STREQ(json_last_error(), "");
        EXPECT_EQ(doc_text(), row.json);
    }
}

TEST(FromCsv, TypeInference) {
    struct Row {
        const char *cell;
        const char *value;  // compact JSON of the inferred value
        const char *type;   // its yyjson type name
    } rows[] = {
        {"", "null", "null"},
        {"null", "null", "null"},
        {"true", "true", "true"},
        {"false", "false", "false"},
        {"TRUE", "\"TRUE\"", "string"},
        {"True", "\"True\"", "string"},
        {"Null", "\"Null\"", "string"},
        {" true", "\" true\"", "string"},
        {"7", "7", "sint"},
        {" 7", "7", "sint"},
        {"+7", "7", "sint"},
        {"-7", "-7", "sint"},
        {"007", "7", "sint"},
        {"7 ", "\"7 \"", "string"},
        {"1.50", "1.5", "real"},
        {"1e3", "1000.0", "real"},
        {"-0.0", "-0.0", "real"},
        {".5", "0.5", "real"},
        {"0x10", "16.0", "real"},
        // Where C runtimes' strtod differ: hex fractions and exponents,
        // subnormals, the last digits of a long mantissa.
        {"0x1.8p1", "3.0", "real"},
        {"-0X.4P-1", "-0.125", "real"},
        {"4.9e-324", "5e-324", "real"},
        {"2.2250738585072011e-308", "2.225073858507201e-308", "real"},
        {"0.1000000000000000055511151231257827", "0.1", "real"},
        {"9223372036854775807", "9223372036854775807", "sint"},
        {"-9223372036854775808", "-9223372036854775808", "sint"},
        {"9223372036854775808", "9223372036854775808", "uint"},
        {"18446744073709551615", "18446744073709551615", "uint"},
        {" +18446744073709551615", "18446744073709551615", "uint"},
        {"18446744073709551616", "18446744073709552000.0", "real"},
        {"-9223372036854775809", "-9223372036854776000.0", "real"},
        {"nan", "\"nan\"", "string"},
        {"NaN", "\"NaN\"", "string"},
        {"inf", "\"inf\"", "string"},
        {"-inf", "\"-inf\"", "string"},
        {"infinity", "\"infinity\"", "string"},
        {"1e999", "\"1e999\"", "string"},
        {"-1e999", "\"-1e999\"", "string"},
        {"1e-999", "0.0", "real"},
        {"-", "\"-\"", "string"},
        {" ", "\" \"", "string"},
        {"1,5", "\"1,5\"", "string"},  // quoted below
        {"12abc", "\"12abc\"", "string"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string("cell [") + row.cell + "]");
        std::string csv = std::string("v\n\"") + row.cell + "\"\n";
        ASSERT_EQ(json_from_csv(csv.c_str()), 0) << json_last_error();
        EXPECT_STREQ(json_get("$[0].v"), row.value);
        yyjson_mut_val *v = yyjson_mut_obj_get(yyjson_mut_arr_get(yyjson_mut_doc_get_root(je_doc_mut()), 0), "v");
        ASSERT_NE(v, nullptr);
        const char *type = yyjson_mut_is_null(v)    ? "null"
                           : yyjson_mut_is_true(v)  ? "true"
                           : yyjson_mut_is_false(v) ? "false"
                           : yyjson_mut_is_sint(v)  ? "sint"
                           : yyjson_mut_is_uint(v)  ? "uint"
                           : yyjson_mut_is_real(v)  ? "real"
                           : yyjson_mut_is_str(v)   ? "string"
                                                    : "other";
        EXPECT_STREQ(type, row.type);
    }
}

TEST(FromCsv, FailuresLeaveTheDocument) {
    struct Row {
        const char *name;
        const char *csv;
        const char *message;
    } rows[] = {
        {"null", nullptr, "null csv"},
        {"empty", "", "empty csv (no header)"},
        {"only a byte-order mark", "\xEF\xBB\xBF", "empty csv (no header)"},
        {"lone line feed", "\n", "empty csv (no header)"},
        {"lone CR LF", "\r\n", "empty csv (no header)"},
        {"empty quoted field", "\"\"", "empty csv (no header)"},
        {"header only", "a,b", "csv has no data rows"},
        {"header and line feed", "a,b\n", "csv has no data rows"},
        {"header and blank lines", "a,b\n\n\r\n\r", "csv has no data rows"},
        {"invalid UTF-8 in a cell", "a\n\xFF\n", "csv is not valid UTF-8"},
        {"truncated sequence in the header", "a\xC3\n1\n", "csv is not valid UTF-8"},
        {"surrogate", "a\n\xED\xA0\x80\n", "csv is not valid UTF-8"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(json_parse(R"({"keep":1})"), 0);
        EXPECT_EQ(json_from_csv(row.csv), -1);
        EXPECT_STREQ(json_last_error(), row.message);
        EXPECT_EQ(doc_text(), R"({"keep":1})");
    }
    // No document is needed, and none is left after a failure.
    unload();
    EXPECT_EQ(json_from_csv("a,b"), -1);
    EXPECT_STREQ(json_root_type(), "");
    EXPECT_EQ(json_from_csv("a\n1\n"), 0);
    EXPECT_EQ(doc_text(), R"([{"a":1}])");
}

TEST(FromCsv, DocumentOwnsItsTexts) {
    std::string csv = "key,other\nvalue,\"quoted\"\n";
    ASSERT_EQ(json_from_csv(csv.c_str()), 0);
    std::fill(csv.begin(), csv.end(), '#');
    csv = std::string(csv.size(), '?');
    EXPECT_EQ(doc_text(), R"([{"key":"value","other":"quoted"}])");
    // A second conversion reuses the call's tables; the first document's
    // keys must not change with them.
    ASSERT_EQ(json_from_csv("zz\n1\n"), 0);
    ASSERT_EQ(json_parse(R"([{"key":"value"}])"), 0);
    EXPECT_EQ(doc_text(), R"([{"key":"value"}])");
}

TEST(FromCsv, RoundTripsFlatData) {
    const char *texts[] = {
        "a,b,c\n1,x,true\n-2,\"y,z\",false\n,,\n",
        "name,note\nann,\"she said \"\"hi\"\"\"\nbob,\"two\nlines\"\n",
        "n\n0.5\n-9223372036854775808\n18446744073709551615\n1.0000000000000001e+300\n",
        "s\n\" padded \"\nplain words\n\"cr\rinside\"\n",
        "\"a,b\",\"c\"\"d\"\n1,2\n",
    };
    for (const char *text : texts) {
        SCOPED_TRACE(text);
        ASSERT_EQ(json_from_csv(text), 0) << json_last_error();
        EXPECT_STREQ(json_to_csv("$"), text);
    }
}

TEST(FromCsv, BigTexts) {
    constexpr int kRows = 200000;
    std::string csv = "id,name,score,flag,note\n";
    for (int i = 0; i < kRows; ++i)
        csv += std::to_string(i) + ",n" + std::to_string(i) + "," + std::to_string(i) + ".5," +
               (i % 2 ? "true" : "false") + ",\"a,b\"\n";
    ASSERT_EQ(json_from_csv(csv.c_str()), 0) << json_last_error();
    EXPECT_STREQ(json_get("$[199999]"), R"({"id":199999,"name":"n199999","score":199999.5,"flag":true,"note":"a,b"})");
    EXPECT_STREQ(json_get("$[200000]"), "");
    // Back to CSV through a text far larger than the first output block.
    std::string back = json_to_csv("$");
    EXPECT_TRUE(back == csv);
    EXPECT_EQ(json_diff(doc_text().c_str()), 0);
    EXPECT_EQ(json_diff_count(), 0);
}

// The public CSV cases: csvs/NAME.csv with json/NAME.json holding the
// expected records, every cell as a string. The engine types cells, so each
// typed value must be what its expected text reads as.
bool cell_matches(yyjson_val *v, const std::string &want) {
    char *end = nullptr;
    if (yyjson_is_str(v)) return want == yyjson_get_str(v);
    if (yyjson_is_null(v)) return want.empty() || want == "null";
    if (yyjson_is_bool(v)) return want == (yyjson_get_bool(v) ? "true" : "false");
    if (yyjson_is_int(v)) {
        long long n = strtoll(want.c_str(), &end, 10);
        int64_t got = yyjson_is_sint(v) ? yyjson_get_sint(v) : static_cast<int64_t>(yyjson_get_uint(v));
        return *end == '\0' && !want.empty() && n == got;
    }
    if (yyjson_is_real(v)) {
        double d = strtod(want.c_str(), &end);
        return *end == '\0' && !want.empty() && d == yyjson_get_real(v);
    }
    return false;
}

TEST(FromCsv, PublicCsvCases) {
    const std::string dir = je_data_dir();
    if (dir.empty()) GTEST_SKIP() << "shared data directory absent";
    const std::string root = dir + "/csv-spectrum";
    DIR *d = opendir((root + "/csvs").c_str());
    if (!d) GTEST_SKIP() << "csv-spectrum absent in " << dir;
    std::vector<std::string> names;
    while (dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 4 && n.compare(n.size() - 4, 4, ".csv") == 0) names.push_back(n.substr(0, n.size() - 4));
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    ASSERT_FALSE(names.empty());
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        std::string csv = je_slurp(root + "/csvs/" + name + ".csv");
        std::string want_text = je_slurp(root + "/json/" + name + ".json");
        je_doc_guard want(yyjson_read(want_text.data(), want_text.size(), 0));
        ASSERT_NE(want.d, nullptr) << "expected records do not parse";
        ASSERT_EQ(json_from_csv(csv.c_str()), 0) << json_last_error();
        std::string got_text = doc_text();
        je_doc_guard got(yyjson_read(got_text.data(), got_text.size(), 0));
        ASSERT_NE(got.d, nullptr);
        yyjson_val *wr = yyjson_doc_get_root(want.d), *gr = yyjson_doc_get_root(got.d);
        ASSERT_EQ(yyjson_arr_size(gr), yyjson_arr_size(wr)) << got_text;
        for (size_t r = 0; r < yyjson_arr_size(wr); ++r) {
            yyjson_val *wo = yyjson_arr_get(wr, r), *go = yyjson_arr_get(gr, r);
            ASSERT_EQ(yyjson_obj_size(go), yyjson_obj_size(wo)) << "record " << r;
            yyjson_obj_iter wi = yyjson_obj_iter_with(wo), gi = yyjson_obj_iter_with(go);
            yyjson_val *wk, *gk;
            while ((wk = yyjson_obj_iter_next(&wi)) && (gk = yyjson_obj_iter_next(&gi))) {
                EXPECT_STREQ(yyjson_get_str(gk), yyjson_get_str(wk)) << "record " << r;
                std::string want_cell = yyjson_get_str(yyjson_obj_iter_get_val(wk));
                EXPECT_TRUE(cell_matches(yyjson_obj_iter_get_val(gk), want_cell))
                    << "record " << r << " column " << yyjson_get_str(wk) << ": want [" << want_cell << "]";
            }
        }
    }
}

// ---- the commands ---------------------------------------------------------------------

TEST(ConvertCli, Merge) {
    std::string doc = je_temp_file(R"({"a":1,"b":{"x":1}})");
    std::string patch = je_temp_file(R"({"b":{"y":2},"c":null})");
    je_cli_result r = je_run_cli("merge '" + patch + "' '" + doc + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"a\":1,\"b\":{\"x\":1,\"y\":2},\"c\":null}\n");
    r = je_run_cli("merge '" + patch + "'", "[1]");
    EXPECT_EQ(r.out, "{\"b\":{\"y\":2},\"c\":null}\n");
    std::string bad = je_temp_file("{");
    r = je_run_cli("merge '" + bad + "' '" + doc + "'");
    EXPECT_EQ(r.status, 1);
    // The patch is named with the place of the fault.
    EXPECT_EQ(r.err, "jsonengine: " + bad + ": parse error: unexpected end of data (line 1 col 2)\n");
    EXPECT_EQ(r.out, "");
    for (const std::string &f : {doc, patch, bad}) unlink(f.c_str());
}

TEST(ConvertCli, DiffExitStatus) {
    std::string a = je_temp_file(R"({"a":1,"b":2})");
    std::string same = je_temp_file(R"({"b":2,"a":1})");
    std::string other = je_temp_file(R"({"a":5,"c":"s"})");
    std::string bad = je_temp_file("[");
    struct Row {
        const char *name;
        std::string args;
        int status;
        std::string out;
    } rows[] = {
        {"equal", "diff '" + a + "' '" + same + "'", 0, ""},
        // As diff(1): how the second input differs from the first.
        {"different", "diff '" + a + "' '" + other + "'", 1,
         "$.a\tchanged\t1\t5\n$.b\tremoved\t2\t\n$.c\tadded\t\t\"s\"\n"},
        {"first from standard input", "diff - '" + other + "'", 1,
         "$.a\tchanged\t1\t5\n$.b\tremoved\t2\t\n$.c\tadded\t\t\"s\"\n"},
        {"second from standard input", "diff '" + other + "' -", 1,
         "$.a\tchanged\t5\t1\n$.c\tremoved\t\"s\"\t\n$.b\tadded\t\t2\n"},
        {"second does not parse", "diff '" + a + "' '" + bad + "'", 2, ""},
        {"first does not parse", "diff '" + bad + "' '" + a + "'", 2, ""},
        {"missing file", "diff /nonexistent/x.json '" + a + "'", 2, ""},
        {"one argument", "diff '" + a + "'", 2, ""},
        {"no arguments", "diff", 2, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_cli_result r = je_run_cli(row.args, R"({"a":1,"b":2})");
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err.empty(), row.status != 2) << r.err;
    }
    for (const std::string &f : {a, same, other, bad}) unlink(f.c_str());
}

TEST(ConvertCli, CsvBothWays) {
    std::string doc = je_temp_file(R"({"rows":[{"a":1,"b":"x,y"},{"a":2}]})");
    je_cli_result r = je_run_cli("to-csv '$.rows' '" + doc + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "a,b\n1,\"x,y\"\n2,\n");
    r = je_run_cli("to-csv '" + doc + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jsonengine: path $ is not an array\n");
    r = je_run_cli("to-csv", "[{\"k\":true}]");
    EXPECT_EQ(r.out, "k\ntrue\n");
    r = je_run_cli("to-csv '$.rows'", R"({"rows":[]})");
    EXPECT_EQ(r.status, 0) << "an empty array is no failure: " << r.err;
    EXPECT_EQ(r.out + r.err, "");

    std::string csv = je_temp_file("a,b\n1,\"x,y\"\n", ".csv");
    r = je_run_cli("from-csv '" + csv + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "[{\"a\":1,\"b\":\"x,y\"}]\n");
    r = je_run_cli("from-csv", "n\r\n1.5\r\n");
    EXPECT_EQ(r.out, "[{\"n\":1.5}]\n");
    r = je_run_cli("from-csv -", "a,b\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jsonengine: csv has no data rows\n");
    unlink(doc.c_str());
    unlink(csv.c_str());
}

}  // namespace
