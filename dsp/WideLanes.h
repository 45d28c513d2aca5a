// Whether this processor takes the four-lane double-precision paths. Those paths make the same
// operations in the same order as the two-lane SSE2 ones (the target adds AVX2 only, no fused
// multiply-adds), so the choice changes the speed and never a byte of the output; it is made at
// run time, so the modules still run on any x86-64.
#pragma once

#if defined(__SSE2__) && defined(__x86_64__) && defined(__GNUC__) && !defined(FLANGER_NO_AVX2)
#define FLANGER_WIDE_LANES 1
#endif

namespace flanger::dsp {

#if defined(FLANGER_WIDE_LANES)
// Answered once, from the processor's own report.
bool haveWideLanes() noexcept;
#else
inline bool haveWideLanes() noexcept {
    return false;
}
#endif

}  // namespace flanger::dsp
