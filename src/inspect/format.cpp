// Formatting: json_format writes the live document pretty, minified, or
// minified from a separate copy whose object keys are sorted; the engine
// document itself is never changed.
#include <algorithm>
#include <cstring>
#include <vector>

#include "je_inspect.h"

constexpr size_t JE_PRETTY_INDENT = 4;        // spaces per level in the pretty layout
constexpr size_t JE_INSERTION_SORT_MAX = 16;  // objects up to this size sort by insertion

// Whether the pretty text is certain to exceed what the shared buffer
// takes. Its indentation grows with the square of the nesting, so a small
// deeply nested document would make the writer fill gigabytes before the
// buffer refuses the result; the indentation alone (every child of a
// non-empty container on a line of its own) is a lower bound of the
// length that a cheap walk can sum up front: for a non-empty container
// of n children at level L (the root at 0), n lines indented by L + 1 and
// its closing line indented by L.
template <class V>
static bool je_pretty_too_large(V *root) {
    if (!je_is_ctn(root)) return false;
    uint64_t bound = 0;
    bool large = false;
    je_walk(root, [&](V *, V *ctn, size_t level) {
        // Empty containers add nothing beyond their compact text.
        if (!je_is_ctn(ctn) || je_len(ctn) == 0) return je_step_to::over;
        uint64_t n = je_len(ctn);
        bound += n * (1 + JE_PRETTY_INDENT * (level + 1)) + 1 + JE_PRETTY_INDENT * level;
        if (bound >= JE_BIGBUF_LIMIT) {
            large = true;
            return je_step_to::stop;
        }
        return je_step_to::into;
    });
    return large;
}

namespace {
template <class V>
struct je_member {
    V *key;
    V *val;
};
}  // namespace

// Keys compare by all their bytes (NUL bytes included) as unsigned bytes,
// a key that is a prefix of another first: for keys without a NUL byte
// this is strcmp's order.
template <class V>
static bool je_key_less(const je_member<V> &a, const je_member<V> &b) {
    size_t la = je_len(a.key), lb = je_len(b.key);
    int c = memcmp(je_str(a.key), je_str(b.key), std::min(la, lb));
    return c != 0 ? c < 0 : la < lb;
}

template <class V>
static bool je_key_equal(const je_member<V> &a, const je_member<V> &b) {
    size_t la = je_len(a.key);
    return la == je_len(b.key) && memcmp(je_str(a.key), je_str(b.key), la) == 0;
}

// Small objects, the common case, are sorted in place by insertion (no
// temporary buffer); larger ones by std::stable_sort, which gives the same
// order without the quadratic cost.
template <class V>
static void je_stable_sort(je_member<V> *m, size_t n) {
    if (n > JE_INSERTION_SORT_MAX) {
        std::stable_sort(m, m + n, je_key_less<V>);
        return;
    }
    for (size_t j = 1; j < n; ++j) {
        je_member<V> cur = m[j];
        size_t i = j;
        for (; i > 0 && je_key_less(cur, m[i - 1]); --i) m[i] = m[i - 1];
        m[i] = cur;
    }
}

// A new node in doc with the payload of src, a scalar of either tree (both
// keep a scalar as the same tag and payload). Strings keep pointing at the
// engine document's bytes, which outlive the temporary copy.
template <class V>
static yyjson_mut_val *je_share_scalar(yyjson_mut_doc *doc, V *src) {
    yyjson_mut_val *v = yyjson_mut_null(doc);
    if (!v) return nullptr;
    v->tag = src->tag;
    v->uni = src->uni;
    return v;
}

namespace {
// One open container of the copy. Objects take their members from the
// shared member list, positions [pos, end) of their own segment starting
// at base, sorted and with duplicates folded; the segment is dropped when
// the object is done, so the list holds only the open objects' members.
// Arrays follow the source's elements.
template <class V>
struct je_sframe {
    yyjson_mut_val *dst;
    je_kids<V> cur;
    size_t base;
    size_t pos;
    size_t end;
    bool is_obj;
};
}  // namespace

