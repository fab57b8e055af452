#pragma once

#include <memory>
#include <string>

#include "engine/random_access_file.h"

namespace deckwright {

enum class OpenMode { kRead, kReadWrite };
// kExclusive: on Windows, no other opener may share the file (a file that another program holds
// open without sharing cannot be opened either). Elsewhere the file is opened normally.
enum class Sharing { kShared, kExclusive };

// An operating-system file as a RandomAccessFile. Paths are UTF-8 everywhere.
class OsFile final : public RandomAccessFile {
  public:
    // Opens an existing file. On failure returns null and puts the system's reason in *error.
    static std::unique_ptr<OsFile> Open(const std::string& path, OpenMode mode, Sharing sharing,
                                        std::string* error);
    ~OsFile() override;
    OsFile(const OsFile&) = delete;
    OsFile& operator=(const OsFile&) = delete;

    std::uint64_t Length() override;
    bool Seek(std::uint64_t offset) override;
    std::size_t Read(std::span<std::uint8_t> out) override;
    bool Write(std::span<const std::uint8_t> data) override;
    // On Linux only: Windows serializes reads on one handle, so side by side gains nothing.
    bool CanReadAt() const override;
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                       std::string* error) override;
    // Pushes written data to the disk. False on failure.
    bool Flush();

    const std::string& path() const { return path_; }

  private:
    OsFile(std::string path, std::intptr_t handle) : path_(std::move(path)), handle_(handle) {}
    std::string path_;
    std::intptr_t handle_;  // a file descriptor or a HANDLE
};

// The last component of a path, after the last '/' (or '\\' on Windows).
std::string FileNameOf(const std::string& path);

}  // namespace deckwright
