#include "runs/system_files.h"

namespace deckwright {

std::unique_ptr<SystemFile> OpenSystemFile(const std::string& path, OpenMode mode,
                                           Sharing sharing, std::string* error) {
    auto file = OsFile::Open(path, mode, sharing, error);
    return file ? std::make_unique<SystemFile>(std::move(file)) : nullptr;
}

std::unique_ptr<RandomAccessFile> SystemFileOperations::OpenForReading(const std::string& path,
                                                                       std::string* error) {
    auto file = system_.OpenForReading(path, error);
    return file ? std::make_unique<SystemFile>(std::move(file)) : nullptr;
}

std::unique_ptr<RandomAccessFile> SystemFileOperations::OpenForReadWrite(const std::string& path,
                                                                         std::string* error) {
    auto file = system_.OpenForReadWrite(path, error);
    return file ? std::make_unique<SystemFile>(std::move(file)) : nullptr;
}

}  // namespace deckwright
