// Guarded mappings and the registry of their guard pages for the crash handler (Linux).
#include "tools/validate/GuardedMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <new>

namespace flanger::tools {

namespace {

size_t pageSize() noexcept {
    static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

// Guard page start addresses; 0 marks a free slot. Writers: block construction and destruction
// (any validator thread); reader: the crash handler. A full registry only loses the diagnosis.
constexpr size_t kRegistrySize = 4096;
std::array<std::atomic<uintptr_t>, kRegistrySize> guardPages{};

void registerGuard(uintptr_t page) noexcept {
    for (auto& slot : guardPages) {
        uintptr_t expected = 0;
        if (slot.compare_exchange_strong(expected, page, std::memory_order_relaxed)) return;
    }
}

void unregisterGuard(uintptr_t page) noexcept {
    for (auto& slot : guardPages) {
        uintptr_t expected = page;
        if (slot.compare_exchange_strong(expected, 0, std::memory_order_relaxed)) return;
    }
}

}  // namespace

bool isGuardAddress(uintptr_t address) noexcept {
    const uintptr_t page = address & ~(static_cast<uintptr_t>(pageSize()) - 1);
    if (page == 0) return false;  // free slots hold 0; a null-pointer fault is no guard hit
    for (const auto& slot : guardPages) {
        if (slot.load(std::memory_order_relaxed) == page) return true;
    }
    return false;
}

GuardedBlock::GuardedBlock(size_t size, unsigned char fillValue) : length(size) {
    const size_t page = pageSize();
    const size_t usablePages = (size + page - 1) / page;
    mappingSize = (usablePages + 1) * page;
    void* mapped = mmap(nullptr, mappingSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    mapping = static_cast<unsigned char*>(mapped);
    unsigned char* guard = mapping + usablePages * page;
    if (mprotect(guard, page, PROT_NONE) != 0) {
        munmap(mapping, mappingSize);
        throw std::bad_alloc();
    }
    registerGuard(reinterpret_cast<uintptr_t>(guard));
    start = guard - size;
    fill(fillValue);
}

GuardedBlock::~GuardedBlock() {
    if (mapping == nullptr) return;
    unregisterGuard(reinterpret_cast<uintptr_t>(mapping + mappingSize - pageSize()));
    munmap(mapping, mappingSize);
}

}  // namespace flanger::tools
