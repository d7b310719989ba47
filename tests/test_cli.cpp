// The jsonengine program: its frame (help, usage errors, exit codes, input
// from a file, standard input or "-") and the path commands type, get, set
// and delete.
#include <gtest/gtest.h>

#include <string>

#include "je_test_util.h"

namespace {

// Quotes one argument for the shell that je_run_cli goes through.
std::string q(const std::string &arg) {
    std::string s = "'";
    for (char c : arg) s += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return s + "'";
}

const char *const doc = "{\n  \"a\": {\"b\": [1, 2, 3]},\n  \"s\": \"x\"\n}\n";

TEST(CliFrame, HelpListsEveryCommand) {
    for (const char *flag : {"--help", "-h", "help"}) {
        SCOPED_TRACE(flag);
        je_cli_result r = je_run_cli(flag);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("usage: jsonengine COMMAND", 0), 0u) << r.out;
        for (const char *cmd : {"type", "get", "set", "delete", "query", "validate", "stats", "search", "flatten",
                                "format", "merge", "diff", "to-csv", "from-csv"})
            EXPECT_NE(r.out.find(std::string("\n  ") + cmd + " "), std::string::npos) << cmd;
    }
}

TEST(CliFrame, UsageErrorsExit2) {
    struct Row {
        const char *name;
        std::string args;
        std::string err_start;
    } rows[] = {
        {"no command", "", "usage: jsonengine COMMAND"},
        {"unknown command", "frobnicate", "jsonengine: unknown command: frobnicate\nusage: jsonengine COMMAND"},
        {"type with two files", "type a.json b.json", "usage: jsonengine type [FILE]\n"},
        {"get without a path", "get", "usage: jsonengine get PATH [FILE]\n"},
        {"get with too many arguments", "get " + q("$") + " a b", "usage: jsonengine get PATH [FILE]\n"},
        {"set without a value", "set " + q("$.a"), "usage: jsonengine set PATH VALUE [FILE]\n"},
        {"delete without a path", "delete", "usage: jsonengine delete PATH [FILE]\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_cli_result r = je_run_cli(row.args, doc);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind(row.err_start, 0), 0u) << r.err;
    }
}

TEST(CliFrame, PathCommands) {
    const std::string file = je_temp_file(doc);
    struct Row {
        const char *name;
        std::string args;
        std::string out;
    } rows[] = {
        {"type from a file", "type " + q(file), "object\n"},
        {"type from standard input", "type", "object\n"},
        {"type from -", "type -", "object\n"},
        {"get from a file", "get " + q("$.a.b[1]") + " " + q(file), "2\n"},
        {"get from standard input", "get " + q("$.s"), "\"x\"\n"},
        {"get from -", "get " + q("$.a") + " -", "{\"b\":[1,2,3]}\n"},
        {"get of the root is compact", "get " + q("$") + " " + q(file), "{\"a\":{\"b\":[1,2,3]},\"s\":\"x\"}\n"},
        {"set prints the document", "set " + q("$.a.c") + " " + q("{\"d\": true}") + " " + q(file),
         "{\"a\":{\"b\":[1,2,3],\"c\":{\"d\":true}},\"s\":\"x\"}\n"},
        {"set inserts before the index", "set " + q("$.a.b[0]") + " 0", "{\"a\":{\"b\":[0,1,2,3]},\"s\":\"x\"}\n"},
        {"set the root", "set " + q("$") + " " + q("[null]") + " -", "[null]\n"},
        {"delete prints the document", "delete " + q("$.a.b[2]") + " " + q(file),
         "{\"a\":{\"b\":[1,2]},\"s\":\"x\"}\n"},
        {"delete a member", "delete " + q("$.a"), "{\"s\":\"x\"}\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_cli_result r = je_run_cli(row.args, doc);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, "");
    }
    // The commands never write the file back.
    EXPECT_EQ(je_slurp(file), doc);
    unlink(file.c_str());
}

// Arguments are UTF-8 on every platform (on Windows the program converts
// its wide command line), and the standard streams carry bytes unchanged:
// no line-end translation of CSV records or of "\r" inside a cell.
TEST(CliFrame, Utf8ArgumentsAndBinaryStreams) {
    const std::string dir = je_temp_file("", ".d");
    std::filesystem::remove(je_fs_path(dir));
    ASSERT_TRUE(std::filesystem::create_directory(je_fs_path(dir)));
    const std::string file = dir + "/d\xC3\xA9j\xC3\xA0 \xE6\x96\x87.json";
    const std::string csv = dir + "/\xE6\x96\x87.csv";
    je_write_file(file, "{\"\xC3\xA9\": [\"\xE6\x96\x87\"]}");
    je_write_file(csv, "k\r\n\xE6\x96\x87\r\n");
    struct Row {
        const char *name;
        std::string args;
        std::string input;
        std::string out;
    } rows[] = {
        {"UTF-8 file name", "type " + q(file), "", "object\n"},
        {"UTF-8 path and file name", "get " + q("$.\xC3\xA9[0]") + " " + q(file), "", "\"\xE6\x96\x87\"\n"},
        {"UTF-8 CSV file name", "from-csv " + q(csv), "", "[{\"k\":\"\xE6\x96\x87\"}]\n"},
        {"CSV on standard input", "from-csv", "a,b\r\n1,\"x\ry\"\r\n", "[{\"a\":1,\"b\":\"x\\ry\"}]\n"},
        {"CSV on standard output", "to-csv", "[{\"k\":\"x\\ry\",\"n\":\"a\\r\\nb\"}]", "k,n\n\"x\ry\",\"a\r\nb\"\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_cli_result r = je_run_cli(row.args, row.input);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, "");
    }
    const std::string missing = dir + "/\xE6\x96\x87-missing.json";
    je_cli_result r = je_run_cli("type " + q(missing));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jsonengine: cannot open file: " + missing + "\n");
    std::filesystem::remove_all(je_fs_path(dir));
}

TEST(CliFrame, EngineFailuresExit1) {
    const std::string missing = "/nonexistent-dir/none.json";
    struct Row {
        const char *name;
        std::string args;
        std::string input;
        std::string err;
    } rows[] = {
        {"path not found", "get " + q("$.zz"), doc, "jsonengine: path not found: $.zz\n"},
        {"bad path", "get " + q("a"), doc, "jsonengine: path must start with '$': a\n"},
        {"bad value", "set " + q("$.a") + " " + q("{"), doc, "jsonengine: value: unexpected end of data\n"},
        {"set out of range", "set " + q("$.a.b[3]") + " 1", doc,
         "jsonengine: path $.a.b[3]: array index 3 out of range (size 3)\n"},
        {"delete the root", "delete " + q("$"), doc, "jsonengine: cannot delete root '$'\n"},
        {"delete a missing key", "delete " + q("$.zz"), doc, "jsonengine: path $.zz: key not found\n"},
        {"parse error on standard input", "type", "{\"a\" 1}",
         "jsonengine: parse error: unexpected character, expected ':' after key (line 1 col 6)\n"},
        {"empty standard input", "get " + q("$"), "", "jsonengine: parse error: input length is 0 (line 1 col 1)\n"},
        {"missing file", "type " + q(missing), "", "jsonengine: cannot open file: " + missing + "\n"},
        {"missing file for get", "get " + q("$") + " " + q(missing), "",
         "jsonengine: cannot open file: " + missing + "\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_cli_result r = je_run_cli(row.args, row.input);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, row.err);
    }
}

}  // namespace
