#include "engine/sector_classifiers.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/little_endian.h"

namespace deckwright {
namespace {

using Bytes = std::array<std::uint8_t, SECTOR_SIZE>;

Bytes Filled(std::uint8_t value) {
    Bytes b;
    b.fill(value);
    return b;
}

void SetEntry(Bytes& b, std::size_t i, std::uint32_t v) {
    WriteLE32(b.data() + 4 * i, v);
}

// Entries 0..127 hold first, first+1, ... (a contiguous chain).
Bytes Chain(std::uint32_t first) {
    Bytes b{};
    for (std::uint32_t i = 0; i < 128; ++i) SetEntry(b, i, first + i);
    return b;
}

// A sector whose entries alternate so that exactly `marks` of them earn a mark: the first
// `marks` entries are special values, the rest are 7, 7, 7, ... (7 + 1 != 7).
Bytes WithSpecialMarks(int marks) {
    Bytes b{};
    for (int i = 0; i < 128; ++i) SetEntry(b, i, i < marks ? kEndOfChain : 7);
    return b;
}

TEST(LooksLikeFatSector, SpecialValuesAndMarkThreshold) {
    EXPECT_TRUE(LooksLikeFatSector(Filled(0xFF)));
    EXPECT_FALSE(LooksLikeFatSector(Filled(0x00)));
    EXPECT_TRUE(LooksLikeFatSector(WithSpecialMarks(55)));
    EXPECT_FALSE(LooksLikeFatSector(WithSpecialMarks(54)));
    for (std::uint32_t special : {kFreeSect, kEndOfChain, kFatSect, kDifSect}) {
        Bytes b{};
        for (int i = 0; i < 55; ++i) SetEntry(b, 2 * i, special);
        EXPECT_TRUE(LooksLikeFatSector(b)) << std::hex << special;
    }
    // 0xFFFFFFFB is a sector number, not a special value.
    Bytes not_special{};
    for (int i = 0; i < 64; ++i) SetEntry(not_special, 2 * i, 0xFFFFFFFB);
    EXPECT_FALSE(LooksLikeFatSector(not_special));
}

TEST(LooksLikeFatSector, FewMarksEarlyAndEveryLaterEntryMarked) {
    // The test settles a sector early from entries 0 to 79; 7 marks there and all 48 later
    // entries marked make exactly 55, which must still pass, and 6 there make 54.
    for (const int early : {6, 7}) {
        Bytes b{};
        for (int i = 0; i < early; ++i) SetEntry(b, i, kFreeSect);
        for (int i = 80; i < 128; ++i) SetEntry(b, i, kFreeSect);
        EXPECT_EQ(LooksLikeFatSector(b), early == 7) << early << " marks in entries 0..79";
    }
}

TEST(LooksLikeFatSector, ContinuationMarks) {
    // A full run: entries 0..126 continue, entry 127 is no special value: 127 marks.
    EXPECT_TRUE(LooksLikeFatSector(Chain(1)));
    // 55 entries continuing each other (0..54 lead into 1..55), the rest zero.
    Bytes b{};
    for (std::uint32_t i = 0; i < 56; ++i) SetEntry(b, i, 100 + i);
    EXPECT_TRUE(LooksLikeFatSector(b));  // entries 0..54 marked
    SetEntry(b, 55, 0);
    EXPECT_FALSE(LooksLikeFatSector(b));  // entry 54 loses its mark: 54
    // Wrap-around: 0xFFFFFFFF + 1 is 0, so 0xFFFFFFFF followed by 0 marks (it is special anyway)
    // and 0xFFFFFFFB, 0xFFFFFFFC... continue each other.
    Bytes wrap{};
    for (std::uint32_t i = 0; i < 128; ++i)
        SetEntry(wrap, i, static_cast<std::uint32_t>(0xFFFFFFC0u + i));
    EXPECT_TRUE(LooksLikeFatSector(wrap));
}

TEST(LooksLikeFatSector, Entry127EarnsOnlyBySpecialValue) {
    // 54 continuation marks (entries 73..126 lead into 74..127) plus entry 127.
    Bytes b{};
    for (std::uint32_t i = 73; i < 128; ++i) SetEntry(b, i, 1000 + i);
    SetEntry(b, 0, 1128);  // would continue entry 127 if the sector were taken as circular
    EXPECT_FALSE(LooksLikeFatSector(b));  // entry 127 = 1127 gets no mark: 54
    SetEntry(b, 127, kEndOfChain);        // entry 126 loses, entry 127 gains
    EXPECT_FALSE(LooksLikeFatSector(b));
    SetEntry(b, 72, 1072);               // one more continuation
    EXPECT_TRUE(LooksLikeFatSector(b));  // 54 + entry 127 = 55
}

TEST(FatBlockIndex, BlocksOfContiguousChains) {
    EXPECT_EQ(FatBlockIndex(Chain(1), 0), 0);
    EXPECT_EQ(FatBlockIndex(Chain(129), 1), 1);
    EXPECT_EQ(FatBlockIndex(Chain(129), 0), 1);
    EXPECT_EQ(FatBlockIndex(Chain(257), 2), 2);
    EXPECT_EQ(FatBlockIndex(Chain(384), 7), 3);
}

TEST(FatBlockIndex, HighEntriesFollowTheBlockAsked) {
    for (std::int32_t block : {0, 1, 4, 108, 1000, 100000}) {
        EXPECT_EQ(FatBlockIndex(Filled(0xFF), block), block);
        EXPECT_EQ(FatBlockIndex(Chain(4 * 128), block), block);
        EXPECT_EQ(FatBlockIndex(Filled(0x00), block), 0);
    }
}

TEST(FatBlockIndex, SignedWrapAndTruncationTowardZero) {
    const Bytes ff = Filled(0xFF);
    // Sum = 16384 * b + 8128 wraps past 2^31 for b = 131072: -2^31 + 8128, divided twice -> -131071
    // (truncation toward zero; flooring would give -131072).
    EXPECT_EQ(FatBlockIndex(ff, 131072), -131071);
    // Negative blocks: 16384 * -1 + 8128 = -8256 -> -64 -> 0.
    EXPECT_EQ(FatBlockIndex(ff, -1), 0);
    EXPECT_EQ(FatBlockIndex(ff, -2), -1);  // -24640 -> -192 -> -1
    EXPECT_EQ(FatBlockIndex(ff, std::numeric_limits<std::int32_t>::min()),
              static_cast<std::int32_t>(8128) / 128 / 128);  // 128*128*min wraps to 0
    EXPECT_EQ(FatBlockIndex(ff, std::numeric_limits<std::int32_t>::max()), 0);
    // max * 16384 wraps to -16384; + 8128 -> -8256 -> 0.
}

TEST(FatBlockIndex, SummaryAgreesWithSector) {
    std::mt19937 rng(7);
    const std::int32_t blocks[] = {0,  1,       3,       108,       131071,    131072,
                                   -1, -131073, 1 << 30, INT32_MIN, INT32_MAX, 262143};
    for (int round = 0; round < 500; ++round) {
        Bytes b{};
        for (std::size_t i = 0; i < 128; ++i) {
            // A mix of low entries, special values and large numbers.
            const std::uint32_t kind = rng() % 4;
            SetEntry(b, i, kind == 0 ? rng() % 512 : kind == 1 ? 0xFFFFFFFC + rng() % 4 : rng());
        }
        const FatSectorSummary s = SummarizeFatSector(b);
        for (std::int32_t block : blocks)
            EXPECT_EQ(FatBlockIndex(s, block), FatBlockIndex(b, block));
        const auto random_block = static_cast<std::int32_t>(rng());
        EXPECT_EQ(FatBlockIndex(s, random_block), FatBlockIndex(b, random_block)) << random_block;
    }
    for (const Bytes& b : {Filled(0), Filled(0xFF), Chain(1), Chain(300)}) {
        for (std::int32_t block : blocks) {
            EXPECT_EQ(FatBlockIndex(SummarizeFatSector(b), block), FatBlockIndex(b, block));
        }
    }
}

void SetName(Bytes& b, std::size_t entry, const std::u16string& name, std::uint16_t length_field) {
    for (std::size_t i = 0; i < name.size(); ++i) WriteLE16(b.data() + entry + 2 * i, name[i]);
    WriteLE16(b.data() + entry + 64, length_field);
}

TEST(CountNameUnits, StopsAtUnitWithZeroLowByte) {
    Bytes b{};
    SetName(b, 0, u"Root Entry", 22);
    EXPECT_EQ(CountNameUnits(b, 0), 10);
    EXPECT_EQ(CountNameUnits(b, 128), 0);  // empty name
    // 0x0100 ends a name: only the low byte is tested.
    SetName(b, 128, u"ab\x0100xyz", 0);
    EXPECT_EQ(CountNameUnits(b, 128), 2);
    // 0x4100 also ends it, 0x0041 does not.
    SetName(b, 256, u"\x4100", 0);
    EXPECT_EQ(CountNameUnits(b, 256), 0);
}

TEST(CountNameUnits, RunsIntoLaterFieldsAndStopsAtSectorEnd) {
    Bytes b = Filled(0x41);
    // No terminating unit anywhere: the walk reports the units up to the end of the sector.
    EXPECT_EQ(CountNameUnits(b, 0), 256);
    EXPECT_EQ(CountNameUnits(b, 384), 64);
    // A 32-unit name field without terminator runs into the length field (low byte 0x42 != 0)
    // and stops at the following zero byte.
    b.fill(0);
    for (std::size_t i = 0; i < 32; ++i) WriteLE16(b.data() + 2 * i, u'x');
    WriteLE16(b.data() + 64, 0x0142);
    EXPECT_EQ(CountNameUnits(b, 0), 33);
}

// A well-formed directory sector: root entry then three streams.
Bytes DirectorySector() {
    Bytes b{};
    SetName(b, 0, u"Root Entry", 22);
    b[66] = 5;
    b[67] = 1;
    const std::u16string names[] = {u"Current User", u"Pictures", u"PowerPoint Document"};
    for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t e = 128 * (k + 1);
        SetName(b, e, names[k], static_cast<std::uint16_t>((names[k].size() + 1) * 2));
        b[e + 66] = 2;
        b[e + 67] = 1;
    }
    return b;
}

TEST(LooksLikeDirectorySector, MarksAndThreshold) {
    EXPECT_TRUE(LooksLikeDirectorySector(DirectorySector()));
    // All zero: type and colour of four entries, 8 marks; the name marks fail (length 0).
    const Bytes zero = Filled(0);
    EXPECT_TRUE(LooksLikeDirectorySector(zero));
    EXPECT_EQ(zero[66], 0);
    EXPECT_FALSE(LooksLikeDirectorySector(Filled(0xFF)));

    // From zero: one bad colour leaves 7 marks.
    Bytes b = zero;
    b[67] = 2;
    EXPECT_FALSE(LooksLikeDirectorySector(b));
    b[66] = 6;  // and a bad type: 6
    b[64] = 2;  // but a name length of 2 matches the empty name (2 >> 1) - 1 = 0: 7
    EXPECT_FALSE(LooksLikeDirectorySector(b));
    b[128 + 64] = 2;  // another name mark: 8
    EXPECT_TRUE(LooksLikeDirectorySector(b));

    // Name length 0 or 1 never matches, even for an empty name.
    Bytes d = DirectorySector();
    WriteLE16(d.data() + 64, 1);
    d[128 + 66] = 9;
    d[256 + 66] = 9;
    d[384 + 66] = 9;
    d[128 + 67] = 9;  // 12 - 1 (name) - 3 (types) - 1 (colour) = 7
    EXPECT_FALSE(LooksLikeDirectorySector(d));
}

}  // namespace
}  // namespace deckwright
