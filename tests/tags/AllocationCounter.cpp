// Counts what operator new hands out in this test program, so that the tests
// can show that no size field makes a reader allocate beyond its caps.
#include <malloc.h>
#include <atomic>
#include <cstdlib>
#include <new>

#include "tags/TagTestSupport.h"

namespace {

std::atomic<std::size_t> largest{0};
std::atomic<std::size_t> live{0};
std::atomic<std::size_t> peak{0};
std::atomic<std::size_t> base{0};

void* Allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    std::size_t now = live += malloc_usable_size(p);
    for (std::size_t seen = largest; size > seen && !largest.compare_exchange_weak(seen, size);) {
    }
    for (std::size_t seen = peak; now > seen && !peak.compare_exchange_weak(seen, now);) {
    }
    return p;
}

void Release(void* p) {
    if (p != nullptr) {
        live -= malloc_usable_size(p);
        std::free(p);
    }
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Release(p);
}

namespace tagtest {

void ResetAllocationStats() {
    largest = 0;
    base = live.load();
    peak = live.load();
}

AllocationStats CurrentAllocationStats() {
    std::size_t p = peak.load();
    std::size_t b = base.load();
    return {largest.load(), p > b ? p - b : 0};
}

}  // namespace tagtest
