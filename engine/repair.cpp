#include "engine/repair.h"

#include <algorithm>
#include <array>
#include <set>

#include "engine/compound_file_check.h"
#include "engine/entry_names.h"
#include "engine/header_rebuild.h"
#include "engine/header_reconstruction.h"
#include "engine/little_endian.h"
#include "engine/presentation_check.h"
#include "engine/sector_pass.h"
#include "engine/structure_repair.h"

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
// pointer leads to a root entry in a sector its FAT does not mark free (its successor may lie in
// a tail cut off, or be spoilt; or that FAT's sector there is wiped), or the structures it names
// lie just past the end of a file whose tail was cut off.
// Damage past such a header is repaired under it, and a layout found elsewhere is an earlier
// version of the presentation (files saved in place keep whole earlier versions in free
// sectors), never handed back as the file.
bool IsOwnHeader(RandomAccessFile& file, const CompoundFileHeader& found) {
    if (found.header_signature != kHeaderSignature) return false;
    const std::uint32_t s = cfb::SectorCount(file.Length());
    const std::uint64_t reach = static_cast<std::uint64_t>(s) + kMaxLostSectors;
    const std::uint32_t nfat = found.number_of_fat_sectors;
    const std::uint32_t dir = found.first_directory_sector_location;
    if (nfat == 0 || nfat > reach || dir >= reach) return false;
    if (dir >= s) return true;
    std::array<std::uint8_t, SECTOR_SIZE> b{};
    cfb::ReadSector(file, dir, b.data());
    if (!cfb::LooksLikeRootEntry(b.data())) return false;
    const std::uint32_t block = dir / kEntriesPerSector;
    if (block >= nfat) return false;
    // The FAT sector of the directory's block: in the header, or in the DIFAT sector that
    // lists it (big files keep their directory past the first 109 blocks).
    std::uint32_t fat = kFreeSect;
    if (block < kHeaderDifatEntries) {
        fat = found.difat[block];
    } else {
        const std::uint32_t index = (block - kHeaderDifatEntries) / cfb::kDifatEntriesPerSector;
        std::uint32_t d = found.first_difat_sector_location;
        for (std::uint32_t i = 0; i <= index; ++i) {
            if (i >= found.number_of_difat_sectors || d >= s) return false;
            cfb::ReadSector(file, d, b.data());
            d = ReadLE32(b.data() + 4 * cfb::kDifatEntriesPerSector);
        }
        fat = ReadLE32(b.data() + 4 * ((block - kHeaderDifatEntries) % cfb::kDifatEntriesPerSector));
    }
    if (fat >= reach) return false;
    if (fat >= s) return true;
    cfb::ReadSector(file, fat, b.data());
    const std::uint32_t v = ReadLE32(b.data() + 4 * (dir % kEntriesPerSector));
    // Free is an earlier save's directory; a value that is no sector (a flipped bit) is a
    // damaged entry of a sector in use.
    return cfb::Uniform(b.data()) || (v != kFreeSect && v != kFatSect && v != kDifSect);
}

// Whether `h` trades FAT sectors of the file's own header for others: one cut off with the tail,
// or one still intact that the header's FAT marks FATSECT. Such a layout takes stale copies of
// FAT blocks from an earlier save. A header entry that names a sector the FAT does not mark so
// (wiped, or data) is a damaged entry, and replacing it is the header's repair. (Only the first
// 109 blocks are compared: the header lists no more.)
bool TradesOwnFatSectors(RandomAccessFile& file, const CompoundFileHeader& own,
                         const CompoundFileHeader& h) {
    const std::uint32_t s = cfb::SectorCount(file.Length());
    const std::uint32_t n = std::min(own.number_of_fat_sectors, kHeaderDifatEntries);
    std::array<std::uint8_t, SECTOR_SIZE> b{};
    for (std::uint32_t j = 0; j < n; ++j) {
        const std::uint32_t k = own.difat[j];
        if (k == h.difat[j]) continue;
        if (k >= s) {
            if (k - s < kMaxLostSectors) return true;
            continue;
        }
        const std::uint32_t block = k / kEntriesPerSector;
        if (block >= n || own.difat[block] >= s) continue;
        cfb::ReadSector(file, own.difat[block], b.data());
        if (ReadLE32(b.data() + 4 * (k % kEntriesPerSector)) == kFatSect) return true;
    }
    return false;
}

