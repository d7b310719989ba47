// json_from_csv: CSV text with a header line becomes the engine document,
// an array of one object per record with typed cell values.
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include "je_convert.h"

constexpr size_t JE_CSV_FIELD_MAX = JE_CSV_FIELD_SIZE - 1;  // stored bytes of a field

namespace {
// The header of one conversion: names as read (cut like every field, a cut
// never splitting a character) and their lengths.
struct je_csv_names {
    char name[JE_CSV_MAX_COLUMNS][JE_CSV_FIELD_SIZE];
    size_t len[JE_CSV_MAX_COLUMNS];
    int32_t count = 0;
};
}  // namespace

// Consumes a field terminator at cur, if any: "," or LF, or CR with an
// optional LF. Returns whether cur stood on one or on the end of the text.
static bool je_csv_end(const char *&cur) {
    switch (*cur) {
        case '\0': return true;
        case ',':
        case '\n': ++cur; return true;
        case '\r':
            ++cur;
            if (*cur == '\n') ++cur;
            return true;
        default: return false;
    }
}

const char *je_csv_field(const char *cur, char *out, size_t *out_len) {
    size_t n = 0;
    bool cut = false;
    auto put = [&](char c) {
        if (n < JE_CSV_FIELD_MAX)
            out[n++] = c;
        else
            cut = true;
    };
    bool ended = false;
    if (*cur == '"') {
        ++cur;
        for (;;) {
            char c = *cur;
            if (c == '\0') break;  // no closing quote: the field ends with the text
            if (c == '"') {
                if (cur[1] == '"') {
                    put('"');
                    cur += 2;
                    continue;
                }
                ++cur;
                break;
            }
            put(c);
            ++cur;
        }
        // Text right after the closing quote continues the field unquoted.
        ended = je_csv_end(cur);
    }
    if (!ended) {
        while (*cur != '\0' && *cur != ',' && *cur != '\n' && *cur != '\r') put(*cur++);
        je_csv_end(cur);
    }
    if (cut) n = je_utf8_trim(out, n);
    out[n] = '\0';
    *out_len = n;
    return cur;
}

// A whole-text integer beyond the signed range becomes what the JSON reader
// makes of its digits: unsigned when it fits 64 bits unsigned, else a real.
// Leading white space and a "+" are taken as for an integer in range.
static yyjson_mut_val *je_csv_big_int(yyjson_mut_doc *doc, const char *s, size_t n) {
    const char *p = s;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    char *end = nullptr;
    if (*p != '-') {
        errno = 0;
        unsigned long long u = strtoull(p, &end, 10);
        if (errno != ERANGE && end == s + n) return yyjson_mut_uint(doc, u);
    }
    errno = 0;
    double d = strtod(s, &end);
    if (end == s + n && std::isfinite(d)) return yyjson_mut_real(doc, d);
    return yyjson_mut_strncpy(doc, s, n);
}

// The cell's value by the inference order: empty, the three words, a whole
// base-10 integer, a whole finite real, else the text as a string. A real
// that reads as infinity or not-a-number stays a string: the JSON writer
// cannot write it.
static yyjson_mut_val *je_csv_value(yyjson_mut_doc *doc, const char *s, size_t n) {
    if (n == 0 || strcmp(s, "null") == 0) return yyjson_mut_null(doc);
    if (strcmp(s, "true") == 0) return yyjson_mut_true(doc);
    if (strcmp(s, "false") == 0) return yyjson_mut_false(doc);
    char *end = nullptr;
    errno = 0;
    long long ll = strtoll(s, &end, 10);
    if (end != s && end == s + n) {
        if (errno == ERANGE) return je_csv_big_int(doc, s, n);
        return yyjson_mut_sint(doc, ll);
    }
    errno = 0;
    double d = strtod(s, &end);
    if (end != s && end == s + n && std::isfinite(d)) return yyjson_mut_real(doc, d);
    return yyjson_mut_strncpy(doc, s, n);
}

