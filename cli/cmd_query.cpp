// The query command: one compact value per line; --paths puts each
// result's path and a tab before it, --array prints all values as one
// array, -r prints strings decoded.
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"
#include "quendral/jsonengine.h"

// The result values of the last query, whole: a value that json_query_field
// cut is read back from the raw result array instead.
static bool cli_query_values(std::vector<std::string> &values) {
    int n = json_query_count();
    values.assign(static_cast<size_t>(n), std::string());
    bool cut = false;
    for (int k = 0; k < n; ++k) {
        values[static_cast<size_t>(k)] = json_query_field(k, "value");
        if (values[static_cast<size_t>(k)].size() >= JSONENGINE_QUERY_VALUE_MAX) cut = true;
    }
    if (!cut) return true;
    // The result table survives loading, so the raw array can become the
    // document and each element be read whole by path.
    std::string all = json_query_raw();
    if (all.empty() || json_parse(all.c_str()) != 0) return cli_fail(), false;
    for (int k = 0; k < n; ++k) {
        std::string path = "$[" + std::to_string(k) + "]";
        const char *text = json_get(path.c_str());
        if (!text[0]) return cli_fail(), false;
        values[static_cast<size_t>(k)] = text;
    }
    return true;
}

int cmd_query(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("query", argc, argv, 1, 2, a); rc >= 0) return rc;
    if (a.paths && a.array) {
        fprintf(stderr, "jsonengine: query: --paths and --array exclude each other\n");
        return cli_usage("query");
    }
    const char *query = a.pos[0];
    bool any = false, last_truthy = false;
    std::vector<std::string> values;
    int status = cli_each_document(a.pos.size() > 1 ? a.pos[1] : nullptr, a.lines, [&] {
        if (json_query(query) != 0) return cli_fail();
        int n = json_query_count();
        int cut = n >= JSONENGINE_QUERY_MAX_RESULTS ? CLI_CUT : CLI_OK;
        if (a.array) {
            const char *text = json_query_raw();
            if (!text[0]) return cli_fail();
            cli_print(text);
            any = any || n > 0;
            last_truthy = n > 0;
        } else {
            if (!cli_query_values(values)) return CLI_FAILED;
            for (int k = 0; k < n; ++k) {
                const std::string &v = values[static_cast<size_t>(k)];
                if (a.paths) {
                    cli_puts(json_query_field(k, "path"));
                    cli_write("\t", 1);
                }
                if (a.raw)
                    cli_print_raw(v.c_str());
                else
                    cli_write(v.data(), v.size());
                cli_write("\n", 1);
                any = true;
                last_truthy = v != "null" && v != "false";
            }
        }
        if (cut) cli_cut("query", "results", JSONENGINE_QUERY_MAX_RESULTS);
        return cut;
    });
    if (a.exit_status && status == CLI_OK && !(any && last_truthy)) return CLI_FAILED;
    return status;
}
