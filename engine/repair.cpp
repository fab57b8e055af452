#include "engine/repair.h"

#include <algorithm>
#include <array>
#include <set>

#include "engine/compound_file_check.h"
#include "engine/header_rebuild.h"
#include "engine/header_reconstruction.h"
#include "engine/little_endian.h"
#include "engine/presentation_check.h"

namespace deckwright {

namespace {

RepairOutcome IoFailure(RandomAccessFile& file) {
    return {false, "the copy could not be read or written: " + file.Error(), {}, {}};
}

bool SameLayout(const CompoundFileHeader& a, const CompoundFileHeader& b) {
    return a.number_of_fat_sectors == b.number_of_fat_sectors && a.difat == b.difat &&
           a.first_directory_sector_location == b.first_directory_sector_location &&
           a.first_mini_fat_sector_location == b.first_mini_fat_sector_location &&
           a.number_of_mini_fat_sectors == b.number_of_mini_fat_sectors &&
           a.number_of_difat_sectors == b.number_of_difat_sectors;
}

// Whether the header as found is the file's own: its signature is intact and its directory
// pointer leads to a root entry in a sector its FAT holds in use (or that FAT's sector there is
// wiped). Damage past such a header is repaired under it, and a layout found elsewhere with
// another directory is an earlier version of the presentation (files saved in place keep whole
// earlier versions in free sectors), never handed back as the file.
bool IsOwnHeader(RandomAccessFile& file, const CompoundFileHeader& found) {
    if (found.header_signature != kHeaderSignature) return false;
    const std::uint32_t s = cfb::SectorCount(file.Length());
    const std::uint32_t nfat = found.number_of_fat_sectors;
    const std::uint32_t dir = found.first_directory_sector_location;
    if (nfat == 0 || nfat > s || dir >= s) return false;
    std::array<std::uint8_t, SECTOR_SIZE> b{};
    cfb::ReadSector(file, dir, b.data());
    if (b[66] != cfb::kTypeRoot || b[67] > 1 || ReadLE16(b.data() + 64) > 64) return false;
    const std::uint32_t block = dir / kEntriesPerSector;
    if (block >= kHeaderDifatEntries || block >= nfat || found.difat[block] >= s) return false;
    cfb::ReadSector(file, found.difat[block], b.data());
    const bool wiped = std::all_of(b.begin(), b.end(), [&b](std::uint8_t x) { return x == b[0]; });
    const std::uint32_t v = ReadLE32(b.data() + 4 * (dir % kEntriesPerSector));
    return wiped || v < s || v == kEndOfChain;
}

// Judges the presentation's records once the structure checks out.
RepairOutcome Judged(RandomAccessFile& file, std::vector<RebuiltSector> rebuilt) {
    std::array<std::uint8_t, SECTOR_SIZE> now{};
    cfb::ReadHeaderBytes(file, now.data());
    const ContentCheck content = CheckPresentationContent(file, CompoundFileHeader::Parse(now));
    if (file.Failed()) return IoFailure(file);
    RepairOutcome out{true, {}, {}, std::move(rebuilt)};
    if (content.damaged) out.warning = DamagedRecordsWarning(content);
    return out;
}

// Writes `header` and the structure repair worked out under it, then checks the copy.
RepairOutcome Apply(RandomAccessFile& file, const CompoundFileHeader& header,
                    const StructureRepair& repair, cfb::CheckScratch& scratch) {
    const auto bytes = header.Bytes();
    if (!ApplyStructureRepair(file, repair) || !file.Seek(0) || !file.Write(bytes))
        return IoFailure(file);
    // The scratch keeps the FAT it read last; rebuilt FAT sectors make it stale.
    if (!repair.sectors.empty()) scratch.fat_sectors.clear();
    const CheckResult final_check = cfb::CheckCompoundFileWith(file, scratch);
    if (file.Failed()) return IoFailure(file);
    if (!final_check.sound) return {false, final_check.problem, {}, {}};
    return Judged(file, repair.rebuilt);
}

}  // namespace

// The header is rebuilt and worked out from the file's structure (the rebuild's first-match
// searches can land on earlier versions a file saved in place keeps, so the reconstruction wins
// when they differ). When no header makes the file check out as it stands, the structures past
// it are rebuilt under the header as found (when it is the file's own) or under the layouts the
// reconstruction tried. A header that is the file's own is never traded for a layout with
// another directory.
RepairOutcome RepairCompoundFile(RandomAccessFile& file) {
    std::array<std::uint8_t, SECTOR_SIZE> original{};
    cfb::ReadHeaderBytes(file, original.data());
    if (file.Failed()) return IoFailure(file);
    const CompoundFileHeader found = CompoundFileHeader::Parse(original);
    CompoundFileHeader canonical = found;
    CanonicalizeFixedFields(canonical);
    const bool own = IsOwnHeader(file, found);
    if (file.Failed()) return IoFailure(file);
    auto other_directory = [&](const CompoundFileHeader& h) {
        return own && h.first_directory_sector_location != found.first_directory_sector_location;
    };

    RebuildHeader(file);
    if (file.Failed()) return IoFailure(file);
    // The checks and the reconstruction share their tables and the FAT they read: only the
    // header changes from one to the next.
    cfb::CheckScratch scratch;
    std::array<std::uint8_t, SECTOR_SIZE> rebuilt_bytes{};
    cfb::ReadHeaderBytes(file, rebuilt_bytes.data());
    const CompoundFileHeader rebuilt_header = CompoundFileHeader::Parse(rebuilt_bytes);
    const CheckResult rebuilt = cfb::CheckCompoundFileWith(file, scratch);
    if (file.Failed()) return IoFailure(file);

    const Reconstruction reconstruction = ComputeReconstructedHeader(file, &found, &scratch);
    if (file.Failed()) return IoFailure(file);
    if (reconstruction.found && !other_directory(reconstruction.header)) {
        if (rebuilt.sound && SameLayout(rebuilt_header, reconstruction.header)) return Judged(file, {});
        return Apply(file, reconstruction.header, StructureRepair{}, scratch);
    }
    if (!reconstruction.found && rebuilt.sound && !other_directory(rebuilt_header))
        return Judged(file, {});
    const bool earlier_version = (reconstruction.found || rebuilt.sound);

    // Nothing checks out as it stands: the structures past the header may be what is damaged.
    // Under the header as found when it is the file's own, else under the layouts tried, most
    // likely first.
    std::vector<CompoundFileHeader> layouts;
    if (own) {
        layouts.push_back(canonical);
    } else {
        layouts.push_back(rebuilt_header);
        layouts.insert(layouts.end(), reconstruction.unsound_layouts.begin(),
                       reconstruction.unsound_layouts.end());
    }
    std::string problem;
    for (const CompoundFileHeader& h : layouts) {
        const StructureRepair repair = ComputeStructureRepair(file, h);
        if (file.Failed()) return IoFailure(file);
        if (repair.sound) return Apply(file, h, repair, scratch);
        if (problem.empty()) problem = repair.problem;
    }
    if (!file.Seek(0) || !file.Write(original)) return IoFailure(file);
    if (!own || problem.empty())
        problem = reconstruction.problem.empty() ? rebuilt.problem : reconstruction.problem;
    if (earlier_version)
        problem += " (an earlier version of the presentation is still in the file, but it is "
                   "not the latest)";
    return {false, problem, {}, {}};
}

}  // namespace deckwright
