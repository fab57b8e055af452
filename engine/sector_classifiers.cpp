#include "engine/sector_classifiers.h"

#include <bit>
#include <cstring>

#include "engine/little_endian.h"

namespace deckwright {
namespace {

constexpr std::size_t kDirEntrySize = 128;
constexpr std::size_t kNameLengthOffset = 64;
constexpr std::size_t kObjectTypeOffset = 66;
constexpr std::size_t kColorFlagOffset = 67;
constexpr std::uint32_t kFatMarksNeeded = 55;
constexpr int kDirectoryMarksNeeded = 8;

// The signed 32-bit sum wraps as a two's-complement machine would; unsigned arithmetic gives
// the same bits without undefined behaviour.
std::int32_t BlockFromSum(std::uint32_t sum) {
    const auto signed_sum = static_cast<std::int32_t>(sum);
    return signed_sum / 128 / 128;  // C++ division truncates toward zero
}

std::uint32_t LoadEntry(const std::uint8_t* sector, std::uint32_t i) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t v;
        std::memcpy(&v, sector + 4 * i, sizeof v);
        return v;
    } else {
        return ReadLE32(sector + 4 * i);
    }
}

// Marks of entries [first, last): each entry that the next one continues (in 32-bit
// wrap-around) or that holds a special value. Written so the compiler can vectorise it.
template <std::uint32_t first, std::uint32_t last>
std::uint32_t CountRunMarks(const std::uint8_t* sector) {
    std::uint32_t marks = 0;
    for (std::uint32_t i = first; i < last; ++i) {
        const std::uint32_t entry = LoadEntry(sector, i), next = LoadEntry(sector, i + 1);
        marks += static_cast<std::uint32_t>(entry + 1u == next) |
                 static_cast<std::uint32_t>(entry >= kDifSect);
    }
    return marks;
}

}  // namespace

bool LooksLikeFatSector(Sector sector) {
    // Entries 0 to 79 first: with fewer than 7 marks there, the 48 entries left cannot make 55,
    // which settles a sector of stream data early. The test runs on every sector of a file.
    constexpr std::uint32_t kFirstPart = 80;
    const std::uint32_t early = CountRunMarks<0, kFirstPart>(sector.data());
    constexpr std::uint32_t kLeft = kEntriesPerSector - kFirstPart;
    if (early + kLeft < kFatMarksNeeded) return false;
    const std::uint32_t last = LoadEntry(sector.data(), kEntriesPerSector - 1);
    // Entry 127 has no following entry inside the sector: only a special value marks it.
    const std::uint32_t marks = early +
                                CountRunMarks<kFirstPart, kEntriesPerSector - 1>(sector.data()) +
                                (last >= kDifSect);
    return marks >= kFatMarksNeeded;
}

namespace {

template <typename Entry>
bool HoldsZeroRun(std::uint32_t n, Entry entry) {
    constexpr std::uint32_t kWipedRun = 4;
    std::uint32_t run = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        run = entry(i) == 0 ? run + 1 : 0;
        if (run == kWipedRun) return true;
    }
    return false;
}

}  // namespace

bool HoldsWipedEntries(Sector sector) {
    return HoldsZeroRun(kEntriesPerSector,
                        [&](std::uint32_t i) { return LoadEntry(sector.data(), i); });
}

bool HoldsWipedEntries(std::span<const std::uint32_t> entries) {
    return HoldsZeroRun(static_cast<std::uint32_t>(entries.size()),
                        [&](std::uint32_t i) { return entries[i]; });
}

std::int32_t FatBlockIndex(Sector sector, std::int32_t block) {
    const std::uint32_t block_base = static_cast<std::uint32_t>(block) * kEntriesPerSector;
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < kEntriesPerSector; ++i) {
        const std::uint32_t entry = ReadLE32(sector.data() + 4 * i);
        sum += entry < SECTOR_SIZE ? entry : block_base + i;
    }
    return BlockFromSum(sum);
}

FatSectorSummary SummarizeFatSector(Sector sector) {
    std::uint32_t low_sum = 0, high_count = 0, high_position_sum = 0;
    for (std::uint32_t i = 0; i < kEntriesPerSector; ++i) {
        const std::uint32_t entry = ReadLE32(sector.data() + 4 * i);
        if (entry < SECTOR_SIZE) {
            low_sum += entry;
        } else {
            ++high_count;
            high_position_sum += i;
        }
    }
    FatSectorSummary s;
    s.low_sum = static_cast<std::uint16_t>(low_sum);
    s.high_count = static_cast<std::uint8_t>(high_count);
    s.high_position_sum = static_cast<std::uint16_t>(high_position_sum);
    return s;
}

std::int32_t FatBlockIndex(const FatSectorSummary& summary, std::int32_t block) {
    const std::uint32_t sum =
        summary.low_sum +
        static_cast<std::uint32_t>(block) * kEntriesPerSector * summary.high_count +
        summary.high_position_sum;
    return BlockFromSum(sum);
}

int CountNameUnits(Sector sector, std::size_t entry_offset) {
    int units = 0;
    for (std::size_t pos = entry_offset; pos < SECTOR_SIZE; pos += 2) {
        if (sector[pos] == 0) break;
        ++units;
    }
    return units;
}

bool LooksLikeDirectorySector(Sector sector) {
    int marks = 0;
    for (std::size_t entry = 0; entry < SECTOR_SIZE; entry += kDirEntrySize) {
        const std::uint16_t name_length = ReadLE16(sector.data() + entry + kNameLengthOffset);
        // A length of 0 or 1 gives -1, which no count equals.
        const int expected_units = (name_length >> 1) - 1;
        marks += CountNameUnits(sector, entry) == expected_units;
        marks += sector[entry + kObjectTypeOffset] <= 5;
        marks += sector[entry + kColorFlagOffset] <= 1;
    }
    return marks >= kDirectoryMarksNeeded;
}

}  // namespace deckwright
