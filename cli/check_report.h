#pragma once

#include <iosfwd>

#include <nlohmann/json.hpp>

#include "engine/compound_file_check.h"
#include "engine/presentation_check.h"

namespace deckwright::cli {

// One verdict of the structural check as JSON: "sound", "problem" (null when sound), the
// structure's sizes and the streams found.
nlohmann::json CheckToJson(const CheckResult& result);

// Writes documents, then a line break. File and stream names are whatever bytes they are; in
// JSON, each byte that is not part of valid UTF-8 is written as U+FFFD.
void PrintJson(std::ostream& out, const nlohmann::json& documents);

// One line: "sound (N streams)" or "NOT sound: <problem>".
std::string CheckToLine(const CheckResult& result);

// The walk of a presentation's records as JSON: "walked", "damaged", and when damaged the
// first damaged record's "problem" and "offset".
nlohmann::json ContentToJson(const ContentCheck& content);
// What follows CheckToLine: "" when the records are intact or were not walked, else
// "; presentation records damaged at offset N: <problem>".
std::string ContentToLine(const ContentCheck& content);

}  // namespace deckwright::cli
