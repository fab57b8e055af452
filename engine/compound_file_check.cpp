#include "engine/compound_file_check.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstring>
#include <span>
#include <utility>

#include "engine/little_endian.h"

namespace deckwright {
namespace cfb {

std::uint32_t SectorCount(std::uint64_t length) {
    if (length <= SECTOR_SIZE) return 0;
    const std::uint64_t n = (length - SECTOR_SIZE + SECTOR_SIZE - 1) / SECTOR_SIZE;
    return n > kMaxRegularSect ? kMaxRegularSect : static_cast<std::uint32_t>(n);
}

namespace {

// Reads the 512 bytes at offset; what no read delivered is zero.
std::size_t ReadBlockAt(RandomAccessFile& file, std::uint64_t offset, std::uint8_t* out) {
    std::size_t got = 0;
    if (file.Seek(offset)) {
        while (got < SECTOR_SIZE) {
            const std::size_t n = file.Read(std::span<std::uint8_t>(out + got, SECTOR_SIZE - got));
            if (n == 0) break;
            got += n;
        }
    }
    std::fill(out + got, out + SECTOR_SIZE, std::uint8_t{0});
    return got;
}

}  // namespace

std::size_t ReadSector(RandomAccessFile& file, std::uint32_t k, std::uint8_t* out) {
    return ReadBlockAt(file, (static_cast<std::uint64_t>(k) + 1) * SECTOR_SIZE, out);
}

std::size_t ReadHeaderBytes(RandomAccessFile& file, std::uint8_t* out) {
    return ReadBlockAt(file, 0, out);
}

bool Uniform(const std::uint8_t* sector) {
    return std::all_of(sector, sector + SECTOR_SIZE,
                       [sector](std::uint8_t b) { return b == sector[0]; });
}

std::uint32_t* EntryBuffer::Resize(std::size_t n) {
    if (n > capacity_) {
        data_ = std::make_unique_for_overwrite<std::uint32_t[]>(n);
        capacity_ = n;
    }
    size_ = n;
    return data_.get();
}

void ReadSectorRuns(RandomAccessFile& file, std::span<const std::uint32_t> sectors,
                    std::uint32_t* out) {
    constexpr std::size_t kMaxRun = 2048;  // 1 MiB per read
    auto* const bytes = reinterpret_cast<std::uint8_t*>(out);
    for (std::size_t i = 0; i < sectors.size();) {
        std::size_t n = 1;
        while (i + n < sectors.size() && n < kMaxRun && sectors[i + n] == sectors[i] + n) ++n;
        std::uint8_t* dst = bytes + i * SECTOR_SIZE;
        const std::size_t want = n * SECTOR_SIZE;
        std::size_t got = 0;
        if (file.Seek((static_cast<std::uint64_t>(sectors[i]) + 1) * SECTOR_SIZE)) {
            while (got < want) {
                const std::size_t r = file.Read(std::span<std::uint8_t>(dst + got, want - got));
                if (r == 0) break;
                got += r;
            }
        }
        std::fill(dst + got, dst + want, std::uint8_t{0});
        i += n;
    }
    if constexpr (std::endian::native != std::endian::little) {
        for (std::size_t i = 0; i < sectors.size() * kEntriesPerSector; ++i)
            out[i] = ReadLE32(bytes + 4 * i);
    }
}

namespace {

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

bool LooksLikeRootEntry(const std::uint8_t* e) {
    return e[66] == kTypeRoot && e[67] <= 1 && ReadLE16(e + 64) <= 64 &&
           ReadLE32(e + 68) == kNoStream && ReadLE32(e + 72) == kNoStream;
}

DirectoryEntry ParseDirectoryEntry(const std::uint8_t* e) {
    DirectoryEntry d;
    // The stated length counts the terminating null; never trust it past the 32 units.
    const std::size_t units = std::min<std::size_t>(ReadLE16(e + 64) / 2, 32);
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t c = ReadLE16(e + 2 * i);
        if (c == 0) break;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
            const std::uint32_t low = ReadLE16(e + 2 * (i + 1));
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;  // a lone surrogate
        AppendUtf8(d.name, c);
    }
    for (std::size_t i = 0; i < 32 && ReadLE16(e + 2 * i) != 0; ++i) d.name_units = i + 1;
    d.name_length = ReadLE16(e + 64);
    d.type = e[66];
    d.colour = e[67];
    d.left = ReadLE32(e + 68);
    d.right = ReadLE32(e + 72);
    d.child = ReadLE32(e + 76);
    d.start = ReadLE32(e + 116);
    d.size = ReadLE32(e + 120);
    d.modified = ReadLE64(e + 108);
    return d;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

}  // namespace cfb

namespace {

using namespace cfb;

// Who holds a sector (or mini sector); directory entry e is kOwnerEntry + e.
enum : std::uint32_t {
    kOwnerNone = 0,
    kOwnerFat,
    kOwnerDifat,
    kOwnerDirectory,
    kOwnerMiniFat,
    kOwnerEntry
};

// Directory trees deeper or wider than this are not presentations; it bounds the memory a
// hostile directory chain can claim.
constexpr std::size_t kMaxDirectoryEntries = 1u << 20;

std::string Num(std::uint64_t v) {
    return std::to_string(v);
}

std::string Quote(const std::string& s) {
    return "\"" + s + "\"";
}

std::string DescribeValue(std::uint32_t v) {
    switch (v) {
        case kFreeSect:
            return "FREESECT (a free sector)";
        case kEndOfChain:
            return "ENDOFCHAIN";
        case kFatSect:
            return "FATSECT (a FAT sector)";
        case kDifSect:
            return "DIFSECT (a DIFAT sector)";
        default:
            return "sector " + Num(v);
    }
}

class Checker {
  public:
    Checker(RandomAccessFile& file, const CompoundFileHeader& h, CheckScratch* scratch)
        : file_(file),
          h_(h),
          claimed_(scratch ? scratch->claimed : own_claimed_),
          fat_store_(scratch ? scratch->fat : own_fat_),
          fat_store_sectors_(scratch ? scratch->fat_sectors : own_fat_sectors_) {
        claimed_.clear();  // a reused table holds the last check's claims
    }

