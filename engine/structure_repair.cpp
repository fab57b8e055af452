#include "engine/structure_repair.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <numeric>
#include <optional>
#include <set>

#include "engine/flipped_entries.h"
#include "engine/little_endian.h"
#include "engine/lost_entries.h"
#include "engine/presentation_check.h"
#include "engine/sector_classifiers.h"
#include "engine/view_read.h"

namespace deckwright {

std::uint64_t OverlayFile::Length() {
    const std::uint64_t n = file_.Length();
    if (file_.Failed()) RecordError(file_.Error());
    return std::max(n, length_);
}

std::size_t OverlayFile::Read(std::span<std::uint8_t> out) {
    std::string error;
    const std::size_t n = ReadUnderView(file_, pos_, Length(), out, &error);
    if (!error.empty()) {
        RecordError(error);
        return 0;
    }
    // Patch in the replaced sectors that overlap [pos_, pos_ + n).
    const std::uint64_t first = pos_ / SECTOR_SIZE;
    auto it = sectors_.lower_bound(first == 0 ? 0 : static_cast<std::uint32_t>(first - 1));
    for (; it != sectors_.end(); ++it) {
        const std::uint64_t at = (static_cast<std::uint64_t>(it->first) + 1) * SECTOR_SIZE;
        if (at >= pos_ + n) break;
        const std::uint64_t from = std::max(at, pos_);
        const std::uint64_t to = std::min(at + SECTOR_SIZE, pos_ + n);
        if (from < to)
            std::copy(it->second.begin() + static_cast<std::ptrdiff_t>(from - at),
                      it->second.begin() + static_cast<std::ptrdiff_t>(to - at),
                      out.begin() + static_cast<std::ptrdiff_t>(from - pos_));
    }
    pos_ += n;
    return n;
}

namespace {

using namespace cfb;

// Each round may find one more block damaged; a file needing more is refused.
constexpr int kMaxRounds = 12;
// No presentation's directory comes near this; it bounds what a hostile chain costs.
constexpr std::size_t kMaxDirectorySectors = 1024;

std::string Num(std::uint64_t v) {
    return std::to_string(v);
}

bool Regular(std::uint32_t v) {
    return v <= kMaxRegularSect;
}

// One chain the table must hold: from `start`, exactly `length` entries, or (length 0) as
// long as `more` says the chain so far is not enough.
struct ChainNeed {
    std::string name;
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::function<bool(const std::vector<std::uint32_t>&)> more;
    // When set: only sectors whose contents pass may be taken where the table is damaged.
    std::function<bool(std::uint32_t)> fits;
    // When set: what sector k's contents say of it as the chain's sector at index `at` (such as
    // a stream's known first bytes where it begins there): empty when they say nothing.
    std::function<std::optional<bool>(std::size_t at, std::uint32_t k)> tells;
};

// Where the chain whose sectors tell themselves apart (the directory's) is taken to go on from
// a sector, when more than one sector passes for its there.
struct TriedWay {
    std::uint32_t from = 0;
    std::uint32_t to = 0;
};

// A FAT or mini FAT as found, with the marks the file's own lists require in it.
struct TableFacts {
    std::vector<std::uint32_t> entries;  // as found, a multiple of 128
    std::uint32_t limit = 0;             // entries below describe sectors that exist
    std::map<std::uint32_t, std::uint32_t> marks;  // sector -> FATSECT or DIFSECT
    bool marks_kept = true;      // the writer marks its FAT sectors (some leave short chains)
    std::vector<bool> believable;  // per block: its entries look like a table's, not a wipe
    const char* unit = "sector";   // or "mini sector"
    // When set: sectors holding a FAT or directory left from an earlier save, never the data of
    // a stream.
    std::function<bool(std::uint32_t)> stale;
    // When set: sectors that begin as a small stream begins, which only the mini stream (the
    // chain whose contents tell) holds; elsewhere they are an earlier save's.
    std::function<bool(std::uint32_t)> small_start;
    std::optional<TriedWay> tried;  // the one way being tried, if any
};

// Where a rebuild stopped in doubt only over where the directory goes on: from `from`, the walk
// took `taken`, and each of `others` passes for a directory sector there as well.
struct DirectoryDoubt {
    std::uint32_t from = 0;
    std::uint32_t taken = 0;
    std::vector<std::uint32_t> others;
};

// Rebuilds the damaged blocks of one table from the chains the file says it holds. Rounds:
// a block whose entries contradict the chains is taken as damaged and the walk starts again.
class TableRebuild {
  public:
    explicit TableRebuild(const TableFacts& facts) : f_(facts) {
        const std::size_t n = f_.entries.size();
        damaged_.assign(n / kEntriesPerSector, false);
        out_ = f_.entries;
        FlagStatic();
    }

    // Starts a walk of every chain afresh.
    void BeginRound() {
        claimed_.assign(f_.entries.size(), false);
        via_.assign(f_.entries.size(), kFreeSect);
        set_.assign(f_.entries.size(), false);
        out_ = f_.entries;
        dangling_.clear();
        chains_.clear();
        restart_ = false;
        guessed_blind_ = kFreeSect;
        guessed_fitted_ = kFreeSect;
        guessed_fits_ = nullptr;
        fitted_guesses_ = 0;
        teller_guessed_ = false;
        problem_.clear();
        doubt_.reset();
        undecided_ = false;
        between_ = {kFreeSect, kFreeSect};
        trusted_pred_.assign(f_.entries.size(), kFreeSect);
        for (std::uint32_t k = 0; k < f_.limit && k < f_.entries.size(); ++k) {
            const std::uint32_t v = f_.entries[k];
            if (!Damaged(k) && Regular(v) && v < f_.limit) trusted_pred_[v] = k;
        }
    }

    // Chain starts the directory names: no chain taken through a damaged block may run into one.
    void AddStarts(const std::vector<ChainNeed>& needs) {
        for (const ChainNeed& n : needs) starts_.insert(n.start);
    }

    bool restart() const { return restart_; }
    const std::string& problem() const { return problem_; }
    // After a failure: whether it was for want of telling two ways apart, not a contradiction;
    // and when it was two sectors a chain could go on in, which.
    bool undecided() const { return undecided_; }
    const std::array<std::uint32_t, 2>& between() const { return between_; }
    // After Finish failed: set when the only doubt was where the directory goes on.
    const std::optional<DirectoryDoubt>& doubt() const { return doubt_; }
    bool Failed() const { return !problem_.empty(); }

    // Walks one chain, claiming its sectors. False when the round must start again or the
    // table cannot be rebuilt (problem() says which).
    bool Walk(const ChainNeed& need, std::vector<std::uint32_t>* sectors) {
        starts_.insert(need.start);
        chains_.push_back({need, {}});
        Chain& c = chains_.back();
        std::uint32_t cur = need.start;
        if (cur >= f_.limit || cur >= f_.entries.size())
            return Fail(need.name + " starts at " + std::string(f_.unit) + " " + Num(cur) +
                        ", outside the " + Num(f_.limit) + " the file holds");
        if (claimed_[cur]) {
            if (via_[cur] != kFreeSect && !Damaged(via_[cur])) return Contradiction(via_[cur]);
            return Fail(need.name + " starts at " + std::string(f_.unit) + " " + Num(cur) +
                        ", which another chain holds too");
        }
        if (!Continue(c, cur)) return false;
        if (sectors) *sectors = c.sectors;
        return true;
    }

