// Memory the validator hands to a plug-in: every block ends exactly at an inaccessible page,
// so a write (or read) one byte past the end faults at once instead of corrupting the host.
// The Windows build has no guard pages: its blocks are ordinary memory (PlainMemory.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flanger::tools {

// One mapping: `size` usable bytes that end at a PROT_NONE guard page. Not copyable.
class GuardedBlock {
public:
    explicit GuardedBlock(size_t size, unsigned char fill = 0);
    ~GuardedBlock();
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;
    GuardedBlock(GuardedBlock&& other) noexcept;
    GuardedBlock& operator=(GuardedBlock&&) = delete;

    unsigned char* data() noexcept { return start; }
    const unsigned char* data() const noexcept { return start; }
    size_t size() const noexcept { return length; }
    void fill(unsigned char value) noexcept;

private:
    unsigned char* mapping = nullptr;
    size_t mappingSize = 0;
    unsigned char* start = nullptr;
    size_t length = 0;
};

// True when the address lies in a guard page of a live GuardedBlock. Async-signal-safe: the
// crash handler uses it to say "past the end of a buffer the validator handed over".
bool isGuardAddress(uintptr_t address) noexcept;

// Channel buffers for the process entries. Each channel and the pointer array itself end at a
// guard page; a call of n frames is handed the last n samples of each channel, so the guard
// sits right behind sample n - 1 whatever n is.
class GuardedChannels {
public:
    GuardedChannels(int32_t channels, int32_t capacityFrames);

    int32_t channels() const noexcept { return count; }
    int32_t capacity() const noexcept { return capacityFrames; }
    // The pointer array for a call of `frames` frames (frames <= capacity).
    float** pointers(int32_t frames) noexcept;
    // Channel c as the plug-in sees it in a call of `frames` frames.
    float* channel(int32_t c, int32_t frames) noexcept;
    void fill(int32_t frames, float value) noexcept;

private:
    int32_t count;
    int32_t capacityFrames;
    std::vector<GuardedBlock> samples;
    GuardedBlock table;
};

}  // namespace flanger::tools
