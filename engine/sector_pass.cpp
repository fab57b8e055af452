#include "engine/sector_pass.h"

#include <algorithm>

#include "engine/ordered_read.h"

namespace deckwright {

SectorPass PassOverSectors(RandomAccessFile& file, const SectorSurvey::SectorChooser& choose) {
    const std::uint64_t length = file.Length();
    SectorPass pass{SectorSurvey(length), ReconstructionScan(length)};
    // Each part takes what lies below its own limit; the survey only sees what arrived.
    const std::uint64_t limit = std::max(pass.survey.Limit(), pass.scan.Limit());
    auto both = [&pass](int lane, const FileChunk& c) {
        pass.survey.Visit(lane, c);
        pass.scan.Look(lane, c);
    };
    if (limit > SECTOR_SIZE &&
        !ReadHalvesSideBySide(file, SECTOR_SIZE, limit, kSectorPassChunk, both)) {
        // Not to be done so, or a read failed: again in order, which records any error.
        pass.survey.Discard();
        pass.scan.Discard();
        ReadInOrder(file, SECTOR_SIZE, limit, kSectorPassChunk, ReadAhead::kHelperThread,
                    [&both](const FileChunk& c) { both(0, c); });
    }
    pass.scan.Finish();
    pass.survey.Finish(file, choose);
    return pass;
}

}  // namespace deckwright
