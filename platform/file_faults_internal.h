#pragma once

#include <cstddef>
#include <string>

#include "platform/file_faults.h"

// For the platform's own file code: where the steps of FileStep meet the system.
namespace deckwright::detail {

// True when a test made this step fail; the system's error (errno, or the thread's last error
// on Windows) is then set as a real failure would set it.
bool FaultInjected(FileStep step, const std::string& path);

// How many of `want` bytes a read or write may move: fewer when a test shortens it, 0 with
// *failed set (and the system's error) when it fails.
std::size_t FaultLimit(FileStep step, const std::string& path, std::size_t want, bool* failed);

}  // namespace deckwright::detail
