// Editing by path: json_set and json_delete, their failure messages and
// check order, what each leaves in the document, and edits in and around a
// document nested 1,000,000 levels deep.
#include <gtest/gtest.h>

#include <string>

#include "je_test_util.h"
#include "je_tree.h"

namespace {

std::string repeat(const std::string &piece, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += piece;
    return s;
}

void unload() { je_doc_replace(nullptr); }

// One edit: the document before, the path (and value), the message ("" for
// success) and the whole document afterwards.
struct SetRow {
    const char *name;
    const char *doc;
    const char *path;
    const char *value;
    std::string message;
    const char *after;
};

void run_set_rows(const SetRow *rows, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const SetRow &row = rows[i];
        SCOPED_TRACE(row.name);
        ASSERT_EQ(json_parse(row.doc), 0) << json_last_error();
        je_set_error("stale");
        int rc = json_set(row.path, row.value);
        EXPECT_EQ(rc, row.message.empty() ? 0 : -1);
        EXPECT_EQ(std::string(json_last_error()), row.message);
        EXPECT_EQ(std::string(json_get("$")), row.after);
    }
}

TEST(Set, Puts) {
    const SetRow rows[] = {
        {"root becomes a number", "{\"a\":1}", "$", "42", "", "42"},
        {"root becomes a container", "5", "$", " [1, {\"b\" : null}] ", "", "[1,{\"b\":null}]"},
        {"member added to an empty object", "{}", "$.a", "1", "", "{\"a\":1}"},
        {"new member goes at the end", "{\"b\":0,\"c\":0}", "$.a", "1", "", "{\"b\":0,\"c\":0,\"a\":1}"},
        {"first duplicate replaced in place, later ones removed", "{\"a\":1,\"b\":2,\"a\":3}", "$.a", "9", "",
         "{\"a\":9,\"b\":2}"},
        {"all later duplicates removed", "{\"a\":1,\"a\":2,\"x\":0,\"a\":3}", "$.a", "[]", "", "{\"a\":[],\"x\":0}"},
        {"last member replaced", "{\"b\":1,\"a\":2}", "$.a", "9", "", "{\"b\":1,\"a\":9}"},
        {"duplicate last member removed", "{\"a\":1,\"b\":2,\"c\":3,\"a\":4}", "$.a", "9", "",
         "{\"a\":9,\"b\":2,\"c\":3}"},
        {"replacement keeps the member's place", "{\"a\":1,\"b\":2}", "$.a", "{\"z\":[]}", "",
         "{\"a\":{\"z\":[]},\"b\":2}"},
        {"intermediate objects created", "{}", "$.x.y.z", "true", "", "{\"x\":{\"y\":{\"z\":true}}}"},
        {"intermediate created after existing members", "{\"k\":1}", "$.x.y", "2", "", "{\"k\":1,\"x\":{\"y\":2}}"},
        {"walk follows the first duplicate only", "{\"a\":{\"b\":1},\"a\":{\"c\":1}}", "$.a.x", "5", "",
         "{\"a\":{\"b\":1,\"x\":5},\"a\":{\"c\":1}}"},
        {"insert before the index", "{\"arr\":[10,20,30]}", "$.arr[1]", "99", "", "{\"arr\":[10,99,20,30]}"},
        {"insert at the front", "[10]", "$[0]", "\"s\"", "", "[\"s\",10]"},
        {"insert before the last element", "[1,2,3]", "$[2]", "0", "", "[1,2,0,3]"},
        {"through arrays into an object", "{\"a\":[{\"b\":1}]}", "$.a[0].c", "2", "", "{\"a\":[{\"b\":1,\"c\":2}]}"},
        {"key with a space and a bracket", "{}", "$.a b]", "1", "", "{\"a b]\":1}"},
        {"UTF-8 key", "{}", "$.\xC3\xA9", "1", "", "{\"\xC3\xA9\":1}"},
        {"key matched by length, not by its NUL", "{\"a\\u0000b\":1}", "$.a", "2", "", "{\"a\\u0000b\":1,\"a\":2}"},
        {"value escapes decoded", "{}", "$.s", "\"\\u00e9\\/\"", "", "{\"s\":\"\xC3\xA9/\"}"},
        {"value with duplicate keys kept", "{}", "$.o", "{\"k\":1,\"k\":2}", "", "{\"o\":{\"k\":1,\"k\":2}}"},
    };
    run_set_rows(rows, sizeof rows / sizeof rows[0]);
    ASSERT_EQ(json_parse("{}"), 0);
    ASSERT_EQ(json_set("$", "42"), 0);
    EXPECT_STREQ(json_root_type(), "number");
}