// The key-sorted copy of root inside doc, or null when memory runs out.
// Each object's members are stable-sorted by key, so equal keys stand
// together in member order; the run is written once, at its place, with
// the value of its last member: what inserting the sorted members one by
// one with yyjson_mut_obj_put gives.
template <class V>
static yyjson_mut_val *je_sorted_mut(yyjson_mut_doc *doc, V *root) {
    try {
        std::vector<je_sframe<V>> stack;
        std::vector<je_member<V>> members;
        // Makes the copy's node for src; containers are filled later.
        auto make = [&](V *src) -> yyjson_mut_val * {
            if (je_is_arr(src)) {
                yyjson_mut_val *dst = yyjson_mut_arr(doc);
                if (dst) stack.push_back({dst, je_kids_of(src), 0, 0, 0, false});
                return dst;
            }
            if (!je_is_obj(src)) return je_share_scalar(doc, src);
            yyjson_mut_val *dst = yyjson_mut_obj(doc);
            if (!dst) return nullptr;
            size_t base = members.size();
            je_kids<V> c = je_kids_of(src);
            while (V *key = je_next_key(c)) members.push_back({key, je_key_val(key)});
            je_stable_sort(members.data() + base, members.size() - base);
            size_t w = base;
            for (size_t i = base; i < members.size(); ++i) {
                if (w > base && je_key_equal(members[w - 1], members[i]))
                    members[w - 1].val = members[i].val;
                else
                    members[w++] = members[i];
            }
            members.resize(w);
            stack.push_back({dst, {}, base, base, w, true});
            return dst;
        };
        yyjson_mut_val *out = make(root);
        if (!out) return nullptr;
        while (!stack.empty()) {
            je_sframe<V> &f = stack.back();
            yyjson_mut_val *dst = f.dst;
            if (f.is_obj) {
                if (f.pos == f.end) {
                    members.resize(f.base);
                    stack.pop_back();
                    continue;
                }
                je_member<V> m = members[f.pos++];
                yyjson_mut_val *key = je_share_scalar(doc, m.key);
                if (!key) return nullptr;
                yyjson_mut_val *val = make(m.val);  // f may dangle from here on
                if (!val || !yyjson_mut_obj_add(dst, key, val)) return nullptr;
            } else {
                V *src = je_next_elem(f.cur);
                if (!src) {
                    stack.pop_back();
                    continue;
                }
                yyjson_mut_val *val = make(src);  // f may dangle from here on
                if (!val || !yyjson_mut_arr_append(dst, val)) return nullptr;
            }
        }
        return out;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

template <class V>
static const char *je_format(V *root, const char *mode) {
    size_t len = 0;
    char *text;
    if (!mode || strcmp(mode, "pretty") == 0) {
        if (je_pretty_too_large(root)) {
            je_set_error("output too large (>64MB)");
            return je_empty;
        }
        text = je_write_opts(root, YYJSON_WRITE_PRETTY, je_out_begin(), &len);
    } else if (strcmp(mode, "minify") == 0) {
        text = je_write_opts(root, 0, je_out_begin(), &len);
    } else if (strcmp(mode, "sorted") == 0) {
        je_mut_doc_guard sorted(yyjson_mut_doc_new(je_big_alc()));
        yyjson_mut_val *copy = sorted.d ? je_sorted_mut(sorted.d, root) : nullptr;
        if (!copy) {
            je_set_error("sort copy failed (memory)");
            return je_empty;
        }
        text = je_write_opts(copy, 0, je_out_begin(), &len);
    } else {
        je_set_errorf("unknown format mode: %s (use pretty|minify|sorted)", mode);
        return je_empty;
    }
    return je_out_text(text, len);
}

static const char *je_format(const char *mode) {
    if (!je_doc_ensure()) {
        je_set_error("no document loaded");
        return je_empty;
    }
    return je_with_root([&](auto *root) { return je_format(root, mode); });
}

extern "C" JSONENGINE_API const char *json_format(const char *mode) {
    je_err_clear();
    return je_guard<const char *>(je_empty, [&] { return je_format(mode); });
}
