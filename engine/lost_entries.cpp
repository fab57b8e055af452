#include "engine/lost_entries.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <set>

#include "engine/little_endian.h"
#include "engine/presentation_check.h"

namespace deckwright {

namespace {

using namespace cfb;

// "Current User": the atom's record header, then size, token, edit offset, name length, file
// version, major and minor version and two unused bytes; the ANSI name and the release version
// follow.
constexpr std::size_t kRecordHeader = 8;
constexpr std::size_t kAtomFixed = 20;
constexpr std::size_t kEditOffsetAt = kRecordHeader + 8;
constexpr std::size_t kNameLengthAt = kRecordHeader + 12;
constexpr std::uint16_t kUserEditAtom = 0x0FF5;

// A property set: byte order, version, system, class id, section count (at 24), then per
// section its format id and offset; each section begins with its size.
constexpr std::size_t kSectionCountAt = 24;
constexpr std::size_t kSectionListAt = 28;
constexpr std::size_t kSectionListEntry = 20;
constexpr std::uint32_t kMaxSections = 2;
constexpr std::array<std::uint8_t, 16> kSummaryFormat = {
    0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10, 0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
constexpr std::array<std::uint8_t, 16> kDocumentSummaryFormat = {
    0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};

// "\x01CompObj": a 28-byte header, then length-prefixed strings; "\x01Ole": version, flags, link
// option, a reserved field, and the reserved moniker's size.
constexpr const char* kOle = "\001Ole";
constexpr std::size_t kCompObjHeader = 28;
constexpr std::uint32_t kUnicodeMarker = 0x71B239F4;
constexpr std::uint32_t kOleVersion = 0x02000001;
constexpr std::size_t kOleFixed = 20;

// "Pictures": one record after another, each a picture.
constexpr const char* kPictures = "Pictures";
constexpr std::uint16_t kFirstPictureType = 0xF018;
constexpr std::uint16_t kLastPictureType = 0xF117;

// The streams a presentation keeps at the top of its file: only these are set back there.
constexpr std::array<const char*, 7> kTopStreams = {kDocumentStream,
                                                    kCurrentUserStream,
                                                    kSummaryStream,
                                                    kDocumentSummaryStream,
                                                    kPictures,
                                                    kCompObjStream,
                                                    kOle};
constexpr const char* kRootName = "Root Entry";
constexpr std::size_t kMaxDirectorySectors = 1024;
constexpr std::size_t kNamingBytes = kMiniStreamCutoff;  // what is read to name a chain

bool Regular(std::uint32_t v) {
    return v <= kMaxRegularSect;
}

std::uint32_t Units(std::uint64_t bytes, std::uint32_t unit) {
    return static_cast<std::uint32_t>((bytes + unit - 1) / unit);
}

// A length-prefixed string of `unit`-byte characters at `*at`: passed over when it lies inside.
bool PassString(std::span<const std::uint8_t> b, std::size_t* at, std::size_t unit) {
    if (*at + 4 > b.size()) return false;
    const std::uint64_t n = ReadLE32(b.data() + *at);
    if (n * unit > b.size() - *at - 4) return false;
    *at += 4 + static_cast<std::size_t>(n * unit);
    return true;
}

// A clipboard format: none (0), a standard one (a marker and its number), or a string.
bool PassClipboardFormat(std::span<const std::uint8_t> b, std::size_t* at, std::size_t unit) {
    if (*at + 4 > b.size()) return false;
    const std::uint32_t marker = ReadLE32(b.data() + *at);
    if (marker == 0) {
        *at += 4;
        return true;
    }
    if (marker == 0xFFFFFFFF || marker == 0xFFFFFFFE) {
        *at += 8;
        return *at <= b.size();
    }
    return PassString(b, at, unit);
}

std::optional<std::uint32_t> CompObjSize(std::span<const std::uint8_t> b) {
    std::size_t at = kCompObjHeader;
    if (!PassString(b, &at, 1) || !PassClipboardFormat(b, &at, 1) || !PassString(b, &at, 1))
        return std::nullopt;
    // The Unicode part is optional: it is there when its marker is, and then whole.
    if (at + 4 <= b.size() && ReadLE32(b.data() + at) == kUnicodeMarker) {
        at += 4;
        if (!PassString(b, &at, 2) || !PassClipboardFormat(b, &at, 2) || !PassString(b, &at, 2))
            return std::nullopt;
    }
    // What follows the stream's end in its last sector is zeros; anything else is more of it.
    if (std::any_of(b.begin() + static_cast<std::ptrdiff_t>(std::min(at, b.size())),
                    b.begin() + static_cast<std::ptrdiff_t>(std::min(at + 4, b.size())),
                    [](std::uint8_t x) { return x != 0; }))
        return std::nullopt;
    return static_cast<std::uint32_t>(at);
}

std::optional<std::uint32_t> OleSize(std::span<const std::uint8_t> b) {
    // An embedded object's (not a link's), with no reserved moniker: nothing more follows.
    if (b.size() < kOleFixed || ReadLE32(b.data()) != kOleVersion ||
        (ReadLE32(b.data() + 4) & 1) != 0 || ReadLE32(b.data() + 16) != 0)
        return std::nullopt;
    return static_cast<std::uint32_t>(kOleFixed);
}

std::optional<std::uint32_t> CurrentUserSize(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kRecordHeader + kAtomFixed) return std::nullopt;
    const std::uint32_t record = ReadLE32(bytes.data() + 4);
    const std::uint16_t name_length = ReadLE16(bytes.data() + kNameLengthAt);
    // The atom holds the ANSI name; a length it cannot hold is not this atom's.
    if (record < kAtomFixed + name_length || record > kMiniStreamCutoff) return std::nullopt;
    const std::size_t atom = kRecordHeader + record;
    const std::size_t with_name = atom + 2 * std::size_t{name_length};
    if (bytes.size() < atom) return std::nullopt;
    // A chain too short for the name again holds the atom alone.
    if (bytes.size() < with_name) return static_cast<std::uint32_t>(atom);
    const std::uint8_t* ansi = bytes.data() + kRecordHeader + kAtomFixed;
    const std::uint8_t* after = bytes.data() + atom;
    const bool zeros = std::all_of(after, after + 2 * std::size_t{name_length},
                                   [](std::uint8_t b) { return b == 0; });
    if (zeros) return static_cast<std::uint32_t>(atom);
    // The same name in UTF-16: ASCII letters as they are, others at least not blank.
    for (std::size_t i = 0; i < name_length; ++i) {
        const std::uint16_t unit = ReadLE16(after + 2 * i);
        if (ansi[i] < 0x80 ? unit != ansi[i] : unit == 0) return std::nullopt;
    }
    return static_cast<std::uint32_t>(with_name);
}

std::optional<std::uint32_t> PropertySetEnd(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kSectionListAt) return std::nullopt;
    const std::uint32_t sections = ReadLE32(bytes.data() + kSectionCountAt);
    if (sections == 0 || sections > kMaxSections ||
        bytes.size() < kSectionListAt + sections * kSectionListEntry)
        return std::nullopt;
    std::uint64_t end = kSectionListAt + sections * kSectionListEntry;
    for (std::uint32_t s = 0; s < sections; ++s) {
        const std::uint32_t at =
            ReadLE32(bytes.data() + kSectionListAt + s * kSectionListEntry + 16);
        if (at % 4 != 0 || at < end || std::uint64_t{at} + 4 > bytes.size()) return std::nullopt;
        const std::uint32_t size = ReadLE32(bytes.data() + at);
        if (size % 4 != 0 || size < 8) return std::nullopt;
        end = std::uint64_t{at} + size;
    }
    if (end > UINT32_MAX) return std::nullopt;
    return static_cast<std::uint32_t>(end);
}

bool IsPictureRecord(const std::uint8_t* header) {
    const std::uint16_t type = ReadLE16(header + 2);
    return type >= kFirstPictureType && type <= kLastPictureType;
}

// Where picture records end, walked header by header (`header` reads the 8 bytes at an offset,
// false past `room`): empty when none is there or the last runs past the room.
std::optional<std::uint64_t> PicturesEnd(
    std::uint64_t room, const std::function<bool(std::uint64_t, std::uint8_t*)>& header) {
    std::uint64_t at = 0;
    std::array<std::uint8_t, 8> h{};
    while (at + 8 <= room && header(at, h.data()) && IsPictureRecord(h.data()))
        at += 8 + std::uint64_t{ReadLE32(h.data() + 4)};
    if (at == 0 || at > room) return std::nullopt;
    return at;
}

// An entry's place in a tree laid out anew.
struct TreeLinks {
    std::uint32_t left = kNoStream;
    std::uint32_t right = kNoStream;
    std::uint8_t colour = 1;
};

// A balanced tree over `ids`, given in directory order: the middle one on top, black; below it
// red, then black again (readers go by the links and the order, not the colours). Returns the
// top.
std::uint32_t LayOutTree(const std::vector<std::uint32_t>& ids, std::map<std::uint32_t, TreeLinks>* out) {
    std::function<std::uint32_t(std::size_t, std::size_t, int)> place = [&](std::size_t lo, std::size_t hi,
                                                                            int depth) -> std::uint32_t {
        if (lo >= hi) return kNoStream;
        const std::size_t mid = lo + (hi - lo) / 2;
        TreeLinks links;
        links.left = place(lo, mid, depth + 1);
        links.right = place(mid + 1, hi, depth + 1);
        links.colour = depth % 2 == 0 ? 1 : 0;
        (*out)[ids[mid]] = links;
        return ids[mid];
    };
    return place(0, ids.size(), 0);
}

bool NameSortsBefore(const NewEntry& a, const NewEntry& b) {
    return CompareEntryNames(a.name, static_cast<std::uint32_t>(a.name.size()), b.name,
                             static_cast<std::uint32_t>(b.name.size())) < 0;
}

// One chain's units (sectors, or mini sectors) in order, and how to read bytes of it.
struct ChainOf {
    std::vector<std::uint32_t> units;
    bool mini = false;
};

class Finder {
  public:
    explicit Finder(const TablesRead& t) : t_(t) {}

