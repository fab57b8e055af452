#include <windows.h>

#include "platform/file_faults_internal.h"
#include "platform/os_file.h"
#include "platform/utf.h"

namespace deckwright {
namespace {

using detail::FaultInjected;
using detail::FaultLimit;

HANDLE H(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

}  // namespace

std::unique_ptr<OsFile> OsFile::Open(const std::string& path, OpenMode mode, Sharing sharing,
                                     std::string* error) {
    if (HasNul(path, error)) return nullptr;
    const std::wstring wide = WidePath(path);
    // Only regular files hold presentations: a device never ends and a pipe blocks its reader.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (error) *error = "it is a folder, not a file";
        return nullptr;
    }
    const DWORD access = mode == OpenMode::kRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD share = sharing == Sharing::kExclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE h = FaultInjected(FileStep::kOpen, path)
                   ? INVALID_HANDLE_VALUE
                   : CreateFileW(wide.c_str(), access, share, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = SystemMessage(GetLastError());
        return nullptr;
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        if (error) *error = "it is a device or a pipe, not a file";
        return nullptr;
    }
    return std::unique_ptr<OsFile>(new OsFile(path, reinterpret_cast<std::intptr_t>(h)));
}

std::unique_ptr<OsFile> OsFile::CreateNew(const std::string& path, std::string* error) {
    if (HasNul(path, error)) return nullptr;
    // FILE_ATTRIBUTE_NORMAL: never read-only, whatever the file it becomes a copy of.
    HANDLE h = FaultInjected(FileStep::kCreate, path)
                   ? INVALID_HANDLE_VALUE
                   : CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = SystemMessage(GetLastError());
        return nullptr;
    }
    return std::unique_ptr<OsFile>(new OsFile(path, reinterpret_cast<std::intptr_t>(h)));
}

OsFile::~OsFile() {
    CloseHandle(H(handle_));
}

std::uint64_t OsFile::Length() {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(H(handle_), &size)) {
        RecordError("cannot get the length: " + SystemMessage(GetLastError()));
        return 0;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool OsFile::Seek(std::uint64_t offset) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(H(handle_), to, nullptr, FILE_BEGIN)) {
        RecordError("seek to " + std::to_string(offset) +
                    " failed: " + SystemMessage(GetLastError()));
        return false;
    }
    return true;
}

std::size_t OsFile::Read(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        bool failed = false;
        const DWORD want = static_cast<DWORD>(FaultLimit(
            FileStep::kRead, path_, std::min<std::size_t>(out.size() - done, 1u << 30), &failed));
        DWORD got = 0;
        if (failed || !ReadFile(H(handle_), out.data() + done, want, &got, nullptr)) {
            RecordError("read failed: " + SystemMessage(GetLastError()));
            break;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

bool OsFile::CanReadAt() const {
    return false;
}

std::size_t OsFile::ReadAt(std::uint64_t, std::span<std::uint8_t>, std::string* error) {
    *error = "this file cannot be read at an offset";
    return 0;
}

bool OsFile::Write(std::span<const std::uint8_t> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        bool failed = false;
        const DWORD want = static_cast<DWORD>(FaultLimit(
            FileStep::kWrite, path_, std::min<std::size_t>(data.size() - done, 1u << 30), &failed));
        DWORD put = 0;
        if (failed || !WriteFile(H(handle_), data.data() + done, want, &put, nullptr) || put == 0) {
            RecordError("write failed: " + SystemMessage(GetLastError()));
            return false;
        }
        done += put;
    }
    return true;
}

std::uint64_t OsFile::CopyInto(OsFile&, std::uint64_t, bool* unsupported) {
    // Between two open handles Windows has no copy of its own: the caller's large reads and
    // writes are the fast way.
    *unsupported = true;
    return 0;
}

bool OsFile::Flush() {
    if (FaultInjected(FileStep::kFlush, path_) || !FlushFileBuffers(H(handle_))) {
        RecordError("flush failed: " + SystemMessage(GetLastError()));
        return false;
    }
    return true;
}

std::int64_t OsFile::CreationTime() {
    FILETIME created{}, accessed{}, written{};
    if (!GetFileTime(H(handle_), &created, &accessed, &written)) return 0;
    // 100-nanosecond ticks since 1601 to seconds since 1970.
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

bool IdentityOf(const std::string& path, FileId* id) {
    if (HasNul(path, nullptr)) return false;
    // No access asked for: this works even on a file that another program holds unshared.
    HANDLE h = CreateFileW(WidePath(path).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) return false;
    id->device = info.dwVolumeSerialNumber;
    id->number = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

std::string FullPathOf(const std::string& path) {
    return Narrow(FullPath(Widen(path)));
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace deckwright
