#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/file_faults_internal.h"
#include "platform/file_system_os.h"
#include "platform/os_file.h"

namespace deckwright::fsos {
namespace {

RenameResult Classified(int err, std::string* error) {
    *error = std::strerror(err);
    if (err == EEXIST || err == ENOTEMPTY) return RenameResult::kExists;
    if (err == EXDEV) return RenameResult::kOtherDevice;
    return RenameResult::kFailed;
}

// For file systems that know neither renameat2's no-replace nor hard links: claim the name
// with an empty file nobody else can have made, then rename over that claim.
int RenameOverOwnClaim(const std::string& from, const std::string& to) {
    const int claim = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (claim < 0) return errno;
    ::close(claim);
    if (::rename(from.c_str(), to.c_str()) == 0) return 0;
    const int err = errno;
    ::unlink(to.c_str());
    return err;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) return errno;
    return RenameOverOwnClaim(from, to);
}

}  // namespace

RenameResult Rename(const std::string& from, const std::string& to, bool replace,
                    std::string* error) {
    if (HasNul(from, error) || HasNul(to, error)) return RenameResult::kFailed;
    if (detail::FaultInjected(FileStep::kRename, to)) return Classified(errno, error);
    if (replace) {
        return ::rename(from.c_str(), to.c_str()) == 0 ? RenameResult::kDone
                                                       : Classified(errno, error);
    }
    const int err = RenameNoReplace(from, to);
    return err == 0 ? RenameResult::kDone : Classified(err, error);
}

bool RemoveFile(const std::string& path, std::string* error) {
    if (HasNul(path, error)) return false;
    if (::unlink(path.c_str()) == 0) return true;
    *error = std::strerror(errno);
    return false;
}

bool MakeFolder(const std::string& path, bool* existed, std::string* error) {
    *existed = false;
    if (HasNul(path, error)) return false;
    if (!detail::FaultInjected(FileStep::kMakeFolder, path) && ::mkdir(path.c_str(), 0700) == 0)
        return true;
    *existed = errno == EEXIST;
    *error = std::strerror(errno);
    return false;
}

bool RemoveEmptyFolder(const std::string& path) {
    return ::rmdir(path.c_str()) == 0;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsOwnFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

Kind KindOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        // Not allowed to look: the attempt to write there will say so.
        return errno == ENOENT || errno == ENOTDIR ? Kind::kMissing : Kind::kFolder;
    }
    return S_ISDIR(st.st_mode) ? Kind::kFolder : Kind::kOther;
}

std::string SystemTemporaryFolder() {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::string UserTag() {
    return std::to_string(::geteuid());
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsSeparator(char c) {
    return c == '/';
}

std::string LastError() {
    return std::strerror(errno);
}

std::intptr_t TakeLock(const std::string& lock_path, bool create) {
    constexpr int kNew = O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
    int fd = create ? ::open(lock_path.c_str(), kNew, 0600)
                    : ::open(lock_path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    // A folder without its lock: its maker died before locking it, or is about to lock it and
    // will then find the name taken and go elsewhere.
    if (fd < 0 && !create && errno == ENOENT) fd = ::open(lock_path.c_str(), kNew, 0600);
    if (fd < 0) return -1;
    struct stat st {};
    // nlink 0: another start finished with this folder just before we got the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &st) != 0 || st.st_nlink == 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void ReleaseLock(const std::string& lock_path, std::intptr_t lock) {
    ::unlink(lock_path.c_str());
    ::close(static_cast<int>(lock));
}

void AppendRecord(const std::string& path, const std::string& record) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::string bytes = record + '\0';
    // Best effort: the clean-up at the end and on interrupts has the same list in memory.
    [[maybe_unused]] const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    ::close(fd);
}

std::vector<std::string> ReadRecords(const std::string& path) {
    std::vector<std::string> records;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return records;
    std::string bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
    ::close(fd);
    for (std::size_t start = 0, end; (end = bytes.find('\0', start)) != std::string::npos;
         start = end + 1) {
        records.push_back(bytes.substr(start, end - start));
    }
    return records;
}

bool MakeMarker(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

void OnInterrupt(void (*clean_up)()) {
    // Blocked here and in every thread started later; one thread waits for them, so the
    // clean-up runs as ordinary code rather than inside a signal handler.
    sigset_t signals;
    sigemptyset(&signals);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, sig);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals, clean_up] {
        int sig = 0;
        if (sigwait(&signals, &sig) != 0) return;
        clean_up();
        ::signal(sig, SIG_DFL);
        sigset_t just_this;
        sigemptyset(&just_this);
        sigaddset(&just_this, sig);
        pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
        ::raise(sig);  // ends the process as the signal would have
        ::_exit(128 + sig);
    }).detach();
}

}  // namespace deckwright::fsos
