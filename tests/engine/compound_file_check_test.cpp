#include "engine/compound_file_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/little_endian.h"
#include "engine/memory_file.h"
#include "tests/support/cfb_writer.h"

namespace deckwright {
namespace {

using testing::HeaderOf;
using testing::PresentationStreams;
using testing::WriteCompoundFile;

void SetHeader(std::vector<std::uint8_t>& f, const CompoundFileHeader& h) {
    h.Serialize(std::span<std::uint8_t, SECTOR_SIZE>(f.data(), SECTOR_SIZE));
}
std::uint8_t* SectorPtr(std::vector<std::uint8_t>& f, std::uint32_t k) {
    return f.data() + (static_cast<std::size_t>(k) + 1) * SECTOR_SIZE;
}
CheckResult Check(std::vector<std::uint8_t> f) {
    MemoryFile m(std::move(f));
    return CheckCompoundFile(m);
}

TEST(CompoundFileCheck, WrittenFilesOfEveryShapeAreSound) {
    for (std::size_t doc : {5000u, 70000u, 8000000u}) {
        for (bool fat_first : {true, false}) {
            const auto f = WriteCompoundFile(PresentationStreams(doc, 3), {fat_first, 2});
            const CheckResult r = Check(f);
            EXPECT_TRUE(r.sound) << doc << ": " << r.problem;
            EXPECT_EQ(r.streams.size(), 4u);
            EXPECT_EQ(r.fat_sectors, HeaderOf(f).number_of_fat_sectors);
            EXPECT_EQ(r.difat_sectors, HeaderOf(f).number_of_difat_sectors);
        }
    }
}

TEST(CompoundFileCheck, HeaderFaultsAreNamed) {
    const auto good = WriteCompoundFile(PresentationStreams(20000, 1));
    auto with = [&good](auto change) {
        auto f = good;
        CompoundFileHeader h = HeaderOf(f);
        change(h);
        SetHeader(f, h);
        return Check(f);
    };
    auto r = with([](CompoundFileHeader& h) { h.header_signature[0] = 0; });
    EXPECT_NE(r.problem.find("signature"), std::string::npos);
    r = with([](CompoundFileHeader& h) { h.number_of_fat_sectors = 1000000; });
    EXPECT_NE(r.problem.find("1000000 FAT sectors"), std::string::npos) << r.problem;
    r = with([](CompoundFileHeader& h) { h.difat[0] = 999999; });
    EXPECT_NE(r.problem.find("sector 999999"), std::string::npos) << r.problem;
    r = with([](CompoundFileHeader& h) { h.difat[5] = 3; });
    EXPECT_NE(r.problem.find("DIFAT entry 5"), std::string::npos) << r.problem;
    r = with([](CompoundFileHeader& h) { h.number_of_mini_fat_sectors += 1; });
    EXPECT_NE(r.problem.find("mini FAT chain"), std::string::npos) << r.problem;
    r = with([](CompoundFileHeader& h) { h.first_directory_sector_location = 0; });
    EXPECT_FALSE(r.sound);  // sector 0 is the FAT sector in this layout
    r = with([](CompoundFileHeader& h) { h.mini_stream_cutoff_size = 512; });
    EXPECT_NE(r.problem.find("cutoff"), std::string::npos);
}

TEST(CompoundFileCheck, ChainFaultsSayWhereAndWhat) {
    auto f = WriteCompoundFile(PresentationStreams(20000, 1));  // FAT in sector 0
    const CompoundFileHeader h = HeaderOf(f);
    const std::uint32_t dir = h.first_directory_sector_location;
    // The directory chain is one sector; make it loop onto itself.
    auto g = f;
    WriteLE32(SectorPtr(g, 0) + 4 * dir, dir);
    auto r = Check(g);
    EXPECT_NE(r.problem.find("loops back to sector " + std::to_string(dir)), std::string::npos)
        << r.problem;
    // Past the end of the file.
    g = f;
    WriteLE32(SectorPtr(g, 0) + 4 * dir, 5000);
    r = Check(g);
    EXPECT_NE(r.problem.find("sector 5000"), std::string::npos) << r.problem;
    // Into another chain: the mini FAT runs on into the directory.
    g = f;
    WriteLE32(SectorPtr(g, 0) + 4 * h.first_mini_fat_sector_location, dir);
    r = Check(g);
    EXPECT_NE(r.problem.find("belongs to the directory"), std::string::npos) << r.problem;
    // A free sector inside a stream's chain.
    g = f;
    const std::uint32_t big = h.first_mini_fat_sector_location + 2;  // the mini stream, then big
    WriteLE32(SectorPtr(g, 0) + 4 * (big + 1), kFreeSect);
    r = Check(g);
    EXPECT_NE(r.problem.find("FREESECT"), std::string::npos) << r.problem;
}

TEST(CompoundFileCheck, DirectoryTreeFaults) {
    auto f = WriteCompoundFile(PresentationStreams(20000, 1));
    const std::uint32_t dir = HeaderOf(f).first_directory_sector_location;
    std::uint8_t* d = SectorPtr(f, dir);
    auto g = f;
    WriteLE32(SectorPtr(g, dir) + 128 + 72, 1);  // entry 1's right sibling is itself
    EXPECT_NE(Check(g).problem.find("twice"), std::string::npos);
    g = f;
    WriteLE32(SectorPtr(g, dir) + 128 + 72, 77);
    EXPECT_NE(Check(g).problem.find("entry 77"), std::string::npos);
    g = f;
    SectorPtr(g, dir)[66] = 1;
    EXPECT_NE(Check(g).problem.find("root entry"), std::string::npos);
    (void)d;
    // Without "Current User" it is no presentation.
    auto streams = PresentationStreams(20000, 1);
    streams.erase(streams.begin() + 1);
    const auto r = Check(WriteCompoundFile(streams));
    EXPECT_NE(r.problem.find("\"Current User\""), std::string::npos) << r.problem;
}

// With no mini FAT, readers differ: 7-Zip refuses a first mini FAT sector of FREESECT, while
// FREESECT as the first DIFAT sector passes everywhere.
TEST(CompoundFileCheck, EmptyMiniFatMustEndAtOnce) {
    auto streams = PresentationStreams(20000, 1);
    streams.resize(2);
    streams[1].data.resize(5000);  // "Current User" out of the mini stream: no mini FAT at all
    auto f = WriteCompoundFile(streams);
    ASSERT_EQ(HeaderOf(f).number_of_mini_fat_sectors, 0u);
    ASSERT_TRUE(Check(f).sound) << Check(f).problem;
    auto g = f;
    WriteLE32(g.data() + CompoundFileHeader::kFirstDifatSectorOffset, kFreeSect);
    EXPECT_TRUE(Check(g).sound) << Check(g).problem;
    g = f;
    WriteLE32(g.data() + CompoundFileHeader::kFirstMiniFatSectorOffset, kFreeSect);
    const auto r = Check(g);
    EXPECT_FALSE(r.sound);
    EXPECT_NE(r.problem.find("expected ENDOFCHAIN"), std::string::npos) << r.problem;
}

// One scratch serves every header tried on a file; a FAT read for one header must never be
// taken for another's, and each verdict must be the one a fresh check gives.
TEST(CompoundFileCheck, AScratchServesManyHeadersOfOneFile) {
    const auto f = WriteCompoundFile(PresentationStreams(300000, 2));
    const CompoundFileHeader sound = HeaderOf(f);
    std::vector<CompoundFileHeader> headers{sound};
    for (std::uint32_t k : {sound.first_directory_sector_location, 7u, 0u}) {
        CompoundFileHeader h = sound;
        h.difat[0] = k;  // the same number of FAT sectors, read from elsewhere
        headers.push_back(h);
    }
    CompoundFileHeader longer = sound;  // a longer FAT list, then the sound one again
    longer.number_of_fat_sectors += 1;
    longer.difat[sound.number_of_fat_sectors] = sound.first_directory_sector_location;
    headers.push_back(longer);
    headers.push_back(sound);

    MemoryFile m(f);
    cfb::CheckScratch scratch;
    for (std::size_t i = 0; i < headers.size(); ++i) {
        MemoryFile fresh_file(f);
        const CheckResult fresh = CheckCompoundFile(fresh_file, headers[i]);
        const CheckResult shared = cfb::CheckCompoundFileWith(m, headers[i], scratch);
        EXPECT_EQ(shared.sound, fresh.sound) << i;
        EXPECT_EQ(shared.problem, fresh.problem) << i;
        EXPECT_EQ(shared.leaked_sectors, fresh.leaked_sectors) << i;
        EXPECT_EQ(shared.sectors_in_use, fresh.sectors_in_use) << i;
    }
    EXPECT_TRUE(cfb::CheckCompoundFileWith(m, scratch).sound);
    EXPECT_FALSE(cfb::CheckCompoundFileWith(m, headers[1], scratch).sound);
}

TEST(CompoundFileCheck, ShortAndUnreadableFiles) {
    EXPECT_FALSE(Check(std::vector<std::uint8_t>(600, 0)).sound);
    EXPECT_FALSE(Check({}).sound);
    MemoryFile m(WriteCompoundFile(PresentationStreams(20000, 1)));
    m.FailAllIo(true);
    const auto r = CheckCompoundFile(m);
    EXPECT_FALSE(r.sound);
    EXPECT_NE(r.problem.find("could not be read"), std::string::npos) << r.problem;
}

// A file may end inside its last sector (some writers stop where the data does), but not
// before the data of the stream that sector ends: a tail cut there loses its last bytes, which
// would otherwise read as zeros.
TEST(CompoundFileCheck, AShortLastSectorMustHoldTheDataItsStreamEndsWith) {
    const auto f = WriteCompoundFile(PresentationStreams(20000, 1));  // the document comes last
    const std::size_t in_last = 20000 % SECTOR_SIZE;
    ASSERT_NE(in_last, 0u);
    const std::size_t whole = f.size() - SECTOR_SIZE + in_last;
    const CheckResult kept = Check({f.begin(), f.begin() + static_cast<std::ptrdiff_t>(whole)});
    EXPECT_TRUE(kept.sound) << kept.problem;
    const CheckResult cut = Check({f.begin(), f.begin() + static_cast<std::ptrdiff_t>(whole - 3)});
    EXPECT_FALSE(cut.sound);
    EXPECT_NE(cut.problem.find("the file is cut short inside sector " +
                               std::to_string(f.size() / SECTOR_SIZE - 2) +
                               ", the last of the chain of stream \"PowerPoint Document\": its "
                               "last 3 bytes are lost"),
              std::string::npos)
        << cut.problem;
}

TEST(CompoundFileCheck, HostileCountsAllocateNothingLarge) {
    auto f = WriteCompoundFile(PresentationStreams(20000, 1));
    CompoundFileHeader h = HeaderOf(f);
    h.number_of_fat_sectors = 0xFFFFFFF0;
    h.number_of_difat_sectors = 0xFFFFFFF0;
    h.number_of_mini_fat_sectors = 0xFFFFFFF0;
    SetHeader(f, h);
    EXPECT_FALSE(Check(f).sound);
}

TEST(CompoundFileCheck, RealPresentationsAreSound) {
    const char* dir = std::getenv("DECKWRIGHT_CORPUS_DIR");
    if (!dir || !std::filesystem::is_directory(dir))
        GTEST_SKIP() << "DECKWRIGHT_CORPUS_DIR is not set or not a folder: no real presentations";
    int checked = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().extension() != ".ppt") continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        const auto r = Check(bytes);
        // A PowerPoint 4.0 file has a "PP40" stream instead of the two later versions have,
        // and is a presentation all the same.
        if (e.path().filename() == "poi_pp40only.ppt") {
            EXPECT_TRUE(r.sound) << r.problem;
            EXPECT_TRUE(std::any_of(r.streams.begin(), r.streams.end(),
                                    [](const CheckedStream& s) { return s.path == "PP40"; }));
            continue;
        }
        EXPECT_TRUE(r.sound) << e.path() << ": " << r.problem;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace deckwright
