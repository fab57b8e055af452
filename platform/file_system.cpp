#include "platform/file_system.h"

namespace deckwright {

// The same on every system: OsFile carries the differences.

std::unique_ptr<OsFile> FileSystem::OpenForReading(const std::string& path,
                                                   std::string* error) const {
    return OsFile::Open(path, OpenMode::kRead, Sharing::kExclusive, error);
}

std::unique_ptr<OsFile> FileSystem::OpenForReadWrite(const std::string& path,
                                                     std::string* error) const {
    return OsFile::Open(path, OpenMode::kReadWrite, Sharing::kShared, error);
}

}  // namespace deckwright
