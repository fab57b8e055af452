#include "engine/header_rebuild.h"

#include <algorithm>

#include "engine/sector_classifiers.h"
#include "engine/sector_scan.h"

namespace deckwright {
namespace {

constexpr std::size_t kObjectTypeOffset = 66;
constexpr std::uint8_t kRootStorage = 5;
constexpr std::uint32_t kMiniStreamCutoff = 4096;

// Seeks and reads one 512-byte block; bytes that do not arrive read as zero. A failed seek
// reads nothing, so bytes from the wrong place are never used.
SectorBytes ReadBlockAt(RandomAccessFile& file, std::uint64_t offset) {
    SectorBytes bytes{};
    if (file.Seek(offset)) file.Read(bytes);
    return bytes;
}

std::uint64_t SectorOffset(std::uint32_t number) {
    return (static_cast<std::uint64_t>(number) + 1) * SECTOR_SIZE;
}

// Visits the whole sectors after the header in file order, through one 512-byte buffer, until
// visit returns false.
template <class Visit>
void ScanSectors(RandomAccessFile& file, Visit visit) {
    const std::uint64_t n = file.Length() / SECTOR_SIZE;
    if (n < 2) return;
    const bool positioned = file.Seek(SECTOR_SIZE);
    SectorBytes buffer{};
    for (std::uint64_t k = 0; k + 1 < n; ++k) {
        buffer.fill(0);
        if (positioned) file.Read(buffer);
        if (!visit(static_cast<std::int32_t>(k), Sector(buffer))) return;
    }
}

bool IsRootDirectorySector(Sector s) {
    return LooksLikeDirectorySector(s) && s[kObjectTypeOffset] == kRootStorage;
}

// The rebuild after the header has been read, over either way of asking about the sectors (a
// fresh scan per question, or one pass made beforehand). `found` is the header as read; `n` is
// the file length / 512, the bound sector numbers are tested against (unsigned, so the special
// values all fail it).
template <class Sectors>
SectorBytes RebuildFrom(const SectorBytes& found, std::uint64_t n, Sectors& sectors) {
    SectorBytes bytes = found;
    std::copy(kCanonicalHeaderPrefix.begin(), kCanonicalHeaderPrefix.end(), bytes.begin());
    CompoundFileHeader h = CompoundFileHeader::Parse(bytes);
    const CompoundFileHeader damaged = h;

    h.transaction_signature_number = 0;
    h.mini_stream_cutoff_size = kMiniStreamCutoff;
    if (h.first_difat_sector_location == kEndOfChain) h.number_of_difat_sectors = 0;

    const std::uint32_t fat_plus_mini = h.number_of_mini_fat_sectors + h.number_of_fat_sectors;
    const std::uint32_t fat_like = sectors.CountFatLike();

    // The FAT count is only ever raised: to the entries the DIFAT array lists...
    if (h.difat[0] != kFreeSect) {
        std::uint32_t listed = 0;
        while (listed < kHeaderDifatEntries && h.difat[listed] != kFreeSect) ++listed;
        h.number_of_fat_sectors = std::max(h.number_of_fat_sectors, listed);
    }

    // FAT sector 0 stays where it is when its sector looks the part; otherwise the DIFAT array
    // is refilled by content, block by block, while the damaged array had entries there.
    if (h.difat[0] > n) h.difat[0] = 0;
    const SectorBytes first_fat = sectors.Read(h.difat[0]);
    std::uint32_t found_fat = 0;
    if (!LooksLikeFatSector(first_fat) && FatBlockIndex(first_fat, 0) != 1) {
        std::int32_t v = sectors.FindFat(0, false);
        h.difat[0] = static_cast<std::uint32_t>(v);
        found_fat = 1;
        for (std::uint32_t k = 1; k < kHeaderDifatEntries; ++k) {
            if (damaged.difat[k] == kFreeSect || v >= 128) break;
            v = sectors.FindFat(static_cast<std::int32_t>(k), false);
            h.difat[k] = static_cast<std::uint32_t>(v);
            ++found_fat;
        }
    }
    // ...and to the FAT sectors found, when the counts do not add up to the FAT-like sectors.
    if (fat_like != fat_plus_mini && h.number_of_fat_sectors < found_fat) {
        h.number_of_fat_sectors = found_fat;
    }
    // Every FAT-like sector that is not a FAT sector is taken for a mini FAT sector.
    h.number_of_mini_fat_sectors = fat_like - h.number_of_fat_sectors;  // wraps when negative

    // The mini FAT is taken to be the second FAT-like sector of block 0 (the first is the FAT).
    if (h.first_mini_fat_sector_location > n) h.first_mini_fat_sector_location = 1;
    if (!LooksLikeFatSector(sectors.Read(h.first_mini_fat_sector_location))) {
        h.first_mini_fat_sector_location = static_cast<std::uint32_t>(sectors.FindFat(0, true));
    }

    if (h.first_directory_sector_location > n) h.first_directory_sector_location = 0;
    if (!IsRootDirectorySector(sectors.Read(h.first_directory_sector_location))) {
        h.first_directory_sector_location = static_cast<std::uint32_t>(sectors.FirstRoot());
    }

    h.Serialize(bytes);
    return bytes;
}

// Answers every question by reading the file again.
struct LiteralSectors {
    RandomAccessFile& file;
    std::uint32_t CountFatLike() { return CountFatSectors(file); }
    std::int32_t FindFat(std::int32_t block, bool skip) { return FindFatSector(file, block, skip); }
    std::int32_t FirstRoot() { return FindRootDirectorySector(file); }
    SectorBytes Read(std::uint32_t number) { return ReadBlockAt(file, SectorOffset(number)); }
};

// Answers every question from one pass made beforehand.
struct SurveyedSectors {
    const SectorSurvey& survey;
    std::uint32_t CountFatLike() { return survey.CountFatLike(); }
    std::int32_t FindFat(std::int32_t block, bool skip) { return survey.FindFat(block, skip); }
    std::int32_t FirstRoot() { return survey.FirstRootDirectory(); }
    SectorBytes Read(std::uint32_t number) { return survey.Kept(number); }
};

void WriteHeader(RandomAccessFile& file, const SectorBytes& bytes) {
    if (file.Seek(0)) file.Write(bytes);
}

}  // namespace

// FAT sector 0, the first mini FAT sector and the first directory sector, after the bound
// tests that replace numbers past the end.
std::vector<std::uint32_t> RebuildHeaderChooser(const SectorBytes& header_bytes, std::uint64_t n) {
    const CompoundFileHeader h = CompoundFileHeader::Parse(header_bytes);
    return {h.difat[0] > n ? 0u : h.difat[0],
            h.first_mini_fat_sector_location > n ? 1u : h.first_mini_fat_sector_location,
            h.first_directory_sector_location > n ? 0u : h.first_directory_sector_location};
}

std::int32_t FindFatSector(RandomAccessFile& file, std::int32_t block, bool skip_first) {
    std::int32_t result = -1;
    bool skipped = !skip_first;
    ScanSectors(file, [&](std::int32_t k, Sector s) {
        if (!LooksLikeFatSector(s) || FatBlockIndex(s, block) != block) return true;
        if (!skipped) {
            skipped = true;
            return true;
        }
        result = k;
        return false;
    });
    return result;
}

std::uint32_t CountFatSectors(RandomAccessFile& file) {
    std::uint32_t count = 0;
    ScanSectors(file, [&](std::int32_t, Sector s) {
        count += LooksLikeFatSector(s);
        return true;
    });
    return count;
}

std::int32_t FindRootDirectorySector(RandomAccessFile& file) {
    std::int32_t result = -1;
    ScanSectors(file, [&](std::int32_t k, Sector s) {
        if (!IsRootDirectorySector(s)) return true;
        result = k;
        return false;
    });
    return result;
}

std::array<std::uint8_t, SECTOR_SIZE> ComputeRebuiltHeaderLiteral(RandomAccessFile& file) {
    const std::uint64_t n = file.Length() / SECTOR_SIZE;
    const SectorBytes found = ReadBlockAt(file, 0);
    LiteralSectors sectors{file};
    return RebuildFrom(found, n, sectors);
}

int RebuildHeaderLiteral(RandomAccessFile& file) {
    WriteHeader(file, ComputeRebuiltHeaderLiteral(file));
    return 0;
}

std::array<std::uint8_t, SECTOR_SIZE> ComputeRebuiltHeader(const SectorSurvey& survey) {
    SurveyedSectors sectors{survey};
    return RebuildFrom(survey.header(), survey.sector_bound(), sectors);
}

std::array<std::uint8_t, SECTOR_SIZE> ComputeRebuiltHeader(RandomAccessFile& file) {
    return ComputeRebuiltHeader(SectorSurvey::Run(file, RebuildHeaderChooser));
}

int RebuildHeader(RandomAccessFile& file) {
    WriteHeader(file, ComputeRebuiltHeader(file));
    return 0;
}

int RebuildHeader(RandomAccessFile& file, const SectorSurvey& survey) {
    WriteHeader(file, ComputeRebuiltHeader(survey));
    return 0;
}

}  // namespace deckwright
