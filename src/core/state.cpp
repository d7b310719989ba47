// Engine state: the document slot, the error slot, the shared output buffer,
// and json_last_error.
#include <cstdio>
#include <cstring>

#include "je_internal.h"

char je_err[JE_ERR_SIZE];
const char je_empty[] = "";
je_bigbuf_t je_bigbuf = {nullptr, 0};
yyjson_mut_doc *je_doc = nullptr;

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
    char *p = static_cast<char *>(realloc(je_bigbuf.ptr, cap));
    if (!p) {
        je_set_error("out of memory");
        return nullptr;
    }
    je_bigbuf.ptr = p;
    je_bigbuf.cap = cap;
    return p;
}

char *je_bigbuf_ptr() { return (je_bigbuf.ptr && je_bigbuf.ptr[0]) ? je_bigbuf.ptr : nullptr; }

bool je_fill_big(const char *text) {
    if (!text) return false;
    size_t len = strlen(text);
    char *buf = je_bigbuf_get(len + 1);
    if (!buf) return false;
    memcpy(buf, text, len + 1);
    return true;
}

const char *je_publish(char *text, size_t len) {
    je_free_guard g(text);
    if (!text) return je_empty;
    char *buf = je_bigbuf_get(len + 1);
    if (!buf) return je_empty;
    memcpy(buf, text, len);
    buf[len] = '\0';
    return buf;
}

bool je_doc_ensure() { return je_doc && yyjson_mut_doc_get_root(je_doc); }

yyjson_mut_doc *je_doc_mut() { return je_doc; }

bool je_doc_set_from_imut(yyjson_doc *doc) {
    if (!doc) {
        je_set_error("internal: null doc");
        return false;
    }
    yyjson_mut_doc *copy = yyjson_doc_mut_copy(doc, nullptr);
    if (!copy) {
        je_set_error("out of memory (deep copy)");
        return false;
    }
    je_doc_replace(copy);
    return true;
}

void je_doc_replace(yyjson_mut_doc *doc) {
    yyjson_mut_doc_free(je_doc);
    je_doc = doc;
    je_store_reset();
}

extern "C" JSONENGINE_API const char *json_last_error(void) { return je_err; }
