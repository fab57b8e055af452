#include "engine/copy_on_write_file.h"

#include <algorithm>

namespace deckwright {

std::uint64_t CopyOnWriteFile::BaseLength() {
    const std::uint64_t n = base_.Length();
    if (base_.Failed()) RecordError(base_.Error());
    return n;
}

std::uint64_t CopyOnWriteFile::Length() {
    return std::max(BaseLength(), written_end_);
}

std::size_t CopyOnWriteFile::Read(std::span<std::uint8_t> out) {
    const std::uint64_t real = BaseLength();
    const std::uint64_t end = std::max(real, written_end_);
    if (pos_ >= end) return 0;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), end - pos_));
    std::size_t done = 0;
    while (done < n) {
        const std::uint64_t at = pos_ + done;
        const std::uint64_t index = at / SECTOR_SIZE;
        const auto in_page = static_cast<std::size_t>(at % SECTOR_SIZE);
        const std::size_t take = std::min<std::size_t>(n - done, SECTOR_SIZE - in_page);
        const auto part = out.subspan(done, take);
        if (const auto it = pages_.find(index); it != pages_.end()) {
            std::copy_n(it->second.begin() + static_cast<std::ptrdiff_t>(in_page), take,
                        part.begin());
        } else {
            // Past the base's end (and short of what was written) the file reads as zeros.
            std::size_t got = 0;
            if (at < real && base_.Seek(at)) {
                const auto want =
                    static_cast<std::size_t>(std::min<std::uint64_t>(take, real - at));
                while (got < want) {
                    const std::size_t r = base_.Read(part.subspan(got, want - got));
                    if (r == 0) break;
                    got += r;
                }
            }
            if (base_.Failed()) {
                RecordError(base_.Error());
                pos_ += done + got;
                return done + got;
            }
            std::fill(part.begin() + static_cast<std::ptrdiff_t>(got), part.end(), std::uint8_t{0});
        }
        done += take;
    }
    pos_ += n;
    return n;
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
