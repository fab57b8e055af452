#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/settings.h"

namespace deckwright {
namespace {

// One "Name=value" line per setting; backslash, line breaks and NUL are escaped so that any
// text survives the round trip.
std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case '0':
                out += '\0';
                break;
            default:
                out += text[i];
        }
    }
    return out;
}

std::string Fitting(std::string value) {
    return value.size() < kSettingBufferBytes ? value : std::string();
}

bool MakeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

}  // namespace

std::string DefaultSettingsLocation() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    // Relative values are to be ignored, as the base directory rules say.
    if (config && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) return {};
        folder = std::string(home) + "/.config";
    }
    return folder + "/deckwright/settings";
}

Settings LoadSettings(const std::string& location) {
    Settings settings;
    if (location.empty()) return settings;
    std::ifstream in(location, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string name = line.substr(0, equals);
        const std::string value = Fitting(Unescape(line.substr(equals + 1)));
        if (name == "SaveFolder") settings.save_folder = value;
        if (name == "Suffix") settings.suffix = value;
    }
    return settings;
}

bool StoreSettings(const Settings& settings, const std::string& location) {
    const auto slash = location.find_last_of('/');
    if (location.empty() || slash == std::string::npos) return false;
    if (!MakeFolders(location.substr(0, slash))) return false;
    // Written beside and renamed over, so an interrupted exit never leaves half a file.
    const std::string temp = location + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << "SaveFolder=" << Escape(settings.save_folder) << '\n'
            << "Suffix=" << Escape(settings.suffix) << '\n';
        out.flush();
        if (!out) {
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (::rename(temp.c_str(), location.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace deckwright
