#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "engine/random_access_file.h"

namespace deckwright {

// Buffers a pass holds while it reads ahead: the one being consumed and the one being read.
inline constexpr std::size_t kReadAheadBuffers = 2;

// One piece of a sequential pass: bytes [pos, pos + bytes.size()) of the file, of which the
// first `got` arrived; the rest is zero (past the end of the file, or lost to an I/O error
// that the file records).
struct FileChunk {
    std::span<const std::uint8_t> bytes;
    std::uint64_t pos = 0;
    std::size_t got = 0;
};

// Whether a pass reads the next chunk on a helper thread while the caller consumes the last.
// It pays when the caller's work per chunk costs about as much as reading it (the rebuild's
// classification); when the caller only glances at each sector, handing every chunk from one
// core's cache to the other's costs more than it saves.
enum class ReadAhead { kNone, kHelperThread };

// Reads bytes [begin, limit) of the file in order, `chunk_size` at a time, and hands each chunk
// to `consume`. The pass stops after the first chunk that comes up short. With a helper thread,
// only the helper touches the file until the pass returns.
void ReadInOrder(RandomAccessFile& file, std::uint64_t begin, std::uint64_t limit,
                 std::size_t chunk_size, ReadAhead read_ahead,
                 const std::function<void(const FileChunk&)>& consume);

}  // namespace deckwright
