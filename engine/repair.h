#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/compound_file_check.h"
#include "engine/header_reconstruction.h"
#include "engine/presentation_check.h"
#include "engine/random_access_file.h"
#include "engine/sector_pass.h"
#include "engine/structure_repair.h"

namespace deckwright {

// What repairing one copy came to.
struct RepairOutcome {
    bool sound = false;   // the copy now opens: every structure checks out
    std::string problem;  // when not sound: what is wrong, in words a user can act on
    // When sound but the presentation's own records are damaged: what the user is told (the
    // copy is kept, but it is not reported as plainly repaired).
    std::string warning;
    std::vector<RebuiltSector> rebuilt;  // sectors past the header written anew, and why
};

// What the repair worked out on its way to its outcome, for a caller that shows it.
struct RepairReport {
    std::array<std::uint8_t, SECTOR_SIZE> rebuilt_header{};  // as the rebuild writes it
    CheckResult rebuilt_check;                               // the file under it
    Reconstruction reconstruction;
    ContentCheck content;  // the repaired copy's records, when it checks out
};

// Repairs an open, writable copy of a presentation in place and judges the result: the header
// first; past it, the FAT, mini FAT and a cut tail where the file still guarantees their
// contents. This is the one repair step that every front end goes through. `seen` (may be
// null) is the pass its caller fed with the copy's bytes while making the copy: the copy is
// then not read a second time for it. `report` (may be null) is told the steps' findings.
RepairOutcome RepairCompoundFile(RandomAccessFile& file, SectorPassFeed* seen = nullptr,
                                 RepairReport* report = nullptr);

}  // namespace deckwright
