// Engine state: the document slot, the error slot, the shared output buffer,
// and json_last_error.
#include <cstdio>
#include <cstring>

#include "je_internal.h"

char je_err[JE_ERR_SIZE];
const char je_empty[] = "";
je_bigbuf_t je_bigbuf = {nullptr, 0};
yyjson_mut_doc *je_doc = nullptr;
yyjson_doc *je_idoc = nullptr;
char *je_idoc_text = nullptr;

void je_set_error(const char *msg) { snprintf(je_err, sizeof je_err, "%s", msg ? msg : ""); }

void je_set_errorf(const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vsnprintf(je_err, sizeof je_err, fmt, args);
    va_end(args);
}

void je_err_clear() { je_err[0] = '\0'; }

char *je_bigbuf_get(size_t n) {
    if (n > JE_BIGBUF_LIMIT) {
        je_set_error("output too large (>64MB)");
        return nullptr;
    }
    size_t need = n + 1;
    if (je_bigbuf.cap >= need) return je_bigbuf.ptr;
    size_t cap = je_bigbuf.cap ? je_bigbuf.cap : JE_BIGBUF_INITIAL;
    while (cap < need) cap *= 2;
    char *p = static_cast<char *>(je_big_realloc(je_bigbuf.ptr, je_bigbuf.cap, cap));
    if (!p) {
        je_set_error("out of memory");
        return nullptr;
    }
    je_bigbuf.ptr = p;
    je_bigbuf.cap = cap;
    return p;
}

bool je_fill_big(const char *text) {
    if (!text) return false;
    size_t len = strlen(text);
    char *buf = je_bigbuf_get(len + 1);
    if (!buf) return false;
    memcpy(buf, text, len + 1);
    return true;
}

// ---- the output allocator ----

static bool je_out_grow_failed = false;

// Grows the buffer to hold need bytes (need <= JE_BIGBUF_CEILING), by the
// same doubling as je_bigbuf_get.
static bool je_bigbuf_reserve(size_t need) {
    if (je_bigbuf.cap >= need) return true;
    size_t cap = je_bigbuf.cap ? je_bigbuf.cap : JE_BIGBUF_INITIAL;
    while (cap < need) cap *= 2;
    char *p = static_cast<char *>(je_big_realloc(je_bigbuf.ptr, je_bigbuf.cap, cap));
    if (!p) {
        je_out_grow_failed = true;
        return false;
    }
    je_bigbuf.ptr = p;
    je_bigbuf.cap = cap;
    return true;
}

static void *je_out_malloc(void *, size_t size) {
    if (size > SIZE_MAX / 4) return nullptr;
    return je_bigbuf_reserve(size) ? je_bigbuf.ptr : nullptr;
}

static void *je_out_realloc(void *, void *ptr, size_t, size_t size) {
    if (ptr != je_bigbuf.ptr || !ptr) return realloc(ptr, size);
    if (size > SIZE_MAX / 4) return nullptr;
    return je_bigbuf_reserve(size) ? je_bigbuf.ptr : nullptr;
}

static void je_out_free(void *, void *ptr) {
    if (ptr != je_bigbuf.ptr) free(ptr);
}

const yyjson_alc *je_out_alc() {
    static const yyjson_alc alc = {je_out_malloc, je_out_realloc, je_out_free, nullptr};
    return &alc;
}

// Shrinks a buffer grown past JE_BIGBUF_CEILING by a writer to the
// capacity a text of len bytes needs.
static void je_bigbuf_settle(size_t len) {
    if (je_bigbuf.cap <= JE_BIGBUF_CEILING) return;
    size_t cap = JE_BIGBUF_INITIAL;
    while (cap < len + 2 && cap < JE_BIGBUF_CEILING) cap *= 2;
    if (char *p = static_cast<char *>(je_big_realloc(je_bigbuf.ptr, je_bigbuf.cap, cap))) {
        je_bigbuf.ptr = p;
        je_bigbuf.cap = cap;
    }
}

