#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>

namespace deckwright {

// Room for bytes the system reads into, page-aligned and not zeroed. The system copies into a
// buffer that starts off a cache line (as large allocations do, past the allocator's own
// header) at a quarter of the speed.
class PageBuffer {
  public:
    static constexpr std::size_t kAlignment = 4096;

    PageBuffer() = default;
    explicit PageBuffer(std::size_t size)
        : bytes_(static_cast<std::uint8_t*>(::operator new[](size, std::align_val_t{kAlignment}))),
          size_(size) {}

    std::uint8_t* data() { return bytes_.get(); }
    const std::uint8_t* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    std::span<std::uint8_t> span() { return {bytes_.get(), size_}; }

  private:
    struct Free {
        void operator()(std::uint8_t* p) const {
            ::operator delete[](p, std::align_val_t{kAlignment});
        }
    };
    std::unique_ptr<std::uint8_t[], Free> bytes_;
    std::size_t size_ = 0;
};

}  // namespace deckwright
