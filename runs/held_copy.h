#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/memory_file.h"
#include "engine/random_access_file.h"

namespace deckwright {

// A small copy being repaired, read from the bytes its making saw instead of from the file: the
// repair reads the same few sectors many times, and each read of the file would cost two system
// calls. Writes go to the file and to the held bytes alike, so both stay the same.
class HeldCopy final : public RandomAccessFile {
  public:
    // `bytes` must be what `file` holds.
    HeldCopy(RandomAccessFile& file, std::vector<std::uint8_t> bytes)
        : file_(file), held_(std::move(bytes)) {}

    std::uint64_t Length() override { return held_.Length(); }
    bool Seek(std::uint64_t offset) override;
    std::size_t Read(std::span<std::uint8_t> out) override;
    bool Write(std::span<const std::uint8_t> data) override;
    bool CanReadAt() const override { return true; }
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                       std::string* error) override {
        return held_.ReadAt(offset, out, error);
    }

    // The held bytes, for another use once the repair is over; the copy holds none after.
    std::vector<std::uint8_t> Release() { return std::move(held_.bytes()); }

  private:
    RandomAccessFile& file_;
    MemoryFile held_;
    std::uint64_t position_ = 0;
};

}  // namespace deckwright
