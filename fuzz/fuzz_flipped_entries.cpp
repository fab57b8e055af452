// Setting back flipped FAT entries on arbitrary tables and chains: no crash, no hang, no
// sanitizer report, and a table given back holds every chain whole (judged here by a walk of
// its own): each chain its exact length and ending there, no sector in two chains or in none
// while in use, the marks in place, nothing past the end of the file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/compound_file_header.h"
#include "engine/flipped_entries.h"

namespace {

using namespace deckwright;

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint32_t Take(int bytes) {
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint32_t>(at_ < size_ ? data_[at_++] : 0) << (8 * i);
        return v;
    }
    bool More() const { return at_ < size_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

bool Holds(const FlipFacts& f, const std::vector<std::uint32_t>& t) {
    if (t.size() != f.entries.size()) return false;
    std::vector<bool> claimed(t.size(), false);
    for (const ChainSpec& c : f.chains) {
        std::uint32_t cur = c.start;
        for (std::uint32_t n = 1;; ++n) {
            if (cur >= f.limit || f.marks.count(cur) || claimed[cur]) return false;
            claimed[cur] = true;
            const std::uint32_t v = t[cur];
            if (v == kEndOfChain) {
                if (c.length != 0 && n != c.length) return false;
                break;
            }
            if (c.length != 0 && n == c.length) return false;
            cur = v;
        }
    }
    for (std::uint32_t k = 0; k < t.size(); ++k) {
        const auto m = f.marks.find(k);
        if (k >= f.limit) {
            if (t[k] != kFreeSect) return false;
        } else if (m != f.marks.end()) {
            if (t[k] != m->second) return false;
        } else if (!claimed[k] && t[k] != kFreeSect) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    FlipFacts f;
    f.entries.assign(kEntriesPerSector * (1 + in.Take(1) % 2), kFreeSect);
    const auto n = static_cast<std::uint32_t>(f.entries.size());
    f.limit = 1 + in.Take(2) % n;
    for (std::uint32_t marks = in.Take(1) % 4; marks > 0; --marks)
        f.marks[in.Take(2) % n] = in.Take(1) % 2 ? kFatSect : kDifSect;
    for (std::uint32_t chains = 1 + in.Take(1) % 6; chains > 0; --chains)
        f.chains.push_back({in.Take(2) % n, in.Take(1) % 40});
    // The rest are the entries, as written or as a few flipped bits of the chains laid in order.
    if (in.Take(1) % 2) {
        std::uint32_t next = 0;
        for (ChainSpec& c : f.chains) {
            c.start = next;
            const std::uint32_t length = c.length == 0 ? 1 : c.length;
            for (std::uint32_t i = 0; i < length && next < n; ++i, ++next)
                f.entries[next] = i + 1 < length ? next + 1 : kEndOfChain;
        }
        while (in.More()) {
            const std::uint32_t bit = in.Take(2);
            f.entries[(bit / 32) % n] ^= 1u << (bit % 32);
        }
    } else {
        for (std::uint32_t k = 0; k < n && in.More(); ++k) f.entries[k] = in.Take(4);
    }
    const auto mended = MendFlippedEntries(f);
    if (mended && !Holds(f, *mended)) __builtin_trap();
    return 0;
}
