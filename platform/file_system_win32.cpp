#include <windows.h>

#include "platform/file_faults_internal.h"
#include "platform/file_system_os.h"
#include "platform/os_file.h"
#include "platform/utf.h"

namespace deckwright::fsos {
namespace {

HANDLE H(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

}  // namespace

RenameResult Rename(const std::string& from, const std::string& to, bool replace,
                    std::string* error) {
    if (HasNul(from, error) || HasNul(to, error)) return RenameResult::kFailed;
    // Windows refuses to replace a read-only file, Wine does not: the same answer on both.
    const DWORD attributes = replace ? GetFileAttributesW(WidePath(to).c_str()) : 0;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        *error = "the file is read-only";
        return RenameResult::kFailed;
    }
    // Without MOVEFILE_COPY_ALLOWED a move to another volume fails, and is done by copying.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!detail::FaultInjected(FileStep::kRename, to) &&
        MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), flags)) {
        return RenameResult::kDone;
    }
    const DWORD code = GetLastError();
    *error = SystemMessage(code);
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) return RenameResult::kExists;
    if (code == ERROR_NOT_SAME_DEVICE) return RenameResult::kOtherDevice;
    return RenameResult::kFailed;
}

bool RemoveFile(const std::string& path, std::string* error) {
    if (HasNul(path, error)) return false;
    if (DeleteFileW(WidePath(path).c_str())) return true;
    *error = SystemMessage(GetLastError());
    return false;
}

bool MakeFolder(const std::string& path, bool* existed, std::string* error) {
    *existed = false;
    if (HasNul(path, error)) return false;
    if (!detail::FaultInjected(FileStep::kMakeFolder, path) &&
        CreateDirectoryW(WidePath(path).c_str(), nullptr)) {
        return true;
    }
    const DWORD code = GetLastError();
    *existed = code == ERROR_ALREADY_EXISTS;
    *error = SystemMessage(code);
    return false;
}

bool RemoveEmptyFolder(const std::string& path) {
    return RemoveDirectoryW(WidePath(path).c_str());
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(WidePath(folder + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(Narrow(name));
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsOwnFolder(const std::string& path) {
    // The temporary folder is the user's own here; a link is never followed.
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

Kind KindOf(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        // Not allowed to look: the attempt to write there will say so.
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
                       code == ERROR_INVALID_NAME
                   ? Kind::kMissing
                   : Kind::kFolder;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::kFolder : Kind::kOther;
}

std::string SystemTemporaryFolder() {
    wchar_t buffer[MAX_PATH + 2];
    const DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
    if (n == 0 || n > MAX_PATH + 1) return {};
    return Narrow(std::wstring(buffer, n));
}

std::string UserTag() {
    return {};  // the temporary folder is the user's own
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string LastError() {
    return SystemMessage(GetLastError());
}

std::intptr_t TakeLock(const std::string& lock_path, bool create) {
    // Unshared and deleted on close: while the file is there, its process lives.
    HANDLE h = CreateFileW(WidePath(lock_path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           create ? CREATE_NEW : OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
}

void ReleaseLock(const std::string&, std::intptr_t lock) {
    CloseHandle(H(lock));
}

void AppendRecord(const std::string& path, const std::string& record) {
    HANDLE h = CreateFileW(WidePath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    const std::string bytes = record + '\0';
    DWORD written = 0;
    // Best effort: the clean-up at the end and on interrupts has the same list in memory.
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

std::vector<std::string> ReadRecords(const std::string& path) {
    std::vector<std::string> records;
    HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return records;
    std::string bytes;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
    CloseHandle(h);
    for (std::size_t start = 0, end; (end = bytes.find('\0', start)) != std::string::npos;
         start = end + 1) {
        records.push_back(bytes.substr(start, end - start));
    }
    return records;
}

bool MakeMarker(const std::string& path) {
    HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

namespace {
void (*g_clean_up)() = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
    if (g_clean_up) g_clean_up();
    return FALSE;  // the default handler then ends the process
}
}  // namespace

void OnInterrupt(void (*clean_up)()) {
    g_clean_up = clean_up;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace deckwright::fsos
