#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace deckwright {

// A file the engine can read and rewrite at any offset: an OS file in the program, a memory
// buffer in tests. The first operating-system error is kept (sticky), so code written against
// "a read that comes up short is not an error" can still tell its caller that I/O failed.
class RandomAccessFile {
  public:
    virtual ~RandomAccessFile() = default;

    // Length in bytes; 0 (and an error recorded) when it cannot be obtained.
    virtual std::uint64_t Length() = 0;
    // Moves to an absolute offset from the beginning. False on failure.
    virtual bool Seek(std::uint64_t offset) = 0;
    // Reads up to out.size() bytes at the current position; returns how many arrived.
    // Fewer than asked means end of file, or an error (then Failed() is true).
    virtual std::size_t Read(std::span<std::uint8_t> out) = 0;
    // Writes all of data at the current position. False on failure.
    virtual bool Write(std::span<const std::uint8_t> data) = 0;

    // Whether ReadAt may be called, from several threads at once: a pass over a big file then
    // reads its two halves side by side, each thread reading and using its own bytes.
    virtual bool CanReadAt() const { return false; }
    // Reads up to out.size() bytes at `offset`, without using or moving the position; returns
    // how many arrived. An error is described in *error and not recorded: a caller that sees
    // one reads the range again the ordinary way, which records it.
    virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                               std::string* error) {
        (void)offset;
        (void)out;
        *error = "this file cannot be read at an offset";
        return 0;
    }

    bool Failed() const { return !error_.empty(); }
    // What went wrong first, in words ("read failed at offset 1024: Input/output error").
    const std::string& Error() const { return error_; }

  protected:
    void RecordError(std::string what) {
        if (error_.empty()) error_ = std::move(what);
    }

  private:
    std::string error_;
};

}  // namespace deckwright
