// Counts heap allocations, for tests that prove a code path never allocates. Linking
// flanger_test_support replaces the global operator new and delete (every form) of the test
// binary with counting versions that forward to malloc and free.
//
// Use:
//     flanger::testing::AllocationScope scope;   // starts counting on this thread
//     engine.processHost(in, out, 512, 0);
//     EXPECT_EQ(scope.allocations(), 0);      // operator new calls on this thread since then
//
// Counts are per thread (a scope sees only its own thread's allocations) plus process-wide
// totals. Scopes may nest; each reports what happened since it began.
#pragma once

#include <cstddef>
#include <cstdint>

namespace flanger::testing {

// Allocations (operator new calls) and bytes asked for, on the calling thread, since it started.
int64_t threadAllocations();
int64_t threadAllocatedBytes();
// The same over all threads.
int64_t totalAllocations();
int64_t totalAllocatedBytes();

class AllocationScope {
public:
    AllocationScope();
    AllocationScope(const AllocationScope&) = delete;
    AllocationScope& operator=(const AllocationScope&) = delete;

    // Since construction, on the constructing thread.
    int64_t allocations() const;
    int64_t bytes() const;

private:
    int64_t startAllocations;
    int64_t startBytes;
};

}  // namespace flanger::testing
