#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "engine/compound_file_check.h"
#include "engine/compound_file_header.h"
#include "engine/random_access_file.h"
#include "engine/structure_repair.h"

namespace deckwright {

// An entry whose name is a bit or two away from a name presentations use (its length field
// counted too), while no entry bears that name: a flipped bit, which leaves a property set or
// the presentation itself under a name no reader looks for. (A name the flip only turned into
// another case, which readers would still find, is set back as well: it is not the file's.)
struct GarbledName {
    std::uint32_t entry = 0;  // its index in the directory
    std::string found;        // as it reads (UTF-8, control characters as \xNN)
    std::string name;         // the name it was (UTF-8, likewise)
    std::u16string_view name16;  // the same, as the entry holds it
    int bits = 0;             // how many bits set it apart
};

// The garbled names among `entries` (the directory's 128-byte entries in order). An entry is
// set back only to a name of its own kind (stream or storage), when it is the one entry that
// close to that name and the name is not a bit or two from any other.
std::vector<GarbledName> FindGarbledNames(std::span<const std::uint8_t> entries);

// The 128 bytes of `entry` with its name field and length written as `name` (UTF-16, at most
// 31 units) reads; the rest kept.
void WriteEntryName(std::span<std::uint8_t, cfb::kDirEntrySize> entry, std::u16string_view name);

// The directory sectors, as `header` and the FAT in `scratch` (the last check's, under that
// header) give them, rewritten with each garbled name set back; what changes, and why. Nothing
// is written: the caller checks the file with them first.
struct NameMends {
    std::map<std::uint32_t, std::array<std::uint8_t, SECTOR_SIZE>> sectors;
    std::vector<RebuiltSector> rebuilt;
};
NameMends ComputeNameMends(RandomAccessFile& file, const CompoundFileHeader& header,
                           const cfb::CheckScratch& scratch);

}  // namespace deckwright
