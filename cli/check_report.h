#pragma once

#include <nlohmann/json.hpp>

#include "engine/compound_file_check.h"

namespace deckwright::cli {

// One verdict of the structural check as JSON: "sound", "problem" (null when sound), the
// structure's sizes and the streams found.
nlohmann::json CheckToJson(const CheckResult& result);

// One line: "sound (N streams)" or "NOT sound: <problem>".
std::string CheckToLine(const CheckResult& result);

}  // namespace deckwright::cli