    CheckResult Run() {
        const std::uint64_t length = file_.Length();
        if (file_.Failed()) return Fail("the file could not be read: " + file_.Error());
        if (length < 2 * SECTOR_SIZE) {
            return Fail("the file is " + Num(length) +
                        " bytes long, too short for a compound file (at least 1024 bytes)");
        }
        s_ = SectorCount(length);
        length_ = length;
        result_.sector_count = s_;
        if (!CheckFixedFields() || !LoadFat() || !CheckFatMarks() || !LoadDirectory() ||
            !CheckTree() || !LoadMiniFat() || !CheckStreams() || !CheckPresentation())
            return std::move(result_);
        if (file_.Failed()) return Fail("the file could not be read: " + file_.Error());
        // Leaked: in use by the FAT, claimed by nothing. A word at a time, as in a sound file
        // nearly every sector is claimed.
        std::uint32_t first_leak = kFreeSect;
        for (std::size_t w = 0; w < claimed_.size(); ++w) {
            for (std::uint64_t unclaimed = ~claimed_[w]; unclaimed != 0;
                 unclaimed &= unclaimed - 1) {
                const std::uint64_t k = w * 64 + static_cast<unsigned>(std::countr_zero(unclaimed));
                if (k >= s_) break;
                const std::uint32_t v = FatEntry(static_cast<std::uint32_t>(k));
                if (v <= kMaxRegularSect || v == kEndOfChain) {
                    if (result_.leaked_sectors++ == 0) first_leak = static_cast<std::uint32_t>(k);
                }
            }
        }
        // 7-Zip refuses a file whose FAT holds chains nothing reaches; here they are also the
        // mark of a directory that is not the file's latest (its newer streams are unreached).
        if (result_.leaked_sectors > 0) {
            Problem("the FAT holds " + Num(result_.leaked_sectors) +
                    " sector(s) in use that no stream, directory or mini FAT reaches (the first "
                    "is sector " +
                    Num(first_leak) + ")");
            result_.leaked_sectors = 0;
            return std::move(result_);
        }
        result_.sound = true;
        return std::move(result_);
    }

  private:
    bool Problem(std::string problem) {
        // A read error explains whatever looked wrong after it; say that instead.
        if (file_.Failed() && problem.find(file_.Error()) == std::string::npos) {
            problem = "the file could not be read: " + file_.Error();
        }
        result_.sound = false;
        result_.problem = std::move(problem);
        result_.sectors_in_use = 0;  // counted only for a sound file
        return false;
    }
    CheckResult Fail(std::string problem) {
        Problem(std::move(problem));
        return std::move(result_);
    }

    std::string OwnerName(std::uint32_t owner) const {
        switch (owner) {
            case kOwnerFat:
                return "the FAT";
            case kOwnerDifat:
                return "the DIFAT";
            case kOwnerDirectory:
                return "the directory";
            case kOwnerMiniFat:
                return "the mini FAT";
            default:
                break;
        }
        const std::uint32_t e = owner - kOwnerEntry;
        if (e == 0) return "the mini stream";
        return "stream " + Quote(e < names_.size() ? names_[e] : "?");
    }

