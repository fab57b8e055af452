#include "engine/flipped_entries.h"

#include <bit>
#include <set>

#include "engine/compound_file_header.h"

namespace deckwright {

namespace {

// More ways than this to set the entries back, or more sectors left with nothing leading
// there, is no longer a few flipped bits.
constexpr std::size_t kMaxWays = 64;
constexpr std::size_t kMaxLost = 256;
// More entries of one FAT sector than this spoilt or suspect is no longer a few flipped bits
// either: the more there are, the likelier two flips together look sound and hide the table's
// own way.
constexpr std::size_t kMaxSpoiltInABlock = 8;
// Choices gone through in looking for the ways: candidates that overlap can make many more
// partial ways than whole ones.
constexpr std::size_t kMaxSteps = std::size_t{1} << 16;
// A lost sector given no entry at all: its own is a flipped free one.
constexpr std::uint32_t kNothing = kFreeSect;

bool Regular(std::uint32_t v) {
    return v <= kMaxRegularSect;
}

class Mender {
  public:
    explicit Mender(const FlipFacts& f) : f_(f), n_(static_cast<std::uint32_t>(f.entries.size())) {}

    std::optional<std::vector<std::uint32_t>> Run() {
        if (f_.limit > n_) return std::nullopt;
        std::vector<std::uint32_t> e = f_.entries;
        SetByPlace(e);
        std::set<std::uint32_t> starts;
        for (const ChainSpec& c : f_.chains) {
            if (c.start >= f_.limit || Marked(c.start)) return std::nullopt;
            starts.insert(c.start);
        }
        if (starts.size() != f_.chains.size()) return std::nullopt;

        // A flipped successor leaves the sector it led to with nothing leading there, and
        // leads somewhere no chain may go: pair each such sector with the entries that differ
        // from it in a bit or two.
        std::vector<std::uint8_t> preds(n_, 0);
        std::vector<std::uint32_t> pred(n_, kFreeSect);  // the last entry found leading there
        for (std::uint32_t k = 0; k < f_.limit; ++k) {
            if (Marked(k) || !Regular(e[k]) || e[k] >= f_.limit) continue;
            if (preds[e[k]] < 2) ++preds[e[k]];
            pred[e[k]] = k;
        }
        auto in_use = [&](std::uint32_t k) {
            return k < f_.limit && !Marked(k) && (Regular(e[k]) || e[k] == kEndOfChain);
        };
        std::vector<std::uint32_t> bad;
        for (std::uint32_t k = 0; k < f_.limit; ++k) {
            const std::uint32_t v = e[k];
            // An entry that leads to the sector after its own is the writer's order, not a
            // flip: where another leads there too, that one is the flip.
            if (Marked(k) || !Regular(v) || (v == k + 1 && v < f_.limit)) continue;
            if (v >= f_.limit || Marked(v) || v == k || starts.count(v) || !in_use(v) || preds[v] > 1)
                bad.push_back(k);
        }
        // A flip may also lead onto a sector whose leading entry flipped away, and then looks
        // sound. Where a spoilt entry could have led on to the sector after its own, and no
        // sound entry leads to it from elsewhere than the sector before (its chain may run in
        // the writer's order), the one entry that leads to that next sector is as suspect.
        std::vector<bool> is_bad(n_, false);
        for (const std::uint32_t b : bad) is_bad[b] = true;
        for (std::size_t i = 0, n = bad.size(); i < n; ++i) {
            const std::uint32_t b = bad[i], s = b + 1;
            if ((preds[b] == 1 && pred[b] != b - 1 && !is_bad[pred[b]]) || s >= f_.limit ||
                !in_use(s) || starts.count(s) || preds[s] != 1 || is_bad[pred[s]] ||
                std::popcount(e[b] ^ s) > kMaxFlipsPerEntry)
                continue;
            is_bad[pred[s]] = true;
            bad.push_back(pred[s]);
        }
        std::vector<std::size_t> spoilt_in_block(n_ / kEntriesPerSector + 1, 0);
        for (const std::uint32_t b : bad) {
            if (++spoilt_in_block[b / kEntriesPerSector] > kMaxSpoiltInABlock) return std::nullopt;
        }
        // Sectors whose one leading entry is to be found: those no entry but a spoilt one leads
        // to. Where two lead to one sector, either may be the flip, and the other's sector is
        // then lost with it: each such sector, too, is given one of the entries that could lead
        // there.
        std::vector<bool> led_well(n_, false);
        for (std::uint32_t k = 0; k < f_.limit; ++k) {
            if (!Marked(k) && !is_bad[k] && Regular(e[k]) && e[k] < f_.limit) led_well[e[k]] = true;
        }
        std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>> lost;  // sector, entries
        for (std::uint32_t k = 0; k < f_.limit; ++k) {
            if (!in_use(k) || led_well[k] || starts.count(k)) continue;
            std::vector<std::uint32_t> from;
            for (std::uint32_t b : bad) {
                if (std::popcount(e[b] ^ k) <= kMaxFlipsPerEntry) from.push_back(b);
            }
            // Nothing leads there and nothing could have: a flipped free entry, which the
            // walk frees, or a chain no one names, which it refuses.
            if (from.empty()) continue;
            // Its own entry a bit or two from FREESECT, it may as well be a flipped free entry:
            // then nothing leads there, and the walk frees it.
            if (std::popcount(~e[k]) <= kMaxFlipsPerEntry) from.push_back(kNothing);
            lost.emplace_back(k, std::move(from));
        }
        // Each way gives every lost sector one of the entries that could have led there (or
        // none, where it may have been free), no entry twice. They are gone through choice by
        // choice, a choice dropped as soon as it repeats an entry, so that lists of candidates
        // that overlap cost only the ways that can be.
        if (lost.size() > kMaxLost) return std::nullopt;
        std::optional<std::vector<std::uint32_t>> found;
        std::size_t ways = 0, steps = 0;
        bool undecided = false;
        std::vector<bool> taken(n_, false);
        std::vector<std::uint32_t> chosen(lost.size());
        auto go = [&](auto& self, std::size_t i) -> void {
            if (undecided) return;
            if (++steps > kMaxSteps) {
                undecided = true;
                return;
            }
            if (i == lost.size()) {
                if (++ways > kMaxWays) {
                    undecided = true;
                    return;
                }
                std::vector<std::uint32_t> t = e;
                for (std::size_t j = 0; j < lost.size(); ++j) {
                    if (chosen[j] != kNothing) t[chosen[j]] = lost[j].first;
                }
                if (!Settle(t)) return;
                // Two ways hold (segments of one chain swapped keep every length): which is
                // the file's cannot be told.
                if (found) undecided = true;
                found = std::move(t);
                return;
            }
            for (const std::uint32_t b : lost[i].second) {
                if (b == kNothing) {
                    chosen[i] = kNothing;
                    self(self, i + 1);
                    continue;
                }
                if (taken[b]) continue;
                taken[b] = true;
                chosen[i] = b;
                self(self, i + 1);
                taken[b] = false;
            }
        };
        go(go, 0);
        if (undecided) return std::nullopt;
        return found;
    }

