#pragma once

#include <array>
#include <cstdint>
#include <map>

#include "engine/compound_file_header.h"
#include "engine/random_access_file.h"

namespace deckwright {

// A file that reads as `base` and keeps whatever is written to it in memory, in whole pages:
// the repair can be worked through on a file opened only for reading, to show what it would
// do. Writes past the end make it longer, as they would a real file.
class CopyOnWriteFile final : public RandomAccessFile {
  public:
    explicit CopyOnWriteFile(RandomAccessFile& base) : base_(base) {}

    std::uint64_t Length() override;
    bool Seek(std::uint64_t offset) override {
        pos_ = offset;
        return true;
    }
    std::size_t Read(std::span<std::uint8_t> out) override;
    bool Write(std::span<const std::uint8_t> data) override;
    bool CanReadAt() const override { return pages_.empty() && base_.CanReadAt(); }
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                       std::string* error) override;

  private:
    using Page = std::array<std::uint8_t, SECTOR_SIZE>;

    std::uint64_t BaseLength();
    // Copies the written pages' bytes over `out`, which holds the file's bytes from `at`.
    void Patch(std::uint64_t at, std::span<std::uint8_t> out) const;
    // The page at `index` as the file reads now, made a written one.
    Page& Written(std::uint64_t index);

    RandomAccessFile& base_;
    std::map<std::uint64_t, Page> pages_;  // by offset / page size
    std::uint64_t written_end_ = 0;        // one past the last byte written
    std::uint64_t pos_ = 0;
};

}  // namespace deckwright
