#include "engine/header_reconstruction.h"

#include <algorithm>
#include <array>
#include <bit>
#include <map>
#include <set>
#include <span>
#include <vector>

#include "engine/little_endian.h"
#include "engine/ordered_read.h"
#include "engine/sector_classifiers.h"

namespace deckwright {

void CanonicalizeFixedFields(CompoundFileHeader& h) {
    const CompoundFileHeader canon = CompoundFileHeader::Parse([] {
        std::array<std::uint8_t, SECTOR_SIZE> b{};
        std::copy(kCanonicalHeaderPrefix.begin(), kCanonicalHeaderPrefix.end(), b.begin());
        return b;
    }());
    h.header_signature = canon.header_signature;
    h.header_clsid = canon.header_clsid;
    h.minor_version = canon.minor_version;
    h.major_version = canon.major_version;
    h.byte_order = canon.byte_order;
    h.sector_shift = canon.sector_shift;
    h.mini_sector_shift = canon.mini_sector_shift;
    h.reserved = canon.reserved;
    h.number_of_directory_sectors = 0;
    h.transaction_signature_number = 0;
    h.mini_stream_cutoff_size = cfb::kMiniStreamCutoff;
}

namespace {

// A root entry's modification time as a rank of versions: 0 for times no writer sets.
std::uint64_t VersionTime(std::uint64_t filetime) {
    // A time past the year 2270 is not a time but leftover bytes (stale roots carry them); it
    // must not pass for the newest version.
    constexpr std::uint64_t kYear2270 = 0x02F0'0000'0000'0000ull;
    return filetime < kYear2270 ? filetime : 0;
}

}  // namespace

bool OlderThanNewestRoot(std::uint64_t root_modified, const Reconstruction& scan) {
    return VersionTime(root_modified) < scan.newest_root_modified;
}

namespace {

using namespace cfb;

// Bounds on the work one reconstruction may do, whatever the file holds.
constexpr int kMaxFatAttempts = 24;
constexpr int kMaxLayoutAttempts = 12;
constexpr std::size_t kMaxRootCandidates = 1u << 16;
constexpr std::size_t kMaxDifatShaped = 1u << 20;
constexpr std::size_t kMaxDifatVerified = 4096;
constexpr std::size_t kMaxDifatReads = 1u << 16;  // sectors read to verify them
constexpr std::size_t kMaxDifatHeads = 4;
constexpr std::size_t kMaxWipedBlocksSearched = 2;  // blocks looked into for a wiped sector
constexpr std::size_t kMaxWipedWays = 4;            // wiped sectors tried in one block
constexpr int kMaxWipedAttempts = 16;
constexpr std::size_t kMaxWipedStarts = 8;  // assignments looked into, each a read of its FAT

// A FAT block wiped, every entry the same, says nothing of the sectors it describes: not even
// that they are free, when a sector filled with 0xFF left every entry FREESECT.
bool Wiped(std::span<const std::uint32_t> block) {
    return std::all_of(block.begin(), block.end(), [&](std::uint32_t x) { return x == block[0]; });
}

// A sector laid out like a DIFAT sector, as the scan meets it.
struct DifatShaped {
    std::uint32_t sector = 0;
    std::uint32_t first = 0;   // the FAT sector it lists first
    std::uint32_t link = 0;    // entry 127: the next DIFAT sector
    std::uint32_t listed = 0;  // sector numbers before the FREESECT tail
};

// What the single pass keeps about a sector whose 128 entries could all be FAT entries.
struct FatCandidate {
    std::uint32_t sector = 0;
    std::uint32_t block = kFreeSect;  // the block its successor entries point into; none: kFreeSect
    std::uint32_t votes = 0;          // how many entries hold 128 * block + i + 1
    std::array<std::uint64_t, 2> fat_marks{};    // entries holding FATSECT
    std::array<std::uint64_t, 2> difat_marks{};  // entries holding DIFSECT
};

bool HasBit(const std::array<std::uint64_t, 2>& bits, std::uint32_t i) {
    return (bits[i >> 6] >> (i & 63)) & 1;
}

// What the scan learns from a run of sectors. The two halves of a pass read side by side each
// gather their own; the second is then appended to the first, which gives what one pass in
// order would have gathered (the bounds keep the first so many, as they do in order).
struct ScanFacts {
    std::vector<FatCandidate> candidates;                            // ascending
    std::map<std::uint32_t, std::vector<std::size_t>> by_block;      // into candidates
    std::map<std::uint32_t, std::vector<std::size_t>> self_marking;  // into candidates
    std::vector<std::uint32_t> roots;      // sectors starting with a root entry
    std::vector<std::uint8_t> root_bytes;  // their contents, 512 bytes each
    std::vector<DifatShaped> difat_shaped;
    std::vector<std::uint32_t> marks_only;  // candidates with FATSECT marks and no successors
    std::uint64_t newest_root_modified = 0;  // the newest time any root entry carries

    void Append(ScanFacts&& later) {
        newest_root_modified = std::max(newest_root_modified, later.newest_root_modified);
        const std::size_t offset = candidates.size();
        candidates.insert(candidates.end(), later.candidates.begin(), later.candidates.end());
        for (const auto& [block, list] : later.by_block) {
            for (std::size_t i : list) by_block[block].push_back(offset + i);
        }
        for (const auto& [block, list] : later.self_marking) {
            for (std::size_t i : list) self_marking[block].push_back(offset + i);
        }
        for (std::size_t i = 0; i < later.roots.size() && roots.size() < kMaxRootCandidates; ++i) {
            roots.push_back(later.roots[i]);
            const auto from =
                later.root_bytes.begin() + static_cast<std::ptrdiff_t>(i * SECTOR_SIZE);
            root_bytes.insert(root_bytes.end(), from, from + SECTOR_SIZE);
        }
        for (const DifatShaped& d : later.difat_shaped) {
            if (difat_shaped.size() >= kMaxDifatShaped) break;
            difat_shaped.push_back(d);
        }
        for (std::uint32_t k : later.marks_only) {
            if (marks_only.size() >= kMaxRootCandidates) break;
            marks_only.push_back(k);
        }
    }
};

// The file as seen after the scan: reads of whole sectors the scan kept (those holding a root
// entry, which the layouts tried read over and over) come from memory, the rest go to the
// file; each read of the file is a system call pair. Errors of the file show here as they
// happen.
class KeptSectorsFile final : public RandomAccessFile {
  public:
    explicit KeptSectorsFile(RandomAccessFile& file) : file_(file) { Sync(); }

    // After the file was read or moved directly: where it stands is no longer known.
    void Resync() {
        stale_ = true;
        Sync();
    }

    // `sector` (numbered after the header) as read by the scan; numbers must ascend.
    void Keep(std::uint32_t sector, const std::uint8_t* bytes) {
        if (numbers_.size() >= kMaxKept) return;
        numbers_.push_back(sector);
        bytes_.insert(bytes_.end(), bytes, bytes + SECTOR_SIZE);
    }

