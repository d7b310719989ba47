// The walking toolkit shared by every read and copy: one set of accessors
// over yyjson's two trees (the immutable values a load reads, the mutable
// ones an edit works on), a child cursor, the depth-first walk with its
// explicit heap stack and its reported path, the path builders and the
// UTF-8 tail trim. Code written once as a template over the value type
// (yyjson_val or yyjson_mut_val) serves both trees.
#pragma once

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "je_internal.h"

// ---- accessors: one name per question, overloaded on the tree ---------------

inline yyjson_type je_type(yyjson_val *v) { return yyjson_get_type(v); }
inline yyjson_type je_type(yyjson_mut_val *v) { return yyjson_mut_get_type(v); }
inline yyjson_subtype je_subtype(yyjson_val *v) { return yyjson_get_subtype(v); }
inline yyjson_subtype je_subtype(yyjson_mut_val *v) { return yyjson_mut_get_subtype(v); }
inline size_t je_len(yyjson_val *v) { return yyjson_get_len(v); }
inline size_t je_len(yyjson_mut_val *v) { return yyjson_mut_get_len(v); }
// The bytes of a string or key (uni.str), whatever the tree.
template <class V>
inline const char *je_str(V *v) {
    return v->uni.str;
}
template <class V>
inline bool je_is_obj(V *v) {
    return v && je_type(v) == YYJSON_TYPE_OBJ;
}
template <class V>
inline bool je_is_arr(V *v) {
    return v && je_type(v) == YYJSON_TYPE_ARR;
}
template <class V>
inline bool je_is_ctn(V *v) {
    return je_is_obj(v) || je_is_arr(v);
}
template <class V>
inline bool je_is_str(V *v) {
    return v && je_type(v) == YYJSON_TYPE_STR;
}
template <class V>
inline bool je_is_real(V *v) {
    return v && je_type(v) == YYJSON_TYPE_NUM && je_subtype(v) == YYJSON_SUBTYPE_REAL;
}

inline char *je_write_number(yyjson_val *v, char *buf) { return yyjson_write_number(v, buf); }
inline char *je_write_number(yyjson_mut_val *v, char *buf) { return yyjson_mut_write_number(v, buf); }

inline char *je_write_opts(yyjson_val *v, yyjson_write_flag flg, const yyjson_alc *alc, size_t *len) {
    return yyjson_val_write_opts(v, flg, alc, len, nullptr);
}
inline char *je_write_opts(yyjson_mut_val *v, yyjson_write_flag flg, const yyjson_alc *alc, size_t *len) {
    return yyjson_mut_val_write_opts(v, flg, alc, len, nullptr);
}

// The compact value text (write flag 0) as a heap block the caller frees,
// or null when the writer fails.
template <class V>
char *je_write_val(V *val, size_t *out_len) {
    size_t len = 0;
    char *text = je_write_opts(val, 0, nullptr, &len);
    if (out_len) *out_len = text ? len : 0;
    return text;
}

// ---- the child cursor ----------------------------------------------------------

// Walks a container's children: an immutable container keeps them right
// after itself, each subtree contiguous; a mutable one keeps them in a ring
// entered at the last child (for objects the last key, each key followed by
// its value). Either way a cursor is one pointer and a count, so a walk's
// stack costs 16 bytes per level.
template <class V>
struct je_kids {
    V *cur;  // immutable: the next child; mutable: the last one handed out
    size_t left;
};

inline je_kids<yyjson_val> je_kids_of(yyjson_val *ctn) { return {ctn + 1, yyjson_get_len(ctn)}; }
inline je_kids<yyjson_mut_val> je_kids_of(yyjson_mut_val *ctn) {
    return {static_cast<yyjson_mut_val *>(ctn->uni.ptr), yyjson_mut_get_len(ctn)};
}

// The next array element, or null when none is left.
inline yyjson_val *je_next_elem(je_kids<yyjson_val> &c) {
    if (!c.left) return nullptr;
    --c.left;
    yyjson_val *v = c.cur;
    c.cur = unsafe_yyjson_get_next(v);
    return v;
}
inline yyjson_mut_val *je_next_elem(je_kids<yyjson_mut_val> &c) {
    if (!c.left) return nullptr;
    --c.left;
    c.cur = c.cur->next;
    return c.cur;
}

// The next object key (its value is je_key_val(key)), or null when none is left.
inline yyjson_val *je_next_key(je_kids<yyjson_val> &c) {
    if (!c.left) return nullptr;
    --c.left;
    yyjson_val *k = c.cur;
    c.cur = unsafe_yyjson_get_next(k + 1);
    return k;
}
inline yyjson_mut_val *je_next_key(je_kids<yyjson_mut_val> &c) {
    if (!c.left) return nullptr;
    --c.left;
    c.cur = c.cur->next->next;
    return c.cur;
}

inline yyjson_val *je_key_val(yyjson_val *key) { return key + 1; }
inline yyjson_mut_val *je_key_val(yyjson_mut_val *key) { return key->next; }