    std::optional<LostEntries> Find() {
        if (!LoadFat() || !LoadDirectory() || !LoadMiniFat()) return std::nullopt;
        const bool root_lost = lost_[0];
        if (!root_lost && entries_[0].type != kTypeRoot) return std::nullopt;
        if (root_lost ? !FlatTop() : !TreeLinksIn()) return std::nullopt;
        ClaimTables();
        std::vector<ChainOf> loose;
        if (!Loose(false, &loose)) return std::nullopt;
        if (!FindMiniStream(&loose) || !Loose(true, &loose) || loose.size() > Room())
            return std::nullopt;
        std::vector<NewEntry> found;
        if (!NameAll(loose, &found)) return std::nullopt;
        if (!Has(kDocumentStream) || !Has(kCurrentUserStream)) return std::nullopt;
        // An empty stream leaves no chain. The one presentations have empty is "Pictures", which
        // the writers that keep "\x01CompObj" at the top write even without pictures.
        if (Has(kCompObjStream) && !Has(kPictures)) return std::nullopt;
        auto out = root_lost ? TreeAnew(found) : UnderTheLinks(found);
        if (out) {
            for (std::size_t i = 0; i < chain_.size(); ++i)
                out->cut |= lost_[i] && chain_[i] >= t_.sectors;
        }
        return out;
    }

