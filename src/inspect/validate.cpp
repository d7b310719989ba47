// Validation: json_validate reads a text into a document of its own, checks
// the six named rules and keeps a JSON report of every rule's outcome for
// json_validate_report_json. The engine document is never touched.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "je_internal.h"

constexpr size_t JE_VALREPORT_SIZE = 8192;  // report text, NUL included
constexpr size_t JE_VAL_DEPTH_LIMIT = 512;  // deepest allowed level (root is 1)
static_assert(JSONENGINE_VALIDATE_MAX_DEPTH == JE_VAL_DEPTH_LIMIT);
constexpr size_t JE_VAL_DUP_MAX = 511;      // objects above this size are not checked for duplicates
constexpr size_t JE_VAL_KEY_SIZE = 256;     // stored duplicate key, NUL included
constexpr size_t JE_VAL_PAIRWISE_MAX = 16;  // below this, pairwise comparison beats sorting

JE_LARGE_STATIC static char je_valreport[JE_VALREPORT_SIZE];

namespace {
struct je_valstate {
    bool dup_found;
    char dup_key[JE_VAL_KEY_SIZE];
    uint64_t depth_limit;
    bool too_deep;
};
}  // namespace

namespace {
// One open container of the walk. For objects, dup_left is the value that
// `left` has when the first member holding a duplicated key comes up (0:
// none), so the key is reported just before that member's value would be
// walked.
struct je_vframe {
    yyjson_val *next;
    size_t left;
    size_t dup_left;
    bool is_obj;
};
}  // namespace

namespace {
struct je_vkey {
    const char *str;
    size_t index;
};
}  // namespace

// Index of the first member whose key (as a NUL-terminated text) equals
// another member's key, or n when all differ. That member is the first one
// that a member-by-member comparison against all others would stop at:
// any earlier member equal to it would have stopped first.
static size_t je_first_dup(yyjson_val *obj, size_t n, std::vector<je_vkey> &keys) {
    keys.clear();
    yyjson_val *key = unsafe_yyjson_get_first(obj);
    for (size_t i = 0; i < n; ++i) {
        keys.push_back({yyjson_get_str(key), i});
        key = unsafe_yyjson_get_next(key + 1);
    }
    if (n <= JE_VAL_PAIRWISE_MAX) {
        for (size_t i = 0; i + 1 < n; ++i)
            for (size_t j = i + 1; j < n; ++j)
                if (strcmp(keys[i].str, keys[j].str) == 0) return i;
        return n;
    }
    std::sort(keys.begin(), keys.end(), [](const je_vkey &a, const je_vkey &b) {
        int c = strcmp(a.str, b.str);
        return c != 0 ? c < 0 : a.index < b.index;
    });
    size_t first = n;
    for (size_t i = 0; i + 1 < n; ++i) {
        if (strcmp(keys[i].str, keys[i + 1].str) == 0) {
            first = std::min(first, keys[i].index);
            while (i + 1 < n && strcmp(keys[i].str, keys[i + 1].str) == 0) ++i;
        }
    }
    return first;
}

// Parents before children, each key tested before its value is walked;
// stops at the first duplicate key, while a too-deep value only marks the
// state. The explicit stack keeps deep texts off the call stack.
static void je_validate_walk(yyjson_val *root, je_valstate &st) {
    std::vector<je_vframe> stack;
    std::vector<je_vkey> keys;
    yyjson_val *val = root;
    for (;;) {
        if (val) {
            if (stack.size() + 1 > st.depth_limit) st.too_deep = true;
            size_t n = yyjson_get_len(val);
            if (yyjson_is_ctn(val) && n > 0) {
                je_vframe f{unsafe_yyjson_get_first(val), n, 0, yyjson_is_obj(val)};
                if (f.is_obj && n <= JE_VAL_DUP_MAX) {
                    size_t dup = je_first_dup(val, n, keys);
                    if (dup < n) f.dup_left = n - dup;
                }
                stack.push_back(f);
            }
            val = nullptr;
        }
        if (stack.empty()) return;
        je_vframe &f = stack.back();
        if (!f.left) {
            stack.pop_back();
            continue;
        }
        if (f.is_obj) {
            if (f.left == f.dup_left) {
                st.dup_found = true;
                snprintf(st.dup_key, sizeof st.dup_key, "%s", yyjson_get_str(f.next));
                return;
            }
            val = f.next + 1;
        } else {
            val = f.next;
        }
        f.next = unsafe_yyjson_get_next(val);
        --f.left;
    }
}

