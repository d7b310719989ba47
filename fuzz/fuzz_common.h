// Shared pieces of the fuzz targets: splitting an input into parts, the
// invariant checks every target makes, and running a target body on a
// thread with a small stack (so any recursion that grows with the input
// shows as a stack overflow long before the input is huge).
//
// A target file defines its body as run() in a namespace of its own and,
// unless JE_FUZZ_REPLAY is defined, the libFuzzer entry point. The replay
// suite (tests/test_fuzz_replay.cpp) includes every target file with
// JE_FUZZ_REPLAY and JE_FUZZ_FAIL set to a GoogleTest failure, so the
// recorded findings and the seed cases run through the same checks in the
// ordinary test builds.
#pragma once

#include <pthread.h>
#include <yyjson.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "quendral/jsonengine.h"

#ifndef JE_FUZZ_FAIL
#define JE_FUZZ_FAIL(file, line, what) je_fuzz_abort(file, line, what)
#endif

[[noreturn]] inline void je_fuzz_abort(const char *file, int line, const std::string &what) {
    fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what.c_str());
    fflush(stderr);
    abort();
}

#define JE_CHECK(cond, what)                                                                 \
    do {                                                                                     \
        if (!(cond)) JE_FUZZ_FAIL(__FILE__, __LINE__, std::string(#cond) + " -- " + (what)); \
    } while (0)

// Stack of the thread a target body runs on. Iterative code needs a few
// dozen KiB even under the sanitizers; recursion per nesting level of an
// input of a few KiB runs out of this.
constexpr size_t JE_FUZZ_STACK = 512 * 1024;

inline void je_fuzz_on_small_stack(const std::function<void()> &fn) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, JE_FUZZ_STACK);
    pthread_t th;
    int rc = pthread_create(
        &th, &attr,
        [](void *p) -> void * {
            (*static_cast<const std::function<void()> *>(p))();
            return nullptr;
        },
        const_cast<std::function<void()> *>(&fn));
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        fn();  // no thread to be had: run in place rather than skip
        return;
    }
    pthread_join(th, nullptr);
}

// Splits an input at NUL bytes into exactly n parts; missing parts are
// empty, and the last part runs to the next NUL (the engine reads texts up
// to their first NUL anyway).
inline std::vector<std::string> je_fuzz_split(const uint8_t *data, size_t size, size_t n) {
    std::vector<std::string> parts(n);
    size_t part = 0;
    for (size_t i = 0; i < size && part < n; ++i) {
        if (data[i] == 0) {
            ++part;
            continue;
        }
        parts[part].push_back(static_cast<char>(data[i]));
    }
    return parts;
}

