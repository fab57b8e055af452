#include "runs/held_copy.h"

namespace deckwright {

bool HeldCopy::Seek(std::uint64_t offset) {
    position_ = offset;
    return held_.Seek(offset);
}

std::size_t HeldCopy::Read(std::span<std::uint8_t> out) {
    const std::size_t n = held_.Read(out);
    position_ += n;
    return n;
}

bool HeldCopy::Write(std::span<const std::uint8_t> data) {
    if (!file_.Seek(position_) || !file_.Write(data)) {
        RecordError(file_.Error().empty() ? "write failed" : file_.Error());
        return false;
    }
    held_.Write(data);
    position_ += data.size();
    return true;
}

}  // namespace deckwright
