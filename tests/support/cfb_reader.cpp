#include "tests/support/cfb_reader.h"

#include <cctype>
#include <set>

namespace deckwright::testing {
namespace {

constexpr std::size_t kSector = 512;
constexpr std::uint32_t kEnd = 0xFFFFFFFE;
constexpr std::uint32_t kNone = 0xFFFFFFFF;

std::uint32_t U32(const std::vector<std::uint8_t>& f, std::size_t at) {
    return at + 4 > f.size() ? kNone
                             : f[at] | f[at + 1] << 8 | f[at + 2] << 16 |
                                   static_cast<std::uint32_t>(f[at + 3]) << 24;
}

class Reader {
  public:
    explicit Reader(const std::vector<std::uint8_t>& f) : f_(f) {}

    bool Load() {
        if (f_.size() < kSector) return false;
        std::vector<std::uint32_t> fat_sectors;
        const std::uint32_t nfat = U32(f_, 0x2C);
        for (std::uint32_t j = 0; j < 109 && fat_sectors.size() < nfat; ++j)
            fat_sectors.push_back(U32(f_, 0x4C + 4 * j));
        std::set<std::uint32_t> difat_seen;
        for (std::uint32_t d = U32(f_, 0x44); fat_sectors.size() < nfat;
             d = U32(f_, Off(d) + 508)) {
            if (!InFile(d) || !difat_seen.insert(d).second) return false;
            for (std::uint32_t e = 0; e < 127 && fat_sectors.size() < nfat; ++e)
                fat_sectors.push_back(U32(f_, Off(d) + 4 * e));
        }
        for (std::uint32_t k : fat_sectors) {
            if (!InFile(k)) return false;
            for (std::uint32_t e = 0; e < 128; ++e) fat_.push_back(U32(f_, Off(k) + 4 * e));
        }
        const auto dir = Chain(fat_, U32(f_, 0x30), kNone);
        if (!dir) return false;
        for (std::uint32_t k : *dir)
            dir_.insert(dir_.end(), f_.begin() + Off(k), f_.begin() + Off(k) + kSector);
        const auto minifat = Chain(fat_, U32(f_, 0x3C), kNone);
        if (!minifat) return false;
        for (std::uint32_t k : *minifat)
            for (std::uint32_t e = 0; e < 128; ++e) mini_fat_.push_back(U32(f_, Off(k) + 4 * e));
        if (dir_.size() < 128) return false;
        const auto root = Bytes(0, false);
        if (!root) return false;
        mini_ = *root;
        return true;
    }

    // Walks a storage's tree from `id`, whose names must sort after `lo` and before `hi` (empty:
    // no bound): readers that look a name up go by that order.
    bool Walk(std::uint32_t id, const std::string& prefix, const std::string& lo,
              const std::string& hi, std::map<std::string, std::vector<std::uint8_t>>* out,
              std::set<std::uint32_t>* seen) {
        if (id == kNone) return true;
        if (std::size_t{id} * 128 + 128 > dir_.size() || !seen->insert(id).second) return false;
        const std::uint8_t* e = dir_.data() + std::size_t{id} * 128;
        std::string name;
        for (std::size_t i = 0; i + 1 < std::size_t{e[64]} / 2 && i < 31; ++i)
            name += static_cast<char>(e[2 * i]);
        const std::uint32_t left = U32(dir_, std::size_t{id} * 128 + 68);
        const std::uint32_t right = U32(dir_, std::size_t{id} * 128 + 72);
        const std::uint32_t child = U32(dir_, std::size_t{id} * 128 + 76);
        if ((!lo.empty() && !Before(lo, name)) || (!hi.empty() && !Before(name, hi))) return false;
        if (e[66] == 2) {
            const auto bytes = Bytes(id, true);
            if (!bytes) return false;
            (*out)[prefix + name] = *bytes;
        } else if (e[66] == 1) {
            if (!Walk(child, prefix + name + "/", "", "", out, seen)) return false;
        } else {
            return false;
        }
        return Walk(left, prefix, lo, name, out, seen) && Walk(right, prefix, name, hi, out, seen);
    }

    // Directory order: shorter names first, then by upper case.
    static bool Before(const std::string& a, const std::string& b) {
        if (a.size() != b.size()) return a.size() < b.size();
        for (std::size_t i = 0; i < a.size(); ++i) {
            const int x = std::toupper(static_cast<unsigned char>(a[i]));
            const int y = std::toupper(static_cast<unsigned char>(b[i]));
            if (x != y) return x < y;
        }
        return false;
    }

    std::uint32_t RootChild() const { return U32(dir_, 76); }

  private:
    static std::size_t Off(std::uint32_t k) { return (std::size_t{k} + 1) * kSector; }
    bool InFile(std::uint32_t k) const { return k < kEnd - 2 && Off(k) + kSector <= f_.size(); }

    // The chain from `start` through `table`, at most `count` long (kNone: to its end).
    std::optional<std::vector<std::uint32_t>> Chain(const std::vector<std::uint32_t>& table,
                                                    std::uint32_t start,
                                                    std::uint32_t count) const {
        std::vector<std::uint32_t> out;
        std::set<std::uint32_t> seen;
        for (std::uint32_t k = start; k != kEnd && out.size() < count; k = table[k]) {
            if (k >= table.size() || !seen.insert(k).second) return std::nullopt;
            out.push_back(k);
        }
        return out;
    }

    std::optional<std::vector<std::uint8_t>> Bytes(std::uint32_t id, bool may_be_mini) const {
        const std::size_t at = std::size_t{id} * 128;
        const std::uint32_t start = U32(dir_, at + 116);
        const std::uint32_t size = U32(dir_, at + 120);
        const bool mini = may_be_mini && size < 4096;
        const std::size_t unit = mini ? 64 : kSector;
        const auto chain = Chain(mini ? mini_fat_ : fat_, start,
                                 static_cast<std::uint32_t>((size + unit - 1) / unit));
        if (!chain || chain->size() * unit < size) return std::nullopt;
        std::vector<std::uint8_t> out;
        for (std::uint32_t k : *chain) {
            if (mini) {
                if (std::size_t{k} * 64 + 64 > mini_.size()) return std::nullopt;
                out.insert(out.end(), mini_.begin() + k * 64, mini_.begin() + k * 64 + 64);
            } else {
                if (!InFile(k)) return std::nullopt;
                out.insert(out.end(), f_.begin() + Off(k), f_.begin() + Off(k) + kSector);
            }
        }
        out.resize(size);
        return out;
    }

    const std::vector<std::uint8_t>& f_;
    std::vector<std::uint32_t> fat_, mini_fat_;
    std::vector<std::uint8_t> dir_, mini_;
};

}  // namespace

std::optional<std::map<std::string, std::vector<std::uint8_t>>> ReadStreams(
    const std::vector<std::uint8_t>& file) {
    // Readers take a short last sector as padded with zeros.
    std::vector<std::uint8_t> padded = file;
    padded.resize((file.size() + kSector - 1) / kSector * kSector);
    Reader r(padded);
    if (!r.Load()) return std::nullopt;
    std::map<std::string, std::vector<std::uint8_t>> out;
    std::set<std::uint32_t> seen{0};
    if (!r.Walk(r.RootChild(), "", "", "", &out, &seen)) return std::nullopt;
    return out;
}

}  // namespace deckwright::testing
