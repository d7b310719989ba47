// The jsonengine program: its frame (help, usage errors, exit codes, input
// from a file, a pipe, a FIFO, standard input or "-", checked output, JSON
// Lines, results cut at a table's size) and the path commands type, get,
// set and delete.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
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
        {"set with six arguments", "set " + q("$.a") + " 1 a b c d", "usage: jsonengine set PATH VALUE [FILE]\n"},
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
    EXPECT_EQ(r.err, "jsonengine: cannot open file: " + missing + ": No such file or directory\n");
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
        {"missing file", "type " + q(missing), "",
         "jsonengine: cannot open file: " + missing + ": No such file or directory\n"},
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

#if !defined(_WIN32)
// Runs a bash script with $J set to the program; its own redirections
// decide where the output goes, the rest is captured.
je_cli_result sh(const std::string &script) {
    setenv("J", JE_CLI_PATH, 1);
    std::string file = je_temp_file(script, ".sh");
    std::string out = file + ".out", err = file + ".err";
    int raw = system(("bash '" + file + "' > '" + out + "' 2> '" + err + "'").c_str());
    je_cli_result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, je_slurp(out), je_slurp(err)};
    for (const std::string &f : {file, out, err}) unlink(f.c_str());
    return r;
}
#else
je_cli_result sh(const std::string &) { return {-1, "", ""}; }
#endif

// Tests that drive the program through bash (process substitution, FIFOs,
// /dev/full) have no counterpart on Windows.
#if defined(_WIN32)
#define JE_SKIP_WITHOUT_SH() GTEST_SKIP() << "needs bash, FIFOs and /dev/full"
#else
#define JE_SKIP_WITHOUT_SH() (void)0
#endif

