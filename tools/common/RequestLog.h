// The record of every request a plug-in makes of the test host. Appending never allocates,
// locks or waits, so a plug-in may call back from its processing entries (audioMasterGetTime).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace flanger::tools {

// One callback as the plug-in made it. The pointer argument is not kept: it is only
// valid during the call.
struct HostRequest {
    int32_t opcode = 0;
    int32_t index = 0;
    intptr_t value = 0;
    float opt = 0.0f;
    bool hadPointer = false;
    bool nullEffect = false;  // the plug-in passed no effect record (as in its version query)
};

// A fixed-capacity append-only log plus a counter per opcode. Any number of threads may
// append at once: a slot is claimed with fetch_add and published with a release store of its
// ready flag, so readers never see a half-written entry. Counters keep counting once the log
// is full. clear() must not race with appends (call it while the plug-in is idle).
class RequestLog {
public:
    static constexpr size_t kCapacity = 1 << 14;
    static constexpr int32_t kCountedOpcodes = 64;  // opcodes at or above this share one counter

    RequestLog();

    void append(const HostRequest& request) noexcept;
    void clear() noexcept;

    // Entries published so far, in the order their slots were claimed.
    std::vector<HostRequest> snapshot() const;
    // Published entries with this opcode.
    std::vector<HostRequest> withOpcode(int32_t opcode) const;
    // How often the opcode was requested since the last clear (exact, even when the log is full).
    int64_t count(int32_t opcode) const noexcept;
    int64_t total() const noexcept;
    int64_t dropped() const noexcept;

private:
    struct Slot {
        HostRequest request;
        std::atomic<bool> ready{false};  // writer: the appending thread; reader: snapshot()
    };
    std::unique_ptr<Slot[]> slots;  // sized once at construction, never reallocated
    std::atomic<size_t> next{0};    // writer: appenders (claim); reader: snapshot(), clear()
    std::array<std::atomic<int64_t>, kCountedOpcodes + 1> counts{};  // writer: appenders; reader: tests
    std::atomic<int64_t> droppedCount{0};  // writer: appenders once full; reader: tests
};

}  // namespace flanger::tools
