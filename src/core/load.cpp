// Loading: json_parse, json_parse_file, json_root_type, the whole-file
// reader and the value-text parser used by set, merge and diff.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/stat.h>
#endif

#include "je_internal.h"

// fopen opens a directory for reading on POSIX systems, and its "size" is
// whatever the file system's seek reports (up to 2 GiB on some), which
// would be allocated before the read fails. A directory is not a file the
// engine can read, as fopen already decides on Windows.
static bool je_is_directory(FILE *f) {
#if defined(__unix__) || defined(__APPLE__)
    struct stat st;
    return fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode);
#else
    (void)f;
    return false;
#endif
}

// Sizes at or past 2 GiB are refused as if the size could not be taken, so
// every platform reads the same files.
constexpr int64_t JE_FILE_SIZE_LIMIT = 2147483647;
static_assert(JSONENGINE_FILE_SIZE_MAX == JE_FILE_SIZE_LIMIT);

extern "C" JSONENGINE_API int json_parse(const char *text) {
    je_err_clear();
    return je_guard(-1, [&] {
        if (!text) {
            je_set_error("null input");
            return -1;
        }
        size_t len = strlen(text);
        yyjson_read_err err;
        je_doc_guard doc(yyjson_read_opts(const_cast<char *>(text), len, 0, nullptr, &err));
        if (!doc.d) {
            // The reader gives up without memory too; that says nothing
            // about the text.
            if (err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) {
                je_set_error("out of memory");
                return -1;
            }
            size_t line = 1, col = 1;
            if (err.pos != 0) {
                size_t l = 0, c = 0;
                if (yyjson_locate_pos(text, len, err.pos, &l, &c, nullptr)) {
                    line = l;
                    col = c;
                }
            }
            je_set_errorf("parse error: %s (line %zu col %zu)", err.msg ? err.msg : "unknown", line, col);
            return -1;
        }
        return je_doc_set_from_imut(doc.d) ? 0 : -1;
    });
}

char *je_read_file(const char *path, size_t *out_length) {
    if (!path || !path[0]) {
        je_set_error("empty file path");
        return nullptr;
    }
    FILE *f = je_fopen_read(path);
    if (!f) {
        je_set_errorf("cannot open file: %s", path);
        return nullptr;
    }
    struct closer {
        FILE *f;
        ~closer() { fclose(f); }
    } close_on_exit{f};
    if (je_is_directory(f)) {
        je_set_errorf("cannot open file: %s", path);
        return nullptr;
    }
    int64_t size = 0;
    if (!je_file_size(f, &size)) {
        je_set_errorf("seek failed: %s", path);
        return nullptr;
    }
    if (size < 0 || size > JE_FILE_SIZE_LIMIT) {
        je_set_errorf("tell failed: %s", path);
        return nullptr;
    }
    rewind(f);
    char *block = static_cast<char *>(malloc(static_cast<size_t>(size) + 1));
    if (!block) {
        je_set_error("out of memory");
        return nullptr;
    }
    size_t got = fread(block, 1, static_cast<size_t>(size), f);
    if (got != static_cast<size_t>(size)) {
        free(block);
        je_set_errorf("short read on %s", path);
        return nullptr;
    }
    block[size] = '\0';
    if (out_length) *out_length = static_cast<size_t>(size);
    return block;
}

extern "C" JSONENGINE_API int json_parse_file(const char *path) {
    je_err_clear();
    return je_guard(-1, [&] {
        if (!path) {
            je_set_error("null path");
            return -1;
        }
        je_free_guard text(je_read_file(path, nullptr));
        if (!text.p) return -1;
        return json_parse(static_cast<const char *>(text.p));
    });
}

extern "C" JSONENGINE_API const char *json_root_type(void) {
    static char t[8];
    yyjson_mut_val *root = je_doc ? yyjson_mut_doc_get_root(je_doc) : nullptr;
    if (!root) return je_empty;
    const char *name;
    switch (yyjson_mut_get_type(root)) {
        case YYJSON_TYPE_OBJ: name = "object"; break;
        case YYJSON_TYPE_ARR: name = "array"; break;
        case YYJSON_TYPE_STR: name = "string"; break;
        case YYJSON_TYPE_NUM: name = "number"; break;
        case YYJSON_TYPE_BOOL: name = "bool"; break;
        default: name = "null"; break;
    }
    snprintf(t, sizeof t, "%s", name);
    return t;
}

yyjson_doc *je_read_value(const char *text, const char **out_message) {
    if (!text) {
        *out_message = "null value";
        return nullptr;
    }
    yyjson_read_err err;
    yyjson_doc *parsed = yyjson_read_opts(const_cast<char *>(text), strlen(text), 0, nullptr, &err);
    if (!parsed) {
        if (err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION)
            *out_message = "out of memory";
        else
            *out_message = err.msg ? err.msg : "invalid JSON value";
    }
    return parsed;
}

yyjson_mut_val *je_parse_val(yyjson_mut_doc *doc, const char *text, const char **out_message) {
    je_doc_guard parsed(je_read_value(text, out_message));
    if (!parsed.d) return nullptr;
    yyjson_mut_val *copy = yyjson_val_mut_copy(doc, yyjson_doc_get_root(parsed.d));
    if (!copy) {
        *out_message = "out of memory";
        return nullptr;
    }
    return copy;
}
