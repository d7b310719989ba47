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
        {"type with two files", "type a.json b.json", "usage: jsonengine type [-l] [FILE]\n"},
        {"get without a path", "get", "usage: jsonengine get [-r] [-e] [-l] PATH [FILE]\n"},
        {"get with too many arguments", "get " + q("$") + " a b", "usage: jsonengine get [-r] [-e] [-l] PATH [FILE]\n"},
        {"set without a value", "set " + q("$.a"), "usage: jsonengine set PATH VALUE [FILE]\n"},
        {"delete without a path", "delete", "usage: jsonengine delete PATH [FILE]\n"},
        {"unknown option", "get -x " + q("$"), "jsonengine: get: unknown option: -x\nusage: jsonengine get"},
        {"an option of another command", "type --paths", "jsonengine: type: unknown option: --paths\n"},
        {"--raw is gone", "query --raw " + q("$"), "jsonengine: query: --raw is now --array"},
        {"--paths with --array", "query --paths --array " + q("$"), "jsonengine: query: --paths and --array"},
        {"diff needs two inputs", "diff a.json", "usage: jsonengine diff A B\n"},
        {"diff reads standard input once", "diff - -", "jsonengine: diff: standard input can be only one"},
        {"--mode without a value", "search e --mode", "usage: jsonengine search"},
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
        {"missing file", "type " + q(missing), "", "jsonengine: cannot open file: " + missing + ": No such file or directory\n"},
        {"missing file for get", "get " + q("$") + " " + q(missing), "",
         "jsonengine: cannot open file: " + missing + ": No such file or directory\n"},
        {"a directory", "stats /", "", "jsonengine: cannot open file: /: Is a directory\n"},
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
