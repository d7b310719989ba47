// Shared pieces of the jsonengine commands: options, loading the input
// document (whole or one JSON text per line), checked output and failure
// reports.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Exit statuses of the program.
constexpr int CLI_OK = 0;
constexpr int CLI_FAILED = 1;
constexpr int CLI_USAGE = 2;
constexpr int CLI_CUT = 3;  // the output is complete up to a result table's capacity; more may exist

// Options a command may accept (cli_command::options).
enum : unsigned {
    CLI_OPT_LINES = 1u << 0,  // -l, --lines
    CLI_OPT_RAW = 1u << 1,    // -r, --raw-output
    CLI_OPT_EXIT = 1u << 2,   // -e, --exit-status
    CLI_OPT_PATHS = 1u << 3,  // --paths
    CLI_OPT_ARRAY = 1u << 4,  // --array
    CLI_OPT_MODE = 1u << 5,   // --mode key|value|both
};

struct cli_command {
    const char *name;
    const char *args;                   // positional arguments for the usage line
    const char *summary;                // one line for the command list
    unsigned options;                   // CLI_OPT_* the command accepts
    const char *details;                // arguments, exit statuses and limits for COMMAND --help
    int (*run)(int argc, char **argv);  // argv holds the command's own arguments
    int write_error_status;             // exit status when standard output fails
};

// Positional arguments in order. No command takes more than
// CLI_MAX_POSITIONAL; extra ones are counted, not kept, so the usage check
// still sees them. Held in place: a short run allocates nothing for them.
constexpr size_t CLI_MAX_POSITIONAL = 4;
struct cli_positionals {
    const char *items[CLI_MAX_POSITIONAL] = {};
    size_t count = 0;
    void push_back(const char *arg) {
        if (count < CLI_MAX_POSITIONAL) items[count] = arg;
        ++count;
    }
    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    const char *operator[](size_t i) const { return items[i]; }
};

// A command's parsed arguments.
struct cli_args {
    bool lines = false, raw = false, exit_status = false, paths = false, array = false;
    const char *mode = nullptr;
    cli_positionals pos;
};

// Splits argv into options and positional arguments for the named command.
// Returns -1 to go on, or the status to exit with: after printing the
// command's help for --help, or its usage for a bad option or a count of
// positional arguments outside min..max.
int cli_parse(const char *command, int argc, char **argv, size_t min, size_t max, cli_args &a);

// Statuses of several documents combined: a failure outweighs a cut
// result, which outweighs success.
int cli_worse(int a, int b);

// Runs fn on the loaded input: once for the whole FILE (a regular file
// through json_parse_file, anything else read here and passed to
// json_parse), or with lines once per non-blank line, each line loaded on
// its own; a line that fails is reported with its number and the rest go
// on. Returns the combined status.
int cli_each_document(const char *file, bool lines, const std::function<int()> &fn);
// The same with each text handed to fn unloaded.
int cli_each_text(const char *file, bool lines, const std::function<int(const std::string &)> &fn);

// Loads FILE (null or "-": standard input). With named set, a parse error
// of standard input is reported as coming from "standard input" (for
// commands that read two inputs). Reports a failure and returns false.
bool cli_load(const char *file, bool named = false);
// Reads a whole file, pipe or standard input (null or "-") into out;
// reports a failure and returns false.
bool cli_read(const char *file, std::string &out);
// The name a message gives an input.
const char *cli_input_name(const char *file);
bool cli_is_stdin(const char *file);

// Prints "jsonengine: ", the current line's place in JSON Lines mode and
// the engine's last message on standard error.
int cli_fail(int status = CLI_FAILED);
// The same with a message of the program's own.
int cli_error(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Warns that a result table of `cap` rows is full, so more may exist, and
// returns CLI_CUT.
int cli_cut(const char *command, const char *rows, int cap);
// Prints the usage of one command on standard error.
int cli_usage(const char *command);
// Prints the help of one command on standard output.
int cli_help_command(const char *command);

// Checked output on standard output: the first failure is remembered and
// reported by cli_finish, which flushes.
void cli_write(const char *text, size_t n);
void cli_puts(const char *text);
// text and a newline.
int cli_print(const char *text);
// A JSON value text; a string is written decoded (no quotes or escapes).
void cli_print_raw(const char *json);
// bytes as a JSON string, escaped.
void cli_write_json_string(const char *text);
// True once a write to standard output failed.
bool cli_output_failed();
// Flushes standard output; when any write failed, prints "jsonengine:
// write error: " and the reason and returns error_status, else status.
int cli_finish(int status, int error_status);
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
const cli_command *cli_find(const char *name);

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
