#include "engine/zlib_check.h"

#include <array>
#include <span>

#include "engine/little_endian.h"

namespace deckwright {
namespace {

constexpr int kMaxBits = 15;
constexpr std::uint32_t kWindowSize = 1u << 15;
constexpr std::uint32_t kAdlerBase = 65521;
// Bytes the two Adler-32 sums take before they must be reduced, lest the second overflow.
constexpr std::uint32_t kAdlerRun = 5552;
// Codes up to this long are decoded by one look into a table, longer ones bit by bit.
constexpr int kTableBits = 9;

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,   10,  11, 13,
                                                       15, 17, 19, 23, 27, 31, 35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,
                                                         4, 4, 5, 5, 6, 6, 7,  7,  8,  8,
                                                         9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

// A canonical Huffman code: how many codes of each length, and the symbols in code order;
// and, for the next kTableBits bits of input as they arrive, the symbol whose code they begin
// with and its length (0 where no code that short fits: the bits are then read one by one).
struct Huffman {
    std::array<std::uint16_t, kMaxBits + 1> counts{};
    std::array<std::uint16_t, 288> symbols{};
    struct Entry {
        std::uint16_t symbol = 0;
        std::uint8_t length = 0;
    };
    std::array<Entry, 1u << kTableBits> table{};
};

// Builds the code from each symbol's length; false when the lengths ask for more codes than
// there are (an incomplete code is allowed, as zlib allows a lone distance code).
bool Build(Huffman& h, const std::uint8_t* lengths, int n) {
    h.counts.fill(0);
    for (int i = 0; i < n; ++i) ++h.counts[lengths[i]];
    h.counts[0] = 0;
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
        left = (left << 1) - h.counts[len];
        if (left < 0) return false;
    }
    std::array<std::uint16_t, kMaxBits + 2> offsets{};
    for (int len = 1; len <= kMaxBits; ++len) offsets[len + 1] = offsets[len] + h.counts[len];
    for (int i = 0; i < n; ++i) {
        if (lengths[i] != 0) h.symbols[offsets[lengths[i]]++] = static_cast<std::uint16_t>(i);
    }
    // Codes are given out in order of length, then of symbol; the input holds each code's
    // first bit lowest, so the table is indexed by the code reversed.
    h.table.fill({});
    int code = 0, index = 0;
    for (int len = 1; len <= kTableBits; ++len) {
        for (int k = 0; k < h.counts[len]; ++k, ++code, ++index) {
            std::uint32_t reversed = 0;
            for (int b = 0; b < len; ++b) reversed |= ((code >> b) & 1u) << (len - 1 - b);
            for (std::uint32_t fill = reversed; fill < h.table.size(); fill += 1u << len)
                h.table[fill] = {h.symbols[index], static_cast<std::uint8_t>(len)};
        }
        code <<= 1;
    }
    return true;
}

class Inflater {
  public:
    Inflater(ByteSource& in, std::uint64_t expected) : in_(in), expected_(expected) {}

    std::string Run() {
        std::uint32_t cmf = 0, flg = 0;
        if (!Bits(8, &cmf) || !Bits(8, &flg)) return "it ends before its zlib header";
        if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || ((cmf << 8) | flg) % 31 != 0 || (flg & 0x20))
            return "its zlib header is not one of a deflate stream";
        for (std::uint32_t last = 0; !last;) {
            std::uint32_t type = 0;
            if (!Bits(1, &last) || !Bits(2, &type)) return Cut();
            std::string problem;
            if (type == 0) {
                problem = Stored();
            } else if (type == 1) {
                problem = FixedBlock();
            } else if (type == 2) {
                problem = DynamicBlock();
            } else {
                problem = "a block of the reserved type 3";
            }
            if (!problem.empty()) return problem;
        }
        AlignToByte();  // the checksum starts at the next byte
        std::uint32_t stored = 0;
        for (int i = 0; i < 4; ++i) {
            const int b = NextByte();
            if (b < 0) return Cut();
            stored = (stored << 8) | static_cast<std::uint32_t>(b);
        }
        ReduceAdler();
        if (out_ != expected_)
            return "it inflates to " + std::to_string(out_) + " bytes instead of the " +
                   std::to_string(expected_) + " it states";
        if (stored != ((adler_b_ << 16) | adler_a_)) return "its Adler-32 checksum does not match";
        return {};
    }

  private:
    // Some writers stop once the stated bytes are out, before the last block's end and the
    // checksum (seen in a presentation with macros that opens): that much is taken as whole.
    std::string Cut() const {
        return out_ == expected_ ? std::string() : "it ends inside its compressed data";
    }