    std::uint64_t Length() override {
        const std::uint64_t n = file_.Length();
        Sync();
        return n;
    }
    // The file is only moved when a read or write goes to it.
    bool Seek(std::uint64_t offset) override {
        pos_ = offset;
        stale_ = true;
        return true;
    }
    std::size_t Read(std::span<std::uint8_t> out) override {
        if (const std::uint8_t* kept = Find(pos_, out.size())) {
            std::copy(kept, kept + out.size(), out.begin());
            pos_ += out.size();
            // The file's own position stays behind; the next read from it seeks first.
            stale_ = true;
            return out.size();
        }
        if (stale_ && !file_.Seek(pos_)) {
            Sync();
            return 0;
        }
        stale_ = false;
        const std::size_t n = file_.Read(out);
        pos_ += n;
        Sync();
        return n;
    }
    bool Write(std::span<const std::uint8_t> data) override {
        numbers_.clear();  // nothing written may be served stale
        bytes_.clear();
        if (stale_ && !file_.Seek(pos_)) {
            Sync();
            return false;
        }
        stale_ = false;
        const bool ok = file_.Write(data);
        pos_ += data.size();
        Sync();
        return ok;
    }

  private:
    // As many as there may be root candidates (32 MiB at most); past it reads go to the file.
    static constexpr std::size_t kMaxKept = kMaxRootCandidates;

    void Sync() {
        if (file_.Failed()) RecordError(file_.Error());
    }
    // The kept bytes for [pos, pos + size) when that is a run of whole kept sectors (numbers
    // ascend without repeats, so a run of them is a run of slots).
    const std::uint8_t* Find(std::uint64_t pos, std::size_t size) const {
        if (size == 0 || size % SECTOR_SIZE != 0 || pos % SECTOR_SIZE != 0 || pos < SECTOR_SIZE)
            return nullptr;
        const std::uint64_t sector = pos / SECTOR_SIZE - 1;
        const std::size_t n = size / SECTOR_SIZE;
        const auto it = std::lower_bound(numbers_.begin(), numbers_.end(), sector);
        if (it == numbers_.end() || *it != sector ||
            static_cast<std::size_t>(numbers_.end() - it) < n || *(it + (n - 1)) != sector + n - 1)
            return nullptr;
        return bytes_.data() + static_cast<std::size_t>(it - numbers_.begin()) * SECTOR_SIZE;
    }

    RandomAccessFile& file_;
    std::vector<std::uint32_t> numbers_;
    std::vector<std::uint8_t> bytes_;
    std::uint64_t pos_ = 0;
    bool stale_ = true;  // where the file stands is not known at first
};

}  // namespace

// What the pass gathers: each lane its own facts; lane 1's shaped bits lie in words of their
// own, as the lanes meet at a multiple of 64 sectors.
struct ReconstructionScan::State {
    std::uint32_t s = 0;  // sectors after the header
    std::vector<std::uint64_t> shaped;  // a bit per sector whose entries could all be FAT's
    ScanFacts facts;   // lane 0's, then all
    ScanFacts second;  // lane 1's

    void Look(std::uint32_t k, const std::uint8_t* p, ScanFacts& f) {
        // A root entry's sector is kept in memory (up to a bound): every layout tried reads it
        // again. (FAT and DIFAT candidates are not: they are many, each read only by the few
        // layouts that list them, and a FAT is read in runs.)
        if (LooksLikeRootEntry(p)) {
            f.newest_root_modified = std::max(f.newest_root_modified, VersionTime(ReadLE64(p + 108)));
            if (f.roots.size() < kMaxRootCandidates) {
                f.roots.push_back(k);
                f.root_bytes.insert(f.root_bytes.end(), p, p + SECTOR_SIZE);
            }
        }
        LookForFat(k, p, f);
    }

    // Notes what makes the sector a FAT or DIFAT candidate.
    void LookForFat(std::uint32_t k, const std::uint8_t* p, ScanFacts& f) {
        std::array<std::uint32_t, kEntriesPerSector> e;
        for (std::uint32_t i = 0; i < kEntriesPerSector; ++i) {
            e[i] = ReadLE32(p + 4 * i);
            if (e[i] >= s && e[i] < kDifSect) return;  // neither a sector nor a mark
        }
        shaped[k >> 6] |= std::uint64_t{1} << (k & 63);
        // A DIFAT sector: a run of sector numbers, then only FREESECT, then its link.
        std::uint32_t listed = 0;
        while (listed < kDifatEntriesPerSector && e[listed] < s) ++listed;
        bool free_tail = true;
        for (std::uint32_t i = listed; i < kDifatEntriesPerSector; ++i)
            free_tail &= e[i] == kFreeSect;
        const std::uint32_t link = e[kDifatEntriesPerSector];
        const bool difat_like =
            listed > 0 && free_tail && (link < s || link == kEndOfChain || link == kFreeSect);
        if (difat_like && f.difat_shaped.size() < kMaxDifatShaped)
            f.difat_shaped.push_back({k, e[0], link, listed});
        FatCandidate c;
        c.sector = k;
        std::array<std::uint32_t, kEntriesPerSector> blocks;
        std::uint32_t n = 0;
        for (std::uint32_t i = 0; i < kEntriesPerSector; ++i) {
            const std::uint32_t v = e[i];
            if (v == kFatSect) c.fat_marks[i >> 6] |= std::uint64_t{1} << (i & 63);
            if (v == kDifSect) c.difat_marks[i >> 6] |= std::uint64_t{1} << (i & 63);
            if (v < s && v > i && (v - i - 1) % kEntriesPerSector == 0)
                blocks[n++] = (v - i - 1) / kEntriesPerSector;
        }
        std::sort(blocks.begin(), blocks.begin() + n);
        for (std::uint32_t i = 0; i < n;) {
            std::uint32_t j = i;
            while (j < n && blocks[j] == blocks[i]) ++j;
            if (j - i > c.votes) {
                c.votes = j - i;
                c.block = blocks[i];
            }
            i = j;
        }
        const bool marked =
            (c.fat_marks[0] | c.fat_marks[1] | c.difat_marks[0] | c.difat_marks[1]) != 0;
        if (c.votes == 0 && !marked) return;
        if (c.votes > 0) f.by_block[c.block].push_back(f.candidates.size());
        if (c.votes == 0 && (c.fat_marks[0] | c.fat_marks[1]) != 0 &&
            f.marks_only.size() < kMaxRootCandidates)
            f.marks_only.push_back(k);
        if (c.votes == 0 && HasBit(c.fat_marks, k % kEntriesPerSector))
            f.self_marking[k / kEntriesPerSector].push_back(f.candidates.size());
        f.candidates.push_back(c);  // in ascending sector order, as the scan goes
    }
};

ReconstructionScan::ReconstructionScan(std::uint64_t file_length)
    : state_(std::make_unique<State>()) {
    state_->s = SectorCount(file_length);
    state_->shaped.assign((static_cast<std::size_t>(state_->s) + 63) / 64, 0);
}
ReconstructionScan::ReconstructionScan(ReconstructionScan&&) noexcept = default;
ReconstructionScan& ReconstructionScan::operator=(ReconstructionScan&&) noexcept = default;
ReconstructionScan::~ReconstructionScan() = default;

std::uint64_t ReconstructionScan::Limit() const {
    return (static_cast<std::uint64_t>(state_->s) + 1) * SECTOR_SIZE;
}

void ReconstructionScan::Look(int lane, const FileChunk& c) {
    State& st = *state_;
    ScanFacts& facts = lane == 0 ? st.facts : st.second;
    const std::uint64_t first = c.pos / SECTOR_SIZE - 1;
    const std::size_t count = c.bytes.size() / SECTOR_SIZE;
    for (std::size_t i = 0; i < count && first + i < st.s; ++i)
        st.Look(static_cast<std::uint32_t>(first + i), c.bytes.data() + i * SECTOR_SIZE, facts);
}

void ReconstructionScan::Discard() {
    state_->facts = ScanFacts{};
    state_->second = ScanFacts{};
    std::fill(state_->shaped.begin(), state_->shaped.end(), std::uint64_t{0});
}

void ReconstructionScan::Finish() {
    state_->facts.Append(std::move(state_->second));
    state_->second = ScanFacts{};
}

namespace {

// The reconstruction's own pass, when the caller made none.
ReconstructionScan ScanOf(RandomAccessFile& file) {
    ReconstructionScan scan(file.Length());
    // Fits the cache, and measured as fast as any size. No read-ahead thread: each sector
    // gets only a glance, and handing every chunk to another core costs more than that.
    constexpr std::size_t kChunk = std::size_t{512} << 10;
    if (!ReadHalvesSideBySide(file, SECTOR_SIZE, scan.Limit(), kChunk,
                              [&](int lane, const FileChunk& c) { scan.Look(lane, c); })) {
        // Not to be done so, or a read failed: again in order, which records any error.
        scan.Discard();
        ReadInOrder(file, SECTOR_SIZE, scan.Limit(), kChunk, ReadAhead::kNone,
                    [&](const FileChunk& c) { scan.Look(0, c); });
    }
    scan.Finish();
    return scan;
}

class Reconstructor {
  public:
    Reconstructor(RandomAccessFile& file, const CompoundFileHeader* hint, CheckScratch* scratch,
                  ReconstructionScan* scan)
        : raw_(file),
          kept_(file),
          file_(kept_),
          hint_(hint),
          given_scan_(scan),
          scratch_(scratch ? *scratch : own_scratch_) {}

