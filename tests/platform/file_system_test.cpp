#include "platform/file_system.h"

#include "tests/runs/run_test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/utf.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace deckwright::testing {
namespace {

class FileSystemTest : public ::testing::Test {
  protected:
    // Nothing but the expected files: no half-written copy left beside a destination.
    void ExpectOnlyFiles(const std::string& folder, std::vector<std::string> names) {
        std::vector<std::string> found;
        for (const auto& path : FilesBelow(folder)) found.push_back(FileNameOf(path));
        std::sort(found.begin(), found.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(found, names);
    }

    ScratchDir scratch;
    FileSystem files{scratch.Folder("temp")};
    std::string error;
};

TEST_F(FileSystemTest, CopyReplacingSwapsInTheWholeFile) {
    const Bytes big(300000, 7);
    const std::string from = scratch.File("a/big.bin", big);
    const std::string to = scratch.File("b/dest.ppt", {'o', 'l', 'd'});
    ASSERT_TRUE(files.CopyReplacing(from, to, &error)) << error;
    EXPECT_EQ(ReadBytes(to), big);
    EXPECT_EQ(ReadBytes(from), big);
    ExpectOnlyFiles(Utf8(PathOf(to).parent_path()), {"dest.ppt"});
}

TEST_F(FileSystemTest, FailedCopyLeavesTheDestinationAsItWas) {
    const std::string to = scratch.File("b/dest.ppt", {'o', 'l', 'd'});
    EXPECT_FALSE(files.CopyReplacing(scratch.Path("a/missing.ppt"), to, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadBytes(to), (Bytes{'o', 'l', 'd'}));
    ExpectOnlyFiles(Utf8(PathOf(to).parent_path()), {"dest.ppt"});
}

TEST_F(FileSystemTest, CopyOntoItselfIsRefused) {
    const std::string path = scratch.File("a/self.ppt", {1, 2, 3});
    EXPECT_FALSE(files.CopyReplacing(path, path, &error));
    EXPECT_EQ(ReadBytes(path), (Bytes{1, 2, 3}));
}

TEST_F(FileSystemTest, MoveNeverReplaces) {
    const std::string from = scratch.File("a/x.ppt", {1});
    const std::string to = scratch.File("b/y.ppt", {2});
    EXPECT_EQ(files.MoveNoReplace(from, to, &error), MoveResult::kDestinationExists);
    EXPECT_EQ(ReadBytes(from), (Bytes{1}));
    EXPECT_EQ(ReadBytes(to), (Bytes{2}));

    const std::string free_to = scratch.Path("b/z.ppt");
    ASSERT_EQ(files.MoveNoReplace(from, free_to, &error), MoveResult::kMoved) << error;
    EXPECT_FALSE(Exists(from));
    EXPECT_EQ(ReadBytes(free_to), (Bytes{1}));
    EXPECT_EQ(files.MoveNoReplace(from, scratch.Path("b/w.ppt"), &error), MoveResult::kFailed);
}

TEST_F(FileSystemTest, MoveAcrossFileSystems) {
    const auto other = OtherFileSystemFolder(scratch);
    if (!other) GTEST_SKIP() << "no second file system here (set DECKWRIGHT_OTHER_FS_DIR)";
    const fs::path folder =
        PathOf(*other) / ("deckwright-test-" + FileNameOf(Utf8(scratch.root())));
    fs::create_directories(folder);
    const Bytes data = SamplePresentation(3);
    const std::string from = scratch.File("a/x.ppt", data);
    const std::string to = Utf8(folder / "x_fixed.ppt");
    const MoveResult moved = files.MoveNoReplace(from, to, &error);
    const Bytes arrived = ReadBytes(to);
    const std::string occupied = Utf8(folder / "taken.ppt");
    WriteBytes(occupied, {9});
    const std::string again = scratch.File("a/again.ppt", data);
    const MoveResult replaced = files.MoveNoReplace(again, occupied, &error);
    const Bytes kept = ReadBytes(occupied);
    const auto partial = PartialFilesBelow(Utf8(folder));
    std::error_code ec;
    fs::remove_all(folder, ec);

    EXPECT_EQ(moved, MoveResult::kMoved) << error;
    EXPECT_EQ(arrived, data);
    EXPECT_FALSE(Exists(from));
    EXPECT_EQ(replaced, MoveResult::kDestinationExists);
    EXPECT_EQ(kept, (Bytes{9}));
    EXPECT_TRUE(Exists(again));
    EXPECT_TRUE(partial.empty());
}

// A copy takes what the file held when it was opened: a file that grows meanwhile (a device
// never stops) is cut there, and one that shrinks is no copy at all.
TEST_F(FileSystemTest, ACopyIsOfTheFileAsItWasWhenOpened) {
    const Bytes data(200000, 5);
    const std::string from = scratch.File("a/growing.ppt", data);
    const std::string to = scratch.Path("b/copy.ppt");
    {
        bool grown = false;
        InjectedFaults grow([&](FileStep step, const std::string& path) {
            if (step == FileStep::kRead && path == from && !grown) {
                grown = true;
                std::ofstream(PathOf(from), std::ios::binary | std::ios::app) << "more";
            }
            return Fault{};
        });
        ASSERT_TRUE(files.CopyReplacing(from, to, &error)) << error;
    }
    EXPECT_EQ(ReadBytes(to), data);

    const std::string shrinking = scratch.File("a/shrinking.ppt", data);
    {
        InjectedFaults shrink([&](FileStep step, const std::string& path) {
            return step == FileStep::kRead && path == shrinking ? Fault{FaultKind::kShort, 0}
                                                                : Fault{};
        });
        EXPECT_FALSE(files.CopyReplacing(shrinking, to, &error));
    }
    EXPECT_EQ(error, "the file became shorter while it was being copied");
    EXPECT_EQ(ReadBytes(to), data);
    ExpectOnlyFiles(Utf8(PathOf(to).parent_path()), {"copy.ppt"});
}

// Keeps what a watched copy shows it.
class Watcher final : public CopyWatcher {
  public:
    void Begin(std::uint64_t n) override { length = n; }
    void See(std::uint64_t pos, std::span<const std::uint8_t> bytes) override {
        pieces.push_back({pos, bytes.size()});
        seen.insert(seen.end(), bytes.begin(), bytes.end());
    }
    std::uint64_t length = 0;
    std::vector<std::pair<std::uint64_t, std::size_t>> pieces;
    Bytes seen;
};

// A watched working copy shows every byte once, in order, in pieces of whole 64 KiB blocks but
// the last, and the copy holds the same bytes; when the copy cannot be made, nothing is left.
TEST_F(FileSystemTest, AWatchedCopySeesEveryByteOnce) {
    Bytes data(2'500'123);
    std::mt19937 random(3);
    for (auto& b : data) b = static_cast<std::uint8_t>(random());
    const std::string from = scratch.File("a/source.ppt", data);
    const std::string folder = scratch.Folder("work");
    Watcher watcher;
    ASSERT_TRUE(files.CopyToTemporary(from, folder + "copy.ppt", &error, &watcher)) << error;
    EXPECT_EQ(ReadBytes(folder + "copy.ppt"), data);
    EXPECT_EQ(watcher.length, data.size());
    EXPECT_TRUE(watcher.seen == data);
    ASSERT_GE(watcher.pieces.size(), 2u);
    std::uint64_t next = 0;
    for (std::size_t i = 0; i < watcher.pieces.size(); ++i) {
        const auto [pos, size] = watcher.pieces[i];
        EXPECT_EQ(pos, next);
        if (i + 1 < watcher.pieces.size()) {
            EXPECT_EQ(size % 65536, 0u) << i;
        }
        next = pos + size;
    }

    // A write that fails halfway, and a source that ends early.
    for (const FileStep step : {FileStep::kWrite, FileStep::kRead}) {
        int calls = 0;
        InjectedFaults faults([&](FileStep s, const std::string& path) {
            const bool ours = s == FileStep::kWrite ? path.starts_with(folder) : path == from;
            if (s != step || !ours || ++calls < 2) return Fault{};
            return Fault{step == FileStep::kWrite ? FaultKind::kNoSpace : FaultKind::kShort, 0};
        });
        Watcher failed;
        EXPECT_FALSE(files.CopyToTemporary(from, folder + "failed.ppt", &error, &failed));
        EXPECT_FALSE(error.empty());
    }
    ExpectOnlyFiles(folder, {"copy.ppt"});
}

// A watcher that lends room for the pieces: room that fits (the size asked, page-aligned) holds
// every piece, across copies; room too short or misaligned is left alone, as the copy would
// otherwise write past it or copy at a fraction of the speed.
TEST_F(FileSystemTest, ALentRoomIsUsedOnlyWhenItFits) {
    class Lender final : public CopyWatcher {
      public:
        // room_size 0: the size asked.
        Lender(std::size_t room_size, std::size_t misaligned_by)
            : room_size_(room_size), misaligned_by_(misaligned_by) {}
        void Begin(std::uint64_t) override {}
        void See(std::uint64_t, std::span<const std::uint8_t> bytes) override {
            // Begins in the room: a piece that does not also end in it overran it.
            const bool inside = !lent_.empty() && bytes.data() >= lent_.data() &&
                                bytes.data() < lent_.data() + lent_.size();
            (inside ? in_room : elsewhere) += 1;
        }
        std::span<std::uint8_t> Room(std::size_t size) override {
            if (lent_.empty()) {
                const std::size_t lent = room_size_ == 0 ? size : room_size_;
                store_.resize(lent + 4096 + misaligned_by_);
                const auto past = reinterpret_cast<std::uintptr_t>(store_.data()) % 4096;
                lent_ = std::span(store_).subspan((4096 - past) % 4096 + misaligned_by_, lent);
            }
            return lent_;
        }
        int in_room = 0, elsewhere = 0;

      private:
        std::size_t room_size_, misaligned_by_;
        std::vector<std::uint8_t> store_;
        std::span<std::uint8_t> lent_;
    };
    Bytes big(2'500'123), small(70'000);
    std::mt19937 random(5);
    for (auto& b : big) b = static_cast<std::uint8_t>(random());
    for (auto& b : small) b = static_cast<std::uint8_t>(random());
    const std::string folder = scratch.Folder("work");
    const std::string sources[] = {scratch.File("a/big.ppt", big),
                                   scratch.File("a/small.ppt", small)};
    struct Case {
        std::size_t room_size, misaligned_by;
        bool used;
    };
    for (const Case c : {Case{0, 0, true}, Case{4096, 0, false}, Case{0, 1, false}}) {
        SCOPED_TRACE(std::to_string(c.room_size) + " bytes, " + std::to_string(c.misaligned_by) +
                     " off");
        Lender lender(c.room_size, c.misaligned_by);
        for (const std::string& from : sources) {
            const std::string to = folder + "copy.ppt";
            ASSERT_TRUE(files.CopyToTemporary(from, to, &error, &lender)) << error;
            EXPECT_TRUE(ReadBytes(to) == ReadBytes(from));
        }
        EXPECT_GT(lender.in_room + lender.elsewhere, 2);
        EXPECT_EQ(c.used ? lender.elsewhere : lender.in_room, 0);
    }
}

// Only what replaces a file is pushed to the disk before it takes the file's name: a crash then
// leaves the old file or the new one. A working copy, or a save under a new name, is not: a
// crash loses at most that copy, and the user's own file is still there to repair again.
TEST_F(FileSystemTest, OnlyAReplacementIsFlushed) {
    const std::string from = scratch.File("a/source.ppt", Bytes(100000, 3));
    const std::string folder = scratch.Folder("b");
    std::vector<std::string> flushed;
    InjectedFaults count([&](FileStep step, const std::string& path) {
        if (step == FileStep::kFlush) flushed.push_back(path);
        return Fault{};
    });
    Watcher watcher;
    ASSERT_TRUE(files.CopyToTemporary(from, folder + "copy.ppt", &error, &watcher)) << error;
    ASSERT_TRUE(files.CopyToTemporary(from, folder + "plain.ppt", &error)) << error;
    ASSERT_EQ(files.MoveNoReplace(folder + "plain.ppt", folder + "saved.ppt", &error),
              MoveResult::kMoved)
        << error;
    EXPECT_TRUE(flushed.empty());
    ASSERT_TRUE(files.CopyReplacing(folder + "copy.ppt", folder + "saved.ppt", &error)) << error;
    EXPECT_EQ(flushed.size(), 1u);
}

TEST_F(FileSystemTest, NamesWithANulAreRefused) {
    const std::string from = scratch.File("a/x.ppt", {1});
    const std::string folder = scratch.Folder("b");
    EXPECT_FALSE(files.CopyReplacing(from, folder + std::string("y\0.ppt", 6), &error));
    EXPECT_EQ(error, "the name holds a NUL character");
    EXPECT_EQ(files.MoveNoReplace(from, folder + std::string("y\0.ppt", 6), &error),
              MoveResult::kFailed);
    EXPECT_EQ(OsFile::Open(from + std::string("\0x", 2), OpenMode::kRead, Sharing::kShared, &error),
              nullptr);
    EXPECT_TRUE(FilesBelow(folder).empty());
    EXPECT_TRUE(Exists(from));
}

// Item folders live in a run folder of this object's own, private to the user, and go when
// their item is over, or with the object, unless kept.
TEST_F(FileSystemTest, ItemFoldersGoWhenTheirItemIsOverUnlessKept) {
    const std::string temp = scratch.Folder("temp2");
    std::string one, two, three;
    {
        FileSystem own(temp);
        ASSERT_TRUE(own.CreateItemFolder(&one, &error)) << error;
        ASSERT_TRUE(own.CreateItemFolder(&two, &error)) << error;
        ASSERT_TRUE(own.CreateItemFolder(&three, &error)) << error;
        EXPECT_NE(one, two);
        EXPECT_EQ(one.rfind(own.RunFolder(), 0), 0u);
        EXPECT_EQ(own.RunFolder().rfind(temp + RunFolderPrefix(), 0), 0u) << own.RunFolder();
#ifndef _WIN32
        struct stat st {};
        ASSERT_EQ(::stat(own.RunFolder().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
#endif
        WriteBytes(one + "a.ppt", {1});
        WriteBytes(two + "b.ppt", {2});
        WriteBytes(three + "c.ppt", {3});
        own.RemoveItemFolderOf(one + "a.ppt");
        EXPECT_FALSE(Exists(one));
        EXPECT_TRUE(own.KeepItemFolderOf(two + "b.ppt"));

        // An empty folder of the user's is never ours to remove, nor is a file of theirs kept.
        const std::string users = scratch.Folder("users-empty");
        own.RemoveItemFolderOf(users + "a.ppt");
        EXPECT_TRUE(Exists(users));
        EXPECT_FALSE(own.KeepItemFolderOf(users + "a.ppt"));
    }
    EXPECT_EQ(ReadBytes(two + "b.ppt"), (Bytes{2}));
    EXPECT_FALSE(Exists(three));
}

// A crash (or a kill) leaves a run folder nobody holds; the next start of any run folder of the
// same user removes what it left, in the temporary folder and beside destinations, but what
// was kept, and it never touches a run that is alive.
TEST_F(FileSystemTest, TheNextStartRemovesWhatADeadRunLeft) {
    const std::string temp = scratch.Folder("temp2");
    const std::string out = scratch.Folder("out");
    FileSystem alive(temp);
    std::string alive_item;
    ASSERT_TRUE(alive.CreateItemFolder(&alive_item, &error)) << error;
    WriteBytes(alive_item + "live.ppt", {7});

    const std::string dead = scratch.Folder("temp2/" + RunFolderPrefix() + "deadbeef");
    scratch.File("temp2/" + RunFolderPrefix() + "deadbeef/item-aaaaaaaa/deck.ppt", {1});
    scratch.File("temp2/" + RunFolderPrefix() + "deadbeef/item-bbbbbbbb/kept.ppt", {2});
    scratch.File("temp2/" + RunFolderPrefix() + "deadbeef/item-bbbbbbbb.kept", {});
    const std::string partial = scratch.File("out/.deckwright-zzzzzzzz", {3});
    const std::string users = scratch.File("out/precious.ppt", {4});
    std::string journal = partial + '\0' + users + '\0';
    WriteBytes(dead + "partial-files", Bytes(journal.begin(), journal.end()));

    FileSystem next(temp);
    std::string item;
    ASSERT_TRUE(next.CreateItemFolder(&item, &error)) << error;

    EXPECT_FALSE(Exists(dead + "item-aaaaaaaa"));
    EXPECT_EQ(ReadBytes(dead + "item-bbbbbbbb" + kPathSeparator + "kept.ppt"), (Bytes{2}));
    EXPECT_FALSE(Exists(partial));
    EXPECT_EQ(ReadBytes(users), (Bytes{4})) << "a name this program never makes was removed";
    EXPECT_EQ(ReadBytes(alive_item + "live.ppt"), (Bytes{7}));
}

#ifdef _WIN32
TEST_F(FileSystemTest, FileHeldWithoutSharingCannotBeOpenedForReading) {
    const std::string path = scratch.File("locked.ppt", {1, 2});
    HANDLE lock = CreateFileW(Widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_EQ(files.OpenForReading(path, &error), nullptr);
    CloseHandle(lock);
    EXPECT_NE(files.OpenForReading(path, &error), nullptr);
}

// Paths of more than MAX_PATH characters, with names beyond ASCII, take the \\?\ form.
TEST_F(FileSystemTest, LongAndNonAsciiPaths) {
    std::string deep = scratch.Folder("long");
    const std::string part =
        "Pr\xC3\xA4sentationen \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E 0123456789";
    while (deep.size() < 300) {
        deep += part + "\\";
        ASSERT_TRUE(CreateDirectoryW(WidePath(deep).c_str(), nullptr)) << deep;
    }
    const Bytes data = SamplePresentation(4);
    const std::string from = deep + "M\xC3\xA4rz.ppt";
    {
        auto file = OsFile::CreateNew(from, &error);
        ASSERT_NE(file, nullptr) << error;
        ASSERT_TRUE(file->Write(data));
    }
    const std::string to = deep + "M\xC3\xA4rz_fixed.ppt";
    ASSERT_TRUE(files.CopyReplacing(from, to, &error)) << error;
    ASSERT_EQ(files.MoveNoReplace(to, deep + "moved.ppt", &error), MoveResult::kMoved) << error;
    auto opened = OsFile::Open(deep + "moved.ppt", OpenMode::kRead, Sharing::kShared, &error);
    ASSERT_NE(opened, nullptr) << error;
    EXPECT_EQ(opened->Length(), data.size());
    opened.reset();
    EXPECT_TRUE(files.CheckFolderWritable(deep, &error)) << error;

    FileSystem long_temp(deep);
    std::string item;
    ASSERT_TRUE(long_temp.CreateItemFolder(&item, &error)) << error;
    EXPECT_TRUE(files.CopyReplacing(from, item + "M\xC3\xA4rz.ppt", &error)) << error;
    long_temp.RemoveItemFolderOf(item + "M\xC3\xA4rz.ppt");
    EXPECT_FALSE(Exists(item));
    EXPECT_TRUE(files.Delete(from, &error)) << error;
}

TEST_F(FileSystemTest, AReadOnlyDestinationIsLeftWhole) {
    const std::string from = scratch.File("a/x.ppt", SamplePresentation(5));
    const std::string to = scratch.File("b/dest.ppt", {'o', 'l', 'd'});
    ASSERT_TRUE(SetFileAttributesW(Widen(to).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(files.CopyReplacing(from, to, &error));
    EXPECT_FALSE(error.empty());
    SetFileAttributesW(Widen(to).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(to), (Bytes{'o', 'l', 'd'}));
    ExpectOnlyFiles(Utf8(PathOf(to).parent_path()), {"dest.ppt"});
}
#endif

}  // namespace
}  // namespace deckwright::testing
