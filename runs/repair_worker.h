#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "runs/file_operations.h"
#include "runs/progress.h"
#include "runs/run_host.h"

namespace deckwright {

// What a repair run works on. The queue belongs to the caller, who leaves it alone until the
// run reports kRunOver; the run rewrites each entry once, to the repaired copy's path or to
// kFailMarker.
struct RepairJob {
    std::vector<std::string>* queue = nullptr;
    RunHost* host = nullptr;
    FileOperations* files = nullptr;
    // Waited twice per repaired item; zero for the command line and tests.
    std::chrono::milliseconds pacing{300};
};

// The repair run: copies every queued file into an item folder of its own in the temporary
// folder, repairs the copy and reports each step to job.host. The sources are only read.
// Runs on whatever thread the caller chooses; throws nothing, and always reports kRunOver.
// Returns what became of each entry, in queue order.
RunOutcomes RepairWorker(const RepairJob& job);

}  // namespace deckwright