    bool CheckFixedFields() {
        if (h_.header_signature != kHeaderSignature)
            return Problem("the header does not begin with the compound-file signature");
        if (h_.major_version != 3)
            return Problem("the header gives major version " + Num(h_.major_version) +
                           " where a presentation has 3");
        if (h_.byte_order != 0xFFFE) return Problem("the header's byte order mark is not FE FF");
        if (h_.sector_shift != 9 || h_.mini_sector_shift != 6)
            return Problem("the header gives sector shifts " + Num(h_.sector_shift) + " and " +
                           Num(h_.mini_sector_shift) + " where version 3 has 9 and 6");
        if (h_.number_of_directory_sectors != 0)
            return Problem("the header counts " + Num(h_.number_of_directory_sectors) +
                           " directory sectors where version 3 has 0");
        if (h_.mini_stream_cutoff_size != kMiniStreamCutoff)
            return Problem("the header gives a mini stream cutoff of " +
                           Num(h_.mini_stream_cutoff_size) + " bytes instead of 4096");
        return true;
    }

    bool InFile(std::uint32_t k) const { return k < s_; }
    bool Claimed(std::uint32_t k) const { return (claimed_[k >> 6] >> (k & 63)) & 1; }
    void Claim(std::uint32_t k) { claimed_[k >> 6] |= std::uint64_t{1} << (k & 63); }

    // Who holds a claimed sector. Only a problem report asks, so it is worked out again from
    // the lists and chains claimed so far instead of being stored for every sector.
    std::uint32_t OwnerOf(std::uint32_t k) const {
        if (std::find(difat_sectors_.begin(), difat_sectors_.end(), k) != difat_sectors_.end())
            return kOwnerDifat;
        const auto fat_end = fat_sectors_.begin() + static_cast<std::ptrdiff_t>(fat_claimed_);
        if (std::find(fat_sectors_.begin(), fat_end, k) != fat_end) return kOwnerFat;
        for (const Walk& w : walks_) {
            std::uint32_t cur = w.start;
            for (std::uint32_t n = 0; n < w.length; ++n, cur = FatEntry(cur)) {
                if (cur == k) return w.owner;
            }
        }
        return kOwnerNone;
    }

