#include <iostream>
#include <string>
#include <vector>

#include "cli/check_report.h"
#include "cli/commands.h"
#include "cli/header_report.h"
#include "engine/compound_file_check.h"
#include "engine/copy_on_write_file.h"
#include "engine/header_reconstruction.h"
#include "engine/presentation_check.h"
#include "engine/repair.h"
#include "engine/sector_scan.h"
#include "runs/system_files.h"

namespace deckwright::cli {
namespace {

struct InspectOptions {
    bool json = false;
    std::vector<std::string> files;
};

// What one file's header looks like now, what the rebuild and the reconstruction would make of
// it, and how the file fares under each. Reads the file only: it is opened read-only and the
// candidate headers are judged in memory.
struct Inspection {
    std::uint64_t length = 0;
    CompoundFileHeader found;
    CompoundFileHeader rebuilt;
    std::array<std::uint8_t, SECTOR_SIZE> rebuilt_bytes{};
    CheckResult found_check;
    CheckResult rebuilt_check;
    Reconstruction reconstruction;
    // What the repair rebuilds past the header (FAT, mini FAT, a cut tail, a garbled name), or
    // why it cannot when no header makes the file sound: the repair itself, run in memory.
    bool past_header_tried = false;
    RepairOutcome past_header;
    ContentCheck content;  // the presentation's records, under the first header that is sound
};

// Whether the layout the reconstruction found is older than a root entry the file holds: the
// repair then does not hand it back.
bool IsEarlierVersion(const Reconstruction& rec) {
    return rec.found && OlderThanNewestRoot(rec.check.root_modified, rec);
}

bool Inspect(const std::string& path, Inspection* out, std::string* error) {
    auto file = OpenSystemFile(path, OpenMode::kRead, Sharing::kShared, error);
    if (!file) return false;
    out->length = file->Length();
    SectorBytes found{};
    if (file->Seek(0)) file->Read(found);
    out->found = CompoundFileHeader::Parse(found);
    out->found_check = CheckCompoundFile(*file, out->found);
    // The repair itself, worked through in memory: its one read of the file serves the
    // rebuild, the reconstruction and what it does past the header, as for `repair`.
    CopyOnWriteFile repaired(*file);
    RepairReport report;
    const RepairOutcome outcome = RepairCompoundFile(repaired, nullptr, &report);
    if (file->Failed() || repaired.Failed()) {
        *error = file->Failed() ? file->Error() : repaired.Error();
        return false;
    }
    out->rebuilt_bytes = report.rebuilt_header;
    out->rebuilt = CompoundFileHeader::Parse(out->rebuilt_bytes);
    out->rebuilt_check = std::move(report.rebuilt_check);
    out->reconstruction = std::move(report.reconstruction);
    const Reconstruction& rec = out->reconstruction;
    // Past the header: what the repair rebuilt there, or why it could not, when no header
    // makes the file sound as it stands (an earlier version is not handed back).
    if (!outcome.rebuilt.empty() ||
        (!outcome.sound && !out->found_check.sound && !out->rebuilt_check.sound &&
         (!rec.found || IsEarlierVersion(rec)))) {
        out->past_header_tried = true;
        out->past_header = outcome;
    }
    out->content = std::move(report.content);
    return true;
}

// The reconstruction's verdict: the check under the header it found, or why none was found.
nlohmann::json ReconstructionCheckToJson(const Reconstruction& rec) {
    if (!rec.found) return {{"sound", false}, {"problem", rec.problem}};
    nlohmann::json j = CheckToJson(rec.check);
    j["earlier_version"] = IsEarlierVersion(rec);
    return j;
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
            const Reconstruction& rec = inspection.reconstruction;
            doc["reconstructed"] = rec.found ? HeaderToJson(rec.header) : nlohmann::json(nullptr);
            doc["check"] = {{"found", CheckToJson(inspection.found_check)},
                            {"rebuilt", CheckToJson(inspection.rebuilt_check)},
                            {"reconstructed", ReconstructionCheckToJson(rec)}};
            nlohmann::json past = nullptr;
            if (inspection.past_header_tried) {
                nlohmann::json sectors = nlohmann::json::array();
                for (const RebuiltSector& r : inspection.past_header.rebuilt)
                    sectors.push_back({{"sector", r.sector}, {"what", r.what}, {"why", r.why}});
                past = {{"sound", inspection.past_header.sound},
                        {"problem", inspection.past_header.sound
                                        ? nlohmann::json(nullptr)
                                        : nlohmann::json(inspection.past_header.problem)},
                        {"rebuilt", std::move(sectors)}};
            }
            doc["past_header"] = std::move(past);
            doc["records"] = ContentToJson(inspection.content);
            documents.push_back(std::move(doc));
        } else {
            std::cout << path << " (" << inspection.length << " bytes)\n";
            PrintHeaderTable(std::cout, inspection.found, inspection.rebuilt);
            std::cout << (changed.empty()
                              ? "  the rebuild would change nothing\n"
                              : "  the rebuild would change " + std::to_string(changed.size()) +
                                    " field(s), marked *\n");
            const Reconstruction& rec = inspection.reconstruction;
            std::cout << "  check as found:         " << CheckToLine(inspection.found_check) << '\n'
                      << "  check as rebuilt:       " << CheckToLine(inspection.rebuilt_check)
                      << '\n'
                      << "  check as reconstructed: "
                      << (rec.found ? CheckToLine(rec.check)
                                    : "no sound header found: " + rec.problem)
                      << (IsEarlierVersion(rec) ? " (an earlier version: the file holds a root "
                                                  "entry saved later)"
                                                : "")
                      << '\n';
            if (inspection.past_header_tried) {
                const RepairOutcome& past = inspection.past_header;
                if (past.sound && past.rebuilt.empty()) {
                    std::cout << "  past the header, the repair would rebuild nothing: its "
                                 "header alone makes the file check out\n";
                } else if (past.sound) {
                    std::cout << "  past the header, the repair would rebuild "
                              << past.rebuilt.size() << " sector(s), and then the file checks out:\n";
                    for (const RebuiltSector& r : past.rebuilt)
                        std::cout << "    sector " << r.sector << ": " << r.what << " (" << r.why
                                  << ")\n";
                } else {
                    std::cout << "  past the header: " << past.problem << '\n';
                }
            }
            if (inspection.content.damaged)
                std::cout << "  presentation records: damaged at offset "
                          << inspection.content.offset << ": " << inspection.content.problem
                          << '\n';
            std::cout << '\n';
        }
    }
    if (options.json) PrintJson(std::cout, documents);
    std::cout.flush();
    return status;
}

}  // namespace

void AddInspectCommand(CLI::App& app, int* exit_status) {
    auto options = std::make_shared<InspectOptions>();
    CLI::App* cmd = app.add_subcommand(
        "inspect",
        "Show each file's header as found, as the rebuild and the reconstruction would "
        "write it, the check's verdict on each, what the repair would rebuild past the header "
        "(which sectors, why) and the first damaged presentation record (the files are only "
        "read)");
    cmd->add_flag("--json", options->json,
                  "One JSON document (an array, one object per file); a byte of a name that is "
                  "not valid UTF-8 is written as U+FFFD");
    cmd->add_option("FILE", options->files, "Compound files (.ppt) to inspect")->required();
    cmd->callback([options, exit_status] { *exit_status = RunInspect(*options); });
}

}  // namespace deckwright::cli
