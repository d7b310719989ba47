// Large blocks: loaded texts, the reader's value arrays, the storage of
// mutable documents and the shared output buffer. On Linux those from
// JE_BIG_BLOCK_MIN on are placed on 2 MiB boundaries and marked for
// transparent huge pages, so that a document costs a few page faults
// instead of one per 4 KiB: on virtual machines a fault costs
// microseconds, and the faults of a loaded document of a few hundred
// kilobytes cost more than reading it. A block then holds up to 2 MiB
// more than asked for; where the system grants no huge pages, the excess
// is never touched and costs no memory.
#include <cstring>

#include "je_internal.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__linux__) && defined(MADV_HUGEPAGE)
constexpr size_t JE_HUGE_PAGE = size_t{2} << 20;

static size_t je_huge_round(size_t n) { return (n + JE_HUGE_PAGE - 1) & ~(JE_HUGE_PAGE - 1); }

void *je_big_alloc(size_t n) {
    if (n < JE_BIG_BLOCK_MIN || n > SIZE_MAX - JE_HUGE_PAGE) return malloc(n);
    size_t cap = je_huge_round(n);
    void *p = nullptr;
    if (posix_memalign(&p, JE_HUGE_PAGE, cap) != 0) return nullptr;
    madvise(p, cap, MADV_HUGEPAGE);
    return p;
}

void *je_big_realloc(void *p, size_t old_size, size_t n) {
    if (!p) return je_big_alloc(n);
    bool was_big = old_size >= JE_BIG_BLOCK_MIN, big = n >= JE_BIG_BLOCK_MIN;
    if (!was_big && !big) return realloc(p, n);
    if (was_big && big && n <= SIZE_MAX - JE_HUGE_PAGE && je_huge_round(n) == je_huge_round(old_size)) return p;
    void *q = je_big_alloc(n);
    if (!q) return nullptr;
    memcpy(q, p, old_size < n ? old_size : n);
    free(p);
    return q;
}
#else
void *je_big_alloc(size_t n) { return malloc(n); }
void *je_big_realloc(void *p, size_t, size_t n) { return realloc(p, n); }
#endif

static void *je_big_alc_malloc(void *, size_t n) { return je_big_alloc(n); }
static void *je_big_alc_realloc(void *, void *p, size_t old_size, size_t n) { return je_big_realloc(p, old_size, n); }
static void je_big_alc_free(void *, void *p) { free(p); }

const yyjson_alc *je_big_alc() {
    static const yyjson_alc alc = {je_big_alc_malloc, je_big_alc_realloc, je_big_alc_free, nullptr};
    return &alc;
}
