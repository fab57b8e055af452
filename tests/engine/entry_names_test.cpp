#include "engine/entry_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/memory_file.h"
#include "engine/repair.h"
#include "tests/support/cfb_writer.h"

namespace deckwright {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Entry {
    std::u16string name;
    std::uint8_t type = cfb::kTypeStream;
};

Bytes Directory(const std::vector<Entry>& entries) {
    Bytes out(entries.size() * cfb::kDirEntrySize);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        auto e = std::span<std::uint8_t, cfb::kDirEntrySize>(out.data() + i * cfb::kDirEntrySize,
                                                             cfb::kDirEntrySize);
        WriteEntryName(e, entries[i].name);
        e[66] = entries[i].type;
    }
    return out;
}

void Flip(Bytes& directory, std::size_t entry, std::size_t byte, std::uint8_t bit) {
    directory[entry * cfb::kDirEntrySize + byte] ^= bit;
}

const std::vector<Entry> kPresentation = {{u"Root Entry", cfb::kTypeRoot},
                                          {u"PowerPoint Document"},
                                          {u"Current User"},
                                          {u"\u0005SummaryInformation"},
                                          {u"Pictures"}};

TEST(FindGarbledNames, ANameABitOrTwoFromAMissingOneIsSetBack) {
    EXPECT_TRUE(FindGarbledNames(Directory(kPresentation)).empty());

    auto d = Directory(kPresentation);
    Flip(d, 1, 2 * 11 + 1, 0x40);  // "PowerPoint \u4044ocument"
    Flip(d, 3, 2, 0x20);           // "\x05summaryInformation": another case, one bit
    Flip(d, 4, 64, 0x02);          // the length field of "Pictures": 18 -> 16
    const auto found = FindGarbledNames(d);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].entry, 1u);
    EXPECT_EQ(found[0].name, "PowerPoint Document");
    EXPECT_EQ(found[0].bits, 1);
    EXPECT_EQ(found[1].entry, 3u);
    EXPECT_EQ(found[1].name, "\x05SummaryInformation");
    EXPECT_EQ(found[2].entry, 4u);
    EXPECT_EQ(found[2].name, "Pictures");

    // Two bits in one name still tell it.
    auto two = Directory(kPresentation);
    Flip(two, 2, 0, 0x01);
    Flip(two, 2, 6, 0x10);
    ASSERT_EQ(FindGarbledNames(two).size(), 1u);
    EXPECT_EQ(FindGarbledNames(two)[0].entry, 2u);
}

TEST(FindGarbledNames, WhatCouldBeAnotherNameIsLeftAlone) {
    // Three bits: a name of its own as likely as a damaged one.
    auto three = Directory(kPresentation);
    Flip(three, 2, 0, 0x01);
    Flip(three, 2, 2, 0x01);
    Flip(three, 2, 4, 0x01);
    EXPECT_TRUE(FindGarbledNames(three).empty());

    // The name is there already (in any case): the near one is a name of its own.
    auto present = Directory({{u"Root Entry", cfb::kTypeRoot},
                              {u"Pictures"},
                              {u"Pictures"},
                              {u"CURRENT USER"},
                              {u"Current User"}});
    Flip(present, 2, 0, 0x02);  // "Rictures"
    Flip(present, 4, 0, 0x01);  // "Bust..." beside "CURRENT USER"
    EXPECT_TRUE(FindGarbledNames(present).empty());

    // Two entries as near to one name: which one it was cannot be told.
    auto twice = Directory({{u"Root Entry", cfb::kTypeRoot}, {u"Pictures"}, {u"Pictures"}});
    Flip(twice, 1, 0, 0x02);
    Flip(twice, 2, 2, 0x02);
    EXPECT_TRUE(FindGarbledNames(twice).empty());

    // A storage is no stream, nor an unused entry one at all.
    auto kind = Directory({{u"Root Entry", cfb::kTypeRoot},
                           {u"Pictures", cfb::kTypeStorage},
                           {u"Current User", cfb::kTypeUnused}});
    Flip(kind, 1, 0, 0x02);
    Flip(kind, 2, 0, 0x02);
    EXPECT_TRUE(FindGarbledNames(kind).empty());
}

// The repair sets the name back under the file's own header, whether the file checked out
// without it (a property set no reader finds) or could not be a presentation at all, and the
// copy comes back byte for byte.
TEST(RepairCompoundFile, SetsBackANameAFlippedBitGarbled) {
    const Bytes good = testing::WriteCompoundFile(testing::PresentationStreams(20000, 3));
    const CompoundFileHeader h = testing::HeaderOf(good);
    const std::size_t directory =
        (std::size_t{h.first_directory_sector_location} + 1) * SECTOR_SIZE;
    for (const std::u16string& name :
         {std::u16string(u"Current User"), std::u16string(u"PowerPoint Document"),
          std::u16string(u"\u0005SummaryInformation")}) {
        const std::string what(name.begin(), name.end());
        Bytes f = good;
        std::size_t at = 0;
        for (std::size_t e = 0; e < 4 && at == 0; ++e) {
            const std::u16string_view stored(
                reinterpret_cast<const char16_t*>(f.data() + directory + e * cfb::kDirEntrySize),
                name.size());
            if (stored == name) at = directory + e * cfb::kDirEntrySize;
        }
        ASSERT_NE(at, 0u) << what << " is not in the directory's first sector";
        f[at + 4] ^= 0x08;
        MemoryFile m(f);
        const RepairOutcome o = RepairCompoundFile(m);
        ASSERT_TRUE(o.sound) << what << ": " << o.problem;
        EXPECT_TRUE(o.warning.empty()) << what << ": " << o.warning;
        EXPECT_TRUE(m.bytes() == good) << what;
        ASSERT_EQ(o.rebuilt.size(), 1u) << what;
        EXPECT_EQ(o.rebuilt[0].sector, h.first_directory_sector_location);
        EXPECT_NE(o.rebuilt[0].why.find("the name is set back"), std::string::npos)
            << o.rebuilt[0].why;
    }
}

}  // namespace
}  // namespace deckwright
