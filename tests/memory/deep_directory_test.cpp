// What the check and the repair allocate on a file made to exhaust its reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/compound_file_check.h"
#include "engine/little_endian.h"
#include "engine/memory_file.h"
#include "engine/repair.h"
#include "tests/memory/counted_allocations.h"

namespace deckwright {
namespace {

// A compound file whose directory nests `depth` storages, one in the other, with `streams`
// empty streams in the innermost one: the shape of a file made to exhaust its reader.
std::vector<std::uint8_t> NestedFile(std::uint32_t depth, std::uint32_t streams) {
    const std::uint32_t entries = 1 + depth + streams;
    const std::uint32_t dir_sectors = (entries + 3) / 4;
    std::uint32_t fat_sectors = 1;
    while (fat_sectors * 128 < fat_sectors + dir_sectors) ++fat_sectors;
    std::vector<std::uint8_t> file((1 + fat_sectors + dir_sectors) * 512u, 0);
    std::uint8_t* h = file.data();
    const std::uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(std::begin(signature), std::end(signature), h);
    WriteLE16(h + 24, 0x3E);
    WriteLE16(h + 26, 3);
    WriteLE16(h + 28, 0xFFFE);
    WriteLE16(h + 30, 9);
    WriteLE16(h + 32, 6);
    WriteLE32(h + 44, fat_sectors);
    WriteLE32(h + 48, fat_sectors);  // the directory follows the FAT
    WriteLE32(h + 56, 4096);
    WriteLE32(h + 60, kEndOfChain);
    WriteLE32(h + 68, kEndOfChain);
    for (std::uint32_t i = 0; i < 109; ++i)
        WriteLE32(h + 76 + 4 * i, i < fat_sectors ? i : kFreeSect);
    std::uint8_t* fat = file.data() + 512;
    for (std::uint32_t s = 0; s < fat_sectors * 128; ++s) {
        std::uint32_t v = kFreeSect;
        if (s < fat_sectors)
            v = 0xFFFFFFFD;  // FATSECT
        else if (s < fat_sectors + dir_sectors)
            v = s + 1 < fat_sectors + dir_sectors ? s + 1 : kEndOfChain;
        WriteLE32(fat + 4 * s, v);
    }
    std::uint8_t* dir = file.data() + (1 + fat_sectors) * 512u;
    for (std::uint32_t id = 0; id < dir_sectors * 4; ++id) {
        std::uint8_t* e = dir + id * 128u;
        WriteLE32(e + 68, kNoStream);
        WriteLE32(e + 72, kNoStream);
        WriteLE32(e + 76, kNoStream);
        if (id >= entries) continue;
        std::string name = id == 0 ? std::string("Root Entry") : std::to_string(id % 1000);
        if (id != 0) name.insert(name.begin(), 'E');
        for (std::size_t k = 0; k < name.size(); ++k) e[2 * k] = static_cast<std::uint8_t>(name[k]);
        WriteLE16(e + 64, static_cast<std::uint16_t>(2 * name.size() + 2));
        e[66] = id == 0 ? 5 : id <= depth ? 1 : 2;
        e[67] = 1;
        if (id < depth + 1 && id + 1 < entries) WriteLE32(e + 76, id + 1);  // the next one inside
        if (id > depth && id + 1 < entries) WriteLE32(e + 72, id + 1);      // streams side by side
        if (id == 0 || id > depth) WriteLE32(e + 116, kEndOfChain);
    }
    return file;
}

// 40,000 storages nested in a 5 MB file made the check allocate gigabytes and abort.
TEST(DeepDirectory, MemoryStaysWithinAFewTimesTheFileAndTooDeepIsSaid) {
    for (const auto& [depth, streams] : {std::pair{40000u, 1u}, std::pair{20000u, 20000u}}) {
        SCOPED_TRACE(std::to_string(depth) + " storages, " + std::to_string(streams) + " streams");
        const std::vector<std::uint8_t> bytes = NestedFile(depth, streams);
        CheckResult check;
        const std::uint64_t by_check = testing::AllocatedBy([&] {
            MemoryFile file(bytes);
            check = CheckCompoundFile(file);
        });
        EXPECT_LE(by_check, 16 * bytes.size());
        EXPECT_FALSE(check.sound);
        if (streams > 1) {
            EXPECT_NE(check.problem.find("nests its storages too deeply to judge"),
                      std::string::npos)
                << check.problem;
        }
        RepairOutcome repair;
        std::vector<std::uint8_t> damaged = bytes;
        std::fill_n(damaged.begin(), 512, std::uint8_t{0});
        const std::uint64_t by_repair = testing::AllocatedBy([&] {
            MemoryFile file(damaged);
            repair = RepairCompoundFile(file);
        });
        EXPECT_LE(by_repair, 16 * bytes.size());
        EXPECT_FALSE(repair.sound);
    }
}

// Nesting a real file might have keeps every stream's path.
TEST(DeepDirectory, ModestNestingIsJudgedInFull) {
    MemoryFile file(NestedFile(12, 3));
    const CheckResult check = CheckCompoundFile(file);
    std::string expected = "E1";
    for (int i = 2; i <= 12; ++i) expected += "/E" + std::to_string(i);
    ASSERT_EQ(check.streams.size(), 3u) << check.problem;
    EXPECT_EQ(check.streams[0].path, expected + "/E13");
    EXPECT_NE(check.problem.find("PowerPoint Document"), std::string::npos) << check.problem;
}

}  // namespace
}  // namespace deckwright
