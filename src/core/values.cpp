// Value helpers shared by every unit: the iterative deep copy, UTF-8
// checking and bounded field copies.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include "je_internal.h"

// A copy of a non-container value: strings (and raw texts) get their own
// bytes in doc, everything else copies tag and payload.
static yyjson_mut_val *je_copy_scalar(yyjson_mut_doc *doc, const yyjson_mut_val *src) {
    yyjson_mut_val *v;
    yyjson_type type = yyjson_mut_get_type(const_cast<yyjson_mut_val *>(src));
    if (type == YYJSON_TYPE_STR || type == YYJSON_TYPE_RAW) {
        v = yyjson_mut_strncpy(doc, src->uni.str, yyjson_mut_get_len(const_cast<yyjson_mut_val *>(src)));
        if (!v) return nullptr;
        const char *copied = v->uni.str;
        v->tag = src->tag;
        v->uni.str = copied;
        return v;
    }
    v = yyjson_mut_null(doc);
    if (!v) return nullptr;
    v->tag = src->tag;
    v->uni = src->uni;
    return v;
}

static yyjson_mut_val *je_new_container(yyjson_mut_doc *doc, const yyjson_mut_val *src) {
    return yyjson_mut_is_obj(const_cast<yyjson_mut_val *>(src)) ? yyjson_mut_obj(doc) : yyjson_mut_arr(doc);
}

yyjson_mut_val *je_deep_copy(yyjson_mut_doc *doc, const yyjson_mut_val *val) {
    if (!doc || !val) return nullptr;
    yyjson_mut_val *src_root = const_cast<yyjson_mut_val *>(val);
    if (!yyjson_mut_is_ctn(src_root)) return je_copy_scalar(doc, src_root);
    struct frame {
        bool is_obj;
        yyjson_mut_arr_iter ai;
        yyjson_mut_obj_iter oi;
        yyjson_mut_val *dst;
    };
    try {
        std::vector<frame> stack;
        auto push = [&](yyjson_mut_val *src, yyjson_mut_val *dst) {
            frame f{};
            f.is_obj = yyjson_mut_is_obj(src);
            if (f.is_obj)
                f.oi = yyjson_mut_obj_iter_with(src);
            else
                f.ai = yyjson_mut_arr_iter_with(src);
            f.dst = dst;
            stack.push_back(f);
        };
        yyjson_mut_val *root = je_new_container(doc, src_root);
        if (!root) return nullptr;
        push(src_root, root);
        while (!stack.empty()) {
            frame &f = stack.back();
            yyjson_mut_val *key = nullptr, *child;
            if (f.is_obj) {
                key = yyjson_mut_obj_iter_next(&f.oi);
                child = key ? yyjson_mut_obj_iter_get_val(key) : nullptr;
            } else {
                child = yyjson_mut_arr_iter_next(&f.ai);
            }
            if (!child) {
                stack.pop_back();
                continue;
            }
            yyjson_mut_val *copy = yyjson_mut_is_ctn(child) ? je_new_container(doc, child) : je_copy_scalar(doc, child);
            if (!copy) return nullptr;
            yyjson_mut_val *dst = f.dst;
            if (key) {
                yyjson_mut_val *kc = je_copy_scalar(doc, key);
                if (!kc || !yyjson_mut_obj_add(dst, kc, copy)) return nullptr;
            } else if (!yyjson_mut_arr_append(dst, copy)) {
                return nullptr;
            }
            if (yyjson_mut_is_ctn(child)) push(child, copy);  // f may dangle from here on
        }
        return root;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

yyjson_mut_val *je_deep_copy(yyjson_mut_doc *doc, const yyjson_val *val) {
    if (!doc || !val) return nullptr;
    // An immutable subtree is contiguous, and yyjson copies it in one pass
    // over its values without recursion, strings included.
    return yyjson_val_mut_copy(doc, const_cast<yyjson_val *>(val));
}

bool je_utf8_valid(const char *s, size_t n) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s);
    size_t i = 0;
    while (i < n) {
        unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i < len) return false;
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

void je_copy_field(char *dst, size_t size, const char *src) { snprintf(dst, size, "%s", src ? src : ""); }
