#include "engine/sector_scan.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace deckwright {
namespace {

constexpr std::size_t kObjectTypeOffset = 66;
constexpr std::uint8_t kRootStorage = 5;

// Where a chunk of the file lies and how much of it arrived; the rest of bytes is zero.
struct Chunk {
    std::vector<std::uint8_t> bytes;
    std::uint64_t pos = 0;
    std::size_t want = 0;
    std::size_t got = 0;
    bool full = false;  // read and not yet consumed
};

// Reads the next chunk at the file's position. False once nothing more will come.
bool ReadChunk(RandomAccessFile& file, Chunk& c, std::uint64_t pos, std::uint64_t limit) {
    c.pos = pos;
    c.want = static_cast<std::size_t>(std::min<std::uint64_t>(c.bytes.size(), limit - pos));
    c.got = file.Read(std::span<std::uint8_t>(c.bytes.data(), c.want));
    std::fill(c.bytes.begin() + static_cast<std::ptrdiff_t>(c.got),
              c.bytes.begin() + static_cast<std::ptrdiff_t>(c.want), std::uint8_t{0});
    return c.got == c.want && pos + c.want < limit;
}

// Bytes [0, limit) of the file, in order, a chunk at a time, to consume(chunk).
template <class Consume>
void ReadInOrder(RandomAccessFile& file, std::uint64_t limit, Consume consume) {
    Chunk c;
    c.bytes.resize(
        static_cast<std::size_t>(std::min<std::uint64_t>(SectorSurvey::kReadChunk, limit)));
    if (!file.Seek(0)) return;
    for (std::uint64_t pos = 0;; pos += c.want) {
        const bool more = ReadChunk(file, c, pos, limit);
        consume(c);
        if (!more) return;
    }
}

// The same, with the next chunk read on a helper thread while the caller consumes the last
// one: reading a cached file and classifying its sectors cost about the same, so overlapping
// them nearly halves the time. Only the helper touches the file until it has been joined.
template <class Consume>
void ReadAheadInOrder(RandomAccessFile& file, std::uint64_t limit, Consume consume) {
    std::array<Chunk, SectorSurvey::kReadBuffers> chunks;
    for (Chunk& c : chunks) c.bytes.resize(SectorSurvey::kReadChunk);
    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false, reader_done = false;

    auto read_all = [&] {
        bool more = file.Seek(0);
        for (std::size_t k = 0; more; k = (k + 1) % chunks.size()) {
            Chunk& c = chunks[k];
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !c.full || stop; });
                if (stop) break;
            }
            const std::uint64_t pos = c.pos;
            more = ReadChunk(file, c, pos, limit);
            {
                std::lock_guard lock(mutex);
                c.full = true;
            }
            changed.notify_all();
        }
        {
            std::lock_guard lock(mutex);
            reader_done = true;
        }
        changed.notify_all();
    };
    // Chunk positions are fixed up front, so the reader needs no shared counter.
    for (std::size_t k = 0; k < chunks.size(); ++k) chunks[k].pos = k * SectorSurvey::kReadChunk;

    std::thread reader;
    try {
        reader = std::thread(read_all);
    } catch (const std::system_error&) {
        ReadInOrder(file, limit, consume);  // no thread to be had: read and consume in turn
        return;
    }
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

    for (std::size_t k = 0;; k = (k + 1) % chunks.size()) {
        Chunk& c = chunks[k];
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return c.full || reader_done; });
            if (!c.full) return;
        }
        consume(c);
        {
            std::lock_guard lock(mutex);
            c.full = false;
            c.pos += chunks.size() * SectorSurvey::kReadChunk;
        }
        changed.notify_all();
    }
}

}  // namespace

SectorSurvey SectorSurvey::Run(RandomAccessFile& file, const SectorChooser& choose) {
    SectorSurvey survey;
    const std::uint64_t length = file.Length();
    survey.sector_bound_ = length / SECTOR_SIZE;
    // Whole sectors 0 .. N-2 are classified; sectors up to max(N, 1) may be read by number.
    const std::uint64_t last_readable = std::max<std::uint64_t>(survey.sector_bound_, 1);
    const std::uint64_t limit = (last_readable + 2) * SECTOR_SIZE;

    bool header_seen = false;
    auto choose_kept = [&] {
        header_seen = true;
        for (const std::uint32_t n : choose(survey.header_, survey.sector_bound_)) {
            survey.kept_.emplace_back(n, SectorBytes{});
        }
    };
    auto consume = [&](const Chunk& c) {
        // Past c.got nothing arrived: those sectors read as zeros, which neither look like a
        // FAT sector nor hold a root entry, and kept copies start out zero.
        for (std::size_t off = 0; off < c.got; off += SECTOR_SIZE) {
            const Sector sector(c.bytes.data() + off, SECTOR_SIZE);
            const std::uint64_t at = c.pos + off;
            if (at == 0) {
                std::copy(sector.begin(), sector.end(), survey.header_.begin());
                choose_kept();
            } else {
                survey.VisitSector(at / SECTOR_SIZE - 1, sector);
            }
        }
    };
    if (limit > kReadChunk) {
        ReadAheadInOrder(file, limit, consume);
    } else {
        ReadInOrder(file, limit, consume);
    }
    if (!header_seen) choose_kept();
    return survey;
}

void SectorSurvey::VisitSector(std::uint64_t number, Sector sector) {
    for (auto& [kept_number, bytes] : kept_) {
        if (kept_number == number) std::copy(sector.begin(), sector.end(), bytes.begin());
    }
    if (number + 2 > sector_bound_) return;  // not a whole sector: only ever read by number
    const auto n32 = static_cast<std::uint32_t>(number);
    if (LooksLikeFatSector(sector)) fat_like_.push_back({n32, SummarizeFatSector(sector)});
    if (first_root_directory_ < 0 && sector[kObjectTypeOffset] == kRootStorage &&
        LooksLikeDirectorySector(sector)) {
        first_root_directory_ = static_cast<std::int32_t>(n32);
    }
}

std::int32_t SectorSurvey::FindFat(std::int32_t block, bool skip_first) const {
    bool skipped = !skip_first;
    for (const FatLike& s : fat_like_) {
        if (FatBlockIndex(s.summary, block) != block) continue;
        if (skipped) return static_cast<std::int32_t>(s.number);
        skipped = true;
    }
    return -1;
}

SectorBytes SectorSurvey::Kept(std::uint32_t number) const {
    for (const auto& [kept_number, bytes] : kept_) {
        if (kept_number == number) return bytes;
    }
    return SectorBytes{};
}

}  // namespace deckwright
