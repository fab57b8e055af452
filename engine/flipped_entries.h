#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace deckwright {

// A chain a table must hold: from `start`, exactly `length` sectors, or (length 0, the
// directory's) until ENDOFCHAIN, and then at least `at_least`.
struct ChainSpec {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::uint32_t at_least = 0;
};

// Bits flipped in one entry that are still taken for a flip: a few random flips in one FAT
// sector do land on the same entry.
inline constexpr int kMaxFlipsPerEntry = 2;

// A FAT whose blocks all still read as a FAT's, with the marks the file's own lists require.
struct FlipFacts {
    std::vector<std::uint32_t> entries;            // a multiple of 128
    std::uint32_t limit = 0;                       // sectors the file holds
    std::map<std::uint32_t, std::uint32_t> marks;  // sector -> FATSECT or DIFSECT
    std::vector<ChainSpec> chains;
};

// Sets back entries that a flipped bit, or a stray value, has spoilt in an otherwise intact FAT:
// entries past the end of the file or of the marked FAT and DIFAT sectors take the one value
// their place allows; a successor that leads where no chain may go, or onto a sector another
// entry leads to, is set to a sector in use that only such entries reach and that differs from
// it in a bit or two (an entry that leads onto the sector after a spoilt one, which could have
// led there in the writer's order, is taken as one of them); a chain's last entry becomes
// ENDOFCHAIN where its length ends; an entry that nothing reaches and that cannot belong to a
// chain becomes free. The result is only given when every chain then has its exact length, no
// two share a sector, and every sector in use is reached; where more than one way of setting
// the entries back does that, or none does, nothing is given.
std::optional<std::vector<std::uint32_t>> MendFlippedEntries(const FlipFacts& facts);

}  // namespace deckwright
