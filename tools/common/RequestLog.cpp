// Lock-free request log of the test host.
#include "tools/common/RequestLog.h"

#include <algorithm>

namespace flanger::tools {

namespace {
size_t counterIndex(int32_t opcode) {
    if (opcode < 0 || opcode >= RequestLog::kCountedOpcodes) return RequestLog::kCountedOpcodes;
    return static_cast<size_t>(opcode);
}
}  // namespace

RequestLog::RequestLog() : slots(new Slot[kCapacity]) {}

void RequestLog::append(const HostRequest& request) noexcept {
    counts[counterIndex(request.opcode)].fetch_add(1, std::memory_order_relaxed);
    const size_t slot = next.fetch_add(1, std::memory_order_relaxed);
    if (slot >= kCapacity) {
        droppedCount.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    slots[slot].request = request;
    // Release: the entry's fields become visible before its ready flag.
    slots[slot].ready.store(true, std::memory_order_release);
}

void RequestLog::clear() noexcept {
    const size_t used = std::min(next.load(std::memory_order_relaxed), kCapacity);
    for (size_t i = 0; i < used; ++i) slots[i].ready.store(false, std::memory_order_relaxed);
    for (auto& c : counts) c.store(0, std::memory_order_relaxed);
    droppedCount.store(0, std::memory_order_relaxed);
    next.store(0, std::memory_order_release);
}

std::vector<HostRequest> RequestLog::snapshot() const {
    std::vector<HostRequest> out;
    const size_t used = std::min(next.load(std::memory_order_acquire), kCapacity);
    out.reserve(used);
    for (size_t i = 0; i < used; ++i) {
        if (slots[i].ready.load(std::memory_order_acquire)) out.push_back(slots[i].request);
    }
    return out;
}

std::vector<HostRequest> RequestLog::withOpcode(int32_t opcode) const {
    std::vector<HostRequest> out;
    for (const HostRequest& r : snapshot()) {
        if (r.opcode == opcode) out.push_back(r);
    }
    return out;
}

int64_t RequestLog::count(int32_t opcode) const noexcept {
    if (opcode < 0 || opcode >= kCountedOpcodes) {
        // Rare opcodes share a counter; answer exactly from the log instead.
        int64_t n = 0;
        const size_t used = std::min(next.load(std::memory_order_acquire), kCapacity);
        for (size_t i = 0; i < used; ++i) {
            if (slots[i].ready.load(std::memory_order_acquire) && slots[i].request.opcode == opcode) ++n;
        }
        return n;
    }
    return counts[static_cast<size_t>(opcode)].load(std::memory_order_relaxed);
}

int64_t RequestLog::total() const noexcept {
    int64_t n = 0;
    for (const auto& c : counts) n += c.load(std::memory_order_relaxed);
    return n;
}

int64_t RequestLog::dropped() const noexcept {
    return droppedCount.load(std::memory_order_relaxed);
}

}  // namespace flanger::tools
