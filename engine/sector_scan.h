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

    // The pass reads the file in chunks of kReadChunk bytes, two lanes side by side (each
    // thread then uses the bytes it read itself) or one after the other.
    static constexpr std::size_t kReadChunk = std::size_t{512} << 10;
    static constexpr std::size_t kReadBuffers = 2;

    // Makes the pass over the file, and reads the header and the chosen sectors.
    static SectorSurvey Run(RandomAccessFile& file, const SectorChooser& choose);

    // A survey of a file of `length` bytes whose pass the caller makes, for other ends too
    // (see PassOverSectors): the survey classifies bytes [SECTOR_SIZE, Limit()).
    explicit SectorSurvey(std::uint64_t length);
    std::uint64_t Limit() const { return sector_bound_ * SECTOR_SIZE; }
    // A chunk of lane 0 or 1 of the pass: each lane's chunks come in file order, lane 1's all
    // lie after lane 0's, and the two lanes may call at the same time. Bytes past the chunk's
    // `got` did not arrive.
    void Visit(int lane, const FileChunk& chunk);
    // Forgets what the lanes gathered: the pass is to be made again, in order.
    void Discard();
    // After the pass: lane 1's sectors follow lane 0's; the header and the sectors `choose`
    // names are read by number (they are few, and the file has not changed).
    void Finish(RandomAccessFile& file, const SectorChooser& choose);

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
    // What one lane gathers.
    struct Lane {
        std::vector<FatLike> fat_like;
        std::int32_t first_root_directory = -1;
    };

    SectorBytes header_{};
    std::uint64_t sector_bound_ = 0;
    std::vector<FatLike> fat_like_;  // lane 0's during the pass
    std::int32_t first_root_directory_ = -1;
    Lane second_;  // lane 1's during the pass
    std::vector<std::pair<std::uint32_t, SectorBytes>> kept_;
};

}  // namespace deckwright
