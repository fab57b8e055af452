// The whole repair (header, structures past it, the presentation's records) and the
// content check on arbitrary bytes: no crash, no hang, no sanitizer report; a copy called sound
// checks out, computing a structure repair never writes, and what it offers checks out. The
// repair from a pass fed the bytes in pieces (as a copy feeds it) comes to the same copy and
// the same words.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/compound_file_check.h"
#include "engine/memory_file.h"
#include "engine/presentation_check.h"
#include "engine/repair.h"
#include "engine/structure_repair.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace deckwright;
    const std::vector<std::uint8_t> input(data, data + size);
    if (size >= SECTOR_SIZE) {
        MemoryFile file(input);
        const CompoundFileHeader h =
            CompoundFileHeader::Parse(std::span<const std::uint8_t, SECTOR_SIZE>(data, SECTOR_SIZE));
        const StructureRepair r = ComputeStructureRepair(file, h);
        if (file.bytes() != input) __builtin_trap();
        if (!r.sound && r.problem.empty()) __builtin_trap();
        if (r.sound) {
            OverlayFile view(file, r.sectors, r.length);
            if (!CheckCompoundFile(view, h).sound) __builtin_trap();
        }
        const ContentCheck c = CheckPresentationContent(file, h);
        if (file.bytes() != input) __builtin_trap();
        if (c.damaged && c.problem.empty()) __builtin_trap();
    }
    MemoryFile copy(input);
    const RepairOutcome o = RepairCompoundFile(copy);
    if (o.sound && !CheckCompoundFile(copy).sound) __builtin_trap();
    if (!o.sound && o.problem.empty()) __builtin_trap();
    if (!o.sound && !o.warning.empty()) __builtin_trap();

    MemoryFile fed_copy(input);
    SectorPassFeed feed(size);
    // Pieces of a few sectors, their size taken from the input so that the edges move.
    const std::size_t piece = SECTOR_SIZE * (1 + (size > 1 ? data[1] % 7 : 0));
    for (std::size_t pos = 0; pos < size; pos += piece)
        feed.Take(pos, std::span<const std::uint8_t>(data + pos, std::min(piece, size - pos)));
    const RepairOutcome fed = RepairCompoundFile(fed_copy, &feed);
    if (fed_copy.bytes() != copy.bytes() || fed.sound != o.sound || fed.problem != o.problem ||
        fed.warning != o.warning)
        __builtin_trap();
    return 0;
}
