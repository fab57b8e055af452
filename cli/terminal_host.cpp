#include "cli/terminal_host.h"

#include <filesystem>
#include <istream>
#include <ostream>
#include <thread>

#include "runs/run_texts.h"

namespace deckwright::cli {
namespace {

bool Exists(const std::string& path) {
    std::error_code ec;
    const std::u8string utf8(path.begin(), path.end());
    return std::filesystem::exists(std::filesystem::path(utf8), ec);
}

}  // namespace

// The program's texts keep their line breaks and trailing blanks; on one line they read better
// without them.
std::string TerminalHost::OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    std::string out;
    for (const char c : text) {
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return out;
}

std::string TerminalHost::Reason(const ItemOutcome& outcome) {
    std::string reason = OneLine(outcome.message);
    if (!outcome.detail.empty()) reason += " (" + outcome.detail + ")";
    return reason;
}

bool TerminalHost::AskOverwrite(std::size_t, const std::string& destination) {
    switch (policy_) {
        case ExistingPolicy::kOverwrite:
            return true;
        case ExistingPolicy::kKeepExisting:
            return false;
        case ExistingPolicy::kAsk:
            break;
    }
    if (!interactive_) return false;
    questions_ << destination << '\n';
    return AskYesNo(std::string(kOverwriteQuestion));
}

std::optional<std::string> TerminalHost::AskSaveAsPath(std::size_t,
                                                       const std::string& initial_path) {
    if (policy_ != ExistingPolicy::kAsk || !interactive_) return std::nullopt;
    for (;;) {
        questions_ << "Save as (empty to cancel) [was " << initial_path << "]: " << std::flush;
        std::string path;
        if (!ReadLine(&path) || path.empty()) return std::nullopt;
        // As a save dialog does: a name that is taken is replaced only when confirmed.
        if (!Exists(path) || AskYesNo(path + " already exists.\nReplace it")) return path;
    }
}

void TerminalHost::Pause(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

bool TerminalHost::AskYesNo(const std::string& question) {
    for (;;) {
        questions_ << question << " [y/n]? " << std::flush;
        std::string answer;
        if (!ReadLine(&answer)) return false;
        if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") return true;
        if (answer == "n" || answer == "N" || answer == "no" || answer == "No") return false;
    }
}

bool TerminalHost::ReadLine(std::string* line) {
    if (!std::getline(answers_, *line)) return false;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

}  // namespace deckwright::cli
