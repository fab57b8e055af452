#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "engine/compound_file_check.h"
#include "engine/compound_file_header.h"
#include "engine/random_access_file.h"
#include "engine/zero_sectors.h"

namespace deckwright {

// The verdict on a presentation's own records, in a file whose structure checks out.
struct ContentCheck {
    bool walked = false;   // the records were walked (a PowerPoint 97 or later presentation)
    bool damaged = false;  // some record the presentation points to is not what it should be
    std::string problem;   // when damaged: the first damaged record, where and what
    std::uint64_t offset = 0;  // when damaged: its offset in the stream named in `problem`
};

// Walks "Current User" to the newest user edit, the chain of user edits, their persist
// directories, and the header of every record those point to in "PowerPoint Document" (and,
// inside unencrypted container records, every record they hold). Reads those bytes only; never
// writes. Under `header` the file's structure must check out; PowerPoint 4.0 files ("PP40")
// and files whose structure does not check out are not walked. `scratch` (may be null) is the
// room the caller's checks of the same file use: a FAT they read is then not read, nor held,
// a second time. `zeros` (may be null) is what a pass over the file as it stands saw of its
// sectors: a stream's sector it knows is not read again to learn whether it holds only zeros.
ContentCheck CheckPresentationContent(RandomAccessFile& file, const CompoundFileHeader& header,
                                      cfb::CheckScratch* scratch = nullptr,
                                      const ZeroSectors* zeros = nullptr);

// Whether a small stream's first bytes (at least 16) are what its name promises, for the
// streams whose beginning is known: "Current User" (the record naming the newest save, with a
// presentation's token), the property sets and "\x01CompObj". Empty for any other stream.
std::optional<bool> BeginsAsItsNamePromises(const std::string& name,
                                            std::span<const std::uint8_t> first);
// Whether the bytes begin as one of those streams begins.
bool BeginsAsAKnownSmallStream(std::span<const std::uint8_t> first);

// The words a user is given when a copy was saved with damaged records.
std::string DamagedRecordsWarning(const ContentCheck& content);

}  // namespace deckwright
