#include "engine/ordered_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "engine/memory_file.h"
#include "tests/support/in_order_only.h"

namespace deckwright {
namespace {

using testing::InOrderOnly;
using Bytes = std::vector<std::uint8_t>;

Bytes Numbered(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return b;
}

struct Pass {
    Bytes bytes;          // the chunks laid end to end
    std::size_t got = 0;  // what the chunks say arrived
    bool in_order = true;
    int chunks = 0;
};

Pass ReadAll(RandomAccessFile& file, std::uint64_t begin, std::uint64_t limit, std::size_t chunk,
             ReadAhead mode) {
    Pass p;
    ReadInOrder(file, begin, limit, chunk, mode, [&](const FileChunk& c) {
        p.in_order &= c.pos == begin + p.bytes.size() && c.got <= c.bytes.size();
        p.bytes.insert(p.bytes.end(), c.bytes.begin(), c.bytes.end());
        p.got += c.got;
        ++p.chunks;
    });
    return p;
}

// What a pass in order hands on: chunk by chunk, up to and including the first that comes up
// short (where the file ends), the bytes past the end zero. Sets *chunks to their number.
Bytes InOrderExpectation(const Bytes& data, std::uint64_t begin, std::uint64_t limit,
                         std::size_t chunk, int* chunks) {
    Bytes want;
    *chunks = 0;
    for (std::uint64_t pos = begin; pos < limit; pos += chunk) {
        const std::uint64_t end = std::min<std::uint64_t>(pos + chunk, limit);
        for (std::uint64_t i = pos; i < end; ++i) want.push_back(i < data.size() ? data[i] : 0);
        ++*chunks;
        if (end > data.size()) break;
    }
    return want;
}

// Every byte of [begin, limit) once and in order, in chunks of the size asked, up to the chunk
// in which the file ends (the rest of it zero); with and without the helper thread alike.
TEST(ReadInOrder, DeliversTheRangeOnceInOrderInBothModes) {
    constexpr std::size_t kChunk = 4096;
    for (const std::size_t length : {0u, 1u, 511u, 4095u, 4096u, 4097u, 3 * 4096u + 100u}) {
        const Bytes data = Numbered(length);
        for (const std::uint64_t begin : {0u, 512u}) {
            for (const std::uint64_t extra : {0u, 700u}) {
                const std::uint64_t limit = length + extra;
                int chunks = 0;
                const Bytes want = InOrderExpectation(data, begin, limit, kChunk, &chunks);
                for (const ReadAhead mode : {ReadAhead::kNone, ReadAhead::kHelperThread}) {
                    MemoryFile m(data);
                    const Pass p = ReadAll(m, begin, limit, kChunk, mode);
                    const std::string what = "length " + std::to_string(length) + " begin " +
                                             std::to_string(begin) + " limit " +
                                             std::to_string(limit) + " helper " +
                                             std::to_string(mode == ReadAhead::kHelperThread);
                    EXPECT_EQ(p.bytes, want) << what;
                    EXPECT_TRUE(p.in_order) << what;
                    EXPECT_EQ(p.got,
                              length > begin ? std::min<std::uint64_t>(length, limit) - begin : 0u)
                        << what;
                    EXPECT_EQ(p.chunks, chunks) << what;
                }
            }
        }
    }
}

// The two lanes together deliver what one pass in order would: each lane's chunks in order, the
// second lane from a multiple of the chunk size, up to the chunk in which the file ends.
TEST(ReadHalvesSideBySide, CoversTheRangeOnceInTwoOrderedLanes) {
    constexpr std::size_t kChunk = 4096;
    for (const std::size_t length : {2 * 4096u, 2 * 4096u + 1, 7 * 4096u + 300}) {
        const Bytes data = Numbered(length);
        for (const std::uint64_t extra : {0u, 500u}) {
            const std::uint64_t begin = 512, limit = length + extra;
            MemoryFile m(data);
            std::array<Pass, 2> lanes;
            std::array<std::uint64_t, 2> starts{};
            const bool done =
                ReadHalvesSideBySide(m, begin, limit, kChunk, [&](int lane, const FileChunk& c) {
                    Pass& p = lanes[static_cast<std::size_t>(lane)];
                    if (p.chunks == 0) starts[static_cast<std::size_t>(lane)] = c.pos;
                    p.in_order &= c.pos == starts[static_cast<std::size_t>(lane)] + p.bytes.size();
                    p.bytes.insert(p.bytes.end(), c.bytes.begin(), c.bytes.end());
                    p.got += c.got;
                    ++p.chunks;
                });
            const std::string what = std::to_string(length) + " + " + std::to_string(extra);
            ASSERT_TRUE(done) << what;
            EXPECT_EQ(starts[0], begin) << what;
            EXPECT_EQ((starts[1] - begin) % kChunk, 0u) << what;
            EXPECT_EQ(starts[1], starts[0] + lanes[0].bytes.size()) << what;
            EXPECT_TRUE(lanes[0].in_order && lanes[1].in_order) << what;
            Bytes all = lanes[0].bytes;
            all.insert(all.end(), lanes[1].bytes.begin(), lanes[1].bytes.end());
            int chunks = 0;
            EXPECT_EQ(all, InOrderExpectation(data, begin, limit, kChunk, &chunks)) << what;
            EXPECT_EQ(lanes[0].got + lanes[1].got, length - begin) << what;
        }
    }
}

// It declines, for the caller to read in order, when the file cannot read at offsets, when
// the range is a single chunk, and when a read fails.
TEST(ReadHalvesSideBySide, DeclinesWhatItCannotDoWhole) {
    const Bytes data = Numbered(64 * 1024);
    std::atomic<int> calls = 0;  // the two lanes count at the same time
    auto count = [&calls](int, const FileChunk&) { ++calls; };
    MemoryFile m(data);
    InOrderOnly in_order(m);
    EXPECT_FALSE(ReadHalvesSideBySide(in_order, 0, data.size(), 4096, count));
    EXPECT_FALSE(ReadHalvesSideBySide(m, 0, 4096, 4096, count));
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(ReadHalvesSideBySide(m, 0, data.size(), 4096, count));
    EXPECT_EQ(calls, 16);

    class FailsAt final : public RandomAccessFile {
      public:
        explicit FailsAt(Bytes b) : inner_(std::move(b)) {}
        std::uint64_t Length() override { return inner_.Length(); }
        bool Seek(std::uint64_t offset) override { return inner_.Seek(offset); }
        std::size_t Read(std::span<std::uint8_t> out) override { return inner_.Read(out); }
        bool Write(std::span<const std::uint8_t>) override { return false; }
        bool CanReadAt() const override { return true; }
        std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                           std::string* error) override {
            if (offset == 8192) {
                *error = "read failed: simulated";
                return 0;
            }
            return inner_.ReadAt(offset, out, error);
        }

      private:
        MemoryFile inner_;
    };
    FailsAt failing(data);
    EXPECT_FALSE(ReadHalvesSideBySide(failing, 0, data.size(), 4096, count));
    EXPECT_FALSE(failing.Failed()) << "the in-order pass that follows records the error";
}

}  // namespace
}  // namespace deckwright
