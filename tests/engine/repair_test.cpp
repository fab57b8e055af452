#include "engine/repair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/compound_file_check.h"
#include "engine/little_endian.h"
#include "engine/memory_file.h"
#include "tests/support/cfb_writer.h"

namespace deckwright {
namespace {

using testing::PresentationStreams;
using testing::WriteCompoundFile;

TEST(RepairCompoundFile, UndamagedAndDamagedHeadersComeBackSound) {
    std::mt19937 rng(11);
    for (std::size_t doc : {5000u, 8000000u}) {
        const auto good = WriteCompoundFile(PresentationStreams(doc, 4), {false, 2});
        for (int how = 0; how < 4; ++how) {
            auto f = good;
            for (std::size_t i = 0; i < 512 && how > 0; ++i)
                f[i] = how == 1 ? 0 : how == 2 ? 0xFF : static_cast<std::uint8_t>(rng());
            MemoryFile m(f);
            const RepairOutcome o = RepairCompoundFile(m);
            EXPECT_TRUE(o.sound) << doc << " damage " << how << ": " << o.problem;
            EXPECT_TRUE(CheckCompoundFile(m).sound);
            // Only the header is ever written; here it comes back byte for byte.
            EXPECT_EQ(m.bytes(), good) << doc << " damage " << how;
        }
    }
}

TEST(RepairCompoundFile, ACopyThatStaysBrokenIsNotSoundAndSaysWhy) {
    auto f = WriteCompoundFile(PresentationStreams(5000, 4));
    // Wipe every sector: nothing is left to trace.
    std::fill(f.begin() + 512, f.end(), std::uint8_t{0});
    MemoryFile m(f);
    const RepairOutcome o = RepairCompoundFile(m);
    EXPECT_FALSE(o.sound);
    EXPECT_FALSE(o.problem.empty());
    EXPECT_TRUE(
        std::all_of(m.bytes().begin() + 512, m.bytes().end(), [](auto b) { return b == 0; }));
}

// A file saved in place keeps earlier versions in free sectors. Here the latest version's
// directory lies in a free sector (its own chain lost with the header), newer than the one
// whose layout still checks out: that older layout is never handed back as repaired.
TEST(RepairCompoundFile, AnEarlierVersionIsNeverHandedBackAsRepaired) {
    const auto good = WriteCompoundFile(PresentationStreams(5000, 4), {true, 1});
    const CompoundFileHeader h = testing::HeaderOf(good);
    const std::size_t root = (h.first_directory_sector_location + 1) * SECTOR_SIZE;
    const std::size_t spare = good.size() - SECTOR_SIZE;  // the writer's free 0xFF sector
    constexpr std::uint64_t k2020 = 132223104000000000ull;
    for (std::uint64_t newer : {std::uint64_t{0}, k2020}) {
        auto f = good;
        std::copy_n(good.begin() + static_cast<std::ptrdiff_t>(root), SECTOR_SIZE,
                    f.begin() + static_cast<std::ptrdiff_t>(spare));
        WriteLE64(f.data() + spare + 108, newer);
        std::fill_n(f.begin(), SECTOR_SIZE, std::uint8_t{0});
        MemoryFile m(f);
        const RepairOutcome o = RepairCompoundFile(m);
        if (newer == 0) {
            // As old as the one that checks out: nothing says it is later.
            EXPECT_TRUE(o.sound) << o.problem;
            continue;
        }
        EXPECT_FALSE(o.sound);
        EXPECT_NE(o.problem.find("earlier version"), std::string::npos) << o.problem;
        EXPECT_TRUE(std::equal(f.begin(), f.end(), m.bytes().begin()));
    }
}

// A directory pointer damaged into a sector of data that only looks like a root entry's in
// part (its object type, colour and name length): that is no header of the file's own, whose
// directory would rule out the one that checks out.
TEST(RepairCompoundFile, ADirectoryPointerIntoDataIsRepaired) {
    const auto good = WriteCompoundFile(PresentationStreams(8000, 4));
    const CompoundFileHeader h = testing::HeaderOf(good);
    MemoryFile probe(good);
    const CheckResult c = CheckCompoundFile(probe);
    const auto doc = std::find_if(c.streams.begin(), c.streams.end(), [](const CheckedStream& s) {
        return s.path == "PowerPoint Document";
    });
    ASSERT_NE(doc, c.streams.end());
    // The document's third sector, in the middle of its filler: object type 5, colour 0, a
    // name length of 20, and siblings that are data.
    const std::uint32_t data =
        ReadLE32(good.data() + (h.difat[0] + 1) * SECTOR_SIZE +
                 4 * ReadLE32(good.data() + (h.difat[0] + 1) * SECTOR_SIZE + 4 * doc->start));
    auto sound = good;
    std::uint8_t* p = sound.data() + (data + 1) * SECTOR_SIZE;
    WriteLE16(p + 64, 20);
    p[66] = 5;
    p[67] = 0;
    MemoryFile check(sound);
    ASSERT_TRUE(CheckCompoundFile(check).sound);
    CompoundFileHeader pointed = h;
    pointed.first_directory_sector_location = data;
    auto f = sound;
    const auto header = pointed.Bytes();
    std::copy(header.begin(), header.end(), f.begin());
    MemoryFile m(f);
    const RepairOutcome o = RepairCompoundFile(m);
    ASSERT_TRUE(o.sound) << o.problem;
    EXPECT_EQ(m.bytes(), sound);
}

TEST(RepairCompoundFile, IoFailuresAreReportedNotHidden) {
    MemoryFile m(WriteCompoundFile(PresentationStreams(5000, 4)));
    m.FailAllIo(true);
    const RepairOutcome o = RepairCompoundFile(m);
    EXPECT_FALSE(o.sound);
    EXPECT_NE(o.problem.find("simulated I/O error"), std::string::npos) << o.problem;
}

}  // namespace
}  // namespace deckwright