// Stepping by hand, for walks that keep the member count themselves: the
// first key of a non-empty object, the key after a key, the element after
// an element (none of them checks for the end).
inline yyjson_val *je_first_key(yyjson_val *obj) { return yyjson_obj_size(obj) ? obj + 1 : nullptr; }
inline yyjson_mut_val *je_first_key(yyjson_mut_val *obj) {
    return yyjson_mut_obj_size(obj) ? static_cast<yyjson_mut_val *>(obj->uni.ptr)->next->next : nullptr;
}
inline yyjson_val *je_next_key(yyjson_val *key) { return unsafe_yyjson_get_next(key + 1); }
inline yyjson_mut_val *je_next_key(yyjson_mut_val *key) { return key->next->next; }
inline yyjson_val *je_first_elem(yyjson_val *arr) { return yyjson_arr_size(arr) ? arr + 1 : nullptr; }
inline yyjson_mut_val *je_first_elem(yyjson_mut_val *arr) { return yyjson_mut_arr_get_first(arr); }
inline yyjson_val *je_elem_after(yyjson_val *elem) { return unsafe_yyjson_get_next(elem); }
inline yyjson_mut_val *je_elem_after(yyjson_mut_val *elem) { return elem->next; }

// A key's exact bytes (NUL bytes included).
template <class V>
inline std::string_view je_key_view(V *key) {
    return std::string_view(je_str(key), je_len(key));
}

// First member of obj whose key has exactly these len bytes, or null (also
// when obj is not an object); *out_key receives the key when asked.
template <class V>
V *je_obj_find(V *obj, const char *key, size_t len, V **out_key = nullptr) {
    if (!je_is_obj(obj)) return nullptr;
    je_kids<V> c = je_kids_of(obj);
    while (V *k = je_next_key(c)) {
        if (je_len(k) == len && memcmp(je_str(k), key, len) == 0) {
            if (out_key) *out_key = k;
            return je_key_val(k);
        }
    }
    return nullptr;
}

// Element index of arr, or null when arr is not an array or too short.
template <class V>
V *je_arr_at(V *arr, size_t index) {
    if (!je_is_arr(arr) || index >= je_len(arr)) return nullptr;
    je_kids<V> c = je_kids_of(arr);
    V *v = je_next_elem(c);
    while (index--) v = je_next_elem(c);
    return v;
}

// Follows the parsed path steps (je_steps) from root; null when a step
// cannot be followed. Sets no message.
template <class V>
V *je_nav(V *root) {
    V *cur = root;
    for (int32_t i = 0; i < je_nsteps && cur; ++i) {
        const je_step &s = je_steps[i];
        if (s.kind == JE_STEP_KEY)
            cur = je_obj_find(cur, s.key, strlen(s.key));
        else
            cur = je_arr_at(cur, static_cast<size_t>(s.index));
    }
    return cur;
}

// ---- the loaded document ----------------------------------------------------

// Runs f(root) on the loaded document's root, whichever tree holds it: the
// immutable document a load read, until the first edit makes it mutable.
// Callers check je_doc_ensure() first.
template <class F>
decltype(auto) je_with_root(F &&f) {
    if (je_idoc) return f(yyjson_doc_get_root(je_idoc));
    return f(yyjson_mut_doc_get_root(je_doc));
}

// ---- reported paths --------------------------------------------------------------

// Two cut rules build reported paths. The byte cut (search, diff, flatten)
// behaves like "%s.%s" / "%s[%zu]" into a 4096-byte buffer: a path keeps at
// most JE_PATH_MAX bytes and a piece that does not fit is cut. Because a cut
// child path still starts with its parent's path, a walk keeps one string
// and truncates it back to the parent's length. The whole-piece cut (the
// query language) adds a piece only when all of it fits, see je_qpath_*.

// Appends n bytes of piece, cut so the path keeps at most JE_PATH_MAX bytes.
inline void je_path_cat(std::string &path, const char *piece, size_t n) {
    if (path.size() >= JE_PATH_MAX) return;
    size_t room = JE_PATH_MAX - path.size();
    path.append(piece, n < room ? n : room);
}

// "[index]", cut like je_path_cat. to_chars rather than snprintf: index
// pieces are built once per element of every array a walk visits.
inline void je_path_index(std::string &path, size_t index) {
    char piece[32];
    piece[0] = '[';
    char *end = std::to_chars(piece + 1, piece + sizeof piece - 1, index).ptr;
    *end++ = ']';
    je_path_cat(path, piece, static_cast<size_t>(end - piece));
}

// The key's bytes up to its first NUL, as a C text would give them.
inline size_t je_c_len(const char *s, size_t n) {
    const void *nul = memchr(s, '\0', n);
    return nul ? static_cast<size_t>(static_cast<const char *>(nul) - s) : n;
}

// "." and the key up to its first NUL, cut like je_path_cat.
template <class V>
inline void je_path_key(std::string &path, V *key) {
    je_path_cat(path, ".", 1);
    je_path_cat(path, je_str(key), je_c_len(je_str(key), je_len(key)));
}

