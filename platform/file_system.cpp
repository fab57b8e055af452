#include "platform/file_system.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "platform/file_faults_internal.h"
#include "platform/file_system_os.h"

namespace deckwright {

namespace detail {

// A run folder of this process, locked while it lives.
class RunFolder {
  public:
    std::string folder;  // ends with the separator
    std::string lock_path;
    std::intptr_t lock = -1;
    // Partial files this run is writing beside destinations outside the run folder.
    std::vector<std::string> partials;
};

}  // namespace detail

namespace {

constexpr char kRunPrefix[] = "Deckwright-";
constexpr char kItemPrefix[] = "item-";
constexpr char kPartialPrefix[] = ".deckwright-";
constexpr char kLockName[] = "lock";
// The partial files a run began outside its folder, so that a later start can remove them
// after a crash.
constexpr char kJournalName[] = "partial-files";
// Beside an item folder: its copy was handed to the user and must stay.
constexpr char kKeptSuffix[] = ".kept";
constexpr std::size_t kCopyBuffer = std::size_t{8} << 20;
// A watched copy's pieces: two are held, one being written while the next is read.
constexpr std::size_t kWatchedPiece = std::size_t{1} << 20;
constexpr std::size_t kBufferAlignment = 4096;
constexpr char kBecameShorter[] = "the file became shorter while it was being copied";

// Every name below is made, and every run folder listed, under this one lock: an interrupt's
// clean-up takes it for good, so nothing new appears behind it.
std::mutex& Mutex() {
    static auto* mutex = new std::mutex;  // never destroyed: the clean-up may run at exit
    return *mutex;
}
std::vector<detail::RunFolder*>& LiveRuns() {
    static auto* runs = new std::vector<detail::RunFolder*>;
    return *runs;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Eight letters and digits nobody can guess; called under Mutex().
std::string RandomTag() {
    static std::mt19937_64 random{std::random_device{}()};
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string tag;
    for (int i = 0; i < 8; ++i) tag += kChars[random() % (sizeof kChars - 1)];
    return tag;
}

std::string RunPrefix() {
    const std::string user = fsos::UserTag();
    return kRunPrefix + (user.empty() ? std::string() : user + "-");
}

std::string WithoutSeparator(std::string folder) {
    while (folder.size() > 1 && fsos::IsSeparator(folder.back())) folder.pop_back();
    return folder;
}

void RemoveFolderOfFiles(const std::string& folder) {
    std::string ignored;
    for (const auto& name : fsos::FolderEntries(folder)) fsos::RemoveFile(folder + name, &ignored);
    fsos::RemoveEmptyFolder(WithoutSeparator(folder));
}

// Empties a run folder whose lock the caller holds, but for the item folders kept on purpose:
// the partial files it began elsewhere, its item folders, its journal.
void CleanRunFolder(const std::string& folder, const std::vector<std::string>& partials) {
    std::vector<std::string> records = fsos::ReadRecords(folder + kJournalName);
    records.insert(records.end(), partials.begin(), partials.end());
    std::string ignored;
    for (const auto& partial : records) {
        // Only names of the shape this code makes, whatever the journal says.
        if (StartsWith(FileNameOf(partial), kPartialPrefix)) fsos::RemoveFile(partial, &ignored);
    }
    for (const auto& name : fsos::FolderEntries(folder)) {
        if (!StartsWith(name, kItemPrefix)) continue;
        if (name.ends_with(kKeptSuffix)) {
            // The mark of a kept folder that is gone since.
            const std::string item = name.substr(0, name.size() - (sizeof kKeptSuffix - 1));
            if (!fsos::Exists(folder + item)) fsos::RemoveFile(folder + name, &ignored);
            continue;
        }
        if (fsos::Exists(folder + name + kKeptSuffix)) continue;
        RemoveFolderOfFiles(folder + name + kPathSeparator);
    }
    fsos::RemoveFile(folder + kJournalName, &ignored);
}

void EndRun(detail::RunFolder& run) {
    CleanRunFolder(run.folder, run.partials);
    fsos::ReleaseLock(run.lock_path, run.lock);
    fsos::RemoveEmptyFolder(WithoutSeparator(run.folder));  // stays while kept items are in it
}

// Run folders of this user whose process is gone: a crash or a kill left them.
void RemoveStaleRuns(const std::string& temporary_folder) {
    const std::string prefix = RunPrefix();
    for (const auto& name : fsos::FolderEntries(temporary_folder)) {
        if (!StartsWith(name, prefix) || !fsos::IsOwnFolder(temporary_folder + name)) continue;
        detail::RunFolder stale;
        stale.folder = temporary_folder + name + kPathSeparator;
        stale.lock_path = stale.folder + kLockName;
        stale.lock = fsos::TakeLock(stale.lock_path, false);
        if (stale.lock != -1) EndRun(stale);  // otherwise its process still lives
    }
}

// What an interrupt runs before the process ends: the lock is never given back.
void CleanUpAllRuns() {
    Mutex().lock();
    for (detail::RunFolder* run : LiveRuns()) EndRun(*run);
    LiveRuns().clear();
}

// Copies from's bytes, as many as it had when it was opened, into to, and flushes them when
// asked: inside the system where it can, else through one large buffer.
bool CopyContents(OsFile& from, OsFile& to, bool flush, std::string* error) {
    const std::uint64_t length = from.Length();
    if (from.Failed() || !from.Seek(0)) {
        *error = from.Error();
        return false;
    }
    bool unsupported = false;
    const std::uint64_t copied = from.CopyInto(to, length, &unsupported);
    if (!unsupported) {
        if (from.Failed() || to.Failed()) {
            *error = from.Failed() ? from.Error() : to.Error();
            return false;
        }
        if (copied < length) {
            *error = kBecameShorter;
            return false;
        }
        if (flush && !to.Flush()) {
            *error = to.Error();
            return false;
        }
        return true;
    }
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max<std::uint64_t>(length, 1), kCopyBuffer)));
    for (std::uint64_t remaining = length; remaining > 0;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kCopyBuffer));
        const std::span<std::uint8_t> chunk(buffer.data(), want);
        const std::size_t got = from.Read(chunk);
        if (from.Failed()) {
            *error = from.Error();
            return false;
        }
        if (got < want) {
            *error = kBecameShorter;
            return false;
        }
        if (!to.Write(chunk)) {
            *error = to.Error();
            return false;
        }
        remaining -= want;
    }
    if (flush && !to.Flush()) {
        *error = to.Error();
        return false;
    }
    return true;
}