    // After every chain is walked: links a lone unfinished chain to a lone sector in use that
    // nothing leads to, frees single leaked sectors, and fills the damaged blocks. False when
    // the table cannot be rebuilt with certainty.
    bool Finish() {
        std::vector<std::uint32_t> orphans;
        auto in_use = [this](std::uint32_t k) {
            const std::uint32_t v = f_.entries[k];
            return Regular(v) || v == kEndOfChain;
        };
        auto collect = [&] {
            orphans.clear();
            for (std::uint32_t k = 0; k < f_.limit && k < f_.entries.size(); ++k) {
                if (!Damaged(k) && !claimed_[k] && in_use(k) && trusted_pred_[k] == kFreeSect &&
                    !f_.marks.count(k))
                    orphans.push_back(k);
            }
        };
        collect();
        while (!dangling_.empty()) {
            // A lone unfinished chain goes on in a lone orphan; any goes on in the one sector
            // whose contents show it as the chain's next.
            std::size_t which = 0;
            std::uint32_t next = kFreeSect;
            if (dangling_.size() == 1 && orphans.size() == 1) next = orphans[0];
            for (; next == kFreeSect && which < dangling_.size(); ++which) {
                next = Told(dangling_[which]);
                if (next != kFreeSect) break;
            }
            if (next == kFreeSect) break;
            const Dangling d = dangling_[which];
            dangling_.erase(dangling_.begin() + static_cast<std::ptrdiff_t>(which));
            Chain& c = chains_[d.chain];
            Set(d.at, next);
            via_[next] = d.at;
            if (!Continue(c, next)) return false;
            collect();
        }
        if (!dangling_.empty()) {
            const Dangling& d = dangling_.front();
            undecided_ = true;
            return Fail("it cannot be told where " + chains_[d.chain].need.name +
                        " goes on after " + f_.unit + " " + Num(d.at) + " (" +
                        Num(chains_[d.chain].sectors.size()) + " of " +
                        Num(chains_[d.chain].need.length) + " found)");
        }
        // A lone ENDOFCHAIN that nothing reaches is a flipped FREESECT: sound files hold none.
        for (std::uint32_t k : orphans) {
            if (f_.entries[k] == kEndOfChain) {
                Set(k, kFreeSect);
                continue;
            }
            return Fail(std::string("the ") + f_.unit + " " + Num(k) +
                        " is in use, but no chain the directory names reaches it");
        }
        for (std::uint32_t k = 0; k < f_.limit && k < f_.entries.size(); ++k) {
            if (!Damaged(k) && !claimed_[k] && in_use(k) && !f_.marks.count(k) && !set_[k])
                return Fail(std::string("the ") + f_.unit + " " + Num(k) +
                            " is in use, but no chain the directory names reaches it");
        }
        // A chain taken on into a sector whose own entry is lost is only certain when no other
        // such sector is left over that it could as well have gone on in. A chain whose sectors
        // tell themselves apart (the directory's) could only have gone on in one that passes for
        // its; any other chain in any sector but an earlier save's table or directory.
        if (guessed_blind_ != kFreeSect || guessed_fitted_ != kFreeSect) {
            std::vector<std::uint32_t> fitting;
            for (std::uint32_t k = 0; k < f_.limit && k < f_.entries.size(); ++k) {
                if (!Damaged(k) || claimed_[k] || f_.marks.count(k)) continue;
                if (guessed_blind_ != kFreeSect && !(f_.stale && f_.stale(k)) &&
                    !(!teller_guessed_ && f_.small_start && f_.small_start(k)))
                    return Ambiguous(guessed_blind_, k);
                if (guessed_fitted_ != kFreeSect && guessed_fits_(k)) fitting.push_back(k);
            }
            if (!fitting.empty()) {
                constexpr std::size_t kMostOthers = 3;  // each is a rebuild of its own
                if (fitted_guesses_ == 1 && fitting.size() <= kMostOthers)
                    doubt_ = DirectoryDoubt{via_[guessed_fitted_], guessed_fitted_, fitting};
                return Ambiguous(guessed_fitted_, fitting.front());
            }
        }
        for (std::uint32_t b = 0; b < damaged_.size(); ++b) {
            if (!damaged_[b]) continue;
            for (std::uint32_t k = b * kEntriesPerSector; k < (b + 1) * kEntriesPerSector; ++k) {
                if (set_[k]) continue;
                const auto m = f_.marks.find(k);
                // Marks even for a writer that leaves them out: readers refuse FAT and DIFAT
                // sectors marked free.
                if (k < f_.limit && m != f_.marks.end())
                    out_[k] = m->second;
                else
                    out_[k] = kFreeSect;
            }
        }
        return true;
    }

    // After Finish failed for chains left short: when the sectors whose entries are lost and
    // that no chain holds number exactly what those chains still need (a few), each way of
    // giving them out, finished. Writers append a chain's later sectors at the end of the file,
    // where the walk in order does not look for them.
    std::vector<TableRebuild> LeftoverAssignments() const {
        constexpr std::size_t kMostLeftovers = 4;  // at most 24 ways
        // Each way is a table of its own: only for tables of small files.
        constexpr std::size_t kMostEntries = kEntriesPerSector * 128;
        if (dangling_.empty() || dangling_.size() > kMostLeftovers ||
            f_.entries.size() > kMostEntries)
            return {};
        std::size_t needed = 0;
        for (const Dangling& d : dangling_) {
            const Chain& c = chains_[d.chain];
            if (c.need.length == 0 || c.sectors.size() >= c.need.length) return {};
            needed += c.need.length - c.sectors.size();
        }
        constexpr std::size_t kMostRunLeftovers = 16;
        std::vector<std::uint32_t> left;
        for (std::uint32_t k = 0; k < f_.limit && k < f_.entries.size(); ++k) {
            // Also what looks like an earlier save's table or directory: small streams' data
            // can, and the records decide.
            if (!Damaged(k) || claimed_[k] || f_.marks.count(k) || starts_.count(k)) continue;
            left.push_back(k);
            if (left.size() > kMostRunLeftovers) return {};
        }
        std::vector<TableRebuild> out;
        if (dangling_.size() == 1 && left.size() >= needed) out = RunsTakenBack(left, needed);
        if (left.size() != needed || left.size() > kMostLeftovers) return out;
        do {
            TableRebuild t = *this;
            std::size_t next = 0;
            for (const Dangling& d : dangling_) {
                Chain& c = t.chains_[d.chain];
                std::uint32_t cur = d.at;
                while (c.sectors.size() < c.need.length) {
                    const std::uint32_t k = left[next++];
                    t.Set(cur, k);
                    t.claimed_[k] = true;
                    t.via_[k] = cur;
                    c.sectors.push_back(k);
                    cur = k;
                }
                t.Set(cur, kEndOfChain);
            }
            t.dangling_.clear();
            t.problem_.clear();
            if (t.Finish() && !t.restart()) out.push_back(std::move(t));
        } while (std::next_permutation(left.begin(), left.end()));
        return out;
    }

    // The ways of the one chain left short going on, somewhere it was taken on by guess, into
    // a run of sectors left over before it, and back: writers fill room an earlier save freed
    // near the start of the file so, then carry on where they were. The chain then ends where
    // its length says; the last few sectors it took by guess go back to the left-over ones. Each
    // way finished.
    std::vector<TableRebuild> RunsTakenBack(const std::vector<std::uint32_t>& left,
                                            std::size_t needed) const {
        constexpr std::size_t kMostRun = 8;
        constexpr std::size_t kMostGivenBack = 2;
        constexpr std::size_t kMostWays = 1024;
        // Each way is a table of its own: only for tables of files of a few MB.
        constexpr std::size_t kMostEntries = kEntriesPerSector * 32;
        const Dangling d = dangling_.front();
        const Chain& c = chains_[d.chain];
        if (f_.entries.size() > kMostEntries) return {};
        std::vector<TableRebuild> out;
        for (std::size_t run = needed; run <= needed + kMostGivenBack && run <= kMostRun; ++run) {
            const std::size_t back = run - needed;  // sectors given back from the chain's end
            if (back + 1 >= c.sectors.size()) break;
            // Only sectors the chain was taken on into by guess are given back.
            bool guessed = true;
            for (std::size_t j = c.sectors.size() - back; j < c.sectors.size(); ++j)
                guessed &= set_[c.sectors[j - 1]];
            if (!guessed) continue;
            for (std::size_t i = 0; i + run <= left.size(); ++i) {
                const std::uint32_t first = left[i], last = left[i + run - 1];
                if (last - first + 1 != run) continue;  // not a run
                for (std::size_t p = 0; p + 1 + back < c.sectors.size(); ++p) {
                    const std::uint32_t at = c.sectors[p];
                    if (!set_[at] || last >= at) continue;
                    if (out.size() == kMostWays) return {};  // too many to judge them all
                    TableRebuild t = *this;
                    std::vector<std::uint32_t>& chain = t.chains_[d.chain].sectors;
                    for (std::size_t j = chain.size() - back; j < chain.size(); ++j) {
                        t.claimed_[chain[j]] = false;
                        t.set_[chain[j]] = false;
                        t.out_[chain[j]] = f_.entries[chain[j]];
                    }
                    chain.resize(chain.size() - back);
                    std::vector<std::uint32_t> taken(run);
                    std::iota(taken.begin(), taken.end(), first);
                    chain.insert(chain.begin() + static_cast<std::ptrdiff_t>(p) + 1, taken.begin(),
                                 taken.end());
                    for (std::size_t j = p; j + 1 < chain.size(); ++j) {
                        if (t.out_[chain[j]] != chain[j + 1]) t.Set(chain[j], chain[j + 1]);
                        t.claimed_[chain[j + 1]] = true;
                        t.via_[chain[j + 1]] = chain[j];
                    }
                    t.Set(chain.back(), kEndOfChain);
                    t.dangling_.clear();
                    t.problem_.clear();
                    if (t.Finish() && !t.restart()) out.push_back(std::move(t));
                }
            }
        }
        return out;
    }

