#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/os_file.h"

namespace deckwright {

namespace detail {
class RunFolder;
}

enum class MoveResult { kMoved, kDestinationExists, kFailed };

// Sees a copy's bytes on their way into it, so that a caller who must read them anyway needs
// no second read of the copy.
class CopyWatcher {
  public:
    virtual ~CopyWatcher() = default;
    // Before any bytes: the length the copy will have.
    virtual void Begin(std::uint64_t length) = 0;
    // Bytes [pos, pos + bytes.size()) of the copy, in order from 0 without a gap; every piece
    // but the last holds a whole number of 64 KiB blocks. Called on the copying thread.
    virtual void See(std::uint64_t pos, std::span<const std::uint8_t> bytes) = 0;
    // Room of `size` bytes (the most a copy's pieces take at once), aligned to 4096, that the
    // watcher lends for the pieces and keeps for the copies after this one; empty, and the
    // copy takes room of its own. A batch that lends the same room to every copy spares the
    // system handing over and clearing fresh pages for each.
    virtual std::span<std::uint8_t> Room(std::size_t size) {
        (void)size;
        return {};
    }
};

// The operating system's files as the runs use them. Paths are UTF-8. Every operation that can
// fail returns false (or null) and puts the system's reason, in words, in *error. The temporary
// folder is the system's unless one is given (tests point it at a scratch folder).
//
// Temporary copies live in a run folder of this object's own, made on first use as
// "Deckwright-<user>-XXXXXXXX" in the temporary folder (private to the user, so that nobody
// else can block or read it) and locked for as long as the process lives. It holds one item
// folder per copy. Whatever of it is not kept on purpose goes when the object goes, when the
// process is interrupted (see RemoveLeftoversWhenInterrupted), or, after a crash, at the next
// start of a run folder by any process of the same user.
class FileSystem {
  public:
    FileSystem();
    explicit FileSystem(std::string temporary_folder);
    ~FileSystem();
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // Not shared with other openers where the system has share modes.
    std::unique_ptr<OsFile> OpenForReading(const std::string& path, std::string* error) const;
    std::unique_ptr<OsFile> OpenForReadWrite(const std::string& path, std::string* error) const;

    // Copies from, as long as it was when opened, to to. An existing to is replaced in one step:
    // it is never left half-written, and nothing half-written is left beside it.
    bool CopyReplacing(const std::string& from, const std::string& to, std::string* error);
    // The same for a working copy in the temporary folder, without pushing it to the disk: after
    // a crash it is thrown away (the source is still there), so no flush buys anything. With a
    // watcher, the copy is made through our memory (reading and writing side by side) and the
    // watcher sees every byte once.
    bool CopyToTemporary(const std::string& from, const std::string& to, std::string* error,
                         CopyWatcher* watcher = nullptr);
    // Moves from to to, also across file systems; never replaces an existing to.
    MoveResult MoveNoReplace(const std::string& from, const std::string& to, std::string* error);
    bool Delete(const std::string& path, std::string* error);

    // Makes a fresh, empty folder for one item's temporary copy. *folder ends with the separator.
    bool CreateItemFolder(std::string* folder, std::string* error);
    // Removes the item folder that holds path, and all in it, when it is one of this object's.
    void RemoveItemFolderOf(const std::string& path);
    // Keeps the item folder that holds path after its run and its process: its copy is the
    // user's now. False when it cannot be marked so.
    bool KeepItemFolderOf(const std::string& path);

    // Whether new files can be made in folder (empty: the current folder); if not, why.
    bool CheckFolderWritable(const std::string& folder, std::string* error);

    // The temporary folder in use, ending with the separator; empty when the system has none.
    std::string TemporaryFolder() const;
    // This object's run folder, ending with the separator; empty before the first item folder.
    std::string RunFolder() const;

  private:
    bool StartRun(std::string* error);
    std::unique_ptr<OsFile> CreatePartialBeside(const std::string& to, std::string* partial,
                                                std::string* error);
    MoveResult PutPartialInPlace(const std::string& partial, const std::string& to, bool replace,
                                 std::string* error);
    void DropPartial(const std::string& partial);
    MoveResult CopyIntoPlace(const std::string& from, const std::string& to, bool replace,
                             bool flush, std::string* error, CopyWatcher* watcher = nullptr);

    std::string temporary_folder_;
    std::unique_ptr<detail::RunFolder> run_;
};

// The command line's promise on SIGINT, SIGTERM and SIGHUP (Ctrl+C and closing the console on
// Windows): the run folders of every FileSystem and the partial files beside destinations are
// removed before the process ends with the signal. Call once, early, before other threads.
void RemoveLeftoversWhenInterrupted();

// The platform's path separator.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace deckwright
