// The allocation hook: malloc, calloc, realloc, posix_memalign and free
// defined in the executable interpose the C library's for every object of
// the process (yyjson is a shared library calling malloc through its PLT,
// and the C library's own internal allocations go through the same
// symbols). Each forwards to the next definition in lookup order, found
// with dlsym(RTLD_NEXT): the C library's allocator in a normal build, the
// sanitizer's allocator in a sanitizer build, which then still tracks
// every block for overflows and leaks. The C++ operators are replaced too,
// so container growth fails the same way (and, under the sanitizer, is
// seen as malloc/free pairs).
#include "alloc_hook.h"

#include <dlfcn.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

using malloc_fn = void *(*)(size_t);
using calloc_fn = void *(*)(size_t, size_t);
using realloc_fn = void *(*)(void *, size_t);
using free_fn = void (*)(void *);
using memalign_fn = int (*)(void **, size_t, size_t);

malloc_fn real_malloc = nullptr;
calloc_fn real_calloc = nullptr;
realloc_fn real_realloc = nullptr;
free_fn real_free = nullptr;
memalign_fn real_posix_memalign = nullptr;

// dlsym allocates (its error buffer) before the real functions are known;
// those few early blocks come from here and are never released.
alignas(16) unsigned char bootstrap[8192];
size_t bootstrap_used = 0;
bool resolving = false;

bool armed = false;
size_t fail_at = 0;
je_fail_mode fail_mode = je_fail_mode::only;
size_t seen = 0;
bool failed_one = false;
long live = 0;

size_t trigger_size = 0;
std::function<void()> *trigger = nullptr;

bool from_bootstrap(void *p) {
    auto *b = static_cast<unsigned char *>(p);
    return b >= bootstrap && b < bootstrap + sizeof bootstrap;
}

void *bootstrap_alloc(size_t n) {
    size_t at = (bootstrap_used + 15) & ~size_t{15};
    if (at + n > sizeof bootstrap) return nullptr;
    bootstrap_used = at + n;
    return bootstrap + at;
}

void resolve() {
    if (real_free || resolving) return;
    resolving = true;
    real_malloc = reinterpret_cast<malloc_fn>(dlsym(RTLD_NEXT, "malloc"));
    real_calloc = reinterpret_cast<calloc_fn>(dlsym(RTLD_NEXT, "calloc"));
    real_realloc = reinterpret_cast<realloc_fn>(dlsym(RTLD_NEXT, "realloc"));
    real_free = reinterpret_cast<free_fn>(dlsym(RTLD_NEXT, "free"));
    real_posix_memalign = reinterpret_cast<memalign_fn>(dlsym(RTLD_NEXT, "posix_memalign"));
    resolving = false;
}

// Whether this allocation is the one (or one of those) to fail.
bool should_fail(size_t size) {
    if (trigger && size == trigger_size) {
        std::function<void()> *fn = trigger;
        trigger = nullptr;
        bool was_armed = armed;
        armed = false;
        (*fn)();
        delete fn;
        armed = was_armed;
    }
    if (!armed) return false;
    ++seen;
    if (fail_at == 0) return false;
    bool fail = fail_mode == je_fail_mode::only ? seen == fail_at : seen >= fail_at;
    if (fail) failed_one = true;
    return fail;
}

}  // namespace

extern "C" {

void *malloc(size_t n) {
    resolve();
    if (!real_malloc) return bootstrap_alloc(n);
    if (should_fail(n)) return nullptr;
    void *p = real_malloc(n);
    if (p) ++live;
    return p;
}

void *calloc(size_t count, size_t size) {
    resolve();
    if (!real_calloc) {
        if (size && count > SIZE_MAX / size) return nullptr;
        return bootstrap_alloc(count * size);  // static storage is zeroed
    }
    if (should_fail(count * size)) return nullptr;
    void *p = real_calloc(count, size);
    if (p) ++live;
    return p;
}

void *realloc(void *old, size_t n) {
    resolve();
    if (from_bootstrap(old)) {
        void *p = malloc(n);
        size_t room = static_cast<size_t>(bootstrap + sizeof bootstrap - static_cast<unsigned char *>(old));
        if (p) memcpy(p, old, n < room ? n : room);
        return p;
    }
    if (!real_realloc) return nullptr;
    if (should_fail(n)) return nullptr;
    void *p = real_realloc(old, n);
    if (!old && p) ++live;
    if (old && !p && n == 0) --live;
    return p;
}

// The engine's large blocks are aligned ones.
int posix_memalign(void **out, size_t alignment, size_t n) {
    resolve();
    if (!real_posix_memalign) return ENOMEM;
    if (should_fail(n)) return ENOMEM;
    int rc = real_posix_memalign(out, alignment, n);
    if (rc == 0) ++live;
    return rc;
}

void free(void *p) {
    if (!p || from_bootstrap(p)) return;
    resolve();
    --live;
    real_free(p);
}

}  // extern "C"

void *operator new(size_t n) {
    void *p = malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void *operator new[](size_t n) { return operator new(n); }
void *operator new(size_t n, const std::nothrow_t &) noexcept { return malloc(n ? n : 1); }
void *operator new[](size_t n, const std::nothrow_t &) noexcept { return malloc(n ? n : 1); }
void operator delete(void *p) noexcept { free(p); }
void operator delete[](void *p) noexcept { free(p); }
void operator delete(void *p, size_t) noexcept { free(p); }
void operator delete[](void *p, size_t) noexcept { free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { free(p); }

void je_alloc_arm(size_t n, je_fail_mode mode) {
    seen = 0;
    failed_one = false;
    fail_at = n;
    fail_mode = mode;
    armed = true;
}

bool je_alloc_disarm() {
    armed = false;
    fail_at = 0;
    return failed_one;
}

size_t je_alloc_seen() { return seen; }

long je_alloc_live() { return live; }

void je_alloc_on_size(size_t size, std::function<void()> fn) {
    bool was_armed = armed;
    armed = false;
    delete trigger;
    trigger = new std::function<void()>(std::move(fn));
    trigger_size = size;
    armed = was_armed;
}
