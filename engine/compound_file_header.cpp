#include "engine/compound_file_header.h"

#include <algorithm>

#include "engine/little_endian.h"

namespace deckwright {

const std::array<std::uint8_t, CompoundFileHeader::kCanonicalPrefixSize> kCanonicalHeaderPrefix = {
    0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1,                          // signature
    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0,  // CLSID
    0x3E, 0x00,                                                              // minor version
    0x03, 0x00,                                                              // major version 3
    0xFE, 0xFF,                                                              // byte order
    0x09, 0x00,                       // sector shift: 512-byte sectors
    0x06, 0x00,                       // mini sector shift: 64-byte mini sectors
    0,    0,    0,    0,    0,    0,  // reserved
    0,    0,    0,    0,              // number of directory sectors (0 in v3)
};

CompoundFileHeader CompoundFileHeader::Parse(std::span<const std::uint8_t, SECTOR_SIZE> b) {
    CompoundFileHeader h;
    const std::uint8_t* p = b.data();
    std::copy_n(p + kSignatureOffset, h.header_signature.size(), h.header_signature.begin());
    std::copy_n(p + kClsidOffset, h.header_clsid.size(), h.header_clsid.begin());
    h.minor_version = ReadLE16(p + kMinorVersionOffset);
    h.major_version = ReadLE16(p + kMajorVersionOffset);
    h.byte_order = ReadLE16(p + kByteOrderOffset);
    h.sector_shift = ReadLE16(p + kSectorShiftOffset);
    h.mini_sector_shift = ReadLE16(p + kMiniSectorShiftOffset);
    std::copy_n(p + kReservedOffset, h.reserved.size(), h.reserved.begin());
    h.number_of_directory_sectors = ReadLE32(p + kNumDirectorySectorsOffset);
    h.number_of_fat_sectors = ReadLE32(p + kNumFatSectorsOffset);
    h.first_directory_sector_location = ReadLE32(p + kFirstDirectorySectorOffset);
    h.transaction_signature_number = ReadLE32(p + kTransactionSignatureOffset);
    h.mini_stream_cutoff_size = ReadLE32(p + kMiniStreamCutoffOffset);
    h.first_mini_fat_sector_location = ReadLE32(p + kFirstMiniFatSectorOffset);
    h.number_of_mini_fat_sectors = ReadLE32(p + kNumMiniFatSectorsOffset);
    h.first_difat_sector_location = ReadLE32(p + kFirstDifatSectorOffset);
    h.number_of_difat_sectors = ReadLE32(p + kNumDifatSectorsOffset);
    for (std::size_t j = 0; j < kHeaderDifatEntries; ++j) {
        h.difat[j] = ReadLE32(p + kDifatOffset + 4 * j);
    }
    return h;
}

void CompoundFileHeader::Serialize(std::span<std::uint8_t, SECTOR_SIZE> out) const {
    std::uint8_t* p = out.data();
    std::copy(header_signature.begin(), header_signature.end(), p + kSignatureOffset);
    std::copy(header_clsid.begin(), header_clsid.end(), p + kClsidOffset);
    WriteLE16(p + kMinorVersionOffset, minor_version);
    WriteLE16(p + kMajorVersionOffset, major_version);
    WriteLE16(p + kByteOrderOffset, byte_order);
    WriteLE16(p + kSectorShiftOffset, sector_shift);
    WriteLE16(p + kMiniSectorShiftOffset, mini_sector_shift);
    std::copy(reserved.begin(), reserved.end(), p + kReservedOffset);
    WriteLE32(p + kNumDirectorySectorsOffset, number_of_directory_sectors);
    WriteLE32(p + kNumFatSectorsOffset, number_of_fat_sectors);
    WriteLE32(p + kFirstDirectorySectorOffset, first_directory_sector_location);
    WriteLE32(p + kTransactionSignatureOffset, transaction_signature_number);
    WriteLE32(p + kMiniStreamCutoffOffset, mini_stream_cutoff_size);
    WriteLE32(p + kFirstMiniFatSectorOffset, first_mini_fat_sector_location);
    WriteLE32(p + kNumMiniFatSectorsOffset, number_of_mini_fat_sectors);
    WriteLE32(p + kFirstDifatSectorOffset, first_difat_sector_location);
    WriteLE32(p + kNumDifatSectorsOffset, number_of_difat_sectors);
    for (std::size_t j = 0; j < kHeaderDifatEntries; ++j) {
        WriteLE32(p + kDifatOffset + 4 * j, difat[j]);
    }
}

std::array<std::uint8_t, SECTOR_SIZE> CompoundFileHeader::Bytes() const {
    std::array<std::uint8_t, SECTOR_SIZE> out{};
    Serialize(out);
    return out;
}

}  // namespace deckwright
