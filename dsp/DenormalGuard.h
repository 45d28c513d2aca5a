// Runs a scope with subnormal results flushed to zero and subnormal operands read as zero,
// restoring the caller's floating-point mode at the end. Hosts run their audio threads either
// way; with this the output never depends on it and never contains a subnormal number.
#pragma once

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace flanger::dsp {

class DenormalGuard {
public:
#if defined(__SSE__)
    DenormalGuard() noexcept : saved(_mm_getcsr()) {
        _mm_setcsr(saved | kFlushToZero | kDenormalsAreZero);
    }
    ~DenormalGuard() {
        _mm_setcsr(saved);
    }
#else
    DenormalGuard() noexcept {}
    ~DenormalGuard() {}
#endif
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
#if defined(__SSE__)
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    unsigned saved;
#endif
};

}  // namespace flanger::dsp
