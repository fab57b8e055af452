#include <windows.h>

#include <cwchar>

#include "platform/file_system.h"
#include "platform/utf.h"

namespace deckwright {
namespace {

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".\\") : path.substr(0, slash + 1);
}

bool SameFile(const std::string& a, const std::string& b) {
    auto id = [](const std::string& p, BY_HANDLE_FILE_INFORMATION* info) {
        HANDLE h =
            CreateFileW(Widen(p).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        const bool ok = GetFileInformationByHandle(h, info);
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    return id(a, &ia) && id(b, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

// A name beside to that nothing else uses, so a copy can be written there and swapped in.
std::wstring NameBeside(const std::string& to) {
    static LONG counter = 0;
    const std::wstring base =
        Widen(ParentOf(to)) + L".deckwright-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    for (;;) {
        std::wstring name = base + std::to_wstring(InterlockedIncrement(&counter)) + L".tmp";
        if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES) return name;
    }
}

// Copies from into a new file beside to and flushes it. Returns its name, or empty.
std::wstring CopyBeside(const std::string& from, const std::string& to, std::string* error) {
    const std::wstring temp = NameBeside(to);
    if (!CopyFileW(Widen(from).c_str(), temp.c_str(), TRUE)) {
        *error = SystemMessage(GetLastError());
        return {};
    }
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool flushed = h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
    const DWORD code = GetLastError();
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!flushed) {
        *error = "flush failed: " + SystemMessage(code);
        DeleteFileW(temp.c_str());
        return {};
    }
    return temp;
}

}  // namespace

bool FileSystem::CopyReplacing(const std::string& from, const std::string& to,
                                           std::string* error) const {
    if (SameFile(from, to)) {
        *error = "source and destination are the same file";
        return false;
    }
    const std::wstring temp = CopyBeside(from, to, error);
    if (temp.empty()) return false;
    // One step: readers see the old file or the new one, never a half-written mix.
    if (!MoveFileExW(temp.c_str(), Widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = SystemMessage(GetLastError());
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

bool FileSystem::MoveNoReplace(const std::string& from, const std::string& to,
                                           std::string* error) const {
    // Without MOVEFILE_REPLACE_EXISTING an existing destination makes the move fail.
    if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_WRITE_THROUGH)) return true;
    DWORD code = GetLastError();
    if (code != ERROR_NOT_SAME_DEVICE) {
        *error = SystemMessage(code);
        return false;
    }
    const std::wstring temp = CopyBeside(from, to, error);
    if (temp.empty()) return false;
    if (!MoveFileExW(temp.c_str(), Widen(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        *error = SystemMessage(GetLastError());
        DeleteFileW(temp.c_str());
        return false;
    }
    DeleteFileW(Widen(from).c_str());
    return true;
}

bool FileSystem::Delete(const std::string& path, std::string* error) const {
    if (DeleteFileW(Widen(path).c_str())) return true;
    *error = SystemMessage(GetLastError());
    return false;
}

std::string FileSystem::TemporaryFolder() const {
    std::string folder = temporary_folder_;
    if (folder.empty()) {
        wchar_t buffer[MAX_PATH + 2];
        const DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
        if (n == 0 || n > MAX_PATH + 1) return {};
        folder = Narrow(std::wstring(buffer, n));
    }
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
}

std::string FileSystem::DeckwrightFolder() const {
    const std::string temp = TemporaryFolder();
    return temp.empty() ? std::string() : temp + "Deckwright\\";
}

bool FileSystem::CreateItemFolder(std::string* folder, std::string* error) const {
    const std::string parent = DeckwrightFolder();
    if (parent.empty()) {
        *error = "the temporary folder is not known";
        return false;
    }
    if (!CreateDirectoryW(Widen(parent).c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = parent + ": " + SystemMessage(GetLastError());
        return false;
    }
    static LONG counter = 0;
    const std::string base = parent + "item-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64()) + "-";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string item = base + std::to_string(InterlockedIncrement(&counter));
        if (CreateDirectoryW(Widen(item).c_str(), nullptr)) {
            *folder = item + '\\';
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            *error = item + ": " + SystemMessage(GetLastError());
            return false;
        }
    }
    *error = parent + ": no free folder name";
    return false;
}

void FileSystem::RemoveItemFolderOf(const std::string& copy_path) const {
    const std::string folder = ParentOf(copy_path);
    const std::string parent = DeckwrightFolder();
    if (parent.empty() || folder.size() <= parent.size() ||
        folder.compare(0, parent.size(), parent) != 0) {
        return;
    }
    if (folder.find_first_of("/\\", parent.size()) != folder.size() - 1) return;
    RemoveDirectoryW(Widen(folder).c_str());  // fails, harmlessly, while anything is left in it
}

}  // namespace deckwright