    Reconstruction Run() {
        Reconstruction r;
        const std::uint64_t length = file_.Length();
        s_ = SectorCount(length);
        if (file_.Failed()) return Fail("the file could not be read: " + file_.Error());
        if (s_ == 0) return Fail("the file holds no sector after its header");

        if (hint_) {
            CompoundFileHeader h = *hint_;
            CanonicalizeFixedFields(h);
            if (Try(h)) return std::move(best_);
            // A header that is no header at all (zeroed, random) says nothing worth reporting.
            if (!Plausible(*hint_)) best_.problem.clear();
        }
        // From here on the header as found only breaks ties, and only when it looks like a
        // header at all: a zeroed or random one would otherwise pull towards sector 0.
        if (hint_ && !Plausible(*hint_)) hint_ = nullptr;
        Scan();
        if (file_.Failed()) return Fail("the file could not be read: " + file_.Error());
        if (facts_.candidates.empty()) {
            // Its one FAT sector may be wiped, as the header is.
            if (!hint_) TryWipedSubstitutes({});
            if (!sound_.empty()) return Best();
            if (!unsound_.empty()) return Unfound();
            return Fail(
                "no sector of the file looks like a FAT sector, so the sector chains "
                "cannot be traced");
        }

        // A FAT too big for the header: its DIFAT chain says outright which sector holds
        // every block from 109 on, so that chain is looked for first.
        if (TryDifatChains()) return Best();

        // Files saved in place keep whole earlier versions (FAT, directory, mini FAT) in
        // free sectors, and those check out too. Gather the sound layouts, then pick one.
        std::vector<std::uint32_t> initial = InitialAssignment();
        std::set<std::vector<std::uint32_t>> tried;
        std::vector<std::vector<std::uint32_t>> tried_in_order;
        int attempts = 0;
        // Settling is costly on a big FAT and gives the same for the same start: most seeds
        // below start from the same assignment.
        std::set<std::vector<std::uint32_t>> settled;
        auto attempt = [&](std::vector<std::uint32_t> a) {
            if (attempts >= kMaxFatAttempts || sound_.size() >= kMaxSoundLayouts) return;
            if (!settled.insert(a).second) return;
            Settle(a);
            if (a.empty() || !tried.insert(a).second) return;
            ++attempts;
            tried_in_order.push_back(a);
            TryFat(a);
        };
        attempt(initial);
        // Every sector carrying FATSECT marks seeds the FAT it belongs to.
        for (std::size_t i = 0; i < facts_.candidates.size() && attempts < kMaxFatAttempts; ++i) {
            const FatCandidate& c = facts_.candidates[i];
            if (c.votes == 0 || c.block >= initial.size() || (c.fat_marks[0] | c.fat_marks[1]) == 0)
                continue;
            std::vector<std::uint32_t> a = initial;
            a[c.block] = c.sector;
            for (std::uint32_t k : Claims(a, false)) {
                const FatCandidate* m = CandidateAt(k);
                if (m && m->votes > 0 && m->block < a.size()) a[m->block] = k;
            }
            attempt(a);
        }
        // Stale copies of single FAT sectors: try the other candidates block by block.
        for (std::uint32_t b = 0; b < initial.size() && attempts < kMaxFatAttempts; ++b) {
            auto it = facts_.by_block.find(b);
            if (it == facts_.by_block.end()) continue;
            for (std::size_t c : it->second) {
                std::vector<std::uint32_t> a = initial;
                a[b] = facts_.candidates[c].sector;
                attempt(a);
            }
        }
        // With the header lost too, and unless a sound layout is the latest version, a FAT
        // sector may be wiped as well. (A header that looks like one names its FAT sectors.)
        if (!hint_ &&
            (sound_.empty() || OlderThanNewestRoot(BestLayout().check.root_modified, best_))) {
            tried_in_order.insert(tried_in_order.begin(), initial);
            TryWipedSubstitutes(tried_in_order, &tried);
        }
        if (!sound_.empty()) return Best();
        return Unfound();
    }

  private:
    // A sound layout and what speaks for it: the fewest sectors in use that nothing holds (a
    // mix of versions, or a wrong mini FAT, leaks), then agreement with the header as found,
    // then the newest root
    // entry, then how far into the file its FAT reaches (the newest version describes the
    // whole file), then the fewest FAT sectors (stale ones past the end check out too), then
    // how late in the file its structures lie (saving in place appends them).
    struct Layout {
        CompoundFileHeader header;
        CheckResult check;
        std::array<std::uint64_t, 7> rank{};
    };
    static constexpr std::size_t kMaxSoundLayouts = 8;
    static constexpr std::size_t kMaxUnsoundKept = 8;
    static constexpr std::size_t kMaxUnsoundGathered = 1024;

    Reconstruction Unfound() {
        if (best_.problem.empty())
            best_.problem = "no header could be found under which the file checks out";
        best_.found = false;
        KeepUnsound();
        return std::move(best_);
    }

