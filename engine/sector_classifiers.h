#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/compound_file_header.h"

namespace deckwright {

// Judgements about one 512-byte sector, used where a header pointer cannot be trusted and the
// sector it should name must be found by its content. Pure functions: no state, no I/O.

// True when more than 54 of the 128 entries either continue a run (entry + 1 == next entry,
// in 32-bit wrap-around) or hold one of the four special sector numbers. Entry 127 has no
// next entry inside the sector, so only a special value marks it. Mini FAT sectors pass too.
bool LooksLikeFatSector(Sector sector);

// True when at least four entries in a row are zero: only one entry of a FAT can lead to
// sector 0, so such a run in a FAT sector is what a wipe of part of it leaves.
bool HoldsWipedEntries(Sector sector);
// The same of a block of FAT entries already read.
bool HoldsWipedEntries(std::span<const std::uint32_t> entries);

// Which block of 128 sectors a FAT sector describes, tested against `block`: entries below 512
// count at their value, every other entry i counts as block * 128 + i; the signed 32-bit sum
// (wrapping) divided by 128 twice, truncating toward zero.
std::int32_t FatBlockIndex(Sector sector, std::int32_t block);

// True when the four 128-byte records earn more than 7 of 12 marks: name count matching the
// name length field, object type 5 or less, colour 0 or 1.
bool LooksLikeDirectorySector(Sector sector);

// Number of 16-bit units from entry_offset before the first unit whose low byte is zero. The
// walk may run past the name field and into later entries; when it reaches the end of the
// sector without such a unit, the number of units walked is returned.
int CountNameUnits(Sector sector, std::size_t entry_offset);

// What FatBlockIndex needs of a sector, whatever block is asked for: the sum of entries below
// 512, how many entries are 512 or more, and the sum of those entries' positions. Keeping this
// instead of the sector lets one pass over a file answer every block question afterwards.
struct FatSectorSummary {
    std::uint16_t low_sum = 0;            // at most 128 * 511
    std::uint16_t high_position_sum = 0;  // at most 0 + 1 + ... + 127
    std::uint8_t high_count = 0;          // at most 128
};

FatSectorSummary SummarizeFatSector(Sector sector);
// Equal to FatBlockIndex(sector, block) for the summarised sector, for every block.
std::int32_t FatBlockIndex(const FatSectorSummary& summary, std::int32_t block);

}  // namespace deckwright
