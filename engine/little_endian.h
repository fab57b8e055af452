#pragma once

#include <cstddef>
#include <cstdint>

namespace deckwright {

// Compound files are little-endian whatever the machine: read and write fields byte by byte.
inline std::uint16_t ReadLE16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t ReadLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t ReadLE64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(ReadLE32(p)) |
           (static_cast<std::uint64_t>(ReadLE32(p + 4)) << 32);
}
inline void WriteLE16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void WriteLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void WriteLE64(std::uint8_t* p, std::uint64_t v) {
    WriteLE32(p, static_cast<std::uint32_t>(v));
    WriteLE32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace deckwright
