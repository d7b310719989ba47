// jsonengine: a thin command-line host over the engine's C interface. The
// command table with each command's help, the general help and the entry
// point.
#include <cstdio>
#include <cstring>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli.h"
#include "quendral/jsonengine.h"

#define CLI_STR2(x) #x
#define CLI_STR(x) CLI_STR2(x)

#ifndef JE_VERSION
#define JE_VERSION "unknown"
#endif

// Pieces the commands' help texts share.
#define CLI_FILE_ARG "  FILE        a JSON file, pipe or FIFO; none or - reads standard input\n"
#define CLI_EXIT_BASE                                                                                 \
    "exit status:\n"                                                                                  \
    "  0  success\n"                                                                                  \
    "  1  failure, with the reason on standard error (also when standard output cannot be written)\n" \
    "  2  usage error\n"
#define CLI_EXIT_LINES "  with --lines, 1 when any line failed; each failure names its line and the rest go on\n"
#define CLI_OUTPUT_LIMIT "  texts of up to " CLI_STR(JSONENGINE_OUTPUT_MAX) " bytes (64 MiB)\n"

const cli_command cli_commands[] = {
    {"type", "[FILE]", "print the root's type: object, array, string, number, bool or null", CLI_OPT_LINES,
     "arguments:\n" CLI_FILE_ARG CLI_EXIT_BASE CLI_EXIT_LINES, cmd_type, CLI_FAILED},
    {"get", "PATH [FILE]", "print the value at PATH as compact JSON", CLI_OPT_LINES | CLI_OPT_RAW | CLI_OPT_EXIT,
     "arguments:\n"
     "  PATH        $ then .key and [N] steps, such as $.a.b[2] (see jsonengine --help)\n" CLI_FILE_ARG CLI_EXIT_BASE
     "  with -e, 1 when the value is null or false\n" CLI_EXIT_LINES "limits:\n" CLI_OUTPUT_LIMIT,
     cmd_get, CLI_FAILED},
    {"set", "PATH VALUE [FILE]", "put the JSON VALUE at PATH and print the document", 0,
     "arguments:\n"
     "  PATH        where to put VALUE: $ replaces the root, .key puts a member (missing objects\n"
     "              on the way are made), [N] inserts before element N\n"
     "  VALUE       one JSON text, such as 1, '\"text\"' or '{\"a\":[]}'\n" CLI_FILE_ARG
     "The file itself is never changed.\n" CLI_EXIT_BASE "limits:\n" CLI_OUTPUT_LIMIT,
     cmd_set, CLI_FAILED},
    {"delete", "PATH [FILE]", "delete the value at PATH and print the document", 0,
     "arguments:\n"
     "  PATH        the member(s) or element to remove; the root cannot be deleted\n" CLI_FILE_ARG
     "The file itself is never changed.\n" CLI_EXIT_BASE "limits:\n" CLI_OUTPUT_LIMIT,
     cmd_delete, CLI_FAILED},
    {"query", "QUERY [FILE]", "run QUERY and print one result value per line",
     CLI_OPT_LINES | CLI_OPT_RAW | CLI_OPT_EXIT | CLI_OPT_PATHS | CLI_OPT_ARRAY,
     "arguments:\n"
     "  QUERY       a pipeline such as '$.store.book[?.price > 10].title' (see jsonengine --help)\n" CLI_FILE_ARG
         CLI_EXIT_BASE
     "  3  the result table was full: the first " CLI_STR(
         JSONENGINE_QUERY_MAX_RESULTS) " results were printed, more may exist\n"
                                       "  with -e, 1 when there is no result or the last one is null or "
                                       "false\n" CLI_EXIT_LINES "limits:\n"
                                       "  at most " CLI_STR(
                                           JSONENGINE_QUERY_MAX_RESULTS) " results per document; map "
                                                                         "stages and filters nest at "
                                                                         "most " CLI_STR(
                                                                             JSONENGINE_QUERY_MAX_NESTING) " deep"
                                                                                                           "\n" CLI_OUTPUT_LIMIT,
     cmd_query, CLI_FAILED},
    {"validate", "[FILE]", "check the text against six rules and print the JSON report", CLI_OPT_LINES,
     "The rules: syntax, root, trailing, duplicate-keys, number-range and depth (at most " CLI_STR(
         JSONENGINE_VALIDATE_MAX_DEPTH) " levels).\n"
                                        "arguments:\n" CLI_FILE_ARG "exit status:\n"
                                        "  0  valid\n"
                                        "  1  invalid (the report is still printed, the reason goes to standard "
                                        "error), or a failure\n"
                                        "  2  usage error\n" CLI_EXIT_LINES,
     cmd_validate, CLI_FAILED},
    {"stats", "[FILE]", "print the document's statistics as a JSON object", CLI_OPT_LINES,
     "Fields: bytes (size of the document's compact text), depth, keys, numbers, strings, arrays, objects.\n"
     "arguments:\n" CLI_FILE_ARG CLI_EXIT_BASE CLI_EXIT_LINES,
     cmd_stats, CLI_FAILED},
    {"search", "PATTERN [FILE]", "find PATTERN in keys and string values; print each hit", CLI_OPT_LINES | CLI_OPT_MODE,
     "Each hit is one line: path, a tab, the key (empty for a value hit), a tab and the value as JSON\n"
     "(for a key hit the member's value, for a value hit the string). Matching is a case-sensitive\n"
     "substring test.\n"
     "arguments:\n"
     "  PATTERN     the text to find\n" CLI_FILE_ARG
     "  -m, --mode key|value|both   what to search (both by default)\n" CLI_EXIT_BASE
     "  3  the hit table was full: the first " CLI_STR(
         JSONENGINE_SEARCH_MAX_HITS) " hits were printed, more may exist\n" CLI_EXIT_LINES "limits:\n"
                                     "  at most " CLI_STR(
                                         JSONENGINE_SEARCH_MAX_HITS) " hits; paths and values are cut "
                                                                     "at " CLI_STR(
                                                                         JSONENGINE_SEARCH_VALUE_MAX) " bytes, keys "
                                                                                                      "at " CLI_STR(JSONENGINE_SEARCH_KEY_MAX) "\n",
     cmd_search, CLI_FAILED},
    {"flatten", "[FILE]", "print one JSON object mapping each leaf's path to its value", CLI_OPT_LINES,
     "arguments:\n" CLI_FILE_ARG CLI_EXIT_BASE "  3  the first " CLI_STR(
         JSONENGINE_FLATTEN_MAX_LEAVES) " leaves were printed, more may exist\n" CLI_EXIT_LINES "limits:\n"
                                        "  at most " CLI_STR(
                                            JSONENGINE_FLATTEN_MAX_LEAVES) " leaves; paths are cut "
                                                                           "at " CLI_STR(
                                                                               JSONENGINE_REPORTED_PATH_MAX) " bytes"
                                                                                                             "\n" CLI_OUTPUT_LIMIT,
     cmd_flatten, CLI_FAILED},
    {"format", "[pretty|minify|sorted] [FILE]", "print the document in a layout (pretty by default)", CLI_OPT_LINES,
     "arguments:\n"
     "  pretty      indented by 4 spaces\n"
     "  minify      no whitespace\n"
     "  sorted      no whitespace, the keys of every object in byte order\n" CLI_FILE_ARG CLI_EXIT_BASE CLI_EXIT_LINES
     "limits:\n" CLI_OUTPUT_LIMIT,
     cmd_format, CLI_FAILED},
    {"merge", "PATCH [FILE]", "deep-merge the JSON file PATCH into the document and print it", 0,
     "Objects merge member by member; any other value from PATCH replaces the document's.\n"
     "arguments:\n"
     "  PATCH       a JSON file, pipe or FIFO, or - for standard input\n" CLI_FILE_ARG CLI_EXIT_BASE
     "limits:\n" CLI_OUTPUT_LIMIT,
     cmd_merge, CLI_FAILED},
    {"diff", "A B", "print how B differs from A, one row per difference", 0,
     "Each row is one line: path, a tab, the type (added, removed, changed), a tab, A's value and a tab\n"
     "and B's value as compact JSON (empty where the side has none). Paths are A's (side a).\n"
     "arguments:\n"
     "  A, B        JSON files, pipes or FIFOs; one of them may be - for standard input\n"
     "exit status:\n"
     "  0  equal\n"
     "  1  different\n"
     "  2  error, usage error, or standard output cannot be written\n"
     "  3  the row table was full: the first " CLI_STR(
         JSONENGINE_DIFF_MAX_ROWS) " rows were printed, more may exist\n"
                                   "limits:\n"
                                   "  at most " CLI_STR(JSONENGINE_DIFF_MAX_ROWS) " rows; paths and values are cut "
                                                                                  "at " CLI_STR(
                                                                                      JSONENGINE_DIFF_FIELD_MAX) " byte"
                                                                                                                 "s\n",
     cmd_diff, 2},
    {"to-csv", "[PATH] [FILE]", "print the array of objects at PATH (default $) as CSV", CLI_OPT_LINES,
     "The header holds every key of every object, in order of first appearance.\n"
     "arguments:\n"
     "  PATH        a path starting with $ (see jsonengine --help)\n" CLI_FILE_ARG CLI_EXIT_BASE CLI_EXIT_LINES
     "limits:\n"
     "  at most " CLI_STR(JSONENGINE_CSV_MAX_COLUMNS) " columns\n" CLI_OUTPUT_LIMIT,
     cmd_to_csv, CLI_FAILED},
    {"from-csv", "[CSV_FILE]", "read CSV with a header line and print the records as JSON", 0,
     "Cells become numbers, true, false or null where they read as such, strings otherwise.\n"
     "arguments:\n"
     "  CSV_FILE    a CSV file, pipe or FIFO; none or - reads standard input\n" CLI_EXIT_BASE "limits:\n"
     "  at most " CLI_STR(JSONENGINE_CSV_MAX_COLUMNS) " columns; cells and names are cut at " CLI_STR(
         JSONENGINE_CSV_CELL_MAX) " bytes\n" CLI_OUTPUT_LIMIT,
     cmd_from_csv, CLI_FAILED},
};
const int cli_ncommands = sizeof cli_commands / sizeof cli_commands[0];

