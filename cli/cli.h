// Shared pieces of the jsonengine commands: loading the input document,
// reading files, printing results and reporting failures.
#pragma once

#include <cstdio>
#include <string>

struct cli_command {
    const char *name;
    const char *args;                   // argument synopsis for the usage text
    const char *help;                   // one line for --help
    int (*run)(int argc, char **argv);  // argv holds the command's own arguments
};

// Exit statuses of the program.
constexpr int CLI_OK = 0;
constexpr int CLI_FAILED = 1;
constexpr int CLI_USAGE = 2;

// Loads FILE with json_parse_file, or standard input with json_parse when
// file is null or "-". Reports a failure and returns false.
bool cli_load(const char *file);
// Reads a whole file (or standard input for null or "-") into out; reports a
// failure and returns false.
bool cli_read(const char *file, std::string &out);
// Prints "jsonengine: " and the engine's last message on standard error.
int cli_fail(int status = CLI_FAILED);
// Prints the usage of one command on standard error.
int cli_usage(const char *command);
// Prints text and a newline on standard output.
int cli_print(const char *text);
// Prints the loaded document as compact JSON.
int cli_print_document();

// Platform start-up (cli/platform.cpp): on Windows, argv becomes the UTF-8
// form of the wide command line and the standard streams binary.
void cli_platform_init(int *argc, char ***argv);
// Opens a file for binary reading by its UTF-8 name.
FILE *cli_fopen_read(const char *path);

// The command table, defined in main.cpp.
extern const cli_command cli_commands[];
extern const int cli_ncommands;

int cmd_type(int argc, char **argv);
int cmd_get(int argc, char **argv);
int cmd_set(int argc, char **argv);
int cmd_delete(int argc, char **argv);
int cmd_query(int argc, char **argv);
int cmd_validate(int argc, char **argv);
int cmd_stats(int argc, char **argv);
int cmd_search(int argc, char **argv);
int cmd_flatten(int argc, char **argv);
int cmd_format(int argc, char **argv);
int cmd_merge(int argc, char **argv);
int cmd_diff(int argc, char **argv);
int cmd_to_csv(int argc, char **argv);
int cmd_from_csv(int argc, char **argv);
