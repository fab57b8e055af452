#pragma once

#include <cstddef>
#include <string>

namespace deckwright {

// The steps of file work at which a test can make the system fail, to prove that every caller
// copes: the user's file stays as it was, nothing half-written is left, and the failure is said.
enum class FileStep {
    kOpen,        // opening an existing file
    kCreate,      // making a new file
    kRead,        // reading from an open file (a short read is a file that ends early)
    kWrite,       // writing to an open file (a short write is a partial one)
    kFlush,       // pushing written data to the disk
    kRename,      // giving a file another name (its destination is the path asked about)
    kDelete,      // removing a file
    kMakeFolder,  // making a folder
};

enum class FaultKind {
    kNone,
    kShort,         // reads and writes only: just `bytes` of them go through
    kNoSpace,       // ENOSPC / ERROR_DISK_FULL
    kIoError,       // EIO / ERROR_IO_DEVICE
    kAccessDenied,  // EACCES / ERROR_ACCESS_DENIED
    kOtherDevice,   // renames only: EXDEV / ERROR_NOT_SAME_DEVICE
};

struct Fault {
    FaultKind kind = FaultKind::kNone;
    std::size_t bytes = 0;
};

// Consulted before every step of file work in this process while it is set.
class FileFaults {
  public:
    virtual ~FileFaults() = default;
    virtual Fault Before(FileStep step, const std::string& path) = 0;
};

// Tests only; null (as in the program) turns injection off. Set it while no file work runs.
void SetFileFaults(FileFaults* faults);

}  // namespace deckwright
