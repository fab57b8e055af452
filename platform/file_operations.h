#pragma once

#include <string>

#include "engine/file_operations.h"

namespace deckwright {

// The operating system's files, for the runs. The temporary folder is the system's unless one
// is given (tests point it at a scratch folder); it must end with the separator.
class PlatformFileOperations final : public FileOperations {
  public:
    PlatformFileOperations() = default;
    explicit PlatformFileOperations(std::string temporary_folder)
        : temporary_folder_(std::move(temporary_folder)) {}

    std::unique_ptr<RandomAccessFile> OpenForReading(const std::string& path,
                                                     std::string* error) override;
    std::unique_ptr<RandomAccessFile> OpenForReadWrite(const std::string& path,
                                                       std::string* error) override;
    bool Flush(RandomAccessFile& file, std::string* error) override;
    bool CopyReplacing(const std::string& from, const std::string& to, std::string* error) override;
    bool MoveNoReplace(const std::string& from, const std::string& to, std::string* error) override;
    bool Delete(const std::string& path, std::string* error) override;
    bool CreateItemFolder(std::string* folder, std::string* error) override;
    void RemoveItemFolderOf(const std::string& copy_path) override;
    std::string FileNameOf(const std::string& path) override;

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