  private:
    std::array<std::uint8_t, SECTOR_SIZE> Read(std::uint32_t k) const {
        std::array<std::uint8_t, SECTOR_SIZE> b{};
        ReadSector(t_.file, k, b.data());
        return b;
    }
    bool InFile(std::uint32_t k) const { return Regular(k) && k < t_.sectors && k < fat_.size(); }
    // The mini FAT, or the FAT.
    std::span<const std::uint32_t> TableOf(bool mini) const {
        return mini ? std::span<const std::uint32_t>(mini_fat_)
                    : std::span<const std::uint32_t>(fat_);
    }

    // The directory's chain as the FAT gives it, its entries, and the sectors lost from it: one,
    // or any number with the root entry's among them.
    bool LoadDirectory() {
        std::set<std::uint32_t> seen;
        for (std::uint32_t k = t_.header.first_directory_sector_location;
             Regular(k) && k < fat_.size() && chain_.size() < kMaxDirectorySectors &&
             seen.insert(k).second;
             k = fat_[k])
            chain_.push_back(k);
        for (std::size_t i = 0; i < chain_.size(); ++i) {
            raw_.push_back(Read(chain_[i]));
            const bool lost = chain_[i] >= t_.sectors || Uniform(raw_.back().data());
            lost_.push_back(lost);
            if (lost) raw_.back().fill(0);
            for (std::uint32_t e = 0; e < 4; ++e)
                entries_.push_back(ParseDirectoryEntry(raw_.back().data() + e * kDirEntrySize));
        }
        const auto count = std::count(lost_.begin(), lost_.end(), true);
        return count == 1 || (count > 1 && lost_[0]);
    }
    bool Inside(std::uint32_t id) const {
        return id != kNoStream && id / 4 < lost_.size() && lost_[id / 4];
    }
    bool InUse(std::uint32_t id) const {
        return !Inside(id) &&
               (entries_[id].type == kTypeStream || entries_[id].type == kTypeStorage);
    }
    // The entries the lost sectors held, the root entry aside.
    std::size_t Room() const {
        return 4 * static_cast<std::size_t>(std::count(lost_.begin(), lost_.end(), true)) -
               (lost_[0] ? 1 : 0);
    }
    std::size_t FirstLost() const {
        return static_cast<std::size_t>(std::find(lost_.begin(), lost_.end(), true) -
                                        lost_.begin());
    }
    // The FAT as the file holds it, when it is sure: every FAT sector in the file and not wiped
    // (one that describes only sectors past the file's end is all free, as it should be). Not
    // the FAT as the repair would mend it: a link into a cut tail is no flipped bit here.
    bool LoadFat() {
        for (std::size_t j = 0; j < t_.fat_sectors.size(); ++j) {
            const std::uint32_t k = t_.fat_sectors[j];
            if (k >= t_.sectors) return false;
            const auto b = Read(k);
            const bool past_the_end = std::uint64_t{j} * kEntriesPerSector >= t_.sectors;
            if (Uniform(b.data()) && !(past_the_end && ReadLE32(b.data()) == kFreeSect))
                return false;
            for (std::uint32_t e = 0; e < kEntriesPerSector; ++e)
                fat_.push_back(ReadLE32(b.data() + 4 * e));
        }
        return true;
    }

    bool LoadMiniFat() {
        std::set<std::uint32_t> seen;
        std::uint32_t k = t_.header.first_mini_fat_sector_location;
        for (std::uint32_t b = 0; b < t_.header.number_of_mini_fat_sectors; ++b, k = fat_[k]) {
            if (!InFile(k) || !seen.insert(k).second) return false;
            const auto bytes = Read(k);
            if (Uniform(bytes.data())) return false;
            mini_fat_chain_.push_back(k);
            for (std::uint32_t e = 0; e < kEntriesPerSector; ++e)
                mini_fat_.push_back(ReadLE32(bytes.data() + 4 * e));
        }
        return true;
    }

