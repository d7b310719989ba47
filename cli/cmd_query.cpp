// The query command: one compact value per line, --paths adds each
// result's path and a tab before it, --raw prints all values as one array.
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"
#include "quendral/jsonengine.h"

// json_query_field cuts a value text at this many bytes; a value that long
// is printed whole from the raw result array instead.
constexpr size_t CLI_QUERY_FIELD_CUT = 12287;

int cmd_query(int argc, char **argv) {
    bool paths = false, raw = false;
    int i = 0;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        if (strcmp(argv[i], "--paths") == 0)
            paths = true;
        else if (strcmp(argv[i], "--raw") == 0)
            raw = true;
        else
            return cli_usage("query");
    }
    if ((paths && raw) || argc - i < 1 || argc - i > 2) return cli_usage("query");
    const char *query = argv[i];
    if (!cli_load(argc - i > 1 ? argv[i + 1] : nullptr)) return CLI_FAILED;
    if (json_query(query) != 0) return cli_fail();
    if (raw) {
        const char *text = json_query_raw();
        if (!text[0]) return cli_fail();
        return cli_print(text);
    }
    int n = json_query_count();
    std::vector<std::string> values(static_cast<size_t>(n));
    bool cut = false;
    for (int k = 0; k < n; ++k) {
        values[static_cast<size_t>(k)] = json_query_field(k, "value");
        if (values[static_cast<size_t>(k)].size() >= CLI_QUERY_FIELD_CUT) cut = true;
    }
    if (cut) {
        // The result table survives loading, so the raw array can become the
        // document and each element be read whole by path.
        std::string all = json_query_raw();
        if (all.empty() || json_parse(all.c_str()) != 0) return cli_fail();
        for (int k = 0; k < n; ++k) {
            std::string path = "$[" + std::to_string(k) + "]";
            const char *text = json_get(path.c_str());
            if (!text[0]) return cli_fail();
            values[static_cast<size_t>(k)] = text;
        }
    }
    for (int k = 0; k < n; ++k) {
        if (paths) {
            fputs(json_query_field(k, "path"), stdout);
            fputc('\t', stdout);
        }
        cli_print(values[static_cast<size_t>(k)].c_str());
    }
    return CLI_OK;
}
