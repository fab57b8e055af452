#include "dialogs/file_dialogs.h"

#include <windows.h>

#include <commdlg.h>
#include <objbase.h>

#include "platform/utf.h"

namespace deckwright {

std::wstring PlatformFilter(std::string_view bars) {
    std::wstring filter = Widen(std::string(bars));
    for (wchar_t& c : filter) {
        if (c == L'|') c = L'\0';
    }
    return filter;
}

namespace {

// What both dialogs share: the presentations' filter, explorer style, and the default
// extension as the dialog takes it (without "*.").
OPENFILENAMEW PresentationDialog(std::vector<wchar_t>& buffer, const std::wstring& filter,
                                 DWORD flags) {
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrDefExt = L"ppt";
    ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLESIZING;
    return ofn;
}

}  // namespace

std::vector<std::string> ChooseFilesToOpen() {
    // Room for many long names at once.
    std::vector<wchar_t> buffer(1 << 16, L'\0');
    const std::wstring filter = PlatformFilter(kPresentationFilter);
    OPENFILENAMEW ofn = PresentationDialog(buffer, filter, OFN_ALLOWMULTISELECT);
    if (!::GetOpenFileNameW(&ofn)) return {};
    // One file: its full path. Several: the folder, then each name, NUL-separated.
    const wchar_t* at = buffer.data();
    const std::wstring first = at;
    at += first.size() + 1;
    if (*at == L'\0') return {Narrow(first)};
    std::wstring folder = first;
    if (folder.back() != L'\\') folder += L'\\';
    std::vector<std::string> paths;
    while (*at != L'\0') {
        const std::wstring name = at;
        paths.push_back(Narrow(folder + name));
        at += name.size() + 1;
    }
    return paths;
}

std::optional<std::string> ChooseSaveAsPath(const std::string& initial_path) {
    // The shell's parts of the dialog want COM on the thread that shows it.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<wchar_t> buffer(32768, L'\0');
    const std::wstring initial = Widen(initial_path);
    initial.copy(buffer.data(), std::min(initial.size(), buffer.size() - 1));
    const std::wstring filter = PlatformFilter(kPresentationFilter);
    OPENFILENAMEW ofn = PresentationDialog(buffer, filter, OFN_OVERWRITEPROMPT);
    std::optional<std::string> chosen;
    if (::GetSaveFileNameW(&ofn)) chosen = Narrow(buffer.data());
    if (SUCCEEDED(com)) ::CoUninitialize();
    return chosen;
}

}  // namespace deckwright
