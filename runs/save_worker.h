#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "runs/file_operations.h"
#include "runs/progress.h"
#include "runs/run_host.h"

namespace deckwright {

// What a save run works on: the repair run's final entries (copies' paths or kFailMarker),
// with its own copies of the two settings so that later changes do not reach the run.
struct SaveJob {
    const std::vector<std::string>* queue = nullptr;
    RunHost* host = nullptr;
    FileOperations* files = nullptr;
    std::string suffix;
    std::string folder;  // used as a plain prefix of every destination path
    std::chrono::milliseconds pacing{300};
};

// The saved name of a file: the name up to its last '.', then the suffix, then ".ppt". A name
// without a '.' (or whose only '.' is its first character) is kept whole before the suffix.
std::string MakeSavedFileName(const std::string& name, const std::string& suffix);

// Why suffix cannot be used, in words; empty when it can. A suffix must leave the saved name
// a plain name in the save folder: no separator, no "..", no control character.
std::string SuffixProblem(const std::string& suffix);

// The save run: puts every repaired copy at folder + MakeSavedFileName(...), asking before it
// replaces anything, and reports each step to job.host. It never replaces one of the files
// being repaired (FileOperations::IsOriginal) or a file it saved itself. A copy that was not
// saved is kept, and its outcome says where. Throws nothing and always reports kRunOver.
// Returns what became of each entry (where it was saved, or why not), in queue order.
RunOutcomes SaveWorker(const SaveJob& job);

}  // namespace deckwright
