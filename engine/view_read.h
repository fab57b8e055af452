#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/random_access_file.h"

namespace deckwright {

// What a view laid over `base` (a file seen with some bytes replaced, and perhaps longer) reads
// at [pos, pos + out.size()) before its own bytes go over it: the base's bytes up to its
// length, then zeros up to `end`. Returns how many bytes the view has there (fewer only at
// `end`); 0 with the base's error in *error when reading it failed.
std::size_t ReadUnderView(RandomAccessFile& base, std::uint64_t pos, std::uint64_t end,
                          std::span<std::uint8_t> out, std::string* error);

}  // namespace deckwright