    // With the root entry lost, the tree is laid out anew: only over streams a presentation
    // keeps at its top, each once, so that no entry of a lost storage is taken for one there.
    bool FlatTop() {
        for (std::uint32_t id = 0; id < entries_.size(); ++id) {
            if (!InUse(id)) continue;
            const DirectoryEntry& e = entries_[id];
            if (e.type != kTypeStream || Has(e.name.c_str())) return false;
            if (std::none_of(kTopStreams.begin(), kTopStreams.end(),
                             [&e](const char* n) { return EqualsIgnoringCase(e.name, n); }))
                return false;
            names_.push_back(e.name);
            kept_.push_back(id);
        }
        return true;
    }

    // Under a surviving root, the links into the lost sector from its tree, each with the names
    // its subtree sorts between; every entry elsewhere must be reached.
    bool TreeLinksIn() {
        std::vector<bool> seen(entries_.size(), false);
        if (!Links(entries_[0].child, nullptr, nullptr, &seen) || links_.empty()) return false;
        for (std::uint32_t id = 1; id < entries_.size(); ++id) {
            if (!InUse(id)) continue;
            if (!seen[id]) return false;
            names_.push_back(entries_[id].name);
            kept_.push_back(id);
        }
        return true;
    }

    struct LinkIn {
        std::uint32_t to = kNoStream;
        const DirectoryEntry* after = nullptr;  // none: no bound on that side
        const DirectoryEntry* before = nullptr;
        bool Holds(const std::string& name) const {
            const auto units = static_cast<std::uint32_t>(name.size());
            return (!after || CompareEntryNames(name, units, after->name, after->name_units) > 0) &&
                   (!before ||
                    CompareEntryNames(name, units, before->name, before->name_units) < 0);
        }
    };

    // Walks the root's tree from `id`, whose names sort between `after` and `before`. False
    // when a storage other than the root links into the lost sector: names there cannot be told.
    bool Links(std::uint32_t id, const DirectoryEntry* after, const DirectoryEntry* before,
               std::vector<bool>* seen) {
        if (id == kNoStream) return true;
        if (Inside(id)) {
            links_.push_back({id, after, before});
            return true;
        }
        if (id >= entries_.size() || (*seen)[id]) return true;
        (*seen)[id] = true;
        const DirectoryEntry& e = entries_[id];
        if (e.type != kTypeStream && e.type != kTypeStorage) return true;
        if (e.type == kTypeStorage && !MarkStorage(e.child, seen)) return false;
        return Links(e.left, after, &e, seen) && Links(e.right, &e, before, seen);
    }

    bool MarkStorage(std::uint32_t id, std::vector<bool>* seen) const {
        std::vector<std::uint32_t> stack{id};
        while (!stack.empty()) {
            const std::uint32_t at = stack.back();
            stack.pop_back();
            if (at == kNoStream) continue;
            if (Inside(at)) return false;
            if (at >= entries_.size() || (*seen)[at]) continue;
            (*seen)[at] = true;
            const DirectoryEntry& e = entries_[at];
            if (e.type != kTypeStream && e.type != kTypeStorage) continue;
            stack.push_back(e.left);
            stack.push_back(e.right);
            if (e.type == kTypeStorage) stack.push_back(e.child);
        }
        return true;
    }

    bool Has(const char* name) const {
        return std::any_of(names_.begin(), names_.end(),
                           [name](const std::string& n) { return EqualsIgnoringCase(n, name); });
    }

    // Marks `count` units of the chain from `start` as held by what the directory names.
    void Claim(std::uint32_t start, std::uint64_t count, bool mini) {
        auto& marks = mini ? mini_claimed_ : claimed_;
        const std::span<const std::uint32_t> table = TableOf(mini);
        for (std::uint32_t c = start;
             count > 0 && Regular(c) && c < marks.size() && c < table.size() && !marks[c];
             c = table[c], --count)
            marks[c] = true;
    }

    void ClaimTables() {
        claimed_.assign(fat_.size(), false);
        for (const std::uint32_t k : t_.fat_sectors) Claim(k, 1, false);
        for (const std::uint32_t k : t_.difat_sectors) Claim(k, 1, false);
        for (const std::uint32_t k : chain_) Claim(k, 1, false);
        for (const std::uint32_t k : mini_fat_chain_) Claim(k, 1, false);
        for (const std::uint32_t id : kept_) {
            const DirectoryEntry& e = entries_[id];
            if (e.type == kTypeStream && e.size >= kMiniStreamCutoff)
                Claim(e.start, Units(e.size, SECTOR_SIZE), false);
        }
        if (!lost_[0]) {
            mini_size_ = entries_[0].size;
            mini_start_ = entries_[0].start;
            Claim(mini_start_, Units(mini_size_, SECTOR_SIZE), false);
        } else {
            // The root entry sized the mini stream to its last mini sector in use.
            std::uint64_t last = 0;
            for (std::size_t m = 0; m < mini_fat_.size(); ++m) {
                if (mini_fat_[m] != kFreeSect) last = m + 1;
            }
            mini_size_ = last * kMiniSectorSize;
        }
    }