    const std::vector<std::uint32_t>& entries() const { return out_; }
    // Blocks whose entries change, with how many.
    std::map<std::uint32_t, std::uint32_t> Changes() const {
        std::map<std::uint32_t, std::uint32_t> out;
        for (std::size_t k = 0; k < out_.size(); ++k) {
            if (out_[k] != f_.entries[k]) ++out[static_cast<std::uint32_t>(k / kEntriesPerSector)];
        }
        return out;
    }

  private:
    struct Chain {
        ChainNeed need;
        std::vector<std::uint32_t> sectors;
    };
    struct Dangling {
        std::size_t chain;
        std::uint32_t at;
    };

    bool Damaged(std::uint32_t k) const { return damaged_[k / kEntriesPerSector]; }
    void Mark(std::uint32_t k) {
        if (k < f_.entries.size()) damaged_[k / kEntriesPerSector] = true;
    }
    bool Fail(std::string problem) {
        problem_ = std::move(problem);
        return false;
    }
    bool Ambiguous(std::uint32_t taken, std::uint32_t other) {
        undecided_ = true;
        between_ = {taken, other};
        return Fail(std::string("it cannot be told whether a chain goes on in ") + f_.unit + " " +
                    Num(taken) + " or in " + f_.unit + " " + Num(other) +
                    ", whose entries are both lost");
    }
    // An entry of a block taken as sound contradicts the chains: take it as damaged and walk
    // again, up to a bound.
    bool Contradiction(std::uint32_t k, std::uint32_t other = kFreeSect) {
        Mark(k);
        if (other != kFreeSect) Mark(other);
        restart_ = true;
        return false;
    }
    void Set(std::uint32_t k, std::uint32_t v) {
        out_[k] = v;
        set_[k] = true;
    }
    // Notes a sector a chain was taken on into by guess: one whose own entry is lost.
    void Guessed(std::uint32_t k, const ChainNeed& need) {
        if (!Damaged(k) || by_content_) return;
        if (!need.fits) {
            if (guessed_blind_ == kFreeSect) guessed_blind_ = k;
            teller_guessed_ |= static_cast<bool>(need.tells);
        } else {
            if (guessed_fitted_ == kFreeSect) {
                guessed_fitted_ = k;
                guessed_fits_ = need.fits;
            }
            ++fitted_guesses_;
        }
    }

    // The one sector the walk may take after where `d` stopped whose contents show it as the
    // chain's next; none when no sector, or more than one, does.
    std::uint32_t Told(const Dangling& d) const {
        const Chain& c = chains_[d.chain];
        if (!c.need.tells) return kFreeSect;
        std::uint32_t found = kFreeSect;
        for (std::uint32_t k = 0; k < f_.limit && k < f_.entries.size(); ++k) {
            if (!Usable(k, d.at, false) || c.need.tells(c.sectors.size(), k) != true) continue;
            if (found != kFreeSect) return kFreeSect;
            found = k;
        }
        return found;
    }

    // Whether the walk may take x as the sector after `from`, which lies in a damaged block.
    bool Usable(std::uint32_t x, std::uint32_t from, bool orphans_only) const {
        if (x >= f_.limit || x >= f_.entries.size() || claimed_[x] || f_.marks.count(x) ||
            starts_.count(x))
            return false;
        if (trusted_pred_[x] != kFreeSect && trusted_pred_[x] != from) return false;
        const bool believed = !Damaged(x) || f_.believable[x / kEntriesPerSector];
        const std::uint32_t v = f_.entries[x];
        if (believed && !(Regular(v) || v == kEndOfChain)) return false;  // free by its own entry
        if (orphans_only) return !Damaged(x) && trusted_pred_[x] == kFreeSect;
        return true;
    }

    // The sector the walk takes after `cur`, the chain's sector at index `at` - 1.
    std::uint32_t Pick(const ChainNeed& need, std::uint32_t cur, std::size_t at,
                       bool orphans_only) {
        by_content_ = false;
        auto ok = [&](std::uint32_t x) {
            return Usable(x, cur, orphans_only) && (!need.fits || need.fits(x)) &&
                   (!need.tells || need.tells(at, x) != false);
        };
        const std::uint32_t hint = f_.entries[cur];
        if (f_.believable[cur / kEntriesPerSector] && Regular(hint) && hint != cur && ok(hint))
            return hint;
        if (need.fits) {
            if (f_.tried && f_.tried->from == cur && ok(f_.tried->to)) {
                by_content_ = true;  // taken as told, to see whether the file then checks out
                return f_.tried->to;
            }
            // A chain whose sectors tell themselves apart (the directory's) goes on in the one
            // sector that passes and that nothing else leads to, its own entry lost or not.
            std::uint32_t found = kFreeSect;
            bool several = false;
            for (std::uint32_t k = 0; k < f_.limit && k < f_.entries.size() && !several; ++k) {
                if (trusted_pred_[k] != kFreeSect || claimed_[k] || !ok(k)) continue;
                several = found != kFreeSect;
                found = k;
            }
            if (!several && found != kFreeSect) {
                by_content_ = true;
                return found;
            }
        }
        // Writers lay chains out in order, around the FAT and DIFAT sectors they place among
        // them and the sectors other chains already hold.
        std::uint32_t next = cur + 1;
        while (next < f_.limit && (f_.marks.count(next) || claimed_[next])) ++next;
        if (next < f_.limit && ok(next)) return next;
        return kFreeSect;
    }

    bool Complete(const Chain& c) const {
        if (c.need.length > 0) return c.sectors.size() >= c.need.length;
        return !c.need.more(c.sectors);
    }

    // Walks on from `cur`, which the chain takes next.
    bool Continue(Chain& c, std::uint32_t cur) {
        const std::size_t index = static_cast<std::size_t>(&c - chains_.data());
        for (;;) {
            claimed_[cur] = true;
            c.sectors.push_back(cur);
            if (c.sectors.size() > f_.limit) return Fail(c.need.name + " loops");
            const bool complete = Complete(c);
            if (!Damaged(cur)) {
                const std::uint32_t v = f_.entries[cur];
                if (complete && v == kEndOfChain) return true;
                if (complete && c.need.length > 0) return Contradiction(cur);
                if (!Regular(v) || v >= f_.limit || f_.marks.count(v)) {
                    if (complete) return Contradiction(cur);
                    return Contradiction(cur);
                }
                if (claimed_[v]) return Contradiction(cur, via_[v]);
                via_[v] = cur;
                cur = v;
                continue;
            }
            if (complete) {
                // An open chain (the directory) goes on only into a sector that is in use and
                // that nothing else leads to.
                const std::uint32_t next =
                    c.need.length > 0 ? kFreeSect : Pick(c.need, cur, c.sectors.size(), true);
                if (next == kFreeSect) {
                    Set(cur, kEndOfChain);
                    return true;
                }
                Set(cur, next);
                via_[next] = cur;
                Guessed(next, c.need);
                cur = next;
                continue;
            }
            const std::uint32_t next = Pick(c.need, cur, c.sectors.size(), false);
            if (next == kFreeSect) {
                dangling_.push_back({index, cur});
                return true;
            }
            Guessed(next, c.need);
            Set(cur, next);
            via_[next] = cur;
            cur = next;
        }
    }

    // Entries that cannot be right whatever the chains are.
    void FlagStatic() {
        const std::size_t n = f_.entries.size();
        // A block that does not read as a FAT's (a wiped one, whose zeros all name sector 0) is
        // suspect itself; it makes no other block's entries suspect.
        auto told = [this](std::uint32_t k) { return f_.believable[k / kEntriesPerSector]; };
        std::vector<std::uint8_t> preds(n, 0), told_preds(n, 0);
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint32_t v = f_.entries[k];
            const auto m = f_.marks.find(k);
            if (k >= f_.limit) {
                if (v != kFreeSect) Mark(k);
            } else if (m != f_.marks.end()) {
                if (v != m->second && (f_.marks_kept || m->second == kDifSect)) Mark(k);
            } else if (v == kFatSect || v == kDifSect) {
                Mark(k);
            } else if (Regular(v)) {
                if (v >= f_.limit || v == k || f_.marks.count(v)) {
                    Mark(k);
                } else {
                    if (preds[v] < 2) ++preds[v];
                    if (told(k) && told_preds[v] < 2) ++told_preds[v];
                    if (f_.entries[v] == kFreeSect) {
                        Mark(k);
                        if (told(k)) Mark(v);
                    }
                }
            } else if (v != kFreeSect && v != kEndOfChain) {
                Mark(k);
            }
        }
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint32_t v = f_.entries[k];
            if (Regular(v) && v < n && (told(k) ? told_preds[v] : preds[v]) > 1) Mark(k);
        }
    }

