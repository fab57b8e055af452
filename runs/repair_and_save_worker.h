#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runs/file_operations.h"
#include "runs/progress.h"
#include "runs/run_host.h"

namespace deckwright {

// What a run that takes each file through repair and save before the next one works on.
struct RepairAndSaveJob {
    std::vector<std::string> sources;
    RunHost* host = nullptr;
    FileOperations* files = nullptr;
    std::string suffix;
    std::string folder;  // used as a plain prefix of every destination path
    // How many files are repaired at once. Saves still happen one at a time, in the order of
    // sources, on the caller's thread. The temporary folder holds at most this many copies
    // beyond the repaired ones that wait for their save; and once `jobs` wait, a repair only
    // starts while those waiting take less than `waiting_bytes`, up to kMoreWaiting more (so
    // that small files need not wait for a big one's save, and big ones do).
    std::size_t jobs = 1;
    std::uint64_t waiting_bytes = std::uint64_t{64} << 20;
};

inline constexpr std::size_t kMoreWaiting = 8;

// The command line's run: the same items as RepairWorker and SaveWorker, one file at a time, so
// the temporary folder holds one copy at a time however long the batch. Every source is
// protected before the first save. For item i the host hears kRepairBegins and its end, then,
// when it was repaired, kSaveBegins and its end; kRunOver last. With more than one job, the
// repairs of the next few items overlap, so their calls interleave (one at a time: the host is
// never called from two threads at once); the saves and their questions keep the order of
// sources. Throws nothing. Returns what became of each file: where it was saved, or why not.
RunOutcomes RepairAndSaveWorker(const RepairAndSaveJob& job);

}  // namespace deckwright
