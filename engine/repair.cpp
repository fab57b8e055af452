#include "engine/repair.h"

#include <array>

#include "engine/compound_file_check.h"
#include "engine/header_rebuild.h"
#include "engine/header_reconstruction.h"

namespace deckwright {

namespace {

RepairOutcome IoFailure(RandomAccessFile& file) {
    return {false, "the copy could not be read or written: " + file.Error()};
}

bool SameLayout(const CompoundFileHeader& a, const CompoundFileHeader& b) {
    return a.number_of_fat_sectors == b.number_of_fat_sectors && a.difat == b.difat &&
           a.first_directory_sector_location == b.first_directory_sector_location &&
           a.first_mini_fat_sector_location == b.first_mini_fat_sector_location &&
           a.number_of_mini_fat_sectors == b.number_of_mini_fat_sectors &&
           a.number_of_difat_sectors == b.number_of_difat_sectors;
}

}  // namespace

// The rebuild runs first and stays as it is. A sound result is not enough to keep it: files
// saved in place hold whole earlier versions, and the rebuild's first-match searches land on
// them (the copy then checks out with old contents). So the header is also worked out from the
// file's structure, with the header as found as a hint, and that one wins when they differ.
RepairOutcome RepairCompoundFile(RandomAccessFile& file) {
    std::array<std::uint8_t, SECTOR_SIZE> original{};
    cfb::ReadHeaderBytes(file, original.data());
    if (file.Failed()) return IoFailure(file);

    RebuildHeader(file);
    if (file.Failed()) return IoFailure(file);
    // The checks and the reconstruction share their tables and the FAT they read: only the
    // header changes from one to the next.
    cfb::CheckScratch scratch;
    CheckResult rebuilt = cfb::CheckCompoundFileWith(file, scratch);
    if (file.Failed()) return IoFailure(file);

    const CompoundFileHeader hint = CompoundFileHeader::Parse(original);
    const Reconstruction reconstruction = ComputeReconstructedHeader(file, &hint, &scratch);
    if (file.Failed()) return IoFailure(file);
    if (!reconstruction.found) {
        if (rebuilt.sound) return {true, {}};
        return {false, reconstruction.problem.empty() ? rebuilt.problem : reconstruction.problem};
    }
    if (rebuilt.sound) {
        std::array<std::uint8_t, SECTOR_SIZE> now{};
        if (file.Seek(0)) file.Read(now);
        if (file.Failed()) return IoFailure(file);
        if (SameLayout(CompoundFileHeader::Parse(now), reconstruction.header)) return {true, {}};
    }
    const auto bytes = reconstruction.header.Bytes();
    if (!file.Seek(0) || !file.Write(bytes)) return IoFailure(file);
    const CheckResult final_check = cfb::CheckCompoundFileWith(file, scratch);
    if (file.Failed()) return IoFailure(file);
    if (!final_check.sound) return {false, final_check.problem};
    return {true, {}};
}

}  // namespace deckwright
