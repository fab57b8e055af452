// The structural check and the header reconstruction on arbitrary bytes: no crash, no hang, no
// sanitizer report; computing never writes, and a reconstruction that is found checks out.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/compound_file_check.h"
#include "engine/header_reconstruction.h"
#include "engine/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);
    deckwright::MemoryFile file(input);
    const deckwright::CheckResult check = deckwright::CheckCompoundFile(file);
    if (!check.sound && check.problem.empty()) __builtin_trap();
    deckwright::CompoundFileHeader hint;
    const deckwright::CompoundFileHeader* hint_ptr = nullptr;
    if (size >= deckwright::SECTOR_SIZE) {
        hint = deckwright::CompoundFileHeader::Parse(
            std::span<const std::uint8_t, deckwright::SECTOR_SIZE>(data, deckwright::SECTOR_SIZE));
        hint_ptr = &hint;
    }
    const deckwright::Reconstruction r = deckwright::ComputeReconstructedHeader(file, hint_ptr);
    if (file.bytes() != input) __builtin_trap();
    if (r.found && !deckwright::CheckCompoundFile(file, r.header).sound) __builtin_trap();
    return 0;
}
