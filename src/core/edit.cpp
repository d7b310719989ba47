// Editing by path: json_set puts a value (creating missing intermediate
// objects), json_delete removes members or elements. Both walk the live
// document one step at a time and report what they detach to the storage
// accounting.
#include <cstring>

#include "je_tree.h"

// A key step names a member that may have to be created; the document must
// stay writable, so a key that is not valid UTF-8 is refused up front.
static bool je_path_keys_utf8(const char *path) {
    for (int32_t i = 0; i < je_nsteps; ++i) {
        const je_step &s = je_steps[i];
        if (s.kind == JE_STEP_KEY && !je_utf8_valid(s.key, strlen(s.key))) {
            je_set_errorf("path %s: key is not valid UTF-8", path);
            return false;
        }
    }
    return true;
}

static yyjson_mut_val *je_key_copy(const je_step &s) { return yyjson_mut_strncpy(je_doc, s.key, strlen(s.key)); }

static int je_set(const char *path, const char *value) {
    if (!je_doc_ensure()) {
        je_set_error("no document loaded");
        return -1;
    }
    if (!je_parse_path(path)) return -1;
    if (!je_doc_mut()) return -1;
    const char *msg = nullptr;
    yyjson_mut_val *val = je_parse_val(je_doc, value, &msg);
    if (!val) {
        je_set_errorf("value: %s", msg ? msg : "invalid JSON value");
        return -1;
    }
    if (!je_path_keys_utf8(path)) return -1;
    if (je_nsteps == 0) {
        yyjson_mut_doc_set_root(je_doc, val);
        je_store_drop_root();
        return 0;
    }
    yyjson_mut_val *cur = yyjson_mut_doc_get_root(je_doc);
    for (int32_t i = 0; i + 1 < je_nsteps; ++i) {
        const je_step &s = je_steps[i];
        if (s.kind == JE_STEP_KEY) {
            if (!yyjson_mut_is_obj(cur)) {
                je_set_errorf("path %s: element missing (not an object)", path);
                return -1;
            }
            yyjson_mut_val *next = je_obj_find(cur, s.key, strlen(s.key));
            if (!next) {
                // The key is absent, so appending is what a put would do.
                yyjson_mut_val *key = je_key_copy(s);
                next = yyjson_mut_obj(je_doc);
                if (!key || !next || !yyjson_mut_obj_add(cur, key, next)) {
                    je_set_error("internal: failed to create intermediate object");
                    return -1;
                }
            }
            cur = next;
        } else {
            if (!yyjson_mut_is_arr(cur) || static_cast<size_t>(s.index) >= yyjson_mut_arr_size(cur)) {
                je_set_errorf("path %s: element missing", path);
                return -1;
            }
            cur = yyjson_mut_arr_get(cur, static_cast<size_t>(s.index));
        }
    }
    const je_step &last = je_steps[je_nsteps - 1];
    if (last.kind == JE_STEP_INDEX) {
        if (!yyjson_mut_is_arr(cur)) {
            je_set_errorf("path %s: parent is not an array", path);
            return -1;
        }
        size_t size = yyjson_mut_arr_size(cur);
        if (static_cast<size_t>(last.index) >= size) {
            je_set_errorf("path %s: array index %lld out of range (size %zu)", path, static_cast<long long>(last.index),
                          size);
            return -1;
        }
        if (!yyjson_mut_arr_insert(cur, val, static_cast<size_t>(last.index))) {
            je_set_error("internal: array insert failed");
            return -1;
        }
        return 0;
    }
    if (!yyjson_mut_is_obj(cur)) {
        je_set_errorf("path %s: parent is not an object", path);
        return -1;
    }
    yyjson_mut_val *key = je_key_copy(last);
    if (!key || !je_obj_put(cur, key, val)) {
        je_set_error("internal: object set failed");
        return -1;
    }
    return 0;
}

extern "C" JSONENGINE_API int json_set(const char *path, const char *value) {
    je_err_clear();
    return je_guard(-1, [&] {
        je_edit_scope scope;
        return scope.result(je_set(path, value));
    });
}

static int je_delete(const char *path) {
    if (!je_doc_ensure()) {
        je_set_error("no document loaded");
        return -1;
    }
    if (!je_parse_path(path)) return -1;
    if (je_nsteps == 0) {
        je_set_error("cannot delete root '$'");
        return -1;
    }
    if (!je_doc_mut()) return -1;
    yyjson_mut_val *cur = yyjson_mut_doc_get_root(je_doc);
    for (int32_t i = 0; i + 1 < je_nsteps; ++i) {
        const je_step &s = je_steps[i];
        yyjson_mut_val *next = nullptr;
        if (s.kind == JE_STEP_KEY)
            next = je_obj_find(cur, s.key, strlen(s.key));
        else if (yyjson_mut_is_arr(cur) && static_cast<size_t>(s.index) < yyjson_mut_arr_size(cur))
            next = yyjson_mut_arr_get(cur, static_cast<size_t>(s.index));
        if (!next) {
            je_set_errorf("path %s: element missing", path);
            return -1;
        }
        cur = next;
    }
    const je_step &last = je_steps[je_nsteps - 1];
    if (last.kind == JE_STEP_KEY) {
        if (!yyjson_mut_is_obj(cur)) {
            je_set_errorf("path %s: parent is not an object", path);
            return -1;
        }
        if (!je_obj_remove_all(cur, last.key, strlen(last.key))) {
            je_set_errorf("path %s: key not found", path);
            return -1;
        }
        return 0;
    }
    if (!yyjson_mut_is_arr(cur)) {
        je_set_errorf("path %s: parent is not an array", path);
        return -1;
    }
    if (static_cast<size_t>(last.index) >= yyjson_mut_arr_size(cur)) {
        je_set_errorf("path %s: index out of range", path);
        return -1;
    }
    yyjson_mut_val *removed = yyjson_mut_arr_remove(cur, static_cast<size_t>(last.index));
    if (!removed) {
        je_set_error("internal: array delete failed");
        return -1;
    }
    je_store_drop(removed);
    return 0;
}

extern "C" JSONENGINE_API int json_delete(const char *path) {
    je_err_clear();
    return je_guard(-1, [&] {
        je_edit_scope scope;
        return scope.result(je_delete(path));
    });
}
