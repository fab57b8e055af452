#pragma once

#include <array>
#include <cstdint>

#include "engine/compound_file_header.h"
#include "engine/random_access_file.h"

namespace deckwright {

// Rewrites the 512 header bytes of an open, writable compound file from what its sectors show.
// Always returns 0. I/O errors do not change what is written from the bytes that did arrive;
// the caller learns of them from file.Failed() and file.Error().
int RebuildHeader(RandomAccessFile& file);

}  // namespace deckwright