    // The FAT sector list from the header's DIFAT array and the DIFAT sectors, then the FAT.
    bool LoadFat() {
        const std::uint32_t nfat = h_.number_of_fat_sectors;
        if (nfat == 0) return Problem("the header counts 0 FAT sectors");
        if (nfat > s_)
            return Problem("the header counts " + Num(nfat) +
                           " FAT sectors, but the file has only " + Num(s_) + " sectors");
        const std::uint32_t in_header = std::min(nfat, kHeaderDifatEntries);
        for (std::uint32_t j = 0; j < kHeaderDifatEntries; ++j) {
            const std::uint32_t v = h_.difat[j];
            if (j < in_header && !InFile(v))
                return Problem("DIFAT entry " + Num(j) + " of the header names " +
                               DescribeValue(v) + " as FAT sector " + Num(j) + ", outside the " +
                               Num(s_) + " sectors of the file");
            if (j >= in_header && v != kFreeSect)
                return Problem("DIFAT entry " + Num(j) + " of the header holds " +
                               DescribeValue(v) + " but the header counts only " + Num(nfat) +
                               " FAT sectors (expected FREESECT)");
        }
        fat_sectors_.assign(h_.difat.begin(), h_.difat.begin() + in_header);

        claimed_.assign((static_cast<std::size_t>(s_) + 63) / 64, 0);
        const std::uint32_t ndif = h_.number_of_difat_sectors;
        const std::uint32_t needed =
            nfat > kHeaderDifatEntries
                ? (nfat - kHeaderDifatEntries + kDifatEntriesPerSector - 1) / kDifatEntriesPerSector
                : 0;
        if (ndif != needed)
            return Problem("the header counts " + Num(ndif) + " DIFAT sectors, but " + Num(nfat) +
                           " FAT sectors need " + Num(needed));
        std::uint32_t d = h_.first_difat_sector_location;
        if (ndif == 0 && d != kEndOfChain && d != kFreeSect)
            return Problem("the header names " + DescribeValue(d) +
                           " as the first DIFAT sector, but counts no DIFAT sectors (expected "
                           "ENDOFCHAIN)");
        std::array<std::uint8_t, SECTOR_SIZE> buf{};
        for (std::uint32_t i = 0; i < ndif; ++i) {
            const std::string where = "DIFAT sector " + Num(i + 1) + " of " + Num(ndif);
            if (!InFile(d))
                return Problem("the DIFAT chain names " + DescribeValue(d) + " as " + where +
                               ", outside the " + Num(s_) + " sectors of the file");
            if (Claimed(d))
                return Problem("the DIFAT chain comes back to sector " + Num(d) + " at " + where);
            Claim(d);
            difat_sectors_.push_back(d);
            ReadSector(file_, d, buf.data());
            for (std::uint32_t e = 0; e < kDifatEntriesPerSector; ++e) {
                const std::uint32_t v = ReadLE32(buf.data() + 4 * e);
                if (fat_sectors_.size() < nfat) {
                    if (!InFile(v))
                        return Problem(where + " (sector " + Num(d) + ") names " +
                                       DescribeValue(v) + " as FAT sector " +
                                       Num(fat_sectors_.size()) + ", outside the " + Num(s_) +
                                       " sectors of the file");
                    fat_sectors_.push_back(v);
                } else if (v != kFreeSect) {
                    return Problem(where + " (sector " + Num(d) + ") holds " + DescribeValue(v) +
                                   " in entry " + Num(e) + " past the last of the " + Num(nfat) +
                                   " FAT sectors (expected FREESECT)");
                }
            }
            d = ReadLE32(buf.data() + 4 * kDifatEntriesPerSector);
            if (i + 1 == ndif && d != kEndOfChain && d != kFreeSect)
                return Problem("the last DIFAT sector (sector " + Num(difat_sectors_.back()) +
                               ") links on to " + DescribeValue(d) + " instead of ENDOFCHAIN");
        }

        // Claim first, then read: the FAT sectors up to a clash are read in runs of adjacent
        // sectors, one read each, as a sector-at-a-time loop costs a system call pair apiece.
        std::uint32_t claimed = 0;
        for (; claimed < nfat; ++claimed) {
            const std::uint32_t f = fat_sectors_[claimed];
            if (Claimed(f)) break;
            Claim(f);
        }
        fat_claimed_ = claimed;
        const std::size_t entries = static_cast<std::size_t>(nfat) * kEntriesPerSector;
        if (claimed < nfat || fat_store_sectors_ != fat_sectors_ || fat_store_.size() != entries) {
            std::uint32_t* out = fat_store_.Resize(entries);
            ReadSectorRuns(file_, std::span<const std::uint32_t>(fat_sectors_.data(), claimed),
                           out);
            std::fill(out + static_cast<std::size_t>(claimed) * kEntriesPerSector, out + entries,
                      std::uint32_t{0});
            // Only a whole FAT is worth keeping for the next check.
            if (claimed == nfat && !file_.Failed())
                fat_store_sectors_ = fat_sectors_;
            else
                fat_store_sectors_.clear();
        }
        fat_ = fat_store_.View();
        if (claimed < nfat) {
            const std::uint32_t f = fat_sectors_[claimed];
            return Problem("sector " + Num(f) + " is listed as FAT sector " + Num(claimed) +
                           " but already belongs to " + OwnerName(OwnerOf(f)));
        }
        result_.fat_sectors = nfat;
        result_.difat_sectors = ndif;
        if (file_.Failed()) return Problem("the file could not be read: " + file_.Error());
        return true;
    }

    std::uint32_t FatEntry(std::uint32_t k) const { return k < fat_.size() ? fat_[k] : kFreeSect; }

