// The inflating check of compressed storages: streams made by zlib itself pass, and damage of
// the kinds a lost sector brings is found.
#include "engine/zlib_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace deckwright {
namespace {

using Bytes = std::vector<std::uint8_t>;

class BytesSource final : public ByteSource {
  public:
    // Handed over in pieces of 1, 2, 3, ... bytes, so that the pieces' edges fall everywhere.
    explicit BytesSource(const Bytes& bytes) : bytes_(bytes) {}
    std::span<const std::uint8_t> Next() override {
        const std::size_t n = std::min(++piece_, bytes_.size() - at_);
        const auto piece = std::span(bytes_).subspan(at_, n);
        at_ += n;
        return piece;
    }

  private:
    const Bytes& bytes_;
    std::size_t at_ = 0;
    std::size_t piece_ = 0;
};

std::string Check(const Bytes& stream, std::uint64_t size) {
    BytesSource source(stream);
    return CheckZlibStream(source, size);
}

// zlib.compress(text, 9) of 120 lines "slide N: the quick brown fox jumps over the lazy dog\n"
// with N = i * 7 % 13: one block with codes of its own (dynamic), back references throughout.
const Bytes kDynamic = {
    0x78, 0xda, 0xed, 0xd2, 0x4b, 0x0e, 0x82, 0x40, 0x10, 0x45, 0xd1, 0xb9, 0xab, 0xa8, 0x25, 0x28,
    0x1f, 0x05, 0x76, 0x23, 0xd2, 0x2a, 0x0a, 0xb4, 0xd0, 0xa2, 0xc0, 0xea, 0x49, 0x98, 0x31, 0x7d,
    0xe3, 0x3b, 0xae, 0xdc, 0x54, 0xf2, 0x72, 0x42, 0x53, 0x57, 0xce, 0x8e, 0x85, 0x7d, 0x9f, 0xce,
    0xfa, 0xb1, 0xbe, 0xbd, 0xad, 0x1c, 0xfc, 0xbf, 0xb3, 0xbb, 0x9f, 0xec, 0x35, 0xb6, 0x9f, 0x60,
    0xfe, 0xe7, 0x86, 0xed, 0xdc, 0x5c, 0x97, 0xd9, 0x2a, 0xff, 0x38, 0x84, 0x2d, 0xba, 0x28, 0xd1,
    0x49, 0x89, 0x32, 0x25, 0x8a, 0x94, 0x28, 0x57, 0xa2, 0x58, 0x1a, 0x42, 0xda, 0x3c, 0x91, 0x5e,
    0x49, 0xa3, 0xa7, 0xd2, 0x2b, 0x69, 0xf5, 0xb3, 0x12, 0x61, 0x16, 0xb3, 0x98, 0xc5, 0x2c, 0x66,
    0x31, 0x8b, 0x59, 0xcc, 0x62, 0x16, 0xb3, 0x98, 0xc5, 0x2c, 0x66, 0x31, 0x8b, 0x59, 0xcc, 0x62,
    0x16, 0xb3, 0x98, 0xc5, 0x2c, 0x66, 0x31, 0xbb, 0x8b, 0x56, 0x07, 0x09, 0xd0, 0x6c};
constexpr std::uint64_t kDynamicSize = 6387;

// The first 300 bytes of the same text with zlib's fixed codes (strategy Z_FIXED).
const Bytes kFixed = {
    0x78, 0x01, 0x2b, 0xce, 0xc9, 0x4c, 0x49, 0x55, 0x30, 0xb0, 0x52, 0x28, 0xc9, 0x48, 0x55, 0x28,
    0x2c, 0xcd, 0x4c, 0xce, 0x56, 0x48, 0x2a, 0xca, 0x2f, 0xcf, 0x53, 0x48, 0xcb, 0xaf, 0x50, 0xc8,
    0x2a, 0xcd, 0x2d, 0x28, 0x56, 0xc8, 0x2f, 0x4b, 0x2d, 0x02, 0x4b, 0xe7, 0x24, 0x56, 0x55, 0x2a,
    0xa4, 0xe4, 0xa7, 0x73, 0x15, 0x83, 0x35, 0x99, 0x93, 0xa3, 0xc9, 0x90, 0x1c, 0x4d, 0x16, 0xe4,
    0x68, 0x32, 0x22, 0x47, 0x93, 0x25, 0x3e, 0x4d, 0x00, 0x69, 0x14, 0x6a, 0x2f};
constexpr std::uint64_t kFixedSize = 300;

// A stored block written by hand: 5 bytes as they are, then their Adler-32.
const Bytes kStored = {0x78, 0x01, 0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o',
                       0x06, 0x2C, 0x02, 0x15};

TEST(ZlibCheck, WholeStreamsOfEveryBlockTypePass) {
    EXPECT_EQ(Check(kDynamic, kDynamicSize), "");
    EXPECT_EQ(Check(kFixed, kFixedSize), "");
    EXPECT_EQ(Check(kStored, 5), "");
}

TEST(ZlibCheck, AStatedSizeThatIsNotTheInflatedOneIsDamage) {
    EXPECT_NE(Check(kDynamic, kDynamicSize - 1), "");
    EXPECT_NE(Check(kDynamic, kDynamicSize + 1), "");
    EXPECT_NE(Check(kStored, 4), "");
}

TEST(ZlibCheck, ZeroedOrChangedBytesAnywhereAreFound) {
    for (const auto& [stream, size] : {std::pair{&kDynamic, kDynamicSize}, std::pair{&kFixed, kFixedSize},
                                       std::pair{&kStored, std::uint64_t{5}}}) {
        for (std::size_t at = 0; at < stream->size(); ++at) {
            Bytes damaged = *stream;
            damaged[at] ^= 0x5A;
            EXPECT_NE(Check(damaged, size), "") << "byte " << at << " of " << stream->size();
        }
        for (std::size_t at = 0; at + 16 <= stream->size(); at += 8) {
            Bytes damaged = *stream;
            std::fill(damaged.begin() + static_cast<std::ptrdiff_t>(at),
                      damaged.begin() + static_cast<std::ptrdiff_t>(at + 16), std::uint8_t{0});
            if (damaged == *stream) continue;
            EXPECT_NE(Check(damaged, size), "") << "16 bytes zeroed at " << at;
        }
    }
}

TEST(ZlibCheck, ACutStreamIsDamageUnlessEveryStatedByteCameOut) {
    for (std::size_t keep = 0; keep + 4 < kDynamic.size(); ++keep) {
        const Bytes cut(kDynamic.begin(), kDynamic.begin() + static_cast<std::ptrdiff_t>(keep));
        EXPECT_NE(Check(cut, kDynamicSize), "") << keep << " bytes kept";
    }
    // Without its checksum, all the text still comes out: some writers stop there.
    const Bytes without_checksum(kDynamic.begin(), kDynamic.end() - 4);
    EXPECT_EQ(Check(without_checksum, kDynamicSize), "");
    const Bytes stored_without_checksum(kStored.begin(), kStored.end() - 4);
    EXPECT_EQ(Check(stored_without_checksum, 5), "");
}

// Stored blocks of 0xFF, 600 KB in all: the checksum's sums grow fastest so, and must still
// come out as zlib's.
TEST(ZlibCheck, ALongStreamKeepsItsChecksum) {
    constexpr std::uint32_t kBlock = 65535, kBlocks = 10;
    Bytes stream = {0x78, 0x01};
    std::uint64_t a = 1, b = 0;
    for (std::uint32_t k = 0; k < kBlocks; ++k) {
        stream.push_back(k + 1 == kBlocks ? 1 : 0);  // BFINAL, type 0
        for (const std::uint32_t v : {kBlock, kBlock ^ 0xFFFFu}) {
            stream.push_back(static_cast<std::uint8_t>(v));
            stream.push_back(static_cast<std::uint8_t>(v >> 8));
        }
        stream.insert(stream.end(), kBlock, 0xFF);
        for (std::uint32_t i = 0; i < kBlock; ++i) {
            a = (a + 0xFF) % 65521;
            b = (b + a) % 65521;
        }
    }
    const auto adler = static_cast<std::uint32_t>((b << 16) | a);
    for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(static_cast<std::uint8_t>(adler >> shift));
    EXPECT_EQ(Check(stream, std::uint64_t{kBlock} * kBlocks), "");
    stream.back() ^= 1;
    EXPECT_EQ(Check(stream, std::uint64_t{kBlock} * kBlocks), "its Adler-32 checksum does not match");
}

}  // namespace
}  // namespace deckwright
