// Paths: the step table, its parser, and reading by path (json_get, json_extract).
#include <cstdio>
#include <cstring>

#include "je_tree.h"

JE_LARGE_STATIC je_step je_steps[JE_MAX_STEPS];
int32_t je_nsteps = 0;

static bool je_is_digit(char c) { return c >= '0' && c <= '9'; }

bool je_parse_path(const char *path) {
    je_nsteps = 0;
    if (!path) {
        je_set_error("null path");
        return false;
    }
    if (path[0] == '$' && path[1] == '\0') return true;
    if (path[0] != '$') {
        je_set_errorf("path must start with '$': %s", path);
        return false;
    }
    const char *p = path + 1;
    for (;;) {
        if (*p == '.') {
            ++p;
            if (*p == '[') {
                je_set_error("expected key after '.'");
                return false;
            }
            je_step &s = je_steps[je_nsteps++];
            s.kind = JE_STEP_KEY;
            s.index = 0;
            if (*p == '\0' || *p == '.') {
                je_set_error("empty path key");
                return false;
            }
            size_t n = 0;
            while (*p != '\0' && *p != '.' && *p != '[') {
                if (n == JE_STEP_KEY_SIZE - 1) {
                    je_set_error("path key too long");
                    return false;
                }
                s.key[n++] = *p++;
            }
            s.key[n] = '\0';
        } else if (*p == '[') {
            const char *after = p + 1;
            je_step &s = je_steps[je_nsteps++];
            s.kind = JE_STEP_INDEX;
            s.key[0] = '\0';
            if (!je_is_digit(*after)) {
                je_set_errorf("expected array index in path at: %s", after);
                return false;
            }
            int64_t value = 0;
            const char *q = after;
            while (je_is_digit(*q)) {
                if (value <= JE_MAX_INDEX) value = value * 10 + (*q - '0');
                ++q;
            }
            if (value > JE_MAX_INDEX) value = JE_MAX_INDEX;
            if (*q != ']') {
                je_set_errorf("expected ']' in path at: %s", after);
                return false;
            }
            s.index = value;
            p = q + 1;
        } else {
            je_set_errorf("unexpected character in path: '%c'", *p);
            return false;
        }
        if (*p == '\0') return true;
        if (je_nsteps == JE_MAX_STEPS) {
            je_set_error("path too deep");
            return false;
        }
    }
}

static const char *je_get(const char *path) {
    je_err_clear();
    return je_guard<const char *>(je_empty, [&]() -> const char * {
        if (!je_doc_ensure()) {
            je_set_error("no document loaded");
            return je_empty;
        }
        if (!je_parse_path(path)) return je_empty;
        return je_with_root([&](auto *root) -> const char * {
            auto *val = je_nav(root);
            if (!val) {
                je_set_errorf("path not found: %s", path);
                return je_empty;
            }
            size_t len = 0;
            char *text = je_write_opts(val, 0, je_out_begin(), &len);
            return je_out_text(text, len);
        });
    });
}

extern "C" JSONENGINE_API const char *json_get(const char *path) { return je_get(path); }

extern "C" JSONENGINE_API const char *json_extract(const char *path) { return je_get(path); }
