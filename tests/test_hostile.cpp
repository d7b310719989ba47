// Hostile arguments: every function with NULL for each pointer argument,
// empty texts, huge and negative indexes and unknown field names, before
// any document is loaded and after; and files that cannot be read the
// ordinary way. Every call must give its documented result and message,
// and a failing call leaves the document as it was.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "je_test_util.h"

namespace {

std::string str(const char *s) { return s ? s : "<NULL>"; }
std::string num(int v) { return std::to_string(v); }

// One hostile call: what it returns (a status or count as decimal text, or
// the text itself) and the message it must leave. An accessor must leave
// the message that stood before it; `keep` puts a known message there
// first ("null input", from json_parse(NULL)).
struct Row {
    const char *name;
    std::function<std::string()> call;
    std::string result;
    std::string message;
    bool keep = false;
};

const char *const kKept = "null input";

// Runs the rows in order; returns one line per mismatch.
std::vector<std::string> run_rows(const std::vector<Row> &rows) {
    std::vector<std::string> faults;
    for (const Row &r : rows) {
        if (r.keep) json_parse(nullptr);
        std::string before = str(json_get("$"));
        if (r.keep) json_parse(nullptr);
        std::string got = r.call();
        std::string msg = str(json_last_error());
        std::string after = str(json_get("$"));
        if (got != r.result)
            faults.push_back(std::string(r.name) + ": gave '" + got + "', expected '" + r.result + "'");
        if (msg != r.message)
            faults.push_back(std::string(r.name) + ": message '" + msg + "', expected '" + r.message + "'");
        if (after != before)
            faults.push_back(std::string(r.name) + ": changed the document to " + after.substr(0, 100));
    }
    return faults;
}

// ---- before any document ----------------------------------------------------

// Calls on the untouched engine. They run while the program starts, before
// any test can load a document, so they see the engine exactly as a host
// does right after loading the library, whatever tests are selected or in
// which order they run.
std::vector<Row> before_load_rows() {
    const std::string missing = "/nonexistent-je-dir/x.json";
    return {
        // Accessors first: nothing has filled a table yet.
        {"json_validate_report_json at start", [] { return str(json_validate_report_json()); }, "[]", kKept, true},
        {"json_query_raw at start", [] { return str(json_query_raw()); }, "[]", kKept, true},
        {"json_root_type", [] { return str(json_root_type()); }, "", kKept, true},
        {"json_query_count", [] { return num(json_query_count()); }, "0", kKept, true},
        {"json_query_field(0, path)", [] { return str(json_query_field(0, "path")); }, "", kKept, true},
        {"json_query_field(-1, value)", [] { return str(json_query_field(-1, "value")); }, "", kKept, true},
        {"json_query_field(INT_MAX, path)", [] { return str(json_query_field(INT_MAX, "path")); }, "", kKept, true},
        {"json_query_field(INT_MIN, NULL)", [] { return str(json_query_field(INT_MIN, nullptr)); }, "", kKept, true},
        {"json_search_count", [] { return num(json_search_count()); }, "0", kKept, true},
        {"json_search_field(0, key)", [] { return str(json_search_field(0, "key")); }, "", kKept, true},
        {"json_search_field(-1, NULL)", [] { return str(json_search_field(-1, nullptr)); }, "", kKept, true},
        {"json_diff_count", [] { return num(json_diff_count()); }, "0", kKept, true},
        {"json_diff_field(0, a)", [] { return str(json_diff_field(0, "a")); }, "", kKept, true},
        {"json_diff_field(INT_MIN, NULL)", [] { return str(json_diff_field(INT_MIN, nullptr)); }, "", kKept, true},
        // Working functions that need a document say so first.
        {"json_get(NULL)", [] { return str(json_get(nullptr)); }, "", "no document loaded"},
        {"json_get(\"\")", [] { return str(json_get("")); }, "", "no document loaded"},
        {"json_extract(NULL)", [] { return str(json_extract(nullptr)); }, "", "no document loaded"},
        {"json_set(NULL, NULL)", [] { return num(json_set(nullptr, nullptr)); }, "-1", "no document loaded"},
        {"json_set($, 1)", [] { return num(json_set("$", "1")); }, "-1", "no document loaded"},
        {"json_delete(NULL)", [] { return num(json_delete(nullptr)); }, "-1", "no document loaded"},
        {"json_query(NULL)", [] { return num(json_query(nullptr)); }, "-1", "empty query"},
        {"json_query(\"\")", [] { return num(json_query("")); }, "-1", "empty query"},
        {"json_query($)", [] { return num(json_query("$")); }, "-1", "no document loaded"},
        {"json_query($[)", [] { return num(json_query("$[")); }, "-1", "no document loaded"},
        {"json_stats_json", [] { return str(json_stats_json()); }, "", "no document loaded"},
        {"json_search(NULL, NULL)", [] { return num(json_search(nullptr, nullptr)); }, "-1", "no document loaded"},
        {"json_search(bogus, \"\")", [] { return num(json_search("bogus", "")); }, "-1", "no document loaded"},
        {"json_flatten", [] { return str(json_flatten()); }, "", "no document loaded"},
        {"json_format(NULL)", [] { return str(json_format(nullptr)); }, "", "no document loaded"},
        {"json_format(bogus)", [] { return str(json_format("bogus")); }, "", "no document loaded"},
        {"json_merge(NULL)", [] { return num(json_merge(nullptr)); }, "-1", "no document loaded"},
        {"json_diff(NULL)", [] { return num(json_diff(nullptr)); }, "-1", "no document loaded"},
        {"json_to_csv(NULL)", [] { return str(json_to_csv(nullptr)); }, "", "no document loaded"},
        {"json_to_csv(x)", [] { return str(json_to_csv("x")); }, "", "no document loaded"},
        // Functions that need no document.
        {"json_validate(NULL)", [] { return num(json_validate(nullptr)); }, "-1", "null input"},
        {"json_validate(\"\")", [] { return num(json_validate("")); }, "-1",
         "invalid JSON: input length is 0 (line 1 col 1)"},
        {"json_validate([1])", [] { return num(json_validate("[1]")); }, "0", ""},
        {"json_parse(NULL)", [] { return num(json_parse(nullptr)); }, "-1", "null input"},
        {"json_parse(\"\")", [] { return num(json_parse("")); }, "-1", "parse error: input length is 0 (line 1 col 1)"},
        {"json_parse_file(NULL)", [] { return num(json_parse_file(nullptr)); }, "-1", "null path"},
        {"json_parse_file(\"\")", [] { return num(json_parse_file("")); }, "-1", "empty file path"},
        {"json_parse_file(missing)", [=] { return num(json_parse_file(missing.c_str())); }, "-1",
         "cannot open file: " + missing},
        {"json_from_csv(NULL)", [] { return num(json_from_csv(nullptr)); }, "-1", "null csv"},
        {"json_from_csv(\"\")", [] { return num(json_from_csv("")); }, "-1", "empty csv (no header)"},
        {"json_from_csv(header only)", [] { return num(json_from_csv("a,b\n")); }, "-1", "csv has no data rows"},
        // Still nothing loaded.
        {"json_root_type after the failures", [] { return str(json_root_type()); }, "", kKept, true},
        {"json_get($) after the failures", [] { return str(json_get("$")); }, "", "no document loaded"},
    };
}

std::vector<std::string> run_before_load() {
    std::vector<std::string> faults;
    if (str(json_last_error()) != "") faults.push_back("json_last_error at start: " + str(json_last_error()));
    for (const std::string &f : run_rows(before_load_rows())) faults.push_back(f);
    return faults;
}

const std::vector<std::string> &before_load_faults() {
    static const std::vector<std::string> faults = run_before_load();
    return faults;
}

// Runs the rows during static initialisation, before main.
const bool before_load_ran = (before_load_faults(), true);

TEST(HostileBeforeLoad, EveryFunctionWithoutADocument) {
    ASSERT_TRUE(before_load_ran);
    for (const std::string &f : before_load_faults()) ADD_FAILURE() << f;
    // The validation report of json_validate(NULL) is six rows, syntax failing.
    EXPECT_EQ(str(json_validate_report_json()).substr(0, 10), "[{\"rule\":\"");
}

// ---- with a document ------------------------------------------------------

const char *const kDoc = "{\"a\":[1,2,3],\"o\":{\"k\":\"v\"},\"s\":\"text\"}";

class HostileLoaded : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(json_parse(kDoc), 0) << json_last_error(); }
};