    // The chains the FAT (or the mini FAT) gives out that nothing claims, added to `out`. False
    // when they do not all run from a start to an end.
    bool Loose(bool mini, std::vector<ChainOf>* out) {
        const std::vector<bool>& marks = mini ? mini_claimed_ : claimed_;
        const std::span<const std::uint32_t> table = TableOf(mini);
        const std::size_t limit =
            mini ? mini_.size() : std::min<std::size_t>(marks.size(), table.size());
        auto given = [&](std::uint32_t c) {
            return !marks[c] && table[c] != kFreeSect && table[c] != kFatSect &&
                   table[c] != kDifSect;
        };
        std::vector<bool> successor(limit, false);
        std::size_t loose = 0;
        for (std::uint32_t c = 0; c < limit; ++c) {
            if (!given(c)) continue;
            ++loose;
            if (Regular(table[c]) && table[c] < limit) successor[table[c]] = true;
        }
        // Mini sectors past the mini stream's end must be free.
        if (mini) {
            for (std::size_t c = limit; c < table.size(); ++c) {
                if (table[c] != kFreeSect) return false;
            }
        }
        std::size_t covered = 0;
        for (std::uint32_t c = 0; c < limit; ++c) {
            if (!given(c) || successor[c]) continue;
            ChainOf chain{{}, mini};
            for (std::uint32_t x = c;
                 Regular(x) && x < limit && given(x) && chain.units.size() <= loose; x = table[x])
                chain.units.push_back(x);
            covered += chain.units.size();
            out->push_back(std::move(chain));
        }
        return covered == loose;
    }

    // With the root entry lost, the mini stream is the one loose chain of its length in which
    // the small streams that survive begin as their names promise.
    bool FindMiniStream(std::vector<ChainOf>* loose) {
        if (!lost_[0] || mini_size_ == 0) return LoadMini();
        std::optional<std::size_t> only;
        for (std::size_t i = 0; i < loose->size(); ++i) {
            if ((*loose)[i].units.size() != Units(mini_size_, SECTOR_SIZE)) continue;
            mini_start_ = (*loose)[i].units[0];
            if (!LoadMini() || !SmallStreamsBeginRight()) continue;
            if (only) return false;
            only = i;
        }
        if (!only) return false;
        mini_start_ = (*loose)[*only].units[0];
        loose->erase(loose->begin() + static_cast<std::ptrdiff_t>(*only));
        return LoadMini();
    }

    bool SmallStreamsBeginRight() const {
        for (const std::uint32_t id : kept_) {
            const DirectoryEntry& e = entries_[id];
            if (e.size == 0 || e.size >= kMiniStreamCutoff) continue;
            if (!Regular(e.start) || e.start >= mini_.size()) return false;
            const auto promise = BeginsAsItsNamePromises(e.name, mini_[e.start]);
            if (promise == false) return false;
        }
        return true;
    }

    // The mini stream's sectors, and the small streams' claims on them.
    bool LoadMini() {
        mini_.clear();
        const std::uint64_t count = mini_size_ / kMiniSectorSize;
        // Each small stream is under the cutoff: a mini stream longer than the directory's
        // entries could fill is none (and is not held in memory).
        if (mini_size_ > std::uint64_t{kMiniStreamCutoff} * entries_.size()) return false;
        std::set<std::uint32_t> seen;
        for (std::uint32_t k = mini_start_; mini_.size() < count; k = fat_[k]) {
            if (!InFile(k) || !seen.insert(k).second) return false;
            const auto b = Read(k);
            for (std::uint32_t m = 0; m < SECTOR_SIZE / kMiniSectorSize && mini_.size() < count;
                 ++m) {
                mini_.emplace_back();
                std::copy_n(b.begin() + m * kMiniSectorSize, kMiniSectorSize, mini_.back().begin());
            }
        }
        if (mini_fat_.size() < mini_.size()) return false;
        mini_claimed_.assign(mini_.size(), false);
        for (const std::uint32_t id : kept_) {
            const DirectoryEntry& e = entries_[id];
            if (e.type == kTypeStream && e.size > 0 && e.size < kMiniStreamCutoff)
                Claim(e.start, Units(e.size, kMiniSectorSize), true);
        }
        return true;
    }

    std::vector<std::uint8_t> Bytes(const ChainOf& c, std::size_t most) const {
        std::vector<std::uint8_t> out;
        for (const std::uint32_t u : c.units) {
            if (out.size() >= most) break;
            if (c.mini) {
                out.insert(out.end(), mini_[u].begin(), mini_[u].end());
            } else {
                const auto b = Read(u);
                out.insert(out.end(), b.begin(), b.end());
            }
        }
        return out;
    }

