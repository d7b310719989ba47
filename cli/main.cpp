// jsonengine: a thin command-line host over the engine's C interface.
#include <cstdio>
#include <cstring>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli.h"
#include "quendral/jsonengine.h"

const cli_command cli_commands[] = {
    {"type", "[FILE]", "print the root's type", cmd_type},
    {"get", "PATH [FILE]", "print the value at PATH as compact JSON", cmd_get},
    {"set", "PATH VALUE [FILE]", "put the JSON VALUE at PATH and print the document", cmd_set},
    {"delete", "PATH [FILE]", "delete the value at PATH and print the document", cmd_delete},
    {"query", "[--paths|--raw] QUERY [FILE]", "run QUERY and print one value per line", cmd_query},
    {"validate", "[FILE]", "validate the text and print the report (exit 1 when invalid)", cmd_validate},
    {"stats", "[FILE]", "print the document's statistics", cmd_stats},
    {"search", "[--mode key|value|both] PATTERN [FILE]", "print each hit as path, key and value", cmd_search},
    {"flatten", "[FILE]", "print the document as one object of leaf paths", cmd_flatten},
    {"format", "[pretty|minify|sorted] [FILE]", "print the document in a layout (pretty by default)", cmd_format},
    {"merge", "PATCH_FILE [FILE]", "deep-merge PATCH_FILE into the document and print it", cmd_merge},
    {"diff", "OTHER_FILE [FILE]", "print each difference (exit 0 equal, 1 different, 2 error)", cmd_diff},
    {"to-csv", "[PATH] [FILE]", "print the array at PATH (default $) as CSV", cmd_to_csv},
    {"from-csv", "[CSV_FILE]", "read CSV with a header line and print the records as JSON", cmd_from_csv},
};
const int cli_ncommands = sizeof cli_commands / sizeof cli_commands[0];

static void cli_help(FILE *out) {
    fprintf(out,
            "usage: jsonengine COMMAND [ARGS] [FILE]\n"
            "FILE is a JSON file; without it, or with -, the document is read from standard input.\n\n"
            "commands:\n");
    for (int i = 0; i < cli_ncommands; ++i) {
        std::string synopsis = std::string(cli_commands[i].name) + " " + cli_commands[i].args;
        fprintf(out, "  %-44s %s\n", synopsis.c_str(), cli_commands[i].help);
    }
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
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "help") == 0) {
        cli_help(stdout);
        return CLI_OK;
    }
    for (int i = 0; i < cli_ncommands; ++i)
        if (strcmp(argv[1], cli_commands[i].name) == 0) return cli_commands[i].run(argc - 2, argv + 2);
    fprintf(stderr, "jsonengine: unknown command: %s\n", argv[1]);
    cli_help(stderr);
    return CLI_USAGE;
}
