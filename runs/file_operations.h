#pragma once

#include <memory>
#include <string>

#include "engine/random_access_file.h"

namespace deckwright {

// The file system as the runs use it. Paths are UTF-8. Every operation that can fail returns
// false (or null) and puts the system's reason, in words, in *error.
class FileOperations {
  public:
    virtual ~FileOperations() = default;

    // Opens an existing file for reading. Where the system has share modes the file is not
    // shared, so a file another program holds open without sharing cannot be opened.
    virtual std::unique_ptr<RandomAccessFile> OpenForReading(const std::string& path,
                                                             std::string* error) = 0;
    virtual std::unique_ptr<RandomAccessFile> OpenForReadWrite(const std::string& path,
                                                               std::string* error) = 0;
    // Pushes what was written through a file opened by this object to the disk.
    virtual bool Flush(RandomAccessFile& file, std::string* error) = 0;

    // Copies from to to. An existing to is replaced in one step: it is never left half-written.
    virtual bool CopyReplacing(const std::string& from, const std::string& to,
                               std::string* error) = 0;
    // Moves from to to, also across file systems. Fails, changing nothing, when to exists.
    virtual bool MoveNoReplace(const std::string& from, const std::string& to,
                               std::string* error) = 0;
    virtual bool Delete(const std::string& path, std::string* error) = 0;

    // Makes a fresh, empty folder of its own for one item's temporary copy, under a
    // "Deckwright" folder in the temporary folder. *folder ends with the separator.
    virtual bool CreateItemFolder(std::string* folder, std::string* error) = 0;
    // Removes the item folder that holds copy_path, when it is empty and is one of ours.
    virtual void RemoveItemFolderOf(const std::string& copy_path) = 0;

    // The last component of path.
    virtual std::string FileNameOf(const std::string& path) = 0;
};

}  // namespace deckwright
