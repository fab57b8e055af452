#include "tests/support/cfb_writer.h"

#include <algorithm>
#include <cctype>
#include <random>
#include <stdexcept>

#include "engine/compound_file_header.h"
#include "engine/little_endian.h"

namespace deckwright::testing {
namespace {

constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::uint32_t kMiniStreamCutoff = 4096;
constexpr std::uint32_t kDirEntrySize = 128;
constexpr std::uint16_t kDocumentRecordType = 0x03E8;

std::uint32_t CeilDiv(std::uint64_t a, std::uint64_t b) {
    return static_cast<std::uint32_t>((a + b - 1) / b);
}

// Directory order of MS-CFB: shorter names first, then by upper-cased name.
bool DirectoryLess(const StreamSpec* a, const StreamSpec* b) {
    if (a->name.size() != b->name.size()) return a->name.size() < b->name.size();
    for (std::size_t i = 0; i < a->name.size(); ++i) {
        const int ca = std::toupper(static_cast<unsigned char>(a->name[i]));
        const int cb = std::toupper(static_cast<unsigned char>(b->name[i]));
        if (ca != cb) return ca < cb;
    }
    return false;
}

void WriteDirEntry(std::uint8_t* e, const std::string& name, std::uint8_t type,
                   std::uint32_t right, std::uint32_t child, std::uint32_t start,
                   std::uint64_t size) {
    if (name.size() > 31) throw std::invalid_argument("stream name too long");
    for (std::size_t i = 0; i < name.size(); ++i) WriteLE16(e + 2 * i, static_cast<std::uint8_t>(name[i]));
    WriteLE16(e + 64, static_cast<std::uint16_t>((name.size() + 1) * 2));
    e[66] = type;
    e[67] = 1;  // black
    WriteLE32(e + 68, kNoStream);
    WriteLE32(e + 72, right);
    WriteLE32(e + 76, child);
    WriteLE32(e + 116, start);
    WriteLE64(e + 120, size);
}

}  // namespace

std::vector<std::uint8_t> WriteCompoundFile(const std::vector<StreamSpec>& streams,
                                            const CfbLayout& layout) {
    std::vector<const StreamSpec*> sorted;
    for (const auto& s : streams) sorted.push_back(&s);
    std::sort(sorted.begin(), sorted.end(), DirectoryLess);

    // Mini stream: small streams, each rounded up to whole 64-byte mini sectors.
    std::uint32_t mini_sectors = 0;
    for (const auto* s : sorted) {
        if (s->data.size() < kMiniStreamCutoff) mini_sectors += CeilDiv(s->data.size(), kMiniSectorSize);
    }
    const std::uint32_t mini_stream_bytes = mini_sectors * kMiniSectorSize;
    const std::uint32_t ministream_sectors = CeilDiv(mini_stream_bytes, SECTOR_SIZE);
    const std::uint32_t minifat_sectors = CeilDiv(mini_sectors, kEntriesPerSector);
    const std::uint32_t dir_sectors = CeilDiv(sorted.size() + 1, 4);
    std::uint32_t big_sectors = 0;
    for (const auto* s : sorted) {
        if (s->data.size() >= kMiniStreamCutoff) big_sectors += CeilDiv(s->data.size(), SECTOR_SIZE);
    }
    const std::uint32_t data_sectors = dir_sectors + minifat_sectors + ministream_sectors +
                                       big_sectors + layout.free_ff_sectors +
                                       layout.free_zero_sectors_first;

    // FAT and DIFAT sectors must also describe themselves: iterate to the fixed point.
    std::uint32_t fat = 1, difat = 0;
    for (;;) {
        const std::uint32_t total = data_sectors + fat + difat;
        const std::uint32_t need_fat = CeilDiv(total, kEntriesPerSector);
        const std::uint32_t need_difat =
            need_fat > kHeaderDifatEntries ? CeilDiv(need_fat - kHeaderDifatEntries, 127) : 0;
        if (need_fat == fat && need_difat == difat) break;
        fat = need_fat;
        difat = need_difat;
    }
    const std::uint32_t total = data_sectors + fat + difat;

    // Where each region starts.
    std::uint32_t next = 0;
    auto take = [&next](std::uint32_t n) {
        const std::uint32_t first = next;
        next += n;
        return first;
    };
    take(layout.free_zero_sectors_first);
    std::uint32_t fat_start = 0, difat_start = 0;
    if (layout.fat_first) {
        fat_start = take(fat);
        difat_start = take(difat);
    }
    const std::uint32_t dir_start = take(dir_sectors);
    const std::uint32_t minifat_start = take(minifat_sectors);
    const std::uint32_t ministream_start = take(ministream_sectors);
    const std::uint32_t big_start = take(big_sectors);
    if (!layout.fat_first) {
        fat_start = take(fat);
        difat_start = take(difat);
    }
    const std::uint32_t free_start = take(layout.free_ff_sectors);

    std::vector<std::uint8_t> file((static_cast<std::size_t>(total) + 1) * SECTOR_SIZE, 0);
    auto sector = [&file](std::uint32_t k) { return file.data() + (static_cast<std::size_t>(k) + 1) * SECTOR_SIZE; };

    std::vector<std::uint32_t> fat_entries(static_cast<std::size_t>(fat) * kEntriesPerSector, kFreeSect);
    auto chain = [&fat_entries](std::uint32_t first, std::uint32_t n) {
        for (std::uint32_t i = 0; i < n; ++i) fat_entries[first + i] = (i + 1 < n) ? first + i + 1 : kEndOfChain;
    };
    for (std::uint32_t i = 0; i < fat; ++i) fat_entries[fat_start + i] = kFatSect;
    for (std::uint32_t i = 0; i < difat; ++i) fat_entries[difat_start + i] = kDifSect;
    chain(dir_start, dir_sectors);
    chain(minifat_start, minifat_sectors);
    chain(ministream_start, ministream_sectors);

    // Stream contents, mini FAT and directory.
    std::vector<std::uint32_t> minifat_entries(static_cast<std::size_t>(minifat_sectors) * kEntriesPerSector, kFreeSect);
    std::vector<std::uint8_t> dir(static_cast<std::size_t>(dir_sectors) * SECTOR_SIZE, 0);
    for (std::uint32_t i = 0; i < dir_sectors * 4; ++i) {
        std::uint8_t* e = dir.data() + i * kDirEntrySize;
        WriteLE32(e + 68, kNoStream);
        WriteLE32(e + 72, kNoStream);
        WriteLE32(e + 76, kNoStream);
    }
    std::uint32_t mini_next = 0, big_next = big_start;
    for (std::size_t k = 0; k < sorted.size(); ++k) {
        const StreamSpec& s = *sorted[k];
        const std::uint32_t right = (k + 1 < sorted.size()) ? static_cast<std::uint32_t>(k + 2) : kNoStream;
        std::uint32_t start = kEndOfChain;
        if (s.data.size() < kMiniStreamCutoff) {
            const std::uint32_t n = CeilDiv(s.data.size(), kMiniSectorSize);
            if (n > 0) {
                start = mini_next;
                for (std::uint32_t i = 0; i < n; ++i) minifat_entries[mini_next + i] = (i + 1 < n) ? mini_next + i + 1 : kEndOfChain;
                std::uint8_t* base = file.data() + (static_cast<std::size_t>(ministream_start) + 1) * SECTOR_SIZE;
                std::copy(s.data.begin(), s.data.end(), base + static_cast<std::size_t>(mini_next) * kMiniSectorSize);
                mini_next += n;
            }
        } else {
            const std::uint32_t n = CeilDiv(s.data.size(), SECTOR_SIZE);
            start = big_next;
            chain(big_next, n);
            std::copy(s.data.begin(), s.data.end(), sector(big_next));
            big_next += n;
        }
        WriteDirEntry(dir.data() + (k + 1) * kDirEntrySize, s.name, 2, right, kNoStream, start, s.data.size());
    }
    WriteDirEntry(dir.data(), "Root Entry", 5, kNoStream, sorted.empty() ? kNoStream : 1,
                  mini_sectors ? ministream_start : kEndOfChain, mini_stream_bytes);
    std::copy(dir.begin(), dir.end(), sector(dir_start));
    for (std::size_t i = 0; i < minifat_entries.size(); ++i) WriteLE32(sector(minifat_start) + 4 * i, minifat_entries[i]);
    for (std::uint32_t i = 0; i < layout.free_ff_sectors; ++i) std::fill_n(sector(free_start + i), SECTOR_SIZE, 0xFF);
    for (std::size_t i = 0; i < fat_entries.size(); ++i) WriteLE32(sector(fat_start) + 4 * i, fat_entries[i]);

    // DIFAT sectors: 127 FAT sector numbers each, then the next DIFAT sector.
    for (std::uint32_t d = 0; d < difat; ++d) {
        std::uint8_t* p = sector(difat_start + d);
        for (std::uint32_t i = 0; i < 127; ++i) {
            const std::uint32_t index = kHeaderDifatEntries + d * 127 + i;
            WriteLE32(p + 4 * i, index < fat ? fat_start + index : kFreeSect);
        }
        WriteLE32(p + 4 * 127, d + 1 < difat ? difat_start + d + 1 : kEndOfChain);
    }

    CompoundFileHeader h;
    std::copy_n(kCanonicalHeaderPrefix.begin(), 8, h.header_signature.begin());
    h.minor_version = 0x3E;
    h.major_version = 3;
    h.byte_order = 0xFFFE;
    h.sector_shift = 9;
    h.mini_sector_shift = 6;
    h.number_of_fat_sectors = fat;
    h.first_directory_sector_location = dir_start;
    h.mini_stream_cutoff_size = kMiniStreamCutoff;
    h.first_mini_fat_sector_location = minifat_sectors ? minifat_start : kEndOfChain;
    h.number_of_mini_fat_sectors = minifat_sectors;
    h.first_difat_sector_location = difat ? difat_start : kEndOfChain;
    h.number_of_difat_sectors = difat;
    for (std::uint32_t j = 0; j < kHeaderDifatEntries; ++j) h.difat[j] = j < fat ? fat_start + j : kFreeSect;
    h.Serialize(std::span<std::uint8_t, SECTOR_SIZE>(file.data(), SECTOR_SIZE));
    return file;
}

std::vector<StreamSpec> PresentationStreamsHolding(const std::vector<std::uint8_t>& records,
                                                   std::uint32_t seed) {
    std::mt19937 rng(seed);
    auto bytes = [&rng](std::size_t n) {
        std::vector<std::uint8_t> v(n);
        for (auto& b : v) b = static_cast<std::uint8_t>(rng());
        return v;
    };
    // A property set's byte order mark and version 0, then bytes drawn from seed.
    auto property_set = [&bytes](std::size_t n) {
        std::vector<std::uint8_t> v = bytes(n);
        v[0] = 0xFE;
        v[1] = 0xFF;
        v[2] = v[3] = 0;
        return v;
    };
    auto put16 = [](std::vector<std::uint8_t>& v, std::uint16_t x) {
        v.push_back(static_cast<std::uint8_t>(x));
        v.push_back(static_cast<std::uint8_t>(x >> 8));
    };
    auto put32 = [&put16](std::vector<std::uint8_t>& v, std::uint32_t x) {
        put16(v, static_cast<std::uint16_t>(x));
        put16(v, static_cast<std::uint16_t>(x >> 16));
    };
    auto header = [&](std::vector<std::uint8_t>& v, std::uint16_t ver, std::uint16_t type,
                      std::size_t length) {
        put16(v, ver);
        put16(v, type);
        put32(v, static_cast<std::uint32_t>(length));
    };
    // The document container holding `records`, the persist directory naming it as object 1,
    // and the user edit naming both; "Current User" names the edit.
    std::vector<std::uint8_t> doc;
    header(doc, 0xF, kDocumentRecordType, records.size());
    doc.insert(doc.end(), records.begin(), records.end());
    const auto directory = static_cast<std::uint32_t>(doc.size());
    header(doc, 0, 0x1772, 8);
    put32(doc, (1u << 20) | 1u);
    put32(doc, 0);
    const auto edit = static_cast<std::uint32_t>(doc.size());
    header(doc, 0, 0x0FF5, 28);
    put32(doc, 0);              // last slide viewed
    put32(doc, 0x03000000);     // version, minor and major version
    put32(doc, 0);              // no earlier edit
    put32(doc, directory);
    put32(doc, 1);              // the document's persist object
    put32(doc, 1);              // persist id seed
    put32(doc, 0);              // last view, unused

    std::vector<std::uint8_t> user;
    const std::string name = "user" + std::to_string(seed);
    header(user, 0, 0x0FF6, 20 + name.size() + 4);
    put32(user, 0x14);
    put32(user, 0xE391C05F);  // the token of an unencrypted presentation
    put32(user, edit);
    put16(user, static_cast<std::uint16_t>(name.size()));
    put16(user, 0x03F4);
    put32(user, 3);  // major and minor version, unused
    user.insert(user.end(), name.begin(), name.end());
    put32(user, 8);
    return {
        {"PowerPoint Document", std::move(doc)},
        {"Current User", std::move(user)},
        {"\x05"
         "SummaryInformation",
         property_set(400)},
        {"\x05"
         "DocumentSummaryInformation",
         property_set(300)},
    };
}

std::vector<std::uint8_t> Record(std::uint16_t ver_instance, std::uint16_t type,
                                 const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> r(8 + body.size());
    WriteLE16(r.data(), ver_instance);
    WriteLE16(r.data() + 2, type);
    WriteLE32(r.data() + 4, static_cast<std::uint32_t>(body.size()));
    std::copy(body.begin(), body.end(), r.begin() + 8);
    return r;
}

std::vector<StreamSpec> PresentationStreams(std::size_t document_bytes, std::uint32_t seed) {
    // One atom of random bytes in the document container, so that the stream has
    // document_bytes: 8 + 8 before it, the persist directory and the user edit after it.
    constexpr std::size_t kFixed = 8 + 8 + (8 + 8) + (8 + 28);
    std::mt19937 rng(seed ^ 0x5EEDu);
    std::vector<std::uint8_t> filler(document_bytes > kFixed ? document_bytes - kFixed : 0);
    for (auto& b : filler) b = static_cast<std::uint8_t>(rng());
    return PresentationStreamsHolding(Record(0, 0x0FBA, filler), seed);
}

}  // namespace deckwright::testing
