// Comparison and conversion commands: merge, diff, to-csv, from-csv.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.h"
#include "quendral/jsonengine.h"

int cmd_merge(int argc, char **argv) {
    if (argc < 1 || argc > 2) return cli_usage("merge");
    std::string patch;
    if (!cli_read(argv[0], patch)) return CLI_FAILED;
    if (!cli_load(argc > 1 ? argv[1] : nullptr)) return CLI_FAILED;
    if (json_merge(patch.c_str()) != 0) return cli_fail();
    return cli_print_document();
}

// diff follows diff(1): 0 when equal, 1 when different, 2 on errors.
constexpr int CLI_DIFF_DIFFERENT = 1;
constexpr int CLI_DIFF_ERROR = 2;

int cmd_diff(int argc, char **argv) {
    if (argc < 1 || argc > 2) return cli_usage("diff");
    std::string other;
    if (!cli_read(argv[0], other)) return CLI_DIFF_ERROR;
    if (!cli_load(argc > 1 ? argv[1] : nullptr)) return CLI_DIFF_ERROR;
    if (json_diff(other.c_str()) != 0) return cli_fail(CLI_DIFF_ERROR);
    int n = json_diff_count();
    static const char *const fields[] = {"path", "type", "a", "b"};
    for (int k = 0; k < n; ++k) {
        for (int f = 0; f < 4; ++f) {
            if (f) fputc('\t', stdout);
            fputs(json_diff_field(k, fields[f]), stdout);
        }
        fputc('\n', stdout);
    }
    return n ? CLI_DIFF_DIFFERENT : CLI_OK;
}

int cmd_to_csv(int argc, char **argv) {
    const char *path = nullptr;
    const char *file = nullptr;
    if (argc == 2) {
        path = argv[0];
        file = argv[1];
    } else if (argc == 1) {
        if (argv[0][0] == '$')
            path = argv[0];
        else
            file = argv[0];
    } else if (argc != 0) {
        return cli_usage("to-csv");
    }
    if (!cli_load(file)) return CLI_FAILED;
    const char *text = json_to_csv(path);
    // An empty array gives the empty text without a message; only a message
    // tells a failure apart.
    if (!text[0] && json_last_error()[0]) return cli_fail();
    // CSV text already ends each line with a line feed.
    fputs(text, stdout);
    // A message beside a text means a cell could not be written.
    if (json_last_error()[0]) return cli_fail();
    return CLI_OK;
}

int cmd_from_csv(int argc, char **argv) {
    if (argc > 1) return cli_usage("from-csv");
    std::string csv;
    if (!cli_read(argc ? argv[0] : nullptr, csv)) return CLI_FAILED;
    if (json_from_csv(csv.c_str()) != 0) return cli_fail();
    return cli_print_document();
}
