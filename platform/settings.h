#pragma once

#include <cstddef>
#include <string>

namespace deckwright {

// The two user settings kept between runs of the program.
struct Settings {
    std::string save_folder;  // "SaveFolder": a plain prefix of every destination path
    std::string suffix;       // "Suffix": inserted before ".ppt" in every saved name
    // A stored value that could not be read (too long for the reader, or not text) reads as
    // empty; storing then leaves it as it is stored instead of erasing it.
    bool save_folder_unreadable = false;
    bool suffix_unreadable = false;
};

// A stored value of this many bytes or more does not fit the reader's buffer: it reads as empty.
inline constexpr std::size_t kSettingBufferBytes = 512;

// Where the settings live: on Windows a key under HKEY_CURRENT_USER
// ("Software\Velmora\Deckwright"), elsewhere a file ($XDG_CONFIG_HOME, else ~/.config,
// then "deckwright/settings"). Empty when no place can be found.
std::string DefaultSettingsLocation();

// A missing store, a missing value or one too long reads as empty, without a message.
Settings LoadSettings(const std::string& location = DefaultSettingsLocation());
// Writes both values, making the store when it does not exist yet, but leaves a value marked
// unreadable as it is stored. False when that fails.
bool StoreSettings(const Settings& settings,
                   const std::string& location = DefaultSettingsLocation());

// Where the desktop program saves until the user picks a folder: the user's Documents folder,
// ending with the separator; empty when the system does not say.
std::string DefaultSaveFolder();

}  // namespace deckwright