const cli_command *cli_find(const char *name) {
    for (int i = 0; i < cli_ncommands; ++i)
        if (strcmp(cli_commands[i].name, name) == 0) return &cli_commands[i];
    return nullptr;
}

// The option part of a usage line.
static std::string cli_option_synopsis(unsigned options) {
    std::string s;
    if (options & CLI_OPT_MODE) s += "[--mode key|value|both] ";
    if (options & CLI_OPT_PATHS) s += "[--paths|--array] ";
    if (options & CLI_OPT_RAW) s += "[-r] ";
    if (options & CLI_OPT_EXIT) s += "[-e] ";
    if (options & CLI_OPT_LINES) s += "[-l] ";
    return s;
}

int cli_usage(const char *command) {
    if (const cli_command *c = cli_find(command))
        fprintf(stderr, "usage: jsonengine %s %s%s\n", c->name, cli_option_synopsis(c->options).c_str(), c->args);
    fprintf(stderr, "Try 'jsonengine %s --help' for more information.\n", command);
    return CLI_USAGE;
}

int cli_help_command(const char *command) {
    const cli_command *c = cli_find(command);
    if (!c) return CLI_USAGE;
    std::string text = std::string("usage: jsonengine ") + c->name + " " + cli_option_synopsis(c->options) + c->args +
                       "\n" + c->summary + ".\n\noptions:\n";
    size_t first = text.find('\n') + 1;
    text[first] = static_cast<char>(text[first] - 'a' + 'A');
    if (c->options & CLI_OPT_RAW) text += "  -r, --raw-output   print string results without quotes and escapes\n";
    if (c->options & CLI_OPT_EXIT)
        text += "  -e, --exit-status  exit 1 when there is no result or it is null or false\n";
    if (c->options & CLI_OPT_PATHS) text += "  --paths            print each result's path and a tab before it\n";
    if (c->options & CLI_OPT_ARRAY) text += "  --array            print all results as one JSON array\n";
    if (c->options & CLI_OPT_LINES)
        text += "  -l, --lines        JSON Lines: one JSON text per line, the command runs on each\n";
    text += "  -h, --help         print this help\n";
    text += "  --                 end of options (for an argument that starts with -)\n\n";
    text += c->details;
    cli_puts(text.c_str());
    return CLI_OK;
}