// Writes one piece at a time on a thread of its own, while the caller reads the next.
class WriteBehind {
  public:
    explicit WriteBehind(OsFile& to) : to_(to), thread_([this] { Loop(); }) {}
    ~WriteBehind() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Hands over a piece, which must stay as it is until the next Wait returns.
    void Write(std::span<const std::uint8_t> piece) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            piece_ = piece;
        }
        changed_.notify_all();
    }
    // Waits until the piece handed over is written; false once a write failed.
    bool Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return piece_.empty(); });
        return ok_;
    }

  private:
    void Loop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stop_ || !piece_.empty(); });
            if (piece_.empty()) return;
            const std::span<const std::uint8_t> piece = piece_;
            const bool ok = ok_;
            lock.unlock();
            const bool written = ok && to_.Write(piece);
            lock.lock();
            ok_ = written;
            piece_ = {};
            changed_.notify_all();
        }
    }

    OsFile& to_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::span<const std::uint8_t> piece_;  // handed over, not yet written
    bool ok_ = true;
    bool stop_ = false;
    std::thread thread_;  // last: it starts once the rest is ready
};

// Copies `length` bytes of from into to through two buffers, showing each piece to the
// watcher while the one before is being written.
bool CopyWatched(OsFile& from, OsFile& to, std::uint64_t length, CopyWatcher& watcher,
                 std::string* error) {
    watcher.Begin(length);
    const auto size = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max<std::uint64_t>(length, 1), kWatchedPiece));
    // Page-aligned: the system copies out of and into a misaligned buffer at a fraction of the
    // speed.
    const std::span<std::uint8_t> lent = watcher.Room(2 * kWatchedPiece);
    std::vector<std::uint8_t> own;
    std::uint8_t* first = lent.data();
    if (lent.size() < 2 * size ||
        reinterpret_cast<std::uintptr_t>(lent.data()) % kBufferAlignment != 0) {
        own.resize(2 * size + kBufferAlignment);
        const auto misaligned = reinterpret_cast<std::uintptr_t>(own.data()) % kBufferAlignment;
        first = own.data() + (kBufferAlignment - misaligned);
    }
    auto read = [&](std::span<std::uint8_t> piece) {
        const std::size_t got = from.Read(piece);
        if (!from.Failed() && got == piece.size()) return true;
        *error = from.Failed() ? from.Error() : kBecameShorter;
        return false;
    };
    auto written = [&](bool ok) {
        if (!ok) *error = to.Error();
        return ok;
    };
    if (length <= size) {
        // One piece: nothing to read while it is written, so no thread either.
        const std::span<std::uint8_t> piece(first, static_cast<std::size_t>(length));
        if (!read(piece)) return false;
        watcher.See(0, piece);
        return written(to.Write(piece));
    }
    std::uint8_t* const buffers[2] = {first, first + size};
    WriteBehind writer(to);
    for (std::uint64_t pos = 0, i = 0; pos < length; ++i) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length - pos, size));
        const std::span<std::uint8_t> piece(buffers[i % 2], want);
        if (!read(piece)) {
            writer.Wait();
            return false;
        }
        watcher.See(pos, piece);
        if (!written(writer.Wait())) return false;
        writer.Write(piece);
        pos += want;
    }
    return written(writer.Wait());
}

