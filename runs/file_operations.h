#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "engine/random_access_file.h"
#include "platform/file_system.h"

namespace deckwright {

// The file system as the runs use it. Paths are UTF-8. Every operation that can fail returns
// false (or null) and puts the system's reason, in words, in *error. Both runs of one batch
// must be given the same object: it remembers which files are the user's own.
class FileOperations {
  public:
    virtual ~FileOperations() = default;

    // Opens an existing regular file for reading. Where the system has share modes the file is
    // not shared, so a file another program holds open without sharing cannot be opened.
    virtual std::unique_ptr<RandomAccessFile> OpenForReading(const std::string& path,
                                                             std::string* error) = 0;
    virtual std::unique_ptr<RandomAccessFile> OpenForReadWrite(const std::string& path,
                                                               std::string* error) = 0;
    // Copies from to to. An existing to is replaced in one step: it is never left half-written.
    virtual bool CopyReplacing(const std::string& from, const std::string& to,
                               std::string* error) = 0;
    // The same for a working copy in the temporary folder: it need not survive a crash, so it is
    // not flushed. A watcher (may be null) sees every byte of the copy on its way.
    virtual bool CopyToTemporary(const std::string& from, const std::string& to, std::string* error,
                                 CopyWatcher* watcher) = 0;
    // Moves from to to, also across file systems. Never replaces an existing to.
    virtual MoveResult MoveNoReplace(const std::string& from, const std::string& to,
                                     std::string* error) = 0;
    virtual bool Delete(const std::string& path, std::string* error) = 0;

    // Makes a fresh, empty folder of its own for one item's temporary copy in the temporary
    // folder. *folder ends with the separator.
    virtual bool CreateItemFolder(std::string* folder, std::string* error) = 0;
    // Removes the item folder that holds copy_path, and what is in it, when it is one of ours.
    virtual void RemoveItemFolderOf(const std::string& copy_path) = 0;
    // Keeps the item folder that holds copy_path after the run and the program: its copy was not
    // saved and the user was told where it is. False when it cannot be marked so.
    virtual bool KeepItemFolderOf(const std::string& copy_path) = 0;
    // Whether new files can be made in folder (empty: the current folder); if not, why.
    virtual bool CheckFolderWritable(const std::string& folder, std::string* error) = 0;

    // The last component of path.
    virtual std::string FileNameOf(const std::string& path) = 0;
    // Which file path leads to, through any link; false when nothing is there.
    virtual bool IdentityOf(const std::string& path, FileId* id) = 0;

    // The user's own files, which no save may ever replace: the repair run adds each file it
    // reads; a front end that saves some files before it has read the others adds them first.
    // Both may be called from several items' threads at once.
    void ProtectOriginal(const std::string& path) {
        FileId id;
        if (!IdentityOf(path, &id)) return;
        std::lock_guard<std::mutex> lock(originals_mutex_);
        originals_.insert(id);
    }
    bool IsOriginal(const std::string& path) {
        FileId id;
        if (!IdentityOf(path, &id)) return false;
        std::lock_guard<std::mutex> lock(originals_mutex_);
        return originals_.count(id) > 0;
    }

  private:
    std::mutex originals_mutex_;
    std::set<FileId> originals_;
};

}  // namespace deckwright
