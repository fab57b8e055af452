#include "platform/ui/shell.h"

#include <shellapi.h>

#include "platform/utf.h"

namespace deckwright {

int SystemMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    return ::MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), type);
}

void SystemShellOpen(HWND owner, const std::string& verb, const std::string& file, int show) {
    ::ShellExecuteW(owner, Widen(verb).c_str(), Widen(file).c_str(), nullptr, nullptr, show);
}

std::vector<std::string> DroppedFiles(WPARAM drop) {
    auto handle = reinterpret_cast<HDROP>(drop);
    std::vector<std::string> paths;
    const UINT count = ::DragQueryFileW(handle, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(::DragQueryFileW(handle, i, nullptr, 0) + 1, L'\0');
        const UINT n = ::DragQueryFileW(handle, i, path.data(), static_cast<UINT>(path.size()));
        path.resize(n);
        paths.push_back(Narrow(path));
    }
    ::DragFinish(handle);
    return paths;
}

std::string ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);  // long path: try again with more room
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return Narrow(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1));
}

}  // namespace deckwright
