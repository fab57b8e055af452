#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace deckwright::testing {

// A test-only reader of version 3 compound files, written apart from the engine so that the
// engine's repairs are judged by code that shares none of their steps: every stream the
// directory's tree reaches, by path ("Storage/Stream", names as ASCII with control characters
// kept), with its bytes. Empty when the file does not read: a table, chain or link that leads
// outside it or in a circle, or a tree whose names are not in directory order.
std::optional<std::map<std::string, std::vector<std::uint8_t>>> ReadStreams(
    const std::vector<std::uint8_t>& file);

}  // namespace deckwright::testing
