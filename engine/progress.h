#pragma once

#include <string_view>

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

// The window messages that carry the codes; the values are shared with the desktop program.
inline constexpr unsigned WM_REPAIR_PROGRESS = 5000;
inline constexpr unsigned WM_SAVE_PROGRESS = 5001;

// Stands in a queue entry in place of a path when the item's repair failed. Compared as a whole
// string, case-sensitively.
inline constexpr std::string_view kFailMarker = "FAIL";

}  // namespace deckwright
