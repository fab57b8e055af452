#include "engine/sector_pass.h"

#include <algorithm>

#include "engine/ordered_read.h"

namespace deckwright {
namespace {

void LookAt(SectorPass& pass, int lane, const FileChunk& c) {
    pass.survey.Visit(lane, c);
    pass.scan.Look(lane, c);
    pass.zeros.Note(lane, c);
}

void DiscardAll(SectorPass& pass) {
    pass.survey.Discard();
    pass.scan.Discard();
    pass.zeros.Discard();
}

void FinishAll(SectorPass& pass, RandomAccessFile& file,
               const SectorSurvey::SectorChooser& choose) {
    pass.scan.Finish();
    pass.survey.Finish(file, choose);
    pass.zeros.Finish();
}

// Each part takes what lies below its own limit; the survey only sees what arrived.
std::uint64_t LimitOf(const SectorPass& pass) {
    return std::max(pass.survey.Limit(), pass.scan.Limit());
}

}  // namespace

SectorPass PassOverSectors(RandomAccessFile& file, const SectorSurvey::SectorChooser& choose) {
    const std::uint64_t length = file.Length();
    SectorPass pass{SectorSurvey(length), ReconstructionScan(length), ZeroSectors(length)};
    const std::uint64_t limit = LimitOf(pass);
    auto all = [&pass](int lane, const FileChunk& c) { LookAt(pass, lane, c); };
    if (limit > SECTOR_SIZE &&
        !ReadHalvesSideBySide(file, SECTOR_SIZE, limit, kSectorPassChunk, all)) {
        // Not to be done so, or a read failed: again in order, which records any error.
        DiscardAll(pass);
        ReadInOrder(file, SECTOR_SIZE, limit, kSectorPassChunk, ReadAhead::kHelperThread,
                    [&all](const FileChunk& c) { all(0, c); });
    }
    FinishAll(pass, file, choose);
    return pass;
}

SectorPassFeed::SectorPassFeed(std::uint64_t length)
    : length_(length),
      pass_{SectorSurvey(length), ReconstructionScan(length), ZeroSectors(length)},
      limit_(LimitOf(pass_)) {}

void SectorPassFeed::Take(std::uint64_t pos, std::span<const std::uint8_t> bytes) {
    if (spoilt_) return;
    const std::uint64_t end = pos + bytes.size();
    // A gap, an overlap, a piece past the end, or one after a short piece.
    if (pos != next_ || end > length_ || next_ % SECTOR_SIZE != 0) {
        spoilt_ = true;
        return;
    }
    next_ = end;
    // Only the bytes the pass looks at: from the first sector after the header to its limit.
    const std::uint64_t from = std::max<std::uint64_t>(pos, SECTOR_SIZE);
    const std::uint64_t to = std::min(end, limit_);
    if (from >= to) return;
    const std::uint64_t whole = (to - from) / SECTOR_SIZE * SECTOR_SIZE;
    const auto at = [&](std::uint64_t p) { return bytes.data() + (p - pos); };
    if (whole > 0) {
        const auto n = static_cast<std::size_t>(whole);
        Look({std::span(at(from), n), from, n});
    }
    if (whole < to - from) {
        // The file's short last sector: the pass sees it padded, as a read of it would give it.
        const auto got = static_cast<std::size_t>(to - from - whole);
        last_.assign(SECTOR_SIZE, 0);
        std::copy_n(at(from + whole), got, last_.begin());
        Look({std::span<const std::uint8_t>(last_), from + whole, got});
    }
}

void SectorPassFeed::Look(const FileChunk& chunk) {
    LookAt(pass_, 0, chunk);
}

SectorPass SectorPassFeed::Finish(RandomAccessFile& file,
                                  const SectorSurvey::SectorChooser& choose) {
    const std::uint64_t length = file.Length();
    if (spoilt_ || next_ != length_ || length != length_) return PassOverSectors(file, choose);
    FinishAll(pass_, file, choose);
    return std::move(pass_);
}

}  // namespace deckwright
