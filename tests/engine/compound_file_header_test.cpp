#include "engine/compound_file_header.h"

#include <gtest/gtest.h>

#include <numeric>

#include "tests/support/cfb_writer.h"

namespace deckwright {
namespace {

TEST(CompoundFileHeader, ParseAndSerializeKeepEveryByte) {
    std::array<std::uint8_t, SECTOR_SIZE> raw{};
    std::iota(raw.begin(), raw.end(), std::uint8_t{7});
    const CompoundFileHeader h = CompoundFileHeader::Parse(raw);
    EXPECT_EQ(h.Bytes(), raw);
    EXPECT_EQ(h.minor_version, 7 + 0x18 + ((7 + 0x19) << 8));
    EXPECT_EQ(h.difat[108], static_cast<std::uint32_t>((7 + 508) & 0xFF) |
                                (static_cast<std::uint32_t>((7 + 509) & 0xFF) << 8) |
                                (static_cast<std::uint32_t>((7 + 510) & 0xFF) << 16) |
                                (static_cast<std::uint32_t>((7 + 511) & 0xFF) << 24));
}

TEST(CompoundFileHeader, WriterProducesCanonicalPrefixAndConsistentCounts) {
    const auto file = testing::WriteCompoundFile(testing::PresentationStreams(100000, 1));
    const auto h = CompoundFileHeader::Parse(
        std::span<const std::uint8_t, SECTOR_SIZE>(file.data(), SECTOR_SIZE));
    EXPECT_TRUE(
        std::equal(kCanonicalHeaderPrefix.begin(), kCanonicalHeaderPrefix.end(), file.begin()));
    EXPECT_EQ(file.size() % SECTOR_SIZE, 0u);
    EXPECT_EQ(h.number_of_fat_sectors, (file.size() / SECTOR_SIZE - 1 + 127) / 128);
    EXPECT_EQ(h.first_difat_sector_location, kEndOfChain);
}

TEST(CompoundFileHeader, LargeWrittenFilesUseDifatSectors) {
    // 110 FAT sectors describe 14080 sectors: about 7 MB.
    const auto file = testing::WriteCompoundFile(testing::PresentationStreams(7'500'000, 2));
    const auto h = CompoundFileHeader::Parse(
        std::span<const std::uint8_t, SECTOR_SIZE>(file.data(), SECTOR_SIZE));
    EXPECT_GT(h.number_of_fat_sectors, kHeaderDifatEntries);
    EXPECT_EQ(h.number_of_difat_sectors, 1u);
    EXPECT_NE(h.first_difat_sector_location, kEndOfChain);
}

}  // namespace
}  // namespace deckwright
