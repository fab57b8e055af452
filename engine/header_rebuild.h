#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/compound_file_header.h"
#include "engine/random_access_file.h"
#include "engine/sector_scan.h"

namespace deckwright {

// Rewrites the 512 header bytes of an open, writable compound file from what its sectors show.
// Always returns 0. I/O errors do not change what is written from the bytes that did arrive;
// the caller learns of them from file.Failed() and file.Error().
int RebuildHeader(RandomAccessFile& file);

// The 512 bytes RebuildHeader would write, computed from one sequential read of the file.
// Nothing is written.
std::array<std::uint8_t, SECTOR_SIZE> ComputeRebuiltHeader(RandomAccessFile& file);

// The same rebuild from a survey of the file made beforehand with the sectors the rebuild
// reads by number (RebuildHeaderChooser), in a pass that served other ends too; the file must
// not have changed since. RebuildHeader(file, survey) writes what RebuildHeader(file) writes.
std::array<std::uint8_t, SECTOR_SIZE> ComputeRebuiltHeader(const SectorSurvey& survey);
int RebuildHeader(RandomAccessFile& file, const SectorSurvey& survey);
// The sectors the rebuild reads by number, given the header as found and length / 512.
std::vector<std::uint32_t> RebuildHeaderChooser(const SectorBytes& header, std::uint64_t n);

// The same rebuild done the plain way: every search reads the whole file again, sector by
// sector, through one 512-byte buffer. Kept as the reference the fast rebuild is held to.
int RebuildHeaderLiteral(RandomAccessFile& file);
std::array<std::uint8_t, SECTOR_SIZE> ComputeRebuiltHeaderLiteral(RandomAccessFile& file);

// The literal sector scans. Sectors are numbered from 0 (file offset (k + 1) * 512); only whole
// sectors after the header are visited.
// The first (or with skip_first the second) FAT-like sector whose FatBlockIndex for `block` is
// `block`; -1 when there is none.
std::int32_t FindFatSector(RandomAccessFile& file, std::int32_t block, bool skip_first);
// How many sectors are FAT-like (FAT and mini FAT sectors alike).
std::uint32_t CountFatSectors(RandomAccessFile& file);
// The first directory-like sector whose first entry has object type 5 (root storage); -1 when
// there is none.
std::int32_t FindRootDirectorySector(RandomAccessFile& file);

}  // namespace deckwright