bool SameFile(const std::string& a, const std::string& b) {
    FileId ia, ib;
    return IdentityOf(a, &ia) && IdentityOf(b, &ib) && ia == ib;
}

}  // namespace

FileSystem::FileSystem() = default;

FileSystem::FileSystem(std::string temporary_folder)
    : temporary_folder_(std::move(temporary_folder)) {}

FileSystem::~FileSystem() {
    if (!run_) return;
    std::lock_guard<std::mutex> lock(Mutex());
    auto& runs = LiveRuns();
    runs.erase(std::remove(runs.begin(), runs.end(), run_.get()), runs.end());
    EndRun(*run_);
}

std::unique_ptr<OsFile> FileSystem::OpenForReading(const std::string& path,
                                                   std::string* error) const {
    return OsFile::Open(path, OpenMode::kRead, Sharing::kExclusive, error);
}

std::unique_ptr<OsFile> FileSystem::OpenForReadWrite(const std::string& path,
                                                     std::string* error) const {
    return OsFile::Open(path, OpenMode::kReadWrite, Sharing::kShared, error);
}

std::string FileSystem::TemporaryFolder() const {
    std::string folder =
        temporary_folder_.empty() ? fsos::SystemTemporaryFolder() : temporary_folder_;
    if (!folder.empty() && !fsos::IsSeparator(folder.back())) folder += kPathSeparator;
    return folder;
}

std::string FileSystem::RunFolder() const {
    return run_ ? run_->folder : std::string();
}

