// Comparison and conversion commands: merge, diff, to-csv, from-csv.
#include <cstring>
#include <string>

#include "cli.h"
#include "quendral/jsonengine.h"

// The engine tells a value text that is not JSON by its role ("merge
// target: ...", "diff target: ..."), without a place; loading the text as
// a document gives the line and column. Only for a failing command, since
// it replaces the document.
static int cli_text_failed(const char *file, const std::string &text, const char *prefix, int status) {
    std::string message = json_last_error();
    if (message.rfind(prefix, 0) == 0 && json_parse(text.c_str()) != 0)
        return cli_error("%s: %s", cli_input_name(file), json_last_error()), status;
    return cli_error("%s", message.c_str()), status;
}

int cmd_merge(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("merge", argc, argv, 1, 2, a); rc >= 0) return rc;
    const char *patch_file = a.pos[0];
    const char *file = a.pos.size() > 1 ? a.pos[1] : nullptr;
    if (cli_is_stdin(patch_file) && cli_is_stdin(file)) {
        fprintf(stderr, "jsonengine: merge: standard input can be only one of PATCH and FILE\n");
        return cli_usage("merge");
    }
    std::string patch;
    if (!cli_read(patch_file, patch)) return CLI_FAILED;
    if (!cli_load(file, true)) return CLI_FAILED;
    if (json_merge(patch.c_str()) != 0) return cli_text_failed(patch_file, patch, "merge target: ", CLI_FAILED);
    return cli_print_document();
}

// diff follows diff(1): 0 when equal, 1 when different, 2 on errors.
constexpr int CLI_DIFF_DIFFERENT = 1;
constexpr int CLI_DIFF_ERROR = 2;

int cmd_diff(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("diff", argc, argv, 2, 2, a); rc >= 0) return rc;
    const char *file_a = a.pos[0], *file_b = a.pos[1];
    if (cli_is_stdin(file_a) && cli_is_stdin(file_b)) {
        fprintf(stderr, "jsonengine: diff: standard input can be only one of A and B\n");
        return cli_usage("diff");
    }
    std::string other;
    if (!cli_read(file_b, other)) return CLI_DIFF_ERROR;
    if (!cli_load(file_a, true)) return CLI_DIFF_ERROR;
    if (json_diff(other.c_str()) != 0) return cli_text_failed(file_b, other, "diff target: ", CLI_DIFF_ERROR);
    int n = json_diff_count();
    static const char *const fields[] = {"path", "type", "a", "b"};
    for (int k = 0; k < n; ++k) {
        for (int f = 0; f < 4; ++f) {
            if (f) cli_write("\t", 1);
            cli_puts(json_diff_field(k, fields[f]));
        }
        cli_write("\n", 1);
    }
    if (n >= JSONENGINE_DIFF_MAX_ROWS) return cli_cut("diff", "rows", JSONENGINE_DIFF_MAX_ROWS);
    return n ? CLI_DIFF_DIFFERENT : CLI_OK;
}

int cmd_to_csv(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("to-csv", argc, argv, 0, 2, a); rc >= 0) return rc;
    const char *path = nullptr;
    const char *file = nullptr;
    if (a.pos.size() == 2) {
        path = a.pos[0];
        file = a.pos[1];
    } else if (a.pos.size() == 1) {
        if (a.pos[0][0] == '$')
            path = a.pos[0];
        else
            file = a.pos[0];
    }
    return cli_each_document(file, a.lines, [&] {
        const char *text = json_to_csv(path);
        // An empty array gives the empty text without a message; only a
        // message tells a failure apart.
        if (!text[0] && json_last_error()[0]) return cli_fail();
        // CSV text already ends each line with a line feed.
        cli_puts(text);
        // A message beside a text means a cell could not be written.
        if (json_last_error()[0]) return cli_fail();
        return CLI_OK;
    });
}

int cmd_from_csv(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("from-csv", argc, argv, 0, 1, a); rc >= 0) return rc;
    std::string csv;
    if (!cli_read(a.pos.empty() ? nullptr : a.pos[0], csv)) return CLI_FAILED;
    if (json_from_csv(csv.c_str()) != 0) return cli_fail();
    return cli_print_document();
}