TEST(Set, Failures) {
    const std::string bad_key = "$.ok.\xFF";
    const SetRow rows[] = {
        {"null path", "{}", nullptr, "1", "null path", "{}"},
        {"invalid path", "{}", "$.a[", "1", "expected array index in path at: ", "{}"},
        {"path checked before the value", "{}", "a", "{", "path must start with '$': a", "{}"},
        {"null value", "{}", "$.a", nullptr, "value: null value", "{}"},
        {"lone brace", "{\"a\":1}", "$.a", "{", "value: unexpected end of data", "{\"a\":1}"},
        {"two values", "{}", "$.a", "1 2", "value: unexpected content after document", "{}"},
        {"empty value", "{}", "$.x.y", "", "value: input length is 0", "{}"},
        {"key step on a number before the last", "{\"a\":5}", "$.a.b.c", "1",
         "path $.a.b.c: element missing (not an object)", "{\"a\":5}"},
        {"key step on an array before the last", "{\"x\":[]}", "$.x.y.z", "1",
         "path $.x.y.z: element missing (not an object)", "{\"x\":[]}"},
        {"index step on an empty array before the last", "[]", "$[0].a", "1", "path $[0].a: element missing", "[]"},
        {"index step on an object before the last", "{\"a\":{}}", "$.a[0].b", "1", "path $.a[0].b: element missing",
         "{\"a\":{}}"},
        {"index on a non-array parent", "[5]", "$[0][0]", "1", "path $[0][0]: parent is not an array", "[5]"},
        {"index past the end", "{\"arr\":[10,20,30]}", "$.arr[3]", "1",
         "path $.arr[3]: array index 3 out of range (size 3)", "{\"arr\":[10,20,30]}"},
        {"index on an empty array", "{\"arr\":[]}", "$.arr[0]", "1",
         "path $.arr[0]: array index 0 out of range (size 0)", "{\"arr\":[]}"},
        {"clamped index in the message", "[1]", "$[99999999999]", "1",
         "path $[99999999999]: array index 2147483647 out of range (size 1)", "[1]"},
        {"key on a number parent", "{\"a\":5}", "$.a.b", "1", "path $.a.b: parent is not an object", "{\"a\":5}"},
        {"key on an array root", "[]", "$.a", "1", "path $.a: parent is not an object", "[]"},
        {"index on a scalar root", "\"s\"", "$[0]", "1", "path $[0]: parent is not an array", "\"s\""},
        // Members made on the way stay when a later step fails.
        {"intermediate kept when the last index fails", "{}", "$.x[0]", "1", "path $.x[0]: parent is not an array",
         "{\"x\":{}}"},
        {"chain kept when the last index fails", "{\"k\":0}", "$.x.y[0]", "1", "path $.x.y[0]: parent is not an array",
         "{\"k\":0,\"x\":{\"y\":{}}}"},
        {"chain kept when a later index step fails", "{}", "$.n.a[0].b", "1", "path $.n.a[0].b: element missing",
         "{\"n\":{\"a\":{}}}"},
        // The document stays writable: no member with a key that is not UTF-8.
        {"key not valid UTF-8", "{\"ok\":{}}", bad_key.c_str(), "1", "path " + bad_key + ": key is not valid UTF-8",
         "{\"ok\":{}}"},
        {"no intermediate before a bad key", "{}", "$.new.\xC3", "1", "path $.new.\xC3: key is not valid UTF-8", "{}"},
        {"overlong encoding", "{}", "$.\xC0\xAF", "1", "path $.\xC0\xAF: key is not valid UTF-8", "{}"},
        {"surrogate", "{}", "$.\xED\xA0\x80", "1", "path $.\xED\xA0\x80: key is not valid UTF-8", "{}"},
        {"value checked before the key", "{}", "$.\xFF", "{", "value: unexpected end of data", "{}"},
    };
    run_set_rows(rows, sizeof rows / sizeof rows[0]);
}

