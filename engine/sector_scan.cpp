#include "engine/sector_scan.h"

#include <algorithm>
#include <array>

#include "engine/ordered_read.h"

namespace deckwright {
namespace {

constexpr std::size_t kObjectTypeOffset = 66;
constexpr std::uint8_t kRootStorage = 5;

}  // namespace

SectorSurvey SectorSurvey::Run(RandomAccessFile& file, const SectorChooser& choose) {
    SectorSurvey survey;
    const std::uint64_t length = file.Length();
    survey.sector_bound_ = length / SECTOR_SIZE;
    // Whole sectors 0 .. N-2 are classified; sectors up to max(N, 1) may be read by number.
    const std::uint64_t last_readable = std::max<std::uint64_t>(survey.sector_bound_, 1);
    const std::uint64_t limit = (last_readable + 2) * SECTOR_SIZE;

    bool header_seen = false;
    auto choose_kept = [&] {
        header_seen = true;
        for (const std::uint32_t n : choose(survey.header_, survey.sector_bound_)) {
            survey.kept_.emplace_back(n, SectorBytes{});
        }
    };
    auto consume = [&](const FileChunk& c) {
        // Past c.got nothing arrived: those sectors read as zeros, which neither look like a
        // FAT sector nor hold a root entry, and kept copies start out zero.
        for (std::size_t off = 0; off < c.got; off += SECTOR_SIZE) {
            const Sector sector(c.bytes.data() + off, SECTOR_SIZE);
            const std::uint64_t at = c.pos + off;
            if (at == 0) {
                std::copy(sector.begin(), sector.end(), survey.header_.begin());
                choose_kept();
            } else {
                survey.VisitSector(at / SECTOR_SIZE - 1, sector);
            }
        }
    };
    ReadInOrder(file, 0, limit, kReadChunk, ReadAhead::kHelperThread, consume);
    if (!header_seen) choose_kept();
    return survey;
}

void SectorSurvey::VisitSector(std::uint64_t number, Sector sector) {
    for (auto& [kept_number, bytes] : kept_) {
        if (kept_number == number) std::copy(sector.begin(), sector.end(), bytes.begin());
    }
    if (number + 2 > sector_bound_) return;  // not a whole sector: only ever read by number
    const auto n32 = static_cast<std::uint32_t>(number);
    if (LooksLikeFatSector(sector)) fat_like_.push_back({n32, SummarizeFatSector(sector)});
    if (first_root_directory_ < 0 && sector[kObjectTypeOffset] == kRootStorage &&
        LooksLikeDirectorySector(sector)) {
        first_root_directory_ = static_cast<std::int32_t>(n32);
    }
}

std::int32_t SectorSurvey::FindFat(std::int32_t block, bool skip_first) const {
    bool skipped = !skip_first;
    for (const FatLike& s : fat_like_) {
        if (FatBlockIndex(s.summary, block) != block) continue;
        if (skipped) return static_cast<std::int32_t>(s.number);
        skipped = true;
    }
    return -1;
}

SectorBytes SectorSurvey::Kept(std::uint32_t number) const {
    for (const auto& [kept_number, bytes] : kept_) {
        if (kept_number == number) return bytes;
    }
    return SectorBytes{};
}

}  // namespace deckwright