// The buffer's text while a result is written over it.
static char *je_out_kept = nullptr;
static size_t je_out_kept_len = 0;

static void je_out_drop() {
    free(je_out_kept);
    je_out_kept = nullptr;
}

const yyjson_alc *je_out_begin() {
    je_out_grow_failed = false;
    je_out_drop();
    if (je_bigbuf.ptr && je_bigbuf.ptr[0]) {
        je_out_kept_len = strnlen(je_bigbuf.ptr, je_bigbuf.cap);
        je_out_kept = static_cast<char *>(malloc(je_out_kept_len + 1));
        if (je_out_kept) memcpy(je_out_kept, je_bigbuf.ptr, je_out_kept_len);
    }
    return je_out_alc();
}

void je_out_failed() {
    je_bigbuf_settle(0);
    if (je_bigbuf.ptr) je_bigbuf.ptr[0] = '\0';
    if (je_out_kept && je_bigbuf_reserve(je_out_kept_len + 1)) {
        memcpy(je_bigbuf.ptr, je_out_kept, je_out_kept_len);
        je_bigbuf.ptr[je_out_kept_len] = '\0';
    }
    je_out_drop();
}

const char *je_out_text(char *text, size_t len) {
    if (!text) {
        je_out_failed();
        je_set_error(je_out_grow_failed ? "out of memory" : "internal: json write failed");
        return je_empty;
    }
    return je_publish(text, len);
}

const char *je_publish(char *text, size_t len) {
    if (text && text == je_bigbuf.ptr) {
        if (len + 1 > JE_BIGBUF_LIMIT) {
            je_out_failed();
            je_set_error("output too large (>64MB)");
            return je_empty;
        }
        text[len] = '\0';
        je_bigbuf_settle(len);
        je_out_drop();
        return je_bigbuf.ptr;
    }
    je_free_guard g(text);
    if (!text) return je_empty;
    char *buf = je_bigbuf_get(len + 1);
    if (!buf) return je_empty;
    memcpy(buf, text, len);
    buf[len] = '\0';
    return buf;
}

bool je_doc_ensure() {
    if (je_idoc) return yyjson_doc_get_root(je_idoc) != nullptr;
    return je_doc && yyjson_mut_doc_get_root(je_doc);
}

static void je_idoc_release() {
    yyjson_doc_free(je_idoc);
    free(je_idoc_text);
    je_idoc = nullptr;
    je_idoc_text = nullptr;
}

yyjson_mut_doc *je_doc_mut() {
    if (!je_idoc) return je_doc;
    // yyjson copies an immutable tree in one pass over its contiguous
    // values, without recursion, and copies every string.
    yyjson_mut_doc *copy = yyjson_doc_mut_copy(je_idoc, je_big_alc());
    if (!copy) {
        je_set_error("out of memory (deep copy)");
        return nullptr;
    }
    je_idoc_release();
    yyjson_mut_doc_free(je_doc);
    je_doc = copy;
    je_store_reset();
    return je_doc;
}

void je_doc_install_read(yyjson_doc *doc, char *text) {
    je_doc_replace(nullptr);
    je_idoc = doc;
    je_idoc_text = text;
}

bool je_doc_set_from_imut(yyjson_doc *doc) {
    if (!doc) {
        je_set_error("internal: null doc");
        return false;
    }
    yyjson_mut_doc *copy = yyjson_doc_mut_copy(doc, je_big_alc());
    if (!copy) {
        je_set_error("out of memory (deep copy)");
        return false;
    }
    je_doc_replace(copy);
    return true;
}

void je_doc_replace(yyjson_mut_doc *doc) {
    je_idoc_release();
    yyjson_mut_doc_free(je_doc);
    je_doc = doc;
    je_store_reset();
}

extern "C" JSONENGINE_API const char *json_last_error(void) { return je_err; }