    // The 8 bytes at `at` of a chain, when they lie inside it.
    bool HeaderAt(const ChainOf& c, std::uint64_t at, std::uint8_t* out) const {
        const std::uint32_t unit = c.mini ? kMiniSectorSize : SECTOR_SIZE;
        std::optional<std::uint64_t> held;  // the unit `bytes` holds
        std::array<std::uint8_t, SECTOR_SIZE> bytes{};
        for (std::size_t i = 0; i < 8; ++i) {
            const std::uint64_t p = at + i;
            if (p / unit >= c.units.size()) return false;
            if (held != p / unit) {
                held = p / unit;
                const std::uint32_t u = c.units[static_cast<std::size_t>(*held)];
                if (c.mini)
                    std::copy(mini_[u].begin(), mini_[u].end(), bytes.begin());
                else
                    bytes = Read(u);
            }
            out[i] = bytes[p % unit];
        }
        return true;
    }

    // Names every loose chain by its bytes; the one none names is the presentation's, when its
    // newest user edit lies in it and ends it.
    bool NameAll(const std::vector<ChainOf>& loose, std::vector<NewEntry>* found) {
        std::optional<std::uint32_t> newest_edit = NewestEditKept();
        std::vector<const ChainOf*> unnamed;
        for (const ChainOf& c : loose) {
            const auto bytes = Bytes(c, kNamingBytes);
            const auto name = NameByBeginning(bytes);
            if (!name) {
                unnamed.push_back(&c);
                continue;
            }
            std::optional<std::uint64_t> size;
            if (*name == kPictures) {
                const std::uint32_t unit = c.mini ? kMiniSectorSize : SECTOR_SIZE;
                size = PicturesEnd(
                    std::uint64_t{unit} * c.units.size(),
                    [&](std::uint64_t at, std::uint8_t* h) { return HeaderAt(c, at, h); });
            } else if (const auto s = SizeByBytes(*name, bytes)) {
                size = *s;
            }
            // Small streams a writer pads to the cutoff, to keep them out of the mini stream.
            if (size && !c.mini && *size < kMiniStreamCutoff) size = kMiniStreamCutoff;
            const std::uint32_t unit = c.mini ? kMiniSectorSize : SECTOR_SIZE;
            if (!size || *size > UINT32_MAX || (c.mini && *size >= kMiniStreamCutoff) ||
                Units(*size, unit) != c.units.size() || !Take(*name))
                return false;
            if (*name == kCurrentUserStream) newest_edit = ReadLE32(bytes.data() + kEditOffsetAt);
            found->push_back(
                {*name, 1, kNoStream, kNoStream, c.units[0], static_cast<std::uint32_t>(*size)});
        }
        for (const ChainOf* c : unnamed) {
            std::array<std::uint8_t, 8> h{};
            if (c->mini || !newest_edit || !HeaderAt(*c, *newest_edit, h.data()) ||
                ReadLE16(h.data() + 2) != kUserEditAtom)
                return false;
            const std::uint64_t size = std::uint64_t{*newest_edit} + 8 + ReadLE32(h.data() + 4);
            if (size > UINT32_MAX || Units(size, SECTOR_SIZE) != c->units.size() ||
                !Take(kDocumentStream))
                return false;
            found->push_back({kDocumentStream, 1, kNoStream, kNoStream, c->units[0],
                              static_cast<std::uint32_t>(size)});
        }
        return !found->empty();
    }

    // A name set back must be one no other entry bears.
    bool Take(const std::string& name) {
        if (Has(name.c_str())) return false;
        names_.push_back(name);
        return true;
    }

    std::optional<std::uint32_t> NewestEditKept() const {
        for (const std::uint32_t id : kept_) {
            const DirectoryEntry& e = entries_[id];
            if (!EqualsIgnoringCase(e.name, kCurrentUserStream) || e.size < kEditOffsetAt + 4)
                continue;
            if (e.size >= kMiniStreamCutoff && InFile(e.start))
                return ReadLE32(Read(e.start).data() + kEditOffsetAt);
            if (e.size < kMiniStreamCutoff && Regular(e.start) && e.start < mini_.size())
                return ReadLE32(mini_[e.start].data() + kEditOffsetAt);
        }
        return std::nullopt;
    }

    // Why lost sector `i` is written anew, with the entries it is given.
    std::string Why(std::size_t i, const std::vector<const NewEntry*>& given) const {
        std::string list;
        for (const NewEntry* e : given) list += (list.empty() ? "\"" : ", \"") + e->name + "\"";
        return std::string(chain_[i] >= t_.sectors ? "it was cut off with the end of the file"
                                                   : "it was wiped") +
               ": " + (i == 0 ? "the root entry is written anew; " : "") +
               (given.empty() ? std::string("no entry goes back into it")
                              : "the entries of " + list +
                                    " are set back from the streams' own bytes, which tell their "
                                    "names and sizes") +
               "; nothing else the tables give out is left unnamed";
    }
    std::string What(std::size_t i) const {
        return "the directory sector " + std::to_string(chain_[i]) + " (entries " +
               std::to_string(4 * i) + " to " + std::to_string(4 * i + 3) + ")";
    }