    const TableFacts& f_;
    std::vector<bool> damaged_;
    std::vector<bool> claimed_;
    std::vector<bool> set_;
    std::vector<std::uint32_t> via_;  // the sector the walk came from
    std::vector<std::uint32_t> trusted_pred_;
    std::vector<std::uint32_t> out_;
    std::set<std::uint32_t> starts_;  // kept across rounds: no chain runs into another's start
    std::vector<Chain> chains_;
    std::vector<Dangling> dangling_;
    bool restart_ = false;
    // The first sector taken by guess by a chain whose sectors do not tell themselves apart, and
    // by one whose do (with what its sectors pass), if any.
    std::uint32_t guessed_blind_ = kFreeSect;
    std::uint32_t guessed_fitted_ = kFreeSect;
    std::function<bool(std::uint32_t)> guessed_fits_;
    std::size_t fitted_guesses_ = 0;
    bool teller_guessed_ = false;        // a chain whose contents tell took a sector by guess
    bool by_content_ = false;            // the last pick was the one sector that passed
    std::string problem_;
    std::optional<DirectoryDoubt> doubt_;
    bool undecided_ = false;
    std::array<std::uint32_t, 2> between_{kFreeSect, kFreeSect};
};

// Four entries a directory could hold: known object types, red or black, names that fit.
bool StrictlyDirectoryLike(const std::array<std::uint8_t, SECTOR_SIZE>& b) {
    for (std::uint32_t e = 0; e < 4; ++e) {
        const std::uint8_t* p = b.data() + e * kDirEntrySize;
        const std::uint16_t name = ReadLE16(p + 64);
        if ((p[66] != kTypeUnused && p[66] != kTypeStorage && p[66] != kTypeStream &&
             p[66] != kTypeRoot) ||
            p[67] > 1 || name > 64 || name % 2 != 0)
            return false;
    }
    return true;
}

// A directory sector past the first: the root entry is always the first sector's first.
bool LaterDirectorySector(const std::array<std::uint8_t, SECTOR_SIZE>& b) {
    if (!StrictlyDirectoryLike(b)) return false;
    for (std::uint32_t e = 0; e < 4; ++e) {
        if (b[e * kDirEntrySize + 66] == kTypeRoot) return false;
    }
    return true;
}

class StructureRepairer {
  public:
    StructureRepairer(RandomAccessFile& file, const CompoundFileHeader& h)
        : file_(file), h_(h) {}
    void SetGuessed(bool guessed) { guessed_ = guessed; }

    StructureRepair Run() {
        StructureRepair out = Attempt();
        // A directory sector lost, or one the directory's chain cannot be followed to.
        if (out.sound || entry_given_ || (DirectoryLoss().empty() && DirectoryUnfound().empty()))
            return out;
        if (auto found = TheLostEntries()) return std::move(*found);
        return out;
    }

  private:
    StructureRepair Attempt() {
        const std::uint64_t length = file_.Length();
        if (file_.Failed()) return Fail("the file could not be read: " + file_.Error());
        real_ = SectorCount(length);
        r_.length = length;
        if (!LoadFatList() || !LoadFat() || !RebuildFat() || !RebuildMiniFat() || !CheckLost()) {
            // A directory sector lost explains the chains nothing names: say what it cost.
            const std::string loss = dir_chain_.empty() ? std::string() : DirectoryLoss();
            if (!loss.empty()) r_.problem = loss;
            if (!left_over_.empty()) {
                if (auto only = TheOneWhoseRecordsReadWhole()) return std::move(*only);
            }
            if (directory_doubt_ && !tried_) {
                if (auto only = TheOneWayTheDirectoryChecksOut()) return std::move(*only);
            }
            return std::move(r_);
        }
        return Checked();
    }

    // Under a header worked out from the sectors, its blank FAT sectors: each may be a stream's
    // own blank sector, standing for a lost FAT sector.
    std::vector<std::uint32_t> GuessedBlankFatSectors() {
        std::vector<std::uint32_t> out;
        if (!guessed_) return out;
        for (const std::uint32_t w : fat_sectors_) {
            if (w > 0 && w < real_ && Uniform(Read(w).data())) out.push_back(w);
        }
        return out;
    }

