// Search: json_search finds a byte substring in the live document's keys
// and/or string values and records each match in the hit table, which
// json_search_count and json_search_field read until the next search.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "je_inspect.h"

constexpr int32_t JE_MAX_HITS = 10000;
constexpr size_t JE_HIT_PATH_SIZE = 4096;   // NUL included
constexpr size_t JE_HIT_KEY_SIZE = 512;     // NUL included
constexpr size_t JE_HIT_VALUE_SIZE = 4096;  // NUL included
constexpr size_t JE_OUT_PATH_SIZE = 8192;
constexpr size_t JE_OUT_KEY_SIZE = 576;
constexpr size_t JE_OUT_VALUE_SIZE = 4160;

namespace {
struct je_hit {
    char path[JE_HIT_PATH_SIZE];
    char key[JE_HIT_KEY_SIZE];
    char value[JE_HIT_VALUE_SIZE];
};
}  // namespace

static je_table<je_hit, JE_MAX_HITS> je_hits;
static int32_t je_nhits = 0;

// Copies the text of src (len bytes, taken up to its first NUL) into a
// field of size bytes, cut to size - 1.
static void je_fill(char *dst, size_t size, const char *src, size_t len) {
    if (len > size - 1) len = size - 1;
    const void *nul = memchr(src, '\0', len);
    if (nul) len = static_cast<size_t>(static_cast<const char *>(nul) - src);
    memcpy(dst, src, len);
    dst[len] = '\0';
}

static std::string_view je_text_of(yyjson_mut_val *s) {
    const char *p = yyjson_mut_get_str(s);
    return {p, strnlen(p, yyjson_mut_get_len(s))};
}

// Appends the compact text of a scalar (or a key) to out.
static bool je_append_scalar(yyjson_mut_val *v, std::string &out) {
    return je_scalar_text(v, [&](const char *p, size_t n) { out.append(p, n); });
}

namespace {
// The hit value keeps only the first bytes of a member's compact text, so
// a container is written piece by piece until at least `limit` bytes are
// there: a key hit near the root of a large or deeply nested document then
// costs the cut, not the whole subtree. The pieces are exactly the bytes
// the compact writer gives for the whole value. One writer serves a whole
// search, so its text and stack keep their storage from hit to hit.
struct je_prefix_writer {
    struct frame {
        je_cursor cur;
        bool is_obj;
        bool first;
    };
    std::string out;
    std::vector<frame> stack;

    bool write(yyjson_mut_val *val, size_t limit) {
        out.clear();
        stack.clear();
        yyjson_mut_val *v = val;
        while (out.size() < limit) {
            if (v) {
                bool is_obj = yyjson_mut_is_obj(v);
                if (is_obj || yyjson_mut_is_arr(v)) {
                    out += is_obj ? '{' : '[';
                    if (yyjson_mut_get_len(v) == 0)
                        out += is_obj ? '}' : ']';
                    else
                        stack.push_back({je_cursor_of(v), is_obj, true});
                } else if (!je_append_scalar(v, out)) {
                    return false;
                }
                v = nullptr;
            }
            if (stack.empty()) break;
            frame &f = stack.back();
            yyjson_mut_val *child = f.is_obj ? je_cursor_key(f.cur) : je_cursor_elem(f.cur);
            if (!child) {
                out += f.is_obj ? '}' : ']';
                stack.pop_back();
                continue;
            }
            if (!f.first) out += ',';
            f.first = false;
            if (f.is_obj) {
                if (!je_append_scalar(child, out)) return false;
                out += ':';
                v = child->next;
            } else {
                v = child;
            }
        }
        return true;
    }
};
}  // namespace

static je_hit &je_hit_add(const std::string &path) {
    je_hit &h = je_hits.row(je_nhits);
    ++je_nhits;
    je_fill(h.path, sizeof h.path, path.data(), path.size());
    return h;
}

static void je_key_hit(je_prefix_writer &w, const std::string &path, yyjson_mut_val *key, yyjson_mut_val *val) {
    je_hit &h = je_hit_add(path);
    std::string_view k = je_text_of(key);
    je_fill(h.key, sizeof h.key, k.data(), k.size());
    if (!w.write(val, JE_HIT_VALUE_SIZE - 1)) {
        h.value[0] = '\0';
        je_set_error("internal: json write failed");
        return;
    }
    je_fill(h.value, sizeof h.value, w.out.data(), w.out.size());
}