    // Under a surviving root: each entry set back goes under the one link whose names it sorts
    // between; the rest of the directory is as it was.
    std::optional<LostEntries> UnderTheLinks(const std::vector<NewEntry>& found) const {
        std::vector<SubtreeTop> tops;
        for (const LinkIn& l : links_) tops.push_back({l.to, {}});
        for (const NewEntry& e : found) {
            std::size_t fits = 0;
            for (std::size_t j = 0; j < links_.size(); ++j) {
                if (!links_[j].Holds(e.name)) continue;
                ++fits;
                tops[j].entries.push_back(e);
            }
            if (fits != 1) return std::nullopt;
        }
        const std::size_t lost = FirstLost();
        const auto slots = SubtreesInSector(tops, static_cast<std::uint32_t>(4 * lost));
        if (!slots) return std::nullopt;
        LostEntries out;
        out.sectors[chain_[lost]] = SectorOf(*slots);
        std::vector<const NewEntry*> given;
        for (const NewEntry& e : found) given.push_back(&e);
        out.rebuilt.push_back({chain_[lost], What(lost), Why(lost, given)});
        return out;
    }

    // With the root entry lost: the root entry anew, the entries set back beside it, and the
    // whole tree laid out again over them and the entries that survive (only their links and
    // colours change).
    std::optional<LostEntries> TreeAnew(const std::vector<NewEntry>& found) const {
        // The entries set back take the lost sectors' slots in turn, after the root's.
        std::vector<std::uint32_t> slot_of;
        for (std::uint32_t id = 1; id < entries_.size() && slot_of.size() < found.size(); ++id) {
            if (Inside(id)) slot_of.push_back(id);
        }
        if (slot_of.size() < found.size()) return std::nullopt;
        struct Top {
            std::uint32_t id;
            std::string name;
            std::uint32_t units;
        };
        std::vector<Top> top;
        for (const std::uint32_t id : kept_)
            top.push_back({id, entries_[id].name, entries_[id].name_units});
        for (std::size_t i = 0; i < found.size(); ++i)
            top.push_back(
                {slot_of[i], found[i].name, static_cast<std::uint32_t>(found[i].name.size())});
        std::sort(top.begin(), top.end(), [](const Top& a, const Top& b) {
            return CompareEntryNames(a.name, a.units, b.name, b.units) < 0;
        });
        std::vector<std::uint32_t> ids;
        for (const Top& t : top) ids.push_back(t.id);
        std::map<std::uint32_t, TreeLinks> links;
        const std::uint32_t child = LayOutTree(ids, &links);

        LostEntries out;
        for (std::size_t i = 0; i < chain_.size(); ++i) {
            std::array<std::uint8_t, SECTOR_SIZE> bytes;
            if (lost_[i]) {
                std::array<std::optional<NewEntry>, 4> slots;
                std::vector<const NewEntry*> given;
                for (std::size_t j = 0; j < found.size(); ++j) {
                    if (slot_of[j] / 4 != i) continue;
                    given.push_back(&found[j]);
                    NewEntry e = found[j];
                    const TreeLinks& l = links.at(slot_of[j]);
                    e.left = l.left;
                    e.right = l.right;
                    e.colour = l.colour;
                    slots[slot_of[j] % 4] = e;
                }
                if (i == 0)
                    slots[0] = NewEntry{kRootName,
                                        1,
                                        kNoStream,
                                        kNoStream,
                                        mini_size_ > 0 ? mini_start_ : kEndOfChain,
                                        static_cast<std::uint32_t>(mini_size_)};
                bytes = SectorOf(slots);
                if (i == 0) {
                    bytes[66] = kTypeRoot;
                    WriteLE32(bytes.data() + 76, child);
                }
                out.rebuilt.push_back({chain_[i], What(i), Why(i, given)});
            } else {
                bytes = raw_[i];
                bool changed = false;
                for (std::uint32_t e = 0; e < 4; ++e) {
                    const auto it = links.find(static_cast<std::uint32_t>(4 * i + e));
                    if (it == links.end()) continue;
                    std::uint8_t* p = bytes.data() + e * kDirEntrySize;
                    const TreeLinks& l = it->second;
                    changed |= ReadLE32(p + 68) != l.left || ReadLE32(p + 72) != l.right || p[67] != l.colour;
                    WriteLE32(p + 68, l.left);
                    WriteLE32(p + 72, l.right);
                    p[67] = l.colour;
                }
                if (!changed) continue;
                out.rebuilt.push_back({chain_[i], What(i),
                                       "its entries hang anew in the directory's tree, laid out "
                                       "again over the entries set back"});
            }
            out.sectors[chain_[i]] = bytes;
        }
        return out;
    }

