#include "engine/presentation_check.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "engine/little_endian.h"
#include "engine/page_buffer.h"
#include "engine/zlib_check.h"

namespace deckwright {
namespace {

using namespace cfb;

constexpr std::uint16_t kCurrentUserAtom = 0x0FF6;
constexpr std::uint16_t kUserEditAtom = 0x0FF5;
constexpr std::uint16_t kPersistDirectoryAtom = 0x1772;
constexpr std::uint16_t kDocumentContainer = 0x03E8;
// Embedded objects, controls and macros keep a storage in this record; instance 1 holds it
// compressed: its inflated size, then a zlib stream.
constexpr std::uint16_t kStorageAtom = 0x1011;
constexpr std::uint16_t kBinaryTagData = 0x138B;
constexpr std::uint16_t kCompressedInstance = 1;
constexpr std::uint32_t kPlainToken = 0xE391C05F;
constexpr std::uint32_t kEncryptedToken = 0xF3D1C4DF;
constexpr std::uint32_t kRecordHeaderSize = 8;
// Bounds on the walk, whatever the stream holds.
constexpr std::size_t kMaxUserEdits = 4096;
constexpr std::size_t kMaxRecords = std::size_t{1} << 22;
// Containers nest a few levels deep in presentations; the bound only stops hostile nesting.
constexpr int kMaxDepth = 32;
// No record a presentation holds has a type below this; zeroed bytes read as type 0.
constexpr std::uint16_t kFirstRecordType = 0x03E8;

std::string Num(std::uint64_t v) {
    return std::to_string(v);
}

std::string Hex(std::uint32_t v) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s = "0x0000";
    for (int i = 0; i < 4; ++i) s[5 - i] = kDigits[(v >> (4 * i)) & 0xF];
    return s;
}

// A chain of sectors (or mini sectors) held as runs of adjacent numbers: a stream laid out in
// order costs one entry, not four bytes per sector of a stream that may be most of the file.
class SectorChain {
  public:
    void Clear() {
        runs_.clear();
        size_ = 0;
    }
    void Append(std::uint32_t unit) {
        if (!runs_.empty() && runs_.back().first + (size_ - runs_.back().index) == unit) {
            ++size_;
            return;
        }
        runs_.push_back({size_, unit});
        ++size_;
    }
    std::uint64_t size() const { return size_; }
    // The i-th unit (i < size()).
    std::uint32_t operator[](std::uint64_t i) const {
        const Run& r = RunOf(i);
        return static_cast<std::uint32_t>(r.first + (i - r.index));
    }
    // How many units from the i-th on (i < size()) follow each other without a gap.
    std::uint64_t AdjacentFrom(std::uint64_t i) const {
        const auto next = NextRun(i);
        return (next == runs_.end() ? size_ : next->index) - i;
    }

  private:
    struct Run {
        std::uint64_t index;  // of its first unit in the chain
        std::uint32_t first;  // that unit's number
    };
    std::vector<Run>::const_iterator NextRun(std::uint64_t i) const {
        return std::upper_bound(runs_.begin(), runs_.end(), i,
                                [](std::uint64_t x, const Run& r) { return x < r.index; });
    }
    const Run& RunOf(std::uint64_t i) const { return *(NextRun(i) - 1); }

    std::vector<Run> runs_;
    std::uint64_t size_ = 0;
};

// Reads a stream of a file whose structure checked out, through the FAT that check read.
class StreamReader {
  public:
    StreamReader(RandomAccessFile& file, const CompoundFileHeader& h, const CheckResult& check,
                 std::span<const std::uint32_t> fat, const ZeroSectors* zeros)
        : file_(file), fat_(fat), zeros_(zeros) {
        std::vector<std::uint32_t> mini_fat_sectors = Chain(h.first_mini_fat_sector_location,
                                                            h.number_of_mini_fat_sectors);
        mini_fat_.resize(mini_fat_sectors.size() * kEntriesPerSector);
        ReadSectorRuns(file_, mini_fat_sectors, mini_fat_.data());
        const auto mini_stream_sectors =
            static_cast<std::uint32_t>((check.root_size + SECTOR_SIZE - 1) / SECTOR_SIZE);
        for (std::uint32_t cur = check.root_start;
             mini_stream_.size() < mini_stream_sectors && cur < fat_.size(); cur = fat_[cur])
            mini_stream_.Append(cur);
    }