    // Takes in whole bytes while there is room for them and input left; what is taken and not
    // yet used stays in the buffer, for bits and for whole bytes alike.
    void Fill() {
        if (piece_.size() - at_ >= 8) {
            // Eight bytes at once; those past what fits are taken again next time.
            bitbuf_ |= ReadLE64(piece_.data() + at_) << bitcount_;
            at_ += static_cast<std::size_t>((63 - bitcount_) >> 3);
            bitcount_ |= 56;
            return;
        }
        while (bitcount_ <= 56 && !ended_) {
            if (at_ == piece_.size()) {
                piece_ = in_.Next();
                at_ = 0;
                ended_ = piece_.empty();
                continue;
            }
            bitbuf_ |= static_cast<std::uint64_t>(piece_[at_++]) << bitcount_;
            bitcount_ += 8;
        }
    }

    bool Bits(int n, std::uint32_t* value) {
        if (bitcount_ < n) Fill();
        if (bitcount_ < n) return false;
        *value = static_cast<std::uint32_t>(bitbuf_ & ((std::uint64_t{1} << n) - 1));
        bitbuf_ >>= n;
        bitcount_ -= n;
        return true;
    }

    // Drops what is left of the byte being read: stored blocks and the checksum start at the
    // next byte.
    void AlignToByte() {
        bitbuf_ >>= bitcount_ % 8;
        bitcount_ -= bitcount_ % 8;
    }
    // The next whole byte (after AlignToByte); -1 when the input ends.
    int NextByte() {
        std::uint32_t b = 0;
        return Bits(8, &b) ? static_cast<int>(b) : -1;
    }

