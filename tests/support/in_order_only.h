#pragma once

#include "engine/random_access_file.h"

namespace deckwright::testing {

// Hides ReadAt, as a file that cannot read at offsets does: passes over it run in order.
class InOrderOnly final : public RandomAccessFile {
  public:
    explicit InOrderOnly(RandomAccessFile& inner) : inner_(inner) {}
    std::uint64_t Length() override { return inner_.Length(); }
    bool Seek(std::uint64_t offset) override { return inner_.Seek(offset); }
    std::size_t Read(std::span<std::uint8_t> out) override { return inner_.Read(out); }
    bool Write(std::span<const std::uint8_t> data) override { return inner_.Write(data); }

  private:
    RandomAccessFile& inner_;
};

}  // namespace deckwright::testing