    // The stream's bytes [offset, offset + out.size()); false when they lie past its end.
    bool Open(const CheckedStream& s) {
        size_ = s.size;
        mini_ = s.in_mini_stream;
        const std::uint64_t unit = mini_ ? kMiniSectorSize : SECTOR_SIZE;
        const auto count = static_cast<std::uint32_t>((s.size + unit - 1) / unit);
        units_.Clear();
        for (std::uint32_t cur = s.start; units_.size() < count; ) {
            units_.Append(cur);
            const std::span<const std::uint32_t> table = mini_ ? std::span<const std::uint32_t>(mini_fat_) : fat_;
            if (cur >= table.size()) break;
            cur = table[cur];
        }
        window_start_ = 1;  // nothing cached
        return units_.size() == count;
    }
    std::uint64_t size() const { return size_; }
    // The stream's unit of storage: a sector, or a mini sector for a stream in the mini stream.
    std::uint64_t unit() const { return mini_ ? kMiniSectorSize : SECTOR_SIZE; }

    // The first of the stream's units [first, last) that a pass over the file did not see
    // holding data (`last` when there is none): only those need reading to tell whether they
    // hold only zeros.
    std::uint64_t SkipSeenData(std::uint64_t first, std::uint64_t last) const {
        if (mini_ || !zeros_) return first;
        for (std::uint64_t u = first; u < last && u < units_.size();) {
            const std::uint64_t n = std::min(units_.AdjacentFrom(u), last - u);
            const std::uint64_t sector = units_[u];
            const std::uint64_t other = zeros_->SkipData(sector, sector + n);
            if (other < sector + n) return u + (other - sector);
            u += n;
        }
        return std::max(first, last);
    }

