#pragma once

#include <cstdint>
#include <vector>

#include "engine/random_access_file.h"

namespace deckwright {

// A RandomAccessFile over a byte vector: for tests, the fuzzers and in-memory judgements.
// Writes past the end grow the buffer, as they would grow a real file.
class MemoryFile final : public RandomAccessFile {
  public:
    MemoryFile() = default;
    explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::uint64_t Length() override { return bytes_.size(); }
    bool Seek(std::uint64_t offset) override;
    std::size_t Read(std::span<std::uint8_t> out) override;
    bool Write(std::span<const std::uint8_t> data) override;
    bool CanReadAt() const override { return !fail_all_; }
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                       std::string* error) override;

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

    // Test hook: from now on every read and write fails, as a vanished disk would.
    void FailAllIo(bool fail) { fail_all_ = fail; }

  private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t position_ = 0;
    bool fail_all_ = false;
};

}  // namespace deckwright
