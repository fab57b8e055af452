#include "engine/ordered_read.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/page_buffer.h"

namespace deckwright {
namespace {

struct Buffer {
    // Not zeroed when made: every byte handed on is read or zeroed first, and a zeroing pass
    // would only fault in the fresh pages ahead of the read.
    explicit Buffer(std::size_t n) : bytes(n), size(n) {}
    PageBuffer bytes;
    std::size_t size;
    std::uint64_t pos = 0;
    std::size_t want = 0;
    std::size_t got = 0;
    bool full = false;  // read and not yet consumed
};

// Reads the next chunk at the file's position. False once nothing more will come.
bool Fill(RandomAccessFile& file, Buffer& b, std::uint64_t limit) {
    b.want = static_cast<std::size_t>(std::min<std::uint64_t>(b.size, limit - b.pos));
    b.got = file.Read(std::span<std::uint8_t>(b.bytes.data(), b.want));
    std::fill(b.bytes.data() + b.got, b.bytes.data() + b.want, std::uint8_t{0});
    return b.got == b.want && b.pos + b.want < limit;
}

void Hand(const Buffer& b, const std::function<void(const FileChunk&)>& consume) {
    consume({std::span<const std::uint8_t>(b.bytes.data(), b.want), b.pos, b.got});
}

void ReadInTurn(RandomAccessFile& file, std::uint64_t begin, std::uint64_t limit,
                std::size_t chunk_size, const std::function<void(const FileChunk&)>& consume) {
    Buffer b(static_cast<std::size_t>(std::min<std::uint64_t>(chunk_size, limit - begin)));
    if (!file.Seek(begin)) return;
    for (b.pos = begin;; b.pos += b.want) {
        const bool more = Fill(file, b, limit);
        Hand(b, consume);
        if (!more) return;
    }
}

}  // namespace

void ReadInOrder(RandomAccessFile& file, std::uint64_t begin, std::uint64_t limit,
                 std::size_t chunk_size, ReadAhead read_ahead,
                 const std::function<void(const FileChunk&)>& consume) {
    if (begin >= limit) return;
    if (read_ahead == ReadAhead::kNone || limit - begin <= chunk_size) {
        ReadInTurn(file, begin, limit, chunk_size, consume);
        return;
    }
    std::vector<Buffer> buffers;
    for (std::size_t k = 0; k < kReadAheadBuffers; ++k) {
        buffers.emplace_back(chunk_size);
        buffers[k].pos = begin + k * chunk_size;  // fixed up front: the reader needs no counter
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false, reader_done = false;

    auto read_all = [&] {
        bool more = file.Seek(begin);
        for (std::size_t k = 0; more; k = (k + 1) % buffers.size()) {
            Buffer& b = buffers[k];
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !b.full || stop; });
                if (stop) break;
            }
            more = Fill(file, b, limit);
            {
                std::lock_guard lock(mutex);
                b.full = true;
            }
            changed.notify_all();
        }
        {
            std::lock_guard lock(mutex);
            reader_done = true;
        }
        changed.notify_all();
    };

    std::thread reader;
    try {
        reader = std::thread(read_all);
    } catch (const std::system_error&) {
        ReadInTurn(file, begin, limit, chunk_size, consume);  // no thread to be had
        return;
    }
    // Joined on every way out, a throwing consumer included.
    struct Joiner {
        std::thread& t;
        std::mutex& m;
        std::condition_variable& cv;
        bool& stop;
        ~Joiner() {
            {
                std::lock_guard lock(m);
                stop = true;
            }
            cv.notify_all();
            t.join();
        }
    } joiner{reader, mutex, changed, stop};

    for (std::size_t k = 0;; k = (k + 1) % buffers.size()) {
        Buffer& b = buffers[k];
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return b.full || reader_done; });
            if (!b.full) return;
        }
        Hand(b, consume);
        {
            std::lock_guard lock(mutex);
            b.full = false;
            b.pos += buffers.size() * chunk_size;
        }
        changed.notify_all();
    }
}

bool ReadHalvesSideBySide(RandomAccessFile& file, std::uint64_t begin, std::uint64_t limit,
                          std::size_t chunk_size,
                          const std::function<void(int lane, const FileChunk&)>& consume) {
    if (!file.CanReadAt() || begin >= limit) return false;
    const std::uint64_t chunks = (limit - begin + chunk_size - 1) / chunk_size;
    if (chunks < 2) return false;
    const std::uint64_t mid = begin + chunks / 2 * chunk_size;

    // True when [from, to) was read whole, or up to the end of the file where `to` is the end
    // of the range; a short chunk ends the lane either way.
    auto lane = [&](int index, std::uint64_t from, std::uint64_t to, std::string& error) {
        Buffer b(chunk_size);
        for (b.pos = from; b.pos < to; b.pos += b.want) {
            b.want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk_size, to - b.pos));
            b.got = file.ReadAt(b.pos, std::span<std::uint8_t>(b.bytes.data(), b.want), &error);
            if (!error.empty()) return false;
            std::fill(b.bytes.data() + b.got, b.bytes.data() + b.want, std::uint8_t{0});
            consume(index,
                    FileChunk{std::span<const std::uint8_t>(b.bytes.data(), b.want), b.pos, b.got});
            if (b.got < b.want) return to == limit;
        }
        return true;
    };
    bool second_ok = false;
    std::string second_error;
    std::exception_ptr second_threw;
    std::thread helper;
    try {
        helper = std::thread([&] {
            try {
                second_ok = lane(1, mid, limit, second_error);
            } catch (...) {
                second_threw = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        return false;  // no thread to be had
    }
    std::string first_error;
    bool first_ok = false;
    try {
        first_ok = lane(0, begin, mid, first_error);
    } catch (...) {
        helper.join();
        throw;
    }
    helper.join();
    if (second_threw) std::rethrow_exception(second_threw);
    return first_ok && second_ok;
}

}  // namespace deckwright