    // Up to `most` bytes of the stream from `offset` as the reader holds them, until its next
    // read; none past the stream's end or once a read failed.
    std::span<const std::uint8_t> PieceAt(std::uint64_t offset, std::uint64_t most) {
        if (offset >= size_) return {};
        if (window_start_ == 1 || offset < window_start_ ||
            offset >= window_start_ + window_.size())
            Load(offset);
        if (file_.Failed()) return {};
        const std::uint64_t n =
            std::min({most, window_start_ + window_.size() - offset, size_ - offset});
        return window_.subspan(static_cast<std::size_t>(offset - window_start_),
                               static_cast<std::size_t>(n));
    }

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
        if (offset > size_ || out.size() > size_ - offset) return false;
        for (std::size_t done = 0; done < out.size();) {
            const std::uint64_t at = offset + done;
            if (window_start_ == 1 || at < window_start_ || at >= window_start_ + window_.size())
                Load(at);
            const std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>(out.size() - done, window_start_ + window_.size() - at));
            std::copy_n(window_.begin() + static_cast<std::ptrdiff_t>(at - window_start_), n,
                        out.begin() + static_cast<std::ptrdiff_t>(done));
            done += n;
        }
        return !file_.Failed();
    }

  private:
    // Large enough that walking a big stream costs few system calls, small enough to keep.
    static constexpr std::uint64_t kWindow = std::uint64_t{1} << 20;

    std::vector<std::uint32_t> Chain(std::uint32_t start, std::uint32_t count) const {
        std::vector<std::uint32_t> out;
        for (std::uint32_t cur = start; out.size() < count && cur < fat_.size(); cur = fat_[cur])
            out.push_back(cur);
        return out;
    }

    void Load(std::uint64_t at) {
        window_start_ = at / kWindow * kWindow;
        const std::uint64_t end = std::min(window_start_ + kWindow, size_);
        if (window_room_.size() == 0) window_room_ = PageBuffer(kWindow);
        window_ = window_room_.span().first(static_cast<std::size_t>(end - window_start_));
        if (!mini_) {
            LoadRuns(end);
            return;
        }
        std::fill(window_.begin(), window_.end(), std::uint8_t{0});
        const std::uint64_t unit = kMiniSectorSize;
        std::array<std::uint8_t, SECTOR_SIZE> sector{};
        for (std::uint64_t pos = window_start_; pos < end;) {
            const std::uint64_t u = pos / unit;
            const std::size_t n = static_cast<std::size_t>(std::min(unit - pos % unit, end - pos));
            if (u >= units_.size()) break;
            const std::uint64_t host = static_cast<std::uint64_t>(units_[u]) * kMiniSectorSize / SECTOR_SIZE;
            if (host >= mini_stream_.size()) break;
            const std::uint64_t in_sector =
                pos % unit + static_cast<std::uint64_t>(units_[u]) * kMiniSectorSize % SECTOR_SIZE;
            ReadSector(file_, mini_stream_[host], sector.data());
            std::copy_n(sector.begin() + static_cast<std::ptrdiff_t>(in_sector), n,
                        window_.begin() + static_cast<std::ptrdiff_t>(pos - window_start_));
            pos += n;
        }
    }

    // The window of a stream in regular sectors: one read per run of adjacent sectors (a sector
    // at a time costs a system call pair apiece). What no read fills reads as zeros.
    void LoadRuns(std::uint64_t end) {
        const std::uint64_t last = (end - 1) / SECTOR_SIZE;
        std::uint64_t u = window_start_ / SECTOR_SIZE;
        for (; u <= last && u < units_.size();) {
            const std::uint64_t n = std::min(units_.AdjacentFrom(u), last + 1 - u);
            const std::uint64_t from = std::max(u * SECTOR_SIZE, window_start_);
            const std::uint64_t to = std::min((u + n) * SECTOR_SIZE, end);
            const std::uint64_t at = (static_cast<std::uint64_t>(units_[u]) + 1) * SECTOR_SIZE +
                                     (from - u * SECTOR_SIZE);
            auto out = std::span<std::uint8_t>(window_).subspan(
                static_cast<std::size_t>(from - window_start_), static_cast<std::size_t>(to - from));
            std::size_t got = 0;
            if (file_.Seek(at)) {
                while (got < out.size()) {
                    const std::size_t r = file_.Read(out.subspan(got));
                    if (r == 0) break;
                    got += r;
                }
            }
            std::fill(out.begin() + static_cast<std::ptrdiff_t>(got), out.end(), std::uint8_t{0});
            u += n;
        }
        // Past the stream's last unit.
        const std::uint64_t filled = std::clamp(u * SECTOR_SIZE, window_start_, end);
        std::fill(window_.begin() + static_cast<std::ptrdiff_t>(filled - window_start_),
                  window_.end(), std::uint8_t{0});
    }

    RandomAccessFile& file_;
    std::span<const std::uint32_t> fat_;
    const ZeroSectors* zeros_;
    std::vector<std::uint32_t> mini_fat_;
    SectorChain mini_stream_;
    SectorChain units_;  // of the stream open
    std::uint64_t size_ = 0;
    bool mini_ = false;
    PageBuffer window_room_;          // made on the first read
    std::span<std::uint8_t> window_;  // the part of it in use
    std::uint64_t window_start_ = 1;
};

// A stretch of the stream handed over byte by byte, read in the reader's large windows.
class StreamBytes final : public ByteSource {
  public:
    StreamBytes(StreamReader& reader, std::uint64_t begin, std::uint64_t end)
        : r_(reader), at_(begin), end_(end) {}
    std::span<const std::uint8_t> Next() override {
        if (at_ >= end_) return {};
        const std::span<const std::uint8_t> piece = r_.PieceAt(at_, end_ - at_);
        at_ = piece.empty() ? end_ : at_ + piece.size();
        return piece;
    }

