#pragma once

#include <cstdint>
#include <vector>

#include "engine/ordered_read.h"

namespace deckwright {

// Which sectors of a file hold only zeros, as a pass over the file saw them: a bit per sector.
// The check of a presentation's records then finds a lost sector of a stream without reading
// the stream's bytes a second time.
class ZeroSectors {
  public:
    ZeroSectors() = default;
    // For the whole sectors of a file of `length` bytes.
    explicit ZeroSectors(std::uint64_t length);

    // A chunk of lane 0 or 1 of the pass (see ReconstructionScan::Look): each lane's sectors
    // lie in words of their own, so the two may call at the same time. Bytes past `got` did not
    // arrive: those sectors stay unknown.
    void Note(int lane, const FileChunk& chunk);
    // Forgets what the pass saw: it is to be made again.
    void Discard();
    // After a pass that saw every sector.
    void Finish() { complete_ = true; }

    // The first sector in [first, last) that a finished pass did not see holding data: one of
    // only zeros, or one it did not see whole. `last` when there is none.
    std::uint64_t SkipData(std::uint64_t first, std::uint64_t last) const;

  private:
    std::uint64_t count_ = 0;  // whole sectors of the file
    std::vector<std::uint64_t> zero_;
    std::vector<std::uint64_t> seen_;
    bool complete_ = false;
};

}  // namespace deckwright
