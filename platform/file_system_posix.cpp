#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/file_system.h"

namespace deckwright {
namespace {

std::string Reason(int err) {
    return std::strerror(err);
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Writes a copy of from into a new file beside to (same folder, so that it can be renamed into
// place) and flushes it. Returns the new file's path, or empty with *error set.
std::string CopyBeside(const std::string& from, const std::string& to, std::string* error) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        *error = Reason(errno);
        return {};
    }
    std::string temp = ParentOf(to) + ".deckwright-XXXXXX";
    const int out = ::mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        *error = Reason(errno);
        ::close(in);
        return {};
    }
    bool ok = true;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = "read failed: " + Reason(errno);
            ok = false;
            break;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) {
                *error = "write failed: " + Reason(errno);
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    auto fail = [&](const char* what) {
        *error = what + Reason(errno);
        ok = false;
    };
    // The copy keeps the permissions of what it copies, as cp does.
    struct stat st {};
    if (ok && ::fstat(in, &st) == 0 && ::fchmod(out, st.st_mode & 0777) != 0) fail("");
    if (ok && ::fsync(out) != 0) fail("flush failed: ");
    if (::close(out) != 0 && ok) fail("close failed: ");
    ::close(in);
    if (!ok) {
        ::unlink(temp.c_str());
        return {};
    }
    return temp;
}

// rename that never replaces: renameat2 where the file system knows it, else link + unlink.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

}  // namespace

bool FileSystem::CopyReplacing(const std::string& from, const std::string& to,
                                           std::string* error) const {
    if (SameFile(from, to)) {
        *error = "source and destination are the same file";
        return false;
    }
    const std::string temp = CopyBeside(from, to, error);
    if (temp.empty()) return false;
    // rename replaces in one step: readers see the old file or the new one, never a mix.
    if (::rename(temp.c_str(), to.c_str()) != 0) {
        *error = Reason(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool FileSystem::MoveNoReplace(const std::string& from, const std::string& to,
                                           std::string* error) const {
    int err = RenameNoReplace(from, to);
    if (err == 0) return true;
    if (err != EXDEV) {
        *error = Reason(err);
        return false;
    }
    // Another file system: copy, flush, put in place without replacing, then delete the original.
    const std::string temp = CopyBeside(from, to, error);
    if (temp.empty()) return false;
    err = RenameNoReplace(temp, to);
    if (err != 0) {
        *error = Reason(err);
        ::unlink(temp.c_str());
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

bool FileSystem::Delete(const std::string& path, std::string* error) const {
    if (::unlink(path.c_str()) == 0) return true;
    *error = Reason(errno);
    return false;
}

std::string FileSystem::TemporaryFolder() const {
    std::string folder = temporary_folder_;
    if (folder.empty()) {
        const char* tmpdir = std::getenv("TMPDIR");
        folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
    }
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::string FileSystem::DeckwrightFolder() const {
    return TemporaryFolder() + "Deckwright/";
}

bool FileSystem::CreateItemFolder(std::string* folder, std::string* error) const {
    const std::string parent = DeckwrightFolder();
    if (::mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = parent + ": " + Reason(errno);
        return false;
    }
    // A shared temporary folder: only a real folder of our own will hold the user's data.
    struct stat st {};
    if (::lstat(parent.substr(0, parent.size() - 1).c_str(), &st) != 0) {
        *error = parent + ": " + Reason(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        *error = parent + " is not a folder of this user";
        return false;
    }
    std::string item = parent + "item-XXXXXX";
    if (!::mkdtemp(item.data())) {
        *error = parent + ": " + Reason(errno);
        return false;
    }
    *folder = item + '/';
    return true;
}

void FileSystem::RemoveItemFolderOf(const std::string& copy_path) const {
    const std::string folder = ParentOf(copy_path);
    const std::string parent = DeckwrightFolder();
    if (folder.size() <= parent.size() || folder.compare(0, parent.size(), parent) != 0) return;
    if (folder.find('/', parent.size()) != folder.size() - 1) return;  // a direct child only
    ::rmdir(folder.c_str());  // fails, harmlessly, while anything is left in it
}

}  // namespace deckwright
