#include "platform/file_operations.h"

#include "platform/os_file.h"

namespace deckwright {

// Opening and flushing are the same on every system: OsFile carries the differences.

std::unique_ptr<RandomAccessFile> PlatformFileOperations::OpenForReading(const std::string& path,
                                                                         std::string* error) {
    return OsFile::Open(path, OpenMode::kRead, Sharing::kExclusive, error);
}

std::unique_ptr<RandomAccessFile> PlatformFileOperations::OpenForReadWrite(const std::string& path,
                                                                           std::string* error) {
    return OsFile::Open(path, OpenMode::kReadWrite, Sharing::kShared, error);
}

bool PlatformFileOperations::Flush(RandomAccessFile& file, std::string* error) {
    auto& os_file = static_cast<OsFile&>(file);  // this object made it
    if (os_file.Flush()) return true;
    *error = os_file.Error();
    return false;
}

}  // namespace deckwright