// Sets back the names a flipped bit garbled (see ComputeNameMends) when the file then checks
// out under `header`, whose FAT the last check left in `scratch`: the directory sectors are
// written, and what changed is added to `rebuilt`. False when there is none to set back, or the
// file would not check out.
bool MendNames(RandomAccessFile& file, const CompoundFileHeader& header, cfb::CheckScratch& scratch,
               std::vector<RebuiltSector>* rebuilt) {
    NameMends mends = ComputeNameMends(file, header, scratch);
    if (mends.sectors.empty() || file.Failed()) return false;
    OverlayFile view(file, mends.sectors, file.Length());
    if (!CheckCompoundFile(view, header).sound) return false;
    StructureRepair names;
    names.sectors = std::move(mends.sectors);
    names.length = file.Length();
    if (!ApplyStructureRepair(file, names)) return false;
    rebuilt->insert(rebuilt->end(), mends.rebuilt.begin(), mends.rebuilt.end());
    return true;
}

// Judges the presentation's records once the structure checks out, with the FAT the last
// check left in the scratch (read once, held once). Names garbled by a flipped bit are set
// back after, with the FAT that check leaves: the file checks out with them, but no reader
// finds what they name (the presentation's own streams, which the records are read from, are
// there already).
RepairOutcome Judged(RandomAccessFile& file, std::vector<RebuiltSector> rebuilt,
                     cfb::CheckScratch& scratch, const ZeroSectors* zeros, RepairReport* report) {
    std::array<std::uint8_t, SECTOR_SIZE> now{};
    cfb::ReadHeaderBytes(file, now.data());
    const CompoundFileHeader header = CompoundFileHeader::Parse(now);
    const ContentCheck content = CheckPresentationContent(file, header, &scratch, zeros);
    if (file.Failed()) return IoFailure(file);
    MendNames(file, header, scratch, &rebuilt);
    if (file.Failed()) return IoFailure(file);
    if (report) report->content = content;
    RepairOutcome out{true, {}, {}, std::move(rebuilt)};
    if (content.damaged) out.warning = DamagedRecordsWarning(content);
    return out;
}

// Writes `header` and the structure repair worked out under it, then checks the copy.
RepairOutcome Apply(RandomAccessFile& file, const CompoundFileHeader& header,
                    const StructureRepair& repair, cfb::CheckScratch& scratch,
                    const ZeroSectors* zeros, RepairReport* report) {
    const auto bytes = header.Bytes();
    if (!ApplyStructureRepair(file, repair) || !file.Seek(0) || !file.Write(bytes))
        return IoFailure(file);
    // The scratch keeps the FAT it read last; rebuilt FAT sectors make it stale.
    if (!repair.sectors.empty()) scratch.fat_sectors.clear();
    const CheckResult final_check = cfb::CheckCompoundFileWith(file, scratch);
    if (file.Failed()) return IoFailure(file);
    if (!final_check.sound) return {false, final_check.problem, {}, {}};
    // Sectors the pass saw are rewritten: what it saw of them no longer holds.
    return Judged(file, repair.rebuilt, scratch, repair.sectors.empty() ? zeros : nullptr, report);
}

}  // namespace