// An independent UTF-8 check (the engine has its own; this one must not
// share its faults): no overlong forms, no surrogates, nothing past
// U+10FFFF, no truncated sequence.
inline bool je_fuzz_utf8(const std::string &s) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s.data());
    size_t n = s.size(), i = 0;
    while (i < n) {
        unsigned c = p[i];
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > n) return false;
        uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        static const uint32_t min_for_len[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < min_for_len[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

// A strictly read document of a text, or null.
inline yyjson_doc *je_fuzz_read(const std::string &text) {
    return yyjson_read_opts(const_cast<char *>(text.data()), text.size(), 0, nullptr, nullptr);
}

inline bool je_fuzz_json_ok(const std::string &text) {
    yyjson_doc *d = je_fuzz_read(text);
    yyjson_doc_free(d);
    return d != nullptr;
}

// The compact text of a JSON text, as the engine's writer makes it; "" when
// the text does not read.
inline std::string je_fuzz_minify(const std::string &text) {
    yyjson_doc *d = je_fuzz_read(text);
    if (!d) return "";
    size_t len = 0;
    char *out = yyjson_write_opts(d, 0, nullptr, &len, nullptr);
    yyjson_doc_free(d);
    std::string r = out ? std::string(out, len) : "";
    free(out);
    return r;
}

// The shape of a value: nesting depth (a scalar root is level 1), the most
// members any one object has, whether any object repeats a key, and the
// counts of members, numbers, strings, arrays and objects.
struct je_fuzz_shape_t {
    size_t depth = 0;
    size_t max_members = 0;
    bool dup = false;
    uint64_t keys = 0, numbers = 0, strings = 0, arrays = 0, objects = 0;
};

inline je_fuzz_shape_t je_fuzz_shape(yyjson_val *root) {
    je_fuzz_shape_t shape;
    std::vector<std::pair<yyjson_val *, size_t>> todo{{root, 1}};
    while (!todo.empty()) {
        auto [cur, level] = todo.back();
        todo.pop_back();
        if (level > shape.depth) shape.depth = level;
        if (yyjson_is_num(cur)) ++shape.numbers;
        if (yyjson_is_str(cur)) ++shape.strings;
        if (yyjson_is_arr(cur)) ++shape.arrays;
        if (yyjson_is_obj(cur)) ++shape.objects;
        if (yyjson_is_obj(cur)) {
            std::vector<std::string> keys;
            yyjson_val *k;
            yyjson_obj_iter it = yyjson_obj_iter_with(cur);
            while ((k = yyjson_obj_iter_next(&it))) {
                keys.emplace_back(yyjson_get_str(k), yyjson_get_len(k));
                todo.push_back({yyjson_obj_iter_get_val(k), level + 1});
            }
            if (keys.size() > shape.max_members) shape.max_members = keys.size();
            shape.keys += keys.size();
            std::sort(keys.begin(), keys.end());
            for (size_t i = 1; i < keys.size(); ++i)
                if (keys[i] == keys[i - 1]) shape.dup = true;
        } else if (yyjson_is_arr(cur)) {
            yyjson_val *e;
            yyjson_arr_iter it = yyjson_arr_iter_with(cur);
            while ((e = yyjson_arr_iter_next(&it))) todo.push_back({e, level + 1});
        }
    }
    return shape;
}

inline je_fuzz_shape_t je_fuzz_text_shape(const std::string &text) {
    yyjson_doc *d = je_fuzz_read(text);
    je_fuzz_shape_t shape;
    if (d) shape = je_fuzz_shape(yyjson_doc_get_root(d));
    yyjson_doc_free(d);
    return shape;
}

inline bool je_fuzz_text_has_dup_keys(const std::string &text) { return je_fuzz_text_shape(text).dup; }

inline std::string je_fuzz_str(const char *s) { return s ? std::string(s) : std::string("<NULL>"); }

// A message as the error slot holds it: cut to 1023 bytes.
inline std::string je_fuzz_msg(const std::string &m) { return m.substr(0, 1023); }

inline bool je_fuzz_starts(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

// A document with a bit of everything, loaded when an input's own document
// part does not read, so the other parts still reach the engine.
inline const char *je_fuzz_default_doc() {
    return "{\"store\":{\"book\":[{\"title\":\"A\",\"price\":8,\"tags\":[\"x\",\"y\"]},"
           "{\"title\":\"B \\u00e9\",\"price\":12.5,\"isbn\":null,\"ok\":true}],\"name\":\"S\","
           "\"a.b\":{\"\":[1,[2,[3]]]}},\"n\":-0.0,\"big\":18446744073709551615,\"arr\":[[],{},\"\",0]}";
}

// The whole document as the engine writes it; checked to be non-empty,
// valid UTF-8 and readable JSON, since the document must stay writable.
inline std::string je_fuzz_doc_text(const char *where) {
    std::string doc = je_fuzz_str(json_get("$"));
    JE_CHECK(!doc.empty(), std::string(where) + ": the document no longer writes: " + je_fuzz_str(json_last_error()));
    JE_CHECK(je_fuzz_utf8(doc), std::string(where) + ": document text is not UTF-8");
    JE_CHECK(je_fuzz_json_ok(doc), std::string(where) + ": document text does not read back: " + doc.substr(0, 200));
    return doc;
}

// Loads the text as the document, or the default document when it does not
// read; returns the document's text.
inline std::string je_fuzz_load_doc(const std::string &text) {
    if (json_parse(text.c_str()) != 0) {
        int rc = json_parse(je_fuzz_default_doc());
        JE_CHECK(rc == 0, "the default document does not load: " + je_fuzz_str(json_last_error()));
    }
    return je_fuzz_doc_text("load");
}

// The working functions leave "" after success and a message after failure.
inline void je_fuzz_check_status(int rc, const char *call) {
    std::string err = je_fuzz_str(json_last_error());
    if (rc == 0)
        JE_CHECK(err.empty(), std::string(call) + " succeeded but left the message: " + err);
    else
        JE_CHECK(rc == -1 && !err.empty(), std::string(call) + " failed without a message, rc " + std::to_string(rc));
}
