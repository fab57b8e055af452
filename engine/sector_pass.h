#pragma once

#include "engine/header_reconstruction.h"
#include "engine/random_access_file.h"
#include "engine/sector_scan.h"

namespace deckwright {

// One read of a whole file that serves both the header rebuild and the header reconstruction:
// each chunk is classified for both while it is at hand, instead of each reading the file
// from end to end. The reconstruction only needs its part when the header as found does not
// check out, but classifying costs little next to reading the file again.
struct SectorPass {
    SectorSurvey survey;     // for RebuildHeader(file, survey)
    ReconstructionScan scan;  // for ComputeReconstructedHeader(..., &scan)
};

// The size of the chunks the pass reads; its two lanes meet at a multiple of it.
inline constexpr std::size_t kSectorPassChunk = SectorSurvey::kReadChunk;

// Reads the file once (two halves side by side where the file can be read at offsets, else in
// order) and reads the sectors `choose` names for the survey. I/O errors show in the file.
SectorPass PassOverSectors(RandomAccessFile& file, const SectorSurvey::SectorChooser& choose);

}  // namespace deckwright
