// The two trees of one document: every read of a document read in place
// (immutable) gives the same bytes, messages and rows as the same read after
// the first edit made it mutable, and as the same document loaded from a
// file; on the JSON corpus, the bench documents and generated documents
// (duplicate keys, keys holding NUL bytes, large integers, 1,000,000 levels
// on a 1 MiB stack).
#include <dirent.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../fuzz/all_reads.h"
#include "je_test_util.h"
#include "je_tree.h"

namespace {

// The first line where two read logs part, for a readable failure.
std::string first_difference(const std::string &a, const std::string &b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    size_t from = a.rfind('\n', i == 0 ? 0 : i - 1);
    from = from == std::string::npos ? 0 : from + 1;
    return "immutable: " + a.substr(from, 200) + "\nmutable:   " + b.substr(from, 200);
}

// Loads text, reads everything on the immutable tree, forces the mutable
// copy and reads again; when path is given, the file loaded in place must
// read the same as well.
void expect_same_reads(const std::string &name, const std::string &text, const std::string &path = "",
                       const je_read_probes &probes = je_default_probes()) {
    SCOPED_TRACE(name);
    ASSERT_EQ(json_parse(text.c_str()), 0) << json_last_error();
    ASSERT_NE(je_idoc, nullptr);
    const std::string imut = je_all_reads(probes);
    if (!path.empty()) {
        ASSERT_EQ(json_parse_file(path.c_str()), 0) << json_last_error();
        ASSERT_NE(je_idoc_text, nullptr);
        const std::string in_place = je_all_reads(probes);
        EXPECT_TRUE(in_place == imut) << name << " (file read in place)\n" << first_difference(imut, in_place);
    }
    ASSERT_TRUE(je_force_mutable());
    EXPECT_STREQ(json_last_error(), "value: input length is 0");
    // The copy replaced the immutable document, which is gone.
    EXPECT_EQ(je_idoc, nullptr);
    EXPECT_EQ(je_idoc_text, nullptr);
    ASSERT_NE(je_doc, nullptr);
    const std::string mut = je_all_reads(probes);
    EXPECT_TRUE(mut == imut) << name << "\n" << first_difference(imut, mut);
}

TEST(Trees, JsonCorpusReadsAlikeOnBothTrees) {
    std::string data = je_data_dir();
    if (data.empty()) GTEST_SKIP() << "shared data directory " << JE_DATA_DIR << " is absent";
    std::string dir = data + "/json-test-suite/test_parsing";
    DIR *d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr) << dir;
    std::vector<std::string> names;
    while (dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if ((n[0] == 'y' || n[0] == 'i') && n.size() > 5 && n.substr(n.size() - 5) == ".json") names.push_back(n);
    }
    closedir(d);
    ASSERT_FALSE(names.empty());
    size_t loaded = 0;
    for (const std::string &n : names) {
        std::string path = dir + "/" + n;
        std::string text = je_slurp(path);
        if (json_parse(text.c_str()) != 0) continue;  // refused texts have one tree only
        ++loaded;
        expect_same_reads(n, text, text.size() == strlen(text.c_str()) ? path : "");
    }
    EXPECT_GT(loaded, 90u);
}

TEST(Trees, BenchDocumentsReadAlikeOnBothTrees) {
    std::string data = je_data_dir();
    if (data.empty()) GTEST_SKIP() << "shared data directory " << JE_DATA_DIR << " is absent";
    struct Row {
        const char *file;
        je_read_probes probes;
    };
    je_read_probes twitter = je_default_probes(), citm = je_default_probes(), canada = je_default_probes();
    twitter.paths.push_back("$.statuses");
    twitter.queries.push_back("$.statuses[?.retweet_count > 0].user.screen_name");
    twitter.queries.push_back("$.statuses | map(.entities.hashtags | length)");
    citm.paths.push_back("$.performances");
    citm.queries.push_back("$.performances[?.venueCode == \"PLEYEL_PLEYEL\"].id");
    canada.queries.push_back("$.features[0].geometry.coordinates[0][?.[0] < -60] | length");
    const Row rows[] = {{"twitter.json", twitter}, {"citm_catalog.json", citm}, {"canada.json", canada}};
    for (const Row &row : rows) {
        std::string path = data + "/bench-docs/" + row.file;
        expect_same_reads(row.file, je_slurp(path), path, row.probes);
    }
}