    // Whatever the FAT marks FATSECT or DIFSECT must be listed as such. The converse is only
    // half required: a FAT or DIFAT sector marked free is refused (7-Zip refuses it), while
    // some writers leave theirs as a short chain, which is accepted as long as no stream runs
    // through them (the ownership map sees to it).
    bool CheckFatMarks() {
        for (const auto& [list, what] : {std::pair{&fat_sectors_, "FAT"}, std::pair{&difat_sectors_, "DIFAT"}}) {
            for (std::uint32_t k : *list) {
                if (FatEntry(k) == kFreeSect)
                    return Problem("the " + std::string(what) + " sector " + Num(k) +
                                   " is marked FREESECT (a free sector) in the FAT instead of " +
                                   (list == &fat_sectors_ ? "FATSECT" : "DIFSECT"));
            }
        }
        // Only the FAT and DIFAT sectors are claimed so far.
        std::vector<std::uint32_t> difat = difat_sectors_;
        std::sort(difat.begin(), difat.end());
        auto is_difat = [&difat](std::size_t k) {
            return std::binary_search(difat.begin(), difat.end(), static_cast<std::uint32_t>(k));
        };
        // Entries past the end of the file describe nothing: readers (7-Zip) refuse any but
        // FREESECT there. Inside the file an entry is a sector of the file or a mark (olefile
        // strict and libgsf refuse anything else).
        for (std::size_t k = s_; k < fat_.size(); ++k) {
            if (fat_[k] != kFreeSect)
                return Problem("the FAT entry of sector " + Num(k) + ", past the end of the file (" +
                               Num(s_) + " sectors), holds " + DescribeValue(fat_[k]) +
                               " instead of FREESECT");
        }
        const std::size_t limit = std::min<std::size_t>(fat_.size(), s_);
        for (std::size_t k = 0; k < limit; ++k) {
            const std::uint32_t v = fat_[k];
            if (v < s_ || v == kFreeSect || v == kEndOfChain) continue;
            if (v != kFatSect && v != kDifSect)
                return Problem("the FAT entry of sector " + Num(k) + " holds " + DescribeValue(v) +
                               ", which is neither a sector of the file (" + Num(s_) +
                               " sectors) nor a mark");
            const auto sector = static_cast<std::uint32_t>(k);
            if (v == kFatSect && (!Claimed(sector) || is_difat(k)))
                return Problem("sector " + Num(k) +
                               " is marked FATSECT in the FAT, but the header does not list it "
                               "among its " +
                               Num(fat_sectors_.size()) + " FAT sectors");
            if (v == kDifSect && !is_difat(k))
                return Problem("sector " + Num(k) +
                               " is marked DIFSECT in the FAT, but is not in the DIFAT chain of " +
                               Num(difat_sectors_.size()) + " sectors");
        }
        return true;
    }

    // Claims the chain from `start` for `owner`. `expected` is the length the chain must have
    // (kFreeSect: any length of at least one sector).
    // `bytes`, when not 0: how much of the chain is data, which must lie inside the file (a
    // short last sector may hold less than a whole sector's, but not less than the data).
    bool WalkChain(std::uint32_t start, std::uint32_t owner, const std::string& what,
                   std::uint32_t expected, std::vector<std::uint32_t>* sectors = nullptr,
                   std::uint64_t bytes = 0) {
        std::uint32_t cur = start, length = 0, last = start;
        walks_.push_back({start, owner, 0});
        while (cur != kEndOfChain) {
            if (!InFile(cur))
                return Problem(what + " names " + DescribeValue(cur) + " as its sector " +
                               Num(length) + ", outside the " + Num(s_) + " sectors of the file");
            if (Claimed(cur)) {
                const std::uint32_t holder = OwnerOf(cur);
                if (holder == owner)
                    return Problem(what + " loops back to sector " + Num(cur) + " after " +
                                   Num(length) + " sectors");
                return Problem(what + " runs into sector " + Num(cur) + ", which belongs to " +
                               OwnerName(holder));
            }
            Claim(cur);
            last = cur;
            if (owner >= kOwnerDirectory) ++result_.sectors_in_use;
            if (sectors) sectors->push_back(cur);
            ++length;
            ++walks_.back().length;
            const std::uint32_t next = FatEntry(cur);
            if (next != kEndOfChain && next > kMaxRegularSect)
                return Problem(what + " breaks off at sector " + Num(cur) +
                               ": its FAT entry holds " + DescribeValue(next) +
                               " instead of the next sector or ENDOFCHAIN");
            if (expected != kFreeSect && length > expected)
                return Problem(what + " is longer than the " + Num(expected) +
                               " sectors it should have (it goes on at sector " + Num(cur) + ")");
            cur = next;
        }
        if (expected == kFreeSect ? length == 0 : length != expected)
            return Problem(what + " has " + Num(length) + " sectors where " +
                           (expected == kFreeSect ? std::string("at least 1") : Num(expected)) +
                           " are expected");
        if (bytes > 0) {
            const std::uint64_t end = (static_cast<std::uint64_t>(last) + 1) * SECTOR_SIZE +
                                      (bytes - 1) % SECTOR_SIZE + 1;
            if (end > length_)
                return Problem("the file is cut short inside sector " + Num(last) +
                               ", the last of " + what + ": its last " + Num(end - length_) +
                               " bytes are lost");
        }
        return true;
    }

