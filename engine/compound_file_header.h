#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace deckwright {

// Sector geometry of a version 3 compound file: sector k lies at byte offset (k + 1) * 512.
inline constexpr std::uint32_t SECTOR_SIZE = 512;
inline constexpr std::uint32_t kEntriesPerSector = SECTOR_SIZE / 4;  // 128 FAT entries
inline constexpr std::uint32_t kHeaderDifatEntries = 109;

// Special sector numbers (as unsigned 32-bit values).
inline constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;    // FREESECT, also "nothing found"
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;  // ENDOFCHAIN
inline constexpr std::uint32_t kFatSect = 0xFFFFFFFD;     // FATSECT
inline constexpr std::uint32_t kDifSect = 0xFFFFFFFC;     // DIFSECT
inline constexpr std::uint32_t kMaxRegularSect = 0xFFFFFFFA;
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFF;  // NOSTREAM in directory links

using Sector = std::span<const std::uint8_t, SECTOR_SIZE>;

// The 512-byte header, one member per MS-CFB field, in file order. Parse and Serialize are
// lossless: every one of the 512 bytes belongs to exactly one member.
struct CompoundFileHeader {
    // Byte offsets of the fields, named once.
    static constexpr std::size_t kSignatureOffset = 0x00;
    static constexpr std::size_t kClsidOffset = 0x08;
    static constexpr std::size_t kMinorVersionOffset = 0x18;
    static constexpr std::size_t kMajorVersionOffset = 0x1A;
    static constexpr std::size_t kByteOrderOffset = 0x1C;
    static constexpr std::size_t kSectorShiftOffset = 0x1E;
    static constexpr std::size_t kMiniSectorShiftOffset = 0x20;
    static constexpr std::size_t kReservedOffset = 0x22;
    static constexpr std::size_t kNumDirectorySectorsOffset = 0x28;
    static constexpr std::size_t kNumFatSectorsOffset = 0x2C;
    static constexpr std::size_t kFirstDirectorySectorOffset = 0x30;
    static constexpr std::size_t kTransactionSignatureOffset = 0x34;
    static constexpr std::size_t kMiniStreamCutoffOffset = 0x38;
    static constexpr std::size_t kFirstMiniFatSectorOffset = 0x3C;
    static constexpr std::size_t kNumMiniFatSectorsOffset = 0x40;
    static constexpr std::size_t kFirstDifatSectorOffset = 0x44;
    static constexpr std::size_t kNumDifatSectorsOffset = 0x48;
    static constexpr std::size_t kDifatOffset = 0x4C;
    // Bytes 0 to 43 (signature through Number of Directory Sectors) are fixed for version 3.
    static constexpr std::size_t kCanonicalPrefixSize = 44;

    std::array<std::uint8_t, 8> header_signature{};
    std::array<std::uint8_t, 16> header_clsid{};
    std::uint16_t minor_version = 0;
    std::uint16_t major_version = 0;
    std::uint16_t byte_order = 0;
    std::uint16_t sector_shift = 0;
    std::uint16_t mini_sector_shift = 0;
    std::array<std::uint8_t, 6> reserved{};
    std::uint32_t number_of_directory_sectors = 0;
    std::uint32_t number_of_fat_sectors = 0;
    std::uint32_t first_directory_sector_location = 0;
    std::uint32_t transaction_signature_number = 0;
    std::uint32_t mini_stream_cutoff_size = 0;
    std::uint32_t first_mini_fat_sector_location = 0;
    std::uint32_t number_of_mini_fat_sectors = 0;
    std::uint32_t first_difat_sector_location = 0;
    std::uint32_t number_of_difat_sectors = 0;
    std::array<std::uint32_t, kHeaderDifatEntries> difat{};

    static CompoundFileHeader Parse(std::span<const std::uint8_t, SECTOR_SIZE> bytes);
    void Serialize(std::span<std::uint8_t, SECTOR_SIZE> out) const;
    std::array<std::uint8_t, SECTOR_SIZE> Bytes() const;

    bool operator==(const CompoundFileHeader&) const = default;
};

// The 44 bytes every version 3 header starts with.
extern const std::array<std::uint8_t, CompoundFileHeader::kCanonicalPrefixSize>
    kCanonicalHeaderPrefix;

inline constexpr std::array<std::uint8_t, 8> kHeaderSignature = {0xD0, 0xCF, 0x11, 0xE0,
                                                                 0xA1, 0xB1, 0x1A, 0xE1};

}  // namespace deckwright
