#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/header_reconstruction.h"
#include "engine/random_access_file.h"
#include "engine/sector_scan.h"
#include "engine/zero_sectors.h"

namespace deckwright {

// One read of a whole file that serves the header rebuild, the header reconstruction and the
// check of the presentation's records: each chunk is looked at for all three while it is at
// hand, instead of each reading the file from end to end. The reconstruction only needs its
// part when the header as found does not check out, but classifying costs little next to
// reading the file again.
struct SectorPass {
    SectorSurvey survey;     // for RebuildHeader(file, survey)
    ReconstructionScan scan;  // for ComputeReconstructedHeader(..., &scan)
    ZeroSectors zeros;        // for CheckPresentationContent(..., &zeros)
};

// The size of the chunks the pass reads; its two lanes meet at a multiple of it.
inline constexpr std::size_t kSectorPassChunk = SectorSurvey::kReadChunk;

// Reads the file once (two halves side by side where the file can be read at offsets, else in
// order) and reads the sectors `choose` names for the survey. I/O errors show in the file.
SectorPass PassOverSectors(RandomAccessFile& file, const SectorSurvey::SectorChooser& choose);

// The same pass, made of the bytes a caller reads anyway: the copy the repair works on is made
// by reading its source, and the pass looks at each piece on its way into the copy instead of
// reading the copy again.
class SectorPassFeed {
  public:
    // For a file of `length` bytes.
    explicit SectorPassFeed(std::uint64_t length);

    // Bytes [pos, pos + bytes.size()) of the file: in order from 0 without a gap, every piece
    // but the last a whole number of sectors. Pieces that break this spoil the feed.
    void Take(std::uint64_t pos, std::span<const std::uint8_t> bytes);

    // The pass over `file`, which holds the bytes taken, with the header and the sectors
    // `choose` names read from it. When the pieces did not make up the whole file as it stands
    // (spoilt, cut short, or the file's length differs), the pass is made by reading the file.
    SectorPass Finish(RandomAccessFile& file, const SectorSurvey::SectorChooser& choose);

  private:
    void Look(const FileChunk& chunk);

    std::uint64_t length_;
    SectorPass pass_;
    std::uint64_t limit_;     // the pass looks at bytes [SECTOR_SIZE, limit_)
    std::uint64_t next_ = 0;  // where the next piece starts
    bool spoilt_ = false;
    std::vector<std::uint8_t> last_;  // a short last sector, padded with zeros
};

}  // namespace deckwright
