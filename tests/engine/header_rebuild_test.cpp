#include "engine/header_rebuild.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/little_endian.h"
#include "engine/memory_file.h"
#include "tests/support/cfb_writer.h"

namespace deckwright {
namespace {

using testing::CfbLayout;
using testing::PresentationStreams;
using testing::WriteCompoundFile;
using Bytes = std::vector<std::uint8_t>;

CompoundFileHeader HeaderOf(const Bytes& file) {
    std::array<std::uint8_t, SECTOR_SIZE> h{};
    std::copy_n(file.begin(), std::min<std::size_t>(file.size(), SECTOR_SIZE), h.begin());
    return CompoundFileHeader::Parse(h);
}

void PutHeader(Bytes& file, const CompoundFileHeader& h) {
    h.Serialize(std::span<std::uint8_t, SECTOR_SIZE>(file.data(), SECTOR_SIZE));
}

// Rebuilds a copy of file in memory and checks what must hold for any input: nothing fails,
// nothing after the header changes, the length stays (or becomes 512 for shorter files).
CompoundFileHeader Rebuilt(const Bytes& file) {
    MemoryFile m(file);
    EXPECT_EQ(RebuildHeader(m), 0);
    EXPECT_FALSE(m.Failed()) << m.Error();
    EXPECT_EQ(m.bytes().size(), std::max<std::size_t>(file.size(), SECTOR_SIZE));
    if (file.size() > SECTOR_SIZE) {
        EXPECT_TRUE(
            std::equal(file.begin() + SECTOR_SIZE, file.end(), m.bytes().begin() + SECTOR_SIZE))
            << "a byte after the header changed";
    }
    return HeaderOf(m.bytes());
}

Bytes SmallFile(bool fat_first = true, std::uint32_t ff_sectors = 0) {
    return WriteCompoundFile(PresentationStreams(20000, 3), CfbLayout{fat_first, ff_sectors});
}

// About 200 KB: three FAT sectors.
Bytes ThreeFatFile(bool fat_first = true) {
    return WriteCompoundFile(PresentationStreams(190000, 4), CfbLayout{fat_first, 0});
}

TEST(RebuildHeader, HealthyFilesComeBackUnchanged) {
    for (const bool fat_first : {true, false}) {
        for (const std::size_t size : {0, 5000, 20000, 190000, 1000000}) {
            const Bytes file =
                WriteCompoundFile(PresentationStreams(size, 5), CfbLayout{fat_first, 0});
            EXPECT_EQ(Rebuilt(file), HeaderOf(file))
                << "size " << size << " fat_first " << fat_first;
        }
    }
}

TEST(RebuildHeader, HealthyFileWithDifatSectorsComesBackUnchanged) {
    const Bytes file = WriteCompoundFile(PresentationStreams(7'500'000, 6));
    CompoundFileHeader expected = HeaderOf(file);
    ASSERT_GT(expected.number_of_fat_sectors, kHeaderDifatEntries);
    // A DIFAT sector (a run of FAT sector numbers, then FREESECT) is FAT-like too, and every
    // FAT-like sector that is not a FAT sector is counted as mini FAT.
    expected.number_of_mini_fat_sectors += expected.number_of_difat_sectors;
    EXPECT_EQ(Rebuilt(file), expected);
}

TEST(RebuildHeader, FixedFieldsAreForced) {
    Bytes file = SmallFile();
    const CompoundFileHeader good = HeaderOf(file);
    // Garbage over bytes 0..43, and the other fields that are simply set.
    for (std::size_t i = 0; i < CompoundFileHeader::kCanonicalPrefixSize; ++i) {
        file[i] = static_cast<std::uint8_t>(0xA5 ^ i);
    }
    CompoundFileHeader h = HeaderOf(file);
    h.transaction_signature_number = 77;
    h.mini_stream_cutoff_size = 12;
    h.number_of_difat_sectors = 9;  // first DIFAT sector is ENDOFCHAIN, so this becomes 0
    PutHeader(file, h);
    EXPECT_EQ(Rebuilt(file), good);

    // With a DIFAT location other than ENDOFCHAIN the DIFAT count is left alone.
    h.first_difat_sector_location = 0x1234;
    PutHeader(file, h);
    const CompoundFileHeader r = Rebuilt(file);
    EXPECT_EQ(r.number_of_difat_sectors, 9u);
    EXPECT_EQ(r.first_difat_sector_location, 0x1234u);
}

TEST(RebuildHeader, LostFatLocationsAreFoundAgain) {
    for (const bool fat_first : {true, false}) {
        const Bytes good_file = ThreeFatFile(fat_first);
        const CompoundFileHeader good = HeaderOf(good_file);
        ASSERT_EQ(good.number_of_fat_sectors, 3u);
        for (const std::uint32_t bad :
             {0xFFFFFFFFu, 0xFFFFFFFEu, 0x7FFFFFFFu, good.first_directory_sector_location}) {
            Bytes file = good_file;
            CompoundFileHeader h = good;
            h.difat[0] = bad;
            h.difat[1] = 0x0BADBAD0;
            h.difat[2] = 0x0BADBAD0;
            PutHeader(file, h);
            const CompoundFileHeader r = Rebuilt(file);
            auto expected = good.difat;
            if (!fat_first) {
                // The mini FAT sector comes first; its entries are mostly FREESECT, so it
                // answers for every block and is taken for all three.
                expected[0] = expected[1] = expected[2] = good.first_mini_fat_sector_location;
            } else if (bad > good_file.size() / SECTOR_SIZE) {
                // Past the end: entry 0 becomes 0, which is the FAT sector, so nothing is
                // searched and the other entries keep their damage.
                expected[1] = expected[2] = 0x0BADBAD0;
            }
            EXPECT_EQ(r.difat, expected) << "fat_first " << fat_first << " bad " << bad;
            EXPECT_EQ(r.number_of_fat_sectors, 3u);
        }
    }
}

TEST(RebuildHeader, RefillStopsAtFreeEntryAndAtSectorNumbersOf128OrMore) {
    // Entry 0 names no FAT sector, so it is searched for (the mini FAT sector answers); entry 1
    // is FREESECT in the damaged header, which ends the refill: entry 2 keeps its damage.
    Bytes file = ThreeFatFile(false);
    CompoundFileHeader h = HeaderOf(file);
    h.difat[0] = h.first_directory_sector_location;
    h.difat[1] = 0xFFFFFFFF;
    h.difat[2] = 0x0BADBAD0;
    PutHeader(file, h);
    CompoundFileHeader r = Rebuilt(file);
    EXPECT_EQ(r.difat[0], h.first_mini_fat_sector_location);
    EXPECT_EQ(r.difat[1], 0xFFFFFFFFu);
    EXPECT_EQ(r.difat[2], 0x0BADBAD0u);

    // FAT first: an entry 0 past the end becomes 0, which is the FAT sector, so nothing is
    // searched and the other entries stay as they were.
    file = ThreeFatFile(true);
    h = HeaderOf(file);
    h.difat[0] = 0x0BADBAD0;  // past the end: becomes 0, kept
    h.difat[1] = 0x0BADBAD0;
    PutHeader(file, h);
    r = Rebuilt(file);
    EXPECT_EQ(r.difat[0], 0u);
    EXPECT_EQ(r.difat[1], 0x0BADBAD0u);  // no search, since sector 0 passed

    // FAT after the streams and no mini FAT: the FAT sector found for block 0 lies beyond 127,
    // so the refill stops after entry 0.
    file = WriteCompoundFile({{"PowerPoint Document", Bytes(190000, 0x22)}}, CfbLayout{false, 0});
    h = HeaderOf(file);
    ASSERT_GE(h.difat[0], 128u);
    const std::uint32_t real0 = h.difat[0];
    ASSERT_EQ(h.number_of_fat_sectors, 3u);
    h.difat[0] = 0x0BADBAD0;
    h.difat[1] = 0x0BADBAD1;
    h.difat[2] = 0xFFFFFFFF;
    h.number_of_fat_sectors = 0;
    PutHeader(file, h);
    r = Rebuilt(file);
    EXPECT_EQ(r.difat[0], real0);
    EXPECT_EQ(r.difat[1], 0x0BADBAD1u);
    // The count is raised to the two leading entries that are not FREESECT; the one FAT sector
    // found does not raise it further.
    EXPECT_EQ(r.number_of_fat_sectors, 2u);
}

TEST(RebuildHeader, FatCountIsOnlyEverRaised) {
    Bytes file = ThreeFatFile(true);
    CompoundFileHeader h = HeaderOf(file);
    h.number_of_fat_sectors = 1;  // lower than the three DIFAT entries
    PutHeader(file, h);
    EXPECT_EQ(Rebuilt(file).number_of_fat_sectors, 3u);

    h.number_of_fat_sectors = 5;  // higher: kept, and the mini FAT count wraps below zero
    PutHeader(file, h);
    const CompoundFileHeader r = Rebuilt(file);
    EXPECT_EQ(r.number_of_fat_sectors, 5u);
    // Three FAT sectors and one mini FAT sector are FAT-like: 4 - 5 wraps.
    EXPECT_EQ(r.number_of_mini_fat_sectors, 0xFFFFFFFFu);
}

TEST(RebuildHeader, MiniFatCountFollowsFatLikeSectors) {
    Bytes file = SmallFile(true, 2);  // two free sectors of 0xFF look like FAT sectors
    const CompoundFileHeader good = HeaderOf(file);
    const CompoundFileHeader r = Rebuilt(file);
    EXPECT_EQ(r.number_of_mini_fat_sectors, good.number_of_mini_fat_sectors + 2);

    CompoundFileHeader h = good;
    h.number_of_mini_fat_sectors = 0x55555555;
    PutHeader(file, h);
    EXPECT_EQ(Rebuilt(file).number_of_mini_fat_sectors, good.number_of_mini_fat_sectors + 2);
}

TEST(RebuildHeader, LostMiniFatLocationIsFoundAgain) {
    for (const bool fat_first : {true, false}) {
        Bytes file = SmallFile(fat_first);
        const CompoundFileHeader good = HeaderOf(file);
        for (const std::uint32_t bad :
             {0xFFFFFFFEu, 0x00ABCDEFu, good.first_directory_sector_location}) {
            CompoundFileHeader h = good;
            h.first_mini_fat_sector_location = bad;
            PutHeader(file, h);
            const CompoundFileHeader r = Rebuilt(file);
            if (fat_first) {
                EXPECT_EQ(r.first_mini_fat_sector_location, good.first_mini_fat_sector_location);
            } else {
                // The mini FAT now comes before the FAT: the FAT is the second FAT-like sector
                // of block 0, and that is what the search takes.
                EXPECT_EQ(r.first_mini_fat_sector_location, good.difat[0]);
            }
        }
    }
}

TEST(RebuildHeader, NoMiniStreamGivesSectorOneOrNothing) {
    const Bytes file = WriteCompoundFile({{"PowerPoint Document", Bytes(50000, 0x11)}});
    ASSERT_EQ(HeaderOf(file).first_mini_fat_sector_location, kEndOfChain);
    // ENDOFCHAIN becomes 1; sector 1 is the directory, so the second FAT-like sector of block 0
    // is searched for, and there is none.
    EXPECT_EQ(Rebuilt(file).first_mini_fat_sector_location, 0xFFFFFFFFu);
    // A 0xFF sector at the end is FAT-like and of every block: it is the second.
    const Bytes with_ff =
        WriteCompoundFile({{"PowerPoint Document", Bytes(50000, 0x11)}}, CfbLayout{true, 1});
    const std::uint32_t last = static_cast<std::uint32_t>(with_ff.size() / SECTOR_SIZE - 2);
    EXPECT_EQ(Rebuilt(with_ff).first_mini_fat_sector_location, last);
}

TEST(RebuildHeader, LostDirectoryLocationIsFoundAgain) {
    for (const bool fat_first : {true, false}) {
        Bytes file = ThreeFatFile(fat_first);
        const CompoundFileHeader good = HeaderOf(file);
        for (const std::uint32_t bad :
             {0xFFFFFFFFu, 0x10000000u, good.difat[0], good.difat[0] + 5}) {
            CompoundFileHeader h = good;
            h.first_directory_sector_location = bad;
            PutHeader(file, h);
            EXPECT_EQ(Rebuilt(file).first_directory_sector_location,
                      good.first_directory_sector_location);
        }
        // A directory whose root entry is lost cannot be found: the field says FREESECT.
        Bytes no_root = file;
        no_root[(good.first_directory_sector_location + 1) * SECTOR_SIZE + 66] = 1;
        CompoundFileHeader h = good;
        h.first_directory_sector_location = 0xFFFFFFFF;
        PutHeader(no_root, h);
        EXPECT_EQ(Rebuilt(no_root).first_directory_sector_location, 0xFFFFFFFFu);
    }
}

TEST(RebuildHeader, ZeroedHeaderOnFatFirstFile) {
    Bytes file = SmallFile(true);
    const CompoundFileHeader good = HeaderOf(file);
    std::fill_n(file.begin(), SECTOR_SIZE, 0);
    const CompoundFileHeader r = Rebuilt(file);
    EXPECT_TRUE(std::equal(kCanonicalHeaderPrefix.begin(), kCanonicalHeaderPrefix.end(),
                           r.Bytes().begin()));
    EXPECT_EQ(r.difat[0], good.difat[0]);  // 0, and sector 0 is the FAT
    EXPECT_EQ(r.first_directory_sector_location, good.first_directory_sector_location);
    EXPECT_EQ(r.mini_stream_cutoff_size, 4096u);
    // The 108 zero entries after entry 0 are not FREESECT: the FAT count is raised to 109.
    EXPECT_EQ(r.number_of_fat_sectors, 109u);
}

TEST(RebuildHeader, FilesShorterThanTwoSectors) {
    // 700 bytes: no whole sector after the header; everything searched for is FREESECT.
    Bytes file(700, 0);
    for (std::size_t i = 512; i < 700; ++i) file[i] = 0xFF;
    CompoundFileHeader r = Rebuilt(file);
    EXPECT_TRUE(std::equal(kCanonicalHeaderPrefix.begin(), kCanonicalHeaderPrefix.end(),
                           r.Bytes().begin()));
    EXPECT_EQ(r.difat[0], 0xFFFFFFFFu);
    EXPECT_EQ(r.difat[108], 0xFFFFFFFFu);
    EXPECT_EQ(r.number_of_fat_sectors, 109u);
    EXPECT_EQ(r.number_of_mini_fat_sectors, 0u - 109u);
    EXPECT_EQ(r.first_mini_fat_sector_location, 0xFFFFFFFFu);
    EXPECT_EQ(r.first_directory_sector_location, 0xFFFFFFFFu);

    // Shorter than the header: the missing bytes count as zero and 512 bytes are written.
    for (const std::size_t size : {0, 1, 100, 511}) {
        Bytes tiny(size, 0x00);
        r = Rebuilt(tiny);
        EXPECT_EQ(r.header_signature, kHeaderSignature) << size;
        EXPECT_EQ(r.mini_stream_cutoff_size, 4096u);
        EXPECT_EQ(r.first_directory_sector_location, 0xFFFFFFFFu);
    }
}

// Hand-made files: a header and a few sectors of chosen content, small enough that each case
// sits on one branch of the rebuild. Both ways of answering the rebuild's questions (one pass,
// a scan per question) run the same decisions, so each case is held by both results.
struct HandMade {
    CompoundFileHeader header;
    std::vector<Bytes> sectors;

