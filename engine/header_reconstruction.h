#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/compound_file_check.h"
#include "engine/compound_file_header.h"
#include "engine/ordered_read.h"
#include "engine/random_access_file.h"

namespace deckwright {

// A header worked out from what the sectors guarantee, and how the file fares with it.
struct Reconstruction {
    bool found = false;         // a header under which the file checks out sound
    CompoundFileHeader header;  // when found
    CheckResult check;          // the check with that header (or with the last one tried)
    std::string problem;        // when not found: why, in words that follow "Unable to ..."
    // When not found: the first layouts tried that failed past the header (a damaged FAT,
    // mini FAT or cut tail), in the order tried, for a repair of those structures to take up.
    std::vector<CompoundFileHeader> unsound_layouts;
    // The newest modification time any root entry in the file carries (0 when the file was not
    // scanned, or none is set): a layout whose root is older is an earlier version.
    std::uint64_t newest_root_modified = 0;
};

// Whether a layout whose root entry carries `root_modified` is older than a root entry the
// reconstruction's scan met: an earlier version of the presentation.
bool OlderThanNewestRoot(std::uint64_t root_modified, const Reconstruction& scan);

// What the reconstruction learns in its one pass over the sectors past the header: every
// sector that could be a FAT or DIFAT sector, and every one that starts with a root entry. A
// caller that reads the whole file for other ends too makes that pass itself (PassOverSectors)
// and hands each chunk here, so that the reconstruction need not read the file again.
class ReconstructionScan {
  public:
    explicit ReconstructionScan(std::uint64_t file_length);
    ReconstructionScan(ReconstructionScan&&) noexcept;
    ReconstructionScan& operator=(ReconstructionScan&&) noexcept;
    ~ReconstructionScan();

    // It looks at bytes [SECTOR_SIZE, Limit()): the whole sectors and a short last one.
    std::uint64_t Limit() const;
    // A chunk of lane 0 or 1 of the pass, of whole sectors (bytes past the chunk's `got` are
    // zero): each lane's chunks come in file order, lane 1's all lie after lane 0's and start
    // at a multiple of 64 sectors, and the two lanes may call at the same time. Sectors past
    // Limit() are not looked at.
    void Look(int lane, const FileChunk& chunk);
    // Forgets what the lanes gathered: the pass is to be made again, in order.
    void Discard();
    // After the pass: what lane 1 gathered follows what lane 0 did.
    void Finish();

    struct State;  // what it gathers, known to the reconstruction only
    State& state() { return *state_; }

  private:
    std::unique_ptr<State> state_;
};

// Works out the header from the file's own structure: the FAT found by the FATSECT and DIFSECT
// marks its sectors carry and by the successor pattern of their entries, DIFAT sectors by their
// links, the directory as the chain that starts with the root entry, the mini FAT as the one
// chain the directory does not account for, and every count from a chain length. Each
// candidate is judged by the structural check; the first sound one is taken. `hint` (the
// header as found, may be null) is tried first and its values are preferred where they check
// out. Reads the file once from end to end plus the structure sectors; writes nothing.
// `scratch` (may be null) is the room a caller's checks of the same file use, so that they
// and this share their tables and the FAT they read. `scan` (may be null) is the pass over the
// sectors past the header that the caller made already (they have not changed since); it is
// taken over, and the file is not read from end to end again.
Reconstruction ComputeReconstructedHeader(RandomAccessFile& file,
                                          const CompoundFileHeader* hint = nullptr,
                                          cfb::CheckScratch* scratch = nullptr,
                                          ReconstructionScan* scan = nullptr);

// The same, and when a header is found writes its 512 bytes at offset 0 (nothing else).
// I/O errors show in file.Failed().
Reconstruction ReconstructHeader(RandomAccessFile& file, const CompoundFileHeader* hint = nullptr,
                                 cfb::CheckScratch* scratch = nullptr);

// The fixed fields of a version 3 header (bytes 0 to 43, the transaction number and the mini
// stream cutoff) set to their canonical values.
void CanonicalizeFixedFields(CompoundFileHeader& header);

}  // namespace deckwright