TEST(Trees, GeneratedDocumentsReadAlikeOnBothTrees) {
    std::string nul_key = std::string("{\"a\\u0000b\":1,\"a\":{\"\\u0000\":[\"x\\u0000y\"]},\"a\\u0000\":2}");
    struct Row {
        const char *name;
        std::string text;
    };
    const Row rows[] = {
        {"duplicate keys", R"({"a":1,"b":{"c":2},"a":{"b":[1,2]},"b":{"c":3,"c":4},"a":3})"},
        {"keys holding NUL bytes", nul_key},
        {"large integers", R"([18446744073709551615,-9223372036854775808,9223372036854775807,)"
                           R"(18446744073709551616,-9223372036854775809,1e308,-0.0,0.5,{"a":18446744073709551615}])"},
        {"records", R"([{"a":1,"b":"x,y"},{"a":2,"c":[true,{"d":null}]},{"b":"\"q\"","a":"é"},3,"s"])"},
        {"scalar root", R"("a\"b\\c\u0001\u00e9")"},
        {"empty containers", R"({"a":{},"b":[],"c":[{}],"":[[]]})"},
        {"escaped strings in place", R"({"a\nb":"x\ty","\u00e9":"\ud83d\ude00","a":"\/"})"},
    };
    for (const Row &row : rows) expect_same_reads(row.name, row.text, je_temp_file(row.text));
}

TEST(Trees, MillionLevelsReadAlikeOnBothTrees) {
    struct Row {
        const char *name;
        std::string text;
    };
    const Row rows[] = {
        {"arrays", je_nested(JE_TEST_DEEP, "[", "]", "\"a\"")},
        {"objects", je_nested(JE_TEST_DEEP, "{\"a\":", "}", "1")},
    };
    je_read_probes probes{{"$", "$[0]", "$.a"}, {"$.a", "$[0] | length"}, {"a"}, {"[1]", "{\"a\":{\"a\":2}}"}};
    for (const Row &row : rows) {
        je_run_small_stack([&] { expect_same_reads(row.name, row.text, "", probes); });
    }
}

TEST(Trees, FirstEditCopiesOnceAndFailedEditsLeaveTheDocument) {
    ASSERT_EQ(json_parse(R"({"a":[1,2],"b":"x"})"), 0);
    const std::string before = json_format("minify");
    struct Row {
        const char *name;
        int (*edit)();
    };
    const Row rows[] = {
        {"bad path", [] { return json_set("a", "1"); }},
        {"bad value", [] { return json_set("$.a", "[1,"); }},
        {"index past the end", [] { return json_set("$.a[2]", "1"); }},
        {"delete missing key", [] { return json_delete("$.zz"); }},
        {"delete the root", [] { return json_delete("$"); }},
        {"merge bad text", [] { return json_merge("{"); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.edit(), -1);
        EXPECT_EQ(json_format("minify"), before);
    }
    ASSERT_EQ(json_set("$.c", "true"), 0);
    yyjson_mut_doc *copy = je_doc;
    EXPECT_EQ(je_idoc, nullptr);
    ASSERT_EQ(json_merge(R"({"d":1})"), 0);
    EXPECT_EQ(je_doc, copy);  // no second copy
    EXPECT_STREQ(json_format("minify"), R"({"a":[1,2],"b":"x","c":true,"d":1})");
    // A new load is read in place again.
    ASSERT_EQ(json_parse("[1]"), 0);
    EXPECT_EQ(je_doc, nullptr);
    EXPECT_NE(je_idoc, nullptr);
}

}  // namespace
