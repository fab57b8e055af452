// The inflating check of compressed storages on arbitrary bytes: no crash, no hang, no sanitizer
// report, and memory that stays fixed whatever size the input states.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/zlib_check.h"

namespace {

class Input final : public deckwright::ByteSource {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    // Pieces of 1 to 64 bytes, so that the input's edges fall anywhere.
    std::span<const std::uint8_t> Next() override {
        const std::size_t n = std::min<std::size_t>(at_ % 64 + 1, size_ - at_);
        const std::span<const std::uint8_t> piece(data_ + at_, n);
        at_ += n;
        return piece;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    // The stated size, as a storage states it; kept small so that a run stays quick.
    const std::uint32_t stated =
        (data[0] | (data[1] << 8) | (static_cast<std::uint32_t>(data[2]) << 16)) & 0xFFFFF;
    Input input(data + 4, size - 4);
    (void)deckwright::CheckZlibStream(input, stated);
    return 0;
}