  private:
    StreamReader& r_;
    std::uint64_t at_, end_;
};

struct RecordHeader {
    std::uint16_t ver_instance = 0;
    std::uint16_t type = 0;
    std::uint32_t length = 0;
    bool container() const { return (ver_instance & 0xF) == 0xF; }

    static RecordHeader From(const std::array<std::uint8_t, kRecordHeaderSize>& b) {
        return {ReadLE16(b.data()), ReadLE16(b.data() + 2), ReadLE32(b.data() + 4)};
    }
};

class ContentWalker {
  public:
    ContentWalker(StreamReader& reader, ContentCheck& out) : r_(reader), out_(out) {}

    bool Damaged(std::uint64_t offset, std::string what) {
        out_.damaged = true;
        out_.offset = offset;
        out_.problem = std::move(what);
        return false;
    }

    bool Header(std::uint64_t offset, RecordHeader* h, const std::string& what) {
        std::array<std::uint8_t, kRecordHeaderSize> b{};
        if (!r_.ReadAt(offset, b))
            return Damaged(offset, what + " at offset " + Num(offset) + " of \"" +
                                       kDocumentStream + "\" lies past the stream's end (" +
                                       Num(r_.size()) + " bytes)");
        *h = RecordHeader::From(b);
        if (h->length > r_.size() - offset - kRecordHeaderSize)
            return Damaged(offset, what + " at offset " + Num(offset) + " of \"" +
                                       kDocumentStream + "\" (type " + Hex(h->type) + ") gives " +
                                       Num(h->length) + " bytes, more than the stream holds after it");
        return true;
    }

    // A record and, in a container, every record it holds: each must fit its container exactly.
    // A container whose first child does not fit holds something else than records (some
    // writers give round-trip data a container's version): it is not walked. Past its first
    // child, a child that does not fit is damage, and a zeroed type is damage anywhere.
    bool Record(std::uint64_t offset, const std::string& what, int depth) {
        RecordHeader h;
        if (!Header(offset, &h, what)) return false;
        if (h.type < kFirstRecordType) return BadType(offset, what, h.type);
        if (h.type == kStorageAtom && (h.ver_instance >> 4) == kCompressedInstance)
            return CompressedStorage(offset, h);
        // Binary tag data is an atom by its version, but later versions keep their own records
        // in it: walked as a container's when its first one fits; else it is data of its own.
        if (!h.container() && h.type != kBinaryTagData)
            return HoldsForeignData(h.type) || NoZeroedUnit(offset, h);
        if (depth >= kMaxDepth) return true;
        const std::uint64_t end = offset + kRecordHeaderSize + h.length;
        for (std::uint64_t pos = offset + kRecordHeaderSize; pos < end;) {
            if (++records_ > kMaxRecords) return true;
            const bool first = pos == offset + kRecordHeaderSize;
            RecordHeader child;
            std::array<std::uint8_t, kRecordHeaderSize> b{};
            const bool whole = end - pos >= kRecordHeaderSize && r_.ReadAt(pos, b);
            if (whole) child = RecordHeader::From(b);
            const bool zeroed = whole && child.type == 0;
            const bool fits = whole && child.type >= kFirstRecordType &&
                              child.length <= end - pos - kRecordHeaderSize;
            if (!fits && first && (!zeroed || !h.container())) return true;
            if (!whole)
                return Damaged(pos, "the container record at offset " + Num(offset) + " of \"" +
                                        kDocumentStream + "\" (type " + Hex(h.type) +
                                        ") ends inside the header of the record at offset " + Num(pos));
            if (child.type < kFirstRecordType) return BadType(pos, "a record", child.type);
            if (!fits)
                return Damaged(pos, "the record at offset " + Num(pos) + " of \"" + kDocumentStream +
                                        "\" (type " + Hex(child.type) + ", " + Num(child.length) +
                                        " bytes) runs past the end of its container at offset " +
                                        Num(offset) + " (type " + Hex(h.type) + ")");
            if (!Record(pos, "a record", depth + 1)) return false;
            pos += kRecordHeaderSize + child.length;
        }
        return true;
    }

