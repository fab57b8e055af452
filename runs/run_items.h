#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "engine/page_buffer.h"
#include "runs/repair_worker.h"
#include "runs/save_worker.h"

// One item of each run, shared by the runs that take a whole queue through one stage and the
// run that takes each file through both stages before the next. Within runs/ only.
namespace deckwright::detail {

// Memory a repairing thread keeps from one item to the next: over a batch of files of a few
// hundred KB to a few MB, taking fresh pages from the system (which clears them) for every file
// is a good part of the work.
struct ItemRooms {
    PageBuffer copy;                 // the copy's pieces on their way into it
    std::vector<std::uint8_t> held;  // a small copy's bytes while it is repaired
};

// Copies source into an item folder of its own and repairs the copy. On failure the host has
// been told, and nothing of the item is left in the temporary folder.
ItemOutcome RepairOneItem(const RepairJob& job, std::size_t index, const std::string& source,
                          ItemRooms& rooms);

// What one save run has saved so far: its files are never replaced by a later item of it.
class SavedInThisRun {
  public:
    void Add(FileOperations& files, const std::string& path);
    bool Contains(FileOperations& files, const std::string& path) const;

  private:
    std::set<FileId> saved_;
};

// Saves the repaired copy (or kFailMarker) of item index as the job says. On failure the host
// has been told, and the copy, if there is one, is kept where the message says.
ItemOutcome SaveOneItem(const SaveJob& job, std::size_t index, const std::string& copy,
                        SavedInThisRun* saved);

}  // namespace deckwright::detail
