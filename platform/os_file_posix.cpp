#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/file_faults_internal.h"
#include "platform/os_file.h"

namespace deckwright {
namespace {

using detail::FaultInjected;
using detail::FaultLimit;

// Only regular files hold presentations: a device never ends and a pipe blocks its reader.
const char* NotARegularFile(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return nullptr;
    if (S_ISDIR(st.st_mode)) return "it is a folder, not a file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "it is a device, not a file";
    if (S_ISFIFO(st.st_mode)) return "it is a pipe, not a file";
    if (S_ISSOCK(st.st_mode)) return "it is a socket, not a file";
    return "it is not a regular file";
}

}  // namespace

std::unique_ptr<OsFile> OsFile::Open(const std::string& path, OpenMode mode, Sharing,
                                     std::string* error) {
    if (HasNul(path, error)) return nullptr;
    // O_NONBLOCK: opening a pipe that nobody writes must not wait; regular files ignore it.
    const int flags = (mode == OpenMode::kRead ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK;
    const int fd = FaultInjected(FileStep::kOpen, path) ? -1 : ::open(path.c_str(), flags);
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    const char* not_regular = ::fstat(fd, &st) == 0 ? NotARegularFile(st) : nullptr;
    if (not_regular) {
        ::close(fd);
        if (error) *error = not_regular;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::unique_ptr<OsFile>(new OsFile(path, fd));
}

std::unique_ptr<OsFile> OsFile::CreateNew(const std::string& path, std::string* error) {
    if (HasNul(path, error)) return nullptr;
    const int fd = FaultInjected(FileStep::kCreate, path)
                       ? -1
                       : ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<OsFile>(new OsFile(path, fd));
}

OsFile::~OsFile() {
    ::close(static_cast<int>(handle_));
}

std::uint64_t OsFile::Length() {
    struct stat st {};
    if (::fstat(static_cast<int>(handle_), &st) != 0) {
        RecordError(std::string("cannot get the length: ") + std::strerror(errno));
        return 0;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

bool OsFile::Seek(std::uint64_t offset) {
    if (::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) {
        RecordError("seek to " + std::to_string(offset) + " failed: " + std::strerror(errno));
        return false;
    }
    return true;
}

std::size_t OsFile::Read(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        bool failed = false;
        const std::size_t want = FaultLimit(FileStep::kRead, path_, out.size() - done, &failed);
        const ssize_t n = failed ? -1 : ::read(static_cast<int>(handle_), out.data() + done, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            RecordError(std::string("read failed: ") + std::strerror(errno));
            break;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool OsFile::CanReadAt() const {
    return true;
}

std::size_t OsFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::string* error) {
    std::size_t done = 0;
    while (done < out.size()) {
        bool failed = false;
        const std::size_t want = FaultLimit(FileStep::kRead, path_, out.size() - done, &failed);
        const ssize_t n = failed ? -1
                                 : ::pread(static_cast<int>(handle_), out.data() + done, want,
                                           static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = std::string("read failed: ") + std::strerror(errno);
            break;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool OsFile::Write(std::span<const std::uint8_t> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        bool failed = false;
        const std::size_t want = FaultLimit(FileStep::kWrite, path_, data.size() - done, &failed);
        const ssize_t n =
            failed ? -1 : ::write(static_cast<int>(handle_), data.data() + done, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            RecordError(std::string("write failed: ") + std::strerror(errno));
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::uint64_t OsFile::CopyInto(OsFile& to, std::uint64_t length, bool* unsupported) {
    // Steps of a few MB, so that a test's faults meet the copy as they meet reads and writes.
    constexpr std::uint64_t kStep = std::uint64_t{8} << 20;
    *unsupported = false;
    std::uint64_t done = 0;
    while (done < length) {
        bool failed = false;
        std::size_t want = static_cast<std::size_t>(std::min(length - done, kStep));
        want = FaultLimit(FileStep::kRead, path_, want, &failed);
        if (failed) {
            RecordError(std::string("read failed: ") + std::strerror(errno));
            break;
        }
        want = FaultLimit(FileStep::kWrite, to.path_, want, &failed);
        if (failed) {
            to.RecordError(std::string("write failed: ") + std::strerror(errno));
            break;
        }
        const ssize_t n = want == 0
                              ? 0
                              : ::copy_file_range(static_cast<int>(handle_), nullptr,
                                                  static_cast<int>(to.handle_), nullptr, want, 0);
        if (n < 0) {
            const int e = errno;
            if (e == EINTR) continue;
            if (done == 0 && (e == EXDEV || e == EINVAL || e == ENOSYS || e == EOPNOTSUPP ||
                              e == EBADF || e == EPERM)) {
                *unsupported = true;
                return 0;
            }
            if (e == ENOSPC || e == EDQUOT || e == EFBIG) {
                to.RecordError(std::string("write failed: ") + std::strerror(e));
            } else {
                RecordError(std::string("copy failed: ") + std::strerror(e));
            }
            break;
        }
        if (n == 0) break;
        done += static_cast<std::uint64_t>(n);
    }
    return done;
}

bool OsFile::Flush() {
    if (FaultInjected(FileStep::kFlush, path_) || ::fsync(static_cast<int>(handle_)) != 0) {
        RecordError(std::string("flush failed: ") + std::strerror(errno));
        return false;
    }
    return true;
}

std::int64_t OsFile::CreationTime() {
    // The birth time where the file system keeps it; the last change otherwise.
    struct statx stx {};
    if (::statx(static_cast<int>(handle_), "", AT_EMPTY_PATH, STATX_BTIME | STATX_MTIME, &stx) ==
        0) {
        return (stx.stx_mask & STATX_BTIME) ? stx.stx_btime.tv_sec : stx.stx_mtime.tv_sec;
    }
    struct stat st {};
    if (::fstat(static_cast<int>(handle_), &st) != 0) return 0;
    return st.st_mtime;
}

bool IdentityOf(const std::string& path, FileId* id) {
    struct stat st {};
    if (HasNul(path, nullptr) || ::stat(path.c_str(), &st) != 0) return false;
    *id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return true;
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FullPathOf(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    char* here = ::getcwd(nullptr, 0);
    if (!here) return path;
    std::string full = here;
    std::free(here);
    return full + (full.back() == '/' ? "" : "/") + path;
}

}  // namespace deckwright
