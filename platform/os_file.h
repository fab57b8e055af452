#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace deckwright {

enum class OpenMode { kRead, kReadWrite };
// kExclusive: on Windows, no other opener may share the file (a file that another program holds
// open without sharing cannot be opened either). Elsewhere the file is opened normally.
enum class Sharing { kShared, kExclusive };

// An operating-system file. Paths are UTF-8 everywhere. The first error is kept (sticky), so a
// caller that treats a short read as the end of the file can still learn that I/O failed.
class OsFile final {
  public:
    // Opens an existing regular file. Anything else (a folder, a device, a pipe) is refused
    // without waiting for it. On failure returns null and puts the reason in *error.
    static std::unique_ptr<OsFile> Open(const std::string& path, OpenMode mode, Sharing sharing,
                                        std::string* error);
    // Makes a new, empty file for reading and writing, not shared; fails when path exists.
    // Its owner may write it, whatever the file it will become a copy of.
    static std::unique_ptr<OsFile> CreateNew(const std::string& path, std::string* error);
    ~OsFile();
    OsFile(const OsFile&) = delete;
    OsFile& operator=(const OsFile&) = delete;

    // Length in bytes; 0 (and an error recorded) when it cannot be obtained.
    std::uint64_t Length();
    bool Seek(std::uint64_t offset);
    // Reads up to out.size() bytes at the current position; fewer means end of file or error.
    std::size_t Read(std::span<std::uint8_t> out);
    bool Write(std::span<const std::uint8_t> data);
    // On Linux only: Windows serializes reads on one handle, so side by side gains nothing.
    bool CanReadAt() const;
    // Reads at offset without moving the position; an error goes to *error, not recorded.
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::string* error);
    // Copies up to `length` bytes from this file's position to `to`'s position inside the
    // system, with no pass through our memory; both positions move on. Returns the bytes copied
    // (fewer when this file ends early or an error is recorded on either file). *unsupported is
    // set, with nothing copied, where the system cannot copy between these two files: the
    // caller then reads and writes.
    std::uint64_t CopyInto(OsFile& to, std::uint64_t length, bool* unsupported);
    // Pushes written data to the disk. False on failure.
    bool Flush();
    // When the file was created, in seconds since 1970 (UTC); where the system does not keep
    // it, when it was last changed. 0 when it cannot be obtained.
    std::int64_t CreationTime();

    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }
    const std::string& path() const { return path_; }

  private:
    OsFile(std::string path, std::intptr_t handle) : path_(std::move(path)), handle_(handle) {}
    void RecordError(std::string what) {
        if (error_.empty()) error_ = std::move(what);
    }
    std::string path_;
    std::intptr_t handle_;  // a file descriptor or a HANDLE
    std::string error_;
};

// Which file a path leads to, whatever links lead there: its device (volume) and its number
// on that device.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    bool operator==(const FileId&) const = default;
    auto operator<=>(const FileId&) const = default;
};
// False when path leads to nothing that can be asked.
bool IdentityOf(const std::string& path, FileId* id);

// True, with the reason in *error (when given), for a path the system would cut short at a NUL
// character and so take for another file's.
inline bool HasNul(const std::string& path, std::string* error) {
    if (path.find('\0') == std::string::npos) return false;
    if (error) *error = "the name holds a NUL character";
    return true;
}

// The last component of a path, after the last '/' (or '\\' on Windows).
std::string FileNameOf(const std::string& path);
// The absolute form of path (relative to the current folder); path itself when that fails.
std::string FullPathOf(const std::string& path);

}  // namespace deckwright
