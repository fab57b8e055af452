#include "engine/ordered_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "engine/memory_file.h"

namespace deckwright {
namespace {

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

// Every byte of [begin, limit) once and in order, in chunks of the size asked, up to the chunk
// in which the file ends (the rest of it zero); with and without the helper thread alike.
TEST(ReadInOrder, DeliversTheRangeOnceInOrderInBothModes) {
    constexpr std::size_t kChunk = 4096;
    for (const std::size_t length : {0u, 1u, 511u, 4095u, 4096u, 4097u, 3 * 4096u + 100u}) {
        const Bytes data = Numbered(length);
        for (const std::uint64_t begin : {0u, 512u}) {
            for (const std::uint64_t extra : {0u, 700u}) {
                const std::uint64_t limit = length + extra;
                // Chunk by chunk, up to and including the first that comes up short.
                Bytes want;
                int chunks = 0;
                for (std::uint64_t pos = begin; pos < limit; pos += kChunk) {
                    const std::uint64_t end = std::min<std::uint64_t>(pos + kChunk, limit);
                    for (std::uint64_t i = pos; i < end; ++i)
                        want.push_back(i < length ? data[i] : 0);
                    ++chunks;
                    if (end > length) break;
                }
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

// A read that fails ends the pass at that chunk: what did not arrive is zero, nothing after it
// is handed on, and the file keeps the error.
TEST(ReadInOrder, StopsAtAFailedRead) {
    class FailsAfter final : public RandomAccessFile {
      public:
        FailsAfter(Bytes b, std::size_t good) : inner_(std::move(b)), good_(good) {}
        std::uint64_t Length() override { return inner_.Length(); }
        bool Seek(std::uint64_t offset) override {
            pos_ = offset;
            return inner_.Seek(offset);
        }
        std::size_t Read(std::span<std::uint8_t> out) override {
            const std::size_t room = pos_ < good_ ? static_cast<std::size_t>(good_ - pos_) : 0;
            const std::size_t n = inner_.Read(out.first(std::min(room, out.size())));
            pos_ += n;
            if (n < out.size()) RecordError("read failed: simulated");
            return n;
        }
        bool Write(std::span<const std::uint8_t>) override { return false; }

      private:
        MemoryFile inner_;
        std::uint64_t good_;
        std::uint64_t pos_ = 0;
    };
    const Bytes data = Numbered(10 * 1024);
    for (const ReadAhead mode : {ReadAhead::kNone, ReadAhead::kHelperThread}) {
        FailsAfter f(data, 5000);
        const Pass p = ReadAll(f, 0, data.size(), 2048, mode);
        EXPECT_EQ(p.chunks, 3);  // 0-2047, 2048-4095, then 4096-6143 breaks off at 5000
        EXPECT_EQ(p.got, 5000u);
        ASSERT_EQ(p.bytes.size(), 3 * 2048u);
        EXPECT_TRUE(std::equal(p.bytes.begin(), p.bytes.begin() + 5000, data.begin()));
        EXPECT_TRUE(std::all_of(p.bytes.begin() + 5000, p.bytes.end(),
                                [](std::uint8_t b) { return b == 0; }));
        EXPECT_TRUE(f.Failed());
    }
}

// Hides ReadAt, as a file that cannot read at offsets does.
class InOrderOnly final : public RandomAccessFile {
  public:
    explicit InOrderOnly(RandomAccessFile& inner) : inner_(inner) {}
    std::uint64_t Length() override { return inner_.Length(); }
    bool Seek(std::uint64_t offset) override { return inner_.Seek(offset); }
    std::size_t Read(std::span<std::uint8_t> out) override { return inner_.Read(out); }
    bool Write(std::span<const std::uint8_t> data) override { return inner_.Write(data); }

  private:
    RandomAccessFile& inner_;
};

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
            // As a pass in order: on the same grid of chunks, up to the one the file ends in.
            Bytes want;
            for (std::uint64_t pos = begin; pos < limit; pos += kChunk) {
                const std::uint64_t end = std::min<std::uint64_t>(pos + kChunk, limit);
                for (std::uint64_t i = pos; i < end; ++i) want.push_back(i < length ? data[i] : 0);
                if (end > length) break;
            }
            EXPECT_EQ(all, want) << what;
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
