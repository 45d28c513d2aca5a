// The counting replacements of the global allocation functions.
#include "tests/support/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>
#if defined(_WIN32)
#include <malloc.h>
#endif

namespace flanger::testing {
namespace {

thread_local int64_t threadCount = 0;
thread_local int64_t threadBytes = 0;
std::atomic<int64_t> allCount{0};
std::atomic<int64_t> allBytes{0};

void record(std::size_t size) noexcept {
    ++threadCount;
    threadBytes += static_cast<int64_t>(size);
    allCount.fetch_add(1, std::memory_order_relaxed);
    allBytes.fetch_add(static_cast<int64_t>(size), std::memory_order_relaxed);
}

void* allocate(std::size_t size) noexcept {
    record(size);
    return std::malloc(size == 0 ? 1 : size);
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
    record(size);
    const std::size_t align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
#if defined(_WIN32)
    // The Windows C runtime has no aligned_alloc; its aligned blocks need their own free.
    return _aligned_malloc(rounded == 0 ? align : rounded, align);
#else
    return std::aligned_alloc(align, rounded == 0 ? align : rounded);
#endif
}

void releaseAligned(void* p) noexcept {
#if defined(_WIN32)
    _aligned_free(p);
#else
    std::free(p);
#endif
}

}  // namespace

int64_t threadAllocations() {
    return threadCount;
}
int64_t threadAllocatedBytes() {
    return threadBytes;
}
int64_t totalAllocations() {
    return allCount.load(std::memory_order_relaxed);
}
int64_t totalAllocatedBytes() {
    return allBytes.load(std::memory_order_relaxed);
}

AllocationScope::AllocationScope() : startAllocations(threadCount), startBytes(threadBytes) {}
int64_t AllocationScope::allocations() const {
    return threadCount - startAllocations;
}
int64_t AllocationScope::bytes() const {
    return threadBytes - startBytes;
}

}  // namespace flanger::testing

using flanger::testing::allocate;
using flanger::testing::allocateAligned;
using flanger::testing::releaseAligned;

void* operator new(std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    if (void* p = allocateAligned(size, alignment)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    if (void* p = allocateAligned(size, alignment)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateAligned(size, alignment);
}

void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    releaseAligned(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    releaseAligned(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    releaseAligned(p);
}
