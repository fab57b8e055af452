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

// One "Name=value" line per setting; backslash and line breaks are escaped so that any text
// survives the round trip. A value ends at a NUL, as the registry's strings do for their
// readers, so that it is stored, read and used as one and the same text.
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
                return out;
            default:
                out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\0') return out;
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
                return out;
            default:
                out += text[i];
        }
    }
    return out;
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
        if (!line.empty() && line.back() == '\r') line.pop_back();  // written on Windows
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string name = line.substr(0, equals);
        std::string value = Unescape(line.substr(equals + 1));
        const bool fits = value.size() < kSettingBufferBytes;
        if (!fits) value.clear();
        if (name == "SaveFolder") {
            settings.save_folder = value;
            settings.save_folder_unreadable = !fits;
        }
        if (name == "Suffix") {
            settings.suffix = value;
            settings.suffix_unreadable = !fits;
        }
    }
    return settings;
}

bool StoreSettings(const Settings& settings, const std::string& location) {
    const auto slash = location.find_last_of('/');
    if (location.empty() || slash == std::string::npos) return false;
    if (!MakeFolders(location.substr(0, slash))) return false;
    // A value that could not be read is kept as it is stored.
    std::string kept_folder, kept_suffix;
    if (settings.save_folder_unreadable || settings.suffix_unreadable) {
        std::ifstream in(location, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("SaveFolder=", 0) == 0) kept_folder = line.substr(11);
            if (line.rfind("Suffix=", 0) == 0) kept_suffix = line.substr(7);
        }
    }
    // Written beside and renamed over, so an interrupted exit never leaves half a file.
    const std::string temp = location + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << "SaveFolder="
            << (settings.save_folder_unreadable ? kept_folder : Escape(settings.save_folder))
            << '\n'
            << "Suffix=" << (settings.suffix_unreadable ? kept_suffix : Escape(settings.suffix))
            << '\n';
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

std::string DefaultSaveFolder() {
    const char* documents = std::getenv("XDG_DOCUMENTS_DIR");
    std::string folder;
    if (documents && documents[0] == '/') {
        folder = documents;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        struct stat st {};
        folder = std::string(home) + "/Documents";
        if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) folder = home;
    }
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace deckwright