// Reads the header line into the name table and returns the cursor where
// the data begin. Names beyond the table's capacity are dropped with the
// rest of their line, so the first record starts on the next line.
static const char *je_csv_header(const char *text, je_csv_names &names) {
    names.count = 0;
    const char *cur = text;
    char field[JE_CSV_FIELD_SIZE];
    size_t len = 0;
    for (;;) {
        const char *next = je_csv_field(cur, field, &len);
        if (len == 0 && *next == '\0') return next;  // a trailing empty field is no name
        memcpy(names.name[names.count], field, len + 1);
        names.len[names.count] = len;
        ++names.count;
        cur = next;
        // A field that ended the line leaves its line break just before cur.
        bool line_done = *cur == '\0' || cur[-1] == '\n' || cur[-1] == '\r';
        if (line_done) return cur;
        if (names.count == JE_CSV_MAX_COLUMNS) {
            while (*cur != '\0' && cur[-1] != '\n' && cur[-1] != '\r') cur = je_csv_field(cur, field, &len);
            return cur;
        }
    }
}

// Builds the records from cur on into doc's root array; false when memory
// runs out. *records receives the number of records.
static bool je_csv_records(yyjson_mut_doc *doc, yyjson_mut_val *root, const je_csv_names &names, const char *cur,
                           int32_t *records) {
    // One copy of each name serves as the key text of every record.
    const char *keys[JE_CSV_MAX_COLUMNS];
    for (int32_t c = 0; c < names.count; ++c) {
        yyjson_mut_val *k = yyjson_mut_strncpy(doc, names.name[c], names.len[c]);
        if (!k) return false;
        keys[c] = yyjson_mut_get_str(k);
    }
    char field[JE_CSV_FIELD_SIZE];
    size_t len = 0;
    *records = 0;
    while (*cur != '\0') {
        while (*cur == '\n' || *cur == '\r') ++cur;
        if (*cur == '\0') break;
        yyjson_mut_val *obj = yyjson_mut_obj(doc);
        if (!obj) return false;
        // Exactly one field per column, whatever line breaks they cross.
        for (int32_t c = 0; c < names.count; ++c) {
            cur = je_csv_field(cur, field, &len);
            yyjson_mut_val *key = yyjson_mut_strn(doc, keys[c], names.len[c]);
            yyjson_mut_val *val = je_csv_value(doc, field, len);
            if (!key || !val || !yyjson_mut_obj_add(obj, key, val)) return false;
        }
        if (!yyjson_mut_arr_append(root, obj)) return false;
        ++*records;
    }
    return true;
}

extern "C" JSONENGINE_API int json_from_csv(const char *csv) {
    je_err_clear();
    return je_guard(-1, [&] {
        if (!csv) {
            je_set_error("null csv");
            return -1;
        }
        const char *text = csv;
        if (strncmp(text, "\xEF\xBB\xBF", 3) == 0) text += 3;  // byte-order mark
        if (text[0] == '\0') {
            je_set_error("empty csv (no header)");
            return -1;
        }
        if (!je_utf8_valid(text, strlen(text))) {
            je_set_error("csv is not valid UTF-8");
            return -1;
        }
        auto names = std::make_unique<je_csv_names>();  // 64 KiB: not on the stack
        const char *data = je_csv_header(text, *names);
        if (names->count == 0) {
            je_set_error("empty csv (no header)");
            return -1;
        }
        je_mut_doc_guard doc(yyjson_mut_doc_new(je_big_alc()));
        if (!doc.d) {
            je_set_error("out of memory");
            return -1;
        }
        if (*data == '\0') {
            je_set_error("csv has no data rows");
            return -1;
        }
        yyjson_mut_val *root = yyjson_mut_arr(doc.d);
        if (!root) {
            je_set_error("out of memory");
            return -1;
        }
        yyjson_mut_doc_set_root(doc.d, root);
        int32_t records = 0;
        if (!je_csv_records(doc.d, root, *names, data, &records)) {
            je_set_error("out of memory");
            return -1;
        }
        if (records == 0) {
            je_set_error("csv has no data rows");
            return -1;
        }
        je_doc_replace(doc.release());
        return 0;
    });
}
