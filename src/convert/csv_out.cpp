// json_to_csv: the array at a path as CSV, one header line naming the keys
// of its object elements (first-met order), then one line per element.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "je_convert.h"

constexpr size_t JE_CSV_OUT_INITIAL = 4096;  // first builder block
constexpr size_t JE_CSV_NUM_SIZE = 64;       // text of one number

static void je_csv_put(je_buf *out, std::string_view s) { je_buf_append(out, s.data(), s.size()); }

// Writes s between double quotes with each double quote doubled; nothing
// else needs escaping inside quotes.
static void je_csv_put_quoted(je_buf *out, std::string_view s) {
    je_buf_append(out, "\"", 1);
    size_t from = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '"') continue;
        je_buf_append(out, s.data() + from, i + 1 - from);  // includes this quote
        je_buf_append(out, "\"", 1);
        from = i + 1;
    }
    je_buf_append(out, s.data() + from, s.size() - from);
    je_buf_append(out, "\"", 1);
}

static bool je_csv_has_special(std::string_view s) { return s.find_first_of(",\"\n\r") != std::string_view::npos; }

// The output is NUL-terminated text, so a string is written up to its first
// NUL byte.
static std::string_view je_csv_text(const char *s, size_t len) {
    const void *nul = memchr(s, '\0', len);
    return std::string_view(s, nul ? static_cast<size_t>(static_cast<const char *>(nul) - s) : len);
}

// A column name is quoted when it holds a comma, a double quote or a line
// break; an unquoted line break would split the header line.
static void je_csv_put_name(je_buf *out, std::string_view key) {
    std::string_view name = je_csv_text(key.data(), key.size());
    if (je_csv_has_special(name))
        je_csv_put_quoted(out, name);
    else
        je_csv_put(out, name);
}

static void je_csv_put_cell(je_buf *out, yyjson_mut_val *val) {
    if (!val) return;
    char num[JE_CSV_NUM_SIZE];
    switch (yyjson_mut_get_type(val)) {
        case YYJSON_TYPE_NULL: return;
        case YYJSON_TYPE_BOOL: je_csv_put(out, yyjson_mut_get_bool(val) ? "true" : "false"); return;
        case YYJSON_TYPE_STR: {
            std::string_view s = je_csv_text(yyjson_mut_get_str(val), yyjson_mut_get_len(val));
            if (s.empty()) return;
            // Edge spaces are quoted so that readers that trim fields keep them.
            if (je_csv_has_special(s) || s.front() == ' ' || s.back() == ' ')
                je_csv_put_quoted(out, s);
            else
                je_csv_put(out, s);
            return;
        }
        case YYJSON_TYPE_NUM: {
            int n;
            if (yyjson_mut_is_real(val))
                n = snprintf(num, sizeof num, "%.17g", yyjson_mut_get_real(val));
            else if (yyjson_mut_is_uint(val))
                n = snprintf(num, sizeof num, "%llu", static_cast<unsigned long long>(yyjson_mut_get_uint(val)));
            else
                n = snprintf(num, sizeof num, "%lld", static_cast<long long>(yyjson_mut_get_sint(val)));
            if (n > 0) je_buf_append(out, num, static_cast<size_t>(n));
            return;
        }
        default: {
            size_t len = 0;
            je_free_guard text(je_write_val(val, &len));
            if (!text.p) {
                je_set_error("internal: json write failed");
                return;
            }
            je_csv_put_quoted(out, std::string_view(static_cast<const char *>(text.p), len));
            return;
        }
    }
}

// Column names are whole key bytes viewed in the document, so a key of any
// length (or one holding a NUL byte) is recognised again and finds its cells.
static void je_csv_columns(yyjson_mut_val *arr, je_key_table &cols) {
    size_t n = yyjson_mut_arr_size(arr);
    yyjson_mut_val *elem = je_first_elem(arr);
    for (size_t i = 0; i < n && cols.size() < JE_CSV_MAX_COLUMNS; ++i, elem = elem->next) {
        if (!yyjson_mut_is_obj(elem)) continue;
        size_t m = yyjson_mut_obj_size(elem);
        yyjson_mut_val *key = je_first_key(elem);
        for (size_t k = 0; k < m && cols.size() < JE_CSV_MAX_COLUMNS; ++k, key = je_next_key(key))
            if (cols.find(je_key_view(key)) < 0) cols.add(je_key_view(key));
    }
}

extern "C" JSONENGINE_API const char *json_to_csv(const char *path) {
    je_err_clear();
    return je_guard<const char *>(je_empty, [&]() -> const char * {
        if (!je_doc_ensure()) {
            je_set_error("no document loaded");
            return je_empty;
        }
        const char *use = (path && path[0]) ? path : "$";
        if (!je_parse_path(use)) return je_empty;
        yyjson_mut_val *arr = je_nav(yyjson_mut_doc_get_root(je_doc));
        if (!arr || !yyjson_mut_is_arr(arr)) {
            je_set_errorf("path %s is not an array", use);
            return je_empty;
        }
        je_key_table cols;
        je_csv_columns(arr, cols);
        const size_t ncols = static_cast<size_t>(cols.size());

        je_buf_guard out(JE_CSV_OUT_INITIAL);
        for (size_t c = 0; c < ncols; ++c) {
            if (c) je_buf_append(&out.b, ",", 1);
            je_csv_put_name(&out.b, cols.key(static_cast<int32_t>(c)));
        }
        if (ncols) je_buf_append(&out.b, "\n", 1);

        // One pass over an element's members finds the first member of every
        // column, instead of a member scan per cell.
        std::vector<yyjson_mut_val *> cells(ncols);
        size_t n = yyjson_mut_arr_size(arr);
        yyjson_mut_val *elem = je_first_elem(arr);
        for (size_t i = 0; i < n; ++i, elem = elem->next) {
            std::fill(cells.begin(), cells.end(), nullptr);
            if (yyjson_mut_is_obj(elem)) {
                size_t m = yyjson_mut_obj_size(elem);
                yyjson_mut_val *key = je_first_key(elem);
                for (size_t k = 0; k < m; ++k, key = je_next_key(key)) {
                    int32_t c = cols.find(je_key_view(key));
                    if (c >= 0 && !cells[static_cast<size_t>(c)]) cells[static_cast<size_t>(c)] = key->next;
                }
            }
            for (size_t c = 0; c < ncols; ++c) {
                if (c) je_buf_append(&out.b, ",", 1);
                je_csv_put_cell(&out.b, cells[c]);
            }
            je_buf_append(&out.b, "\n", 1);
        }
        if (out.b.failed) {
            // A cut-short text would read as a shorter table.
            je_set_error("out of memory");
            return je_empty;
        }
        char *dst = je_bigbuf_get(out.b.length + 1);
        if (!dst) return je_empty;
        memcpy(dst, out.b.text, out.b.length + 1);
        return dst;
    });
}
