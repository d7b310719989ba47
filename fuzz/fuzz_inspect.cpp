// Inspection: a document, a search pattern and a mode text (parts split at
// NUL bytes) through json_stats_json, json_search in every mode,
// json_flatten and json_format in every layout. None of them changes the
// document; statistics match an independent count; search finds exactly
// the keys and strings that hold the pattern; the layouts read back to the
// document (sorted: with every object's keys in order).
#include "fuzz_common.h"

namespace je_fuzz_inspect {

constexpr size_t kHitField = 4095;  // path and value fields of a hit
constexpr size_t kHitKey = 511;     // key field of a hit

inline void check_stats(const std::string &doc, const je_fuzz_shape_t &shape) {
    std::string stats = je_fuzz_str(json_stats_json());
    JE_CHECK(je_fuzz_str(json_last_error()).empty(), "stats left " + je_fuzz_str(json_last_error()));
    char want[512];
    snprintf(want, sizeof want,
             "{\"bytes\":%zu,\"depth\":%zu,\"keys\":%llu,\"numbers\":%llu,\"strings\":%llu,\"arrays\":%llu,"
             "\"objects\":%llu}",
             doc.size(), shape.depth, static_cast<unsigned long long>(shape.keys),
             static_cast<unsigned long long>(shape.numbers), static_cast<unsigned long long>(shape.strings),
             static_cast<unsigned long long>(shape.arrays), static_cast<unsigned long long>(shape.objects));
    JE_CHECK(stats == want, "stats " + stats + " where the document gives " + want);
}

// Keys and strings (each up to its first NUL) that hold the pattern.
inline void count_matches(yyjson_val *root, const char *pattern, uint64_t &keys, uint64_t &values) {
    keys = values = 0;
    std::vector<yyjson_val *> todo{root};
    while (!todo.empty()) {
        yyjson_val *cur = todo.back();
        todo.pop_back();
        if (yyjson_is_obj(cur)) {
            yyjson_val *k;
            yyjson_obj_iter it = yyjson_obj_iter_with(cur);
            while ((k = yyjson_obj_iter_next(&it))) {
                if (strstr(yyjson_get_str(k), pattern)) ++keys;
                todo.push_back(yyjson_obj_iter_get_val(k));
            }
        } else if (yyjson_is_arr(cur)) {
            yyjson_val *e;
            yyjson_arr_iter it = yyjson_arr_iter_with(cur);
            while ((e = yyjson_arr_iter_next(&it))) todo.push_back(e);
        } else if (yyjson_is_str(cur) && strstr(yyjson_get_str(cur), pattern)) {
            ++values;
        }
    }
}

inline void check_search(const std::string &doc, const char *mode, const std::string &pattern) {
    std::string shown = mode ? mode : "NULL";
    int rc = json_search(mode, pattern.c_str());
    std::string err = je_fuzz_str(json_last_error());
    JE_CHECK(je_fuzz_doc_text("json_search") == doc, "json_search changed the document");
    bool keys = !mode || !strcmp(mode, "key") || !strcmp(mode, "both");
    bool values = !mode || !strcmp(mode, "value") || !strcmp(mode, "both");
    if (pattern.empty()) {
        JE_CHECK(rc == -1 && err == "empty search pattern", "search with an empty pattern: " + err);
    } else if (!keys && !values) {
        JE_CHECK(rc == -1 && err == je_fuzz_msg("unknown search mode: " + shown + " (use key|value|both)"),
                 "search in mode " + shown + ": " + err);
    } else {
        JE_CHECK(rc == 0 && err.empty(), "search in mode " + shown + " failed: " + err);
    }
    if (rc != 0) {
        JE_CHECK(json_search_count() == 0, "a failed search left hits");
        return;
    }
    yyjson_doc *d = je_fuzz_read(doc);
    uint64_t key_hits, value_hits;
    count_matches(yyjson_doc_get_root(d), pattern.c_str(), key_hits, value_hits);
    yyjson_doc_free(d);
    uint64_t want = (keys ? key_hits : 0) + (values ? value_hits : 0);
    if (want > 10000) want = 10000;
    int n = json_search_count();
    JE_CHECK(static_cast<uint64_t>(n) == want,
             "search " + shown + " found " + std::to_string(n) + " hits, expected " + std::to_string(want));
    JE_CHECK(je_fuzz_str(json_search_field(n, "path")).empty(), "a hit past the end has a path");
    for (int i = 0; i < n; ++i) {
        std::string path = je_fuzz_str(json_search_field(i, "path"));
        std::string key = je_fuzz_str(json_search_field(i, "key"));
        std::string value = je_fuzz_str(json_search_field(i, "value"));
        JE_CHECK(je_fuzz_starts(path, "$"), "hit path " + path.substr(0, 100));
        if (!key.empty()) {
            JE_CHECK(keys, "a key hit in mode " + shown);
            if (key.size() < kHitKey) JE_CHECK(key.find(pattern) != std::string::npos, "key hit " + key);
            if (value.size() < kHitField) JE_CHECK(je_fuzz_minify(value) == value, "key hit value " + value);
        } else {
            JE_CHECK(values, "a value hit in mode " + shown);
            if (value.size() < kHitField) JE_CHECK(value.find(pattern) != std::string::npos, "value hit " + value);
        }
    }
}

inline void check_flatten(const std::string &doc, const je_fuzz_shape_t &shape) {
    std::string flat = je_fuzz_str(json_flatten());
    JE_CHECK(!flat.empty(), "json_flatten failed: " + je_fuzz_str(json_last_error()));
    JE_CHECK(je_fuzz_str(json_last_error()).empty(), "json_flatten left " + je_fuzz_str(json_last_error()));
    JE_CHECK(je_fuzz_doc_text("json_flatten") == doc, "json_flatten changed the document");
    JE_CHECK(je_fuzz_utf8(flat), "flattened text is not UTF-8");
    yyjson_doc *d = je_fuzz_read(flat);
    JE_CHECK(d != nullptr, "flattened text does not read: " + flat.substr(0, 200));
    yyjson_val *root = yyjson_doc_get_root(d);
    // Paths are cut at 4095 bytes, so distinct leaves may share a path in a
    // deep document; short documents have only short paths, one per leaf.
    if (doc.size() >= 1300) {
        yyjson_doc_free(d);
        return;
    }
    uint64_t leaves = 0;
    yyjson_doc *orig = je_fuzz_read(doc);
    std::vector<yyjson_val *> todo{yyjson_doc_get_root(orig)};
    while (!todo.empty()) {
        yyjson_val *cur = todo.back();
        todo.pop_back();
        if (yyjson_is_ctn(cur)) {
            size_t idx, max;
            yyjson_val *k, *v;
            if (yyjson_is_obj(cur)) {
                yyjson_obj_foreach(cur, idx, max, k, v) todo.push_back(v);
            } else {
                yyjson_arr_foreach(cur, idx, max, v) todo.push_back(v);
            }
        } else if (cur != yyjson_doc_get_root(orig)) {
            ++leaves;
        }
    }
    yyjson_doc_free(orig);
    JE_CHECK(yyjson_is_obj(root), "flattened text is not an object");
    if (leaves == 0) {
        JE_CHECK(yyjson_obj_size(root) == 1 && yyjson_obj_get(root, "$") != nullptr, "flattened leafless document");
    } else {
        JE_CHECK(yyjson_obj_size(root) == (leaves < 10000 ? leaves : 10000),
                 "flattened " + std::to_string(yyjson_obj_size(root)) + " pairs of " + std::to_string(leaves));
        size_t idx, max;
        yyjson_val *k, *v;
        yyjson_obj_foreach(root, idx, max, k, v) JE_CHECK(!yyjson_is_ctn(v), "a flattened value is a container");
    }
    (void)shape;
    yyjson_doc_free(d);
}

// Every object's keys in non-decreasing order as NUL-terminated texts.
inline bool keys_sorted(yyjson_val *root) {
    std::vector<yyjson_val *> todo{root};
    while (!todo.empty()) {
        yyjson_val *cur = todo.back();
        todo.pop_back();
        size_t idx, max;
        yyjson_val *k, *v;
        if (yyjson_is_obj(cur)) {
            const char *prev = nullptr;
            yyjson_obj_foreach(cur, idx, max, k, v) {
                if (prev && strcmp(prev, yyjson_get_str(k)) > 0) return false;
                prev = yyjson_get_str(k);
                todo.push_back(v);
            }
        } else if (yyjson_is_arr(cur)) {
            yyjson_arr_foreach(cur, idx, max, v) todo.push_back(v);
        }
    }
    return true;
}

inline void check_format(const std::string &doc, const je_fuzz_shape_t &shape, const std::string &mode_part) {
    for (const char *mode : {"pretty", static_cast<const char *>(nullptr), "minify", "sorted", mode_part.c_str()}) {
        std::string shown = mode ? mode : "NULL";
        std::string out = je_fuzz_str(json_format(mode));
        std::string err = je_fuzz_str(json_last_error());
        JE_CHECK(je_fuzz_doc_text("json_format") == doc, "json_format(" + shown + ") changed the document");
        bool known = !mode || !strcmp(mode, "pretty") || !strcmp(mode, "minify") || !strcmp(mode, "sorted");
        if (!known) {
            JE_CHECK(out.empty() && err == je_fuzz_msg("unknown format mode: " + shown + " (use pretty|minify|sorted)"),
                     "json_format(" + shown + "): " + err);
            continue;
        }
        JE_CHECK(!out.empty() && err.empty(), "json_format(" + shown + ") failed: " + err);
        JE_CHECK(je_fuzz_utf8(out), "json_format(" + shown + ") is not UTF-8");
        if (!mode || !strcmp(mode, "pretty")) {
            JE_CHECK(je_fuzz_minify(out) == doc, "pretty layout does not read back to the document");
        } else if (!strcmp(mode, "minify")) {
            JE_CHECK(out == doc, "minified layout differs from the document");
        } else {
            yyjson_doc *d = je_fuzz_read(out);
            JE_CHECK(d != nullptr, "sorted layout does not read: " + out.substr(0, 200));
            JE_CHECK(keys_sorted(yyjson_doc_get_root(d)), "sorted layout has keys out of order");
            je_fuzz_shape_t sorted = je_fuzz_shape(yyjson_doc_get_root(d));
            yyjson_doc_free(d);
            // A repeated key keeps only its last value, so only documents
            // without one keep their shape exactly.
            if (!shape.dup) {
                JE_CHECK(sorted.depth == shape.depth, "sorted layout changed the depth");
                JE_CHECK(sorted.keys == shape.keys && sorted.numbers == shape.numbers &&
                             sorted.strings == shape.strings && sorted.arrays == shape.arrays &&
                             sorted.objects == shape.objects,
                         "sorted layout lost or gained values");
            }
        }
    }
}

inline void run(const uint8_t *data, size_t size) {
    std::vector<std::string> parts = je_fuzz_split(data, size, 3);
    const std::string &pattern = parts[1], &mode = parts[2];
    const std::string doc = je_fuzz_load_doc(parts[0]);
    const je_fuzz_shape_t shape = je_fuzz_text_shape(doc);

    check_stats(doc, shape);
    JE_CHECK(je_fuzz_doc_text("json_stats_json") == doc, "json_stats_json changed the document");
    for (const char *m : {"key", "value", "both", static_cast<const char *>(nullptr), mode.c_str()})
        check_search(doc, m, pattern);
    check_flatten(doc, shape);
    check_format(doc, shape, mode);
}

}  // namespace je_fuzz_inspect

#ifndef JE_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    je_fuzz_on_small_stack([&] { je_fuzz_inspect::run(data, size); });
    return 0;
}
#endif
