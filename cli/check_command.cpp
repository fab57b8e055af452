#include <array>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/check_report.h"
#include "cli/commands.h"
#include "engine/compound_file_check.h"
#include "engine/presentation_check.h"
#include "runs/system_files.h"

namespace deckwright::cli {
namespace {

struct CheckOptions {
    bool json = false;
    std::vector<std::string> files;
};

// Judges each file as it is; the files are opened read-only and never written.
int RunCheck(const CheckOptions& options) {
    int status = kExitOk;
    nlohmann::json documents = nlohmann::json::array();
    for (const std::string& path : options.files) {
        std::string error;
        CheckResult result;
        ContentCheck content;
        auto file = OpenSystemFile(path, OpenMode::kRead, Sharing::kShared, &error);
        if (!file) {
            result.problem = "the file could not be opened: " + error;
        } else {
            result = CheckCompoundFile(*file);
            if (result.sound) {
                std::array<std::uint8_t, SECTOR_SIZE> header{};
                cfb::ReadHeaderBytes(*file, header.data());
                content = CheckPresentationContent(*file, CompoundFileHeader::Parse(header));
            }
        }
        if (!result.sound) {
            status = kExitSomeFailed;
        } else if (content.damaged && status == kExitOk) {
            status = kExitWarning;
        }
        if (options.json) {
            nlohmann::json doc = CheckToJson(result);
            doc["records"] = ContentToJson(content);
            doc["file"] = path;
            documents.push_back(std::move(doc));
        } else {
            std::cout << path << ": " << CheckToLine(result) << ContentToLine(content) << '\n';
        }
    }
    if (options.json) PrintJson(std::cout, documents);
    std::cout.flush();
    return status;
}

}  // namespace

void AddCheckCommand(CLI::App& app, int* exit_status) {
    auto options = std::make_shared<CheckOptions>();
    CLI::App* cmd = app.add_subcommand(
        "check",
        "Judge whether each file's structure is sound as it stands, and walk the records of "
        "each sound presentation (the files are only read); exit status 0 when every file is "
        "sound, 3 when all are but some presentation's records are damaged, 1 otherwise");
    cmd->add_flag("--json", options->json,
                  "One JSON document (an array, one object per file); a byte of a name that is "
                  "not valid UTF-8 is written as U+FFFD");
    cmd->add_option("FILE", options->files, "Compound files (.ppt) to check")->required();
    cmd->callback([options, exit_status] { *exit_status = RunCheck(*options); });
}

}  // namespace deckwright::cli
