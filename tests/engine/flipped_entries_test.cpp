#include "engine/flipped_entries.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/compound_file_header.h"

namespace deckwright {
namespace {

// A FAT of 256 entries for a file of 200 sectors: the FAT sectors 0 and 1 (marked), then the
// chains in `order`, each a list of sectors.
FlipFacts Table(const std::vector<std::vector<std::uint32_t>>& order) {
    FlipFacts f;
    f.entries.assign(256, kFreeSect);
    f.limit = 200;
    f.marks = {{0, kFatSect}, {1, kFatSect}};
    f.entries[0] = f.entries[1] = kFatSect;
    for (const auto& chain : order) {
        for (std::size_t i = 0; i < chain.size(); ++i)
            f.entries[chain[i]] = i + 1 < chain.size() ? chain[i + 1] : kEndOfChain;
        f.chains.push_back({chain.front(), static_cast<std::uint32_t>(chain.size())});
    }
    return f;
}

std::vector<std::uint32_t> Stretch(std::uint32_t first, std::uint32_t length, std::uint32_t step = 1) {
    std::vector<std::uint32_t> out;
    for (std::uint32_t i = 0; i < length; ++i) out.push_back(first + i * step);
    return out;
}

// Flipped bits anywhere in the table come back to exactly the table as written, however the
// flip shows: a successor out of the file, into a free sector, onto a sector another entry
// leads to, a chain's end, a free entry, an entry past the end of the file, a FAT sector's mark,
// and two bits of one entry.
TEST(MendFlippedEntries, SpoiltEntriesComeBackExactly) {
    // The directory (open), a stream laid out in order, and one whose sectors alternate with a
    // third's.
    FlipFacts good = Table({Stretch(2, 3), Stretch(10, 40), Stretch(60, 30, 2), Stretch(61, 30, 2)});
    good.chains[0].length = 0;
    struct Flip {
        std::uint32_t entry;
        std::uint32_t mask;
        const char* what;
    };
    const std::vector<std::vector<Flip>> cases = {
        {{20, 1u << 30, "a successor past the end of the file"}},
        {{20, 1u << 7, "a successor into a free sector"}},
        {{62, 1u << 3, "a successor onto a sector another entry leads to"}},
        {{4, 1u << 0, "the directory's end"}},
        {{49, 1u << 4, "a stream's end"}},
        {{150, 1u << 2, "a free entry"}},
        {{230, 1u << 9, "an entry past the end of the file"}},
        {{1, 1u << 1, "a FAT sector's mark"}},
        {{20, (1u << 6) | (1u << 12), "two bits of one entry"}},
        {{2, 1u << 8, "a directory successor"},
         {30, 1u << 31, "a stream successor"},
         {100, 1u << 20, "a successor in the third"},
         {180, 1u << 5, "a free entry"}},
        // Successors a bit or two apart, in two chains: the sectors left with nothing leading
        // there could each be one of several entries' (96 ways in all), but few ways give each
        // entry to one sector only, and one of those fits every chain.
        {{40, 1u << 30, "successor 41"},
         {44, 1u << 30, "successor 45"},
         {45, 1u << 30, "successor 46"},
         {46, 1u << 30, "successor 47"},
         {106, 1u << 30, "successor 108"},
         {109, 1u << 30, "successor 111"}},
    };
    for (const auto& flips : cases) {
        FlipFacts f = good;
        std::string what;
        for (const Flip& x : flips) {
            f.entries[x.entry] ^= x.mask;
            what += std::string(x.what) + "; ";
        }
        const auto mended = MendFlippedEntries(f);
        ASSERT_TRUE(mended.has_value()) << what;
        EXPECT_TRUE(*mended == good.entries) << what;
    }
    {
        // Two flips in one chain laid out in order: 64 now leads to 69, where 68 leads too, and
        // 72 to 65, where 64 led, which looks sound; but 64 could have led there in the
        // writer's order, so 72 is suspect too. Only setting back both fits.
        FlipFacts f = Table({Stretch(60, 30)});
        const std::vector<std::uint32_t> in_order = f.entries;
        f.entries[64] ^= 1u << 2;  // 65 -> 69
        f.entries[72] ^= 1u << 3;  // 73 -> 65
        const auto mended = MendFlippedEntries(f);
        ASSERT_TRUE(mended.has_value());
        EXPECT_TRUE(*mended == in_order);
    }
    // Nothing to mend: the same table.
    const auto same = MendFlippedEntries(good);
    ASSERT_TRUE(same.has_value());
    EXPECT_TRUE(*same == good.entries);
}

// Where the flips leave more than one table that fits every chain, or none, nothing is mended.
TEST(MendFlippedEntries, WhatCannotBeToldIsNotMended) {
    {
        // Two successors of one chain (laid out every other sector, so no entry leads to the
        // sector after its own) each flipped onto a sector another entry leads to: setting
        // back the other two entries instead swaps two stretches of the chain, which keeps
        // every length. Which pair flipped cannot be told.
        FlipFacts f = Table({Stretch(2, 60, 2)});
        f.entries[4] ^= 1u << 6;   // 6 -> 70, where 68 leads too
        f.entries[40] ^= 1u << 6;  // 42 -> 106, where 104 leads too
        EXPECT_FALSE(MendFlippedEntries(f).has_value());
        // One of the two alone is told apart by the chain's length.
        FlipFacts one = Table({Stretch(2, 60, 2)});
        const std::vector<std::uint32_t> good = one.entries;
        one.entries[4] ^= 1u << 6;
        const auto mended = MendFlippedEntries(one);
        ASSERT_TRUE(mended.has_value());
        EXPECT_TRUE(*mended == good);
    }
    {
        // Two chains laid out in order, each with a successor flipped out of place, and a flip
        // in each that leads onto the sector whose leading entry flipped away in the other
        // (178 -> 51, where 50 led): that one looks sound. Swapping the stretches 47-50 and
        // 175-178 between the chains fits every length as well as setting all four back.
        FlipFacts f = Table({Stretch(10, 60), Stretch(140, 50)});
        f.entries[46] ^= 1u << 22;   // 47 -> out of the file
        f.entries[174] ^= 1u << 11;  // 175 -> out of the file
        f.entries[50] ^= 1u << 2;    // 51 -> 55, where 54 leads too
        f.entries[178] ^= 1u << 7;   // 179 -> 51
        EXPECT_FALSE(MendFlippedEntries(f).has_value());
    }
    {
        // Two entries flipped onto one sector (48), and the entry that led there flipped out of
        // the file: the chain's stretches 16-31 and 32-47 can be set back in their order, or
        // swapped, and either fits every length. The sector only flipped entries lead to is
        // lost as much as those nothing leads to; seen only as the two sectors nothing leads
        // to, the swap alone fits and would be taken.
        FlipFacts f = Table({Stretch(10, 40)});
        f.entries[15] ^= 1u << 5;   // 16 -> 48
        f.entries[31] ^= 1u << 4;   // 32 -> 48
        f.entries[47] ^= 1u << 30;  // 48 -> out of the file
        EXPECT_FALSE(MendFlippedEntries(f).has_value());
    }
    {
        // A chain's end flipped into a mark (130: ENDOFCHAIN -> DIFSECT), so the entry before it
        // leads where no chain may go, and a free entry a bit from it flipped into use-looking
        // junk (128: FREESECT -> 0xFFFFFFDF). Going on into 128 fits the chain as well as
        // setting 130's end back: 128 may have been free, and which it was cannot be told.
        FlipFacts f = Table({Stretch(10, 40), {120, 130}});
        f.entries[130] ^= 1u << 1;
        f.entries[128] ^= 1u << 5;
        EXPECT_FALSE(MendFlippedEntries(f).has_value());
    }
    {
        // Two chains whose sectors alternate, and one successor flipped onto its own sector
        // (100 -> 100 instead of 102). 100 could have led on to 101, the other chain's, and
        // 99 to 102: the chains' tails swapped fit every length as well as the one flip set
        // back, so which it was cannot be told.
        FlipFacts f = Table({Stretch(60, 30, 2), Stretch(61, 30, 2)});
        f.entries[100] ^= 1u << 1;
        EXPECT_FALSE(MendFlippedEntries(f).has_value());
    }
    {
        // A sector in use that nothing leads to and that leads on: a chain no one names, not a
        // flipped free entry; setting it free would lose it.
        FlipFacts f = Table({Stretch(10, 40)});
        f.entries[120] = 121;
        f.entries[121] = kEndOfChain;
        EXPECT_FALSE(MendFlippedEntries(f).has_value());
    }
    {
        // Three bits of one entry: too far from any sector to tell.
        FlipFacts f = Table({Stretch(10, 40)});
        f.entries[20] ^= (1u << 12) | (1u << 13) | (1u << 14);
        EXPECT_FALSE(MendFlippedEntries(f).has_value());
    }
}

}  // namespace
}  // namespace deckwright
