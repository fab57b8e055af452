#include "engine/lost_entries.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "engine/little_endian.h"
#include "engine/memory_file.h"
#include "engine/repair.h"
#include "tests/support/cfb_reader.h"
#include "tests/support/cfb_writer.h"

namespace deckwright {
namespace {

using testing::HeaderOf;
using testing::PresentationStreams;
using testing::ReadStreams;
using testing::StreamSpec;
using testing::WriteCompoundFile;

constexpr std::array<std::uint8_t, 16> kSummaryId = {
    0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10, 0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
constexpr std::array<std::uint8_t, 16> kDocumentSummaryId = {
    0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};

// A property set as writers lay one out: its header, one section listed at 48, and the section:
// its size (`section` bytes, a multiple of 4), then bytes drawn from `seed`.
std::vector<std::uint8_t> PropertySet(const std::array<std::uint8_t, 16>& id, std::uint32_t section,
                                      std::uint32_t seed) {
    std::vector<std::uint8_t> v(48 + section);
    std::mt19937 rng(seed);
    for (auto& b : v) b = static_cast<std::uint8_t>(rng());
    WriteLE32(v.data(), 0x0000FFFE);
    WriteLE32(v.data() + 24, 1);
    std::copy(id.begin(), id.end(), v.begin() + 28);
    WriteLE32(v.data() + 44, 48);
    WriteLE32(v.data() + 48, section);
    return v;
}

// A "Current User" atom naming the edit at `edit`, for `user`, then what follows it.
std::vector<std::uint8_t> CurrentUser(const std::string& user, std::vector<std::uint8_t> after) {
    std::vector<std::uint8_t> v(8 + 20 + user.size() + 4);
    WriteLE16(v.data() + 2, 0x0FF6);
    WriteLE32(v.data() + 4, static_cast<std::uint32_t>(20 + user.size() + 4));
    WriteLE32(v.data() + 8, 0x14);
    WriteLE32(v.data() + 12, 0xE391C05F);
    WriteLE16(v.data() + 20, static_cast<std::uint16_t>(user.size()));
    std::copy(user.begin(), user.end(), v.begin() + 28);
    v.insert(v.end(), after.begin(), after.end());
    return v;
}

// An embedded object's class and its OLE stream, as one writer keeps them at a presentation's top.
std::vector<std::uint8_t> CompObj() {
    std::vector<std::uint8_t> v = {0x01, 0x00, 0xFE, 0xFF, 0x03, 0x0A, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
                                   0xFF, 0x10, 0x8D, 0x81, 0x64, 0x9B, 0x4F, 0xCF, 0x11, 0x86, 0xEA,
                                   0x00, 0xAA, 0x00, 0xB9, 0x29, 0xE8, 0x11, 0x00, 0x00, 0x00};
    const std::string type = "MS PowerPoint 97";
    v.insert(v.end(), type.begin(), type.end());
    v.resize(v.size() + 1 + 4 + 4);  // its null, no clipboard format, no reserved string
    return v;
}
std::vector<std::uint8_t> Ole() {
    std::vector<std::uint8_t> v(20);
    WriteLE32(v.data(), 0x02000001);
    return v;
}
// Picture records: each a header (version 0, a picture's type, its length), then its bytes.
std::vector<std::uint8_t> Pictures(std::initializer_list<std::uint32_t> lengths) {
    std::vector<std::uint8_t> v;
    for (const std::uint32_t n : lengths) {
        std::vector<std::uint8_t> r(8 + n, 0x5A);
        WriteLE16(r.data(), 0);
        WriteLE16(r.data() + 2, 0xF01D);
        WriteLE32(r.data() + 4, n);
        v.insert(v.end(), r.begin(), r.end());
    }
    return v;
}

TEST(LostEntries, StreamsTellTheirNamesAndSizesOnlyWhereTheirBytesAreSure) {
    // "Current User": the atom alone when zeros follow, with the user's name again in UTF-16
    // when that follows, and neither when other bytes do.
    EXPECT_EQ(SizeByBytes("Current User", CurrentUser("Ann", std::vector<std::uint8_t>(64, 0))),
              8u + 27u);
    EXPECT_EQ(SizeByBytes("Current User", CurrentUser("Ann", {'A', 0, 'n', 0, 'n', 0, 0, 0})),
              8u + 27u + 6u);
    EXPECT_EQ(SizeByBytes("Current User", CurrentUser("Ann", {'A', 0, 'n', 0, 'x', 0, 0, 0})),
              std::nullopt);
    // A chain with no room for the name again holds the atom alone.
    EXPECT_EQ(SizeByBytes("Current User", CurrentUser("Ann", {0, 0})), 8u + 27u);

    // Property sets: told apart by their format ids, and as long as their last section runs.
    const auto summary = PropertySet(kSummaryId, 200, 1);
    EXPECT_EQ(NameByBeginning(summary), std::string("\x05SummaryInformation"));
    EXPECT_EQ(NameByBeginning(PropertySet(kDocumentSummaryId, 200, 1)),
              std::string("\x05"
                          "DocumentSummaryInformation"));
    EXPECT_EQ(SizeByBytes("\x05SummaryInformation", summary), 248u);
    auto odd = summary;
    WriteLE32(odd.data() + 48, 199);  // not how writers lay a section out: the size is not sure
    EXPECT_EQ(SizeByBytes("\x05SummaryInformation", odd), std::nullopt);
    auto other = summary;
    other[30] ^= 1;  // another format: no name is told
    EXPECT_EQ(NameByBeginning(other), std::nullopt);

    // An object's class ends with its last string, its OLE stream after the fixed fields, the
    // pictures with their last record: zeros after them in their last sector are no part.
    auto padded = [](std::vector<std::uint8_t> v) {
        v.resize((v.size() + 63) / 64 * 64 + 64);
        return v;
    };
    EXPECT_EQ(NameByBeginning(padded(CompObj())), std::string("\x01"
                                                              "CompObj"));
    EXPECT_EQ(SizeByBytes("\x01"
                          "CompObj",
                          padded(CompObj())),
              57u);
    EXPECT_EQ(NameByBeginning(padded(Ole())), std::string("\x01"
                                                          "Ole"));
    EXPECT_EQ(SizeByBytes("\x01"
                          "Ole",
                          padded(Ole())),
              20u);
    EXPECT_EQ(NameByBeginning(padded(Pictures({100, 3000}))), std::string("Pictures"));
    EXPECT_EQ(SizeByBytes("Pictures", padded(Pictures({100, 3000}))), 3116u);
    auto more = padded(CompObj());
    more[60] = 1;  // bytes after the last string: the stream may go on
    EXPECT_EQ(SizeByBytes("\x01"
                          "CompObj",
                          more),
              std::nullopt);
}

TEST(LostEntries, EachSubtreeKeepsItsTopAndItsNamesInDirectoryOrder) {
    auto entry = [](const std::string& name) {
        return NewEntry{name, 1, kNoStream, kNoStream, 0, 0};
    };
    // Entries 8 to 11: the tree links to 9 for names before some entry, to 11 for names after.
    const auto slots = SubtreesInSector(
        {{9, {entry("Current User"), entry("Abc")}}, {11, {entry("PowerPoint Document")}}}, 8);
    ASSERT_TRUE(slots.has_value());
    ASSERT_TRUE((*slots)[1] && (*slots)[3]);
    EXPECT_EQ((*slots)[3]->name, "PowerPoint Document");
    const NewEntry& top = *(*slots)[1];
    EXPECT_EQ(top.colour, 1);
    // "Abc" sorts before "Current User" (shorter first): it hangs to the left of the top.
    const std::uint32_t other = top.left != kNoStream ? top.left : top.right;
    ASSERT_NE(other, kNoStream);
    ASSERT_TRUE((*slots)[other - 8]);
    const bool abc_on_top = top.name == "Abc";
    EXPECT_EQ((*slots)[other - 8]->name, abc_on_top ? "Current User" : "Abc");
    EXPECT_EQ(top.left != kNoStream, !abc_on_top);
    EXPECT_FALSE(
        SubtreesInSector({{9, {entry("A"), entry("B"), entry("C"), entry("D"), entry("E")}}}, 8));
    EXPECT_FALSE(SubtreesInSector({{12, {entry("A")}}}, 8));  // its top is outside the sector
}

std::uint8_t* SectorPtr(std::vector<std::uint8_t>& f, std::uint32_t k) {
    return f.data() + (static_cast<std::size_t>(k) + 1) * SECTOR_SIZE;
}

// The directory's second sector, as the writer chains it after the first.
std::uint32_t SecondDirectorySector(const std::vector<std::uint8_t>& f) {
    const CompoundFileHeader h = HeaderOf(f);
    const std::uint32_t d = h.first_directory_sector_location;
    return ReadLE32(f.data() + (h.difat[d / kEntriesPerSector] + 1) * SECTOR_SIZE +
                    4 * (d % kEntriesPerSector));
}

std::optional<std::vector<std::uint8_t>> CorpusFile(const std::string& name) {
    const char* corpus = std::getenv("DECKWRIGHT_CORPUS_DIR");
    std::ifstream in(std::string(corpus ? corpus : "") + "/" + name, std::ios::binary);
    if (!corpus || !in) return std::nullopt;
    return std::vector<std::uint8_t>{std::istreambuf_iterator<char>(in), {}};
}

// Repairs `damaged` and expects every stream of `good` back, as a reader apart from the engine
// reads them, with the directory sector said to be rebuilt.
void ExpectStreamsBack(const std::vector<std::uint8_t>& good, std::vector<std::uint8_t> damaged,
                       std::uint32_t sector, const std::string& what) {
    MemoryFile m(std::move(damaged));
    const RepairOutcome o = RepairCompoundFile(m);
    ASSERT_TRUE(o.sound) << what << ": " << o.problem;
    EXPECT_TRUE(o.warning.empty()) << what << ": " << o.warning;
    bool said = false;
    for (const RebuiltSector& r : o.rebuilt)
        said |= r.sector == sector && r.what.find("directory") != std::string::npos;
    EXPECT_TRUE(said) << what << ": the rebuilt directory sector is not said";
    const auto want = ReadStreams(good);
    const auto got = ReadStreams(m.bytes());
    ASSERT_TRUE(want.has_value()) << what;
    ASSERT_TRUE(got.has_value()) << what << ": the repaired copy does not read";
    EXPECT_TRUE(*got == *want) << what << ": the streams differ";
}

TEST(LostEntries, AWipedOrCutOffDirectorySectorComesBackFromTheStreamsOwnBytes) {
    auto streams = PresentationStreams(70000, 4);
    streams[2].data = PropertySet(kSummaryId, 2000, 2);
    streams[3].data = PropertySet(kDocumentSummaryId, 300, 3);
    const auto good = WriteCompoundFile(streams);
    // The directory's second sector holds the last entry, the small document summary.
    auto wiped = good;
    const std::uint32_t second = SecondDirectorySector(good);
    std::fill_n(SectorPtr(wiped, second), SECTOR_SIZE, 0);
    ExpectStreamsBack(good, wiped, second, "the second directory sector wiped");

    // Real files: two small streams; the presentation and a padded property set cut off with
    // the tail; a property set and "Current User" linked from two places in the tree; "Current
    // User" in a file whose last FAT sector describes only sectors past its end, and cut off
    // (the FAT's link into the cut tail is the file's own, not a flipped bit); whole
    // directories cut off with the tail, with no mini stream and with one among the chains left.
    struct Case {
        const char* file;
        std::uint32_t sector;
        bool cut;
    };
    for (const Case& c :
         {Case{"oletools_sample_with_lnk_file.ppt", 18, false}, Case{"poi_41246-2.ppt", 283, true},
          Case{"tika_testMSChart-govdocs-428996.ppt", 76, false},
          Case{"poi_bug60345_paperfigures.ppt", 768, false}, Case{"poi_datetime.ppt", 219, false},
          Case{"poi_SampleShow.ppt", 243, true}, Case{"poi_44296.ppt", 224, true},
          Case{"phppres_Sample_00_03.ppt", 142, true}}) {
        const auto file = CorpusFile(c.file);
        if (!file) GTEST_SKIP() << c.file << " is not in DECKWRIGHT_CORPUS_DIR";
        auto damaged = *file;
        if (c.cut)
            damaged.resize((static_cast<std::size_t>(c.sector) + 1) * SECTOR_SIZE);
        else
            std::fill_n(SectorPtr(damaged, c.sector), SECTOR_SIZE, 0);
        ExpectStreamsBack(*file, damaged, c.sector, c.file);
    }
}

TEST(LostEntries, WhatTheStreamsCannotTellIsRefused) {
    auto streams = PresentationStreams(70000, 4);
    streams[2].data = PropertySet(kSummaryId, 2000, 2);
    streams[3].data = PropertySet(kDocumentSummaryId, 300, 3);
    const auto good = WriteCompoundFile(streams);
    const std::uint32_t second = SecondDirectorySector(good);
    auto refused = [&](std::vector<std::uint8_t> f, const std::string& what) {
        std::fill_n(SectorPtr(f, second), SECTOR_SIZE, 0);
        MemoryFile m(std::move(f));
        const RepairOutcome o = RepairCompoundFile(m);
        EXPECT_FALSE(o.sound) << what;
        EXPECT_NE(o.problem.find("directory sector " + std::to_string(second)), std::string::npos)
            << what << ": " << o.problem;
    };
    // The lost entry's stream tells no size for sure: its section's size is odd.
    {
        auto odd = streams;
        WriteLE32(odd[3].data.data() + 48, 301);
        refused(WriteCompoundFile(odd), "a property set of no sure size");
    }
    // An empty "Pictures" lost: nothing tells it was there, but the writers that keep an
    // object's class at the top write one. Two streams named to sort first keep the object's
    // stream in the first sector; the second, the directory's last, holds the rest.
    {
        std::vector<StreamSpec> with_objects = {streams[0], streams[1]};
        with_objects.push_back({"A1", std::vector<std::uint8_t>(100, 1)});
        with_objects.push_back({"A2", std::vector<std::uint8_t>(100, 2)});
        with_objects.push_back(
            {"\x01"
             "CompObj",
             CompObj()});
        with_objects.push_back(
            {"\x01"
             "Ole",
             Ole()});
        with_objects.push_back({"Pictures", {}});
        auto f = WriteCompoundFile(with_objects);
        std::fill_n(SectorPtr(f, SecondDirectorySector(f)), SECTOR_SIZE, 0);
        MemoryFile m(std::move(f));
        const RepairOutcome o = RepairCompoundFile(m);
        EXPECT_FALSE(o.sound) << "an empty \"Pictures\" lost";
    }
    // Entries elsewhere that only the lost sector linked to: the tree runs from the root to
    // "Current User", then into the lost sector, whose entry went on to the other two.
    {
        auto f = good;
        const CompoundFileHeader h = HeaderOf(f);
        std::uint8_t* dir = SectorPtr(f, h.first_directory_sector_location);
        WriteLE32(dir + 1 * 128 + 72, 4);          // "Current User" on to the lost entry
        WriteLE32(dir + 3 * 128 + 72, kNoStream);  // the presentation's link to it gone
        WriteLE32(SectorPtr(f, second) + 72, 2);   // the lost entry on to the property set
        refused(f, "entries only the lost sector reached");
    }
}

}  // namespace
}  // namespace deckwright
