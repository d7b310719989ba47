// Input loading, file reading and output helpers shared by the commands.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli.h"
#include "quendral/jsonengine.h"

static bool cli_is_stdin(const char *file) { return !file || strcmp(file, "-") == 0; }

bool cli_read(const char *file, std::string &out) {
    FILE *f = cli_is_stdin(file) ? stdin : cli_fopen_read(file);
    if (!f) {
        fprintf(stderr, "jsonengine: cannot open file: %s\n", file);
        return false;
    }
    out.clear();
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) out.append(chunk, n);
    bool ok = !ferror(f);
    if (f != stdin) fclose(f);
    if (!ok) fprintf(stderr, "jsonengine: cannot read %s\n", cli_is_stdin(file) ? "standard input" : file);
    return ok;
}

bool cli_load(const char *file) {
    if (!cli_is_stdin(file)) {
        if (json_parse_file(file) != 0) return cli_fail(), false;
        return true;
    }
    std::string text;
    if (!cli_read(nullptr, text)) return false;
    if (json_parse(text.c_str()) != 0) return cli_fail(), false;
    return true;
}

int cli_fail(int status) {
    fprintf(stderr, "jsonengine: %s\n", json_last_error());
    return status;
}

int cli_usage(const char *command) {
    for (int i = 0; i < cli_ncommands; ++i)
        if (strcmp(cli_commands[i].name, command) == 0)
            fprintf(stderr, "usage: jsonengine %s %s\n", cli_commands[i].name, cli_commands[i].args);
    return CLI_USAGE;
}

int cli_print(const char *text) {
    fputs(text, stdout);
    fputc('\n', stdout);
    return CLI_OK;
}

int cli_print_document() {
    const char *text = json_get("$");
    if (!text[0]) return cli_fail();
    return cli_print(text);
}
