#include "cli/repair_command.h"

#include <cstdlib>
#include <sstream>

#include "cli/commands.h"
#include "tests/cli/run_command.h"
#include "tests/runs/run_test_support.h"

namespace deckwright::testing {
namespace {

constexpr char kSep = static_cast<char>(fs::path::preferred_separator);

// Sets an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
        const char* old = std::getenv(name_.c_str());
        if (old) old_ = old;
        Set(value);
    }
    ~ScopedEnv() { Set(old_.value_or("")); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void Set(const std::string& value) {
#ifdef _WIN32
        _putenv_s(name_.c_str(), value.c_str());
#else
        if (value.empty()) {
            ::unsetenv(name_.c_str());
        } else {
            ::setenv(name_.c_str(), value.c_str(), 1);
        }
#endif
    }
    std::string name_;
    std::optional<std::string> old_;
};

struct CommandResult {
    int status;
    std::string out;
};

class RepairCommandTest : public ::testing::Test {
  protected:
    // Runs "deckwright repair ARGS..." in-process, with the temporary folder in the scratch.
    CommandResult Command(std::vector<std::string> args) {
        args.insert(args.begin(), "repair");
        const testing::CommandRun run = testing::RunDeckwright(std::move(args));
        return {run.status, run.out};
    }
    // Runs the command's body with scripted terminal answers.
    CommandResult Run(const cli::RepairOptions& options, const Settings& saved, bool interactive,
                      const std::string& answers = "") {
        std::istringstream in(answers);
        std::ostringstream lines;
        const int status = cli::RunRepair(options, saved, files, interactive, in, lines, prompts);
        return {status, lines.str()};
    }
    std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    ScratchDir scratch;
    std::string temp = scratch.Folder("temp");
#ifdef _WIN32
    ScopedEnv tmp{"TMP", temp}, temp_env{"TEMP", temp};
#else
    ScopedEnv tmp{"TMPDIR", temp};
#endif
    SystemFileOperations files{temp};
    std::ostringstream prompts;
    std::string out = scratch.Folder("out");
};

TEST_F(RepairCommandTest, CorpusDamagedCopiesEndToEnd) {
    const char* corpus = std::getenv("DECKWRIGHT_CORPUS_DIR");
    std::error_code ec;
    if (!corpus || !fs::is_directory(PathOf(corpus), ec)) {
        GTEST_SKIP() << "DECKWRIGHT_CORPUS_DIR is not set or not a folder: no real presentations";
    }
    std::vector<fs::path> sources;
    for (const auto& entry : fs::directory_iterator(PathOf(corpus))) {
        if (entry.is_regular_file() && entry.path().extension() == ".ppt")
            sources.push_back(entry.path());
    }
    std::sort(sources.begin(), sources.end());
    ASSERT_FALSE(sources.empty());

    // Damaged copies: the header zeroed, as a broken disk leaves it.
    std::vector<std::string> damaged;
    std::vector<Bytes> expected;
    std::vector<bool> sound;
    for (const auto& source : sources) {
        Bytes bytes = ReadBytes(Utf8(source));
        std::fill(bytes.begin(), bytes.begin() + std::min<std::size_t>(512, bytes.size()), 0);
        damaged.push_back(scratch.File("in/" + Utf8(source.filename()), bytes));
        Bytes repaired;
        sound.push_back(RepairInMemory(bytes, &repaired).sound);
        expected.push_back(std::move(repaired));
    }
    const auto time_of_first = fs::last_write_time(PathOf(damaged[0]));
    const Bytes first_before = ReadBytes(damaged[0]);

    std::vector<std::string> args{"--out", Utf8(scratch.root() / "out"), "--suffix", "_r"};
    args.insert(args.end(), damaged.begin(), damaged.end());
    const CommandResult result = Command(args);

    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), damaged.size()) << result.out;
    bool all_sound = true;
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(damaged[i]);
        const std::string saved = out + Utf8(PathOf(damaged[i]).stem()) + "_r.ppt";
        if (sound[i]) {
            EXPECT_EQ(lines[i], damaged[i] + ": saved as " + saved);
            EXPECT_TRUE(ReadBytes(saved) == expected[i]) << "differs from the repair step's copy";
        } else {
            all_sound = false;
            EXPECT_EQ(lines[i].rfind(damaged[i] + ": failed: ", 0), 0u) << lines[i];
            EXPECT_FALSE(Exists(saved));
        }
    }
    EXPECT_EQ(result.status, all_sound ? cli::kExitOk : cli::kExitSomeFailed);
    EXPECT_EQ(ReadBytes(damaged[0]), first_before);
    EXPECT_EQ(fs::last_write_time(PathOf(damaged[0])), time_of_first);
    EXPECT_EQ(FoldersBelow(temp + "Deckwright"), 0u) << "temporary copies were left behind";
}

TEST_F(RepairCommandTest, EveryFileInOrderWithFailuresSaid) {
    const std::string a = scratch.File("in/a.ppt", SamplePresentation(1, true));
    const std::string missing = scratch.Path("in/missing.ppt");
    const std::string c = scratch.File("in/c.PPT", SamplePresentation(2));
    const CommandResult result = Command({"--out", out, "--suffix", "", a, missing, c});
    EXPECT_EQ(result.status, cli::kExitSomeFailed);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0], a + ": saved as " + out + "a.ppt");
    EXPECT_EQ(lines[1].rfind(missing + ": failed: Uable to Open File (", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], c + ": saved as " + out + "c.ppt");
}