    // A FAT sector wiped with the header (every byte the same) votes for no block and marks
    // nothing, so the assignments tried hold another sector in its place (an earlier save's
    // copy, a mini FAT sector), or none. In each assignment, a block whose sector the FAT
    // does not mark FATSECT, or that has none, takes in turn the wiped sectors that could be
    // its own: marked FATSECT by the rest of the FAT, or lying where only a wiped block
    // describes them; the sectors next to its neighbours' first. Its layouts then fail past
    // the header, for the structure repair to rebuild the wiped block.
    void TryWipedSubstitutes(const std::vector<std::vector<std::uint32_t>>& starts,
                             std::set<std::vector<std::uint32_t>>* tried = nullptr) {
        std::set<std::vector<std::uint32_t>> own_tried;
        if (!tried) tried = &own_tried;
        int attempts = 0;
        std::vector<std::vector<std::uint32_t>> all = starts;
        if (all.empty()) all.emplace_back();
        for (std::size_t start = 0; start < all.size() && start < kMaxWipedStarts; ++start) {
            if (attempts >= kMaxWipedAttempts) break;
            std::vector<std::uint32_t> a = all[start];
            a.resize(std::max<std::size_t>(a.size(), BlocksNeeded()), kFreeSect);
            if (a.empty()) continue;
            // The entries of the blocks assigned, and which blocks are wiped.
            std::vector<std::uint32_t> present;
            for (std::uint32_t k : a) {
                if (k != kFreeSect) present.push_back(k);
            }
            std::vector<std::uint32_t> got(present.size() * kEntriesPerSector);
            if (!present.empty()) ReadSectorRuns(file_, present, got.data());
            std::vector<std::uint32_t> entries(a.size() * kEntriesPerSector, kFreeSect);
            std::vector<bool> wiped(a.size(), true);  // an empty block says nothing either
            // A block whose sector was wiped only in part is that sector's own: an earlier
            // save's copy of it would carry no wiped run.
            std::vector<bool> partly(a.size(), false);
            for (std::uint32_t b = 0, i = 0; b < a.size(); ++b) {
                if (a[b] == kFreeSect) continue;
                const auto block =
                    std::span(got).subspan(i++ * kEntriesPerSector, kEntriesPerSector);
                std::copy(block.begin(), block.end(), entries.begin() + b * kEntriesPerSector);
                wiped[b] = Wiped(block);
                partly[b] = !wiped[b] && HoldsWipedEntries(block);
            }
            auto visible = [&](std::uint32_t k) {
                return k / kEntriesPerSector < a.size() && !wiped[k / kEntriesPerSector];
            };
            std::set<std::uint32_t> marked;
            for (std::uint32_t k = 0; k < entries.size() && k < s_; ++k) {
                if (entries[k] == kFatSect && !wiped[k / kEntriesPerSector]) marked.insert(k);
            }
            const std::set<std::uint32_t> used(a.begin(), a.end());
            // A FAT sector's own entry marks it FATSECT, or (some writers) chains the FAT
            // sectors in block order like a stream's.
            auto marked_at = [&](std::uint32_t b) {
                const std::uint32_t k = a[b];
                return entries[k] == kFatSect ||
                       entries[k] == (b + 1 < a.size() ? a[b + 1] : kEndOfChain);
            };
            // A sector the FAT marks that no block holds: some block's own sector, wiped.
            const bool unheld = std::any_of(marked.begin(), marked.end(),
                                            [&](std::uint32_t w) { return !used.count(w); });
            // The blocks to try: one with no sector or with a sector the FAT does not mark, and
            // the block whose entry fails to mark it (an earlier save's copy of its own block).
            // While a marked sector is unheld, so is one whose sector only it marks itself, as
            // an earlier save's copy of it does.
            std::vector<std::uint32_t> suspects;
            for (std::uint32_t b = 0; b < a.size() && suspects.size() < kMaxWipedBlocksSearched;
                 ++b) {
                const std::uint32_t k = a[b];
                if (partly[b]) continue;
                const bool self_marked = k != kFreeSect && k / kEntriesPerSector == b;
                if (k != kFreeSect && (!visible(k) || marked_at(b)) && !(unheld && self_marked))
                    continue;
                for (const std::uint32_t c : {b, k == kFreeSect ? b : k / kEntriesPerSector}) {
                    if (std::find(suspects.begin(), suspects.end(), c) == suspects.end())
                        suspects.push_back(c);
                }
            }
            for (const std::uint32_t b : suspects) {
                // With this block wiped, a sector it describes is known by nothing else.
                // A wiped sector in the last block, beyond what the file needs, may be the one
                // a block before lost: it moves there.
                auto moves = [&](std::uint32_t w) {
                    return a.size() > BlocksNeeded() && a.back() == w && wiped.back() &&
                           b + 1 < a.size();
                };
                auto could_stand = [&](std::uint32_t w, std::uint8_t* fill) {
                    if (w >= s_ || (used.count(w) && !moves(w)) || !Shaped(w) || CandidateAt(w))
                        return false;
                    const std::uint32_t own = w / kEntriesPerSector;
                    if (!marked.count(w) && own != b && visible(w)) return false;
                    std::array<std::uint8_t, SECTOR_SIZE> buf{};
                    ReadSector(file_, w, buf.data());
                    *fill = buf[0];
                    return Uniform(buf.data());
                };
                // Each with how little speaks for it: marked, next to a neighbour's, only there.
                std::vector<std::pair<std::uint32_t, std::uint32_t>> ways;
                std::set<std::uint8_t> fills;
                auto consider = [&](std::uint32_t w, std::uint32_t weakness) {
                    std::uint8_t fill = 0;
                    if (std::none_of(ways.begin(), ways.end(),
                                     [w](auto x) { return x.first == w; }) &&
                        could_stand(w, &fill)) {
                        ways.push_back({w, weakness});
                        fills.insert(fill);
                    }
                };
                for (std::uint32_t w : marked) consider(w, 1);
                if (ways.empty()) {
                    // Only where the rest of the FAT says nothing: then every wiped sector that
                    // could stand there is looked at, for a wrong one taken would leave the right
                    // one to a stream in its place, which is only harmless when both hold the
                    // same bytes.
                    if (b > 0 && a[b - 1] != kFreeSect) consider(a[b - 1] + 1, 2);
                    if (b + 1 < a.size() && a[b + 1] != kFreeSect && a[b + 1] > 0)
                        consider(a[b + 1] - 1, 2);
                    const std::uint32_t end =
                        std::min<std::uint32_t>(s_, (b + 1) * kEntriesPerSector);
                    for (std::uint32_t w = b * kEntriesPerSector; w < end; ++w) consider(w, 3);
                    if (fills.size() > 1) continue;
                }
                if (ways.size() > kMaxWipedWays) ways.resize(kMaxWipedWays);
                for (const auto& [w, weakness] : ways) {
                    if (attempts >= kMaxWipedAttempts) break;
                    std::vector<std::uint32_t> t = a;
                    if (moves(w)) t.pop_back();
                    t[b] = w;
                    if (std::find(t.begin(), t.end(), kFreeSect) != t.end()) continue;
                    if (!tried->insert(t).second) continue;
                    ++attempts;
                    weakness_ = weakness;
                    TryFat(t);
                    weakness_ = 0;
                }
            }
        }
    }