    static std::array<std::uint8_t, SECTOR_SIZE> SectorOf(
        const std::array<std::optional<NewEntry>, 4>& slots) {
        std::array<std::uint8_t, SECTOR_SIZE> out{};
        for (std::uint32_t e = 0; e < 4; ++e) {
            std::uint8_t* entry = out.data() + e * kDirEntrySize;
            // An unused entry is zeros, but for links that name no entry.
            WriteLE32(entry + 68, slots[e] ? slots[e]->left : kNoStream);
            WriteLE32(entry + 72, slots[e] ? slots[e]->right : kNoStream);
            WriteLE32(entry + 76, kNoStream);
            if (!slots[e]) continue;
            const NewEntry& s = *slots[e];
            const std::size_t units = std::min<std::size_t>(s.name.size(), 31);
            for (std::size_t i = 0; i < units; ++i)
                entry[2 * i] = static_cast<std::uint8_t>(s.name[i]);
            WriteLE16(entry + 64, static_cast<std::uint16_t>(2 * (units + 1)));
            entry[66] = kTypeStream;
            entry[67] = s.colour;
            WriteLE32(entry + 116, s.start);
            WriteLE32(entry + 120, s.size);
        }
        return out;
    }

    const TablesRead& t_;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> chain_;  // the directory's sectors
    std::vector<std::array<std::uint8_t, SECTOR_SIZE>> raw_;
    std::vector<DirectoryEntry> entries_;
    std::vector<bool> lost_;           // by place in the chain
    std::vector<std::uint32_t> kept_;  // the entries in use outside it
    std::vector<std::string> names_;   // theirs, and those set back
    std::vector<LinkIn> links_;
    std::vector<std::uint32_t> mini_fat_chain_;
    std::vector<std::uint32_t> mini_fat_;
    std::uint32_t mini_start_ = kEndOfChain;
    std::uint64_t mini_size_ = 0;
    std::vector<std::array<std::uint8_t, kMiniSectorSize>> mini_;
    std::vector<bool> claimed_, mini_claimed_;
};

}  // namespace

std::optional<LostEntries> FindLostEntries(const TablesRead& tables) {
    return Finder(tables).Find();
}

std::optional<std::string> NameByBeginning(std::span<const std::uint8_t> first) {
    if (first.size() < kSectionListAt + 16) return std::nullopt;
    if (BeginsAsItsNamePromises(kCurrentUserStream, first) == true)
        return std::string(kCurrentUserStream);
    if (BeginsAsItsNamePromises(kCompObjStream, first) == true) return std::string(kCompObjStream);
    if (ReadLE32(first.data()) == kOleVersion) return std::string(kOle);
    if (IsPictureRecord(first.data())) return std::string(kPictures);
    if (BeginsAsItsNamePromises(kSummaryStream, first) != true) return std::nullopt;
    const auto format = first.subspan(kSectionListAt, 16);
    if (std::equal(format.begin(), format.end(), kSummaryFormat.begin()))
        return std::string(kSummaryStream);
    if (std::equal(format.begin(), format.end(), kDocumentSummaryFormat.begin()))
        return std::string(kDocumentSummaryStream);
    return std::nullopt;
}

std::optional<std::uint32_t> SizeByBytes(std::string_view name,
                                         std::span<const std::uint8_t> bytes) {
    if (name == kCurrentUserStream) return CurrentUserSize(bytes);
    if (name == kSummaryStream || name == kDocumentSummaryStream) return PropertySetEnd(bytes);
    if (name == kCompObjStream) return CompObjSize(bytes);
    if (name == kOle) return OleSize(bytes);
    if (name == kPictures) {
        const auto end = PicturesEnd(bytes.size(), [&](std::uint64_t at, std::uint8_t* h) {
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 8, h);
            return true;
        });
        if (!end) return std::nullopt;
        return static_cast<std::uint32_t>(*end);
    }
    return std::nullopt;
}

int CompareEntryNames(std::string_view a, std::uint32_t a_units, std::string_view b,
                      std::uint32_t b_units) {
    if (a_units != b_units) return a_units < b_units ? -1 : 1;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const int x = std::toupper(static_cast<unsigned char>(a[i]));
        const int y = std::toupper(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::optional<std::array<std::optional<NewEntry>, 4>> SubtreesInSector(
    const std::vector<SubtreeTop>& subtrees, std::uint32_t first) {
    std::array<bool, 4> taken{};
    std::size_t count = 0;
    for (const SubtreeTop& t : subtrees) {
        if (t.entries.empty() || t.top < first || t.top >= first + 4 || taken[t.top - first])
            return std::nullopt;
        taken[t.top - first] = true;
        count += t.entries.size();
    }
    if (count > 4) return std::nullopt;
    std::array<std::optional<NewEntry>, 4> slots;
    for (const SubtreeTop& t : subtrees) {
        std::vector<NewEntry> entries = t.entries;
        std::sort(entries.begin(), entries.end(), NameSortsBefore);
        // The middle one is the top; the others take the slots left, in order.
        std::vector<std::uint32_t> ids;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (i == entries.size() / 2) {
                ids.push_back(t.top);
                continue;
            }
            std::uint32_t e = 0;
            while (taken[e]) ++e;
            taken[e] = true;
            ids.push_back(first + e);
        }
        std::map<std::uint32_t, TreeLinks> links;
        LayOutTree(ids, &links);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            NewEntry e = entries[i];
            e.left = links[ids[i]].left;
            e.right = links[ids[i]].right;
            e.colour = links[ids[i]].colour;
            slots[ids[i] - first] = e;
        }
    }
    return slots;
}

}  // namespace deckwright
