#pragma once

#include <memory>
#include <string>

#include "engine/random_access_file.h"
#include "platform/file_system.h"
#include "runs/file_operations.h"

namespace deckwright {

// An operating-system file as the engine reads and rewrites it.
class SystemFile final : public RandomAccessFile {
  public:
    explicit SystemFile(std::unique_ptr<OsFile> file) : file_(std::move(file)) {}

    std::uint64_t Length() override { return Checked(file_->Length()); }
    bool Seek(std::uint64_t offset) override { return Checked(file_->Seek(offset)); }
    std::size_t Read(std::span<std::uint8_t> out) override { return Checked(file_->Read(out)); }
    bool Write(std::span<const std::uint8_t> data) override { return Checked(file_->Write(data)); }
    bool CanReadAt() const override { return file_->CanReadAt(); }
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                       std::string* error) override {
        return file_->ReadAt(offset, out, error);
    }

  private:
    // The OS file keeps its first error; the engine reads it from here.
    template <typename T>
    T Checked(T result) {
        if (file_->Failed()) RecordError(file_->Error());
        return result;
    }
    std::unique_ptr<OsFile> file_;
};

// Opens an existing file for the engine; null with the system's reason in *error on failure.
std::unique_ptr<SystemFile> OpenSystemFile(const std::string& path, OpenMode mode,
                                           Sharing sharing, std::string* error);

// The runs' file operations on the operating system's files.
class SystemFileOperations final : public FileOperations {
  public:
    SystemFileOperations() = default;
    explicit SystemFileOperations(std::string temporary_folder)
        : system_(std::move(temporary_folder)) {}

    std::unique_ptr<RandomAccessFile> OpenForReading(const std::string& path,
                                                     std::string* error) override;
    std::unique_ptr<RandomAccessFile> OpenForReadWrite(const std::string& path,
                                                       std::string* error) override;
    bool CopyReplacing(const std::string& from, const std::string& to,
                       std::string* error) override {
        return system_.CopyReplacing(from, to, error);
    }
    bool CopyToTemporary(const std::string& from, const std::string& to, std::string* error,
                         CopyWatcher* watcher) override {
        return system_.CopyToTemporary(from, to, error, watcher);
    }
    MoveResult MoveNoReplace(const std::string& from, const std::string& to,
                             std::string* error) override {
        return system_.MoveNoReplace(from, to, error);
    }
    bool Delete(const std::string& path, std::string* error) override {
        return system_.Delete(path, error);
    }
    bool CreateItemFolder(std::string* folder, std::string* error) override {
        return system_.CreateItemFolder(folder, error);
    }
    void RemoveItemFolderOf(const std::string& copy_path) override {
        system_.RemoveItemFolderOf(copy_path);
    }
    bool KeepItemFolderOf(const std::string& copy_path) override {
        return system_.KeepItemFolderOf(copy_path);
    }
    bool CheckFolderWritable(const std::string& folder, std::string* error) override {
        return system_.CheckFolderWritable(folder, error);
    }
    std::string FileNameOf(const std::string& path) override {
        return deckwright::FileNameOf(path);
    }
    bool IdentityOf(const std::string& path, FileId* id) override {
        return deckwright::IdentityOf(path, id);
    }

    FileSystem& system() { return system_; }

  private:
    FileSystem system_;
};

}  // namespace deckwright