TEST_F(HostileLoaded, PathArguments) {
    const std::vector<Row> rows = {
        {"json_get(NULL)", [] { return str(json_get(nullptr)); }, "", "null path"},
        {"json_get(\"\")", [] { return str(json_get("")); }, "", "path must start with '$': "},
        {"json_extract(NULL)", [] { return str(json_extract(nullptr)); }, "", "null path"},
        {"json_get huge index", [] { return str(json_get("$.a[99999999999]")); }, "",
         "path not found: $.a[99999999999]"},
        {"json_get largest index", [] { return str(json_get("$.a[2147483647]")); }, "",
         "path not found: $.a[2147483647]"},
        {"json_get negative index", [] { return str(json_get("$.a[-1]")); }, "",
         "expected array index in path at: -1]"},
        {"json_get unknown key", [] { return str(json_get("$.nope")); }, "", "path not found: $.nope"},
        {"json_set(NULL, 1)", [] { return num(json_set(nullptr, "1")); }, "-1", "null path"},
        {"json_set($.x, NULL)", [] { return num(json_set("$.x", nullptr)); }, "-1", "value: null value"},
        {"json_set(NULL, NULL)", [] { return num(json_set(nullptr, nullptr)); }, "-1", "null path"},
        {"json_set($.x, \"\")", [] { return num(json_set("$.x", "")); }, "-1", "value: input length is 0"},
        {"json_set(\"\", 1)", [] { return num(json_set("", "1")); }, "-1", "path must start with '$': "},
        {"json_set huge index", [] { return num(json_set("$.a[99999999999]", "1")); }, "-1",
         "path $.a[99999999999]: array index 2147483647 out of range (size 3)"},
        {"json_set negative index", [] { return num(json_set("$.a[-1]", "1")); }, "-1",
         "expected array index in path at: -1]"},
        {"json_delete(NULL)", [] { return num(json_delete(nullptr)); }, "-1", "null path"},
        {"json_delete(\"\")", [] { return num(json_delete("")); }, "-1", "path must start with '$': "},
        {"json_delete huge index", [] { return num(json_delete("$.a[99999999999]")); }, "-1",
         "path $.a[99999999999]: index out of range"},
        {"json_delete negative index", [] { return num(json_delete("$.a[-1]")); }, "-1",
         "expected array index in path at: -1]"},
        {"json_delete unknown key", [] { return num(json_delete("$.o.nope")); }, "-1", "path $.o.nope: key not found"},
        {"json_delete($)", [] { return num(json_delete("$")); }, "-1", "cannot delete root '$'"},
        {"json_to_csv(NULL) on an object", [] { return str(json_to_csv(nullptr)); }, "", "path $ is not an array"},
        {"json_to_csv(\"\") on an object", [] { return str(json_to_csv("")); }, "", "path $ is not an array"},
        {"json_to_csv huge index", [] { return str(json_to_csv("$.a[99999999999]")); }, "",
         "path $.a[99999999999] is not an array"},
        {"json_to_csv negative index", [] { return str(json_to_csv("$.a[-1]")); }, "",
         "expected array index in path at: -1]"},
        {"json_to_csv of numbers", [] { return str(json_to_csv("$.a")); }, "\n\n\n", ""},
    };
    for (const std::string &f : run_rows(rows)) ADD_FAILURE() << f;
}

