// The growable text builder: appends stop silently once a growth has failed,
// so assembling code checks the failed flag once at the end. Also the text
// store of the result tables.
#include <cstdio>
#include <cstring>

#include "je_internal.h"

void je_buf_init(je_buf *buf, size_t size) {
    buf->capacity = size > JE_BUF_MIN ? size : JE_BUF_MIN;
    buf->length = 0;
    buf->failed = false;
    buf->out = false;
    buf->text = static_cast<char *>(malloc(buf->capacity));
    if (!buf->text) {
        buf->failed = true;
        buf->capacity = 0;
        return;
    }
    buf->text[0] = '\0';
}

void je_buf_init_out(je_buf *buf) {
    const yyjson_alc *alc = je_out_begin();
    buf->length = 0;
    buf->failed = false;
    buf->out = true;
    buf->capacity = je_bigbuf.cap > JE_BUF_MIN ? je_bigbuf.cap : JE_BIGBUF_INITIAL;
    buf->text = static_cast<char *>(alc->malloc(alc->ctx, buf->capacity));
    if (!buf->text) {
        buf->failed = true;
        buf->capacity = 0;
        return;
    }
    buf->text[0] = '\0';
}

// Makes room for n more bytes and the NUL; false (and failed set) when the
// block cannot grow.
static bool je_buf_grow(je_buf *buf, size_t n) {
    size_t need = buf->length + n + 1;
    if (need < n) {  // size_t overflow: no block can hold this
        buf->failed = true;
        return false;
    }
    if (buf->capacity >= need) return true;
    size_t cap = buf->capacity ? buf->capacity : JE_BUF_MIN;
    if (buf->capacity || need > cap) {
        do {
            if (cap > SIZE_MAX / 2) {
                buf->failed = true;
                return false;
            }
            cap *= 2;
        } while (cap < need);
    }
    char *p;
    if (buf->out) {
        const yyjson_alc *alc = je_out_alc();
        p = static_cast<char *>(alc->realloc(alc->ctx, buf->text, buf->length + 1, cap));
    } else {
        p = static_cast<char *>(realloc(buf->text, cap));
    }
    if (!p) {
        buf->failed = true;
        return false;
    }
    buf->text = p;
    buf->capacity = cap;
    return true;
}

void je_buf_append(je_buf *buf, const void *src, size_t n) {
    if (buf->failed || !buf->text) return;
    if (!je_buf_grow(buf, n)) return;
    if (n) memcpy(buf->text + buf->length, src, n);
    buf->length += n;
    buf->text[buf->length] = '\0';
}

void je_buf_appendf(je_buf *buf, const char *fmt, ...) {
    if (buf->failed || !buf->text) return;
    va_list args, again;
    va_start(args, fmt);
    va_copy(again, args);
    int n = vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    if (n >= 0 && je_buf_grow(buf, static_cast<size_t>(n))) {
        vsnprintf(buf->text + buf->length, static_cast<size_t>(n) + 1, fmt, again);
        buf->length += static_cast<size_t>(n);
    }
    va_end(again);
}

void je_buf_free(je_buf *buf) {
    if (buf->out) {
        const yyjson_alc *alc = je_out_alc();
        alc->free(alc->ctx, buf->text);
        // A text still held here was not published: the call failed.
        if (buf->text) je_out_failed();
    } else {
        free(buf->text);
    }
    buf->text = nullptr;
    buf->length = 0;
    buf->capacity = 0;
}

// ---- result table texts ----

constexpr size_t JE_TEXTS_INITIAL = 4096;

size_t je_texts::add(const char *src, size_t len, size_t max) {
    if (len > max) len = max;
    if (const void *nul = memchr(src, '\0', len)) len = static_cast<size_t>(static_cast<const char *>(nul) - src);
    size_t need = length + len + 1;
    if (need > capacity) {
        size_t cap = capacity ? capacity : JE_TEXTS_INITIAL;
        while (cap < need) cap *= 2;
        char *grown = static_cast<char *>(je_big_realloc(block, capacity, cap));
        if (!grown) throw std::bad_alloc();
        block = grown;
        capacity = cap;
    }
    size_t offset = length;
    memcpy(block + offset, src, len);
    block[offset + len] = '\0';
    length = need;
    return offset;
}

size_t je_texts::add(const char *src, size_t max) { return add(src, strnlen(src, max), max); }