  private:
    // Records whose bodies are data of other formats (embedded files, pictures, sounds, fonts),
    // where a run of zeros is nothing unusual. (The packages later versions keep for themselves
    // are compressed XML: no run of zeros there.)
    static bool HoldsForeignData(std::uint16_t type) {
        switch (type) {
            case kStorageAtom:
            case 0x07E6:  // sound
            case 0x0FB8:  // embedded font
            case 0x0FC1:  // metafile
            case 0xF007:  // picture entry, with its picture
                return true;
            default:
                return type >= 0xF018 && type <= 0xF117;
        }
    }

    // A whole sector (or mini sector) of zeros inside a record of the presentation's own is what
    // a lost sector leaves: its text, properties and shapes never hold one.
    bool NoZeroedUnit(std::uint64_t offset, const RecordHeader& h) {
        const std::uint64_t body = offset + kRecordHeaderSize;
        return NoZeroedUnit(body, body + h.length, [&] {
            return "the record at offset " + Num(offset) + " of \"" + kDocumentStream + "\" (type " +
                   Hex(h.type) + ", " + Num(h.length) + " bytes)";
        });
    }

  public:
    // The same for [begin, end), which `what` names.
    template <typename What>
    bool NoZeroedUnit(std::uint64_t begin, std::uint64_t end, What what) {
        const std::uint64_t unit = r_.unit();
        const std::uint64_t first = (begin + unit - 1) / unit;
        const std::uint64_t last = std::max(end / unit, first);
        std::array<std::uint8_t, SECTOR_SIZE> b{};
        const auto bytes = std::span(b.data(), static_cast<std::size_t>(unit));
        // What a pass over the file saw holding data is not read again.
        for (std::uint64_t u = first; (u = r_.SkipSeenData(u, last)) < last; ++u) {
            const std::uint64_t at = u * unit;
            if (!r_.ReadAt(at, bytes)) return true;
            if (std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t x) { return x != 0; }))
                continue;
            return Damaged(at, what() + " holds only zeros from offset " + Num(at) + " to " +
                                   Num(at + unit - 1) + ", a whole " +
                                   (unit == SECTOR_SIZE ? "sector" : "mini sector") +
                                   " of the stream: it is lost");
        }
        return true;
    }

  private:

    // A compressed storage must inflate whole: a damaged sector inside it, which no record
    // header shows, breaks its codes, its length or its checksum.
    bool CompressedStorage(std::uint64_t offset, const RecordHeader& h) {
        const std::uint64_t body = offset + kRecordHeaderSize;
        std::array<std::uint8_t, 4> size{};
        std::string problem = "it is too short to state its size";
        if (h.length >= size.size() && r_.ReadAt(body, size)) {
            StreamBytes bytes(r_, body + size.size(), body + h.length);
            problem = CheckZlibStream(bytes, ReadLE32(size.data()));
        }
        if (problem.empty()) return true;
        return Damaged(offset, "the compressed storage at offset " + Num(offset) + " of \"" +
                                   kDocumentStream + "\" (an embedded object, control or macros) " +
                                   "does not inflate: " + problem);
    }

    bool BadType(std::uint64_t offset, const std::string& what, std::uint16_t type) {
        return Damaged(offset, what + " at offset " + Num(offset) + " of \"" + kDocumentStream +
                                   "\" has record type " + Hex(type) +
                                   (type == 0 ? " (its bytes are zeroed)" : "") +
                                   ", which no presentation record has");
    }

    StreamReader& r_;
    ContentCheck& out_;
    std::size_t records_ = 0;
};