    // Whether a chain goes on past the sector before one of `blank` elsewhere than in it: then
    // that blank sector may be the chain's own, and the sector left over it was given the lost
    // FAT sector.
    bool PassesOneOf(const std::vector<std::uint32_t>& blank) const {
        for (const std::uint32_t w : blank) {
            for (const auto& chain : chains_) {
                for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
                    if (chain[i] + 1 == w) return true;
                }
            }
        }
        return false;
    }

    // The repair worked out, judged as the file would read with it.
    StructureRepair Checked() {
        OverlayFile view(file_, r_.sectors, r_.length);
        r_.check = CheckCompoundFile(view, h_);
        if (file_.Failed()) return Fail("the file could not be read: " + file_.Error());
        if (!r_.check.sound) return Fail(DirectoryLoss().empty() ? r_.check.problem : DirectoryLoss());
        r_.sound = true;
        return std::move(r_);
    }

    StructureRepair Fail(std::string problem) {
        r_.sound = false;
        r_.problem = std::move(problem);
        return std::move(r_);
    }
    bool Problem(std::string problem) {
        r_.sound = false;
        r_.problem = std::move(problem);
        return false;
    }

    std::array<std::uint8_t, SECTOR_SIZE> Read(std::uint32_t k) {
        std::array<std::uint8_t, SECTOR_SIZE> b{};
        OverlayFile view(file_, r_.sectors, r_.length);
        ReadSector(view, k, b.data());
        return b;
    }

    bool LoadFatList() {
        const std::uint32_t nfat = h_.number_of_fat_sectors;
        const std::uint64_t bound = static_cast<std::uint64_t>(real_) + kMaxLostSectors;
        if (nfat == 0 || nfat > bound)
            return Problem("the header counts " + Num(nfat) + " FAT sectors");
        for (std::uint32_t j = 0; j < std::min(nfat, kHeaderDifatEntries); ++j)
            fat_sectors_.push_back(h_.difat[j]);
        std::uint32_t d = h_.first_difat_sector_location;
        for (std::uint32_t i = 0; i < h_.number_of_difat_sectors && fat_sectors_.size() < nfat; ++i) {
            if (d >= real_)
                return Problem("the DIFAT sector " + Num(d) +
                               " is missing, so the FAT sectors it lists are not known");
            difat_sectors_.push_back(d);
            const auto b = Read(d);
            for (std::uint32_t e = 0; e < kDifatEntriesPerSector && fat_sectors_.size() < nfat; ++e)
                fat_sectors_.push_back(ReadLE32(b.data() + 4 * e));
            d = ReadLE32(b.data() + 4 * kDifatEntriesPerSector);
        }
        if (fat_sectors_.size() != nfat) return Problem("the DIFAT does not list every FAT sector");
        std::set<std::uint32_t> seen;
        std::uint64_t top = real_;
        for (std::uint32_t j = 0; j < fat_sectors_.size(); ++j) {
            const std::uint32_t k = fat_sectors_[j];
            if (k >= bound)
                return Problem("the FAT sector list names sector " + Num(k) + " as FAT sector " +
                               Num(j) + ", outside the " + Num(real_) + " sectors of the file");
            if (!seen.insert(k).second)
                return Problem("the FAT sector list names sector " + Num(k) + " twice");
            top = std::max<std::uint64_t>(top, k + 1);
        }
        for (std::uint32_t k : difat_sectors_) top = std::max<std::uint64_t>(top, k + 1);
        sectors_ = static_cast<std::uint32_t>(top);
        return true;
    }

    bool LoadFat() {
        raw_fat_.clear();
        believable_.clear();
        for (std::uint32_t k : fat_sectors_) {
            const auto b = Read(k);
            // A block part of which was wiped is no surer than a wiped one: rebuilt as one.
            believable_.push_back(!Uniform(b.data()) && LooksLikeFatSector(b) &&
                                  !HoldsWipedEntries(b));
            for (std::uint32_t e = 0; e < kEntriesPerSector; ++e)
                raw_fat_.push_back(ReadLE32(b.data() + 4 * e));
        }
        if (!links_kept_) MendFlips();
        // A cut tail: what the entries inside the file, and the header, lead to lies past the
        // end. Those sectors are counted back in (they read as zero) so that the tables keep
        // describing them.
        const std::uint64_t bound =
            std::min<std::uint64_t>(static_cast<std::uint64_t>(real_) + kMaxLostSectors,
                                    raw_fat_.size());
        auto reach = [&](std::uint32_t v) {
            if (Regular(v) && v < bound) sectors_ = std::max(sectors_, v + 1);
        };
        reach(h_.first_directory_sector_location);
        if (h_.number_of_mini_fat_sectors > 0) reach(h_.first_mini_fat_sector_location);
        for (std::uint32_t k = 0; k < real_ && k < raw_fat_.size(); ++k) reach(raw_fat_[k]);
        for (std::uint32_t k = real_; k < sectors_ && k < raw_fat_.size(); ++k) reach(raw_fat_[k]);
        if (sectors_ > real_) {
            r_.lost_tail = sectors_ - real_;
            r_.length = (static_cast<std::uint64_t>(sectors_) + 1) * SECTOR_SIZE;
        }
        return true;
    }

    // The marks the file's own lists require: FATSECT for its FAT sectors, DIFSECT for its DIFAT
    // sectors.
    std::map<std::uint32_t, std::uint32_t> Marks() const {
        std::map<std::uint32_t, std::uint32_t> marks;
        for (std::uint32_t k : fat_sectors_) marks[k] = kFatSect;
        for (std::uint32_t k : difat_sectors_) marks[k] = kDifSect;
        return marks;
    }

    // Writers either mark every FAT sector or none; only blocks that look like a FAT's tell
    // which, and without any the standard way (marked) is taken.
    bool MarksKept() const {
        std::uint32_t marked = 0, seen = 0;
        for (std::uint32_t k : fat_sectors_) {
            if (k >= raw_fat_.size() || !believable_[k / kEntriesPerSector]) continue;
            ++seen;
            marked += raw_fat_[k] == kFatSect;
        }
        return marked > 0 || seen == 0;
    }

    // The chains the directory names, read through `fat`; empty when it names none soundly.
    std::vector<ChainSpec> NamedChains(const std::vector<std::uint32_t>& fat) {
        std::vector<std::uint32_t> chain;
        std::set<std::uint32_t> seen;
        for (std::uint32_t k = h_.first_directory_sector_location;
             Regular(k) && k < real_ && chain.size() < kMaxDirectorySectors && seen.insert(k).second;
             k = fat[k])
            chain.push_back(k);
        Reach(chain);
        dir_chain_ = chain;
        if (chain.empty() || entries_.empty() || entries_[0].type != kTypeRoot ||
            !DirectoryLoss().empty())
            return {};
        // The directory goes on at least to the sector of the last entry its tree reaches.
        std::uint32_t entries = 1;
        for (const std::uint32_t id : reached_) entries = std::max(entries, id + 1);
        std::vector<ChainSpec> out{{h_.first_directory_sector_location, 0, (entries + 3) / 4}};
        for (const ChainNeed& n : FatChainsNamed()) out.push_back({n.start, n.length});
        return out;
    }

    // The chains in regular sectors that the header and the directory read so far name, besides
    // the directory's own: the mini FAT, the mini stream and the big streams, each with its
    // length in sectors.
    std::vector<ChainNeed> FatChainsNamed() {
        auto sectors = [](std::uint64_t size) {
            return static_cast<std::uint32_t>(
                std::min<std::uint64_t>((size + SECTOR_SIZE - 1) / SECTOR_SIZE, kFreeSect));
        };
        std::vector<ChainNeed> needs;
        if (h_.number_of_mini_fat_sectors > 0)
            needs.push_back({"the mini FAT chain",
                             h_.first_mini_fat_sector_location,
                             h_.number_of_mini_fat_sectors,
                             {},
                             {},
                             {}});
        const DirectoryEntry& root = entries_[0];
        if (root.size > 0) {
            needs.push_back({"the mini stream",
                             root.start,
                             sectors(root.size),
                             {},
                             {},
                             [this](std::size_t at, std::uint32_t k) {
                                 return HoldsSmallStreamsBeginnings(at, k);
                             }});
        }
        for (std::uint32_t id : reached_) {
            const DirectoryEntry& e = entries_[id];
            if (e.type == kTypeStream && e.size >= kMiniStreamCutoff)
                needs.push_back(
                    {"stream \"" + e.name + "\"", e.start, sectors(e.size), {}, {}, {}});
        }
        return needs;
    }

    // Whether sector k, as the mini stream's sector `at`, holds the first bytes of the small
    // streams that begin there and whose first bytes are known: empty when none is.
    std::optional<bool> HoldsSmallStreamsBeginnings(std::size_t at, std::uint32_t k) {
        // A sector cut off with the tail says nothing: what it held is lost, and said so.
        if (k >= real_) return std::nullopt;
        constexpr std::uint32_t kPerSector = SECTOR_SIZE / kMiniSectorSize;
        std::optional<std::array<std::uint8_t, SECTOR_SIZE>> bytes;
        bool told = false;
        for (const std::uint32_t id : reached_) {
            const DirectoryEntry& e = entries_[id];
            if (e.type != kTypeStream || e.size == 0 || e.size >= kMiniStreamCutoff ||
                e.start / kPerSector != at)
                continue;
            if (!bytes) bytes = Read(k);
            const auto first = std::span<const std::uint8_t>(*bytes).subspan(
                (e.start % kPerSector) * kMiniSectorSize, kMiniSectorSize);
            const std::optional<bool> promised = BeginsAsItsNamePromises(e.name, first);
            if (promised && !*promised) return false;
            told |= promised.has_value();
        }
        return told ? std::optional<bool>(true) : std::nullopt;
    }

    // Blocks that still read as a FAT's but hold a few spoilt entries (flipped bits) are set
    // back entry by entry, before anything is judged from them; wiped blocks are left to the
    // rebuild. The directory is read again through what is set back, until it reads the same.
    void MendFlips() {
        if (raw_fat_.size() < real_) return;
        for (std::uint32_t b = 0; b < believable_.size(); ++b) {
            const auto first = raw_fat_.begin() + static_cast<std::ptrdiff_t>(b) * kEntriesPerSector;
            if (!believable_[b] && std::any_of(first, first + kEntriesPerSector,
                                               [](std::uint32_t v) { return v != kFreeSect; }))
                return;
        }
        FlipFacts facts;
        facts.entries = raw_fat_;
        facts.limit = real_;
        facts.marks = Marks();
        std::vector<std::uint32_t> fat = DirectoryThroughFlips(raw_fat_, facts.marks);
        std::optional<std::vector<std::uint32_t>> mended;
        for (int pass = 0; pass < 3; ++pass) {
            facts.chains = NamedChains(fat);
            const std::vector<std::uint32_t> read = dir_chain_;
            if (facts.chains.empty()) break;
            mended = MendFlippedEntries(facts);
            if (!mended) break;
            NamedChains(*mended);
            if (dir_chain_ == read) break;
            fat = *mended;
            mended.reset();
        }
        // What the directory was read through is read afresh by the rebuild.
        parsed_.clear();
        entries_.clear();
        reached_.clear();
        dir_chain_.clear();
        walk_started_ = false;
        if (!mended || *mended == raw_fat_) return;
        for (std::uint32_t b = 0; b < fat_sectors_.size(); ++b) {
            std::uint32_t changed = 0;
            std::array<std::uint8_t, SECTOR_SIZE> bytes{};
            for (std::uint32_t e = 0; e < kEntriesPerSector; ++e) {
                const std::uint32_t k = b * kEntriesPerSector + e;
                changed += (*mended)[k] != raw_fat_[k];
                WriteLE32(bytes.data() + 4 * e, (*mended)[k]);
            }
            if (changed == 0) continue;
            r_.sectors[fat_sectors_[b]] = bytes;
            const std::uint64_t first = static_cast<std::uint64_t>(b) * kEntriesPerSector;
            r_.rebuilt.push_back({fat_sectors_[b],
                                  "the FAT sector of sectors " + Num(first) + " to " +
                                      Num(first + kEntriesPerSector - 1),
                                  Num(changed) + " of its 128 entries were spoilt (flipped bits) "
                                                 "and are set back to fit the chains the "
                                                 "directory names"});
        }
        raw_fat_ = std::move(*mended);
    }

    // A flipped entry in the directory's own chain cuts the directory short, and with it the
    // chains its later sectors name, so nothing can be set back from them. The directory is
    // first taken on, in `fat`, into the one sector that holds the entries it waits for, that
    // is in use, that nothing leads to, and whose number differs from that entry in a bit or
    // two; while the directory read so far links to entries it does not hold.
    std::vector<std::uint32_t> DirectoryThroughFlips(
        std::vector<std::uint32_t> fat, const std::map<std::uint32_t, std::uint32_t>& marks) {
        constexpr int kMostFlippedLinks = 4;
        std::vector<bool> led_to(real_, false);
        for (std::uint32_t k = 0; k < real_; ++k) {
            if (!marks.count(k) && Regular(fat[k]) && fat[k] < real_) led_to[fat[k]] = true;
        }
        for (int i = 0; i < kMostFlippedLinks; ++i) {
            NamedChains(fat);
            walk_started_ = false;
            if (dir_chain_.empty() || !DirectoryNeedsMore(dir_chain_)) break;
            const std::uint32_t last = dir_chain_.back();
            const std::uint32_t v = fat[last];
            // Only an entry that leads nowhere a chain may go: one that leads into another
            // chain is no flip this can tell.
            if (Regular(v) && v < real_ && !marks.count(v) &&
                std::find(dir_chain_.begin(), dir_chain_.end(), v) == dir_chain_.end())
                break;
            std::uint32_t found = kFreeSect;
            for (std::uint32_t k = 0; k < real_; ++k) {
                if (std::popcount(v ^ k) > kMaxFlipsPerEntry || led_to[k] || marks.count(k) ||
                    !(Regular(fat[k]) || fat[k] == kEndOfChain) ||
                    std::find(dir_chain_.begin(), dir_chain_.end(), k) != dir_chain_.end() ||
                    !FitsDirectory(k))
                    continue;
                if (found != kFreeSect) return fat;  // more than one: nothing is told
                found = k;
            }
            if (found == kFreeSect) break;
            fat[last] = found;
            led_to[found] = true;
        }
        return fat;
    }

    // Reads the sectors of the directory's chain not read yet (the walk asks after each one).
    void ParseDirectory(const std::vector<std::uint32_t>& chain) {
        if (chain.size() < parsed_.size() || !std::equal(parsed_.begin(), parsed_.end(), chain.begin())) {
            parsed_.clear();
            entries_.clear();
            walk_started_ = false;
        }
        for (std::size_t i = parsed_.size(); i < chain.size() && i < kMaxDirectorySectors; ++i) {
            const auto b = Read(chain[i]);
            for (std::uint32_t e = 0; e < 4; ++e)
                entries_.push_back(ParseDirectoryEntry(b.data() + e * kDirEntrySize));
            parsed_.push_back(chain[i]);
        }
    }

    // The directory as its chain so far holds it: whether the tree links to an entry past it.
    // The walk of the tree goes on from where the last call left it, so that a long directory
    // costs one walk, not one per sector.
    bool DirectoryNeedsMore(const std::vector<std::uint32_t>& chain) {
        ParseDirectory(chain);
        if (chain.size() > kMaxDirectorySectors) return false;
        if (entries_.empty() || entries_[0].type != kTypeRoot) return false;
        if (!walk_started_) {
            walk_stack_.assign(1, entries_[0].child);
            walk_seen_.assign(1, true);
            walk_started_ = true;
        }
        walk_seen_.resize(entries_.size(), false);
        std::vector<std::uint32_t> waiting;
        bool beyond = false;  // a link no directory could hold
        while (!walk_stack_.empty()) {
            const std::uint32_t id = walk_stack_.back();
            walk_stack_.pop_back();
            if (id == kNoStream) continue;
            if (id >= entries_.size()) {
                beyond |= id >= kEntriesPerSector * 4096;
                waiting.push_back(id);
                continue;
            }
            if (walk_seen_[id]) continue;
            walk_seen_[id] = true;
            const DirectoryEntry& e = entries_[id];
            if (e.type != kTypeStorage && e.type != kTypeStream) continue;
            walk_stack_.push_back(e.left);
            walk_stack_.push_back(e.right);
            if (e.type == kTypeStorage) walk_stack_.push_back(e.child);
        }
        walk_stack_ = std::move(waiting);
        return !walk_stack_.empty() && !beyond;
    }

    // Whether sector k can be the next of the directory's chain as read so far: a directory
    // sector past the first and, while the tree waits for entries, one that holds in use the
    // waited ones it would hold, or some entry in use where it would hold none (a sector of
    // zeros, which every file has, passes for a directory's otherwise).
    bool FitsDirectory(std::uint32_t k) {
        const auto b = Read(k);
        if (!LaterDirectorySector(b)) return false;
        // A sector cut off with the tail may have been it: what that lost is then said.
        if (walk_stack_.empty() || k >= real_) return true;
        auto in_use = [&b](std::size_t e) {
            const std::uint8_t type = b[e * kDirEntrySize + 66];
            return type == kTypeStorage || type == kTypeStream;
        };
        const std::size_t first = parsed_.size() * 4;  // the entries it would hold
        bool waited = false;
        for (const std::uint32_t id : walk_stack_) {
            if (id < first || id >= first + 4) continue;
            waited = true;
            if (!in_use(id - first)) return false;
        }
        return waited || in_use(0) || in_use(1) || in_use(2) || in_use(3);
    }

    // The streams and storages the whole tree reaches, from the directory's chain.
    void Reach(const std::vector<std::uint32_t>& chain) {
        ParseDirectory(chain);
        reached_.clear();
        if (entries_.empty() || entries_[0].type != kTypeRoot) return;
        std::vector<std::uint32_t> stack{entries_[0].child};
        std::vector<bool> seen(entries_.size(), false);
        seen[0] = true;
        while (!stack.empty()) {
            const std::uint32_t id = stack.back();
            stack.pop_back();
            if (id == kNoStream || id >= entries_.size() || seen[id]) continue;
            seen[id] = true;
            const DirectoryEntry& e = entries_[id];
            if (e.type != kTypeStorage && e.type != kTypeStream) continue;
            reached_.push_back(id);
            stack.push_back(e.left);
            stack.push_back(e.right);
            if (e.type == kTypeStorage) stack.push_back(e.child);
        }
    }

    bool RebuildFat() {
        // Kept past this call: the ways of giving out sectors left over refer to it.
        TableFacts& facts = fat_facts_;
        facts = TableFacts{};
        facts.entries = raw_fat_;
        facts.limit = std::min<std::uint32_t>(sectors_, static_cast<std::uint32_t>(raw_fat_.size()));
        facts.believable = believable_;
        facts.marks = Marks();
        facts.marks_kept = MarksKept();
        facts.tried = tried_;
        facts.small_start = [this](std::uint32_t k) {
            const auto b = Read(k);
            return BeginsAsAKnownSmallStream(
                std::span<const std::uint8_t>(b).first(kMiniSectorSize));
        };
        facts.stale = [this](std::uint32_t k) {
            const auto b = Read(k);
            return !Uniform(b.data()) && (LooksLikeFatSector(b) || StrictlyDirectoryLike(b));
        };
        TableRebuild fat(facts);
        for (int round = 0;; ++round) {
            if (round == kMaxRounds)
                return Problem("too much of the FAT is damaged to rebuild it with certainty");
            fat.BeginRound();
            std::vector<std::uint32_t> dir;
            ChainNeed d{
                "the directory chain",
                h_.first_directory_sector_location,
                0,
                [this](const std::vector<std::uint32_t>& c) { return DirectoryNeedsMore(c); },
                [this](std::uint32_t k) { return FitsDirectory(k); },
                {}};
            if (!fat.Walk(d, &dir)) {
                if (fat.restart()) continue;
                return Problem(Because("the FAT", fat.problem()));
            }
            if (dir.size() > kMaxDirectorySectors)
                return Problem("the directory runs to more than " + Num(kMaxDirectorySectors) +
                               " sectors, far more than a presentation's: its tables are not "
                               "rebuilt");
            Reach(dir);
            dir_chain_ = dir;
            if (entries_.empty() || entries_[0].type != kTypeRoot)
                return Problem("the directory's first sector (" + Num(h_.first_directory_sector_location) +
                               ") holds no root entry");
            const std::vector<ChainNeed> needs = FatChainsNamed();
            chains_.assign(needs.size(), {});
            fat.AddStarts(needs);
            bool again = false;
            for (std::size_t i = 0; i < needs.size() && !again; ++i) {
                if (needs[i].length > sectors_)
                    return Problem(needs[i].name + " is longer than the file");
                if (!fat.Walk(needs[i], &chains_[i])) {
                    if (!fat.restart()) return Problem(Because("the FAT", fat.problem()));
                    again = true;
                }
            }
            if (again) continue;
            if (!fat.Finish()) {
                if (fat.restart()) continue;  // a contradiction found late: walk again
                // Chains nothing names are what a lost directory sector leaves behind.
                const std::string loss = DirectoryLoss();
                if (!loss.empty()) return Problem(loss);
                const std::string unfound = DirectoryUnfound();
                if (unfound.empty()) {
                    chain_needs_ = needs;
                    left_over_ = fat.LeftoverAssignments();
                    directory_doubt_ = fat.doubt();
                }
                r_.undecided = !unfound.empty() || fat.undecided();
                if (unfound.empty()) undecided_between_ = fat.between();
                return Problem(Because("the FAT", unfound.empty() ? fat.problem() : unfound));
            }
            if (fat.restart()) continue;
            chain_needs_ = needs;
            break;
        }
        return TakeFat(fat, tried_note_.empty() ? "the chains the directory names" : tried_note_);
    }

    // Takes a rebuilt FAT: its changed blocks, and the chains through it.
    bool TakeFat(const TableRebuild& fat, const std::string& chains) {
        fat_ = fat.entries();
        if (!TakeRebuiltBlocks(fat, believable_, fat_sectors_, "FAT", "sectors", chains))
            return false;
        // Rebuilt chains come from the rebuilt FAT; the directory is re-read through it.
        Reach(dir_chain_);
        return true;
    }

    // Of the ways of giving out the sectors left over, the one under which the presentation's
    // records read whole, when exactly one does: the others put a sector of them out of place.
    std::optional<StructureRepair> TheOneWhoseRecordsReadWhole() {
        const std::vector<TableRebuild> ways = std::move(left_over_);  // not copied with each way
        left_over_.clear();
        std::optional<StructureRepair> only;
        const std::vector<std::uint32_t> blank = GuessedBlankFatSectors();
        for (const TableRebuild& fat : ways) {
            StructureRepairer way = *this;
            way.r_.problem.clear();
            StructureRepair r = way.RepairWith(fat);
            if (!r.sound) continue;
            // Then the way a blank sector stands for a lost FAT sector is a guess too, and the
            // other ways are not the only ones left.
            if (way.PassesOneOf(blank)) return std::nullopt;
            OverlayFile view(file_, r.sectors, r.length);
            const ContentCheck records = CheckPresentationContent(view, h_);
            if (!records.walked || records.damaged) continue;
            if (only) return std::nullopt;
            only = std::move(r);
        }
        return only;
    }

    // Where the directory may go on in more than one sector that looks like its own (an earlier
    // save's directory sector stays where it was), the repair with each. It is taken when the
    // file checks out and its records (when walked) read whole under at least one, and every
    // such way gives the directory and every stream the same bytes (a copy of the very sector,
    // say); no way may be left undecided for want of telling something else apart. An earlier
    // directory names streams as they were; their chains no longer fit the FAT around them.
    std::optional<StructureRepair> TheOneWayTheDirectoryChecksOut() {
        const DirectoryDoubt doubt = *directory_doubt_;
        std::vector<std::uint32_t> ways{doubt.taken};
        ways.insert(ways.end(), doubt.others.begin(), doubt.others.end());
        std::string listed;
        for (const std::uint32_t k : ways) listed += (listed.empty() ? "" : ", ") + Num(k);
        std::optional<StructureRepair> taken;
        std::optional<std::uint64_t> reads;  // what the ways that check out give
        for (const std::uint32_t to : ways) {
            StructureRepairer way(file_, h_);
            way.tried_ = TriedWay{doubt.from, to};
            way.tried_note_ = "the chains the directory names, its own going on from sector " +
                              Num(doubt.from) + " in sector " + Num(to) +
                              ": of the sectors that look like its there (" + listed +
                              "), one under which the file checks out, and every other such "
                              "reads the same";
            StructureRepair r = way.Run();
            // A way left undecided for want of telling something else apart is not ruled out;
            // one left undecided only between two of the sectors tried is.
            auto tried = [&](std::uint32_t k) {
                return std::find(ways.begin(), ways.end(), k) != ways.end();
            };
            if (!r.sound && r.undecided &&
                !(tried(way.undecided_between_[0]) && tried(way.undecided_between_[1])))
                return std::nullopt;
            if (!r.sound) continue;
            OverlayFile view(file_, r.sectors, r.length);
            const ContentCheck records = CheckPresentationContent(view, h_);
            if (records.walked && records.damaged) continue;
            const std::uint64_t digest = way.Digest(r);
            if (reads && *reads != digest) return std::nullopt;
            reads = digest;
            if (!taken) taken = std::move(r);
        }
        return taken;
    }

    // A digest of what the file reads as under a repair this object worked out: the directory's
    // and every stream's bytes, in chain order, and the small streams' places in the mini stream.
    std::uint64_t Digest(const StructureRepair& repair) {
        std::uint64_t h = 14695981039346656037ull;  // FNV-1a
        auto add = [&h](std::uint64_t v) {
            for (int i = 0; i < 8; ++i) h = (h ^ ((v >> (8 * i)) & 0xFF)) * 1099511628211ull;
        };
        OverlayFile view(file_, repair.sectors, repair.length);
        std::array<std::uint8_t, SECTOR_SIZE> b{};
        auto sectors = [&](const std::vector<std::uint32_t>& chain) {
            add(chain.size());
            for (const std::uint32_t k : chain) {
                ReadSector(view, k, b.data());
                for (std::size_t i = 0; i < b.size(); i += 8) add(ReadLE64(b.data() + i));
            }
        };
        sectors(dir_chain_);
        for (const auto& chain : chains_) sectors(chain);
        for (const auto& chain : mini_chains_) {
            add(chain.size());
            for (const std::uint32_t m : chain) add(m);
        }
        return h;
    }

    // The rest of a repair from a FAT rebuilt one way: the chains it gives, the mini FAT, a cut
    // tail, and the check.
    StructureRepair RepairWith(const TableRebuild& fat) {
        chains_.assign(chain_needs_.size(), {});
        for (std::size_t i = 0; i < chain_needs_.size(); ++i) {
            for (std::uint32_t k = chain_needs_[i].start;
                 Regular(k) && k < fat.entries().size() &&
                 chains_[i].size() < chain_needs_[i].length;
                 k = fat.entries()[k])
                chains_[i].push_back(k);
        }
        if (!TakeFat(fat,
                     "the chains the directory names, with the sectors left over given to "
                     "the chains left short in the only way whose records read whole") ||
            !RebuildMiniFat() || !CheckLost())
            return std::move(r_);
        return Checked();
    }

    bool RebuildMiniFat() {
        const DirectoryEntry root = entries_[0];
        std::vector<std::uint32_t> mini_fat_chain, mini_stream;
        for (std::size_t i = 0; i < chain_needs_.size(); ++i) {
            if (chain_needs_[i].name == "the mini FAT chain") mini_fat_chain = chains_[i];
            if (chain_needs_[i].name == "the mini stream") mini_stream = chains_[i];
        }
        mini_stream_ = mini_stream;
        if (mini_fat_chain.empty() || root.size == 0) return true;
        TableFacts facts;
        facts.unit = "mini sector";
        for (std::uint32_t k : mini_fat_chain) {
            const auto b = Read(k);
            facts.believable.push_back(!Uniform(b.data()) && LooksLikeFatSector(b));
            for (std::uint32_t e = 0; e < kEntriesPerSector; ++e)
                facts.entries.push_back(ReadLE32(b.data() + 4 * e));
        }
        facts.limit = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(root.size / kMiniSectorSize, facts.entries.size()));
        TableRebuild mini(facts);
        std::vector<ChainNeed> needs;
        for (std::uint32_t id : reached_) {
            const DirectoryEntry& e = entries_[id];
            if (e.type == kTypeStream && e.size > 0 && e.size < kMiniStreamCutoff)
                needs.push_back(
                    {"stream \"" + e.name + "\"",
                     e.start,
                     static_cast<std::uint32_t>((e.size + kMiniSectorSize - 1) / kMiniSectorSize),
                     {},
                     {},
                     {}});
        }
        mini_chains_.assign(needs.size(), {});
        for (int round = 0;; ++round) {
            if (round == kMaxRounds)
                return Problem("too much of the mini FAT is damaged to rebuild it with certainty");
            mini.BeginRound();
            mini.AddStarts(needs);
            bool again = false;
            for (std::size_t i = 0; i < needs.size() && !again; ++i) {
                if (!mini.Walk(needs[i], &mini_chains_[i])) {
                    if (!mini.restart()) return Problem(Because("the mini FAT", mini.problem()));
                    again = true;
                }
            }
            if (again) continue;
            if (!mini.Finish()) {
                if (mini.restart()) continue;  // a contradiction found late: walk again
                r_.undecided = mini.undecided();
                return Problem(Because("the mini FAT", mini.problem()));
            }
            if (!mini.restart()) break;
        }
        return TakeRebuiltBlocks(mini, facts.believable, mini_fat_chain, "mini FAT", "mini sectors",
                                 "the small streams' chains");
    }

    // Sectors past the end of a cut file read as zero: fine for free sectors and for the tables
    // just rebuilt, never for stream data or directory entries in use.
    bool CheckLost() {
        if (r_.lost_tail == 0) return true;
        const std::string cut = "the file is cut short by " + Num(r_.lost_tail) + " sector(s), and ";
        for (std::size_t i = 0; i < chains_.size(); ++i) {
            const std::string& name = chain_needs_[i].name;
            if (name == "the mini FAT chain" || name == "the mini stream") continue;
            for (std::uint32_t k : chains_[i]) {
                if (k >= real_)
                    return Problem(cut + "they held part of " + name + " (sector " + Num(k) + "), which is lost");
            }
        }
        for (std::size_t i = 0; i < dir_chain_.size(); ++i) {
            if (dir_chain_[i] < real_ || r_.sectors.count(dir_chain_[i])) continue;
            for (std::uint32_t id : reached_) {
                if (id / 4 == i)
                    return Problem(cut + "they held directory sector " + Num(dir_chain_[i]) +
                                   ", with the entry of \"" + entries_[id].name + "\", which is lost");
            }
        }
        for (std::size_t i = 0; i < mini_chains_.size(); ++i) {
            for (std::uint32_t m : mini_chains_[i]) {
                const std::size_t host = m / (SECTOR_SIZE / kMiniSectorSize);
                if (host < mini_stream_.size() && mini_stream_[host] >= real_)
                    return Problem(cut + "they held part of the mini stream with small stream data "
                                         "(mini sector " + Num(m) + "), which is lost");
            }
        }
        for (std::uint32_t k = real_; k < sectors_; ++k) {
            if (r_.sectors.count(k)) continue;
            r_.rebuilt.push_back({k, "sector " + Num(k), "it was cut off with the end of the file; it "
                                                         "held nothing in use and comes back as zeros"});
        }
        return true;
    }

    // Takes the blocks of a rebuilt table that change into the repair. Only wiped blocks (or
    // blocks cut off) are rebuilt: where most entries survive, the walk cannot tell a flipped
    // entry from a fragmented chain with certainty.
    bool TakeRebuiltBlocks(const TableRebuild& t, const std::vector<bool>& believable,
                           const std::vector<std::uint32_t>& where, const std::string& table,
                           const std::string& units, const std::string& chains) {
        const auto changes = t.Changes();
        for (const auto& [b, changed] : changes) {
            if (believable[b] && where[b] < real_)
                return Problem("the " + table + " sector " + Num(where[b]) + " holds " + Num(changed) +
                               " entries that contradict " + chains +
                               ", and it cannot be told with certainty which are damaged");
        }
        for (const auto& [b, changed] : changes) {
            std::array<std::uint8_t, SECTOR_SIZE> bytes{};
            for (std::uint32_t e = 0; e < kEntriesPerSector; ++e)
                WriteLE32(bytes.data() + 4 * e, t.entries()[b * kEntriesPerSector + e]);
            const std::uint32_t at = where[b];
            r_.sectors[at] = bytes;
            const std::uint64_t first = static_cast<std::uint64_t>(b) * kEntriesPerSector;
            r_.rebuilt.push_back(
                {at, "the " + table + " sector of " + units + " " + Num(first) + " to " +
                         Num(first + kEntriesPerSector - 1),
                 at >= real_ ? "it was cut off with the end of the file"
                             : Num(changed) + " of its 128 entries change to fit " + chains});
        }
        return true;
    }

    static std::string Because(const std::string& table, const std::string& why) {
        return table + " is damaged and cannot be rebuilt with certainty: " + why;
    }

    // A directory sector lost whose entries the streams' own bytes tell: the repair with them,
    // when the file then checks out and the presentation's records read whole.
    std::optional<StructureRepair> TheLostEntries() {
        const auto lost = FindLostEntries({file_, h_, real_, fat_sectors_, difat_sectors_});
        if (!lost) return std::nullopt;
        StructureRepairer way(file_, h_);
        way.guessed_ = guessed_;
        way.entry_given_ = true;
        // The directory's chain leads into the cut tail: the FAT's links there are the file's
        // own, not flipped bits to mend.
        way.links_kept_ = lost->cut;
        way.r_.sectors = lost->sectors;
        way.r_.rebuilt = lost->rebuilt;
        StructureRepair r = way.Run();
        if (!r.sound) return std::nullopt;
        OverlayFile repaired(file_, r.sectors, r.length);
        const ContentCheck records = CheckPresentationContent(repaired, h_);
        if (!records.walked || records.damaged) return std::nullopt;
        return r;
    }

    // When the directory's chain breaks off while its tree still links past it, what that costs.
    std::string DirectoryUnfound() const {
        if (walk_stack_.empty() || dir_chain_.empty() || parsed_.size() != dir_chain_.size())
            return {};
        return "it cannot be told which sector after sector " + Num(dir_chain_.back()) +
               " holds the directory's entries from " + Num(parsed_.size() * 4) + " on: the " +
               Num(walk_stack_.size()) +
               " stream(s) or storage(s) the directory links to there cannot be read";
    }

    // When a directory sector in the chain holds nothing readable, what that costs.
    std::string DirectoryLoss() {
        for (std::size_t i = 0; i < dir_chain_.size(); ++i) {
            const auto b = Read(dir_chain_[i]);
            bool empty = true;
            for (std::uint32_t e = 0; e < 4; ++e) empty &= b[e * kDirEntrySize + 66] == kTypeUnused;
            if (!empty && LooksLikeDirectorySector(b)) continue;
            if (i == 0 && (dir_chain_[0] >= real_ || Uniform(b.data())))
                return "the directory sector " + Num(dir_chain_[0]) +
                       " (entries 0 to 3), which holds the root entry, is unreadable, and the "
                       "streams cannot all be told from their own bytes";
            std::uint32_t links = 0;
            for (std::uint32_t id : reached_) {
                for (std::uint32_t to : {entries_[id].left, entries_[id].right, entries_[id].child})
                    links += to != kNoStream && to / 4 == i;
            }
            links += entries_[0].child != kNoStream && entries_[0].child / 4 == i;
            if (links == 0) continue;
            return "the directory sector " + Num(dir_chain_[i]) + " (entries " + Num(4 * i) + " to " +
                   Num(4 * i + 3) + ") is unreadable: the " + Num(links) +
                   " stream(s) or storage(s) the directory links to there are lost";
        }
        return {};
    }

    RandomAccessFile& file_;
    const CompoundFileHeader& h_;
    StructureRepair r_;
    std::uint32_t real_ = 0;     // sectors the file holds
    std::uint32_t sectors_ = 0;  // sectors the tables describe (more when the tail is cut)
    std::vector<std::uint32_t> fat_sectors_;
    std::vector<std::uint32_t> difat_sectors_;
    std::vector<std::uint32_t> raw_fat_;
    std::vector<std::uint32_t> fat_;
    std::vector<bool> believable_;
    std::vector<DirectoryEntry> entries_;
    std::vector<std::uint32_t> parsed_;  // the directory sectors entries_ holds
    std::vector<std::uint32_t> reached_;
    bool walk_started_ = false;                // the tree walk DirectoryNeedsMore goes on with
    std::vector<std::uint32_t> walk_stack_;    // entries it is to look at next
    std::vector<bool> walk_seen_;
    std::vector<std::uint32_t> dir_chain_;
    std::vector<ChainNeed> chain_needs_;
    std::vector<std::vector<std::uint32_t>> chains_;
    std::vector<std::uint32_t> mini_stream_;
    std::vector<std::vector<std::uint32_t>> mini_chains_;
    TableFacts fat_facts_;                 // what the FAT's rebuild goes by
    std::vector<TableRebuild> left_over_;  // the ways the FAT's left-over sectors can be given
    bool guessed_ = false;  // the header is worked out from the sectors, not the file's own
    std::optional<DirectoryDoubt> directory_doubt_;  // when that was all the FAT's rebuild left
    std::optional<TriedWay> tried_;                  // a way the directory goes on, being tried
    bool entry_given_ = false;  // a lost directory sector's entry is set back, being tried
    bool links_kept_ = false;   // the FAT's links are taken as found, none mended as a flip
    std::string tried_note_;                         // why, for what is rebuilt under it
    // When the FAT's rebuild was left undecided between two sectors a chain could go on in.
    std::array<std::uint32_t, 2> undecided_between_{kFreeSect, kFreeSect};
};

}  // namespace

StructureRepair ComputeStructureRepair(RandomAccessFile& file, const CompoundFileHeader& header,
                                       bool guessed) {
    StructureRepairer repairer(file, header);
    repairer.SetGuessed(guessed);
    return repairer.Run();
}

bool ApplyStructureRepair(RandomAccessFile& file, const StructureRepair& repair) {
    const std::uint64_t length = file.Length();
    if (file.Failed()) return false;
    // Pad first, so that every rebuilt sector past the old end has a place; the bytes the file
    // has are kept.
    const std::array<std::uint8_t, SECTOR_SIZE> zero{};
    for (std::uint64_t at = length; at < repair.length;) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(SECTOR_SIZE - at % SECTOR_SIZE, repair.length - at));
        if (!file.Seek(at) || !file.Write(std::span<const std::uint8_t>(zero.data(), n)))
            return false;
        at += n;
    }
    for (const auto& [k, bytes] : repair.sectors) {
        if (!file.Seek((static_cast<std::uint64_t>(k) + 1) * SECTOR_SIZE) || !file.Write(bytes))
            return false;
    }
    return !file.Failed();
}

}  // namespace deckwright
