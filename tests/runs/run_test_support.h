#pragma once

// Shared by the run, platform and command-line tests: scratch folders on the real disk, a
// scripted run host that records everything, and file operations that fail on demand.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/memory_file.h"
#include "engine/repair.h"
#include "platform/file_faults.h"
#include "runs/run_host.h"
#include "runs/system_files.h"
#include "tests/support/cfb_writer.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/utf.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace deckwright::testing {

namespace fs = std::filesystem;

inline std::string Utf8(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}
inline fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(PathOf(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}
inline bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(PathOf(path), ec);
}

// A small valid presentation; with damage, its header zeroed as a broken disk leaves it.
inline Bytes SamplePresentation(std::uint32_t seed, bool damaged = false) {
    Bytes bytes = WriteCompoundFile(PresentationStreams(9000 + seed * 700, seed));
    if (damaged) std::fill(bytes.begin(), bytes.begin() + 512, std::uint8_t{0});
    return bytes;
}

// A presentation whose structure is sound (once its header is repaired, when damaged) but whose
// document record's header is zeroed: saved with a warning.
inline Bytes PresentationWithDamagedRecords(std::uint32_t seed, bool damaged = false) {
    auto streams = PresentationStreams(9000 + seed * 700, seed);
    std::fill_n(streams[0].data.begin(), 8, std::uint8_t{0});
    Bytes bytes = WriteCompoundFile(streams);
    if (damaged) std::fill(bytes.begin(), bytes.begin() + 512, std::uint8_t{0});
    return bytes;
}

// What the one repair step makes of these bytes: the reference for every saved copy.
inline RepairOutcome RepairInMemory(const Bytes& bytes, Bytes* repaired) {
    MemoryFile file(bytes);
    RepairOutcome outcome = RepairCompoundFile(file);
    *repaired = file.bytes();
    return outcome;
}

