#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/compound_file_header.h"
#include "engine/random_access_file.h"

namespace deckwright {

// One stream the directory tree reaches.
struct CheckedStream {
    std::string path;  // UTF-8, storages joined with '/'
    std::uint64_t size = 0;
    bool in_mini_stream = false;
    std::uint32_t start = 0;  // first sector, or first mini sector when in the mini stream
};

// The verdict of the structural check on one compound file.
struct CheckResult {
    bool sound = false;
    // When not sound: the first thing found wrong, where and what (sector, chain, expected
    // versus found), worded to follow "Unable to repair this file: ".
    std::string problem;
    std::uint32_t sector_count = 0;  // sectors that start inside the file
    std::uint32_t fat_sectors = 0;
    std::uint32_t difat_sectors = 0;
    std::uint32_t mini_fat_sectors = 0;
    std::uint32_t directory_sectors = 0;
    std::uint32_t sectors_in_use = 0;  // sectors of the directory, mini FAT and streams
    // Marked in use by the FAT, yet held by nothing; a file with any is not sound, so this is
    // only ever non-zero while a check runs.
    std::uint32_t leaked_sectors = 0;
    std::uint64_t root_modified = 0;   // the root entry's modification time (FILETIME), 0 if unset
    std::uint32_t root_start = 0;      // the mini stream's first sector
    std::uint64_t root_size = 0;       // the mini stream's size in bytes
    std::vector<CheckedStream> streams;  // in the order the tree walk meets them
};

// Judges the file as its own header describes it: DIFAT, FAT, directory chain and tree, mini
// FAT, every stream's chain, and the two streams a presentation cannot do without. Reads the
// header and the structure sectors (not the stream contents); never writes. Memory is bounded
// by the file's length, never by a count the file states.
CheckResult CheckCompoundFile(RandomAccessFile& file);

// The same judgement with `header` in place of the file's first 512 bytes: how the file would
// fare with that header, without writing it.
CheckResult CheckCompoundFile(RandomAccessFile& file, const CompoundFileHeader& header);

// Pieces of the check that the header reconstruction shares.
namespace cfb {

inline constexpr std::uint32_t kDirEntrySize = 128;
inline constexpr std::uint32_t kMiniSectorSize = 64;
inline constexpr std::uint32_t kMiniStreamCutoff = 4096;
inline constexpr std::uint32_t kDifatEntriesPerSector = kEntriesPerSector - 1;
inline constexpr std::uint8_t kTypeUnused = 0;
inline constexpr std::uint8_t kTypeStorage = 1;
inline constexpr std::uint8_t kTypeStream = 2;
inline constexpr std::uint8_t kTypeRoot = 5;

inline constexpr const char* kDocumentStream = "PowerPoint Document";
inline constexpr const char* kCurrentUserStream = "Current User";
inline constexpr const char* kPowerPoint4Stream = "PP40";
inline constexpr const char* kSummaryStream = "\005SummaryInformation";
inline constexpr const char* kDocumentSummaryStream = "\005DocumentSummaryInformation";
inline constexpr const char* kCompObjStream = "\001CompObj";

// Whether two names are the same but for the case of ASCII letters (as readers compare
// stream names).
bool EqualsIgnoringCase(const std::string& a, const char* b);

// Sectors that start inside a file of `length` bytes (a short last sector counts).
std::uint32_t SectorCount(std::uint64_t length);

// Reads sector k; bytes past the end of the file read as zero. Returns the bytes delivered.
std::size_t ReadSector(RandomAccessFile& file, std::uint32_t k, std::uint8_t* out);
// Reads the 512 header bytes the same way. Returns the bytes delivered.
std::size_t ReadHeaderBytes(RandomAccessFile& file, std::uint8_t* out);
// Whether every byte of a sector is the same: a wiped sector (zeroed, or filled with 0xFF).
bool Uniform(const std::uint8_t* sector);

struct DirectoryEntry {
    std::string name;  // UTF-8
    std::uint8_t type = 0;
    std::uint8_t colour = 0;
    std::uint16_t name_length = 0;  // in bytes, with the terminating null, as stored
    std::uint32_t name_units = 0;   // units before the first null in the 32 of the name field
    std::uint32_t left = kNoStream;
    std::uint32_t right = kNoStream;
    std::uint32_t child = kNoStream;
    std::uint32_t start = 0;
    std::uint64_t size = 0;      // version 3: the low 32 bits only, as readers take it
    std::uint64_t modified = 0;  // FILETIME
};
DirectoryEntry ParseDirectoryEntry(const std::uint8_t* entry);
// Whether the 128 bytes can be a root entry: its object type, a colour, a name of at most 32
// units, and no siblings.
bool LooksLikeRootEntry(const std::uint8_t* entry);

// Room for 32-bit entries that are always written before they are read. Growing it does not
// zero it: on a big file each fresh page costs a fault, and a zeroing pass would fault them all
// in only for the read that follows to overwrite them.
class EntryBuffer {
  public:
    // Makes room for n entries, which hold leftover values until written.
    std::uint32_t* Resize(std::size_t n);
    std::span<const std::uint32_t> View() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }

  private:
    std::unique_ptr<std::uint32_t[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Reads the sectors into consecutive 512-byte slots of `out`, as ReadSector would, with one
// seek and one read per run of adjacent sectors (a sector at a time costs a system call pair
// apiece). The slots then hold little-endian entries in host order.
void ReadSectorRuns(RandomAccessFile& file, std::span<const std::uint32_t> sectors,
                    std::uint32_t* out);

// Room for the check's tables, for a caller that checks many headers of one file, or checks
// a file and then reconstructs its header: they are then allocated (and their pages faulted
// in) once, and a FAT already read is not read again. A scratch serves one file, whose sectors
// do not change while it is in use (writing the header is fine).
struct CheckScratch {
    std::vector<std::uint64_t> claimed;  // a bit per sector
    EntryBuffer fat;
    // The sectors `fat` was read from, in block order; empty when it holds nothing.
    std::vector<std::uint32_t> fat_sectors;
};

// CheckCompoundFile(file, header) and CheckCompoundFile(file), working in `scratch`.
CheckResult CheckCompoundFileWith(RandomAccessFile& file, const CompoundFileHeader& header,
                                  CheckScratch& scratch);
CheckResult CheckCompoundFileWith(RandomAccessFile& file, CheckScratch& scratch);

}  // namespace cfb

}  // namespace deckwright