// The header is rebuilt and worked out from the file's structure (the rebuild's first-match
// searches can land on earlier versions a file saved in place keeps, so the reconstruction wins
// when they differ). When no header makes the file check out as it stands, the structures past
// it are rebuilt under the header as found (when it is the file's own) or under the layouts the
// reconstruction tried. An earlier version of the presentation that the file still holds is
// never handed back as the file.
RepairOutcome RepairCompoundFile(RandomAccessFile& file, SectorPassFeed* seen,
                                 RepairReport* report) {
    std::array<std::uint8_t, SECTOR_SIZE> original{};
    cfb::ReadHeaderBytes(file, original.data());
    if (file.Failed()) return IoFailure(file);
    const CompoundFileHeader found = CompoundFileHeader::Parse(original);
    CompoundFileHeader canonical = found;
    CanonicalizeFixedFields(canonical);
    const bool own = IsOwnHeader(file, found);
    if (file.Failed()) return IoFailure(file);

    // One read of the copy (or of its source while it was copied) serves the rebuild, the
    // reconstruction and the check of the records.
    SectorPass pass = seen ? seen->Finish(file, RebuildHeaderChooser)
                           : PassOverSectors(file, RebuildHeaderChooser);
    RebuildHeader(file, pass.survey);
    if (file.Failed()) return IoFailure(file);
    // The checks and the reconstruction share their tables and the FAT they read: only the
    // header changes from one to the next.
    cfb::CheckScratch scratch;
    std::array<std::uint8_t, SECTOR_SIZE> rebuilt_bytes{};
    cfb::ReadHeaderBytes(file, rebuilt_bytes.data());
    const CompoundFileHeader rebuilt_header = CompoundFileHeader::Parse(rebuilt_bytes);
    const CheckResult rebuilt = cfb::CheckCompoundFileWith(file, scratch);
    if (file.Failed()) return IoFailure(file);

    const Reconstruction reconstruction =
        ComputeReconstructedHeader(file, &found, &scratch, &pass.scan);
    if (file.Failed()) return IoFailure(file);
    if (report) *report = {rebuilt_bytes, rebuilt, reconstruction, {}};
    // A layout that checks out is an earlier version when it trades the file's own header for
    // another directory or for stale copies of lost FAT sectors, or when the file holds a root
    // entry saved later than its own.
    auto earlier = [&](const CompoundFileHeader& h, const CheckResult& check) {
        if (own && (h.first_directory_sector_location != found.first_directory_sector_location ||
                    TradesOwnFatSectors(file, found, h)))
            return true;
        return OlderThanNewestRoot(check.root_modified, reconstruction);
    };
    bool earlier_version = false;
    if (reconstruction.found) {
        if (!earlier(reconstruction.header, reconstruction.check)) {
            if (rebuilt.sound && SameLayout(rebuilt_header, reconstruction.header))
                return Judged(file, {}, scratch, &pass.zeros, report);
            return Apply(file, reconstruction.header, StructureRepair{}, scratch, &pass.zeros,
                         report);
        }
        earlier_version = true;
    }
    if (file.Failed()) return IoFailure(file);
    if (!reconstruction.found && rebuilt.sound) {
        if (!earlier(rebuilt_header, rebuilt))
            return Judged(file, {}, scratch, &pass.zeros, report);
        earlier_version = true;
    }

    // Nothing checks out as the latest version as it stands: the structures past the header
    // may be what is damaged. Under the header as found when it is the file's own, else under
    // the layouts tried, most likely first.
    std::vector<CompoundFileHeader> layouts;
    if (own) {
        layouts.push_back(canonical);
    } else {
        layouts.push_back(rebuilt_header);
        layouts.insert(layouts.end(), reconstruction.unsound_layouts.begin(),
                       reconstruction.unsound_layouts.end());
    }
    std::string problem;
    // What stands in the way under the most likely layout the reconstruction tried that does
    // not check out (after the rebuilt header): with the file's own header lost, that is the
    // damage to tell of, not the rebuilt header's.
    std::string most_likely_problem;
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        const CompoundFileHeader& h = layouts[i];
        const StructureRepair repair = ComputeStructureRepair(file, h, !own);
        if (file.Failed()) return IoFailure(file);
        if (repair.sound && !earlier(h, repair.check))
            return Apply(file, h, repair, scratch, &pass.zeros, report);
        if (repair.sound) earlier_version = true;
        if (problem.empty() && !repair.sound) problem = repair.problem;
        if (!own && i >= 1 && !repair.sound && most_likely_problem.empty())
            most_likely_problem = repair.problem;
    }
    if (file.Failed()) return IoFailure(file);
    // A name the presentation cannot do without, garbled by a flipped bit under the file's own
    // header, is all that stands in the way.
    if (own) {
        std::vector<RebuiltSector> names;
        cfb::CheckCompoundFileWith(file, canonical, scratch);  // the FAT the mends read by
        if (MendNames(file, canonical, scratch, &names)) {
            const auto bytes = canonical.Bytes();
            if (!file.Seek(0) || !file.Write(bytes)) return IoFailure(file);
            return Judged(file, std::move(names), scratch, nullptr, report);
        }
        if (file.Failed()) return IoFailure(file);
    }
    if (!file.Seek(0) || !file.Write(original)) return IoFailure(file);
    const std::string& header_problem =
        reconstruction.problem.empty() ? rebuilt.problem : reconstruction.problem;
    if (!most_likely_problem.empty())
        problem = most_likely_problem;
    else if (!own && earlier_version)
        problem.clear();  // the rebuilt header's faults say nothing of the latest version
    else if ((!own || problem.empty()) && !header_problem.empty())
        problem = header_problem;
    if (problem.empty()) problem = "the latest version of the presentation cannot be rebuilt";
    if (earlier_version)
        problem += " (an earlier version of the presentation is still in the file, but it is "
                   "not the latest)";
    return {false, problem, {}, {}};
}

}  // namespace deckwright
