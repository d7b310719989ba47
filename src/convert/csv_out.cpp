// json_to_csv: the array at a path as CSV, one header line naming the keys
// of its object elements (first-met order), then one line per element.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "je_convert.h"

constexpr size_t JE_CSV_NUM_SIZE = 64;  // text of one number

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

template <class V>
static void je_csv_put_cell(je_buf *out, V *val) {
    if (!val) return;
    char num[JE_CSV_NUM_SIZE];
    switch (je_type(val)) {
        case YYJSON_TYPE_NULL: return;
        case YYJSON_TYPE_BOOL: je_csv_put(out, je_subtype(val) == YYJSON_SUBTYPE_TRUE ? "true" : "false"); return;
        case YYJSON_TYPE_STR: {
            std::string_view s = je_csv_text(je_str(val), je_len(val));
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
            yyjson_subtype sub = je_subtype(val);
            if (sub == YYJSON_SUBTYPE_REAL)
                n = snprintf(num, sizeof num, "%.17g", val->uni.f64);
            else if (sub == YYJSON_SUBTYPE_UINT)
                n = snprintf(num, sizeof num, "%llu", static_cast<unsigned long long>(val->uni.u64));
            else
                n = snprintf(num, sizeof num, "%lld", static_cast<long long>(val->uni.i64));
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
template <class V>
static void je_csv_columns(V *arr, je_key_table &cols) {
    je_kids<V> elems = je_kids_of(arr);
    while (cols.size() < JE_CSV_MAX_COLUMNS) {
        V *elem = je_next_elem(elems);
        if (!elem) break;
        if (!je_is_obj(elem)) continue;
        je_kids<V> keys = je_kids_of(elem);
        while (cols.size() < JE_CSV_MAX_COLUMNS) {
            V *key = je_next_key(keys);
            if (!key) break;
            if (cols.find(je_key_view(key)) < 0) cols.add(je_key_view(key));
        }
    }
}

template <class V>
static const char *je_to_csv(V *root, const char *use) {
    V *arr = je_nav(root);
    if (!arr || !je_is_arr(arr)) {
        je_set_errorf("path %s is not an array", use);
        return je_empty;
    }
    je_key_table cols;
    je_csv_columns(arr, cols);
    const size_t ncols = static_cast<size_t>(cols.size());

    je_buf_guard out(je_buf_guard::out_t{});
    for (size_t c = 0; c < ncols; ++c) {
        if (c) je_buf_append(&out.b, ",", 1);
        je_csv_put_name(&out.b, cols.key(static_cast<int32_t>(c)));
    }
    if (ncols) je_buf_append(&out.b, "\n", 1);

    // One pass over an element's members finds the first member of every
    // column, instead of a member scan per cell.
    std::vector<V *> cells(ncols);
    je_kids<V> elems = je_kids_of(arr);
    while (V *elem = je_next_elem(elems)) {
        std::fill(cells.begin(), cells.end(), nullptr);
        if (je_is_obj(elem)) {
            je_kids<V> keys = je_kids_of(elem);
            while (V *key = je_next_key(keys)) {
                int32_t c = cols.find(je_key_view(key));
                if (c >= 0 && !cells[static_cast<size_t>(c)]) cells[static_cast<size_t>(c)] = je_key_val(key);
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
    char *text = out.b.text;
    out.b.text = nullptr;  // je_publish takes the block
    return je_publish(text, out.b.length);
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
        return je_with_root([&](auto *root) { return je_to_csv(root, use); });
    });
}
