// Control of the allocation hook linked into the allocation-failure suite.
// The hook defines malloc, calloc, realloc, posix_memalign, free and the C++ allocation
// operators in the executable, so the engine, the C library and the shared
// yyjson library all allocate through it. While armed it counts
// allocations and makes chosen ones fail; it always keeps a count of live
// blocks for leak accounting.
#pragma once

#include <cstddef>
#include <functional>

enum class je_fail_mode {
    only,  // only the Nth allocation fails
    from,  // the Nth and every later allocation fail (memory exhausted)
};

// Arms the hook: allocations are counted from 1 and the Nth fails as the
// mode says. n == 0 counts without failing.
void je_alloc_arm(size_t n, je_fail_mode mode);
// Disarms the hook; returns whether an allocation was made to fail.
bool je_alloc_disarm();
// Allocations counted since the hook was last armed.
size_t je_alloc_seen();
// Blocks allocated through the hook and not yet freed.
long je_alloc_live();
// Calls fn once, from inside the next allocation of exactly `size` bytes
// (before the block is made); for tests that change the world at that
// moment. The hook is not re-entered for fn's own allocations' counting.
void je_alloc_on_size(size_t size, std::function<void()> fn);
