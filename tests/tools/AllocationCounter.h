// Counts heap allocations made on the current thread while an AllocationCounter is alive
// (the test binary replaces the global operator new).
#pragma once

namespace flanger::tools {

class AllocationCounter {
public:
    AllocationCounter() noexcept;
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;
    int count() const noexcept;
};

}  // namespace flanger::tools
