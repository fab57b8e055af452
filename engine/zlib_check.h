#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace deckwright {

// Bytes handed over a piece at a time; an empty piece once there are no more. A piece stays as
// it is until the next call.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::span<const std::uint8_t> Next() = 0;
};

// Whether `in` starts with a whole zlib stream that inflates to exactly `expected_size` bytes
// with a matching Adler-32, as an embedded object's compressed bytes must (a stream whose input
// ends once all its bytes are out is taken as whole). Only a 32 KB window
// of the output is kept, so memory stays fixed whatever the stream states. Returns an empty
// string when it does, else what is wrong.
std::string CheckZlibStream(ByteSource& in, std::uint64_t expected_size);

}  // namespace deckwright