TEST_F(HostileLoaded, TablesAndFieldNames) {
    ASSERT_EQ(json_query("$.a[]"), 0);
    ASSERT_EQ(json_search(nullptr, "t"), 0);  // one hit: the value "text"
    ASSERT_EQ(json_diff("{\"a\":[1,2],\"o\":{\"k\":\"w\"}}"), 0);
    const std::vector<Row> rows = {
        {"json_query_count", [] { return num(json_query_count()); }, "3", kKept, true},
        {"json_query_field(2, value)", [] { return str(json_query_field(2, "value")); }, "3", kKept, true},
        {"json_query_field(3, value)", [] { return str(json_query_field(3, "value")); }, "", kKept, true},
        {"json_query_field(-1, path)", [] { return str(json_query_field(-1, "path")); }, "", kKept, true},
        {"json_query_field(INT_MAX, path)", [] { return str(json_query_field(INT_MAX, "path")); }, "", kKept, true},
        {"json_query_field(INT_MIN, value)", [] { return str(json_query_field(INT_MIN, "value")); }, "", kKept, true},
        {"json_query_field(0, NULL)", [] { return str(json_query_field(0, nullptr)); }, "", kKept, true},
        {"json_query_field(0, \"\")", [] { return str(json_query_field(0, "")); }, "", kKept, true},
        {"json_query_field(0, Path)", [] { return str(json_query_field(0, "Path")); }, "", kKept, true},
        {"json_query_field(0, values)", [] { return str(json_query_field(0, "values")); }, "", kKept, true},
        {"json_query_raw", [] { return str(json_query_raw()); }, "[1,2,3]", kKept, true},
        {"json_search_count", [] { return num(json_search_count()); }, "1", kKept, true},
        {"json_search_field(0, value)", [] { return str(json_search_field(0, "value")); }, "text", kKept, true},
        {"json_search_field(1, path)", [] { return str(json_search_field(1, "path")); }, "", kKept, true},
        {"json_search_field(-1, key)", [] { return str(json_search_field(-1, "key")); }, "", kKept, true},
        {"json_search_field(INT_MIN, path)", [] { return str(json_search_field(INT_MIN, "path")); }, "", kKept, true},
        {"json_search_field(0, NULL)", [] { return str(json_search_field(0, nullptr)); }, "", kKept, true},
        {"json_search_field(0, Key)", [] { return str(json_search_field(0, "Key")); }, "", kKept, true},
        {"json_diff_count", [] { return num(json_diff_count()); }, "3", kKept, true},
        {"json_diff_field(2, path)", [] { return str(json_diff_field(2, "path")); }, "$.s", kKept, true},
        {"json_diff_field(3, path)", [] { return str(json_diff_field(3, "path")); }, "", kKept, true},
        {"json_diff_field(-1, type)", [] { return str(json_diff_field(-1, "type")); }, "", kKept, true},
        {"json_diff_field(INT_MAX, a)", [] { return str(json_diff_field(INT_MAX, "a")); }, "", kKept, true},
        {"json_diff_field(0, NULL)", [] { return str(json_diff_field(0, nullptr)); }, "", kKept, true},
        {"json_diff_field(0, A)", [] { return str(json_diff_field(0, "A")); }, "", kKept, true},
        {"json_diff_field(0, \"\")", [] { return str(json_diff_field(0, "")); }, "", kKept, true},
        // A failed producer empties its own table and no other.
        {"json_query(NULL)", [] { return num(json_query(nullptr)); }, "-1", "empty query"},
        {"json_query_count after a failure", [] { return num(json_query_count()); }, "0", kKept, true},
        {"json_query_raw after a failure", [] { return str(json_query_raw()); }, "[]", kKept, true},
        {"json_search(NULL, NULL)", [] { return num(json_search(nullptr, nullptr)); }, "-1", "empty search pattern"},
        {"json_search_count after a failure", [] { return num(json_search_count()); }, "0", kKept, true},
        {"json_diff(NULL)", [] { return num(json_diff(nullptr)); }, "-1", "diff target: null value"},
        {"json_diff_count after a failure", [] { return num(json_diff_count()); }, "0", kKept, true},
    };
    for (const std::string &f : run_rows(rows)) ADD_FAILURE() << f;
}

