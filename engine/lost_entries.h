#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compound_file_check.h"
#include "engine/compound_file_header.h"
#include "engine/random_access_file.h"
#include "engine/structure_repair.h"

namespace deckwright {

// A directory sector lost (cut off with the tail, or wiped) leaves chains the FAT and the mini
// FAT give out that no entry names. The entries can be set back when every such chain begins as
// a stream whose bytes tell its name and its exact size, and the directory's tree says where
// they hang.

// The file as it stands, the sectors it holds, its header, and the FAT and DIFAT sectors that
// header lists.
struct TablesRead {
    RandomAccessFile& file;
    const CompoundFileHeader& header;
    std::uint32_t sectors = 0;
    std::span<const std::uint32_t> fat_sectors;
    std::span<const std::uint32_t> difat_sectors;
};

// The directory sectors to write, and why; to be taken only when the file then checks out and
// the presentation's records read whole (which tells the presentation's stream for sure).
struct LostEntries {
    std::map<std::uint32_t, std::array<std::uint8_t, SECTOR_SIZE>> sectors;
    std::vector<RebuiltSector> rebuilt;
    bool cut = false;  // a lost sector lies past the file's end: the FAT links into a cut tail
};

// The entries of one lost directory sector, set back from the streams' own bytes. Under an
// entry that survives, they go where the tree links into the sector, in directory order (the
// sector's other entries are untouched); with the root entry lost, the directory must be flat
// (streams a presentation keeps at its top, each once), and its whole tree is laid out anew.
// Empty when anything is not sure: more than one sector lost, a chain nothing tells the name or
// size of, an entry elsewhere only the lost sector led to, a name that would come twice.
// Storages and empty streams leave no chains: a file that had one there is not told apart.
std::optional<LostEntries> FindLostEntries(const TablesRead& tables);

// Pieces of it, for their tests.

// The name of the stream that begins with `first` (at least 48 bytes), for the streams whose
// beginning tells them apart: "Current User", the two property sets by their format ids,
// "\x01CompObj", "\x01Ole" and "Pictures". Empty for any other.
std::optional<std::string> NameByBeginning(std::span<const std::uint8_t> first);

// The size of the stream `name` whose chain holds `bytes`, when its bytes say it for sure:
// "Current User" is its atom, followed by the user's name in UTF-16 when that follows it; a
// property set ends with its last section; "\x01CompObj" with its last string, "\x01Ole" after
// its reserved moniker, "Pictures" with its last picture record. Empty when the bytes say
// nothing for sure or end before the stream does.
std::optional<std::uint32_t> SizeByBytes(std::string_view name,
                                         std::span<const std::uint8_t> bytes);

// Directory order: shorter names first, then by upper case. Negative when `a` sorts before
// `b`, positive after, 0 when they are the same name. Names are UTF-8; units are UTF-16 units.
int CompareEntryNames(std::string_view a, std::uint32_t a_units, std::string_view b,
                      std::uint32_t b_units);

// One entry of a directory sector written anew.
struct NewEntry {
    std::string name;  // ASCII (control characters included)
    std::uint8_t colour = 1;
    std::uint32_t left = kNoStream;
    std::uint32_t right = kNoStream;
    std::uint32_t start = 0;
    std::uint32_t size = 0;
};

// Streams to lay out as a subtree of the directory whose top is entry `top`.
struct SubtreeTop {
    std::uint32_t top = kNoStream;
    std::vector<NewEntry> entries;  // by name, in any order
};

// The subtrees laid out in the sector of entries `first` to `first` + 3: each in directory
// order under its top (black), with links and colours; the other entries take the slots left.
// Empty when a top lies outside the sector, two share one, a subtree has no entries, or they
// need more than four slots.
std::optional<std::array<std::optional<NewEntry>, 4>> SubtreesInSector(
    const std::vector<SubtreeTop>& subtrees, std::uint32_t first);

}  // namespace deckwright
