#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/compound_file_header.h"

namespace deckwright::cli {

// One header as JSON: every field under its MS-CFB name in snake case; numbers as numbers,
// byte fields (signature, CLSID, reserved) as lower-case hex, "difat" as its 109 entries.
nlohmann::json HeaderToJson(const CompoundFileHeader& header);

// Names (as in HeaderToJson) of the fields whose values differ, in file order.
std::vector<std::string> ChangedFields(const CompoundFileHeader& before,
                                       const CompoundFileHeader& after);

// Lower-case hex of bytes, two digits each, no separators.
std::string HexBytes(const std::uint8_t* data, std::size_t size);

// A readable table: one row per field with the value found and the rebuilt one, changed rows
// marked. DIFAT entries are listed only where either side holds something other than FREESECT.
void PrintHeaderTable(std::ostream& out, const CompoundFileHeader& found,
                      const CompoundFileHeader& rebuilt);

}  // namespace deckwright::cli
