#include "cli/check_report.h"

#include <ostream>

namespace deckwright::cli {

nlohmann::json CheckToJson(const CheckResult& result) {
    nlohmann::json j;
    j["sound"] = result.sound;
    j["problem"] = result.sound ? nlohmann::json(nullptr) : nlohmann::json(result.problem);
    j["sectors"] = result.sector_count;
    j["fat_sectors"] = result.fat_sectors;
    j["difat_sectors"] = result.difat_sectors;
    j["mini_fat_sectors"] = result.mini_fat_sectors;
    j["directory_sectors"] = result.directory_sectors;
    nlohmann::json streams = nlohmann::json::array();
    for (const auto& s : result.streams) {
        streams.push_back(
            {{"path", s.path}, {"size", s.size}, {"in_mini_stream", s.in_mini_stream}});
    }
    j["streams"] = std::move(streams);
    return j;
}

void PrintJson(std::ostream& out, const nlohmann::json& documents) {
    out << documents.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

std::string CheckToLine(const CheckResult& result) {
    if (result.sound) return "sound (" + std::to_string(result.streams.size()) + " streams)";
    return "NOT sound: " + result.problem;
}

nlohmann::json ContentToJson(const ContentCheck& content) {
    nlohmann::json j;
    j["walked"] = content.walked;
    j["damaged"] = content.damaged;
    j["problem"] = content.damaged ? nlohmann::json(content.problem) : nlohmann::json(nullptr);
    j["offset"] = content.damaged ? nlohmann::json(content.offset) : nlohmann::json(nullptr);
    return j;
}

std::string ContentToLine(const ContentCheck& content) {
    if (!content.damaged) return {};
    return "; presentation records damaged at offset " + std::to_string(content.offset) + ": " +
           content.problem;
}

}  // namespace deckwright::cli