static void je_value_hit(const std::string &path, std::string_view s) {
    je_hit &h = je_hit_add(path);
    h.key[0] = '\0';
    je_fill(h.value, sizeof h.value, s.data(), s.size());
}

namespace {
struct je_hframe {
    je_cursor cur;
    size_t index;
    uint32_t path_len;
    bool is_obj;
};
}  // namespace

// Document order, parents before children, a key's hit before the hits
// inside its value; one path string is cut back to the parent's length
// whenever the walk moves to the next child.
static void je_search_walk(yyjson_mut_val *root, std::string_view pattern, bool keys, bool values) {
    std::string path = "$";
    std::vector<je_hframe> stack;
    je_prefix_writer writer;
    yyjson_mut_val *val = root;
    for (;;) {
        if (je_nhits >= JE_MAX_HITS) return;
        if (val) {
            if (yyjson_mut_is_ctn(val)) {
                stack.push_back({je_cursor_of(val), 0, static_cast<uint32_t>(path.size()), yyjson_mut_is_obj(val)});
            } else if (values && yyjson_mut_is_str(val)) {
                std::string_view s = je_text_of(val);
                if (s.find(pattern) != std::string_view::npos) je_value_hit(path, s);
            }
            val = nullptr;
            if (je_nhits >= JE_MAX_HITS) return;
        }
        if (stack.empty()) return;
        je_hframe &f = stack.back();
        path.resize(f.path_len);
        if (f.is_obj) {
            yyjson_mut_val *key = je_cursor_key(f.cur);
            if (!key) {
                stack.pop_back();
                continue;
            }
            je_rpath_key(path, yyjson_mut_get_str(key));
            val = key->next;
            if (keys && je_text_of(key).find(pattern) != std::string_view::npos) je_key_hit(writer, path, key, val);
        } else {
            val = je_cursor_elem(f.cur);
            if (!val) {
                stack.pop_back();
                continue;
            }
            je_path_index(path, f.index++);
        }
    }
}

extern "C" JSONENGINE_API int json_search(const char *mode, const char *pattern) {
    je_err_clear();
    je_nhits = 0;
    int rc = je_guard(-1, [&] {
        if (!je_doc_ensure()) {
            je_set_error("no document loaded");
            return -1;
        }
        if (!mode) mode = "both";
        if (!pattern || !pattern[0]) {
            je_set_error("empty search pattern");
            return -1;
        }
        bool both = strcmp(mode, "both") == 0;
        bool keys = both || strcmp(mode, "key") == 0;
        bool values = both || strcmp(mode, "value") == 0;
        if (!keys && !values) {
            je_set_errorf("unknown search mode: %s (use key|value|both)", mode);
            return -1;
        }
        je_search_walk(yyjson_mut_doc_get_root(je_doc), pattern, keys, values);
        return 0;
    });
    // A walk cut short by memory leaves no partial table behind.
    if (rc != 0) je_nhits = 0;
    return rc;
}

extern "C" JSONENGINE_API int json_search_count(void) {
    return je_guard(0, [] { return static_cast<int>(je_nhits); });
}

extern "C" JSONENGINE_API const char *json_search_field(int index, const char *field) {
    return je_guard<const char *>(je_empty, [&]() -> const char * {
        static char out_path[JE_OUT_PATH_SIZE];
        static char out_key[JE_OUT_KEY_SIZE];
        static char out_value[JE_OUT_VALUE_SIZE];
        if (index < 0 || index >= je_nhits || !field) return je_empty;
        const je_hit &h = je_hits[index];
        if (strcmp(field, "path") == 0) {
            je_copy_field(out_path, sizeof out_path, h.path);
            return out_path;
        }
        if (strcmp(field, "key") == 0) {
            je_copy_field(out_key, sizeof out_key, h.key);
            return out_key;
        }
        if (strcmp(field, "value") == 0) {
            je_copy_field(out_value, sizeof out_value, h.value);
            return out_value;
        }
        return je_empty;
    });
}
