#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The few system calls file_system.cpp builds on, one implementation per system. Paths are
// UTF-8; folders passed in end with the separator unless said otherwise.
namespace deckwright::fsos {

enum class RenameResult { kDone, kExists, kOtherDevice, kFailed };
// Renames from to to; replace says whether an existing to may be replaced (in one step).
RenameResult Rename(const std::string& from, const std::string& to, bool replace,
                    std::string* error);
bool RemoveFile(const std::string& path, std::string* error);
// Makes the folder, private to the user. *existed tells a name that is taken from a failure.
bool MakeFolder(const std::string& path, bool* existed, std::string* error);
// Removes the folder when it is empty.
bool RemoveEmptyFolder(const std::string& path);
// The names in folder, without "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder);
bool Exists(const std::string& path);
// Whether path (no trailing separator) is a real folder, not a link, of this user's.
bool IsOwnFolder(const std::string& path);
enum class Kind { kMissing, kFolder, kOther };
Kind KindOf(const std::string& path);

// The system's temporary folder, ending with the separator; empty when there is none.
std::string SystemTemporaryFolder();
// What tells this user's run folders from other users' in a shared temporary folder.
std::string UserTag();
std::string FolderOf(const std::string& path);
// The words for the system's last error on this thread (errno, GetLastError).
std::string LastError();  // up to and with the last separator
bool IsSeparator(char c);

// A run folder's lock: held by one process, released by the system however the process ends.
// Returns -1 when the lock is held elsewhere or cannot be had. create: the lock file must be
// new (a run folder being made); otherwise an existing one is taken, or made when missing.
std::intptr_t TakeLock(const std::string& lock_path, bool create);
// Removes the lock file and lets go of it.
void ReleaseLock(const std::string& lock_path, std::intptr_t lock);

// Small records beside a run, kept without fault injection: they serve the clean-up.
void AppendRecord(const std::string& path, const std::string& record);
std::vector<std::string> ReadRecords(const std::string& path);
bool MakeMarker(const std::string& path);

// Calls clean_up, then ends the process as the signal would, on SIGINT, SIGTERM and SIGHUP
// (console Ctrl+C, Ctrl+Break and close on Windows).
void OnInterrupt(void (*clean_up)());

}  // namespace deckwright::fsos
