#pragma once

#include <string>

#include "engine/random_access_file.h"

namespace deckwright {

// What repairing one copy came to.
struct RepairOutcome {
    bool sound = false;   // the copy now opens: every structure checks out
    std::string problem;  // when not sound: what is wrong, in words a user can act on
};

// Repairs an open, writable copy of a presentation in place (its 512 header bytes only) and
// judges the result. This is the one repair step that every front end goes through.
RepairOutcome RepairCompoundFile(RandomAccessFile& file);

}  // namespace deckwright
