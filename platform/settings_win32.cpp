#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <vector>

#include "platform/settings.h"
#include "platform/utf.h"

namespace deckwright {
namespace {

// The value's text; a value that exists but cannot be used sets *unreadable.
std::string ReadValue(HKEY key, const wchar_t* name, bool* unreadable) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return {};
    *unreadable = true;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS) {
        return {};
    }
    std::wstring text(buffer.data(), size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    std::string value = Narrow(text);
    if (value.size() >= kSettingBufferBytes) return {};
    *unreadable = false;
    return value;
}

bool WriteValue(HKEY key, const wchar_t* name, const std::string& value) {
    const std::wstring text = Widen(value);
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          bytes) == ERROR_SUCCESS;
}

}  // namespace

std::string DefaultSettingsLocation() {
    return "Software\\Velmora\\Deckwright";
}

Settings LoadSettings(const std::string& location) {
    Settings settings;
    HKEY key = nullptr;
    if (location.empty() || RegOpenKeyExW(HKEY_CURRENT_USER, Widen(location).c_str(), 0,
                                          KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return settings;
    }
    settings.save_folder = ReadValue(key, L"SaveFolder", &settings.save_folder_unreadable);
    settings.suffix = ReadValue(key, L"Suffix", &settings.suffix_unreadable);
    RegCloseKey(key);
    return settings;
}

bool StoreSettings(const Settings& settings, const std::string& location) {
    HKEY key = nullptr;
    // Created when missing: otherwise settings made on a fresh system would never be kept.
    if (location.empty() ||
        RegCreateKeyExW(HKEY_CURRENT_USER, Widen(location).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool ok =
        (settings.save_folder_unreadable || WriteValue(key, L"SaveFolder", settings.save_folder)) &&
        (settings.suffix_unreadable || WriteValue(key, L"Suffix", settings.suffix));
    RegCloseKey(key);
    return ok;
}

std::string DefaultSaveFolder() {
    wchar_t* path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path))) {
        folder = Narrow(path);
        if (!folder.empty() && folder.back() != '\\') folder += '\\';
    }
    CoTaskMemFree(path);
    return folder;
}

}  // namespace deckwright