static void cli_help(FILE *out) {
    fprintf(out,
            "usage: jsonengine COMMAND [OPTIONS] [ARGS] [FILE]\n"
            "       jsonengine COMMAND --help | jsonengine --help | jsonengine --version\n"
            "FILE is a JSON file, pipe or FIFO; without it, or with -, the document is read from standard input.\n\n"
            "commands:\n");
    for (int i = 0; i < cli_ncommands; ++i) {
        std::string synopsis = std::string(cli_commands[i].name) + " " + cli_commands[i].args;
        fprintf(out, "  %-32s %s\n", synopsis.c_str(), cli_commands[i].summary);
    }
    fputs(
        "\n"
        "paths (get, set, delete, to-csv):\n"
        "  $ is the root, .key a member, [N] an element from 0: $.store.book[0].title\n"
        "  keys are written raw: an empty key or one holding . or [ cannot be addressed\n"
        "\n"
        "queries (query):\n"
        "  stages joined by |, each run on every result of the one before, starting at $\n"
        "  .name  a member      [N]  an element       []  every element or member value\n"
        "  .length or length    the byte length of a string, the size of an array or object\n"
        "  [?A] [?A op B]       keep the elements for which the test holds; op: == != < <= > >=\n"
        "                       operands: paths from the element (.price) or JSON literals\n"
        "  map(QUERY)           an array of everything QUERY yields for each element\n"
        "  example: $.store.book[?.price > 10].title\n"
        "\n"
        "exit status: 0 success, 1 failure, 2 usage error, 3 output cut at a result table's size\n"
        "(diff: 0 equal, 1 different, 2 error). 'jsonengine COMMAND --help' tells each command's details.\n",
        out);
}