    bool LoadDirectory() {
        std::vector<std::uint32_t> chain;
        if (!WalkChain(
                h_.first_directory_sector_location, kOwnerDirectory,
                "the directory chain (from sector " + Num(h_.first_directory_sector_location) + ")",
                kFreeSect, &chain))
            return false;
        result_.directory_sectors = static_cast<std::uint32_t>(chain.size());
        if (chain.size() * 4 > kMaxDirectoryEntries)
            return Problem("the directory chain is " + Num(chain.size()) +
                           " sectors long, more than any presentation needs");
        std::array<std::uint8_t, SECTOR_SIZE> buf{};
        for (std::uint32_t sector : chain) {
            ReadSector(file_, sector, buf.data());
            for (std::uint32_t e = 0; e < 4; ++e)
                entries_.push_back(ParseDirectoryEntry(buf.data() + e * kDirEntrySize));
        }
        names_.reserve(entries_.size());
        for (const auto& e : entries_) names_.push_back(e.name);
        const DirectoryEntry& root = entries_[0];
        result_.root_modified = root.modified;
        result_.root_start = root.start;
        result_.root_size = root.size;
        if (root.type != kTypeRoot)
            return Problem("the first directory entry, in sector " + Num(chain[0]) +
                           ", has object type " + Num(root.type) +
                           " instead of 5 (the root entry)");
        return true;
    }

    // Walks the red-black tree from the root: every link names an entry, no entry is met
    // twice, and every entry met is a storage or a stream. Only the streams get their paths,
    // made afterwards from the parents: storages nested thousands deep then cost no more
    // memory than their entries.
    bool CheckTree() {
        std::vector<bool> seen(entries_.size(), false);
        seen[0] = true;
        struct Item {
            std::uint32_t id;
            std::uint32_t parent;
        };
        std::vector<Item> stack;
        parent_of_.assign(entries_.size(), 0);
        auto from = [&](std::uint32_t parent) {
            return parent == 0 ? std::string("the root entry") : "entry " + Quote(PathOf(parent));
        };
        if (entries_[0].child != kNoStream) stack.push_back({entries_[0].child, 0});
        while (!stack.empty()) {
            const Item it = stack.back();
            stack.pop_back();
            if (it.id >= entries_.size())
                return Problem("the directory tree under " + from(it.parent) + " links to entry " +
                               Num(it.id) + ", but the directory has only " + Num(entries_.size()) +
                               " entries");
            if (seen[it.id])
                return Problem("the directory tree reaches entry " + Num(it.id) + " (" +
                               Quote(entries_[it.id].name) + ") twice: its links form a loop");
            seen[it.id] = true;
            const DirectoryEntry& e = entries_[it.id];
            parent_of_[it.id] = it.parent;
            if (e.type != kTypeStorage && e.type != kTypeStream)
                return Problem("the directory tree under " + from(it.parent) + " links to entry " +
                               Num(it.id) + ", which has object type " + Num(e.type) +
                               " instead of a storage or a stream");
            if (!CheckEntryFields(it.id)) return false;
            if (e.left != kNoStream) stack.push_back({e.left, it.parent});
            if (e.right != kNoStream) stack.push_back({e.right, it.parent});
            if (e.type == kTypeStorage && e.child != kNoStream) stack.push_back({e.child, it.id});
            if (e.type == kTypeStream) reached_streams_.push_back(it.id);
            if (it.parent == 0) top_level_.push_back(it.id);
        }
        // Every path in memory at once would grow with the square of the nesting: the streams'
        // paths may take four times the directory's own bytes, more than any real file needs.
        const std::uint64_t budget = 4ull * entries_.size() * kDirEntrySize;
        std::uint64_t used = 0;
        paths_.assign(entries_.size(), std::string());
        for (std::uint32_t id : reached_streams_) {
            used += PathLength(id);
            if (used > budget)
                return Problem(
                    "the directory nests its storages too deeply to judge: the paths "
                    "of its streams would take more than " +
                    Num(budget) + " bytes");
            paths_[id] = PathOf(id);
        }
        return true;
    }

    // The entry's path from the root, its storages joined with '/'; parent_of_ must be set.
    std::size_t PathLength(std::uint32_t id) const {
        std::size_t length = entries_[id].name.size();
        for (std::uint32_t p = parent_of_[id]; p != 0; p = parent_of_[p])
            length += entries_[p].name.size() + 1;
        return length;
    }
    std::string PathOf(std::uint32_t id) const {
        std::string path(PathLength(id), '/');
        std::size_t end = path.size();
        for (std::uint32_t p = id;; p = parent_of_[p]) {
            const std::string& name = entries_[p].name;
            end -= name.size();
            path.replace(end, name.size(), name);
            if (parent_of_[p] == 0) break;
            --end;  // the separator already there
        }
        return path;
    }

