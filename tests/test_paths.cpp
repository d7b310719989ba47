// Paths: the grammar and its step table, navigation, and reading by path
// through json_get and json_extract (identical in results and messages),
// including the output limit and a path into a 1,000,000-level document.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "je_test_util.h"
#include "je_tree.h"

namespace {

// The output buffer's text, or null when it is absent or empty.
const char *bigbuf_text() { return (je_bigbuf.ptr && je_bigbuf.ptr[0]) ? je_bigbuf.ptr : nullptr; }

std::string repeat(const std::string &piece, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += piece;
    return s;
}

// A value read through both exported names: same text, same message.
struct GetResult {
    std::string text;
    std::string error;
};

GetResult read_with(const char *(*fn)(const char *), const char *path) {
    je_set_error("stale");
    std::string text = fn(path);
    return {text, json_last_error()};
}

struct StepWant {
    int kind;
    std::string key;
    int64_t index;
};

TEST(PathParse, StepTable) {
    const std::string key511(511, 'k');
    struct Row {
        const char *name;
        std::string path;
        std::vector<StepWant> steps;
    };
    const Row rows[] = {
        {"root", "$", {}},
        {"keys and indexes", "$.a.b[2][0]", {{0, "a", 0}, {0, "b", 0}, {1, "", 2}, {1, "", 0}}},
        {"space inside a key", "$.a b", {{0, "a b", 0}}},
        {"closing bracket inside a key", "$.a]", {{0, "a]", 0}}},
        {"dollar and quotes as keys", "$.$.\"q\"", {{0, "$", 0}, {0, "\"q\"", 0}}},
        {"UTF-8 key", "$.\xC3\xA9t\xC3\xA9", {{0, "\xC3\xA9t\xC3\xA9", 0}}},
        {"leading zeros", "$[007]", {{1, "", 7}}},
        {"largest index", "$[2147483647]", {{1, "", 2147483647}}},
        {"index one past the clamp", "$[2147483648]", {{1, "", 2147483647}}},
        {"eleven digits", "$[99999999999]", {{1, "", 2147483647}}},
        {"very long digit run", "$[" + std::string(400, '9') + "]", {{1, "", 2147483647}}},
        {"511-byte key", "$." + key511 + "[1]", {{0, key511, 0}, {1, "", 1}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_set_error("untouched");
        ASSERT_TRUE(je_parse_path(row.path.c_str()));
        EXPECT_STREQ(json_last_error(), "untouched");
        ASSERT_EQ(je_nsteps, static_cast<int32_t>(row.steps.size()));
        for (size_t i = 0; i < row.steps.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(je_steps[i].kind, row.steps[i].kind);
            EXPECT_EQ(std::string(je_steps[i].key), row.steps[i].key);
            EXPECT_EQ(je_steps[i].index, row.steps[i].index);
        }
    }
    ASSERT_TRUE(je_parse_path(("$" + repeat("[1]", 256)).c_str()));
    EXPECT_EQ(je_nsteps, 256);
    ASSERT_TRUE(je_parse_path(("$" + repeat(".k", 256)).c_str()));
    EXPECT_EQ(je_nsteps, 256);
}

// Every fault the grammar reports, through both reading functions, and
// which one wins when there are several: the first from the left, the step
// limit before the next step.
TEST(PathParse, Failures) {
    const std::string key512(512, 'k');
    const std::string steps256 = "$" + repeat("[0]", 256);
    struct Row {
        const char *name;
        const char *path;  // null: a null pointer
        std::string message;
    };
    const std::string long_key_path = "$." + key512;
    const std::string too_deep = steps256 + ".a";
    const std::string too_deep_then_fault = steps256 + "x";
    const std::string too_deep_then_long_key = steps256 + "." + key512;
    const std::string long_key_then_fault = "$." + key512 + "..";
    const Row rows[] = {
        {"null", nullptr, "null path"},
        {"empty", "", "path must start with '$': "},
        {"no dollar", "a.b", "path must start with '$': a.b"},
        {"dollar later", " $", "path must start with '$':  $"},
        {"key step without key before bracket", "$.[0]", "expected key after '.'"},
        {"dot at the end", "$.", "empty path key"},
        {"two dots", "$.a..b", "empty path key"},
        {"512-byte key", long_key_path.c_str(), "path key too long"},
        {"negative index", "$[-1]", "expected array index in path at: -1]"},
        {"space after bracket", "$.a[ 1]", "expected array index in path at:  1]"},
        {"empty brackets", "$[]", "expected array index in path at: ]"},
        {"bracket at the end", "$[", "expected array index in path at: "},
        {"space before closing bracket", "$[12 ]", "expected ']' in path at: 12 ]"},
        {"unclosed index", "$[3", "expected ']' in path at: 3"},
        {"hex index", "$[0x1]", "expected ']' in path at: 0x1]"},
        {"letter after dollar", "$x", "unexpected character in path: 'x'"},
        {"letter after index", "$[0]x", "unexpected character in path: 'x'"},
        {"two dollars", "$$", "unexpected character in path: '$'"},
        {"extra bracket", "$[0]]", "unexpected character in path: ']'"},
        {"257 steps", too_deep.c_str(), "path too deep"},
        {"first fault from the left wins", "$x.[0]", "unexpected character in path: 'x'"},
        {"empty key before a bad index", "$.a..b[-1]", "empty path key"},
        {"bad index before an empty key", "$[a].", "expected array index in path at: a]."},
        {"long key before an empty key", long_key_then_fault.c_str(), "path key too long"},
        {"step limit before a bad 257th step", too_deep_then_fault.c_str(), "path too deep"},
        {"step limit before a long 257th key", too_deep_then_long_key.c_str(), "path too deep"},
    };
    ASSERT_EQ(json_parse("{\"a\":{\"b\":[0]}}"), 0);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        for (auto fn : {json_get, json_extract}) {
            GetResult r = read_with(fn, row.path);
            EXPECT_EQ(r.text, "");
            EXPECT_EQ(r.error, row.message);
        }
        EXPECT_FALSE(je_parse_path(row.path));
        EXPECT_EQ(std::string(json_last_error()), row.message);
        EXPECT_STREQ(json_get("$"), "{\"a\":{\"b\":[0]}}");
    }
}

TEST(PathParse, LongestKeyAndDeepestPathReadValues) {
    const std::string key511(511, 'k');
    const std::string doc = "{\"" + key511 + "\":{\"" + key511 + "x\":2}}";
    ASSERT_EQ(json_parse(doc.c_str()), 0);
    EXPECT_STREQ(json_get(("$." + key511).c_str()), ("{\"" + key511 + "x\":2}").c_str());
    EXPECT_STREQ(json_get(("$." + key511 + "." + key511 + "x").c_str()), "");
    EXPECT_STREQ(json_last_error(), "path key too long");

    const std::string arrays = je_nested(257, "[", "]", "9");
    ASSERT_EQ(json_parse(arrays.c_str()), 0);
    EXPECT_STREQ(json_get(("$" + repeat("[0]", 256)).c_str()), "[9]");
    EXPECT_STREQ(json_get(("$" + repeat("[0]", 257)).c_str()), "");
    EXPECT_STREQ(json_last_error(), "path too deep");
}

const char *const doc_text =
    "{\n"
    "  \"name\": \"x\",\n"
    "  \"list\": [10, 20, 30, 40, 50],\n"
    "  \"obj\": {\"a\": 1, \"a\": 2, \"\": 3, \"a b\": 4, \"a]\": 5, \"$\": 6, \"ab\": 7},\n"
    "  \"esc\\u0061ped\": {\"\\u00e9\": \"caf\\u00e9/\\\"\"},\n"
    "  \"nul\": {\"a\\u0000b\": 1},\n"
    "  \"scalars\": [1.5, -0, true, false, null, \"s\", 18446744073709551615, -9223372036854775808, 1e300, -0.0]\n"
    "}";

TEST(Get, ReadsAndMisses) {
    struct Row {
        const char *name;
        const char *path;
        std::string text;  // "" means failure with message
        std::string message;
    };
    const Row rows[] = {
        {"root is compact", "$",
         "{\"name\":\"x\",\"list\":[10,20,30,40,50],\"obj\":{\"a\":1,\"a\":2,\"\":3,\"a "
         "b\":4,\"a]\":5,\"$\":6,\"ab\":7},"
         "\"escaped\":{\"\xC3\xA9\":\"caf\xC3\xA9/\\\"\"},\"nul\":{\"a\\u0000b\":1},"
         "\"scalars\":[1.5,0,true,false,null,\"s\",18446744073709551615,-9223372036854775808,1e300,-0.0]}",
         ""},
        {"string with quotes", "$.name", "\"x\"", ""},
        {"container", "$.list", "[10,20,30,40,50]", ""},
        {"last element", "$.list[4]", "50", ""},
        {"leading zeros", "$.list[004]", "50", ""},
        {"first duplicate", "$.obj.a", "1", ""},
        {"space in key", "$.obj.a b", "4", ""},
        {"bracket in key", "$.obj.a]", "5", ""},
        {"dollar key", "$.obj.$", "6", ""},
        {"key matched by decoded bytes", "$.escaped.\xC3\xA9", "\"caf\xC3\xA9/\\\"\"", ""},
        {"real", "$.scalars[0]", "1.5", ""},
        {"integer negative zero", "$.scalars[1]", "0", ""},
        {"real negative zero", "$.scalars[9]", "-0.0", ""},
        {"null literal", "$.scalars[4]", "null", ""},
        {"unsigned 64-bit", "$.scalars[6]", "18446744073709551615", ""},
        {"missing key", "$.missing", "", "path not found: $.missing"},
        {"index at the size", "$.list[5]", "", "path not found: $.list[5]"},
        {"clamped index", "$.list[99999999999]", "", "path not found: $.list[99999999999]"},
        {"key is case-sensitive", "$.NAME", "", "path not found: $.NAME"},
        {"key is not a prefix match", "$.obj.a b c", "", "path not found: $.obj.a b c"},
        {"escaped key not matched by its escape", "$.esc\\u0061ped", "", "path not found: $.esc\\u0061ped"},
        {"key with NUL not matched by its head", "$.nul.a", "", "path not found: $.nul.a"},
        {"key step on an array", "$.list.a", "", "path not found: $.list.a"},
        {"index step on an object", "$.obj[0]", "", "path not found: $.obj[0]"},
        {"step on a number", "$.list[0][0]", "", "path not found: $.list[0][0]"},
        {"step on a string", "$.name.x", "", "path not found: $.name.x"},
        {"step on true", "$.scalars[2].x", "", "path not found: $.scalars[2].x"},
        {"step on null", "$.scalars[4][0]", "", "path not found: $.scalars[4][0]"},
        {"syntax fault is not a miss", "$.missing[", "", "expected array index in path at: "},
        {"null path", nullptr, "", "null path"},
    };
    ASSERT_EQ(json_parse(doc_text), 0) << json_last_error();
    const std::string before = json_get("$");
    {
        // Reading the live document gives the bytes a read-only snapshot
        // written with the immutable writer would give.
        je_doc_guard snap(yyjson_mut_doc_imut_copy(je_doc_mut(), nullptr));
        size_t len = 0;
        je_free_guard text(yyjson_val_write_opts(yyjson_doc_get_root(snap.d), 0, nullptr, &len, nullptr));
        EXPECT_EQ(std::string(static_cast<char *>(text.p), len), before);
    }
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        GetResult got = read_with(json_get, row.path);
        GetResult ext = read_with(json_extract, row.path);
        EXPECT_EQ(got.text, row.text);
        EXPECT_EQ(got.error, row.message);
        EXPECT_EQ(ext.text, got.text);
        EXPECT_EQ(ext.error, got.error);
        EXPECT_EQ(std::string(json_get("$")), before);
    }
}

TEST(Get, NoDocumentWinsOverABadPath) {
    je_doc_replace(nullptr);
    for (const char *path : {"$", "bad", static_cast<const char *>(nullptr)}) {
        SCOPED_TRACE(path ? path : "(null)");
        for (auto fn : {json_get, json_extract}) {
            GetResult r = read_with(fn, path);
            EXPECT_EQ(r.text, "");
            EXPECT_EQ(r.error, "no document loaded");
        }
    }
}

TEST(Get, FailureReturnsTheStaticEmptyTextAndKeepsTheBuffer) {
    ASSERT_EQ(json_parse("[\"kept\"]"), 0);
    const char *ok = json_get("$[0]");
    ASSERT_STREQ(ok, "\"kept\"");
    EXPECT_EQ(ok, je_bigbuf.ptr);
    const char *bad = json_get("$[1]");
    EXPECT_EQ(bad, je_empty);
    EXPECT_STREQ(bigbuf_text(), "\"kept\"");
    // The next success overwrites the text the host was given.
    json_extract("$");
    EXPECT_STREQ(ok, "[\"kept\"]");
}

TEST(Get, WriterFailure) {
    // The reader never makes a non-finite real; the document is built
    // directly so that the writer refuses a value.
    ASSERT_EQ(json_parse("[1]"), 0);
    ASSERT_TRUE(yyjson_mut_arr_append(yyjson_mut_doc_get_root(je_doc_mut()), yyjson_mut_real(je_doc_mut(), NAN)));
    EXPECT_STREQ(json_get("$[0]"), "1");
    EXPECT_STREQ(json_get("$[1]"), "");
    EXPECT_STREQ(json_last_error(), "internal: json write failed");
    EXPECT_STREQ(json_extract("$"), "");
    EXPECT_STREQ(json_last_error(), "internal: json write failed");
}

// The longest text the buffer takes is 67,108,863 bytes (its request
// counts the NUL); one byte more is refused, and the old text stays.
TEST(Get, OutputLimit) {
    struct Row {
        const char *name;
        size_t text_len;
        bool served;
    };
    const Row rows[] = {{"longest text", 67108863, true}, {"one byte more", 67108864, false}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        {
            std::string doc = "[\"" + std::string(row.text_len - 2, 'v') + "\"]";
            ASSERT_EQ(json_parse(doc.c_str()), 0);
        }
        ASSERT_TRUE(je_fill_big("previous"));
        const char *text = json_get("$[0]");
        if (row.served) {
            EXPECT_STREQ(json_last_error(), "");
            ASSERT_EQ(text, je_bigbuf.ptr);
            EXPECT_EQ(strlen(text), row.text_len);
            EXPECT_EQ(text[0], '"');
            EXPECT_EQ(text[row.text_len - 1], '"');
        } else {
            EXPECT_EQ(text, je_empty);
            EXPECT_STREQ(json_last_error(), "output too large (>64MB)");
            EXPECT_STREQ(bigbuf_text(), "previous");
        }
    }
    ASSERT_EQ(json_parse("0"), 0);  // release the large document
}

TEST(PathsDepth, PathIntoAMillionLevelDocument) {
    const std::string text = je_nested(JE_TEST_DEEP, "[", "]", "7");
    const std::string objs = je_nested(JE_TEST_DEEP, "{\"k\":", "}", "7");
    je_run_small_stack([&] {
        ASSERT_EQ(json_parse(text.c_str()), 0);
        std::string below = json_get(("$" + repeat("[0]", 256)).c_str());
        EXPECT_EQ(below.size(), text.size() - 512);
        EXPECT_TRUE(below == je_nested(JE_TEST_DEEP - 256, "[", "]", "7"));
        EXPECT_STREQ(json_extract(("$" + repeat("[0]", 255) + "[1]").c_str()), "");
        EXPECT_EQ(std::string(json_last_error()), "path not found: $" + repeat("[0]", 255) + "[1]");

        ASSERT_EQ(json_parse(objs.c_str()), 0);
        below = json_get(("$" + repeat(".k", 256)).c_str());
        EXPECT_TRUE(below == je_nested(JE_TEST_DEEP - 256, "{\"k\":", "}", "7"));
    });
}

}  // namespace
