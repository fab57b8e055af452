#include "tests/memory/counted_allocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Each block starts with its size and the counting round it was made in, so that freeing it
// takes back only what that round counted.
constexpr std::size_t kPrefix = 16;
static_assert(kPrefix % __STDCPP_DEFAULT_NEW_ALIGNMENT__ == 0);

std::atomic<std::uint64_t> g_round{0};  // odd while counting
std::atomic<std::size_t> g_big{SIZE_MAX};
std::atomic<std::uint64_t> g_allocated{0};
std::atomic<std::int64_t> g_live{0};
std::atomic<std::int64_t> g_peak{0};
std::atomic<std::int64_t> g_big_live{0};
std::atomic<std::int64_t> g_most_big{0};

void RaiseTo(std::atomic<std::int64_t>& most, std::int64_t now) {
    std::int64_t seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
    }
}

void* Allocate(std::size_t size) {
    auto* block = static_cast<std::uint64_t*>(std::malloc(size + kPrefix));
    if (!block) throw std::bad_alloc();
    const std::uint64_t round = g_round.load(std::memory_order_relaxed);
    block[0] = size;
    block[1] = round;
    if (round % 2 == 1) {
        g_allocated += size;
        RaiseTo(g_peak, g_live += static_cast<std::int64_t>(size));
        if (size >= g_big.load()) RaiseTo(g_most_big, ++g_big_live);
    }
    return reinterpret_cast<std::uint8_t*>(block) + kPrefix;
}

void Free(void* p) noexcept {
    if (!p) return;
    auto* block = reinterpret_cast<std::uint64_t*>(static_cast<std::uint8_t*>(p) - kPrefix);
    if (block[1] % 2 == 1 && block[1] == g_round.load(std::memory_order_relaxed)) {
        g_live -= static_cast<std::int64_t>(block[0]);
        if (block[0] >= g_big.load()) --g_big_live;
    }
    std::free(block);
}

}  // namespace

namespace deckwright::testing {

void StartCounting(std::size_t big) {
    g_allocated = 0;
    g_live = g_peak = g_big_live = g_most_big = 0;
    g_big = big;
    g_round += 1;
}

HeapFigures StopCounting() {
    g_round += 1;
    return {g_allocated.load(), static_cast<std::uint64_t>(g_peak.load()),
            static_cast<std::size_t>(g_most_big.load())};
}

}  // namespace deckwright::testing

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Free(p);
}
void operator delete[](void* p) noexcept {
    Free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Free(p);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    Free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    Free(p);
}
