#include "engine/ordered_read.h"

#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace
}  // namespace deckwright
