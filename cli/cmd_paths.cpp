// Commands on the loaded document by path: type, get, set, delete.
#include "cli.h"
#include "quendral/jsonengine.h"

int cmd_type(int argc, char **argv) {
    if (argc > 1) return cli_usage("type");
    if (!cli_load(argc ? argv[0] : nullptr)) return CLI_FAILED;
    return cli_print(json_root_type());
}

int cmd_get(int argc, char **argv) {
    if (argc < 1 || argc > 2) return cli_usage("get");
    if (!cli_load(argc > 1 ? argv[1] : nullptr)) return CLI_FAILED;
    const char *text = json_get(argv[0]);
    if (!text[0]) return cli_fail();
    return cli_print(text);
}

int cmd_set(int argc, char **argv) {
    if (argc < 2 || argc > 3) return cli_usage("set");
    if (!cli_load(argc > 2 ? argv[2] : nullptr)) return CLI_FAILED;
    if (json_set(argv[0], argv[1]) != 0) return cli_fail();
    return cli_print_document();
}

int cmd_delete(int argc, char **argv) {
    if (argc < 1 || argc > 2) return cli_usage("delete");
    if (!cli_load(argc > 1 ? argv[1] : nullptr)) return CLI_FAILED;
    if (json_delete(argv[0]) != 0) return cli_fail();
    return cli_print_document();
}