  private:
    bool Marked(std::uint32_t k) const { return f_.marks.count(k) != 0; }

    // Entries whose place alone says what they hold.
    void SetByPlace(std::vector<std::uint32_t>& e) const {
        for (std::uint32_t k = 0; k < n_; ++k) {
            const auto m = f_.marks.find(k);
            if (k >= f_.limit) {
                e[k] = kFreeSect;
            } else if (m != f_.marks.end()) {
                // Marked even where the writer leaves them out: readers refuse FAT and DIFAT
                // sectors marked free.
                e[k] = m->second;
            }
        }
    }

    // Walks every chain, ending each where its length ends, then frees what no chain reaches
    // and no chain could have held. False when the chains do not fit the entries.
    bool Settle(std::vector<std::uint32_t>& t) const {
        std::vector<bool> claimed(n_, false);
        for (const ChainSpec& c : f_.chains) {
            std::uint32_t cur = c.start;
            for (std::uint32_t i = 0;; ++i) {
                if (cur >= f_.limit || Marked(cur) || claimed[cur]) return false;
                claimed[cur] = true;
                const std::uint32_t v = t[cur];
                const bool leads_on = Regular(v) && v < f_.limit;
                const bool last = c.length > 0 ? i + 1 == c.length : !leads_on;
                if (last) {
                    if (leads_on || i + 1 < c.at_least) return false;
                    t[cur] = kEndOfChain;
                    break;
                }
                if (!leads_on) return false;
                cur = v;
            }
        }
        for (std::uint32_t k = 0; k < f_.limit; ++k) {
            if (claimed[k] || Marked(k) || t[k] == kFreeSect) continue;
            if (Regular(t[k]) && t[k] < f_.limit) return false;
            t[k] = kFreeSect;
        }
        return true;
    }

    const FlipFacts& f_;
    const std::uint32_t n_;
};

}  // namespace

std::optional<std::vector<std::uint32_t>> MendFlippedEntries(const FlipFacts& facts) {
    return Mender(facts).Run();
}

}  // namespace deckwright
