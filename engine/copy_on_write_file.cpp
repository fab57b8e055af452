#include "engine/copy_on_write_file.h"

#include <algorithm>

#include "engine/view_read.h"

namespace deckwright {

std::uint64_t CopyOnWriteFile::BaseLength() {
    const std::uint64_t n = base_.Length();
    if (base_.Failed()) RecordError(base_.Error());
    return n;
}

std::uint64_t CopyOnWriteFile::Length() {
    return std::max(BaseLength(), written_end_);
}

void CopyOnWriteFile::Patch(std::uint64_t at, std::span<std::uint8_t> out) const {
    const std::uint64_t end = at + out.size();
    for (auto it = pages_.lower_bound(at / SECTOR_SIZE);
         it != pages_.end() && it->first * SECTOR_SIZE < end; ++it) {
        const std::uint64_t page = it->first * SECTOR_SIZE;
        const std::uint64_t from = std::max(page, at), to = std::min(page + SECTOR_SIZE, end);
        std::copy(it->second.begin() + static_cast<std::ptrdiff_t>(from - page),
                  it->second.begin() + static_cast<std::ptrdiff_t>(to - page),
                  out.begin() + static_cast<std::ptrdiff_t>(from - at));
    }
}

std::size_t CopyOnWriteFile::Read(std::span<std::uint8_t> out) {
    std::string error;
    const std::size_t n = ReadUnderView(base_, pos_, Length(), out, &error);
    if (!error.empty()) {
        RecordError(error);
        return 0;
    }
    Patch(pos_, out.first(n));
    pos_ += n;
    return n;
}

std::size_t CopyOnWriteFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                                    std::string* error) {
    // Only while nothing is written: the pass over the file reads it so, before any write.
    if (!pages_.empty()) {
        *error = "a file written to is read in order";
        return 0;
    }
    return base_.ReadAt(offset, out, error);
}

CopyOnWriteFile::Page& CopyOnWriteFile::Written(std::uint64_t index) {
    const auto it = pages_.find(index);
    if (it != pages_.end()) return it->second;
    Page page{};
    const std::uint64_t saved = pos_;
    pos_ = index * SECTOR_SIZE;
    Read(page);
    pos_ = saved;
    return pages_.emplace(index, page).first->second;
}

bool CopyOnWriteFile::Write(std::span<const std::uint8_t> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const std::uint64_t at = pos_ + done;
        const auto in_page = static_cast<std::size_t>(at % SECTOR_SIZE);
        const std::size_t take = std::min<std::size_t>(data.size() - done, SECTOR_SIZE - in_page);
        Page& page = Written(at / SECTOR_SIZE);
        if (Failed()) return false;
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(done), take,
                    page.begin() + static_cast<std::ptrdiff_t>(in_page));
        done += take;
    }
    pos_ += data.size();
    written_end_ = std::max(written_end_, pos_);
    return true;
}

}  // namespace deckwright