    // The next symbol of `h`: -1 when the input ends, -2 for a code `h` does not have.
    int Decode(const Huffman& h) {
        if (bitcount_ < kMaxBits) Fill();
        if (bitcount_ >= kTableBits) {
            const Huffman::Entry e = h.table[bitbuf_ & ((1u << kTableBits) - 1)];
            if (e.length != 0) {
                bitbuf_ >>= e.length;
                bitcount_ -= e.length;
                return e.symbol;
            }
        }
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            std::uint32_t bit = 0;
            if (!Bits(1, &bit)) return -1;
            code |= static_cast<int>(bit);
            const int count = h.counts[len];
            if (code - count < first) return h.symbols[index + (code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -2;
    }

    bool Put(std::uint8_t byte) {
        if (out_ == expected_) return false;
        if (unreduced_ == kAdlerRun) ReduceAdler();
        window_[out_ % kWindowSize] = byte;
        ++out_;
        adler_a_ += byte;
        adler_b_ += adler_a_;
        ++unreduced_;
        return true;
    }
    // Copies `length` bytes from `distance` back (both checked), without a test per byte.
    bool Repeat(std::uint32_t length, std::uint32_t distance) {
        if (length > expected_ - out_) return false;
        if (unreduced_ + length > kAdlerRun) ReduceAdler();
        std::uint32_t a = adler_a_, b = adler_b_;
        for (std::uint32_t i = 0; i < length; ++i, ++out_) {
            const std::uint8_t byte = window_[(out_ - distance) % kWindowSize];
            window_[out_ % kWindowSize] = byte;
            a += byte;
            b += a;
        }
        adler_a_ = a;
        adler_b_ = b;
        unreduced_ += length;
        return true;
    }
    void ReduceAdler() {
        adler_a_ %= kAdlerBase;
        adler_b_ %= kAdlerBase;
        unreduced_ = 0;
    }

    std::string TooLong() const {
        return "it inflates to more than the " + std::to_string(expected_) + " bytes it states";
    }

    std::string Stored() {
        AlignToByte();
        std::uint32_t len = 0, nlen = 0;
        for (int i = 0; i < 2; ++i) {
            const int b = NextByte();
            if (b < 0) return Cut();
            len |= static_cast<std::uint32_t>(b) << (8 * i);
        }
        for (int i = 0; i < 2; ++i) {
            const int b = NextByte();
            if (b < 0) return Cut();
            nlen |= static_cast<std::uint32_t>(b) << (8 * i);
        }
        if ((len ^ 0xFFFFu) != nlen) return "a stored block's length and its complement disagree";
        for (std::uint32_t i = 0; i < len; ++i) {
            const int b = NextByte();
            if (b < 0) return Cut();
            if (!Put(static_cast<std::uint8_t>(b))) return TooLong();
        }
        return {};
    }

    std::string FixedBlock() {
        std::array<std::uint8_t, 288 + 30> lengths{};
        for (int i = 0; i < 144; ++i) lengths[i] = 8;
        for (int i = 144; i < 256; ++i) lengths[i] = 9;
        for (int i = 256; i < 280; ++i) lengths[i] = 7;
        for (int i = 280; i < 288; ++i) lengths[i] = 8;
        for (int i = 288; i < 318; ++i) lengths[i] = 5;
        Huffman literals, distances;
        Build(literals, lengths.data(), 288);
        Build(distances, lengths.data() + 288, 30);
        return Codes(literals, distances);
    }

    std::string DynamicBlock() {
        std::uint32_t hlit = 0, hdist = 0, hclen = 0;
        if (!Bits(5, &hlit) || !Bits(5, &hdist) || !Bits(4, &hclen)) return Cut();
        hlit += 257;
        hdist += 1;
        hclen += 4;
        if (hlit > 286 || hdist > 30) return "a block states more codes than deflate has";
        std::array<std::uint8_t, 19> code_lengths{};
        for (std::uint32_t i = 0; i < hclen; ++i) {
            std::uint32_t v = 0;
            if (!Bits(3, &v)) return Cut();
            code_lengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(v);
        }
        Huffman lengths_code;
        if (!Build(lengths_code, code_lengths.data(), 19)) return "a block's code lengths are not a code";
        std::array<std::uint8_t, 286 + 30> lengths{};
        for (std::uint32_t i = 0; i < hlit + hdist;) {
            const int symbol = Decode(lengths_code);
            if (symbol == -1) return Cut();
            if (symbol < 0) return "a block's code lengths use a code that does not exist";
            if (symbol < 16) {
                lengths[i++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            std::uint32_t repeat = 0;
            std::uint8_t value = 0;
            if (symbol == 16) {
                if (i == 0) return "a block repeats a code length before the first";
                value = lengths[i - 1];
                if (!Bits(2, &repeat)) return Cut();
                repeat += 3;
            } else if (symbol == 17) {
                if (!Bits(3, &repeat)) return Cut();
                repeat += 3;
            } else {
                if (!Bits(7, &repeat)) return Cut();
                repeat += 11;
            }
            if (i + repeat > hlit + hdist) return "a block's code lengths run past their count";
            while (repeat-- > 0) lengths[i++] = value;
        }
        if (lengths[256] == 0) return "a block has no end-of-block code";
        Huffman literals, distances;
        if (!Build(literals, lengths.data(), static_cast<int>(hlit)) ||
            !Build(distances, lengths.data() + hlit, static_cast<int>(hdist)))
            return "a block's code lengths are not a code";
        return Codes(literals, distances);
    }

    std::string Codes(const Huffman& literals, const Huffman& distances) {
        for (;;) {
            int symbol = Decode(literals);
            if (symbol == -1) return Cut();
            if (symbol < 0) return "it uses a code its block does not have";
            if (symbol < 256) {
                if (!Put(static_cast<std::uint8_t>(symbol))) return TooLong();
                continue;
            }
            if (symbol == 256) return {};
            symbol -= 257;
            if (symbol >= 29) return "it uses a length code deflate does not have";
            std::uint32_t extra = 0;
            if (!Bits(kLengthExtra[symbol], &extra)) return Cut();
            const std::uint32_t length = kLengthBase[symbol] + extra;
            const int d = Decode(distances);
            if (d == -1) return Cut();
            if (d < 0 || d >= 30) return "it uses a distance code deflate does not have";
            if (!Bits(kDistanceExtra[d], &extra)) return Cut();
            const std::uint32_t distance = kDistanceBase[d] + extra;
            if (distance > out_) return "it refers back past the start of its data";
            if (!Repeat(length, distance)) return TooLong();
        }
    }

    ByteSource& in_;
    std::span<const std::uint8_t> piece_;  // the input's piece being taken in
    std::size_t at_ = 0;                   // the next byte of it
    const std::uint64_t expected_;
    std::uint64_t out_ = 0;
    std::uint64_t bitbuf_ = 0;  // bits taken in and not yet used, the next one lowest
    int bitcount_ = 0;
    bool ended_ = false;  // the input gave out
    std::uint32_t adler_a_ = 1, adler_b_ = 0;
    std::uint32_t unreduced_ = 0;  // bytes added to the sums since they were last reduced
    std::array<std::uint8_t, kWindowSize> window_{};
};

}  // namespace

std::string CheckZlibStream(ByteSource& in, std::uint64_t expected_size) {
    return Inflater(in, expected_size).Run();
}

}  // namespace deckwright