// Which start a reported path has: "$" with ".key" per member, or (for
// flattening) nothing, the first key standing alone.
enum class je_path_style { dollar, bare };

// ---- UTF-8 -----------------------------------------------------------------------

// The length of s[0, n) without a multi-byte character cut short at its end,
// so a text cut at a byte limit stays valid UTF-8.
inline size_t je_utf8_trim(const char *s, size_t n) {
    size_t lead = n;
    while (lead > 0 && (static_cast<unsigned char>(s[lead - 1]) & 0xC0) == 0x80 && n - lead < 3) --lead;
    if (lead == 0) return n;
    unsigned char c = static_cast<unsigned char>(s[lead - 1]);
    size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return (c >= 0x80 && n - (lead - 1) < need) ? lead - 1 : n;
}

// ---- the depth-first walk ----------------------------------------------------------

// What a visitor's pre() answers for a container: go into its children or
// pass over them; either answer may also end the whole walk.
enum class je_step_to { into, over, stop };

// Visits root and every value below it in document order with an explicit
// heap stack, so the depth of the input adds no native stack.
//   pre(key, val, depth, path): before a value's children. key is the
//     member's key, or null for the root and array elements; depth counts
//     the open containers above val. Returns into / over / stop; for a
//     non-container into and over mean the same.
//   post(depth): after the children of a container that was entered,
//     depth being that container's.
// The path (when Style is given) is the value's reported path, cut by the
// byte rule, kept in one string that is cut back to the parent's length
// for every child. Returns false when a visitor stopped the walk.
template <class V, class Pre, class Post>
bool je_walk(V *root, std::string &path, je_path_style style, bool with_path, Pre &&pre, Post &&post) {
    struct frame {
        je_kids<V> kids;
        size_t index;
        size_t path_len;
        bool is_obj;
    };
    std::vector<frame> stack;
    auto enter = [&](V *key, V *val) -> bool {
        je_step_to to = pre(key, val, stack.size(), static_cast<const std::string &>(path));
        if (to == je_step_to::stop) return false;
        if (to == je_step_to::into && je_is_ctn(val))
            stack.push_back({je_kids_of(val), 0, path.size(), je_is_obj(val)});
        return true;
    };
    if (!enter(nullptr, root)) return false;
    while (!stack.empty()) {
        frame &f = stack.back();
        if (with_path) path.resize(f.path_len);
        V *key = nullptr, *val;
        if (f.is_obj) {
            key = je_next_key(f.kids);
            val = key ? je_key_val(key) : nullptr;
        } else {
            val = je_next_elem(f.kids);
        }
        if (!val) {
            stack.pop_back();
            post(stack.size());
            continue;
        }
        if (with_path) {
            if (key) {
                if (style == je_path_style::dollar || !path.empty()) je_path_cat(path, ".", 1);
                je_path_cat(path, je_str(key), je_c_len(je_str(key), je_len(key)));
            } else {
                je_path_index(path, f.index);
            }
        }
        ++f.index;
        if (!enter(key, val)) return false;  // f may dangle from here on
    }
    return true;
}

// The walk without paths and without a post-visit.
template <class V, class Pre>
bool je_walk(V *root, Pre &&pre) {
    std::string none;
    return je_walk(
        root, none, je_path_style::dollar, false,
        [&](V *key, V *val, size_t depth, const std::string &) { return pre(key, val, depth); }, [](size_t) {});
}

// ---- scalars --------------------------------------------------------------------

// Whether every byte of the string is written unchanged between quotation
// marks by the compact writer (printable ASCII other than '"' and '\\').
inline bool je_plain_ascii(const char *s, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') return false;
    }
    return true;
}

// Hands the compact text of a non-container value (or a key) to
// put(const char *, size_t) in one or more pieces; false when the writer
// fails. Plain strings, literals and numbers are produced here with the
// bytes the writer would give, sparing a heap text per value; everything
// else (strings that need escaping) goes through the writer.
template <class V, class Put>
bool je_scalar_text(V *v, Put &&put) {
    switch (je_type(v)) {
        case YYJSON_TYPE_STR: {
            const char *s = je_str(v);
            size_t n = je_len(v);
            if (!je_plain_ascii(s, n)) break;
            put("\"", 1);
            put(s, n);
            put("\"", 1);
            return true;
        }
        case YYJSON_TYPE_NULL: put("null", 4); return true;
        case YYJSON_TYPE_BOOL:
            if (je_subtype(v) == YYJSON_SUBTYPE_TRUE)
                put("true", 4);
            else
                put("false", 5);
            return true;
        case YYJSON_TYPE_NUM: {
            // Non-finite reals are left to the writer, which refuses them.
            if (je_is_real(v) && !std::isfinite(v->uni.f64)) break;
            char num[48];
            char *end = je_write_number(v, num);
            if (!end) break;
            put(num, static_cast<size_t>(end - num));
            return true;
        }
        default: break;
    }
    size_t n = 0;
    je_free_guard text(je_write_val(v, &n));  // put may throw
    if (!text.p) return false;
    put(static_cast<const char *>(text.p), n);
    return true;
}
