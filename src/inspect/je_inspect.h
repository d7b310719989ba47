// Pieces shared by the inspection walks: a compact cursor over the children
// of a live mutable container, so that a walk's explicit stack costs 16
// bytes per nesting level instead of yyjson's 40-byte iterators, and the
// compact text of a single scalar without a heap text for the common ones.
#pragma once

#include <charconv>
#include <cmath>
#include <string>

#include "je_internal.h"

// A mutable container keeps its children in a ring whose entry point is
// the last child (for objects the last key, each key followed by its
// value). The cursor remembers the last child handed out and how many are
// left.
struct je_cursor {
    yyjson_mut_val *cur;
    size_t left;
};

inline je_cursor je_cursor_of(yyjson_mut_val *ctn) {
    return {static_cast<yyjson_mut_val *>(ctn->uni.ptr), yyjson_mut_get_len(ctn)};
}

// The next array element, or null when none is left.
inline yyjson_mut_val *je_cursor_elem(je_cursor &c) {
    if (!c.left) return nullptr;
    --c.left;
    c.cur = c.cur->next;
    return c.cur;
}

// The next object key (its value is key->next), or null when none is left.
inline yyjson_mut_val *je_cursor_key(je_cursor &c) {
    if (!c.left) return nullptr;
    --c.left;
    c.cur = c.cur->next->next;
    return c.cur;
}

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
template <class Put>
bool je_scalar_text(yyjson_mut_val *v, Put &&put) {
    switch (yyjson_mut_get_type(v)) {
        case YYJSON_TYPE_STR: {
            const char *s = yyjson_mut_get_str(v);
            size_t n = yyjson_mut_get_len(v);
            if (!je_plain_ascii(s, n)) break;
            put("\"", 1);
            put(s, n);
            put("\"", 1);
            return true;
        }
        case YYJSON_TYPE_NULL: put("null", 4); return true;
        case YYJSON_TYPE_BOOL:
            if (yyjson_mut_get_bool(v))
                put("true", 4);
            else
                put("false", 5);
            return true;
        case YYJSON_TYPE_NUM: {
            // Non-finite reals are left to the writer, which refuses them.
            if (yyjson_mut_is_real(v) && !std::isfinite(yyjson_mut_get_real(v))) break;
            char num[48];
            char *end = yyjson_mut_write_number(v, num);
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

// Appends n bytes of piece to a reported path, which never grows past
// JE_PATH_MAX bytes (what a "%s.%s" or "%s[%zu]" into a 4096-byte buffer
// keeps).
inline void je_path_cat(std::string &path, const char *piece, size_t n) {
    if (path.size() >= JE_PATH_MAX) return;
    size_t room = JE_PATH_MAX - path.size();
    path.append(piece, n < room ? n : room);
}

// Appends "[index]" to a reported path, cut like je_path_cat.
inline void je_path_index(std::string &path, size_t index) {
    char piece[24];
    piece[0] = '[';
    char *end = std::to_chars(piece + 1, piece + sizeof piece - 1, index).ptr;
    *end++ = ']';
    je_path_cat(path, piece, static_cast<size_t>(end - piece));
}
