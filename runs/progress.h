#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace deckwright {

// What a run tells its host about one step, in the order the host receives them: for every
// item exactly one "begins" code then exactly one of kItemFailed or kItemSucceeded, items in
// queue order, then one kRunOver (index 0).
enum class ProgressCode : int {
    kRunOver = 0,
    kRepairBegins = 1,
    kSaveBegins = 2,
    kItemFailed = 3,
    kItemSucceeded = 4,
};

// Stands in a queue entry in place of a path when the item's repair failed. Compared as a whole
// string, case-sensitively.
inline constexpr std::string_view kFailMarker = "FAIL";

// What became of one item of a run, as the run hands it back.
struct ItemOutcome {
    bool succeeded = false;
    // Repair: the repaired copy. Save: where the copy was saved.
    std::string path;
    // When it failed: the program's message (shown as is) and the system's reason (may be empty).
    std::string message;
    std::string detail;
    // Repair: when it succeeded but the copy is not plainly repaired (its structure is, yet the
    // presentation's own records are damaged): what the user must be told. Empty otherwise.
    std::string warning;
    // Repair, when it succeeded: the size of the repaired copy, which waits for its save.
    std::uint64_t bytes = 0;
};
using RunOutcomes = std::vector<ItemOutcome>;

}  // namespace deckwright
