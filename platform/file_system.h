#pragma once

#include <memory>
#include <string>

#include "platform/os_file.h"

namespace deckwright {

// The operating system's files as the runs use them. Paths are UTF-8. Every operation that can
// fail returns false (or null) and puts the system's reason, in words, in *error. The temporary
// folder is the system's unless one is given (tests point it at a scratch folder).
class FileSystem {
  public:
    FileSystem() = default;
    explicit FileSystem(std::string temporary_folder)
        : temporary_folder_(std::move(temporary_folder)) {}

    // Not shared with other openers where the system has share modes.
    std::unique_ptr<OsFile> OpenForReading(const std::string& path, std::string* error) const;
    std::unique_ptr<OsFile> OpenForReadWrite(const std::string& path, std::string* error) const;

    // Copies from to to. An existing to is replaced in one step: it is never left half-written.
    bool CopyReplacing(const std::string& from, const std::string& to, std::string* error) const;
    // Moves from to to, also across file systems. Fails, changing nothing, when to exists.
    bool MoveNoReplace(const std::string& from, const std::string& to, std::string* error) const;
    bool Delete(const std::string& path, std::string* error) const;

    // Makes a fresh, empty folder of its own for one item's temporary copy, under
    // DeckwrightFolder(). *folder ends with the separator.
    bool CreateItemFolder(std::string* folder, std::string* error) const;
    // Removes the item folder that holds copy_path, when it is empty and is one of ours.
    void RemoveItemFolderOf(const std::string& copy_path) const;

    // The temporary folder in use, ending with the separator; empty when the system has none.
    std::string TemporaryFolder() const;
    // The folder under it that holds the item folders, ending with the separator.
    std::string DeckwrightFolder() const;

  private:
    std::string temporary_folder_;
};

// The platform's path separator.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace deckwright
