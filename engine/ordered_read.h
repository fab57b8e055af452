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

// Reads bytes [begin, limit) as two halves side by side, when the file can be read at offsets
// (CanReadAt) and the range holds at least two chunks: lane 0 takes the chunks of the first
// half and lane 1 those of the second, each on its own thread with its own buffer, and
// consume(lane, chunk) gets each lane's chunks in order, the two lanes at the same time. The
// second half starts at a multiple of `chunk_size` from `begin`. Each thread thus uses the
// bytes it read itself, from its own core's cache; the pass takes about half the time of one
// in order. Returns false when it could not be done so or a read failed or came up short
// before the end of the range; `consume` may have seen chunks of both lanes by then, and the
// caller, after discarding what it gathered, reads in order instead (which records any error).
bool ReadHalvesSideBySide(RandomAccessFile& file, std::uint64_t begin, std::uint64_t limit,
                          std::size_t chunk_size,
                          const std::function<void(int lane, const FileChunk&)>& consume);

}  // namespace deckwright