TEST_F(RepairCommandTest, UsageErrors) {
    const std::string a = scratch.File("in/a.ppt", SamplePresentation(3));
    EXPECT_EQ(Command({}).status, cli::kExitUsage);
    EXPECT_EQ(Command({"--overwrite", "--keep-existing", a}).status, cli::kExitUsage);
    EXPECT_EQ(Command({"--bogus", a}).status, cli::kExitUsage);
    EXPECT_FALSE(Exists(out + "a.ppt"));
}

TEST_F(RepairCommandTest, ExistingDestinationByFlag) {
    const std::string a = scratch.File("in/Deck.ppt", SamplePresentation(4));
    const std::string dest = scratch.File("out/Deck_s.ppt", {'o', 'l', 'd'});

    CommandResult kept = Command({"--keep-existing", "--out", out, "--suffix", "_s", a});
    EXPECT_EQ(kept.status, cli::kExitSomeFailed);
    EXPECT_NE(kept.out.find(": failed: Uable to Save File"), std::string::npos) << kept.out;
    EXPECT_EQ(ReadBytes(dest), (Bytes{'o', 'l', 'd'}));

    CommandResult replaced = Command({"--overwrite", "--out", out, "--suffix", "_s", a});
    EXPECT_EQ(replaced.status, cli::kExitOk) << replaced.out;
    Bytes expected;
    RepairInMemory(SamplePresentation(4), &expected);
    EXPECT_EQ(ReadBytes(dest), expected);
}

TEST_F(RepairCommandTest, ExistingDestinationWithoutTerminalFailsUnasked) {
    const std::string a = scratch.File("in/Deck.ppt", SamplePresentation(5));
    scratch.File("out/Deck.ppt", {'o', 'l', 'd'});
    const CommandResult result = Run({out, "", cli::ExistingPolicy::kAsk, {a}}, {}, false, "y\n");
    EXPECT_EQ(result.status, cli::kExitSomeFailed);
    EXPECT_TRUE(prompts.str().empty());
    EXPECT_EQ(ReadBytes(out + "Deck.ppt"), (Bytes{'o', 'l', 'd'}));
}

TEST_F(RepairCommandTest, ExistingDestinationAskedOnATerminal) {
    const std::string a = scratch.File("in/Deck.ppt", SamplePresentation(6));
    const std::string dest = scratch.File("out/Deck.ppt", {'o', 'l', 'd'});
    Bytes expected;
    RepairInMemory(SamplePresentation(6), &expected);
    const cli::RepairOptions options{out, "", cli::ExistingPolicy::kAsk, {a}};

    // No, then an empty answer: cancelled.
    CommandResult result = Run(options, {}, true, "n\n\n");
    EXPECT_EQ(result.status, cli::kExitSomeFailed);
    EXPECT_NE(
        prompts.str().find("A file with the same name already exist \nOverwrite existing file"),
        std::string::npos)
        << prompts.str();
    EXPECT_EQ(ReadBytes(dest), (Bytes{'o', 'l', 'd'}));

    // An unclear answer is asked again; No, then another path.
    const std::string other = scratch.Path("other/Mine.ppt");
    result = Run(options, {}, true, "maybe\nn\n" + other + "\n");
    EXPECT_EQ(result.status, cli::kExitOk);
    EXPECT_EQ(result.out, a + ": saved as " + other + "\n");
    EXPECT_EQ(ReadBytes(other), expected);

    // Yes.
    result = Run(options, {}, true, "y\n");
    EXPECT_EQ(result.status, cli::kExitOk);
    EXPECT_EQ(ReadBytes(dest), expected);
}

TEST_F(RepairCommandTest, SavedSettingsAreTheDefaults) {
    const std::string a = scratch.File("in/Deck.ppt", SamplePresentation(7));
    const std::string folder = Utf8(scratch.root() / "from-settings");  // no separator
    fs::create_directories(PathOf(folder));
    CommandResult result =
        Run({std::nullopt, std::nullopt, cli::ExistingPolicy::kAsk, {a}}, {folder, "_set"}, false);
    EXPECT_EQ(result.status, cli::kExitOk) << result.out;
    EXPECT_TRUE(Exists(folder + kSep + "Deck_set.ppt"));

    // Options win over the settings.
    result = Run({out, "_opt", cli::ExistingPolicy::kAsk, {a}}, {folder, "_set"}, false);
    EXPECT_TRUE(Exists(out + "Deck_opt.ppt"));
}

TEST_F(RepairCommandTest, EmptyFolderMeansTheCurrentFolder) {
    const std::string a = scratch.File("in/Deck.ppt", SamplePresentation(8));
    const fs::path here = fs::current_path();
    fs::current_path(PathOf(scratch.Folder("cwd")));
    const CommandResult result =
        Run({std::nullopt, std::nullopt, cli::ExistingPolicy::kAsk, {a}}, {"", "_c"}, false);
    fs::current_path(here);
    EXPECT_EQ(result.status, cli::kExitOk) << result.out;
    EXPECT_TRUE(Exists(scratch.Path("cwd/Deck_c.ppt")));
}

#ifndef _WIN32
TEST_F(RepairCommandTest, CommandLineReadsButNeverStoresSettings) {
    const std::string config = scratch.Folder("config");
    ScopedEnv xdg("XDG_CONFIG_HOME", config);
    ASSERT_TRUE(StoreSettings({out, "_saved"}));
    const Bytes before = ReadBytes(config + "deckwright/settings");
    const std::string a = scratch.File("in/Deck.ppt", SamplePresentation(9));
    const CommandResult result = Command({"--suffix", "_given", a});
    EXPECT_EQ(result.status, cli::kExitOk) << result.out;
    EXPECT_TRUE(Exists(out + "Deck_given.ppt"));
    EXPECT_EQ(ReadBytes(config + "deckwright/settings"), before);
}
#endif

}  // namespace
}  // namespace deckwright::testing
