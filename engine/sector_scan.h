#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/compound_file_header.h"
#include "engine/ordered_read.h"
#include "engine/random_access_file.h"
#include "engine/sector_classifiers.h"

namespace deckwright {

using SectorBytes = std::array<std::uint8_t, SECTOR_SIZE>;

// Everything the header rebuild asks of a file's sectors, gathered in one sequential read of
// the file: the header bytes, a few bytes per FAT-like sector, the first root directory
// sector, and copies of the few sectors the rebuild reads by number. Bytes no read delivered
// (past the end of the file, or lost to an I/O error that the file records) are zero.
class SectorSurvey {
  public:
    // Given the header bytes and the sector bound, names the sectors whose contents the caller
    // will need.
    using SectorChooser = std::function<std::vector<std::uint32_t>(const SectorBytes& header,
                                                                   std::uint64_t sector_bound)>;

    // The pass reads the file in chunks of kReadChunk bytes into kReadBuffers buffers.
    static constexpr std::size_t kReadChunk = std::size_t{1} << 20;
    static constexpr std::size_t kReadBuffers = kReadAheadBuffers;

    static SectorSurvey Run(RandomAccessFile& file, const SectorChooser& choose);

    const SectorBytes& header() const { return header_; }
    // File length / 512: the bound the header's sector numbers are tested against.
    std::uint64_t sector_bound() const { return sector_bound_; }
    std::uint32_t CountFatLike() const { return static_cast<std::uint32_t>(fat_like_.size()); }
    // The first (or, skipping one, the second) FAT-like sector whose block index for `block` is
    // `block`; -1 when there is none.
    std::int32_t FindFat(std::int32_t block, bool skip_first) const;
    // The first directory-like sector whose first entry is the root storage; -1 when none.
    std::int32_t FirstRootDirectory() const { return first_root_directory_; }
    // A sector named by the chooser (all zero for any other number).
    SectorBytes Kept(std::uint32_t number) const;
    // Bytes held after the pass (the read buffers, kReadBuffers * kReadChunk, are gone by then).
    std::size_t BytesKept() const {
        return fat_like_.capacity() * sizeof(FatLike) + kept_.capacity() * sizeof(kept_[0]);
    }

  private:
    struct FatLike {
        std::uint32_t number;
        FatSectorSummary summary;
    };
    void VisitSector(std::uint64_t number, Sector sector);

    SectorBytes header_{};
    std::uint64_t sector_bound_ = 0;
    std::vector<FatLike> fat_like_;
    std::int32_t first_root_directory_ = -1;
    std::vector<std::pair<std::uint32_t, SectorBytes>> kept_;
};

}  // namespace deckwright
