#include "engine/presentation_check.h"

#include <gtest/gtest.h>

#include "engine/header_rebuild.h"
#include "engine/little_endian.h"
#include "engine/memory_file.h"
#include "engine/sector_pass.h"
#include "tests/support/cfb_writer.h"

namespace deckwright {
namespace {

using testing::HeaderOf;
using testing::PresentationStreams;
using testing::PresentationStreamsHolding;
using testing::Record;
using testing::StreamSpec;
using testing::WriteCompoundFile;

// The verdict on the records, the same whether the check reads the stream's sectors or a pass
// over the file told it which of them hold only zeros.
ContentCheck Walk(const std::vector<StreamSpec>& streams) {
    const auto bytes = WriteCompoundFile(streams);
    MemoryFile m(bytes);
    const ContentCheck read = CheckPresentationContent(m, HeaderOf(bytes));
    const SectorPass pass = PassOverSectors(m, RebuildHeaderChooser);
    const ContentCheck told = CheckPresentationContent(m, HeaderOf(bytes), nullptr, &pass.zeros);
    EXPECT_EQ(told.damaged, read.damaged) << read.problem;
    EXPECT_EQ(told.problem, read.problem);
    EXPECT_EQ(told.offset, read.offset);
    return read;
}

std::vector<std::uint8_t>& Document(std::vector<StreamSpec>& streams) {
    return streams[0].data;
}

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Slides: a container of three atoms, its second atom 600 bytes long.
std::vector<std::uint8_t> Slides() {
    return Record(0xF, 0x03EE,
                  Concat({Record(0, 0x03EF, std::vector<std::uint8_t>(24, 1)),
                          Record(0, 0x0FA0, std::vector<std::uint8_t>(600, 2)),
                          Record(0, 0x0FA8, std::vector<std::uint8_t>(40, 3))}));
}

// Records that fit and point where they should pass; zeroed or overrun record headers, at any
// depth, are damage reported at their offset. Sizes of the small streams and the big one both.
TEST(PresentationCheck, DamagedRecordHeadersAreFoundWhereTheyAre) {
    for (std::size_t size : {3000u, 70000u}) {
        const auto intact = Walk(PresentationStreams(size, 3));
        EXPECT_TRUE(intact.walked);
        EXPECT_FALSE(intact.damaged) << intact.problem;

        auto zeroed = PresentationStreams(size, 3);
        std::fill_n(Document(zeroed).begin(), 16, std::uint8_t{0});
        const auto z = Walk(zeroed);
        EXPECT_TRUE(z.damaged);
        EXPECT_EQ(z.offset, 0u);
        EXPECT_NE(z.problem.find("zeroed"), std::string::npos) << z.problem;
    }
    // Nested: the second atom of the slides container (at 8 + 8 + 32) zeroed.
    auto nested = PresentationStreamsHolding(Concat({Slides(), Slides()}), 4);
    ASSERT_FALSE(Walk(nested).damaged) << Walk(nested).problem;
    std::fill_n(Document(nested).begin() + 48, 8, std::uint8_t{0});
    const auto n = Walk(nested);
    EXPECT_TRUE(n.damaged);
    EXPECT_EQ(n.offset, 48u) << n.problem;
    // The same atom's length made to overrun its container.
    nested = PresentationStreamsHolding(Concat({Slides(), Slides()}), 4);
    WriteLE32(Document(nested).data() + 48 + 4, 5000);
    EXPECT_EQ(Walk(nested).offset, 48u) << Walk(nested).problem;
    EXPECT_NE(Walk(nested).problem.find("runs past the end"), std::string::npos);
    // A container's first record with its type and length zeroed, its instance left.
    auto first = PresentationStreamsHolding(
        Record(0xF, 0x03EE,
               Concat({Record(0x10, 0x03EF, std::vector<std::uint8_t>(24, 1)),
                       Record(0, 0x0FA0, std::vector<std::uint8_t>(600, 2))})),
        4);
    ASSERT_FALSE(Walk(first).damaged) << Walk(first).problem;
    std::fill_n(Document(first).begin() + 16 + 2, 6, std::uint8_t{0});
    EXPECT_EQ(Walk(first).offset, 16u) << Walk(first).problem;
    EXPECT_TRUE(Walk(first).damaged);
    // The persist directory's record replaced: the user edit points at something else.
    auto directory = PresentationStreams(3000, 5);
    auto& d = Document(directory);
    WriteLE16(d.data() + d.size() - 36 - 16 + 2, 0x0FA0);
    EXPECT_NE(Walk(directory).problem.find("persist directory"), std::string::npos);
}

// A container whose bytes are not records (round-trip data some writers give a container's
// version) is not damage; PowerPoint 95's "Current User" is a name, not walked; anything else
// in "Current User" is damage.
TEST(PresentationCheck, WhatIsNotRecordsIsToldApartFromDamage) {
    std::vector<std::uint8_t> zip = {'P', 'K', 3, 4, 20, 0, 6, 0, 8, 0, 0, 0, 33, 0, 0x56, 0xAE};
    zip.resize(300, 9);
    const auto round_trip = Walk(PresentationStreamsHolding(
        Concat({Slides(), Record(0xF, 0x0428, zip), Slides()}), 6));
    EXPECT_FALSE(round_trip.damaged) << round_trip.problem;

    auto pp95 = PresentationStreams(3000, 7);
    pp95[1].data = {5, 0, 0, 0, 'A', 'n', 'n', 'a', '!'};
    const auto old = Walk(pp95);
    EXPECT_FALSE(old.walked);
    EXPECT_FALSE(old.damaged);

    auto garbage = pp95;
    garbage[1].data[0] = 6;
    const auto g = Walk(garbage);
    EXPECT_TRUE(g.damaged);
    EXPECT_NE(g.problem.find("Current User"), std::string::npos) << g.problem;
}

// An embedded object's compressed storage must inflate whole: damage inside it shows in no
// record header, only in its codes, its length or its checksum.
TEST(PresentationCheck, ACompressedStorageThatDoesNotInflateIsDamage) {
    // "hello" in a stored zlib block, after the size it inflates to.
    const std::vector<std::uint8_t> storage = {5,    0,    0,    0,    0x78, 0x01, 0x01, 0x05,
                                               0x00, 0xFA, 0xFF, 'h',  'e',  'l',  'l',  'o',
                                               0x06, 0x2C, 0x02, 0x15};
    auto holding = [](const std::vector<std::uint8_t>& body) {
        return PresentationStreamsHolding(
            Concat({Record(0xF, 0x0409, Concat({Record(0x10, 0x1011, body)})), Slides()}), 8);
    };
    const auto intact = Walk(holding(storage));
    EXPECT_TRUE(intact.walked);
    EXPECT_FALSE(intact.damaged) << intact.problem;
    // Uncompressed (instance 0), the same bytes are not inflated.
    EXPECT_FALSE(Walk(PresentationStreamsHolding(
                          Concat({Record(0xF, 0x0409, Concat({Record(0x00, 0x1011, {1, 2, 3})}))}),
                          8))
                     .damaged);

    auto changed = storage;
    changed[13] = 0;  // a byte of the text
    const auto c = Walk(holding(changed));
    EXPECT_TRUE(c.damaged);
    EXPECT_EQ(c.offset, 8u + 8u) << c.problem;  // after the 8 bytes before the records
    EXPECT_NE(c.problem.find("does not inflate"), std::string::npos) << c.problem;
    auto wrong_size = storage;
    wrong_size[0] = 6;
    EXPECT_TRUE(Walk(holding(wrong_size)).damaged);
}

// A lost sector leaves zeros where the presentation's own records had text, properties or
// shapes: a whole unit of the stream (sector, or mini sector in the mini stream) of zeros in
// one is damage, reported where it begins; less than a unit is not, nor zeros in data of other
// formats (pictures, embedded files), nor the random-looking bytes of encrypted objects, whose
// zeroed units are damage too.
TEST(PresentationCheck, AWholeUnitOfZerosInTheRecordsIsALostSector) {
    for (std::size_t size : {3000u, 70000u}) {
        const std::size_t unit = size < 4096 ? 64 : 512;
        auto streams = PresentationStreams(size, 5);
        ASSERT_FALSE(Walk(streams).damaged);
        auto zeroed = streams;
        std::fill_n(Document(zeroed).begin() + 2 * unit, unit, std::uint8_t{0});
        const auto z = Walk(zeroed);
        EXPECT_TRUE(z.damaged) << size;
        EXPECT_EQ(z.offset, 2 * unit) << z.problem;
        EXPECT_NE(z.problem.find("only zeros"), std::string::npos) << z.problem;
        // One byte short of a unit, or straddling two, is no lost unit.
        auto short_run = streams;
        std::fill_n(Document(short_run).begin() + 2 * unit, unit - 1, std::uint8_t{0});
        EXPECT_FALSE(Walk(short_run).damaged) << size;
        auto straddling = streams;
        std::fill_n(Document(straddling).begin() + 2 * unit + 1, unit, std::uint8_t{0});
        EXPECT_FALSE(Walk(straddling).damaged) << size;

        // Encrypted: the records are not walked, but a zeroed unit is still found.
        auto encrypted = zeroed;
        WriteLE32(encrypted[1].data.data() + 12, 0xF3D1C4DF);
        const auto e = Walk(encrypted);
        EXPECT_TRUE(e.damaged) << size;
        EXPECT_EQ(e.offset, 2 * unit) << e.problem;
        auto intact = streams;
        WriteLE32(intact[1].data.data() + 12, 0xF3D1C4DF);
        EXPECT_FALSE(Walk(intact).damaged) << Walk(intact).problem;
    }
    // A picture and an embedded file full of zeros are what they are.
    const std::vector<std::uint8_t> zeros(2000, 0);
    EXPECT_FALSE(Walk(PresentationStreamsHolding(
                          Concat({Record(0xF, 0x0409, Concat({Record(0x00, 0x1011, zeros)})),
                                  Record(0xF, 0xF001, Concat({Record(0x6E00, 0xF01D, zeros)}))}),
                          8))
                     .damaged);
}

// Later versions keep records of their own in binary tag data, an atom by its version: a lost
// sector among them is damage, while tag data that holds no records is data of its own.
TEST(PresentationCheck, RecordsKeptInBinaryTagDataAreWalked) {
    const auto tagged = [](std::vector<std::uint8_t> body) {
        return PresentationStreamsHolding(
            Concat(
                {Record(0, 0x0FBA, std::vector<std::uint8_t>(5000, 7)), Record(0, 0x138B, body)}),
            4);
    };
    const std::vector<std::uint8_t> records =
        Record(0xF, 0x03EE, Concat({Record(0, 0x0FA0, std::vector<std::uint8_t>(3000, 2))}));
    auto streams = tagged(records);
    ASSERT_FALSE(Walk(streams).damaged) << Walk(streams).problem;
    std::fill_n(Document(streams).begin() + 6144, 512, std::uint8_t{0});
    const auto z = Walk(streams);
    EXPECT_TRUE(z.damaged);
    EXPECT_EQ(z.offset, 6144u) << z.problem;
    EXPECT_FALSE(Walk(tagged(std::vector<std::uint8_t>(3000, 0))).damaged);
}

// Saving in place leaves the records of earlier saves in the stream, which no persist
// directory names any more: a lost sector among them is a loss of the stream's bytes all the
// same. Zeros up to a sector's edge where a save begins, or to the stream's end, are padding.
TEST(PresentationCheck, RecordsOfEarlierSavesAreCheckedToo) {
    const auto with_after = [](std::vector<std::uint8_t> tail) {
        auto streams = PresentationStreams(5000, 6);
        Document(streams).insert(Document(streams).end(), tail.begin(), tail.end());
        return streams;
    };
    const std::vector<std::uint8_t> earlier =
        Record(0xF, 0x03EE, Concat({Record(0, 0x0FA0, std::vector<std::uint8_t>(3000, 2))}));
    const std::size_t size = PresentationStreams(5000, 6)[0].data.size();
    ASSERT_FALSE(Walk(with_after(earlier)).damaged) << Walk(with_after(earlier)).problem;

    auto lost = with_after(earlier);
    const std::size_t unit = (size + 16 + 511) / 512 * 512;  // inside the earlier text
    std::fill_n(Document(lost).begin() + static_cast<std::ptrdiff_t>(unit), 512, std::uint8_t{0});
    const auto z = Walk(lost);
    EXPECT_TRUE(z.damaged);
    EXPECT_EQ(z.offset, unit) << z.problem;

    const std::size_t pad = (size + 511) / 512 * 512 - size;
    ASSERT_GT(pad, 8u);
    auto padded = std::vector<std::uint8_t>(pad, 0);
    padded.insert(padded.end(), earlier.begin(), earlier.end());
    EXPECT_FALSE(Walk(with_after(padded)).damaged) << Walk(with_after(padded)).problem;
    EXPECT_FALSE(Walk(with_after(std::vector<std::uint8_t>(700, 0))).damaged);
    // Zeros that end short of a sector's edge are a zeroed record header.
    padded.insert(padded.begin(), 0);
    EXPECT_TRUE(Walk(with_after(padded)).damaged);
}

// Encrypted, every save's objects look random: a lost sector is found wherever it lies among
// them, across an object's end too.
TEST(PresentationCheck, ALostSectorAcrossEncryptedObjectsIsFound) {
    auto streams = PresentationStreamsHolding(
        Concat({Record(0, 0x0FBA, std::vector<std::uint8_t>(1000, 7))}), 9);
    // An earlier save's object before the document, its end inside the sector zeroed.
    const auto earlier = Record(0, 0x0FBA, std::vector<std::uint8_t>(5000, 5));
    Document(streams).insert(Document(streams).begin(), earlier.begin(), earlier.end());
    auto shift = [&](std::size_t at) {
        WriteLE32(Document(streams).data() + at, ReadLE32(Document(streams).data() + at) +
                                                     static_cast<std::uint32_t>(earlier.size()));
    };
    const std::size_t doc = Document(streams).size();
    shift(doc - 36 + 20);  // the edit's directory
    shift(doc - 36 - 4);   // the directory's one offset
    WriteLE32(streams[1].data.data() + 16,
              ReadLE32(streams[1].data.data() + 16) + static_cast<std::uint32_t>(earlier.size()));
    WriteLE32(streams[1].data.data() + 12, 0xF3D1C4DF);
    ASSERT_FALSE(Walk(streams).damaged) << Walk(streams).problem;
    std::fill_n(Document(streams).begin() + 4608, 512, std::uint8_t{0});
    const auto z = Walk(streams);
    EXPECT_TRUE(z.damaged);
    EXPECT_EQ(z.offset, 4608u) << z.problem;
}

}  // namespace
}  // namespace deckwright