TEST_F(HostileLoaded, TextAndModeArguments) {
    const std::vector<Row> rows = {
        {"json_query(\"\")", [] { return num(json_query("")); }, "-1", "empty query"},
        {"json_query(spaces)", [] { return num(json_query("   ")); }, "-1",
         "query: operand must start with '$', '.' or a literal"},
        {"json_query huge index", [] { return num(json_query("$.a[99999999999999999999]")); }, "0", ""},
        {"json_query negative index", [] { return num(json_query("$.a[-1]")); }, "0", ""},
        {"json_query_count of those", [] { return num(json_query_count()); }, "0", kKept, true},
        {"json_validate(NULL)", [] { return num(json_validate(nullptr)); }, "-1", "null input"},
        {"json_validate(\"\")", [] { return num(json_validate("")); }, "-1",
         "invalid JSON: input length is 0 (line 1 col 1)"},
        {"json_search(NULL, \"\")", [] { return num(json_search(nullptr, "")); }, "-1", "empty search pattern"},
        {"json_search(key, NULL)", [] { return num(json_search("key", nullptr)); }, "-1", "empty search pattern"},
        {"json_search(bogus, x)", [] { return num(json_search("bogus", "x")); }, "-1",
         "unknown search mode: bogus (use key|value|both)"},
        {"json_search(\"\", x)", [] { return num(json_search("", "x")); }, "-1",
         "unknown search mode:  (use key|value|both)"},
        {"json_search(Both, x)", [] { return num(json_search("Both", "x")); }, "-1",
         "unknown search mode: Both (use key|value|both)"},
        {"json_format(\"\")", [] { return str(json_format("")); }, "",
         "unknown format mode:  (use pretty|minify|sorted)"},
        {"json_format(PRETTY)", [] { return str(json_format("PRETTY")); }, "",
         "unknown format mode: PRETTY (use pretty|minify|sorted)"},
        {"json_format(NULL)", [] { return str(json_format(nullptr)).substr(0, 2); }, "{\n", ""},
        {"json_merge(NULL)", [] { return num(json_merge(nullptr)); }, "-1", "merge target: null value"},
        {"json_merge(\"\")", [] { return num(json_merge("")); }, "-1", "merge target: input length is 0"},
        {"json_diff(\"\")", [] { return num(json_diff("")); }, "-1", "diff target: input length is 0"},
        {"json_parse(NULL)", [] { return num(json_parse(nullptr)); }, "-1", "null input"},
        {"json_parse(\"\")", [] { return num(json_parse("")); }, "-1", "parse error: input length is 0 (line 1 col 1)"},
        {"json_parse_file(NULL)", [] { return num(json_parse_file(nullptr)); }, "-1", "null path"},
        {"json_parse_file(\"\")", [] { return num(json_parse_file("")); }, "-1", "empty file path"},
        {"json_from_csv(NULL)", [] { return num(json_from_csv(nullptr)); }, "-1", "null csv"},
        {"json_from_csv(\"\")", [] { return num(json_from_csv("")); }, "-1", "empty csv (no header)"},
        {"json_from_csv(BOM only)", [] { return num(json_from_csv("\xEF\xBB\xBF")); }, "-1", "empty csv (no header)"},
        {"json_from_csv(line break)", [] { return num(json_from_csv("\n")); }, "-1", "empty csv (no header)"},
        {"json_root_type", [] { return str(json_root_type()); }, "object", kKept, true},
        {"json_stats_json", [] { return str(json_stats_json()).substr(0, 9); }, "{\"bytes\":", ""},
    };
    for (const std::string &f : run_rows(rows)) ADD_FAILURE() << f;
}