    Bytes File() const {
        Bytes file(SECTOR_SIZE);
        header.Serialize(std::span<std::uint8_t, SECTOR_SIZE>(file.data(), SECTOR_SIZE));
        for (const Bytes& s : sectors) file.insert(file.end(), s.begin(), s.end());
        return file;
    }
};

Bytes SectorOfEntries(std::uint32_t value) {
    Bytes s(SECTOR_SIZE);
    for (std::uint32_t i = 0; i < kEntriesPerSector; ++i) WriteLE32(s.data() + 4 * i, value);
    return s;
}

// Stream bytes: no run, no special value, and every entry of 512 or more, so FatBlockIndex
// of block 0 is 0 and the sector is neither FAT-like nor taken for block 1.
Bytes DataSector() {
    return SectorOfEntries(0x22222222);
}
// Every entry FREESECT: FAT-like, and FatBlockIndex answers whatever block is asked.
Bytes FreeSector() {
    return SectorOfEntries(kFreeSect);
}

CompoundFileHeader RebuiltBothWays(const Bytes& file) {
    MemoryFile literal(file);
    RebuildHeaderLiteral(literal);
    const CompoundFileHeader one_pass = Rebuilt(file);
    EXPECT_EQ(HeaderOf(literal.bytes()), one_pass) << "the one-pass and literal rebuilds differ";
    return one_pass;
}

TEST(RebuildHeaderBranches, FirstFatSectorOfBlockOneIsKeptWithoutSearch) {
    // Sector 0 is not FAT-like, but its entries (all 200) average into block 1, so DIFAT entry
    // 0 is kept as it is although a FAT-like sector (sector 1) waits to be found.
    HandMade m;
    m.header.difat.fill(kFreeSect);
    m.header.difat[0] = 0;
    m.header.difat[1] = 0x0BADBAD1;
    m.sectors = {SectorOfEntries(200), FreeSector()};
    CompoundFileHeader r = RebuiltBothWays(m.File());
    EXPECT_EQ(r.difat[0], 0u);
    EXPECT_EQ(r.difat[1], 0x0BADBAD1u);

    // Entries of 100 average into block 0: the same sector is searched past.
    m.sectors[0] = SectorOfEntries(100);
    r = RebuiltBothWays(m.File());
    EXPECT_EQ(r.difat[0], 1u);
    EXPECT_EQ(r.difat[1], 1u);  // sector 1 answers for block 1 too
}

TEST(RebuildHeaderBranches, RefillStopsOnceTheFatSectorFoundIs128OrMore) {
    // The only FAT-like sector is sector `at`; entry 0 names a data sector, so it is searched.
    for (const std::uint32_t at : {127u, 128u}) {
        HandMade m;
        m.header.difat.fill(kFreeSect);
        m.header.difat[0] = 0;
        m.header.difat[1] = 0x0BADBAD1;
        m.sectors.assign(at, DataSector());
        m.sectors.push_back(FreeSector());
        const CompoundFileHeader r = RebuiltBothWays(m.File());
        EXPECT_EQ(r.difat[0], at);
        // Below 128 the refill goes on to entry 1 (the same sector answers for block 1); at
        // 128 it stops and entry 1 keeps its damage.
        EXPECT_EQ(r.difat[1], at < 128 ? at : 0x0BADBAD1u) << "FAT sector at " << at;
        EXPECT_EQ(r.number_of_fat_sectors, 2u);  // the two leading entries that are not free
    }
}

TEST(RebuildHeaderBranches, FatCountRaisedToTheRefillOnlyWhenFatLikeSectorsDisagree) {
    // DIFAT entry 0 is FREESECT, so the listed entries raise nothing; the refill of entries 0
    // and 1 finds sector 1 for both (F = 2). Two sectors are FAT-like (T = 2).
    HandMade m;
    m.header.difat.fill(kFreeSect);
    m.header.difat[1] = 0x0BADBAD1;
    m.sectors = {DataSector(), FreeSector(), FreeSector()};
    for (const std::uint32_t mini_found : {2u, 5u}) {
        m.header.number_of_fat_sectors = 0;
        m.header.number_of_mini_fat_sectors = mini_found;
        const CompoundFileHeader r = RebuiltBothWays(m.File());
        EXPECT_EQ(r.difat[0], 1u);
        EXPECT_EQ(r.difat[1], 1u);
        // Counts found (0 + mini_found) equal to T are believed: no raise; otherwise F.
        const std::uint32_t fat = mini_found == 2 ? 0u : 2u;
        EXPECT_EQ(r.number_of_fat_sectors, fat) << "mini FAT count found " << mini_found;
        EXPECT_EQ(r.number_of_mini_fat_sectors, 2u - fat);
    }
}

// A file whose I/O fails at the nth call (counting Length, Seek, Read and Write): only that
// call (a passing fault), or that call and every later one (a vanished disk).
class FailingFile final : public RandomAccessFile {
  public:
    FailingFile(Bytes bytes, int fail_at, bool persistent)
        : inner_(std::move(bytes)), fail_at_(fail_at), persistent_(persistent) {}
    std::uint64_t Length() override {
        if (Fails()) return Record("length"), 0;
        return inner_.Length();
    }
    bool Seek(std::uint64_t offset) override {
        return Fails() ? Record("seek"), false : inner_.Seek(offset);
    }
    std::size_t Read(std::span<std::uint8_t> out) override {
        if (!Fails()) return inner_.Read(out);
        // A read that breaks part way still delivers what came before the error.
        const std::size_t got = inner_.Read(out.first(out.size() / 2));
        Record("read");
        return got;
    }
    bool Write(std::span<const std::uint8_t> data) override {
        return Fails() ? Record("write"), false : inner_.Write(data);
    }
    const Bytes& bytes() const { return inner_.bytes(); }
    int calls() const { return calls_; }