    // The layouts whose FAT agrees best with its own FATSECT marks first, and of those the
    // most likely of each FAT first.
    void KeepUnsound() {
        std::stable_sort(unsound_.begin(), unsound_.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        for (std::size_t i = 0; i < unsound_.size() && i < kMaxUnsoundKept; ++i)
            best_.unsound_layouts.push_back(unsound_[i].second);
    }

    const Layout& BestLayout() const {
        return *std::max_element(sound_.begin(), sound_.end(),
                                 [](const Layout& x, const Layout& y) { return x.rank < y.rank; });
    }

    Reconstruction Best() {
        KeepUnsound();
        const Layout& best = BestLayout();
        best_.found = true;
        best_.header = best.header;
        best_.check = best.check;
        best_.problem.clear();
        return std::move(best_);
    }

    // DIFAT chains: sectors shaped like DIFAT sectors whose every entry names a FAT candidate,
    // linked through their last entry, from a head no other links to. Blocks 0 to 108 then go
    // to the candidates their successors point into, and the gaps (FAT sectors full of marks)
    // to the sectors the chosen FAT marks FATSECT, in order. True when a layout checks out.
    bool TryDifatChains() {
        std::map<std::uint32_t, DifatShaped> verified;
        std::array<std::uint8_t, SECTOR_SIZE> buf{};
        std::size_t reads = 0;
        for (const DifatShaped& d : facts_.difat_shaped) {
            if (verified.size() >= kMaxDifatVerified || reads >= kMaxDifatReads) break;
            if (!CandidateAt(d.first)) continue;
            ++reads;
            ReadSector(file_, d.sector, buf.data());
            bool all = true;
            for (std::uint32_t i = 0; i < d.listed && all; ++i)
                all = CandidateAt(ReadLE32(buf.data() + 4 * i)) != nullptr;
            if (all) verified[d.sector] = d;
        }
        if (verified.empty()) return false;
        std::set<std::uint32_t> linked;
        for (const auto& [k, d] : verified) linked.insert(d.link);
        std::vector<std::uint32_t> heads;
        if (hint_ && verified.count(hint_->first_difat_sector_location))
            heads.push_back(hint_->first_difat_sector_location);
        for (const auto& [k, d] : verified) {
            if (!linked.count(k) && (heads.empty() || heads[0] != k)) heads.push_back(k);
        }
        if (heads.size() > kMaxDifatHeads) heads.resize(kMaxDifatHeads);

        const std::vector<std::uint32_t> initial = InitialAssignment();
        for (std::uint32_t head : heads) {
            std::vector<std::uint32_t> listed;
            std::set<std::uint32_t> chain;
            bool ok = true;
            for (std::uint32_t d = head;;) {
                auto it = verified.find(d);
                if (it == verified.end() || !chain.insert(d).second) {
                    ok = false;
                    break;
                }
                ReadSector(file_, d, buf.data());
                for (std::uint32_t i = 0; i < it->second.listed; ++i)
                    listed.push_back(ReadLE32(buf.data() + 4 * i));
                if (it->second.listed < kDifatEntriesPerSector) break;
                d = it->second.link;
                if (d == kEndOfChain || d == kFreeSect) break;
            }
            if (!ok) continue;
            std::vector<std::uint32_t> a(kHeaderDifatEntries, kFreeSect);
            a.insert(a.end(), listed.begin(), listed.end());
            std::set<std::uint32_t> used(listed.begin(), listed.end());
            used.insert(chain.begin(), chain.end());
            for (std::uint32_t b = 0; b < kHeaderDifatEntries && b < initial.size(); ++b) {
                if (initial[b] != kFreeSect && !used.count(initial[b])) {
                    a[b] = initial[b];
                    used.insert(initial[b]);
                }
            }
            // A sector the FAT does not mark FATSECT where it lies gives way (a mini FAT or
            // directory sector can look like successors of block 0); the gaps take, in order,
            // the sectors the FAT marks FATSECT and those made of marks alone (FAT sectors
            // describing blocks full of FAT sectors, which no successor points into).
            for (int round = 0; round < 8; ++round) {
                bool changed = false;
                for (std::uint32_t b = 0; b < kHeaderDifatEntries; ++b) {
                    const std::uint32_t k = a[b];
                    if (k == kFreeSect || k / kEntriesPerSector >= a.size()) continue;
                    const FatCandidate* owner = CandidateAt(a[k / kEntriesPerSector]);
                    if (owner && (owner->fat_marks[0] | owner->fat_marks[1]) != 0 &&
                        !HasBit(owner->fat_marks, k % kEntriesPerSector)) {
                        used.erase(k);
                        a[b] = kFreeSect;
                        changed = true;
                    }
                }
                std::set<std::uint32_t> spare = Claims(a, false);
                spare.insert(facts_.marks_only.begin(), facts_.marks_only.end());
                auto next = spare.begin();
                for (std::uint32_t b = 0; b < kHeaderDifatEntries; ++b) {
                    if (a[b] != kFreeSect) continue;
                    while (next != spare.end() && used.count(*next)) ++next;
                    if (next == spare.end()) break;
                    a[b] = *next;
                    used.insert(*next++);
                    changed = true;
                }
                if (!changed) break;
            }
            if (std::find(a.begin(), a.end(), kFreeSect) != a.end()) continue;
            CompoundFileHeader h;
            CanonicalizeFixedFields(h);
            h.difat.fill(kFreeSect);
            h.first_difat_sector_location = head;
            h.number_of_difat_sectors = static_cast<std::uint32_t>(chain.size());
            TryLayouts(h, a);
        }
        return !sound_.empty();
    }

    Reconstruction Fail(std::string problem) {
        best_.found = false;
        best_.problem = std::move(problem);
        return std::move(best_);
    }

    bool Plausible(const CompoundFileHeader& h) const {
        if (h.number_of_fat_sectors == 0 || h.number_of_fat_sectors > s_) return false;
        for (std::uint32_t j = h.number_of_fat_sectors; j < kHeaderDifatEntries; ++j) {
            if (h.difat[j] != kFreeSect) return false;
        }
        return true;
    }

    std::uint64_t HintAgreement(const CompoundFileHeader& h) const {
        if (!hint_) return 0;
        std::uint64_t n = 0;
        n += h.first_directory_sector_location == hint_->first_directory_sector_location;
        n += h.first_mini_fat_sector_location == hint_->first_mini_fat_sector_location;
        n += h.number_of_fat_sectors == hint_->number_of_fat_sectors;
        n += h.first_difat_sector_location == hint_->first_difat_sector_location;
        for (std::uint32_t j = 0; j < kHeaderDifatEntries; ++j) n += h.difat[j] == hint_->difat[j];
        return n;
    }

    // The check takes the FAT already loaded into the scratch when `h` lists the same sectors.
    bool TryLayout(const CompoundFileHeader& h, std::uint64_t extent, std::uint64_t latest) {
        CheckResult check = CheckCompoundFileWith(file_, h, scratch_);
        if (check.sound) {
            const std::uint64_t in_use = check.sectors_in_use;
            const std::uint64_t leaked = check.leaked_sectors;
            const std::uint64_t modified = VersionTime(check.root_modified);
            sound_.push_back({h,
                              std::move(check),
                              {kFreeSect - leaked, HintAgreement(h), modified, extent,
                               kFreeSect - h.number_of_fat_sectors, latest, in_use}});
            return true;
        }
        if (best_.problem.empty()) {
            best_.check = check;
            best_.problem = check.problem;
        }
        if (unsound_.size() < kMaxUnsoundGathered)
            unsound_.push_back({{disagreements_, layouts_of_fat_++, weakness_}, h});
        return false;
    }

    bool Try(const CompoundFileHeader& h) {
        CheckResult check = CheckCompoundFileWith(file_, h, scratch_);
        if (check.sound) {
            best_.found = true;
            best_.header = h;
            best_.check = std::move(check);
            best_.problem.clear();
            return true;
        }
        if (best_.problem.empty()) {
            // The first candidate is the most likely one: its fault is the one worth reporting.
            best_.check = check;
            best_.problem = check.problem;
        }
        return false;
    }

    // The one pass over the file: a few facts about every sector that could be a FAT sector,
    // and every sector whose first directory entry is a root entry; or the pass the caller
    // made. It reads the file itself, not through kept_, which it then fills with the root
    // sectors.
    void Scan() {
        ReconstructionScan scan = given_scan_ ? std::move(*given_scan_) : ScanOf(raw_);
        ReconstructionScan::State& st = scan.state();
        facts_ = std::move(st.facts);
        shaped_ = std::move(st.shaped);
        for (std::size_t i = 0; i < facts_.roots.size(); ++i)
            kept_.Keep(facts_.roots[i], facts_.root_bytes.data() + i * SECTOR_SIZE);
        facts_.root_bytes = {};
        best_.newest_root_modified = facts_.newest_root_modified;
        kept_.Resync();
    }

    bool Shaped(std::uint32_t k) const { return (shaped_[k >> 6] >> (k & 63)) & 1; }

    const FatCandidate* CandidateAt(std::uint32_t sector) const {
        const auto it =
            std::lower_bound(facts_.candidates.begin(), facts_.candidates.end(), sector,
                             [](const FatCandidate& c, std::uint32_t k) { return c.sector < k; });
        return it == facts_.candidates.end() || it->sector != sector ? nullptr : &*it;
    }

    std::uint32_t BlocksNeeded() const { return (s_ + kEntriesPerSector - 1) / kEntriesPerSector; }

    // Per block, the header's own FAT sector when it fits, else the best-supported candidate.
    std::vector<std::uint32_t> InitialAssignment() {
        for (auto& [b, list] : facts_.by_block) {
            std::stable_sort(list.begin(), list.end(), [this](std::size_t x, std::size_t y) {
                return facts_.candidates[x].votes > facts_.candidates[y].votes;
            });
        }
        std::vector<std::uint32_t> a(BlocksNeeded(), kFreeSect);
        for (std::uint32_t b = 0; b < a.size(); ++b) {
            if (hint_ && b < kHeaderDifatEntries) {
                const std::uint32_t v = hint_->difat[b];
                if (v < s_ && Shaped(v)) {
                    const FatCandidate* c = CandidateAt(v);
                    if (!c || c->votes == 0 || c->block == b) {
                        a[b] = v;
                        continue;
                    }
                }
            }
            auto it = facts_.by_block.find(b);
            if (it != facts_.by_block.end()) a[b] = facts_.candidates[it->second.front()].sector;
        }
        return a;
    }

    // The sectors the assigned FAT marks with `marks` (FATSECT or DIFSECT).
    std::set<std::uint32_t> Claims(const std::vector<std::uint32_t>& a, bool difat) const {
        std::set<std::uint32_t> out;
        for (std::uint32_t b = 0; b < a.size(); ++b) {
            const FatCandidate* c = a[b] == kFreeSect ? nullptr : CandidateAt(a[b]);
            if (!c) continue;
            const auto& bits = difat ? c->difat_marks : c->fat_marks;
            // Marks are few: visit the set bits only (this runs for every assignment tried).
            for (std::uint32_t w = 0; w < bits.size(); ++w) {
                for (std::uint64_t rest = bits[w]; rest != 0; rest &= rest - 1) {
                    const std::uint64_t k = static_cast<std::uint64_t>(b) * kEntriesPerSector +
                                            w * 64 + static_cast<std::uint32_t>(std::countr_zero(rest));
                    if (k < s_) out.insert(static_cast<std::uint32_t>(k));
                }
            }
        }
        return out;
    }

    // Makes an assignment agree with its own FATSECT marks: a block whose sector the FAT does
    // not mark gives way to a candidate it does mark, and marked sectors no block holds fill
    // the empty blocks (and extend the FAT). Clears `a` when some block stays empty.
    void Settle(std::vector<std::uint32_t>& a) const {
        for (int round = 0; round < 8; ++round) {
            const std::set<std::uint32_t> marked = Claims(a, false);
            std::set<std::uint32_t> used(a.begin(), a.end());
            auto taken = [&used](std::uint32_t k) { return used.count(k) != 0; };
            auto place = [&](std::uint32_t b, std::uint32_t k) {
                used.erase(a[b]);
                a[b] = k;
                used.insert(k);
            };
            bool changed = false;
            // A block no successor points into may hold a sector that marks itself (a FAT
            // sector describing its own block, e.g. one full of FAT sectors), even when no
            // other block marks any (the FAT at the end of the file, in a block of its own).
            for (std::uint32_t b = 0; b < a.size(); ++b) {
                if (a[b] != kFreeSect) continue;
                auto it = facts_.self_marking.find(b);
                if (it == facts_.self_marking.end()) continue;
                for (std::size_t i : it->second) {
                    const FatCandidate& c = facts_.candidates[i];
                    if (!taken(c.sector)) {
                        place(b, c.sector);
                        changed = true;
                        break;
                    }
                }
            }
            // Writers lay the FAT out in order: a block nothing else claims takes the
            // sector after the previous block's, when that sector has no successors of its
            // own (it describes FAT sectors or free space).
            auto in_order = [&](std::uint32_t b, std::uint32_t k) {
                if (k >= s_ || !Shaped(k) || taken(k)) return;
                const FatCandidate* c = CandidateAt(k);
                if (!c || c->votes == 0) {
                    place(b, k);
                    changed = true;
                }
            };
            for (std::uint32_t b = 1; b < a.size(); ++b) {
                if (a[b] == kFreeSect && a[b - 1] != kFreeSect) in_order(b, a[b - 1] + 1);
            }
            // And the sector before the next block's (the first block's sector wiped).
            for (auto b = static_cast<std::uint32_t>(a.size()); b-- > 1;) {
                if (a[b - 1] == kFreeSect && a[b] != kFreeSect && a[b] > 0)
                    in_order(b - 1, a[b] - 1);
            }
            if (!marked.empty()) {
                for (std::uint32_t b = 0; b < a.size(); ++b) {
                    if (a[b] != kFreeSect && marked.count(a[b])) continue;
                    auto it = facts_.by_block.find(b);
                    if (it == facts_.by_block.end()) continue;
                    for (std::size_t c : it->second) {
                        const std::uint32_t k = facts_.candidates[c].sector;
                        if (marked.count(k) && !taken(k)) {
                            place(b, k);
                            changed = true;
                            break;
                        }
                    }
                }
                std::vector<std::uint32_t> spare;
                for (std::uint32_t k : marked) {
                    if (!Shaped(k) || taken(k)) continue;
                    const FatCandidate* c = CandidateAt(k);
                    if (c && c->votes > 0 && c->block >= a.size() && c->block < s_) {
                        a.resize(c->block + 1, kFreeSect);  // a block past the ones needed
                        place(c->block, k);
                        changed = true;
                    } else if (!c || c->votes == 0) {
                        spare.push_back(k);
                    }
                }
                std::size_t next = 0;
                // Sectors the FAT marks take the empty blocks and those held by sectors it
                // marks DIFSECT or neither marks nor backs by successors (a DIFAT sector's run
                // of FAT sector numbers looks like successors too).
                const std::set<std::uint32_t> difat_marked = Claims(a, true);
                auto weak = [&](std::uint32_t b) {
                    if (a[b] == kFreeSect || difat_marked.count(a[b])) return true;
                    if (marked.count(a[b])) return false;
                    // The FAT marks a sector for every block: an unmarked one is not its own.
                    if (marked.size() >= a.size()) return true;
                    const FatCandidate* c = CandidateAt(a[b]);
                    return !(c && c->votes > 0 && c->block == b);
                };
                for (std::uint32_t b = 0; b < a.size() && next < spare.size(); ++b) {
                    if (weak(b)) {
                        place(b, spare[next++]);
                        changed = true;
                    }
                }
                while (next < spare.size() && a.size() < s_) {
                    a.push_back(spare[next]);
                    used.insert(spare[next++]);
                    changed = true;
                }
            }
            if (!changed) break;
        }
        if (std::find(a.begin(), a.end(), kFreeSect) != a.end()) a.clear();
    }

    // Into the scratch, where the checks find it; reused from layout to layout, as a fresh FAT
    // of a big file is thousands of pages to fault in. Not read again when it is there already.
    std::span<const std::uint32_t> LoadFat(const std::vector<std::uint32_t>& fat_sectors) {
        const std::size_t entries = fat_sectors.size() * kEntriesPerSector;
        if (scratch_.fat_sectors != fat_sectors || scratch_.fat.size() != entries) {
            ReadSectorRuns(file_, fat_sectors, scratch_.fat.Resize(entries));
            scratch_.fat_sectors = fat_sectors;
        }
        return scratch_.fat.View();
    }

    // Given the FAT sectors in block order, fills in the rest of the header and checks each
    // layout the chains allow.
    bool TryFat(std::vector<std::uint32_t> fat_sectors) {
        CompoundFileHeader h;
        CanonicalizeFixedFields(h);
        h.difat.fill(kFreeSect);
        h.first_difat_sector_location = kEndOfChain;

        if (fat_sectors.size() > kHeaderDifatEntries) {
            // Past entry 108 the DIFAT sectors, not our guesses, say which sector holds which
            // block: find them by their DIFSECT marks and follow their links.
            const std::set<std::uint32_t> difat = Claims(fat_sectors, true);
            if (difat.empty()) return false;
            // The first DIFAT sector starts with FAT sector 109; from there its links lead.
            std::array<std::uint8_t, SECTOR_SIZE> buf{};
            std::uint32_t head = kFreeSect;
            for (std::uint32_t d : difat) {
                ReadSector(file_, d, buf.data());
                if (ReadLE32(buf.data()) == fat_sectors[kHeaderDifatEntries]) {
                    head = d;
                    break;
                }
            }
            if (head == kFreeSect) {
                // Else the one no other DIFAT sector links to.
                std::set<std::uint32_t> linked;
                for (std::uint32_t d : difat) {
                    ReadSector(file_, d, buf.data());
                    linked.insert(ReadLE32(buf.data() + 4 * kDifatEntriesPerSector));
                }
                for (std::uint32_t d : difat) {
                    if (!linked.count(d)) {
                        head = d;
                        break;
                    }
                }
            }
            if (head == kFreeSect) return false;
            fat_sectors.resize(kHeaderDifatEntries);
            std::set<std::uint32_t> seen;
            std::uint32_t d = head, count = 0;
            bool ended = false;
            while (!ended && d < s_ && seen.insert(d).second) {
                ReadSector(file_, d, buf.data());
                for (std::uint32_t i = 0; i < kDifatEntriesPerSector; ++i) {
                    const std::uint32_t v = ReadLE32(buf.data() + 4 * i);
                    if (v == kFreeSect) {
                        ended = true;
                        break;
                    }
                    fat_sectors.push_back(v);
                }
                ++count;
                d = ReadLE32(buf.data() + 4 * kDifatEntriesPerSector);
            }
            h.first_difat_sector_location = head;
            h.number_of_difat_sectors = count;
        }
        return TryLayouts(h, fat_sectors);
    }

    static bool InWipedBlock(const std::vector<std::uint32_t>& wiped_blocks, std::uint32_t k) {
        return std::binary_search(wiped_blocks.begin(), wiped_blocks.end(), k / kEntriesPerSector);
    }

    // Given the whole FAT sector list and the DIFAT fields of `h`, finds the directory and the
    // mini FAT and checks each layout they allow.
    bool TryLayouts(CompoundFileHeader h, const std::vector<std::uint32_t>& fat_sectors) {
        h.number_of_fat_sectors = static_cast<std::uint32_t>(fat_sectors.size());
        for (std::size_t j = 0; j < fat_sectors.size() && j < kHeaderDifatEntries; ++j)
            h.difat[j] = fat_sectors[j];

        std::span<const std::uint32_t> fat = LoadFat(fat_sectors);
        auto entry = [&fat](std::uint32_t k) { return k < fat.size() ? fat[k] : kFreeSect; };
        // One pass over the FAT: how far into the file it reaches, and the sectors that head
        // a chain (in use, and no other entry leads to them), in ascending order.
        const std::size_t words = (static_cast<std::size_t>(s_) + 63) / 64;
        in_use_bits_.assign(words, 0);
        has_pred_bits_.assign(words, 0);
        std::uint64_t extent = 0;
        const std::uint32_t reach =
            static_cast<std::uint32_t>(std::min<std::size_t>(fat.size(), s_));
        bool wiped = false;
        std::vector<std::uint32_t> wiped_blocks;
        for (std::uint32_t k = 0; k < reach; ++k) {
            if (k % kEntriesPerSector == 0) {
                // A wiped block holds no chains that can be told: its
                // entries must not hide the heads of the chains they would lead to.
                const auto block = fat.subspan(k, std::min<std::size_t>(kEntriesPerSector, fat.size() - k));
                // So does one wiped in part: its other entries may lead into the wiped run.
                wiped = Wiped(block) || HoldsWipedEntries(block);
                if (wiped) wiped_blocks.push_back(k / kEntriesPerSector);
            }
            if (wiped) continue;
            const std::uint32_t v = fat[k];
            if (v == kFreeSect) continue;
            extent = k + 1;
            if (v == kEndOfChain || v < s_) in_use_bits_[k >> 6] |= std::uint64_t{1} << (k & 63);
            if (v < s_ && v != k) has_pred_bits_[v >> 6] |= std::uint64_t{1} << (v & 63);
        }
        // A FAT sector is marked FATSECT in the FAT, and a sector so marked is a FAT sector;
        // where the block holding the mark is wiped, nothing is known.
        const std::set<std::uint32_t> listed(fat_sectors.begin(), fat_sectors.end());
        disagreements_ = 0;
        layouts_of_fat_ = 0;
        for (std::uint32_t k : fat_sectors) {
            if (k < reach && !InWipedBlock(wiped_blocks, k) && fat[k] != kFatSect) ++disagreements_;
        }
        for (std::uint32_t k = 0; k < reach; ++k) {
            if (fat[k] == kFatSect && !InWipedBlock(wiped_blocks, k) && !listed.count(k))
                ++disagreements_;
        }
        std::vector<std::uint32_t> heads;
        for (std::size_t w = 0; w < words; ++w) {
            for (std::uint64_t bits = in_use_bits_[w] & ~has_pred_bits_[w]; bits != 0;
                 bits &= bits - 1)
                heads.push_back(static_cast<std::uint32_t>(w * 64) + std::countr_zero(bits));
        }
        auto is_head = [&heads](std::uint32_t k) {
            return std::binary_search(heads.begin(), heads.end(), k);
        };
        // A chain may start in a wiped block, where nothing says which sectors head chains:
        // any sector there that no entry leads to may.
        auto in_wiped_block = [&](std::uint32_t k) { return InWipedBlock(wiped_blocks, k); };
        auto may_head = [&](std::uint32_t k) {
            return is_head(k) || (in_wiped_block(k) && !((has_pred_bits_[k >> 6] >> (k & 63)) & 1));
        };
        // Chains may merge in a hostile file; a budget keeps the walks linear in all.
        std::uint64_t budget = 4 * static_cast<std::uint64_t>(s_) + 1024;
        auto chain_length = [&](std::uint32_t start) {
            std::uint32_t n = 0;
            for (std::uint32_t cur = start; cur < s_ && n <= s_ && budget > 0; cur = entry(cur)) {
                ++n;
                --budget;
            }
            return n;
        };

        // The directory begins with a root entry at the head of a chain in use.
        std::vector<std::uint32_t> dirs;
        if (hint_) {
            const std::uint32_t v = hint_->first_directory_sector_location;
            if (may_head(v) &&
                std::find(facts_.roots.begin(), facts_.roots.end(), v) != facts_.roots.end())
                dirs.push_back(v);
        }
        // Those the FAT shows heading a chain first; then those in wiped blocks.
        for (const bool shown : {true, false}) {
            for (std::uint32_t k : facts_.roots) {
                if ((shown ? is_head(k) : may_head(k)) &&
                    std::find(dirs.begin(), dirs.end(), k) == dirs.end())
                    dirs.push_back(k);
            }
        }
        int layouts = 0;
        std::array<std::uint8_t, SECTOR_SIZE> buf{};
        for (std::uint32_t dir : dirs) {
            // Chains the directory accounts for: its own, the mini stream's, the big streams'.
            std::set<std::uint32_t> accounted{dir};
            std::uint64_t mini_bytes = 0;
            std::uint32_t steps = 0;
            for (std::uint32_t cur = dir; cur < s_ && steps < s_; cur = entry(cur), ++steps) {
                if (steps > 0 && in_wiped_block(cur)) break;
                ReadSector(file_, cur, buf.data());
                for (std::uint32_t e = 0; e < 4; ++e) {
                    const DirectoryEntry d = ParseDirectoryEntry(buf.data() + e * kDirEntrySize);
                    if (steps == 0 && e == 0) {
                        mini_bytes = d.size;
                        if (d.size > 0) accounted.insert(d.start);
                    } else if (d.type == kTypeStream && d.size >= kMiniStreamCutoff) {
                        accounted.insert(d.start);
                    }
                }
            }
            // The mini FAT is the chain left over; none at all when there is no mini stream.
            const std::uint32_t expected = static_cast<std::uint32_t>(
                (mini_bytes / kMiniSectorSize + kEntriesPerSector - 1) / kEntriesPerSector);
            std::vector<std::pair<std::uint32_t, std::uint32_t>> minis;  // (first, length)
            if (hint_) {
                const std::uint32_t v = hint_->first_mini_fat_sector_location;
                if (is_head(v) && !accounted.count(v)) minis.push_back({v, chain_length(v)});
            }
            std::vector<std::pair<std::uint32_t, std::uint32_t>> others;
            for (std::uint32_t k : heads) {
                if (!accounted.count(k) && (minis.empty() || minis[0].first != k))
                    others.push_back({k, chain_length(k)});
            }
            // In a wiped block any sector no entry leads to may start it (but not one wiped
            // too, whose entries would all name one mini sector); its length is then the one
            // the mini stream asks for.
            if (mini_bytes != 0 && wiped_blocks.size() <= kMaxWipedBlocksSearched) {
                const std::set<std::uint32_t> fat_set(fat_sectors.begin(), fat_sectors.end());
                for (std::uint32_t b : wiped_blocks) {
                    const std::uint32_t end =
                        std::min<std::uint32_t>(s_, (b + 1) * kEntriesPerSector);
                    for (std::uint32_t k = b * kEntriesPerSector; k < end; ++k) {
                        if (!may_head(k) || accounted.count(k) || fat_set.count(k) ||
                            (!minis.empty() && minis[0].first == k))
                            continue;
                        ReadSector(file_, k, buf.data());
                        if (!Uniform(buf.data())) others.push_back({k, expected});
                    }
                }
            }
            // A mini FAT's entries all name mini sectors or are marks; rank by that first.
            const std::uint64_t mini_count = mini_bytes / kMiniSectorSize;
            std::map<std::uint32_t, std::uint32_t> fit;
            for (const auto& [k, n] : others) {
                ReadSector(file_, k, buf.data());
                std::uint32_t good = 0;
                for (std::uint32_t i = 0; i < kEntriesPerSector; ++i) {
                    const std::uint32_t v = ReadLE32(buf.data() + 4 * i);
                    good += v < mini_count || v == kEndOfChain || v == kFreeSect;
                }
                fit[k] = good;
                if (fit.size() >= 4096) break;  // hostile files: enough is enough
            }
            std::stable_sort(others.begin(), others.end(), [&](auto x, auto y) {
                const std::uint32_t fx = fit.count(x.first) ? fit[x.first] : 0;
                const std::uint32_t fy = fit.count(y.first) ? fit[y.first] : 0;
                if (fx != fy) return fx > fy;
                const auto dx = x.second > expected ? x.second - expected : expected - x.second;
                const auto dy = y.second > expected ? y.second - expected : expected - y.second;
                return dx < dy;
            });
            if (mini_bytes == 0) minis.insert(minis.begin(), {kEndOfChain, 0});
            minis.insert(minis.end(), others.begin(), others.end());
            if (mini_bytes != 0) minis.push_back({kEndOfChain, 0});
            for (const auto& [first, n] : minis) {
                if (++layouts > kMaxLayoutAttempts) return false;
                h.first_directory_sector_location = dir;
                h.first_mini_fat_sector_location = first;
                h.number_of_mini_fat_sectors = n;
                std::uint64_t latest = dir;
                for (std::uint32_t f : fat_sectors) latest = std::max<std::uint64_t>(latest, f);
                if (first < s_) latest = std::max<std::uint64_t>(latest, first);
                if (TryLayout(h, extent, latest)) return true;
                // A check that read another FAT into the scratch took this one's place.
                fat = LoadFat(fat_sectors);
            }
        }
        return false;
    }

    RandomAccessFile& raw_;  // read directly by the scan only
    KeptSectorsFile kept_;
    RandomAccessFile& file_;  // kept_: every other read goes through it
    const CompoundFileHeader* hint_;
    ReconstructionScan* given_scan_;  // the caller's pass, when it made one
    Reconstruction best_;
    std::uint32_t s_ = 0;
    std::vector<std::uint64_t> shaped_;  // a bit per sector whose entries could all be FAT's
    ScanFacts facts_;
    std::vector<Layout> sound_;
    // Layouts that failed past the header, each with how often its FAT disagrees with its own
    // FATSECT marks (TryLayouts' count for the FAT being tried).
    // Ranked by that count, then by their rank among the layouts of their FAT.
    std::vector<std::pair<std::array<std::uint32_t, 3>, CompoundFileHeader>> unsound_;
    std::uint32_t disagreements_ = 0;
    std::uint32_t weakness_ = 0;  // how little speaks for a wiped sector tried in a block
    std::uint32_t layouts_of_fat_ = 0;
    std::vector<std::uint64_t> in_use_bits_;    // TryLayouts' tables, a bit per sector,
    std::vector<std::uint64_t> has_pred_bits_;  // kept from call to call
    CheckScratch own_scratch_;                  // when the caller gives none
    CheckScratch& scratch_;  // the checks' tables and the FAT being tried, allocated once
};

}  // namespace

Reconstruction ComputeReconstructedHeader(RandomAccessFile& file, const CompoundFileHeader* hint,
                                          CheckScratch* scratch, ReconstructionScan* scan) {
    return Reconstructor(file, hint, scratch, scan).Run();
}

Reconstruction ReconstructHeader(RandomAccessFile& file, const CompoundFileHeader* hint,
                                 CheckScratch* scratch) {
    Reconstruction r = ComputeReconstructedHeader(file, hint, scratch);
    if (r.found) {
        const auto bytes = r.header.Bytes();
        if (!file.Seek(0) || !file.Write(bytes)) {
            r.found = false;
            r.problem = "the repaired header could not be written: " + file.Error();
        }
    }
    return r;
}

}  // namespace deckwright