// Texts far longer than any field: messages are cut to 1023 bytes, tables
// keep their cut fields, nothing overruns.
TEST_F(HostileLoaded, LongTexts) {
    const std::string key(5000, 'k');
    const std::string path = "$." + key;
    EXPECT_STREQ(json_get(path.c_str()), "");
    EXPECT_STREQ(json_last_error(), "path key too long");
    std::string bad = "$" + std::string(3000, 'x');
    EXPECT_STREQ(json_get(bad.c_str()), "");
    EXPECT_EQ(std::string(json_last_error()), "unexpected character in path: 'x'");
    std::string unknown(3000, 'm');
    EXPECT_STREQ(json_format(unknown.c_str()), "");
    EXPECT_EQ(std::string(json_last_error()), ("unknown format mode: " + unknown).substr(0, 1023));
    EXPECT_EQ(json_search(unknown.c_str(), "x"), -1);
    EXPECT_EQ(std::string(json_last_error()).size(), 1023u);
    std::string missing = "/tmp/" + std::string(3000, 'f');
    EXPECT_EQ(json_parse_file(missing.c_str()), -1);
    EXPECT_EQ(std::string(json_last_error()), ("cannot open file: " + missing).substr(0, 1023));

    // A member whose key and value are far past the field widths.
    std::string doc = "{\"" + key + "\":\"" + std::string(9000, 'v') + "\"}";
    ASSERT_EQ(json_parse(doc.c_str()), 0);
    ASSERT_EQ(json_search("both", "kkk"), 0);
    ASSERT_EQ(json_search_count(), 1);
    EXPECT_EQ(std::string(json_search_field(0, "key")).size(), 511u);
    EXPECT_EQ(std::string(json_search_field(0, "path")).size(), 4095u);
    EXPECT_EQ(std::string(json_search_field(0, "value")).size(), 4095u);
    ASSERT_EQ(json_diff("{}"), 0);
    EXPECT_EQ(std::string(json_diff_field(0, "path")).size(), 4095u);
    EXPECT_EQ(std::string(json_diff_field(0, "a")).size(), 4095u);
    ASSERT_EQ(json_query("$[]"), 0);
    EXPECT_EQ(std::string(json_query_field(0, "value")).size(), 9002u);
    EXPECT_STREQ(json_query_field(0, "path"), "$");  // the key piece does not fit a path
}

