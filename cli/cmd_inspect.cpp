// Inspection commands: validate, stats, search, flatten, format.
#include <cstring>
#include <string>

#include "cli.h"
#include "quendral/jsonengine.h"

int cmd_validate(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("validate", argc, argv, 0, 1, a); rc >= 0) return rc;
    return cli_each_text(a.pos.empty() ? nullptr : a.pos[0], a.lines, [](const std::string &text) {
        int rc = json_validate(text.c_str());
        cli_print(json_validate_report_json());
        return rc == 0 ? CLI_OK : cli_fail();
    });
}

int cmd_stats(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("stats", argc, argv, 0, 1, a); rc >= 0) return rc;
    return cli_each_document(a.pos.empty() ? nullptr : a.pos[0], a.lines, [] {
        const char *text = json_stats_json();
        if (!text[0]) return cli_fail();
        return cli_print(text);
    });
}

int cmd_search(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("search", argc, argv, 1, 2, a); rc >= 0) return rc;
    const char *mode = a.mode ? a.mode : "both";
    return cli_each_document(a.pos.size() > 1 ? a.pos[1] : nullptr, a.lines, [&] {
        if (json_search(mode, a.pos[0]) != 0) return cli_fail();
        int n = json_search_count();
        for (int k = 0; k < n; ++k) {
            cli_puts(json_search_field(k, "path"));
            cli_write("\t", 1);
            const char *key = json_search_field(k, "key");
            cli_puts(key);
            cli_write("\t", 1);
            // A key hit carries the member's value as JSON already; a value
            // hit carries the string's own text, written here as JSON too.
            if (key[0])
                cli_puts(json_search_field(k, "value"));
            else
                cli_write_json_string(json_search_field(k, "value"));
            cli_write("\n", 1);
        }
        // A message beside the hits means a key hit's value could not be written.
        int status = json_last_error()[0] ? cli_fail() : CLI_OK;
        if (n >= JSONENGINE_SEARCH_MAX_HITS)
            status = cli_worse(status, cli_cut("search", "hits", JSONENGINE_SEARCH_MAX_HITS));
        return status;
    });
}

// Pairs of a flattened object: its members are leaves (or the one "$"
// pair), so commas at the object's own level outside strings separate them.
static size_t cli_count_pairs(const char *text) {
    size_t pairs = 0, depth = 0;
    bool in_string = false, any = false;
    for (const char *p = text; *p; ++p) {
        char c = *p;
        if (in_string) {
            if (c == '\\' && p[1])
                ++p;
            else if (c == '"')
                in_string = false;
            continue;
        }
        if (c == '"') {
            in_string = true;
            if (depth == 1) any = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == ',' && depth == 1) {
            ++pairs;
        }
    }
    return any ? pairs + 1 : 0;
}

int cmd_flatten(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("flatten", argc, argv, 0, 1, a); rc >= 0) return rc;
    return cli_each_document(a.pos.empty() ? nullptr : a.pos[0], a.lines, [] {
        const char *text = json_flatten();
        if (!text[0]) return cli_fail();
        cli_print(text);
        int status = json_last_error()[0] ? cli_fail() : CLI_OK;
        if (cli_count_pairs(text) >= JSONENGINE_FLATTEN_MAX_LEAVES)
            status = cli_worse(status, cli_cut("flatten", "leaves", JSONENGINE_FLATTEN_MAX_LEAVES));
        return status;
    });
}

static bool cli_is_layout(const char *s) {
    return strcmp(s, "pretty") == 0 || strcmp(s, "minify") == 0 || strcmp(s, "sorted") == 0;
}

int cmd_format(int argc, char **argv) {
    cli_args a;
    if (int rc = cli_parse("format", argc, argv, 0, 2, a); rc >= 0) return rc;
    const char *mode = "pretty";
    const char *file = nullptr;
    if (a.pos.size() == 2) {
        mode = a.pos[0];
        file = a.pos[1];
    } else if (a.pos.size() == 1) {
        if (cli_is_layout(a.pos[0]))
            mode = a.pos[0];
        else
            file = a.pos[0];
    }
    return cli_each_document(file, a.lines, [&] {
        const char *text = json_format(mode);
        if (!text[0]) return cli_fail();
        return cli_print(text);
    });
}
