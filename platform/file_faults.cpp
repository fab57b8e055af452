#include <atomic>

#include "platform/file_faults_internal.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

namespace deckwright {
namespace {

std::atomic<FileFaults*> g_faults{nullptr};

void SetSystemError(FaultKind kind) {
#ifdef _WIN32
    switch (kind) {
        case FaultKind::kNoSpace:
            SetLastError(ERROR_DISK_FULL);
            break;
        case FaultKind::kAccessDenied:
            SetLastError(ERROR_ACCESS_DENIED);
            break;
        case FaultKind::kOtherDevice:
            SetLastError(ERROR_NOT_SAME_DEVICE);
            break;
        default:
            SetLastError(ERROR_IO_DEVICE);
            break;
    }
#else
    switch (kind) {
        case FaultKind::kNoSpace:
            errno = ENOSPC;
            break;
        case FaultKind::kAccessDenied:
            errno = EACCES;
            break;
        case FaultKind::kOtherDevice:
            errno = EXDEV;
            break;
        default:
            errno = EIO;
            break;
    }
#endif
}

Fault Ask(FileStep step, const std::string& path) {
    FileFaults* faults = g_faults.load(std::memory_order_acquire);
    return faults ? faults->Before(step, path) : Fault{};
}

}  // namespace

void SetFileFaults(FileFaults* faults) {
    g_faults.store(faults, std::memory_order_release);
}

namespace detail {

bool FaultInjected(FileStep step, const std::string& path) {
    const Fault fault = Ask(step, path);
    if (fault.kind == FaultKind::kNone || fault.kind == FaultKind::kShort) return false;
    SetSystemError(fault.kind);
    return true;
}

std::size_t FaultLimit(FileStep step, const std::string& path, std::size_t want, bool* failed) {
    *failed = false;
    const Fault fault = Ask(step, path);
    if (fault.kind == FaultKind::kNone) return want;
    if (fault.kind == FaultKind::kShort) return fault.bytes < want ? fault.bytes : want;
    SetSystemError(fault.kind);
    *failed = true;
    return 0;
}

}  // namespace detail
}  // namespace deckwright