// Where the first byte that is not zero lies from `pos` on: the stream's size when none does
// (or when it cannot be read).
std::uint64_t FirstNonZeroFrom(StreamReader& reader, std::uint64_t pos) {
    std::array<std::uint8_t, SECTOR_SIZE> b{};
    while (pos < reader.size()) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(b.size(), reader.size() - pos));
        const auto bytes = std::span(b.data(), n);
        if (!reader.ReadAt(pos, bytes)) break;
        const auto it =
            std::find_if(bytes.begin(), bytes.end(), [](std::uint8_t x) { return x != 0; });
        if (it != bytes.end()) return pos + static_cast<std::uint64_t>(it - bytes.begin());
        pos += n;
    }
    return reader.size();
}

}  // namespace

ContentCheck CheckPresentationContent(RandomAccessFile& file, const CompoundFileHeader& header,
                                      CheckScratch* shared, const ZeroSectors* zeros) {
    ContentCheck out;
    CheckScratch own;
    CheckScratch& scratch = shared ? *shared : own;
    const CheckResult check = CheckCompoundFileWith(file, header, scratch);
    if (!check.sound) return out;
    const CheckedStream* document = nullptr;
    const CheckedStream* user = nullptr;
    for (const CheckedStream& s : check.streams) {
        if (cfb::EqualsIgnoringCase(s.path, kDocumentStream)) document = &s;
        if (cfb::EqualsIgnoringCase(s.path, kCurrentUserStream)) user = &s;
    }
    if (!document || !user || scratch.fat_sectors.empty()) return out;
    StreamReader reader(file, header, check, scratch.fat.View(), zeros);
    out.walked = true;
    ContentWalker walk(reader, out);

    // "Current User": the atom that names the newest user edit. Presentations before
    // PowerPoint 97 keep the user's name there instead (its length, then the name): theirs
    // are not walked. Anything else is damage.
    std::array<std::uint8_t, 20> cu{};
    if (!reader.Open(*user)) return out;
    if (!reader.ReadAt(0, cu) || ReadLE16(cu.data() + 2) != kCurrentUserAtom) {
        std::array<std::uint8_t, 4> n{};
        if (reader.ReadAt(0, n) && ReadLE32(n.data()) == reader.size() - n.size()) {
            out.walked = false;
            return out;
        }
        walk.Damaged(0, "the \"" + std::string(kCurrentUserStream) + "\" stream (" +
                            Num(reader.size()) + " bytes) holds neither the record that names "
                            "the newest save nor a user name");
        return out;
    }
    const std::uint32_t token = ReadLE32(cu.data() + 12);
    if (token != kPlainToken && token != kEncryptedToken) {
        walk.Damaged(12, "the \"Current User\" record holds " + Hex(token >> 16) +
                             Hex(token & 0xFFFF).substr(2) + " where a presentation has its token");
        return out;
    }
    const bool encrypted = token == kEncryptedToken;
    if (!reader.Open(*document)) return out;

    // The user edits from the newest back, and the persist objects their directories name
    // (a newer save's entry hides an older one's).
    std::map<std::uint32_t, std::uint32_t> persist;  // persist id -> offset
    std::set<std::uint32_t> seen;
    std::uint32_t document_ref = 0;
    std::uint32_t session_ref = 0;  // the encryption's own record, itself not encrypted
    std::vector<std::uint64_t> landmarks;  // where user edits, directories and objects begin
    std::map<std::uint64_t, std::uint64_t> plain_end;  // where records never encrypted end
    bool newest = true;
    for (std::uint32_t edit = ReadLE32(cu.data() + 16); edit != 0 || newest;) {
        if (!seen.insert(edit).second || seen.size() > kMaxUserEdits) {
            walk.Damaged(edit, "the user edit at offset " + Num(edit) + " of \"" + kDocumentStream +
                                   "\" leads back to an earlier one");
            return out;
        }
        RecordHeader h;
        if (!walk.Header(edit, &h, "the user edit")) return out;
        std::array<std::uint8_t, 28> body{};
        if (h.type != kUserEditAtom || h.length < body.size() ||
            !reader.ReadAt(edit + kRecordHeaderSize, body)) {
            walk.Damaged(edit, "the user edit at offset " + Num(edit) + " of \"" + kDocumentStream +
                                   "\" is not one (record type " + Hex(h.type) + ")");
            return out;
        }
        if (newest) {
            document_ref = ReadLE32(body.data() + 16);
            std::array<std::uint8_t, 4> session{};
            if (h.length >= body.size() + session.size() &&
                reader.ReadAt(edit + kRecordHeaderSize + body.size(), session))
                session_ref = ReadLE32(session.data());
        }
        newest = false;
        landmarks.push_back(edit);
        plain_end[edit] = edit + kRecordHeaderSize + h.length;
        const std::uint32_t dir = ReadLE32(body.data() + 12);
        landmarks.push_back(dir);
        RecordHeader d;
        if (!walk.Header(dir, &d, "the persist directory")) return out;
        plain_end[dir] = dir + kRecordHeaderSize + d.length;
        if (d.type != kPersistDirectoryAtom) {
            walk.Damaged(dir, "the persist directory at offset " + Num(dir) + " of \"" +
                                  kDocumentStream + "\" is not one (record type " + Hex(d.type) + ")");
            return out;
        }
        std::vector<std::uint8_t> entries(d.length);
        reader.ReadAt(dir + kRecordHeaderSize, entries);
        for (std::size_t pos = 0; pos + 4 <= entries.size();) {
            const std::uint32_t word = ReadLE32(entries.data() + pos);
            const std::uint32_t first = word & 0xFFFFF, count = word >> 20;
            pos += 4;
            if (count > (entries.size() - pos) / 4) {
                walk.Damaged(dir, "the persist directory at offset " + Num(dir) + " of \"" +
                                      kDocumentStream + "\" lists more entries than it holds");
                return out;
            }
            for (std::uint32_t i = 0; i < count; ++i, pos += 4)
                persist.emplace(first + i, ReadLE32(entries.data() + pos));
        }
        edit = ReadLE32(body.data() + 8);
    }
    if (!persist.count(document_ref)) {
        walk.Damaged(0, "the newest user edit names persist object " + Num(document_ref) +
                            " as the document, but no persist directory lists it");
        return out;
    }
    // Every object the directories point to, in stream order, so that the first damaged one is
    // the one reported.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> objects;  // offset, id
    for (const auto& [id, offset] : persist) objects.push_back({offset, id});
    std::sort(objects.begin(), objects.end());
    for (const auto& [offset, id] : objects) landmarks.push_back(offset);
    landmarks.push_back(reader.size());
    std::sort(landmarks.begin(), landmarks.end());
    for (const auto& [offset, id] : objects) {
        const std::string what = "persist object " + Num(id);
        if (encrypted) {
            // Their contents, headers included, are encrypted; only where they lie can be judged.
            if (offset + kRecordHeaderSize > reader.size()) {
                walk.Damaged(offset, what + " lies at offset " + Num(offset) + ", past the end of \"" +
                                         kDocumentStream + "\"");
                return out;
            }
            if (id == session_ref) {
                RecordHeader session;
                if (walk.Header(offset, &session, what))
                    plain_end[offset] = offset + kRecordHeaderSize + session.length;
            }
            continue;
        }
        if (!walk.Record(offset, what, 0)) return out;
        if (id == document_ref) {
            std::array<std::uint8_t, kRecordHeaderSize> b{};
            reader.ReadAt(offset, b);
            if (ReadLE16(b.data() + 2) != kDocumentContainer) {
                walk.Damaged(offset, "the document record at offset " + Num(offset) + " of \"" +
                                         kDocumentStream + "\" has record type " +
                                         Hex(ReadLE16(b.data() + 2)) + " instead of " +
                                         Hex(kDocumentContainer));
                return out;
            }
        }
    }
    // Encrypted bytes look random, an earlier save's as much as the newest's: a whole unit of
    // zeros anywhere between the records never encrypted is a lost sector.
    if (encrypted) {
        plain_end[reader.size()] = reader.size();
        std::uint64_t from = 0;
        for (const auto& [begin, end] : plain_end) {
            const std::uint64_t at = from;
            if (at < begin && !walk.NoZeroedUnit(at, begin, [&] {
                    return "the encrypted part of \"" + std::string(kDocumentStream) +
                           "\" from offset " + Num(at);
                }))
                return out;
            from = std::max(from, end);
        }
    }
    // Saving in place appends: the records of earlier saves stay in the stream, back to back
    // with the newest, and a lost sector among them is as much a loss of the stream's bytes.
    // Some writers begin a save at a sector's edge, after zeros; zeros to the stream's end are
    // padding too. Where the records stop following each other, nothing more is judged.
    if (!encrypted) {
        const std::set<std::uint64_t> walked(landmarks.begin(), landmarks.end());
        auto header_at = [&](std::uint64_t pos, RecordHeader* h) {
            std::array<std::uint8_t, kRecordHeaderSize> b{};
            if (pos + kRecordHeaderSize > reader.size() || !reader.ReadAt(pos, b)) return false;
            *h = RecordHeader::From(b);
            return h->length <= reader.size() - pos - kRecordHeaderSize;
        };
        RecordHeader h;
        for (std::uint64_t pos = 0; header_at(pos, &h);) {
            if (h.ver_instance == 0 && h.type == 0) {
                const std::uint64_t next = FirstNonZeroFrom(reader, pos);
                if (next >= reader.size()) break;
                RecordHeader after;
                if (next % SECTOR_SIZE == 0 && next - pos < SECTOR_SIZE &&
                    header_at(next, &after) && after.type >= kFirstRecordType) {
                    pos = next;
                    continue;
                }
            }
            if (!walked.count(pos) && !walk.Record(pos, "the record", 0)) return out;
            pos += kRecordHeaderSize + h.length;
        }
    }
    if (file.Failed()) {
        out.damaged = false;
        out.walked = false;
    }
    return out;
}