// Called under Mutex().
bool FileSystem::StartRun(std::string* error) {
    if (run_) return true;
    const std::string temp = TemporaryFolder();
    if (temp.empty()) {
        *error = "the temporary folder is not known";
        return false;
    }
    RemoveStaleRuns(temp);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = temp + RunPrefix() + RandomTag();
        bool existed = false;
        if (!fsos::MakeFolder(path, &existed, error)) {
            if (existed) continue;
            *error = path + ": " + *error;
            return false;
        }
        auto run = std::make_unique<detail::RunFolder>();
        run->folder = path + kPathSeparator;
        run->lock_path = run->folder + kLockName;
        run->lock = fsos::TakeLock(run->lock_path, true);
        if (run->lock == -1) {
            // Another start took it for a stale one in the instant between: leave it to that one.
            fsos::RemoveEmptyFolder(path);
            continue;
        }
        LiveRuns().push_back(run.get());
        run_ = std::move(run);
        return true;
    }
    *error = temp + ": no run folder could be made and locked there";
    return false;
}

bool FileSystem::CreateItemFolder(std::string* folder, std::string* error) {
    std::lock_guard<std::mutex> lock(Mutex());
    if (!StartRun(error)) return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = run_->folder + kItemPrefix + RandomTag();
        bool existed = false;
        if (fsos::MakeFolder(path, &existed, error)) {
            *folder = path + kPathSeparator;
            return true;
        }
        if (!existed) {
            *error = path + ": " + *error;
            return false;
        }
    }
    *error = run_->folder + ": no free name for an item folder";
    return false;
}

// The item folder's name when path lies directly in one of this run's item folders.
static std::string ItemFolderName(const std::string& run_folder, const std::string& path) {
    const std::string folder = fsos::FolderOf(path);
    if (run_folder.empty() || !StartsWith(folder, run_folder + kItemPrefix)) return {};
    std::string name = folder.substr(run_folder.size(), folder.size() - run_folder.size() - 1);
    for (const char c : name) {
        if (fsos::IsSeparator(c) || c == '.') return {};
    }
    return name;
}

void FileSystem::RemoveItemFolderOf(const std::string& path) {
    const std::string name = ItemFolderName(RunFolder(), path);
    if (name.empty()) return;
    RemoveFolderOfFiles(run_->folder + name + kPathSeparator);
    std::string ignored;
    fsos::RemoveFile(run_->folder + name + kKeptSuffix, &ignored);
}

bool FileSystem::KeepItemFolderOf(const std::string& path) {
    std::lock_guard<std::mutex> lock(Mutex());
    const std::string name = ItemFolderName(RunFolder(), path);
    return !name.empty() && fsos::Exists(path) &&
           fsos::MakeMarker(run_->folder + name + kKeptSuffix);
}

std::unique_ptr<OsFile> FileSystem::CreatePartialBeside(const std::string& to, std::string* partial,
                                                        std::string* error) {
    std::lock_guard<std::mutex> lock(Mutex());
    if (!StartRun(error)) return nullptr;
    const std::string folder = fsos::FolderOf(to);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = folder + kPartialPrefix + RandomTag();
        // Recorded before it exists: a kill at any instant leaves nothing unrecorded.
        const bool outside = !StartsWith(name, run_->folder);
        if (outside) {
            run_->partials.push_back(name);
            fsos::AppendRecord(run_->folder + kJournalName, name);
        }
        auto file = OsFile::CreateNew(name, error);
        if (file) {
            *partial = name;
            return file;
        }
        if (outside) run_->partials.pop_back();
        if (!fsos::Exists(name)) return nullptr;  // not a taken name: a real failure
    }
    *error = "no free name for a new file";
    return nullptr;
}

MoveResult FileSystem::PutPartialInPlace(const std::string& partial, const std::string& to,
                                         bool replace, std::string* error) {
    std::lock_guard<std::mutex> lock(Mutex());
    const fsos::RenameResult result = fsos::Rename(partial, to, replace, error);
    if (result != fsos::RenameResult::kDone) {
        std::string ignored;
        fsos::RemoveFile(partial, &ignored);
    }
    auto& partials = run_->partials;
    partials.erase(std::remove(partials.begin(), partials.end(), partial), partials.end());
    switch (result) {
        case fsos::RenameResult::kDone:
            return MoveResult::kMoved;
        case fsos::RenameResult::kExists:
            return MoveResult::kDestinationExists;
        default:
            return MoveResult::kFailed;
    }
}

