#include "engine/header_reconstruction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "engine/header_rebuild.h"
#include "engine/memory_file.h"
#include "engine/sector_pass.h"
#include "tests/support/cfb_writer.h"
#include "tests/support/in_order_only.h"

namespace deckwright {
namespace {

using testing::HeaderOf;
using testing::InOrderOnly;
using testing::PresentationStreams;
using testing::WriteCompoundFile;

// The fields that decide where every chain is; a reconstruction must give these back.
void ExpectSameLayout(const CompoundFileHeader& want, const CompoundFileHeader& got,
                      const std::string& what) {
    EXPECT_EQ(got.number_of_fat_sectors, want.number_of_fat_sectors) << what;
    EXPECT_TRUE(got.difat == want.difat) << what;
    EXPECT_EQ(got.first_directory_sector_location, want.first_directory_sector_location) << what;
    EXPECT_EQ(got.first_mini_fat_sector_location, want.first_mini_fat_sector_location) << what;
    EXPECT_EQ(got.number_of_mini_fat_sectors, want.number_of_mini_fat_sectors) << what;
    EXPECT_EQ(got.number_of_difat_sectors, want.number_of_difat_sectors) << what;
    if (want.number_of_difat_sectors > 0) {
        EXPECT_EQ(got.first_difat_sector_location, want.first_difat_sector_location) << what;
    }
}

void Damage(std::vector<std::uint8_t>& f, int how, std::mt19937& rng) {
    for (std::size_t i = 0; i < SECTOR_SIZE; ++i)
        f[i] = how == 0 ? 0 : how == 1 ? 0xFF : static_cast<std::uint8_t>(rng());
}

TEST(HeaderReconstruction, GivesBackTheLayoutOfEveryShapeFromTheSectorsAlone) {
    std::mt19937 rng(7);
    for (std::size_t doc : {5000u, 300000u, 8000000u}) {
        for (bool fat_first : {true, false}) {
            for (std::uint32_t ff : {0u, 3u}) {
                const auto good = WriteCompoundFile(PresentationStreams(doc, 5), {fat_first, ff});
                for (int how = 0; how < 3; ++how) {
                    auto f = good;
                    Damage(f, how, rng);
                    MemoryFile m(f);
                    const Reconstruction r = ComputeReconstructedHeader(m, nullptr);
                    const std::string what = std::to_string(doc) +
                                             (fat_first ? " fat first" : " fat last") + " ff " +
                                             std::to_string(ff) + " damage " + std::to_string(how);
                    ASSERT_TRUE(r.found) << what << ": " << r.problem;
                    EXPECT_TRUE(r.check.sound);
                    ExpectSameLayout(HeaderOf(good), r.header, what);
                    EXPECT_EQ(m.bytes(), f) << "computing must not write";
                }
            }
        }
    }
}

// Streams of a big presentation with cheap contents: the layout is what matters here.
std::vector<testing::StreamSpec> BigPresentation(std::size_t document_bytes) {
    auto streams = PresentationStreams(100, 9);
    streams[0].data.resize(document_bytes);
    for (std::size_t i = 0; i < document_bytes; ++i)
        streams[0].data[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
    return streams;
}

// Above about 15 MB the FAT no longer fits in the header and one DIFAT sector: the DIFAT
// chain must be found and followed, whichever part of the header was lost.
TEST(HeaderReconstruction, BigFilesWithSeveralDifatSectors) {
    std::mt19937 rng(19);
    for (std::size_t mb : {20u, 40u}) {
        for (bool fat_first : {true, false}) {
            const auto good = WriteCompoundFile(BigPresentation(mb << 20), {fat_first, 2});
            const CompoundFileHeader want = HeaderOf(good);
            ASSERT_GE(want.number_of_difat_sectors, 2u);
            // The 40 MB files only zeroed, to keep the run short under the sanitizers.
            for (int how = 0; how < (mb == 20 ? 3 : 1); ++how) {
                auto f = good;
                if (how == 0) {
                    std::fill_n(f.begin(), SECTOR_SIZE, std::uint8_t{0});
                } else if (how == 1) {  // the whole DIFAT array random
                    for (std::size_t i = CompoundFileHeader::kDifatOffset; i < SECTOR_SIZE; ++i)
                        f[i] = static_cast<std::uint8_t>(rng());
                } else {  // first DIFAT sector and DIFAT count wrong
                    for (std::size_t i = CompoundFileHeader::kFirstDifatSectorOffset;
                         i < CompoundFileHeader::kDifatOffset; ++i)
                        f[i] = static_cast<std::uint8_t>(rng());
                }
                MemoryFile m(f);
                const CompoundFileHeader found = HeaderOf(f);
                const std::string what = std::to_string(mb) + " MB" +
                                         (fat_first ? " fat first" : " fat last") + " damage " +
                                         std::to_string(how);
                const Reconstruction r = ComputeReconstructedHeader(m, &found);
                ASSERT_TRUE(r.found) << what << ": " << r.problem;
                EXPECT_EQ(r.header, want) << what;
            }
        }
    }
}

// The repair step checks the copy and then reconstructs its header in one scratch: the FAT the
// check read must not lead the reconstruction astray, sound or not.
// The FAT after the streams, starting a block of its own: no other FAT sector marks it, and
// no successor points into its block; it marks itself.
TEST(HeaderReconstruction, AFatInABlockOfItsOwnAtTheEnd) {
    int shapes = 0;
    for (std::size_t doc = 280000; doc < 400000 && shapes < 2; doc += 512) {
        const auto good = WriteCompoundFile(PresentationStreams(doc, 12), {false, 0});
        const CompoundFileHeader h = HeaderOf(good);
        if (h.difat[0] % kEntriesPerSector != 0) continue;
        ++shapes;
        auto f = good;
        std::fill_n(f.begin(), SECTOR_SIZE, std::uint8_t{0});
        MemoryFile m(f);
        const Reconstruction r = ComputeReconstructedHeader(m, nullptr);
        ASSERT_TRUE(r.found) << doc << ": " << r.problem;
        ExpectSameLayout(h, r.header, std::to_string(doc));
    }
    EXPECT_EQ(shapes, 2);
}

TEST(HeaderReconstruction, SharesTheCheckScratch) {
    std::mt19937 rng(11);
    const auto good = WriteCompoundFile(PresentationStreams(8000000, 5), {false, 3});
    for (int how = -1; how < 3; ++how) {
        auto f = good;
        if (how >= 0) Damage(f, how, rng);
        MemoryFile fresh_file(f);
        const Reconstruction fresh = ComputeReconstructedHeader(fresh_file, nullptr);
        MemoryFile m(f);
        cfb::CheckScratch scratch;
        cfb::CheckCompoundFileWith(m, scratch);
        const Reconstruction shared = ComputeReconstructedHeader(m, nullptr, &scratch);
        ASSERT_TRUE(shared.found) << how << ": " << shared.problem;
        EXPECT_EQ(shared.header.Bytes(), fresh.header.Bytes()) << how;
        ExpectSameLayout(HeaderOf(good), shared.header, std::to_string(how));
    }
}

// A file that cannot be read at offsets is scanned in order; one that can, in two halves side
// by side. Both must come to the same conclusions, whatever the damage.
TEST(HeaderReconstruction, HalvesSideBySideFindWhatOnePassInOrderFinds) {
    std::mt19937 rng(23);
    for (std::size_t doc : {1500000u, 3000000u, 20000000u}) {
        for (bool fat_first : {true, false}) {
            const auto good = WriteCompoundFile(PresentationStreams(doc, 9), {fat_first, 2});
            for (int how = 0; how < 3; ++how) {
                auto f = good;
                Damage(f, how, rng);
                MemoryFile side_by_side(f);
                ASSERT_TRUE(side_by_side.CanReadAt());
                MemoryFile plain(f);
                InOrderOnly in_order(plain);
                const Reconstruction a = ComputeReconstructedHeader(side_by_side, nullptr);
                const Reconstruction b = ComputeReconstructedHeader(in_order, nullptr);
                const std::string what = std::to_string(doc) + " damage " + std::to_string(how);
                EXPECT_EQ(a.found, b.found) << what;
                EXPECT_EQ(a.problem, b.problem) << what;
                EXPECT_EQ(a.header.Bytes(), b.header.Bytes()) << what;
                ExpectSameLayout(HeaderOf(good), a.header, what);
            }
        }
    }
}

// The repair reads the copy once for the rebuild and the reconstruction both, writes the
// rebuilt header, then reconstructs from that pass: it must conclude what a reconstruction
// that reads the file itself concludes, whether the pass ran side by side or in order, and
// wherever the pass's chunks and halves meet.
TEST(HeaderReconstruction, ThePassSharedWithTheRebuildFindsWhatItsOwnFinds) {
    std::mt19937 rng(29);
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
    for (std::size_t doc : {20000u, 1500000u, 3000000u, 20000000u}) {
        for (bool fat_first : {true, false}) {
            const auto good = WriteCompoundFile(PresentationStreams(doc, 9), {fat_first, 2});
            for (int how = -1; how < 3; ++how) {
                auto f = good;
                if (how >= 0) Damage(f, how, rng);
                files.emplace_back(std::to_string(doc) + (fat_first ? " fat first" : " fat last") +
                                       " damage " + std::to_string(how),
                                   std::move(f));
            }
        }
    }
    // Cut around where the chunks and the two halves meet: a sector lost or seen twice there
    // changes the FAT candidates.
    const auto cut_from = WriteCompoundFile(PresentationStreams(2300000, 4), {false, 0});
    for (std::size_t chunks : {1u, 2u, 3u, 4u}) {
        for (std::ptrdiff_t delta : {-513, -1, 0, 1, 512}) {
            const auto len = static_cast<std::size_t>(
                static_cast<std::ptrdiff_t>(SECTOR_SIZE + chunks * kSectorPassChunk) + delta);
            std::vector<std::uint8_t> f(cut_from.begin(),
                                        cut_from.begin() + static_cast<std::ptrdiff_t>(len));
            std::fill_n(f.begin(), SECTOR_SIZE, std::uint8_t{0});
            files.emplace_back(std::to_string(len) + " bytes cut", std::move(f));
        }
    }
    for (const auto& [what, f] : files) {
        const CompoundFileHeader found = HeaderOf(f);
        MemoryFile rebuilt(f);
        RebuildHeader(rebuilt);
        const Reconstruction own = ComputeReconstructedHeader(rebuilt, &found);
        for (bool side_by_side : {true, false}) {
            SCOPED_TRACE(what + (side_by_side ? ", side by side" : ", in order"));
            MemoryFile m(f);
            InOrderOnly in_order(m);
            RandomAccessFile& file = side_by_side ? static_cast<RandomAccessFile&>(m) : in_order;
            SectorPass pass = PassOverSectors(file, RebuildHeaderChooser);
            RebuildHeader(file, pass.survey);
            ASSERT_EQ(m.bytes(), rebuilt.bytes());
            const Reconstruction shared = ComputeReconstructedHeader(file, &found, nullptr, &pass.scan);
            EXPECT_EQ(shared.found, own.found);
            EXPECT_EQ(shared.problem, own.problem);
            EXPECT_EQ(shared.header.Bytes(), own.header.Bytes());
            EXPECT_EQ(shared.newest_root_modified, own.newest_root_modified);
            ASSERT_EQ(shared.unsound_layouts.size(), own.unsound_layouts.size());
            for (std::size_t i = 0; i < own.unsound_layouts.size(); ++i)
                EXPECT_EQ(shared.unsound_layouts[i].Bytes(), own.unsound_layouts[i].Bytes());
            EXPECT_FALSE(m.Failed());
        }
    }
}

TEST(HeaderReconstruction, WritesOnlyTheHeader) {
    const auto good = WriteCompoundFile(PresentationStreams(70000, 2));
    auto f = good;
    std::fill_n(f.begin(), 512, std::uint8_t{0});
    MemoryFile m(f);
    const Reconstruction r = ReconstructHeader(m, nullptr);
    ASSERT_TRUE(r.found) << r.problem;
    ASSERT_EQ(m.bytes().size(), good.size());
    EXPECT_TRUE(std::equal(good.begin() + 512, good.end(), m.bytes().begin() + 512));
    EXPECT_TRUE(CheckCompoundFile(m).sound);
}

TEST(HeaderReconstruction, PrefersTheHintWhereItChecksOut) {
    const auto good = WriteCompoundFile(PresentationStreams(70000, 2));
    auto f = good;
    std::fill_n(f.begin(), 44, std::uint8_t{0x55});  // fixed fields only
    MemoryFile m(f);
    const CompoundFileHeader hint = HeaderOf(f);
    const Reconstruction r = ComputeReconstructedHeader(m, &hint);
    ASSERT_TRUE(r.found) << r.problem;
    EXPECT_EQ(r.header, HeaderOf(good));
}

TEST(HeaderReconstruction, GivesUpWithAReasonOnNonCompoundFiles) {
    std::mt19937 rng(3);
    std::vector<std::uint8_t> noise(40000);
    for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
    MemoryFile m(noise);
    Reconstruction r = ComputeReconstructedHeader(m, nullptr);
    EXPECT_FALSE(r.found);
    EXPECT_FALSE(r.problem.empty());
    MemoryFile zeros(std::vector<std::uint8_t>(40000, 0));
    r = ComputeReconstructedHeader(zeros, nullptr);
    EXPECT_FALSE(r.found);
    MemoryFile tiny(std::vector<std::uint8_t>(100, 0));
    EXPECT_FALSE(ComputeReconstructedHeader(tiny, nullptr).found);
}

// Real files keep stale FAT sectors, stale root directories and orphan chains from earlier
// saves; from a zeroed header the newest version must come back.
TEST(HeaderReconstruction, RealPresentationsFromZeroedHeaders) {
    const char* dir = std::getenv("DECKWRIGHT_CORPUS_DIR");
    if (!dir || !std::filesystem::is_directory(dir))
        GTEST_SKIP() << "DECKWRIGHT_CORPUS_DIR is not set or not a folder: no real presentations";
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().extension() != ".ppt") continue;
        const std::string name = e.path().filename().string();
        // Not a presentation (PowerPoint 4.0). poi_53446.ppt keeps a whole older version
        // whose root entry holds garbage for a time: the newer one must still win.
        if (name == "poi_pp40only.ppt") continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::vector<std::uint8_t> good((std::istreambuf_iterator<char>(in)), {});
        auto f = good;
        std::fill_n(f.begin(), 512, std::uint8_t{0});
        MemoryFile m(f);
        const Reconstruction r = ComputeReconstructedHeader(m, nullptr);
        ASSERT_TRUE(r.found) << name << ": " << r.problem;
        ExpectSameLayout(HeaderOf(good), r.header, name);
    }
}

}  // namespace
}  // namespace deckwright
