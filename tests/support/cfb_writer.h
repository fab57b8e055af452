#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/compound_file_header.h"

namespace deckwright::testing {

// A test-only writer of valid version 3 compound files, so that tests can make files of any
// size and shape and know exactly what every sector holds.
struct StreamSpec {
    std::string name;  // ASCII; stored as UTF-16LE
    std::vector<std::uint8_t> data;
};

struct CfbLayout {
    // FAT and DIFAT sectors before everything else (as many writers do), or after the streams.
    bool fat_first = true;
    // Free sectors filled with 0xFF appended at the end: they look like FAT sectors.
    std::uint32_t free_ff_sectors = 0;
};

// Streams of fewer than 4096 bytes go to the mini stream, the others to regular sectors.
// Files whose FAT needs more than 109 sectors get DIFAT sectors.
std::vector<std::uint8_t> WriteCompoundFile(const std::vector<StreamSpec>& streams,
                                            const CfbLayout& layout = {});

// The streams of a small presentation: "PowerPoint Document" of about document_bytes,
// "Current User", and the two property-set streams, with contents drawn from seed.
// The header of a whole file held in memory (at least 512 bytes).
inline CompoundFileHeader HeaderOf(const std::vector<std::uint8_t>& file) {
    return CompoundFileHeader::Parse(
        std::span<const std::uint8_t, SECTOR_SIZE>(file.data(), SECTOR_SIZE));
}

std::vector<StreamSpec> PresentationStreams(std::size_t document_bytes, std::uint32_t seed);

}  // namespace deckwright::testing
