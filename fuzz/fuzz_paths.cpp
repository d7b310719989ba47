// Paths: a document, a path and a value text (parts split at NUL bytes)
// through json_get, json_extract, json_set and json_delete. Reading never
// changes the document; a set that succeeds makes the path read back the
// value; a set that fails before touching the document, and every failed
// delete, leave it byte-identical; the document always still writes.
#include "fuzz_common.h"

namespace je_fuzz_paths {

// Failures of json_set that come before the document is touched.
inline bool set_failed_early(const std::string &err, const std::string &path) {
    static const char *const early[] = {"no document loaded",
                                        "null path",
                                        "path must start with '$': ",
                                        "expected key after '.'",
                                        "empty path key",
                                        "path key too long",
                                        "expected array index in path at: ",
                                        "expected ']' in path at: ",
                                        "unexpected character in path: ",
                                        "path too deep",
                                        "value: "};
    for (const char *e : early)
        if (je_fuzz_starts(err, e)) return true;
    // Messages that name a long path are cut before the reason, so they do
    // not tell an early failure from a later one.
    std::string utf8 = "path " + path + ": key is not valid UTF-8";
    return utf8.size() < 1024 && err == utf8;
}

// Whether the last step of a path is a key step: keys hold neither "." nor
// "[", and index steps hold no ".".
inline bool last_step_is_key(const std::string &path) {
    size_t at = path.find_last_of(".[");
    return at != std::string::npos && path[at] == '.';
}

// An independent reading of a path over the document's text: the value
// text at the path, "" when a step misses; false when the path does not
// parse (keys of 1 to 511 bytes without "." and "[", decimal indexes
// clamped to 2147483647, at most 256 steps).
inline bool reference_get(const std::string &doc, const std::string &path, std::string *out) {
    if (path.empty() || path[0] != '$') return false;
    yyjson_doc *d = je_fuzz_read(doc);
    yyjson_val *cur = yyjson_doc_get_root(d);
    size_t i = 1, steps = 0;
    bool ok = true;
    while (ok && i < path.size()) {
        if (++steps > 256) ok = false;
        if (path[i] == '.') {
            size_t end = path.find_first_of(".[", i + 1);
            if (end == std::string::npos) end = path.size();
            size_t len = end - i - 1;
            if (len == 0 || len > 511) {
                ok = false;
                break;
            }
            cur = yyjson_is_obj(cur) ? yyjson_obj_getn(cur, path.data() + i + 1, len) : nullptr;
            i = end;
        } else if (path[i] == '[') {
            size_t j = i + 1;
            uint64_t index = 0;
            while (j < path.size() && path[j] >= '0' && path[j] <= '9') {
                if (index <= 2147483647u) index = index * 10 + static_cast<uint64_t>(path[j] - '0');
                ++j;
            }
            if (j == i + 1 || j >= path.size() || path[j] != ']') {
                ok = false;
                break;
            }
            if (index > 2147483647u) index = 2147483647u;
            cur = yyjson_is_arr(cur) && index < yyjson_arr_size(cur) ? yyjson_arr_get(cur, index) : nullptr;
            i = j + 1;
        } else {
            ok = false;
        }
    }
    if (ok) {
        char *text = cur ? yyjson_val_write(cur, 0, nullptr) : nullptr;
        *out = text ? text : "";
        free(text);
    }
    yyjson_doc_free(d);
    return ok;
}

inline void run(const uint8_t *data, size_t size) {
    std::vector<std::string> parts = je_fuzz_split(data, size, 3);
    const std::string &path = parts[1], &value = parts[2];
    const std::string doc = je_fuzz_load_doc(parts[0]);

    std::string got = je_fuzz_str(json_get(path.c_str()));
    std::string got_err = je_fuzz_str(json_last_error());
    std::string ext = je_fuzz_str(json_extract(path.c_str()));
    std::string ext_err = je_fuzz_str(json_last_error());
    JE_CHECK(got == ext && got_err == ext_err, "json_get and json_extract differ on " + path);
    je_fuzz_check_status(got.empty() ? -1 : 0, "json_get");
    if (!got.empty()) {
        JE_CHECK(je_fuzz_utf8(got), "json_get text is not UTF-8");
        JE_CHECK(je_fuzz_minify(got) == got, "json_get text is not compact JSON: " + got.substr(0, 200));
    }
    JE_CHECK(je_fuzz_doc_text("json_get") == doc, "json_get changed the document");
    std::string want;
    if (reference_get(doc, path, &want)) {
        JE_CHECK(got == want,
                 "json_get(" + path + ") gave " + got.substr(0, 100) + ", expected " + want.substr(0, 100));
        if (want.empty()) JE_CHECK(got_err == je_fuzz_msg("path not found: " + path), "json_get message " + got_err);
    } else {
        JE_CHECK(got.empty() && !je_fuzz_starts(got_err, "path not found: "), "json_get read a bad path " + path);
    }

    int rc = json_set(path.c_str(), value.c_str());
    std::string err = je_fuzz_str(json_last_error());
    je_fuzz_check_status(rc, "json_set");
    const std::string after_set = je_fuzz_doc_text("json_set");
    std::string wanted = je_fuzz_minify(value);
    if (rc == 0) {
        JE_CHECK(!wanted.empty(), "json_set accepted the value text " + value.substr(0, 100));
        std::string now = je_fuzz_str(json_get(path.c_str()));
        JE_CHECK(now == wanted, "after json_set(" + path + ") the path reads " + now.substr(0, 200));
    } else if (set_failed_early(err, path)) {
        JE_CHECK(after_set == doc, "json_set failed with " + err + " and changed the document");
    }
    if (wanted.empty()) JE_CHECK(rc == -1, "json_set of an unreadable value succeeded");

    rc = json_delete(path.c_str());
    err = je_fuzz_str(json_last_error());
    je_fuzz_check_status(rc, "json_delete");
    const std::string after_delete = je_fuzz_doc_text("json_delete");
    if (rc != 0) {
        JE_CHECK(after_delete == after_set, "json_delete failed with " + err + " and changed the document");
    } else {
        JE_CHECK(after_delete != after_set, "json_delete succeeded and removed nothing");
        if (last_step_is_key(path)) {
            JE_CHECK(je_fuzz_str(json_get(path.c_str())).empty(), "a deleted key still reads at " + path);
        }
    }
    JE_CHECK(json_delete("$") == -1, "the root was deleted");
}

}  // namespace je_fuzz_paths

#ifndef JE_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    je_fuzz_on_small_stack([&] { je_fuzz_paths::run(data, size); });
    return 0;
}
#endif
