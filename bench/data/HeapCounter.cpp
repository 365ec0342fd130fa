#include "HeapCounter.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstring>

// glibc's own entry points, which the definitions below forward to.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
void* __libc_memalign(std::size_t, std::size_t);
}

namespace {

std::atomic<std::size_t> g_inUse{0};
std::atomic<std::size_t> g_peak{0};
std::atomic<std::size_t> g_mark{0};

void added(void* p) {
    if (!p) {
        return;
    }
    const std::size_t now =
        g_inUse.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) + malloc_usable_size(p);
    std::size_t peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void removed(void* p) {
    if (p) {
        g_inUse.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
    }
}

} // namespace

extern "C" {

void* malloc(std::size_t n) {
    void* p = __libc_malloc(n);
    added(p);
    return p;
}

void* calloc(std::size_t n, std::size_t size) {
    void* p = __libc_calloc(n, size);
    added(p);
    return p;
}

void* realloc(void* old, std::size_t n) {
    const std::size_t before = old ? malloc_usable_size(old) : 0;
    void* p = __libc_realloc(old, n);
    if (p || n == 0) {
        g_inUse.fetch_sub(before, std::memory_order_relaxed);
        added(p);
    }
    return p;
}

void free(void* p) {
    removed(p);
    __libc_free(p);
}

void* memalign(std::size_t align, std::size_t n) {
    void* p = __libc_memalign(align, n);
    added(p);
    return p;
}

void* aligned_alloc(std::size_t align, std::size_t n) {
    return memalign(align, n);
}

int posix_memalign(void** out, std::size_t align, std::size_t n) {
    void* p = memalign(align, n);
    if (!p) {
        return ENOMEM;
    }
    *out = p;
    return 0;
}

void* valloc(std::size_t n) {
    return memalign(4096, n);
}

} // extern "C"

namespace bench::heap {

std::size_t inUse() {
    return g_inUse.load();
}

void mark() {
    g_mark = g_inUse.load();
    g_peak = g_inUse.load();
}

std::size_t peakSinceMark() {
    const std::size_t peak = g_peak.load();
    const std::size_t base = g_mark.load();
    return peak > base ? peak - base : 0;
}

} // namespace bench::heap