std::optional<bool> BeginsAsItsNamePromises(const std::string& name,
                                            std::span<const std::uint8_t> first) {
    if (first.size() < 16) return std::nullopt;
    if (cfb::EqualsIgnoringCase(name, kCurrentUserStream)) {
        const std::uint32_t token = ReadLE32(first.data() + 12);
        return ReadLE16(first.data()) == 0 && ReadLE16(first.data() + 2) == kCurrentUserAtom &&
               (token == kPlainToken || token == kEncryptedToken);
    }
    // A property set: its byte order mark, then version 0 or 1.
    if (cfb::EqualsIgnoringCase(name, kSummaryStream) ||
        cfb::EqualsIgnoringCase(name, kDocumentSummaryStream))
        return ReadLE16(first.data()) == 0xFFFE && ReadLE16(first.data() + 2) <= 1;
    // An embedded object's class: two reserved fields around its version.
    if (cfb::EqualsIgnoringCase(name, kCompObjStream))
        return ReadLE32(first.data()) == 0xFFFE0001 && ReadLE32(first.data() + 8) == 0xFFFFFFFF;
    return std::nullopt;
}

bool BeginsAsAKnownSmallStream(std::span<const std::uint8_t> first) {
    for (const char* name :
         {kCurrentUserStream, kSummaryStream, kDocumentSummaryStream, kCompObjStream}) {
        if (BeginsAsItsNamePromises(name, first) == true) return true;
    }
    return false;
}

std::string DamagedRecordsWarning(const ContentCheck& content) {
    return "parts of the slides may be damaged: " + content.problem;
}

}  // namespace deckwright
