#include "engine/entry_names.h"

#include <algorithm>
#include <bit>
#include <string_view>

#include "engine/little_endian.h"

namespace deckwright {

namespace {

using namespace cfb;

constexpr std::size_t kNameField = 64;
// As many as the FAT's flipped entries are set back from: more, and a name that happens to lie
// near a known one is no longer unlikely enough.
constexpr int kMaxNameFlips = 2;

struct KnownName {
    std::u16string_view name;
    std::uint8_t type;
};

// The names presentations and the objects they embed keep their parts under.
constexpr KnownName kKnownNames[] = {
    {u"PowerPoint Document", kTypeStream},
    {u"Current User", kTypeStream},
    {u"\u0005SummaryInformation", kTypeStream},
    {u"\u0005DocumentSummaryInformation", kTypeStream},
    {u"Pictures", kTypeStream},
    {u"PP40", kTypeStream},
    {u"\u0001CompObj", kTypeStream},
    {u"\u0001Ole", kTypeStream},
    {u"ObjectPool", kTypeStorage},
};

std::array<std::uint8_t, kNameField + 2> Encoded(std::u16string_view name) {
    std::array<std::uint8_t, kNameField + 2> out{};
    for (std::size_t i = 0; i < name.size(); ++i) WriteLE16(out.data() + 2 * i, name[i]);
    WriteLE16(out.data() + kNameField, static_cast<std::uint16_t>(2 * (name.size() + 1)));
    return out;
}

int BitsApart(const std::uint8_t* entry, const std::array<std::uint8_t, kNameField + 2>& name) {
    int bits = 0;
    for (std::size_t i = 0; i < name.size(); ++i)
        bits += std::popcount(static_cast<unsigned>(entry[i] ^ name[i]));
    return bits;
}

// For messages: the name without the control character property sets begin with.
std::string Shown(const std::string& name) {
    std::string out;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out;
}

std::string Utf8(std::u16string_view name) {
    std::array<std::uint8_t, kDirEntrySize> e{};
    WriteEntryName(e, name);
    return ParseDirectoryEntry(e.data()).name;
}

}  // namespace

void WriteEntryName(std::span<std::uint8_t, kDirEntrySize> entry, std::u16string_view name) {
    const auto bytes = Encoded(name);
    std::copy(bytes.begin(), bytes.end(), entry.begin());
}

std::vector<GarbledName> FindGarbledNames(std::span<const std::uint8_t> entries) {
    const std::size_t n = entries.size() / kDirEntrySize;
    std::vector<DirectoryEntry> parsed(n);
    for (std::size_t i = 0; i < n; ++i)
        parsed[i] = ParseDirectoryEntry(entries.data() + i * kDirEntrySize);
    std::vector<GarbledName> out;
    for (const KnownName& known : kKnownNames) {
        const auto wanted = Encoded(known.name);
        const std::string wanted_utf8 = Utf8(known.name);
        bool present = false;
        std::vector<std::pair<std::uint32_t, int>> near;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint8_t* e = entries.data() + std::size_t{i} * kDirEntrySize;
            const DirectoryEntry& d = parsed[i];
            if (d.type != kTypeStream && d.type != kTypeStorage) continue;
            const int bits = BitsApart(e, wanted);
            // Readers look names up ignoring case, but one in another case than presentations
            // write is a flipped bit all the same (such as "PicTures").
            if (bits == 0 ||
                (EqualsIgnoringCase(d.name, wanted_utf8.c_str()) && bits > kMaxNameFlips)) {
                present = true;
                break;
            }
            if (bits <= kMaxNameFlips && d.type == known.type) near.push_back({i, bits});
        }
        if (present || near.size() != 1) continue;
        const std::uint32_t i = near[0].first;
        const std::uint8_t* e = entries.data() + std::size_t{i} * kDirEntrySize;
        // Known names lie far apart, but a name between two is not told.
        bool between = false;
        for (const KnownName& other : kKnownNames) {
            if (other.name != known.name && BitsApart(e, Encoded(other.name)) <= kMaxNameFlips)
                between = true;
        }
        if (between) continue;
        out.push_back({i, parsed[i].name, wanted_utf8, known.name, near[0].second});
    }
    return out;
}

NameMends ComputeNameMends(RandomAccessFile& file, const CompoundFileHeader& header,
                           const CheckScratch& scratch) {
    NameMends out;
    const auto fat = scratch.fat.View();
    if (scratch.fat_sectors.empty()) return out;
    // The directory's chain, as far as the FAT gives it (a loop or a lost link ends it).
    std::vector<std::uint32_t> chain;
    const std::uint32_t s = SectorCount(file.Length());
    for (std::uint32_t k = header.first_directory_sector_location;
         k < s && k < fat.size() && chain.size() < s; k = fat[k])
        chain.push_back(k);
    std::vector<std::uint8_t> entries(chain.size() * SECTOR_SIZE);
    for (std::size_t j = 0; j < chain.size(); ++j)
        ReadSector(file, chain[j], entries.data() + j * SECTOR_SIZE);
    for (const GarbledName& g : FindGarbledNames(entries)) {
        const std::uint32_t sector = chain[g.entry / 4];
        auto it = out.sectors.find(sector);
        if (it == out.sectors.end()) {
            std::array<std::uint8_t, SECTOR_SIZE> b{};
            std::copy_n(entries.begin() + static_cast<std::ptrdiff_t>((g.entry / 4) * SECTOR_SIZE),
                        SECTOR_SIZE, b.begin());
            it = out.sectors.emplace(sector, b).first;
        }
        WriteEntryName(std::span<std::uint8_t, kDirEntrySize>(
                           it->second.data() + (g.entry % 4) * kDirEntrySize, kDirEntrySize),
                       g.name16);
        out.rebuilt.push_back(
            {sector,
             "the directory sector of entries " + std::to_string(g.entry / 4 * 4) + " to " +
                 std::to_string(g.entry / 4 * 4 + 3),
             "entry " + std::to_string(g.entry) + " is named \"" + Shown(g.found) + "\", " +
                 std::to_string(g.bits) + " bit(s) from \"" + Shown(g.name) +
                 "\", which no entry bears: the name is set back"});
    }
    return out;
}

}  // namespace deckwright
