// Loading: json_parse, json_parse_file, json_root_type, the whole-file
// reader and the value-text parser used by set, merge and diff.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "je_tree.h"

// Sizes at or past 2 GiB are refused as if the size could not be taken, so
// every platform reads the same files.
constexpr int64_t JE_FILE_SIZE_LIMIT = 2147483647;
static_assert(JSONENGINE_FILE_SIZE_MAX == JE_FILE_SIZE_LIMIT);

// Reads text[0, len) into a document; null with the load's message. In
// place (insitu) the reader keeps its strings inside text, which must then
// be followed by YYJSON_PADDING_SIZE NUL bytes; its message then has no
// line and column, since the reader may have rewritten the text before the
// error, and the caller reports the error from an untouched copy.
static yyjson_doc *je_read_doc(char *text, size_t len, bool insitu) {
    yyjson_read_err err;
    yyjson_doc *doc = yyjson_read_opts(text, len, insitu ? YYJSON_READ_INSITU : 0, je_big_alc(), &err);
    if (doc) return doc;
    // The reader gives up without memory too; that says nothing about the text.
    if (err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) {
        je_set_error("out of memory");
        return nullptr;
    }
    if (insitu) return nullptr;
    size_t line = 1, col = 1;
    if (err.pos != 0) {
        size_t l = 0, c = 0;
        if (yyjson_locate_pos(text, len, err.pos, &l, &c, nullptr)) {
            line = l;
            col = c;
        }
    }
    je_set_errorf("parse error: %s (line %zu col %zu)", err.msg ? err.msg : "unknown", line, col);
    return nullptr;
}

extern "C" JSONENGINE_API int json_parse(const char *text) {
    je_err_clear();
    return je_guard(-1, [&] {
        if (!text) {
            je_set_error("null input");
            return -1;
        }
        yyjson_doc *doc = je_read_doc(const_cast<char *>(text), strlen(text), false);
        if (!doc) return -1;
        je_doc_install_read(doc, nullptr);
        return 0;
    });
}

char *je_read_file(const char *path, size_t *out_length) {
    if (!path || !path[0]) {
        je_set_error("empty file path");
        return nullptr;
    }
    je_file f;
    if (!f.open(path)) {
        je_set_errorf("cannot open file: %s", path);
        return nullptr;
    }
    // A directory's "size" is whatever the file system's seek reports (up
    // to 2 GiB on some), which would be allocated before the read fails.
    if (f.is_directory()) {
        je_set_errorf("cannot open file: %s", path);
        return nullptr;
    }
    int64_t size = 0;
    if (!f.size(&size)) {
        je_set_errorf("seek failed: %s", path);
        return nullptr;
    }
    if (size < 0 || size > JE_FILE_SIZE_LIMIT) {
        je_set_errorf("tell failed: %s", path);
        return nullptr;
    }
    f.rewind();
    size_t n = static_cast<size_t>(size);
    char *block = static_cast<char *>(je_big_alloc(n + YYJSON_PADDING_SIZE));
    if (!block) {
        je_set_error("out of memory");
        return nullptr;
    }
    if (f.read(block, n) != n) {
        free(block);
        je_set_errorf("short read on %s", path);
        return nullptr;
    }
    memset(block + n, 0, YYJSON_PADDING_SIZE);
    if (out_length) *out_length = n;
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
        // The text ends at its first NUL byte; the reader reads it in place,
        // so the bytes after it must be NUL too.
        char *block = static_cast<char *>(text.p);
        size_t len = strlen(block);
        memset(block + len, 0, YYJSON_PADDING_SIZE);
        yyjson_doc *doc = je_read_doc(block, len, true);
        if (!doc) {
            if (!je_err_empty()) return -1;
            // Not JSON: the message comes from the file's untouched text.
            free(text.p);
            text.p = je_read_file(path, nullptr);
            if (!text.p) return -1;
            return json_parse(static_cast<const char *>(text.p));
        }
        je_doc_install_read(doc, block);
        text.p = nullptr;
        return 0;
    });
}

extern "C" JSONENGINE_API const char *json_root_type(void) {
    static char t[8];
    if (!je_doc_ensure()) return je_empty;
    const char *name;
    switch (je_with_root([](auto *root) { return je_type(root); })) {
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
    yyjson_doc *doc = yyjson_read_opts(const_cast<char *>(text), strlen(text), 0, je_big_alc(), &err);
    if (!doc) {
        if (err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION)
            *out_message = "out of memory";
        else
            *out_message = err.msg ? err.msg : "invalid JSON value";
    }
    return doc;
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
