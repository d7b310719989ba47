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
static_assert(JSONENGINE_SEARCH_MAX_HITS == JE_MAX_HITS);
static_assert(JSONENGINE_SEARCH_KEY_MAX == JE_HIT_KEY_SIZE - 1);
static_assert(JSONENGINE_SEARCH_VALUE_MAX == JE_HIT_VALUE_SIZE - 1);
static_assert(JSONENGINE_REPORTED_PATH_MAX == JE_HIT_PATH_SIZE - 1);

namespace {
// Offsets of the hit's texts in je_hit_texts, each taken up to its first
// NUL and cut to its field's size - 1.
struct je_hit {
    size_t path, key, value;
};
}  // namespace

static je_table<je_hit, JE_MAX_HITS> je_hits;
static je_texts je_hit_texts;
static int32_t je_nhits = 0;

template <class V>
static std::string_view je_text_of(V *s) {
    const char *p = je_str(s);
    return {p, je_c_len(p, je_len(s))};
}

// Appends the compact text of a scalar (or a key) to out.
template <class V>
static bool je_append_scalar(V *v, std::string &out) {
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
    std::string out;

    // The walk's post-visit closes containers; pre writes a member's or
    // element's separator and key, then the value or its opening bracket.
    template <class V>
    bool write(V *val, size_t limit) {
        out.clear();
        bool ok = true;
        std::vector<bool> first;  // per open container: no child written yet
        std::string none;
        je_walk(
            val, none, je_path_style::dollar, false,
            [&](V *key, V *v, size_t depth, const std::string &) {
                if (out.size() >= limit) return je_step_to::stop;
                if (depth > 0) {
                    if (!first[depth - 1]) out += ',';
                    first[depth - 1] = false;
                }
                if (key) {
                    if (!je_append_scalar(key, out)) return ok = false, je_step_to::stop;
                    out += ':';
                    if (out.size() >= limit) return je_step_to::stop;
                }
                if (je_is_ctn(v)) {
                    bool is_obj = je_is_obj(v);
                    out += is_obj ? '{' : '[';
                    if (je_len(v) == 0) {
                        out += is_obj ? '}' : ']';
                        return je_step_to::over;
                    }
                    first.resize(depth + 1);
                    first[depth] = true;
                    closers.resize(depth + 1);
                    closers[depth] = is_obj ? '}' : ']';
                    return je_step_to::into;
                }
                if (!je_append_scalar(v, out)) return ok = false, je_step_to::stop;
                return je_step_to::over;
            },
            [&](size_t depth) {
                if (out.size() < limit) out += closers[depth];
            });
        return ok;
    }

private:
    std::string closers;
};
}  // namespace

static je_hit &je_hit_add(const std::string &path) {
    je_hit &h = je_hits.row(je_nhits);
    h = {je_hit_texts.add(path.data(), path.size(), JE_HIT_PATH_SIZE - 1), je_texts::none, je_texts::none};
    ++je_nhits;
    return h;
}

template <class V>
static void je_key_hit(je_prefix_writer &w, const std::string &path, V *key, V *val) {
    je_hit &h = je_hit_add(path);
    std::string_view k = je_text_of(key);
    h.key = je_hit_texts.add(k.data(), k.size(), JE_HIT_KEY_SIZE - 1);
    if (!w.write(val, JE_HIT_VALUE_SIZE - 1)) {
        je_set_error("internal: json write failed");
        return;
    }
    h.value = je_hit_texts.add(w.out.data(), w.out.size(), JE_HIT_VALUE_SIZE - 1);
}

static void je_value_hit(const std::string &path, std::string_view s) {
    je_hit &h = je_hit_add(path);
    h.value = je_hit_texts.add(s.data(), s.size(), JE_HIT_VALUE_SIZE - 1);
}

// Document order, parents before children, a key's hit before the hits
// inside its value.
template <class V>
static void je_search_walk(V *root, std::string_view pattern, bool keys, bool values) {
    std::string path = "$";
    je_prefix_writer writer;
    je_walk(
        root, path, je_path_style::dollar, true,
        [&](V *key, V *val, size_t, const std::string &at) {
            if (je_nhits >= JE_MAX_HITS) return je_step_to::stop;
            if (key && keys && je_text_of(key).find(pattern) != std::string_view::npos) {
                je_key_hit(writer, at, key, val);
                if (je_nhits >= JE_MAX_HITS) return je_step_to::stop;
            }
            if (values && je_is_str(val)) {
                std::string_view s = je_text_of(val);
                if (s.find(pattern) != std::string_view::npos) je_value_hit(at, s);
            }
            return je_step_to::into;
        },
        [](size_t) {});
}

extern "C" JSONENGINE_API int json_search(const char *mode, const char *pattern) {
    je_err_clear();
    je_nhits = 0;
    je_hit_texts.clear();
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
        je_with_root([&](auto *root) { je_search_walk(root, pattern, keys, values); });
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
        JE_LARGE_STATIC static char out_path[JE_OUT_PATH_SIZE];
        static char out_key[JE_OUT_KEY_SIZE];
        JE_LARGE_STATIC static char out_value[JE_OUT_VALUE_SIZE];
        if (index < 0 || index >= je_nhits || !field) return je_empty;
        const je_hit &h = je_hits[index];
        if (strcmp(field, "path") == 0) {
            je_copy_field(out_path, sizeof out_path, je_hit_texts.at(h.path));
            return out_path;
        }
        if (strcmp(field, "key") == 0) {
            je_copy_field(out_key, sizeof out_key, je_hit_texts.at(h.key));
            return out_key;
        }
        if (strcmp(field, "value") == 0) {
            je_copy_field(out_value, sizeof out_value, je_hit_texts.at(h.value));
            return out_value;
        }
        return je_empty;
    });
}