// Rows are added to the report through one builder that remembers
// whether every piece was made.
namespace {
struct je_report {
    yyjson_mut_doc *doc;
    yyjson_mut_val *arr;
    bool ok;

    void rule(const char *name, bool passed, const char *detail, size_t line, size_t col) {
        yyjson_mut_val *row = yyjson_mut_obj(doc);
        ok = ok && row && yyjson_mut_obj_add_str(doc, row, "rule", name) &&
             yyjson_mut_obj_add_bool(doc, row, "ok", passed) &&
             yyjson_mut_obj_add_str(doc, row, "detail", passed ? "" : detail) &&
             yyjson_mut_obj_add_uint(doc, row, "line", line) && yyjson_mut_obj_add_uint(doc, row, "col", col) &&
             yyjson_mut_arr_append(arr, row);
    }

    // The five rules after "syntax" when the text could not be read.
    void unread_rest() {
        static const char *const rest[] = {"root", "trailing", "duplicate-keys", "number-range", "depth"};
        for (const char *name : rest) rule(name, true, "", 0, 0);
    }
};
}  // namespace

static int je_validate(const char *text) {
    je_mut_doc_guard report(yyjson_mut_doc_new(nullptr));
    yyjson_mut_val *arr = report.d ? yyjson_mut_arr(report.d) : nullptr;
    if (!arr) {
        je_set_error("out of memory");
        return -1;
    }
    yyjson_mut_doc_set_root(report.d, arr);
    je_report r{report.d, arr, true};
    int rc = -1;
    if (!text) {
        je_set_error("null input");
        r.rule("syntax", false, "null input", 1, 1);
        r.unread_rest();
    } else {
        size_t len = strlen(text);
        yyjson_read_err err;
        je_doc_guard doc(yyjson_read_opts(const_cast<char *>(text), len, 0, je_big_alc(), &err));
        size_t line = 1, col = 1;
        if (!doc.d && err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) {
            // Running out of memory says nothing about the text: no verdict,
            // no report, as when the report itself cannot be made.
            je_set_error("out of memory");
            return -1;
        }
        if (!doc.d) {
            if (err.pos != 0) yyjson_locate_pos(text, len, err.pos, &line, &col, nullptr);
            r.rule("syntax", false, err.msg ? err.msg : "invalid JSON", line, col);
            r.unread_rest();
            je_set_errorf("invalid JSON: %s (line %zu col %zu)", err.msg ? err.msg : "unknown", line, col);
        } else {
            je_valstate st{};
            st.depth_limit = JE_VAL_DEPTH_LIMIT;
            je_validate_walk(yyjson_doc_get_root(doc.d), st);
            r.rule("syntax", true, "", 0, 0);
            r.rule("root", true, "", 0, 0);
            r.rule("trailing", true, "", 1, 1);
            r.rule("duplicate-keys", !st.dup_found, "duplicate object key", 0, 0);
            r.rule("number-range", true, "", 0, 0);
            r.rule("depth", !st.too_deep, "nesting deeper than 512", 0, 0);
            if (st.dup_found)
                je_set_errorf("duplicate key: %s", st.dup_key);
            else if (st.too_deep)
                je_set_error("nesting exceeds 512 levels");
            else
                rc = 0;
        }
    }
    // A report missing rows or members would read as a different verdict,
    // so one that cannot be completed is not kept.
    size_t len = 0;
    char *written = r.ok ? yyjson_mut_write_opts(report.d, 0, nullptr, &len, nullptr) : nullptr;
    if (!written) {
        je_set_error("out of memory");
        return -1;
    }
    size_t n = std::min(len, JE_VALREPORT_SIZE - 1);
    memcpy(je_valreport, written, n);
    je_valreport[n] = '\0';
    free(written);
    return rc;
}

extern "C" JSONENGINE_API int json_validate(const char *text) {
    je_err_clear();
    je_valreport[0] = '\0';
    return je_guard(-1, [&] { return je_validate(text); });
}

extern "C" JSONENGINE_API const char *json_validate_report_json(void) {
    return je_guard<const char *>("[]", [] { return je_valreport[0] ? je_valreport : "[]"; });
}
