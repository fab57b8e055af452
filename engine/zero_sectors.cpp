#include "engine/zero_sectors.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/compound_file_header.h"

namespace deckwright {
namespace {

bool AllZero(const std::uint8_t* p) {
    // Word by word: a sector of data gives itself away in its first bytes.
    for (std::size_t i = 0; i < SECTOR_SIZE; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, sizeof w);
        if (w != 0) return false;
    }
    return true;
}

}  // namespace

ZeroSectors::ZeroSectors(std::uint64_t length)
    : count_(length / SECTOR_SIZE == 0 ? 0 : length / SECTOR_SIZE - 1),
      zero_((count_ + 63) / 64, 0),
      seen_((count_ + 63) / 64, 0) {}

void ZeroSectors::Note(int, const FileChunk& c) {
    if (c.pos < SECTOR_SIZE) return;
    const std::uint64_t first = c.pos / SECTOR_SIZE - 1;
    for (std::size_t off = 0; off + SECTOR_SIZE <= c.got; off += SECTOR_SIZE) {
        const std::uint64_t k = first + off / SECTOR_SIZE;
        if (k >= count_) break;
        const std::uint64_t bit = std::uint64_t{1} << (k & 63);
        seen_[k >> 6] |= bit;
        if (AllZero(c.bytes.data() + off)) zero_[k >> 6] |= bit;
    }
}

void ZeroSectors::Discard() {
    std::fill(zero_.begin(), zero_.end(), std::uint64_t{0});
    std::fill(seen_.begin(), seen_.end(), std::uint64_t{0});
    complete_ = false;
}

std::uint64_t ZeroSectors::SkipData(std::uint64_t first, std::uint64_t last) const {
    if (!complete_) return std::min(first, last);
    // A word (64 sectors) at a time.
    for (std::uint64_t k = first; k < last;) {
        if (k >= count_) return k;
        const std::uint64_t w = k >> 6;
        const std::uint64_t to = std::min({last, count_, (w + 1) << 6});
        const std::uint64_t width = to - k;
        const std::uint64_t mask =
            (width == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << width) - 1) << (k & 63);
        if (const std::uint64_t other = (zero_[w] | ~seen_[w]) & mask)
            return (w << 6) + static_cast<std::uint64_t>(std::countr_zero(other));
        k = to;
    }
    return std::max(first, last);
}

}  // namespace deckwright
