#include "MemoryProbe.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define PROBE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PROBE_ASAN 1
#endif
#endif

namespace {

std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};
std::atomic<std::size_t> g_base{0};

void* countedAlloc(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) {
        throw std::bad_alloc();
    }
    const std::size_t live = g_live.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
    std::size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return p;
}

void countedFree(void* p) noexcept {
    if (p) {
        g_live.fetch_sub(malloc_usable_size(p));
        std::free(p);
    }
}

} // namespace

void* operator new(std::size_t n) {
    return countedAlloc(n);
}
void* operator new[](std::size_t n) {
    return countedAlloc(n);
}
void operator delete(void* p) noexcept {
    countedFree(p);
}
void operator delete[](void* p) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    countedFree(p);
}

namespace probe {

void resetPeak() {
    g_base = g_live.load();
    g_peak = g_live.load();
}

std::size_t liveBytes() {
    return g_live.load();
}

std::size_t peakBytes() {
    const std::size_t peak = g_peak.load();
    const std::size_t base = g_base.load();
    return peak > base ? peak - base : 0;
}

AddressSpaceCap::AddressSpaceCap(std::size_t marginBytes) {
#ifndef PROBE_ASAN
    unsigned long long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%llu", &pages) != 1) {
            pages = 0;
        }
        std::fclose(f);
    }
    rlimit lim{};
    if (pages == 0 || getrlimit(RLIMIT_AS, &lim) != 0) {
        return;
    }
    const unsigned long long cap =
        pages * static_cast<unsigned long long>(sysconf(_SC_PAGESIZE)) + marginBytes;
    if (lim.rlim_max != RLIM_INFINITY && lim.rlim_max < cap) {
        return;
    }
    oldSoft_ = lim.rlim_cur;
    lim.rlim_cur = cap;
    active_ = setrlimit(RLIMIT_AS, &lim) == 0;
#else
    (void)marginBytes;
#endif
}

AddressSpaceCap::~AddressSpaceCap() {
    if (active_) {
        rlimit lim{};
        getrlimit(RLIMIT_AS, &lim);
        lim.rlim_cur = oldSoft_;
        setrlimit(RLIMIT_AS, &lim);
    }
}

} // namespace probe
