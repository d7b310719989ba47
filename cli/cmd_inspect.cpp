// Inspection commands: validate, stats, search, flatten, format.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.h"
#include "quendral/jsonengine.h"

int cmd_validate(int argc, char **argv) {
    if (argc > 1) return cli_usage("validate");
    std::string text;
    if (!cli_read(argc ? argv[0] : nullptr, text)) return CLI_FAILED;
    int rc = json_validate(text.c_str());
    cli_print(json_validate_report_json());
    return rc == 0 ? CLI_OK : cli_fail();
}

int cmd_stats(int argc, char **argv) {
    if (argc > 1) return cli_usage("stats");
    if (!cli_load(argc ? argv[0] : nullptr)) return CLI_FAILED;
    const char *text = json_stats_json();
    if (!text[0]) return cli_fail();
    return cli_print(text);
}

int cmd_search(int argc, char **argv) {
    const char *mode = "both";
    int i = 0;
    if (argc >= 1 && strcmp(argv[0], "--mode") == 0) {
        if (argc < 2) return cli_usage("search");
        mode = argv[1];
        i = 2;
    } else if (argc >= 1 && strncmp(argv[0], "--mode=", 7) == 0) {
        mode = argv[0] + 7;
        i = 1;
    }
    if (argc - i < 1 || argc - i > 2) return cli_usage("search");
    if (!cli_load(argc - i > 1 ? argv[i + 1] : nullptr)) return CLI_FAILED;
    if (json_search(mode, argv[i]) != 0) return cli_fail();
    int n = json_search_count();
    for (int k = 0; k < n; ++k) {
        fputs(json_search_field(k, "path"), stdout);
        fputc('\t', stdout);
        fputs(json_search_field(k, "key"), stdout);
        fputc('\t', stdout);
        cli_print(json_search_field(k, "value"));
    }
    return CLI_OK;
}

int cmd_flatten(int argc, char **argv) {
    if (argc > 1) return cli_usage("flatten");
    if (!cli_load(argc ? argv[0] : nullptr)) return CLI_FAILED;
    const char *text = json_flatten();
    if (!text[0]) return cli_fail();
    return cli_print(text);
}

static bool cli_is_layout(const char *s) {
    return strcmp(s, "pretty") == 0 || strcmp(s, "minify") == 0 || strcmp(s, "sorted") == 0;
}

int cmd_format(int argc, char **argv) {
    const char *mode = "pretty";
    const char *file = nullptr;
    if (argc == 2) {
        mode = argv[0];
        file = argv[1];
    } else if (argc == 1) {
        if (cli_is_layout(argv[0]))
            mode = argv[0];
        else
            file = argv[0];
    } else if (argc != 0) {
        return cli_usage("format");
    }
    if (!cli_load(file)) return CLI_FAILED;
    const char *text = json_format(mode);
    if (!text[0]) return cli_fail();
    return cli_print(text);
}