void FileSystem::DropPartial(const std::string& partial) {
    std::lock_guard<std::mutex> lock(Mutex());
    std::string ignored;
    fsos::RemoveFile(partial, &ignored);
    auto& partials = run_->partials;
    partials.erase(std::remove(partials.begin(), partials.end(), partial), partials.end());
}

// Copies from into a partial file beside to, then gives it to's name: replacing it or not.
MoveResult FileSystem::CopyIntoPlace(const std::string& from, const std::string& to, bool replace,
                                     bool flush, std::string* error, CopyWatcher* watcher) {
    auto in = OpenForReading(from, error);
    if (!in) return MoveResult::kFailed;
    std::string partial;
    auto out = CreatePartialBeside(to, &partial, error);
    if (!out) return MoveResult::kFailed;
    bool copied = false;
    if (watcher) {
        const std::uint64_t length = in->Length();
        copied = !in->Failed() && in->Seek(0) && CopyWatched(*in, *out, length, *watcher, error) &&
                 (!flush || out->Flush());
        if (!copied && error->empty()) *error = in->Failed() ? in->Error() : out->Error();
    } else {
        copied = CopyContents(*in, *out, flush, error);
    }
    out.reset();  // closed before it is renamed: Windows renames no open file
    in.reset();
    if (!copied) {
        DropPartial(partial);
        return MoveResult::kFailed;
    }
    return PutPartialInPlace(partial, to, replace, error);
}

bool FileSystem::CopyReplacing(const std::string& from, const std::string& to, std::string* error) {
    if (SameFile(from, to)) {
        *error = "source and destination are the same file";
        return false;
    }
    return CopyIntoPlace(from, to, true, true, error) == MoveResult::kMoved;
}

bool FileSystem::CopyToTemporary(const std::string& from, const std::string& to, std::string* error,
                                 CopyWatcher* watcher) {
    if (SameFile(from, to)) {
        *error = "source and destination are the same file";
        return false;
    }
    return CopyIntoPlace(from, to, true, false, error, watcher) == MoveResult::kMoved;
}

MoveResult FileSystem::MoveNoReplace(const std::string& from, const std::string& to,
                                     std::string* error) {
    switch (fsos::Rename(from, to, false, error)) {
        case fsos::RenameResult::kDone:
            return MoveResult::kMoved;
        case fsos::RenameResult::kExists:
            return MoveResult::kDestinationExists;
        case fsos::RenameResult::kFailed:
            return MoveResult::kFailed;
        case fsos::RenameResult::kOtherDevice:
            break;
    }
    // Another file system: copy beside, put in place without replacing, then let go of from.
    const MoveResult result = CopyIntoPlace(from, to, false, true, error);
    if (result == MoveResult::kMoved) {
        std::string ignored;
        fsos::RemoveFile(from, &ignored);
    }
    return result;
}

bool FileSystem::Delete(const std::string& path, std::string* error) {
    if (detail::FaultInjected(FileStep::kDelete, path)) {
        *error = fsos::LastError();
        return false;
    }
    return fsos::RemoveFile(path, error);
}

bool FileSystem::CheckFolderWritable(const std::string& folder, std::string* error) {
    const std::string path = folder.empty() ? std::string(".") : WithoutSeparator(folder);
    switch (fsos::KindOf(path)) {
        case fsos::Kind::kMissing:
            *error = "it does not exist";
            return false;
        case fsos::Kind::kOther:
            *error = "it is not a folder";
            return false;
        case fsos::Kind::kFolder:
            break;
    }
    std::string partial;
    if (!CreatePartialBeside(path + kPathSeparator + "probe", &partial, error)) {
        *error = "no file can be made in it: " + *error;
        return false;
    }
    DropPartial(partial);
    return true;
}

void RemoveLeftoversWhenInterrupted() {
    fsos::OnInterrupt(&CleanUpAllRuns);
}

}  // namespace deckwright
