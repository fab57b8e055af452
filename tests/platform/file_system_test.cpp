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
    EXPECT_FALSE(files.MoveNoReplace(from, to, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadBytes(from), (Bytes{1}));
    EXPECT_EQ(ReadBytes(to), (Bytes{2}));

    const std::string free_to = scratch.Path("b/z.ppt");
    ASSERT_TRUE(files.MoveNoReplace(from, free_to, &error)) << error;
    EXPECT_FALSE(Exists(from));
    EXPECT_EQ(ReadBytes(free_to), (Bytes{1}));
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
    const bool moved = files.MoveNoReplace(from, to, &error);
    const Bytes arrived = ReadBytes(to);
    const std::string occupied = Utf8(folder / "taken.ppt");
    WriteBytes(occupied, {9});
    const std::string again = scratch.File("a/again.ppt", data);
    const bool replaced = files.MoveNoReplace(again, occupied, &error);
    const Bytes kept = ReadBytes(occupied);
    std::error_code ec;
    fs::remove_all(folder, ec);

    EXPECT_TRUE(moved) << error;
    EXPECT_EQ(arrived, data);
    EXPECT_FALSE(Exists(from));
    EXPECT_FALSE(replaced);
    EXPECT_EQ(kept, (Bytes{9}));
    EXPECT_TRUE(Exists(again));
}

TEST_F(FileSystemTest, ItemFoldersAreFreshAndRemovedOnlyWhenOursAndEmpty) {
    std::string one, two;
    ASSERT_TRUE(files.CreateItemFolder(&one, &error)) << error;
    ASSERT_TRUE(files.CreateItemFolder(&two, &error)) << error;
    EXPECT_NE(one, two);
    EXPECT_EQ(one.rfind(files.DeckwrightFolder(), 0), 0u);
    EXPECT_EQ(files.DeckwrightFolder(), files.TemporaryFolder() + "Deckwright" +
                                            static_cast<char>(fs::path::preferred_separator));

    WriteBytes(one + "a.ppt", {1});
    files.RemoveItemFolderOf(one + "a.ppt");
    EXPECT_TRUE(Exists(one + "a.ppt")) << "a folder with a file in it was removed";
    ASSERT_TRUE(files.Delete(one + "a.ppt", &error)) << error;
    files.RemoveItemFolderOf(one + "a.ppt");
    EXPECT_FALSE(Exists(one));

    // An empty folder of the user's is never ours to remove.
    const std::string users = scratch.Folder("users-empty");
    files.RemoveItemFolderOf(users + "a.ppt");
    EXPECT_TRUE(Exists(users));
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
#else
TEST_F(FileSystemTest, DeckwrightFolderMustBeARealFolderOfOurs) {
    // Someone else's link in a shared temporary folder must not receive the user's files.
    const std::string target = scratch.Folder("elsewhere");
    ASSERT_EQ(::symlink(target.c_str(), (scratch.Folder("temp") + "Deckwright").c_str()), 0);
    std::string folder;
    EXPECT_FALSE(files.CreateItemFolder(&folder, &error));
    EXPECT_TRUE(FilesBelow(target).empty());
    EXPECT_EQ(FoldersBelow(target), 0u);
}

#endif

}  // namespace
}  // namespace deckwright::testing