TEST(Set, NoDocumentIsCheckedFirst) {
    unload();
    struct Row {
        const char *path;
        const char *value;
    } rows[] = {{"$.a", "1"}, {"bad", "{"}, {nullptr, nullptr}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path ? row.path : "(null)");
        EXPECT_EQ(json_set(row.path, row.value), -1);
        EXPECT_STREQ(json_last_error(), "no document loaded");
        EXPECT_STREQ(json_root_type(), "");
    }
}

struct DeleteRow {
    const char *name;
    const char *doc;
    const char *path;
    std::string message;
    const char *after;
};

TEST(Delete, RemovesAndFails) {
    const DeleteRow rows[] = {
        {"every duplicate removed", "{\"a\":1,\"b\":2,\"a\":3}", "$.a", "", "{\"b\":2}"},
        {"order of the others kept", "{\"x\":0,\"a\":1,\"y\":0,\"a\":2,\"z\":0}", "$.a", "",
         "{\"x\":0,\"y\":0,\"z\":0}"},
        {"last member", "{\"b\":1,\"a\":2}", "$.a", "", "{\"b\":1}"},
        {"only member", "{\"a\":1}", "$.a", "", "{}"},
        {"middle element", "[10,20,30]", "$[1]", "", "[10,30]"},
        {"only element", "[5]", "$[0]", "", "[]"},
        {"nested element", "[[1,2]]", "$[0][1]", "", "[[1]]"},
        {"walk follows the first duplicate only", "{\"a\":{\"b\":1},\"a\":{\"b\":2}}", "$.a.b", "",
         "{\"a\":{},\"a\":{\"b\":2}}"},
        {"key matched by length, not by its NUL", "{\"a\\u0000b\":1,\"a\":2}", "$.a", "", "{\"a\\u0000b\":1}"},
        {"container removed whole", "{\"a\":{\"b\":[1,{\"c\":2}]},\"d\":3}", "$.a", "", "{\"d\":3}"},
        {"null path", "{}", nullptr, "null path", "{}"},
        {"invalid path", "{\"a\":1}", "$a", "unexpected character in path: 'a'", "{\"a\":1}"},
        {"root", "{\"a\":1}", "$", "cannot delete root '$'", "{\"a\":1}"},
        {"missing step creates nothing", "{}", "$.x.y", "path $.x.y: element missing", "{}"},
        {"key step on a number before the last", "{\"a\":5}", "$.a.b.c", "path $.a.b.c: element missing", "{\"a\":5}"},
        {"index step past the end before the last", "[]", "$[0].a", "path $[0].a: element missing", "[]"},
        {"index step on an object before the last", "{\"a\":{}}", "$.a[0].b", "path $.a[0].b: element missing",
         "{\"a\":{}}"},
        {"key on a number parent", "{\"a\":5}", "$.a.b", "path $.a.b: parent is not an object", "{\"a\":5}"},
        {"key on an array root", "[1]", "$.a", "path $.a: parent is not an object", "[1]"},
        {"index on an object parent", "{\"a\":{}}", "$.a[0]", "path $.a[0]: parent is not an array", "{\"a\":{}}"},
        {"index on an object root", "{\"0\":1}", "$[0]", "path $[0]: parent is not an array", "{\"0\":1}"},
        {"missing key", "{\"a\":1}", "$.missing", "path $.missing: key not found", "{\"a\":1}"},
        {"key on an empty object", "{}", "$.a", "path $.a: key not found", "{}"},
        {"key is case-sensitive", "{\"a\":1}", "$.A", "path $.A: key not found", "{\"a\":1}"},
        {"index past the end", "[10,20,30]", "$[3]", "path $[3]: index out of range", "[10,20,30]"},
        {"clamped index", "[1]", "$[2147483648]", "path $[2147483648]: index out of range", "[1]"},
    };
    for (const DeleteRow &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(json_parse(row.doc), 0) << json_last_error();
        je_set_error("stale");
        EXPECT_EQ(json_delete(row.path), row.message.empty() ? 0 : -1);
        EXPECT_EQ(std::string(json_last_error()), row.message);
        EXPECT_EQ(std::string(json_get("$")), row.after);
    }
    unload();
    for (const char *path : {"$.a", "$", "bad"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(json_delete(path), -1);
        EXPECT_STREQ(json_last_error(), "no document loaded");
    }
}

// Edits 256 steps down into a document that goes on far below the path,
// at its root, and with a value text as deep as the document.
TEST(EditDepth, EditsOnAMillionLevelDocument) {
    const std::string objs = je_nested(JE_TEST_DEEP, "{\"a\":", "}", "1");
    const std::string arrs = je_nested(JE_TEST_DEEP, "[", "]", "1");
    const std::string down255 = "$" + repeat(".a", 255);
    je_run_small_stack([&] {
        ASSERT_EQ(json_parse(objs.c_str()), 0);
        EXPECT_EQ(json_set((down255 + ".b").c_str(), "2"), 0) << json_last_error();
        EXPECT_STREQ(json_get((down255 + ".b").c_str()), "2");
        EXPECT_EQ(json_delete((down255 + ".b").c_str()), 0);
        EXPECT_EQ(json_set((down255 + ".a").c_str(), "[]"), 0);  // replaces the deep rest
        std::string all = json_get("$");
        EXPECT_TRUE(all == je_nested(256, "{\"a\":", "}", "[]"));

        ASSERT_EQ(json_parse(arrs.c_str()), 0);
        const std::string down = "$" + repeat("[0]", 256);
        EXPECT_EQ(json_set(down.c_str(), "0"), 0) << json_last_error();
        EXPECT_EQ(json_delete(("$" + repeat("[0]", 255) + "[1]").c_str()), 0);
        EXPECT_STREQ(json_get(down.c_str()), "0");
        EXPECT_EQ(json_delete(("$" + repeat("[0]", 255) + "[5]").c_str()), -1);
        EXPECT_EQ(std::string(json_last_error()), "path $" + repeat("[0]", 255) + "[5]: index out of range");

        // At the root: the whole deep tree is dropped or replaced.
        ASSERT_EQ(json_parse(objs.c_str()), 0);
        EXPECT_EQ(json_set("$.b", "true"), 0);
        EXPECT_EQ(json_delete("$"), -1);
        EXPECT_STREQ(json_last_error(), "cannot delete root '$'");
        EXPECT_EQ(json_delete("$.a"), 0);
        EXPECT_STREQ(json_get("$"), "{\"b\":true}");
        ASSERT_EQ(json_parse(arrs.c_str()), 0);
        EXPECT_EQ(json_delete("$[0]"), 0);
        EXPECT_STREQ(json_get("$"), "[]");

        // A value text as deep as the document.
        EXPECT_EQ(json_set("$[0]", "0"), -1);
        EXPECT_EQ(json_set("$", arrs.c_str()), 0) << json_last_error();
        all = json_get("$");
        EXPECT_TRUE(all == arrs);
        ASSERT_EQ(json_parse("{}"), 0);
        EXPECT_EQ(json_set("$.v", objs.c_str()), 0) << json_last_error();
        all = json_get("$.v");
        EXPECT_TRUE(all == objs);
        EXPECT_EQ(json_delete("$.v"), 0);
        EXPECT_STREQ(json_get("$"), "{}");
    });
}

}  // namespace
