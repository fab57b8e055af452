#include "engine/copy_on_write_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/memory_file.h"

namespace deckwright {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(RandomAccessFile& f) {
    Bytes out(static_cast<std::size_t>(f.Length()));
    f.Seek(0);
    std::size_t got = 0;
    while (got < out.size()) {
        const std::size_t r = f.Read(std::span(out).subspan(got));
        if (r == 0) break;
        got += r;
    }
    out.resize(got);
    return out;
}

// Writes of every size and place (inside a page, across pages, past the end with a gap, at
// offsets that are no multiple of anything) read back as they would from the file itself,
// while the file underneath is never written.
TEST(CopyOnWriteFile, ReadsAsTheFileWrittenWouldWhileTheBaseStaysAsItWas) {
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        Bytes start(std::uniform_int_distribution<std::size_t>(0, 5000)(rng));
        for (auto& b : start) b = static_cast<std::uint8_t>(rng());
        MemoryFile base(start), model(start);
        CopyOnWriteFile cow(base);
        for (int op = 0; op < 20; ++op) {
            const std::uint64_t at = std::uniform_int_distribution<std::uint64_t>(0, 7000)(rng);
            Bytes data(std::uniform_int_distribution<std::size_t>(0, 1500)(rng));
            for (auto& b : data) b = static_cast<std::uint8_t>(rng());
            ASSERT_TRUE(cow.Seek(at) && cow.Write(data));
            ASSERT_TRUE(model.Seek(at) && model.Write(data));
            // A read from anywhere, of any length, after each write.
            const std::uint64_t from = std::uniform_int_distribution<std::uint64_t>(0, 8000)(rng);
            Bytes a(std::uniform_int_distribution<std::size_t>(0, 2000)(rng)), b(a.size());
            cow.Seek(from);
            model.Seek(from);
            const std::size_t na = cow.Read(a), nb = model.Read(b);
            ASSERT_EQ(na, nb) << "round " << round << ", op " << op;
            ASSERT_TRUE(std::equal(a.begin(), a.begin() + na, b.begin()));
        }
        EXPECT_EQ(cow.Length(), model.Length());
        EXPECT_EQ(ReadAll(cow), model.bytes()) << "round " << round;
        EXPECT_EQ(base.bytes(), start) << "the file underneath was written";
    }
}

// Read at an offset (by the pass, from two threads) only while nothing is written: then it is
// the file underneath; after a write it says no, and the caller reads in order.
TEST(CopyOnWriteFile, ReadsAtAnOffsetOnlyWhileNothingIsWritten) {
    Bytes start(4096);
    for (std::size_t i = 0; i < start.size(); ++i) start[i] = static_cast<std::uint8_t>(i * 7);
    MemoryFile base(start);
    CopyOnWriteFile cow(base);
    ASSERT_TRUE(cow.CanReadAt());
    Bytes got(100);
    std::string error;
    ASSERT_EQ(cow.ReadAt(1000, got, &error), got.size()) << error;
    EXPECT_TRUE(std::equal(got.begin(), got.end(), start.begin() + 1000));

    const Bytes one{1};
    ASSERT_TRUE(cow.Seek(1050) && cow.Write(one));
    EXPECT_FALSE(cow.CanReadAt());
    EXPECT_EQ(cow.ReadAt(1000, got, &error), 0u);
    EXPECT_FALSE(error.empty());
}

TEST(CopyOnWriteFile, AFailingFileUnderneathIsReported) {
    MemoryFile base(Bytes(2048, 1));
    CopyOnWriteFile cow(base);
    base.FailAllIo(true);
    std::array<std::uint8_t, 16> b{};
    cow.Seek(0);
    cow.Read(b);
    EXPECT_TRUE(cow.Failed());
    EXPECT_NE(cow.Error().find("simulated"), std::string::npos) << cow.Error();
}

}  // namespace
}  // namespace deckwright