  private:
    bool Fails() {
        ++calls_;
        return persistent_ ? calls_ >= fail_at_ : calls_ == fail_at_;
    }
    void Record(const char* what) { RecordError(std::string(what) + " failed: simulated"); }
    MemoryFile inner_;
    int fail_at_;
    bool persistent_;
    int calls_ = 0;
};

TEST(RebuildHeader, EveryIoFailureIsReported) {
    // A small file is read in one go; one over a few MB is read ahead on a second thread.
    for (const std::size_t size : {190000, 3'000'000}) {
        Bytes file = WriteCompoundFile(PresentationStreams(size, 4), CfbLayout{false, 0});
        std::fill_n(file.begin(), SECTOR_SIZE, 0xEE);
        FailingFile probe(file, 1 << 30, true);
        RebuildHeader(probe);
        ASSERT_FALSE(probe.Failed());
        const int calls = probe.calls();
        for (int n = 1; n <= calls; ++n) {
            for (const bool persistent : {false, true}) {
                FailingFile f(file, n, persistent);
                RebuildHeader(f);
                const std::string what = "failure at call " + std::to_string(n) + " of " +
                                         std::to_string(calls) + (persistent ? ", persistent" : "");
                EXPECT_TRUE(f.Failed()) << what << " went unnoticed";
                // Above all, no write lands anywhere but on the header (say after a failed seek).
                ASSERT_EQ(f.bytes().size(), file.size()) << what;
                EXPECT_TRUE(std::equal(file.begin() + SECTOR_SIZE, file.end(),
                                       f.bytes().begin() + SECTOR_SIZE))
                    << what;
            }
        }
    }
    const Bytes file = ThreeFatFile(false);
    MemoryFile dead(file);
    dead.FailAllIo(true);
    RebuildHeader(dead);
    EXPECT_TRUE(dead.Failed());
    EXPECT_EQ(dead.bytes(), file);
}

}  // namespace
}  // namespace deckwright