// A run loads one document and writes one result, so large blocks are kept
// in the heap instead of being mapped and unmapped per block: most of a
// short run's time otherwise goes to first-touch page faults.
constexpr int CLI_MMAP_THRESHOLD = 32 << 20;
constexpr int CLI_TRIM_THRESHOLD = 1 << 30;

int main(int argc, char **argv) {
    cli_platform_init(&argc, &argv);
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, CLI_MMAP_THRESHOLD);
    mallopt(M_TRIM_THRESHOLD, CLI_TRIM_THRESHOLD);
#endif
    if (argc < 2) {
        cli_help(stderr);
        return CLI_USAGE;
    }
    const char *first = argv[1];
    if (strcmp(first, "--help") == 0 || strcmp(first, "-h") == 0 || strcmp(first, "help") == 0) {
        if (argc > 2 && cli_find(argv[2])) return cli_finish(cli_help_command(argv[2]), CLI_FAILED);
        cli_help(stdout);
        return cli_finish(CLI_OK, CLI_FAILED);
    }
    if (strcmp(first, "--version") == 0 || strcmp(first, "-V") == 0) {
        cli_print("jsonengine " JE_VERSION);
        return cli_finish(CLI_OK, CLI_FAILED);
    }
    if (const cli_command *c = cli_find(first)) return cli_finish(c->run(argc - 2, argv + 2), c->write_error_status);
    fprintf(stderr, "jsonengine: unknown command: %s\n", first);
    cli_help(stderr);
    return CLI_USAGE;
}
