#include "engine/flipped_entries.h"

#include <bit>
#include <set>

#include "engine/compound_file_header.h"

namespace deckwright {

namespace {

// More ways than this to set the entries back is no longer a few flipped bits.
constexpr std::size_t kMaxWays = 64;
// Bits flipped in one entry: a few random flips in one FAT sector do land on the same entry.
constexpr int kMaxFlips = 2;

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
        for (std::uint32_t k = 0; k < f_.limit; ++k) {
            if (!Marked(k) && Regular(e[k]) && e[k] < f_.limit && preds[e[k]] < 2) ++preds[e[k]];
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
        std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>> lost;  // sector, entries
        for (std::uint32_t k = 0; k < f_.limit; ++k) {
            if (!in_use(k) || preds[k] != 0 || starts.count(k)) continue;
            std::vector<std::uint32_t> from;
            for (std::uint32_t b : bad) {
                if (std::popcount(e[b] ^ k) <= kMaxFlips) from.push_back(b);
            }
            // Nothing leads there and nothing could have: a flipped free entry, which the
            // walk frees, or a chain no one names, which it refuses.
            if (from.empty()) continue;
            lost.emplace_back(k, std::move(from));
        }
        std::size_t ways = 1;
        for (const auto& [k, from] : lost) {
            ways *= from.size();
            if (ways > kMaxWays) return std::nullopt;
        }
        std::optional<std::vector<std::uint32_t>> found;
        for (std::size_t way = 0; way < ways; ++way) {
            std::vector<std::uint32_t> t = e;
            std::set<std::uint32_t> used;
            std::size_t rest = way;
            bool distinct = true;
            for (const auto& [k, from] : lost) {
                const std::uint32_t b = from[rest % from.size()];
                rest /= from.size();
                distinct &= used.insert(b).second;
                t[b] = k;
            }
            if (!distinct || !Settle(t)) continue;
            // Two ways hold (segments of one chain swapped keep every length): which is the
            // file's cannot be told.
            if (found) return std::nullopt;
            found = std::move(t);
        }
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
                    if (leads_on) return false;
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