TEST(CliFrame, HelpAndVersion) {
    je_cli_result r = je_run_cli("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("jsonengine ", 0), 0u) << r.out;
    r = je_run_cli("--help");
    for (const char *piece : {"paths (get, set, delete, to-csv):", "queries (query):", "map(QUERY)", "exit status:"})
        EXPECT_NE(r.out.find(piece), std::string::npos) << piece;
    for (const char *cmd : {"type", "get", "set", "delete", "query", "validate", "stats", "search", "flatten", "format",
                            "merge", "diff", "to-csv", "from-csv"}) {
        SCOPED_TRACE(cmd);
#if defined(_WIN32)
        r = je_run_cli(std::string(cmd) + " --help");
#else
        // Standard input is a pipe that stays open: the help must not wait on it.
        // (The bound is generous for slow sanitizer builds; the writer outlives it.)
        r = sh(std::string("exec 3< <(sleep 300); writer=$!; timeout 120 \"$J\" ") + cmd +
               " --help <&3; rc=$?; kill $writer; exit $rc");
#endif
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind(std::string("usage: jsonengine ") + cmd + " ", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("exit status:"), std::string::npos);
        EXPECT_NE(r.out.find("  -h, --help"), std::string::npos);
        // Also after other arguments, and as "help COMMAND".
        EXPECT_EQ(je_run_cli(std::string(cmd) + " x -h").out, r.out);
        EXPECT_EQ(je_run_cli(std::string("help ") + cmd).out, r.out);
    }
    r = je_run_cli("query --help");
    for (const char *piece : {"-r, --raw-output", "-e, --exit-status", "--array", "--paths", "-l, --lines", "  3  ",
                              "at most 4000 results"})
        EXPECT_NE(r.out.find(piece), std::string::npos) << piece;
}

// Every table has its cap: a run that fills one prints what it has, warns
// and exits 3; one row less is a plain success.
TEST(CliFrame, ResultsCutAtATableWarnAndExit3) {
    auto numbers = [](int n, const std::string &item) {
        std::string s = "[";
        for (int i = 0; i < n; ++i) s += (i ? "," : "") + item;
        return s + "]";
    };
    const std::string q_full = je_temp_file(numbers(4001, "1")), q_under = je_temp_file(numbers(3999, "1"));
    const std::string s_full = je_temp_file(numbers(10001, "\"x\"")), s_under = je_temp_file(numbers(9999, "\"x\""));
    const std::string d_full = je_temp_file(numbers(10001, "2"));
    struct Row {
        const char *name;
        std::string args;
        int status;
        size_t lines;
        const char *warning;
    } rows[] = {
        {"query", "query '$[]' " + q(q_full), 3, 4000, "query kept the first 4000 results"},
        {"query --paths", "query --paths '$[]' " + q(q_full), 3, 4000, "query kept the first 4000 results"},
        {"query --array", "query --array '$[]' " + q(q_full), 3, 1, "query kept the first 4000 results"},
        {"query -l", "query -l '$[]' " + q(q_full), 3, 4000, "line 1: warning: query kept the first 4000"},
        {"query under the cap", "query '$[]' " + q(q_under), 0, 3999, nullptr},
        {"search", "search x " + q(s_full), 3, 10000, "search kept the first 10000 hits"},
        {"search under the cap", "search x " + q(s_under), 0, 9999, nullptr},
        {"flatten", "flatten " + q(s_full), 3, 1, "flatten kept the first 10000 leaves"},
        {"flatten under the cap", "flatten " + q(s_under), 0, 1, nullptr},
        {"diff", "diff " + q(s_full) + " " + q(d_full), 3, 10000, "diff kept the first 10000 rows"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_cli_result r = je_run_cli(row.args);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_EQ(static_cast<size_t>(std::count(r.out.begin(), r.out.end(), '\n')), row.lines);
        if (row.warning) {
            EXPECT_NE(r.err.find(row.warning), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("more may exist"), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err, "");
        }
    }
    for (const std::string &f : {q_full, q_under, s_full, s_under, d_full}) unlink(f.c_str());
}

TEST(CliFrame, WriteErrorsAreReported) {
    JE_SKIP_WITHOUT_SH();
    const std::string file = je_temp_file(doc);
    struct Row {
        const char *name;
        std::string args;
        int status;
    } rows[] = {
        {"format", "format " + q(file), 1},
        {"get", "get '$' " + q(file), 1},
        {"query", "query '$.a.b[]' " + q(file), 1},
        {"search", "search x " + q(file), 1},
        {"lines", "get -l '$' <(printf '1\\n2\\n')", 1},
        {"help", "--help", 1},
        {"diff keeps its error status", "diff " + q(file) + " <(echo 1)", 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_cli_result r = sh("\"$J\" " + row.args + " > /dev/full");
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.err, "jsonengine: write error: No space left on device\n");
    }
    unlink(file.c_str());
}

TEST(CliFrame, PipesAndFifos) {
    JE_SKIP_WITHOUT_SH();
#if !defined(_WIN32)
    const std::string file = je_temp_file(doc);
    char dir[] = "/tmp/je_fifo_XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string fifo = std::string(dir) + "/in.json";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Row {
        const char *name;
        std::string script;
        std::string out;
    } rows[] = {
        {"process substitution", "\"$J\" type <(cat " + q(file) + ")", "object\n"},
        {"get from a pipe", "\"$J\" get '$.s' <(cat " + q(file) + ")", "\"x\"\n"},
        {"a FIFO", "cat " + q(file) + " > " + q(fifo) + " & \"$J\" get '$.a.b[2]' " + q(fifo) + "; wait", "3\n"},
        {"merge from two pipes", "\"$J\" merge <(echo '{\"t\":1}') <(echo '{\"s\":2}')", "{\"s\":2,\"t\":1}\n"},
        {"diff from a pipe and -", "echo '[1]' | \"$J\" diff - <(echo '[2]')", "$[0]\tchanged\t1\t2\n"},
        {"lines from a pipe", "printf '1\\n\"a\"\\n' | \"$J\" type --lines", "number\nstring\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_cli_result r = sh(row.script);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, "");
    }
    unlink(fifo.c_str());
    rmdir(dir);
    unlink(file.c_str());
#endif
}

TEST(CliFrame, NotJsonNamesTheFileAndPlace) {
    const std::string bad_text = "{\"a\":\n  1,,}";
    const std::string good = je_temp_file("{\"a\":1}");
    const std::string bad = je_temp_file(bad_text);
    const std::string why = ": parse error: unexpected character, expected a string key (line 2 col 5)\n";
    struct Row {
        const char *name;
        std::string args;
        std::string input;
        int status;
        std::string err;
    } rows[] = {
        {"diff, second input", "diff " + q(good) + " " + q(bad), "", 2, "jsonengine: " + bad + why},
        {"diff, first input", "diff " + q(bad) + " " + q(good), "", 2, "jsonengine: " + bad + why},
        {"diff, standard input", "diff - " + q(good), bad_text, 2, "jsonengine: standard input" + why},
        {"merge's patch", "merge " + q(bad) + " " + q(good), "", 1, "jsonengine: " + bad + why},
        {"merge's document", "merge " + q(good) + " " + q(bad), "", 1, "jsonengine: " + bad + why},
        {"a named file", "get '$' " + q(bad), "", 1, "jsonengine: " + bad + why},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_cli_result r = je_run_cli(row.args, row.input);
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, row.err);
    }
    unlink(good.c_str());
    unlink(bad.c_str());
}

// Output a script can split on tabs and lines, and jq's -r and -e.
TEST(CliFrame, ParseableOutput) {
    const std::string d =
        "{\"t\":\"a\\tb\\nc\",\"u\":\"é \\u00e9 \\ud83d\\ude00\",\"n\":null,\"f\":false,\"q\":\"\\\"\\\\\"}";
    struct Row {
        const char *name;
        std::string args;
        int status;
        std::string out;
    } rows[] = {
        {"search value hit", "search b", 0, "$.t\t\t\"a\\tb\\nc\"\n"},
        {"search key hit", "search --mode key t", 0, "$.t\tt\t\"a\\tb\\nc\"\n"},
        {"search keeps UTF-8", "search --mode=value é", 0, "$.u\t\t\"é é 😀\"\n"},
        {"search escapes quotes", "search -m value '\\'", 0, "$.q\t\t\"\\\"\\\\\"\n"},
        {"get -r decodes", "get -r '$.t'", 0, "a\tb\nc\n"},
        {"get --raw-output keeps UTF-8", "get --raw-output '$.u'", 0, "é é 😀\n"},
        {"get -r of a non-string", "get -r '$.n'", 0, "null\n"},
        {"get -r of quotes", "get -r '$.q'", 0, "\"\\\n"},
        {"query -r", "query -r '$[]'", 0, "a\tb\nc\né é 😀\nnull\nfalse\n\"\\\n"},
        {"query -r --paths", "query -r --paths '$.t'", 0, "$.t\ta\tb\nc\n"},
        {"get -e of a string", "get -e '$.t'", 0, "\"a\\tb\\nc\"\n"},
        {"get -e of null", "get -e '$.n'", 1, "null\n"},
        {"get -e of false", "get -e '$.f'", 1, "false\n"},
        {"query -e without results", "query -e '$.zz'", 1, ""},
        {"query --exit-status last false", "query --exit-status '$.f'", 1, "false\n"},
        {"query -e with a result", "query -e '$.t | length'", 0, "5\n"},
        {"grouped short options", "query -re '$.t'", 0, "a\tb\nc\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_cli_result r = je_run_cli(row.args, d);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, "");
    }
}

// JSON Lines: each line its own document, a bad line reported with its
// number while the others still run.
TEST(CliFrame, JsonLines) {
    const std::string input = "{\"a\":[1,2]}\n{\"a\":\n\n  [\"x\"]  \r\n{\"a\":{\"b\":null}}\n{\"a\":3}";
    const std::string bad_parse = "jsonengine: line 2: parse error: unexpected end of data (line 1 col 6)\n";
    struct Row {
        const char *name;
        std::string args;
        std::string out;
        std::string err;
    } rows[] = {
        {"type", "type -l", "object\narray\nobject\nobject\n", bad_parse},
        {"get", "get --lines '$.a'", "[1,2]\n{\"b\":null}\n3\n",
         bad_parse + "jsonengine: line 4: path not found: $.a\n"},
        {"query", "query -l '$.a[]'", "1\n2\nnull\n", bad_parse},
        {"format", "format minify -l", "{\"a\":[1,2]}\n[\"x\"]\n{\"a\":{\"b\":null}}\n{\"a\":3}\n", bad_parse},
        {"flatten", "flatten -l", "{\"a[0]\":1,\"a[1]\":2}\n{\"[0]\":\"x\"}\n{\"a.b\":null}\n{\"a\":3}\n", bad_parse},
        {"search", "search -l x", "$[0]\t\t\"x\"\n", bad_parse},
        {"stats", "stats -l", "", bad_parse},
        {"validate", "validate -l", "", "jsonengine: line 2: "},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_cli_result r = je_run_cli(row.args, input);
        EXPECT_EQ(r.status, 1);
        if (!row.out.empty()) {
            EXPECT_EQ(r.out, row.out);
        }
        EXPECT_EQ(r.err.substr(0, row.err.size()), row.err) << r.err;
    }
    // Stats and validation print one result per good line, in order.
    je_cli_result r = je_run_cli("stats -l", input);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);
    r = je_run_cli("validate -l", input);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5);  // the bad line's report too
    r = je_run_cli("to-csv -l", "[{\"k\":1}]\n{\n[{\"k\":2}]\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "k\n1\nk\n2\n");
    EXPECT_EQ(r.err, "jsonengine: line 2: parse error: unexpected end of data (line 1 col 2)\n");
    // A named file is named in the messages; good input exits 0.
    const std::string file = je_temp_file("1\n[\n");
    r = je_run_cli("type -l " + q(file));
    EXPECT_EQ(r.out, "number\n");
    EXPECT_EQ(r.err, "jsonengine: " + file + ": line 2: parse error: unexpected end of data (line 1 col 2)\n");
    unlink(file.c_str());
    r = je_run_cli("get -l '$[0]'", "[1]\n[2]\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1\n2\n");
}

}  // namespace
