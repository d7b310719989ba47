// Flattening: json_flatten maps the path of every leaf of the live document
// to its value in one minified JSON object, in document order.
#include <cstring>
#include <string>
#include <vector>

#include "je_inspect.h"

constexpr int32_t JE_MAX_FLAT = 10000;
constexpr size_t JE_FLAT_PATH_SIZE = JE_PATH_SIZE;  // NUL included
constexpr size_t JE_FLAT_BUF_INITIAL = 8192;

namespace {
struct je_flat_entry {
    char path[JE_FLAT_PATH_SIZE];
    yyjson_mut_val *value;  // the leaf in the live document; meaningful during one call
};
}  // namespace

static je_table<je_flat_entry, JE_MAX_FLAT> je_flatlist;
static int32_t je_nflat = 0;

// A member's path: the key alone below an empty path, else "." and the key
// (the key up to its first NUL, as a C text).
static void je_fpath_key(std::string &path, const char *key) {
    if (!path.empty()) je_path_cat(path, ".", 1);
    je_path_cat(path, key, strlen(key));
}

namespace {
struct je_fframe {
    je_cursor cur;
    size_t index;
    uint32_t path_len;
    bool is_obj;
};
}  // namespace

// Leaves in document order, depth first; one path string is cut back to
// the parent's length for every child. Ends once the table is full.
static void je_flatten_walk(yyjson_mut_val *root) {
    std::string path;
    std::vector<je_fframe> stack;
    stack.push_back({je_cursor_of(root), 0, 0, yyjson_mut_is_obj(root)});
    while (!stack.empty() && je_nflat < JE_MAX_FLAT) {
        je_fframe &f = stack.back();
        path.resize(f.path_len);
        yyjson_mut_val *val;
        if (f.is_obj) {
            yyjson_mut_val *key = je_cursor_key(f.cur);
            if (!key) {
                stack.pop_back();
                continue;
            }
            je_fpath_key(path, yyjson_mut_get_str(key));
            val = key->next;
        } else {
            val = je_cursor_elem(f.cur);
            if (!val) {
                stack.pop_back();
                continue;
            }
            je_path_index(path, f.index++);
        }
        if (yyjson_mut_is_ctn(val)) {
            stack.push_back({je_cursor_of(val), 0, static_cast<uint32_t>(path.size()), yyjson_mut_is_obj(val)});
        } else {
            je_flat_entry &e = je_flatlist.row(je_nflat);
            ++je_nflat;
            memcpy(e.path, path.data(), path.size());
            e.path[path.size()] = '\0';
            e.value = val;
        }
    }
}

// The path as a JSON key: '"' and '\\' get a backslash, bytes 0x01 to 0x1F
// become \u00XX, every other byte stays as it is.
static void je_append_escaped(je_buf *b, const char *s) {
    // A path cut at its byte limit can end inside a multi-byte character;
    // the output must stay valid UTF-8, so such a tail is left off.
    size_t len = strlen(s);
    size_t lead = len;
    while (lead > 0 && (static_cast<unsigned char>(s[lead - 1]) & 0xC0) == 0x80 && len - lead < 3) --lead;
    if (lead > 0) {
        unsigned char c = static_cast<unsigned char>(s[lead - 1]);
        size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (c >= 0x80 && len - (lead - 1) < need) len = lead - 1;
    }
    const char *end = s + len;
    const char *run = s;
    for (; s < end; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        je_buf_append(b, run, static_cast<size_t>(s - run));
        if (c < 0x20)
            je_buf_appendf(b, "\\u%04x", c);
        else {
            char esc[2] = {'\\', static_cast<char>(c)};
            je_buf_append(b, esc, 2);
        }
        run = s + 1;
    }
    je_buf_append(b, run, static_cast<size_t>(s - run));
}

static const char *je_flatten() {
    if (!je_doc_ensure()) {
        je_set_error("no document loaded");
        return je_empty;
    }
    yyjson_mut_val *root = yyjson_mut_doc_get_root(je_doc);
    je_nflat = 0;
    if (yyjson_mut_is_ctn(root)) je_flatten_walk(root);
    je_buf_guard g(JE_FLAT_BUF_INITIAL);
    je_buf *b = &g.b;
    auto put = [b](const char *p, size_t n) { je_buf_append(b, p, n); };
    je_buf_append(b, "{", 1);
    for (int32_t i = 0; i < je_nflat && !b->failed; ++i) {
        if (i) je_buf_append(b, ",", 1);
        je_buf_append(b, "\"", 1);
        je_append_escaped(b, je_flatlist[i].path);
        je_buf_append(b, "\":", 2);
        if (!je_scalar_text(je_flatlist[i].value, put)) {
            je_buf_append(b, "null", 4);
            je_set_error("internal: json write failed");
        }
    }
    if (je_nflat == 0) {
        je_buf_append(b, "\"$\":", 4);
        size_t n = 0;
        char *text = je_write_val(root, &n);
        if (text) {
            je_buf_append(b, text, n);
            free(text);
        } else {
            je_buf_append(b, "null", 4);
            je_set_error("internal: json write failed");
        }
    }
    je_buf_append(b, "}", 1);
    if (b->failed) {
        // A text cut short by a failed growth is not the document's flat form.
        je_set_error("out of memory");
        return je_empty;
    }
    char *text = b->text;
    b->text = nullptr;
    return je_publish(text, b->length);
}

extern "C" JSONENGINE_API const char *json_flatten(void) {
    je_err_clear();
    return je_guard<const char *>(je_empty, [] { return je_flatten(); });
}
