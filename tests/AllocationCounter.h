#pragma once

#include <cstddef>

namespace kovra::test {

// Counts heap allocations made on this thread while alive, through the test
// binary's replacement of the global operator new.
class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    std::size_t count() const;

private:
    std::size_t start_;
    bool wasCounting_;
};

}  // namespace kovra::test