// Keys of three-byte characters make leaf paths far past 4095 bytes, cut at
// every possible place within a character. The flattened text is still one
// JSON object: valid UTF-8 that reads back, with one pair per leaf.
TEST_F(HostileLoaded, FlattenedPathsPastTheCut) {
    for (int pad = 0; pad < 3; ++pad) {
        SCOPED_TRACE(pad);
        std::string key = std::string(pad, 'x');
        for (int i = 0; i < 3000; ++i) key += "\xE2\x82\xAC";
        std::string doc = "{\"" + key + "\":{\"" + key + "\":\"v\",\"w\":[1]}}";
        ASSERT_EQ(json_parse(doc.c_str()), 0);
        std::string flat = json_flatten();
        ASSERT_NE(flat, "") << json_last_error();
        EXPECT_STREQ(json_last_error(), "");
        ASSERT_EQ(json_parse(flat.c_str()), 0) << "the flattened text does not read: " << json_last_error();
        EXPECT_STREQ(json_root_type(), "object");
        ASSERT_EQ(json_query("$ | length"), 0);
        EXPECT_STREQ(json_query_field(0, "value"), "2");
    }
}

// ---- files that cannot be read the ordinary way ------------------------------------

void expect_load_fails(const std::string &path, const std::string &message) {
    ASSERT_EQ(json_parse("[\"prev\"]"), 0);
    EXPECT_EQ(json_parse_file(path.c_str()), -1) << path;
    EXPECT_EQ(str(json_last_error()), message);
    EXPECT_STREQ(json_get("$"), "[\"prev\"]");
}

