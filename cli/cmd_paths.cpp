// Commands on the loaded document by path: type, get, set, delete.
#include <cstring>

#include "cli.h"
#include "quendral/jsonengine.h"

int cmd_type(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("type", argc, argv, 0, 1, a); rc >= 0) return rc;
    return cli_each_document(a.pos.empty() ? nullptr : a.pos[0], a.lines, [] { return cli_print(json_root_type()); });
}

// jq's -e: a run whose last value is null or false, or that has none, fails.
static bool cli_falsy(const char *json) { return strcmp(json, "null") == 0 || strcmp(json, "false") == 0; }

int cmd_get(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("get", argc, argv, 1, 2, a); rc >= 0) return rc;
    bool truthy = false;
    int status = cli_each_document(a.pos.size() > 1 ? a.pos[1] : nullptr, a.lines, [&] {
        const char *text = json_get(a.pos[0]);
        if (!text[0]) return truthy = false, cli_fail();
        truthy = !cli_falsy(text);
        if (a.raw)
            cli_print_raw(text);
        else
            cli_puts(text);
        cli_write("\n", 1);
        return CLI_OK;
    });
    if (a.exit_status && status == CLI_OK && !truthy) return CLI_FAILED;
    return status;
}

int cmd_set(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("set", argc, argv, 2, 3, a); rc >= 0) return rc;
    if (!cli_load(a.pos.size() > 2 ? a.pos[2] : nullptr)) return CLI_FAILED;
    if (json_set(a.pos[0], a.pos[1]) != 0) return cli_fail();
    return cli_print_document();
}

int cmd_delete(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("delete", argc, argv, 1, 2, a); rc >= 0) return rc;
    if (!cli_load(a.pos.size() > 1 ? a.pos[1] : nullptr)) return CLI_FAILED;
    if (json_delete(a.pos[0]) != 0) return cli_fail();
    return cli_print_document();
}
