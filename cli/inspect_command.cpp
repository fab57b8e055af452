#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/header_report.h"
#include "engine/header_rebuild.h"
#include "engine/sector_scan.h"
#include "platform/os_file.h"

namespace deckwright::cli {
namespace {

struct InspectOptions {
    bool json = false;
    std::vector<std::string> files;
};

// What one file's header looks like now and what the rebuild would make of it. Reads the file
// only: it is opened read-only and nothing is written.
struct Inspection {
    std::uint64_t length = 0;
    CompoundFileHeader found;
    CompoundFileHeader rebuilt;
    std::array<std::uint8_t, SECTOR_SIZE> rebuilt_bytes{};
};

bool Inspect(const std::string& path, Inspection* out, std::string* error) {
    auto file = OsFile::Open(path, OpenMode::kRead, Sharing::kShared, error);
    if (!file) return false;
    out->length = file->Length();
    SectorBytes found{};
    if (file->Seek(0)) file->Read(found);
    out->rebuilt_bytes = ComputeRebuiltHeader(*file);
    if (file->Failed()) {
        *error = file->Error();
        return false;
    }
    out->found = CompoundFileHeader::Parse(found);
    out->rebuilt = CompoundFileHeader::Parse(out->rebuilt_bytes);
    return true;
}

int RunInspect(const InspectOptions& options) {
    int status = kExitOk;
    nlohmann::json documents = nlohmann::json::array();
    for (const std::string& path : options.files) {
        Inspection inspection;
        std::string error;
        if (!Inspect(path, &inspection, &error)) {
            std::cerr << "deckwright: " << path << ": " << error << '\n';
            status = kExitSomeFailed;
            continue;
        }
        const auto changed = ChangedFields(inspection.found, inspection.rebuilt);
        if (options.json) {
            nlohmann::json doc;
            doc["file"] = path;
            doc["length"] = inspection.length;
            doc["found"] = HeaderToJson(inspection.found);
            doc["rebuilt"] = HeaderToJson(inspection.rebuilt);
            doc["changed"] = changed;
            doc["rebuilt_header_hex"] =
                HexBytes(inspection.rebuilt_bytes.data(), inspection.rebuilt_bytes.size());
            documents.push_back(std::move(doc));
        } else {
            std::cout << path << " (" << inspection.length << " bytes)\n";
            PrintHeaderTable(std::cout, inspection.found, inspection.rebuilt);
            std::cout << (changed.empty()
                              ? "  the rebuild would change nothing\n"
                              : "  the rebuild would change " + std::to_string(changed.size()) +
                                    " field(s), marked *\n")
                      << '\n';
        }
    }
    if (options.json) std::cout << documents.dump(2) << '\n';
    std::cout.flush();
    return status;
}

}  // namespace

void AddInspectCommand(CLI::App& app, int* exit_status) {
    auto options = std::make_shared<InspectOptions>();
    CLI::App* cmd =
        app.add_subcommand("inspect",
                           "Show each file's header as found and as the rebuild would write it "
                           "(the files are only read)");
    cmd->add_flag("--json", options->json, "One JSON document (an array, one object per file)");
    cmd->add_option("FILE", options->files, "Compound files (.ppt) to inspect")->required();
    cmd->callback([options, exit_status] { *exit_status = RunInspect(*options); });
}

}  // namespace deckwright::cli
