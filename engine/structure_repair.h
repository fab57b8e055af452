#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/compound_file_check.h"
#include "engine/compound_file_header.h"
#include "engine/random_access_file.h"

namespace deckwright {

// A cut tail longer than this many sectors is not padded back: the tables then say too little
// to trust.
inline constexpr std::uint32_t kMaxLostSectors = 64;

// One sector past the header that the repair writes anew, and why.
struct RebuiltSector {
    std::uint32_t sector = 0;
    std::string what;  // "the FAT sector of sectors 128 to 255"
    std::string why;   // "31 of its entries were damaged"
};

// What the file still guarantees about its FAT and mini FAT, under a given header: the sectors
// to write so that it checks out, or why that cannot be done with certainty.
struct StructureRepair {
    bool sound = false;  // with `sectors` written (and the file padded to `length`) it checks out
    CheckResult check;   // the check with them
    std::vector<RebuiltSector> rebuilt;  // empty when nothing past the header needed it
    std::map<std::uint32_t, std::array<std::uint8_t, SECTOR_SIZE>> sectors;  // new contents
    std::uint64_t length = 0;  // at least the file's length; more when a cut tail is padded back
    std::uint32_t lost_tail = 0;  // whole sectors the file is short of
    std::string problem;  // when not sound: what is wrong or lost, worded to follow "Unable to ..."
    bool undecided = false;  // when not sound: for want of telling ways apart, not a contradiction
};

// Works out, without writing, what the FAT and mini FAT of the file must hold for `header`:
// blocks whose entries are damaged (zeroed, overwritten, flipped, or cut off with the tail) are
// rebuilt from the directory's stream starts and sizes, the entries around them, the chains'
// order (writers lay chains out sector after sector) and the FATSECT and DIFSECT marks. A
// rebuild is only offered when every chain gets its exact length, no sector in use is left
// unreached, and the file then checks out; else `problem` says what cannot be told or is lost.
// A few sectors left over that can go to the chains left short in more than one way go the one
// way under which the presentation's records read whole, when exactly one does; when `guessed`
// (the header is worked out from the sectors, not the file's own), none when a chain goes on
// past the sector before a blank FAT sector the header names elsewhere than in it: that may be
// the chain's own blank sector standing for a lost FAT sector, then the sector left over.
StructureRepair ComputeStructureRepair(RandomAccessFile& file, const CompoundFileHeader& header,
                                       bool guessed = false);

// Writes the rebuilt sectors (and pads a cut tail back with zero sectors). False on I/O error.
bool ApplyStructureRepair(RandomAccessFile& file, const StructureRepair& repair);

// A file seen with some of its sectors replaced and, past its end, zero sectors up to a length:
// how a repair is judged before it is written.
class OverlayFile final : public RandomAccessFile {
  public:
    OverlayFile(RandomAccessFile& file,
                const std::map<std::uint32_t, std::array<std::uint8_t, SECTOR_SIZE>>& sectors,
                std::uint64_t length)
        : file_(file), sectors_(sectors), length_(length) {}

    std::uint64_t Length() override;
    bool Seek(std::uint64_t offset) override {
        pos_ = offset;
        return true;
    }
    std::size_t Read(std::span<std::uint8_t> out) override;
    bool Write(std::span<const std::uint8_t>) override { return false; }

  private:
    RandomAccessFile& file_;
    const std::map<std::uint32_t, std::array<std::uint8_t, SECTOR_SIZE>>& sectors_;
    std::uint64_t length_;
    std::uint64_t pos_ = 0;
};

}  // namespace deckwright
