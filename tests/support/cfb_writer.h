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
    // Free sectors of zeros before everything else: room an earlier save left.
    std::uint32_t free_zero_sectors_first = 0;
};

// Streams of fewer than 4096 bytes go to the mini stream, the others to regular sectors.
// Files whose FAT needs more than 109 sectors get DIFAT sectors.
std::vector<std::uint8_t> WriteCompoundFile(const std::vector<StreamSpec>& streams,
                                            const CfbLayout& layout = {});

// The header of a whole file held in memory (at least 512 bytes).
inline CompoundFileHeader HeaderOf(const std::vector<std::uint8_t>& file) {
    return CompoundFileHeader::Parse(
        std::span<const std::uint8_t, SECTOR_SIZE>(file.data(), SECTOR_SIZE));
}

// The streams of a small presentation whose records walk: "PowerPoint Document" of
// document_bytes (at least 68) holding a document container, its persist directory and the user
// edit, "Current User" naming that edit, and the two property-set streams; the document's
// bytes and the property sets are drawn from seed.
std::vector<StreamSpec> PresentationStreams(std::size_t document_bytes, std::uint32_t seed);
// The same with `records` as what the document container holds.
std::vector<StreamSpec> PresentationStreamsHolding(const std::vector<std::uint8_t>& records,
                                                   std::uint32_t seed);
// One record: its header (version and instance, type, the body's length), then the body.
std::vector<std::uint8_t> Record(std::uint16_t ver_instance, std::uint16_t type,
                                 const std::vector<std::uint8_t>& body);

}  // namespace deckwright::testing