    // What 7-Zip and strict olefile ask of every entry the tree reaches: a name of 1 to 31
    // units ended by a null, a stored length that says so, and a red or black colour.
    bool CheckEntryFields(std::uint32_t id) {
        const DirectoryEntry& e = entries_[id];
        const std::string what = "directory entry " + Num(id) + " (" + Quote(e.name) + ")";
        if (e.name_length > 64)
            return Problem(what + " gives its name " + Num(e.name_length) +
                           " bytes, more than the 64 of the name field");
        if (e.name_units == 0 || e.name_units >= 32 || e.name_length != 2 * (e.name_units + 1))
            return Problem(what + " gives its name " + Num(e.name_length) +
                           " bytes where the name field holds " + Num(e.name_units) +
                           " units and a null (" + Num(2 * (e.name_units + 1)) + " bytes)");
        if (e.colour > 1)
            return Problem(what + " has colour " + Num(e.colour) + " instead of red (0) or black (1)");
        return true;
    }

    bool LoadMiniFat() {
        const std::uint32_t nmf = h_.number_of_mini_fat_sectors;
        const std::uint32_t first = h_.first_mini_fat_sector_location;
        if (nmf == 0) {
            // 7-Zip refuses FREESECT here, unlike for the first DIFAT sector.
            if (first != kEndOfChain)
                return Problem("the header counts no mini FAT sectors but names " +
                               DescribeValue(first) + " as the first (expected ENDOFCHAIN)");
        } else {
            if (nmf > s_)
                return Problem("the header counts " + Num(nmf) +
                               " mini FAT sectors, but the file has only " + Num(s_) + " sectors");
            std::vector<std::uint32_t> chain;
            if (!WalkChain(first, kOwnerMiniFat,
                           "the mini FAT chain (from sector " + Num(first) + ")", nmf, &chain))
                return false;
            std::array<std::uint8_t, SECTOR_SIZE> buf{};
            mini_fat_.reserve(static_cast<std::size_t>(nmf) * kEntriesPerSector);
            for (std::uint32_t sector : chain) {
                ReadSector(file_, sector, buf.data());
                for (std::uint32_t e = 0; e < kEntriesPerSector; ++e)
                    mini_fat_.push_back(ReadLE32(buf.data() + 4 * e));
            }
        }
        result_.mini_fat_sectors = nmf;
        // The mini stream lives in the root entry's chain.
        const DirectoryEntry& root = entries_[0];
        const std::uint64_t mini_bytes = root.size;
        if (mini_bytes > 0) {
            const std::uint64_t sectors = (mini_bytes + SECTOR_SIZE - 1) / SECTOR_SIZE;
            if (sectors > s_)
                return Problem("the root entry gives the mini stream " + Num(mini_bytes) +
                               " bytes, more than the file holds");
            if (!WalkChain(root.start, kOwnerEntry,
                           "the mini stream (from sector " + Num(root.start) + ")",
                           static_cast<std::uint32_t>(sectors), nullptr, mini_bytes))
                return false;
        }
        if (mini_fat_.size() < mini_bytes / kMiniSectorSize)
            return Problem("the mini stream holds " + Num(mini_bytes / kMiniSectorSize) +
                           " mini sectors, but the " + Num(nmf) + " mini FAT sector(s) describe only " +
                           Num(mini_fat_.size()));
        mini_capacity_ = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(mini_bytes / kMiniSectorSize, mini_fat_.size()));
        mini_owner_.assign(mini_capacity_, kOwnerNone);
        return true;
    }

    bool WalkMiniChain(std::uint32_t start, std::uint32_t owner, const std::string& what,
                       std::uint32_t expected) {
        std::uint32_t cur = start, length = 0;
        while (cur != kEndOfChain) {
            if (cur >= mini_capacity_)
                return Problem(what + " names " + DescribeValue(cur) + " as its mini sector " +
                               Num(length) + ", but the mini stream has only " +
                               Num(mini_capacity_) + " mini sectors");
            if (mini_owner_[cur] == owner)
                return Problem(what + " loops back to mini sector " + Num(cur));
            if (mini_owner_[cur] != kOwnerNone)
                return Problem(what + " runs into mini sector " + Num(cur) + ", which belongs to " +
                               OwnerName(mini_owner_[cur]));
            mini_owner_[cur] = owner;
            ++length;
            const std::uint32_t next = mini_fat_[cur];
            if (next != kEndOfChain && next > kMaxRegularSect)
                return Problem(what + " breaks off at mini sector " + Num(cur) +
                               ": its mini FAT entry holds " + DescribeValue(next));
            if (length > expected)
                return Problem(what + " is longer than the " + Num(expected) +
                               " mini sectors it should have");
            cur = next;
        }
        if (length != expected)
            return Problem(what + " has " + Num(length) + " mini sectors where " + Num(expected) +
                           " are expected");
        return true;
    }