#if defined(_WIN32)
// A file's access rights on Windows are an ACL matter, and wine maps them
// onto the Unix modes of the user running it; fork, /proc, pipes as paths
// and symbolic links are POSIX pieces. The missing file and the directory
// are in the loading tests on every platform.
TEST(HostileFiles, UnreadableFile) { GTEST_SKIP() << "POSIX only: needs fork and dropping root"; }
TEST(HostileFiles, SizesThatLie) { GTEST_SKIP() << "POSIX only: symbolic links, /proc, /sys and pipe paths"; }
#else
// A file the process may not read. Root reads every file whatever its mode
// bits, so the load runs in a child that has given up root for an ordinary
// user; the child reports through its exit status.
TEST(HostileFiles, UnreadableFile) {
    std::string path = je_temp_file("[1]");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0) {
            struct passwd *nobody = getpwnam("nobody");
            uid_t uid = nobody ? nobody->pw_uid : 65534;
            if (setgid(uid) != 0 || setuid(uid) != 0) _exit(3);
        }
        if (access(path.c_str(), R_OK) == 0) _exit(4);  // still readable: nothing to test here
        if (json_parse("[\"prev\"]") != 0) _exit(5);
        int rc = json_parse_file(path.c_str());
        bool ok =
            rc == -1 && str(json_last_error()) == "cannot open file: " + path && str(json_get("$")) == "[\"prev\"]";
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    unlink(path.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3 || WEXITSTATUS(status) == 4) GTEST_SKIP() << "no user here that cannot read the file";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the unreadable file was not refused with \"cannot open file: " << path
                                      << "\"";
}

// Files whose size cannot be taken or does not match what a read gives.
TEST(HostileFiles, SizesThatLie) {
    struct Case {
        const char *name;
        std::string path;
        std::string message;
    };
    const std::string loop = "/tmp/je_hostile_loop";
    unlink(loop.c_str());
    ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
    std::vector<Case> cases = {
        {"link to itself", loop, "cannot open file: " + loop},
        // A file of the kernel's that reports its size as 0 reads as empty.
        {"size 0, text behind it", "/proc/self/status", "parse error: input length is 0 (line 1 col 1)"},
        {"a device", "/dev/null", "parse error: input length is 0 (line 1 col 1)"},
    };
    // An attribute file reports a page as its size but holds a short text.
    const char *attr = "/sys/kernel/mm/transparent_hugepage/enabled";
    struct stat st;
    if (stat(attr, &st) == 0 && st.st_size == 4096)
        cases.push_back({"size larger than the text", attr, std::string("short read on ") + attr});
    // A pipe has no end to seek to.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string pipe_path = "/proc/self/fd/" + std::to_string(fds[0]);
    cases.push_back({"a pipe", pipe_path, "seek failed: " + pipe_path});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        struct stat s;
        if (lstat(c.path.c_str(), &s) != 0) continue;  // not on this system
        expect_load_fails(c.path, c.message);
    }
    close(fds[0]);
    close(fds[1]);
    unlink(loop.c_str());
}

#endif

// Sparse files past the size limit cost no disk space.
TEST(HostileFiles, FilesPastTheSizeLimit) {
    for (long long size : {2147483648LL, 4294967297LL, 1LL << 40}) {
        SCOPED_TRACE(size);
        std::string path = je_temp_file("");
        std::error_code ec;
        std::filesystem::resize_file(je_fs_path(path), static_cast<uintmax_t>(size), ec);
        if (ec) {
            std::filesystem::remove(je_fs_path(path), ec);
            GTEST_SKIP() << "this file system makes no sparse file of " << size << " bytes";
        }
        expect_load_fails(path, "tell failed: " + path);
        std::filesystem::remove(je_fs_path(path), ec);
    }
}

}  // namespace
