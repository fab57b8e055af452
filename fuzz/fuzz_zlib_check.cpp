// The inflating check of compressed storages on arbitrary bytes: no crash, no hang, no sanitizer
// report, and memory that stays fixed whatever size the input states.
#include <cstddef>
#include <cstdint>

#include "engine/zlib_check.h"

namespace {

class Input final : public deckwright::ByteSource {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    int Next() override { return at_ < size_ ? data_[at_++] : -1; }

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
