// The memory tests count what the code under test allocates by replacing the global operator
// new (counted_allocations.cpp). A test program of its own, so that the others keep the
// sanitizers' operators.
#pragma once

#include <cstddef>
#include <cstdint>

namespace deckwright::testing {

struct HeapFigures {
    std::uint64_t allocated = 0;  // bytes, in all
    std::uint64_t peak_live = 0;  // the most bytes held at once (of those allocated meanwhile)
    std::size_t most_big_live = 0;  // the most allocations of at least `big` bytes held at once
};

void StartCounting(std::size_t big);
HeapFigures StopCounting();

// What `f` allocates while it runs; allocations of at least `big` bytes are counted apart.
template <typename F>
HeapFigures HeapUsedBy(std::size_t big, F&& f) {
    StartCounting(big);
    f();
    return StopCounting();
}

// Bytes allocated, in all, while f runs.
template <typename F>
std::uint64_t AllocatedBy(F&& f) {
    return HeapUsedBy(SIZE_MAX, f).allocated;
}

}  // namespace deckwright::testing