    bool CheckStreams() {
        for (std::uint32_t id : reached_streams_) {
            const DirectoryEntry& e = entries_[id];
            const std::string what = "the chain of stream " + Quote(paths_[id]);
            const bool mini = e.size < kMiniStreamCutoff;
            result_.streams.push_back({paths_[id], e.size, mini, e.start});
            if (e.size == 0) continue;
            if (mini) {
                const auto n =
                    static_cast<std::uint32_t>((e.size + kMiniSectorSize - 1) / kMiniSectorSize);
                if (!WalkMiniChain(e.start, kOwnerEntry + id, what, n)) return false;
            } else {
                const std::uint64_t n = (e.size + SECTOR_SIZE - 1) / SECTOR_SIZE;
                if (n > s_)
                    return Problem("stream " + Quote(paths_[id]) + " is " + Num(e.size) +
                                   " bytes long, more than the file holds");
                if (!WalkChain(e.start, kOwnerEntry + id, what, static_cast<std::uint32_t>(n),
                               nullptr, e.size))
                    return false;
            }
        }
        return true;
    }

    bool HasTopLevelStream(const char* wanted) const {
        for (std::uint32_t id : top_level_) {
            if (entries_[id].type == kTypeStream && EqualsIgnoringCase(entries_[id].name, wanted))
                return true;
        }
        return false;
    }

    // PowerPoint 97 and later keep "PowerPoint Document" and "Current User"; PowerPoint 4.0
    // keeps its presentation in "PP40".
    bool CheckPresentation() {
        if (HasTopLevelStream(kPowerPoint4Stream)) return true;
        for (const char* wanted : {kDocumentStream, kCurrentUserStream}) {
            if (!HasTopLevelStream(wanted))
                return Problem("the directory has no " + Quote(wanted) +
                               " stream, which every presentation has");
        }
        return true;
    }

    RandomAccessFile& file_;
    const CompoundFileHeader& h_;
    CheckResult result_;
    std::uint32_t s_ = 0;
    std::uint64_t length_ = 0;
    std::vector<std::uint32_t> fat_sectors_;
    std::vector<std::uint32_t> difat_sectors_;
    std::uint32_t fat_claimed_ = 0;  // the FAT sectors listed before the first clash
    // The chains claimed so far, to tell who holds a sector when a problem names it.
    struct Walk {
        std::uint32_t start;
        std::uint32_t owner;
        std::uint32_t length;
    };
    std::vector<Walk> walks_;
    std::vector<std::uint64_t> own_claimed_;  // when no scratch is given
    EntryBuffer own_fat_;
    std::vector<std::uint32_t> own_fat_sectors_;
    std::vector<std::uint64_t>& claimed_;
    EntryBuffer& fat_store_;
    std::vector<std::uint32_t>& fat_store_sectors_;  // what fat_store_ holds
    std::span<const std::uint32_t> fat_;
    std::vector<DirectoryEntry> entries_;
    std::vector<std::string> names_;
    std::vector<std::string> paths_;        // of the streams reached
    std::vector<std::uint32_t> parent_of_;  // the storage (0: the root) above each entry reached
    std::vector<std::uint32_t> reached_streams_;
    std::vector<std::uint32_t> top_level_;
    std::vector<std::uint32_t> mini_fat_;
    std::vector<std::uint32_t> mini_owner_;
    std::uint32_t mini_capacity_ = 0;
};

}  // namespace

CheckResult CheckCompoundFile(RandomAccessFile& file, const CompoundFileHeader& header) {
    return Checker(file, header, nullptr).Run();
}

CheckResult cfb::CheckCompoundFileWith(RandomAccessFile& file, const CompoundFileHeader& header,
                                       CheckScratch& scratch) {
    return Checker(file, header, &scratch).Run();
}

namespace {

CheckResult CheckFromHeaderBytes(RandomAccessFile& file, CheckScratch* scratch) {
    std::array<std::uint8_t, SECTOR_SIZE> bytes{};
    const std::size_t got = cfb::ReadHeaderBytes(file, bytes.data());
    if (file.Failed()) {
        CheckResult r;
        r.problem = "the file could not be read: " + file.Error();
        return r;
    }
    if (got < SECTOR_SIZE) {
        CheckResult r;
        r.problem = "the file is " + std::to_string(got) +
                    " bytes long, too short for a compound file (at least 1024 bytes)";
        return r;
    }
    return Checker(file, CompoundFileHeader::Parse(bytes), scratch).Run();
}

}  // namespace

CheckResult CheckCompoundFile(RandomAccessFile& file) {
    return CheckFromHeaderBytes(file, nullptr);
}

CheckResult cfb::CheckCompoundFileWith(RandomAccessFile& file, CheckScratch& scratch) {
    return CheckFromHeaderBytes(file, &scratch);
}

}  // namespace deckwright
