#include "engine/sector_scan.h"

#include <algorithm>
#include <array>

#include "engine/ordered_read.h"

namespace deckwright {
namespace {

constexpr std::size_t kObjectTypeOffset = 66;
constexpr std::uint8_t kRootStorage = 5;

// Seeks and reads one 512-byte block; bytes that do not arrive read as zero.
SectorBytes ReadBlockAt(RandomAccessFile& file, std::uint64_t offset) {
    SectorBytes bytes{};
    if (file.Seek(offset)) file.Read(bytes);
    return bytes;
}

}  // namespace

SectorSurvey::SectorSurvey(std::uint64_t length) : sector_bound_(length / SECTOR_SIZE) {}

SectorSurvey SectorSurvey::Run(RandomAccessFile& file, const SectorChooser& choose) {
    SectorSurvey survey(file.Length());
    const std::uint64_t limit = survey.Limit();
    if (limit > SECTOR_SIZE &&
        !ReadHalvesSideBySide(file, SECTOR_SIZE, limit, kReadChunk,
                              [&](int lane, const FileChunk& c) { survey.Visit(lane, c); })) {
        survey.Discard();
        ReadInOrder(file, SECTOR_SIZE, limit, kReadChunk, ReadAhead::kHelperThread,
                    [&](const FileChunk& c) { survey.Visit(0, c); });
    }
    survey.Finish(file, choose);
    return survey;
}

void SectorSurvey::Visit(int lane, const FileChunk& c) {
    std::vector<FatLike>& fat_like = lane == 0 ? fat_like_ : second_.fat_like;
    std::int32_t& first_root = lane == 0 ? first_root_directory_ : second_.first_root_directory;
    // Past c.got nothing arrived: those sectors read as zeros, which neither look like a FAT
    // sector nor hold a root entry.
    for (std::size_t off = 0; off < c.got; off += SECTOR_SIZE) {
        const std::uint64_t number = (c.pos + off) / SECTOR_SIZE - 1;
        // Only whole sectors: the last one may be short, and is only ever read by number.
        if (number + 2 > sector_bound_) break;
        const Sector sector(c.bytes.data() + off, SECTOR_SIZE);
        const auto n32 = static_cast<std::uint32_t>(number);
        if (LooksLikeFatSector(sector)) fat_like.push_back({n32, SummarizeFatSector(sector)});
        if (first_root < 0 && sector[kObjectTypeOffset] == kRootStorage &&
            LooksLikeDirectorySector(sector)) {
            first_root = static_cast<std::int32_t>(n32);
        }
    }
}

void SectorSurvey::Discard() {
    fat_like_.clear();
    first_root_directory_ = -1;
    second_ = Lane{};
}

void SectorSurvey::Finish(RandomAccessFile& file, const SectorChooser& choose) {
    fat_like_.insert(fat_like_.end(), second_.fat_like.begin(), second_.fat_like.end());
    if (first_root_directory_ < 0) first_root_directory_ = second_.first_root_directory;
    second_ = Lane{};
    header_ = ReadBlockAt(file, 0);
    for (const std::uint32_t n : choose(header_, sector_bound_)) {
        kept_.emplace_back(n, ReadBlockAt(file, (static_cast<std::uint64_t>(n) + 1) * SECTOR_SIZE));
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