// A folder of its own under the system's temporary folder, removed with everything in it.
class ScratchDir {
  public:
    ScratchDir() {
        std::random_device random;
        root_ = fs::temp_directory_path() /
                ("deckwright-test-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(root_);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The path of name inside the folder (folders on the way are made).
    std::string Path(const std::string& name) const {
        const fs::path path = root_ / PathOf(name);
        fs::create_directories(path.parent_path());
        return Utf8(path);
    }
    // A sub-folder, made, ending with the separator.
    std::string Folder(const std::string& name) const {
        const fs::path path = root_ / PathOf(name);
        fs::create_directories(path);
        return Utf8(path) + static_cast<char>(fs::path::preferred_separator);
    }
    std::string File(const std::string& name, const Bytes& bytes) const {
        const std::string path = Path(name);
        WriteBytes(path, bytes);
        return path;
    }
    const fs::path& root() const { return root_; }

  private:
    fs::path root_;
};

// Every regular file below folder, as UTF-8 paths.
inline std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    if (!fs::exists(PathOf(folder), ec)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(PathOf(folder))) {
        if (entry.is_regular_file()) files.push_back(Utf8(entry.path()));
    }
    return files;
}
inline std::size_t FoldersBelow(const std::string& folder) {
    std::size_t n = 0;
    std::error_code ec;
    if (!fs::exists(PathOf(folder), ec)) return 0;
    for (const auto& entry : fs::recursive_directory_iterator(PathOf(folder))) {
        if (entry.is_directory()) ++n;
    }
    return n;
}

// A folder on another file system than the scratch folder, when this machine has one.
inline std::optional<std::string> OtherFileSystemFolder(const ScratchDir& scratch) {
#ifdef _WIN32
    (void)scratch;
    const std::string z = "Z:\\tmp";
    if (GetFileAttributesW(Widen(z).c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return z;
#else
    struct stat here {
    }, there{};
    const char* candidates[] = {std::getenv("DECKWRIGHT_OTHER_FS_DIR"), "/dev/shm"};
    for (const char* candidate : candidates) {
        if (!candidate || ::stat(candidate, &there) != 0) continue;
        if (::stat(scratch.root().c_str(), &here) != 0) continue;
        if (here.st_dev != there.st_dev && ::access(candidate, W_OK) == 0) return candidate;
    }
    return std::nullopt;
#endif
}

// The real presentations of DECKWRIGHT_CORPUS_DIR, sorted by name; empty when it is not set
// or not a folder. Under Wine a Linux path is reached through drive Z:.
inline std::vector<std::string> CorpusFiles() {
    const char* dir = std::getenv("DECKWRIGHT_CORPUS_DIR");
    if (!dir || !*dir) return {};
    std::string folder = dir;
#ifdef _WIN32
    if (folder.front() == '/') folder = "Z:" + folder;
#endif
    std::vector<std::string> files;
    std::error_code ec;
    if (!fs::is_directory(PathOf(folder), ec)) return files;
    for (const auto& entry : fs::directory_iterator(PathOf(folder), ec)) {
        if (entry.is_regular_file() && entry.path().extension() == ".ppt") {
            files.push_back(Utf8(entry.path()));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct ProgressEvent {
    ProgressCode code;
    std::size_t index;
    bool operator==(const ProgressEvent&) const = default;
};

inline void PrintTo(const ProgressEvent& e, std::ostream* os) {
    *os << static_cast<int>(e.code) << "/" << e.index;
}

// A run host that answers from a script and records what the run showed and asked, in order.
class ScriptedHost final : public RunHost {
  public:
    struct Failure {
        std::size_t index;
        std::string text;
        std::string detail;
    };

    void ReportProgress(ProgressCode code, std::size_t index) override {
        events.push_back({code, index});
        log.push_back("progress " + std::to_string(static_cast<int>(code)));
        if (on_progress) on_progress(code, index);
    }
    void ShowFailure(std::size_t index, const std::string& text,
                     const std::string& detail) override {
        failures.push_back({index, text, detail});
        log.push_back("failure");
    }
    void ShowWarning(std::size_t index, const std::string& text) override {
        warnings.push_back({index, text, {}});
        log.push_back("warning");
    }
    bool AskOverwrite(std::size_t index, const std::string& destination) override {
        overwrite_questions.push_back(destination);
        log.push_back("ask " + std::to_string(index));
        EXPECT_FALSE(overwrite_answers.empty()) << "unexpected overwrite question";
        if (overwrite_answers.empty()) return false;
        const bool answer = overwrite_answers.front();
        overwrite_answers.pop_front();
        return answer;
    }
    std::optional<std::string> AskSaveAsPath(std::size_t index,
                                             const std::string& initial_path) override {
        save_as_requests.push_back(initial_path);
        log.push_back("save as " + std::to_string(index));
        EXPECT_FALSE(save_as_answers.empty()) << "unexpected Save As";
        if (save_as_answers.empty()) return std::nullopt;
        auto answer = save_as_answers.front();
        save_as_answers.pop_front();
        return answer;
    }
    void Pause(std::chrono::milliseconds duration) override {
        pauses.push_back(duration);
        log.push_back("pause");
    }

    std::vector<ProgressEvent> events;
    std::vector<Failure> failures;
    std::vector<Failure> warnings;
    std::vector<std::string> overwrite_questions;
    std::vector<std::string> save_as_requests;
    std::vector<std::chrono::milliseconds> pauses;
    std::vector<std::string> log;
    std::deque<bool> overwrite_answers;
    std::deque<std::optional<std::string>> save_as_answers;
    std::function<void(ProgressCode, std::size_t)> on_progress;
};

// A file whose writes all fail, as a disk that vanished during the repair.
class WriteFailingFile final : public RandomAccessFile {
  public:
    explicit WriteFailingFile(std::unique_ptr<RandomAccessFile> inner) : inner_(std::move(inner)) {}
    std::uint64_t Length() override { return inner_->Length(); }
    bool Seek(std::uint64_t offset) override { return inner_->Seek(offset); }
    std::size_t Read(std::span<std::uint8_t> out) override { return inner_->Read(out); }
    bool Write(std::span<const std::uint8_t>) override {
        RecordError("write failed: simulated I/O error");
        return false;
    }

  private:
    std::unique_ptr<RandomAccessFile> inner_;
};

// A file whose reads and writes throw, as when memory runs out in the middle of the repair.
class ThrowingFile final : public RandomAccessFile {
  public:
    explicit ThrowingFile(std::unique_ptr<RandomAccessFile> inner) : inner_(std::move(inner)) {}
    std::uint64_t Length() override { return inner_->Length(); }
    bool Seek(std::uint64_t offset) override { return inner_->Seek(offset); }
    std::size_t Read(std::span<std::uint8_t>) override { throw std::bad_alloc(); }
    bool Write(std::span<const std::uint8_t>) override { throw std::bad_alloc(); }

  private:
    std::unique_ptr<RandomAccessFile> inner_;
};

// The real file operations, with failures switched on by tests and every change counted.
class FaultyFileOperations final : public FileOperations {
  public:
    explicit FaultyFileOperations(std::string temporary_folder)
        : real_(std::move(temporary_folder)) {}

    bool fail_copy = false;
    bool fail_open_read_write = false;
    bool fail_writes_of_copy = false;
    bool throw_in_repair = false;
    // Runs before each item folder is made.
    std::function<void()> before_item_folder;
    // Runs just before each move: a test can make the destination appear there.
    std::function<void(const std::string& from, const std::string& to)> before_move;
    int copies = 0, moves = 0, deletes = 0;

    std::unique_ptr<RandomAccessFile> OpenForReading(const std::string& path,
                                                     std::string* error) override {
        return real_.OpenForReading(path, error);
    }
    std::unique_ptr<RandomAccessFile> OpenForReadWrite(const std::string& path,
                                                       std::string* error) override {
        if (fail_open_read_write) {
            *error = "simulated: access denied";
            return nullptr;
        }
        auto file = real_.OpenForReadWrite(path, error);
        if (file && fail_writes_of_copy) return std::make_unique<WriteFailingFile>(std::move(file));
        if (file && throw_in_repair) return std::make_unique<ThrowingFile>(std::move(file));
        return file;
    }
    bool CopyReplacing(const std::string& from, const std::string& to,
                       std::string* error) override {
        ++copies;
        if (fail_copy) {
            *error = "simulated: disk full";
            return false;
        }
        return real_.CopyReplacing(from, to, error);
    }
    bool CopyToTemporary(const std::string& from, const std::string& to, std::string* error,
                         CopyWatcher* watcher) override {
        ++copies;
        if (fail_copy) {
            *error = "simulated: disk full";
            return false;
        }
        return real_.CopyToTemporary(from, to, error, watcher);
    }
    MoveResult MoveNoReplace(const std::string& from, const std::string& to,
                             std::string* error) override {
        ++moves;
        if (before_move) before_move(from, to);
        return real_.MoveNoReplace(from, to, error);
    }
    bool Delete(const std::string& path, std::string* error) override {
        ++deletes;
        return real_.Delete(path, error);
    }
    bool CreateItemFolder(std::string* folder, std::string* error) override {
        if (before_item_folder) before_item_folder();
        return real_.CreateItemFolder(folder, error);
    }
    void RemoveItemFolderOf(const std::string& copy_path) override {
        real_.RemoveItemFolderOf(copy_path);
    }
    bool KeepItemFolderOf(const std::string& copy_path) override {
        return real_.KeepItemFolderOf(copy_path);
    }
    bool CheckFolderWritable(const std::string& folder, std::string* error) override {
        return real_.CheckFolderWritable(folder, error);
    }
    std::string FileNameOf(const std::string& path) override { return real_.FileNameOf(path); }
    bool IdentityOf(const std::string& path, FileId* id) override {
        return real_.IdentityOf(path, id);
    }

    SystemFileOperations& real() { return real_; }

  private:
    SystemFileOperations real_;
};

// File faults (platform/file_faults.h) switched on for the life of the object.
class InjectedFaults final : public FileFaults {
  public:
    using Plan = std::function<Fault(FileStep step, const std::string& path)>;
    explicit InjectedFaults(Plan plan) : plan_(std::move(plan)) { SetFileFaults(this); }
    ~InjectedFaults() override { SetFileFaults(nullptr); }
    InjectedFaults(const InjectedFaults&) = delete;
    InjectedFaults& operator=(const InjectedFaults&) = delete;
    Fault Before(FileStep step, const std::string& path) override { return plan_(step, path); }

  private:
    Plan plan_;
};

// The start of the names of this user's run folders.
inline std::string RunFolderPrefix() {
#ifdef _WIN32
    return "Deckwright-";
#else
    return "Deckwright-" + std::to_string(::geteuid()) + "-";
#endif
}

// The item folders in a run folder ("item-..."), kept ones too.
inline std::vector<std::string> ItemFoldersIn(const std::string& run_folder) {
    std::vector<std::string> folders;
    std::error_code ec;
    if (run_folder.empty() || !fs::exists(PathOf(run_folder), ec)) return folders;
    for (const auto& entry : fs::directory_iterator(PathOf(run_folder))) {
        if (entry.is_directory()) folders.push_back(Utf8(entry.path()));
    }
    return folders;
}

// Files whose names begin as the half-written ones beside a destination do.
inline std::vector<std::string> PartialFilesBelow(const std::string& folder) {
    std::vector<std::string> partial;
    for (const auto& path : FilesBelow(folder)) {
        if (Utf8(PathOf(path).filename()).rfind(".deckwright-", 0) == 0) partial.push_back(path);
    }
    return partial;
}

}  // namespace deckwright::testing
