#include "engine/memory_file.h"

#include <algorithm>
#include <cstring>

namespace deckwright {

bool MemoryFile::Seek(std::uint64_t offset) {
    if (fail_all_) {
        RecordError("seek failed: simulated I/O error");
        return false;
    }
    position_ = offset;
    return true;
}

std::size_t MemoryFile::Read(std::span<std::uint8_t> out) {
    if (fail_all_) {
        RecordError("read failed: simulated I/O error");
        return 0;
    }
    if (position_ >= bytes_.size()) return 0;
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), bytes_.size() - position_));
    std::memcpy(out.data(), bytes_.data() + position_, n);
    position_ += n;
    return n;
}

std::size_t MemoryFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                               std::string* error) {
    if (fail_all_) {
        *error = "read failed: simulated I/O error";
        return 0;
    }
    if (offset >= bytes_.size()) return 0;
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), bytes_.size() - offset));
    std::memcpy(out.data(), bytes_.data() + offset, n);
    return n;
}

bool MemoryFile::Write(std::span<const std::uint8_t> data) {
    if (fail_all_) {
        RecordError("write failed: simulated I/O error");
        return false;
    }
    const std::uint64_t end = position_ + data.size();
    if (end > bytes_.size()) bytes_.resize(static_cast<std::size_t>(end));
    std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ = end;
    return true;
}

}  // namespace deckwright
