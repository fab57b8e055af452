// The one-pass header rebuild against the plain one on arbitrary bytes: they must write the
// same header, and nothing but the header may change.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/header_rebuild.h"
#include "engine/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using deckwright::SECTOR_SIZE;
    const std::vector<std::uint8_t> input(data, data + size);
    deckwright::MemoryFile one_pass(input), literal(input);
    deckwright::RebuildHeader(one_pass);
    deckwright::RebuildHeaderLiteral(literal);
    if (one_pass.Failed() || literal.Failed()) __builtin_trap();
    if (one_pass.bytes() != literal.bytes()) __builtin_trap();
    const auto& out = one_pass.bytes();
    if (out.size() != std::max<std::size_t>(size, SECTOR_SIZE)) __builtin_trap();
    if (size > SECTOR_SIZE &&
        !std::equal(input.begin() + SECTOR_SIZE, input.end(), out.begin() + SECTOR_SIZE)) {
        __builtin_trap();
    }
    return 0;
}
