#include "cli/repair_command.h"

#include <cstdlib>
#include <sstream>

#include "cli/commands.h"
#include "tests/cli/run_command.h"
#include "tests/runs/run_test_support.h"

#include <algorithm>

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
        return RunWith(files, options, saved, interactive, answers);
    }
    CommandResult RunWith(FileOperations& with, const cli::RepairOptions& options,
                          const Settings& saved, bool interactive = false,
                          const std::string& answers = "") {
        std::istringstream in(answers);
        std::ostringstream lines;
        const int status = cli::RunRepair(options, saved, with, interactive, in, lines, prompts);
        return {status, lines.str()};
    }
    static Bytes Repaired(const Bytes& bytes) {
        Bytes repaired;
        RepairInMemory(bytes, &repaired);
        return repaired;
    }
    // The path a failure line says the repaired copy is kept at.
    static std::string KeptAt(std::string line) {
        if (!line.empty() && line.back() == '\n') line.pop_back();
        const auto at = line.find("kept at ");
        if (at == std::string::npos || line.back() != ')') return {};
        return line.substr(at + 8, line.size() - at - 9);
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
    std::vector<bool> sound, warned;
    for (const auto& source : sources) {
        Bytes bytes = ReadBytes(Utf8(source));
        std::fill(bytes.begin(), bytes.begin() + std::min<std::size_t>(512, bytes.size()), 0);
        damaged.push_back(scratch.File("in/" + Utf8(source.filename()), bytes));
        Bytes repaired;
        const RepairOutcome outcome = RepairInMemory(bytes, &repaired);
        sound.push_back(outcome.sound);
        warned.push_back(outcome.sound && !outcome.warning.empty());
        expected.push_back(std::move(repaired));
    }
    const auto time_of_first = fs::last_write_time(PathOf(damaged[0]));
    const Bytes first_before = ReadBytes(damaged[0]);

    std::vector<std::string> args{"--out", Utf8(scratch.root() / "out"), "--suffix", "_r"};
    args.insert(args.end(), damaged.begin(), damaged.end());
    const CommandResult result = Command(args);

    // A line per file, and after a copy whose records are damaged, its warning line.
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(),
              damaged.size() + static_cast<std::size_t>(std::count(warned.begin(), warned.end(), true)))
        << result.out;
    bool all_sound = true, any_warned = false;
    for (std::size_t i = 0, line = 0; i < damaged.size(); ++i, ++line) {
        SCOPED_TRACE(damaged[i]);
        const std::string saved = out + Utf8(PathOf(damaged[i]).stem()) + "_r.ppt";
        if (sound[i]) {
            EXPECT_EQ(lines[line], damaged[i] + ": saved as " + saved);
            EXPECT_TRUE(ReadBytes(saved) == expected[i]) << "differs from the repair step's copy";
        } else {
            all_sound = false;
            EXPECT_EQ(lines[line].rfind(damaged[i] + ": failed: ", 0), 0u) << lines[line];
            EXPECT_FALSE(Exists(saved));
        }
        if (warned[i]) {
            any_warned = true;
            ++line;
            EXPECT_EQ(lines[line].rfind(damaged[i] + ": warning: ", 0), 0u) << lines[line];
        }
    }
    EXPECT_EQ(result.status, !all_sound   ? cli::kExitSomeFailed
                             : any_warned ? cli::kExitWarning
                                          : cli::kExitOk);
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
    EXPECT_TRUE(FilesBelow(temp).empty()) << "the temporary folder keeps something";
}

// A copy saved with damaged records: its result line, then a warning line, and exit status 3
// unless another file failed (1 wins).
TEST_F(RepairCommandTest, DamagedRecordsGiveAWarningLineAndStatus3) {
    const std::string a = scratch.File("in/a.ppt", SamplePresentation(1, true));
    const std::string b = scratch.File("in/b.ppt", PresentationWithDamagedRecords(2, true));
    const CommandResult result = Command({"--out", out, "--suffix", "", a, b});
    EXPECT_EQ(result.status, cli::kExitWarning);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0], a + ": saved as " + out + "a.ppt");
    EXPECT_EQ(lines[1], b + ": saved as " + out + "b.ppt");
    EXPECT_EQ(lines[2].rfind(b + ": warning: The file was repaired, but parts of the slides may "
                                 "be damaged: persist object 1 at offset 0 ",
                             0),
              0u)
        << lines[2];
    EXPECT_TRUE(fs::exists(out + "b.ppt"));

    const std::string missing = scratch.Path("in/missing.ppt");
    EXPECT_EQ(Command({"--out", out, "--suffix", "_2", b, missing}).status, cli::kExitSomeFailed);
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
    EXPECT_EQ(ReadBytes(KeptAt(result.out)), Repaired(SamplePresentation(5))) << result.out;
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

// With the defaults (the current folder, no suffix), --overwrite saved the repaired file over
// the user's own.
TEST_F(RepairCommandTest, TheUsersOwnFileIsNeverReplaced) {
    const Bytes original = SamplePresentation(10, true);
    const std::string deck = scratch.File("cwd/deck.ppt", original);
    const fs::path here = fs::current_path();
    fs::current_path(PathOf(scratch.Folder("cwd")));
    const CommandResult by_default =
        Run({std::nullopt, std::nullopt, cli::ExistingPolicy::kOverwrite, {"deck.ppt"}}, {}, false);
    fs::current_path(here);
    EXPECT_EQ(by_default.status, cli::kExitSomeFailed);
    EXPECT_EQ(by_default.out.rfind("deck.ppt: failed: Unable to save: the saved file would take "
                                   "the place of a file being repaired",
                                   0),
              0u)
        << by_default.out;
    EXPECT_EQ(ReadBytes(deck), original);
    EXPECT_EQ(ReadBytes(KeptAt(by_default.out)), Repaired(original)) << by_default.out;

    const std::string folder = scratch.Folder("cwd");
    const CommandResult named = Command({"--out", folder, "--suffix", "", "--overwrite", deck});
    EXPECT_EQ(named.status, cli::kExitSomeFailed);
    EXPECT_NE(named.out.find("is a file being repaired; the repaired copy is kept at"),
              std::string::npos)
        << named.out;
    EXPECT_EQ(ReadBytes(deck), original);
}

// --overwrite replaced the first file's saved copy with the second's, and said both were saved.
TEST_F(RepairCommandTest, OneRunNeverReplacesWhatItSaved) {
    const std::string x = scratch.File("x/deck.ppt", SamplePresentation(11));
    const std::string y = scratch.File("y/deck.ppt", SamplePresentation(12, true));
    const CommandResult result = Command({"--out", out, "--suffix", "", "--overwrite", x, y});
    EXPECT_EQ(result.status, cli::kExitSomeFailed);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 2u) << result.out;
    EXPECT_EQ(lines[0], x + ": saved as " + out + "deck.ppt");
    EXPECT_EQ(lines[1].rfind(y + ": failed: Unable to save: a file saved moments ago", 0), 0u)
        << lines[1];
    EXPECT_EQ(ReadBytes(out + "deck.ppt"), Repaired(SamplePresentation(11)));
    EXPECT_EQ(ReadBytes(KeptAt(lines[1])), Repaired(SamplePresentation(12, true)));

    // Names without an extension keep their stem, so they no longer collide.
    const std::string alpha = scratch.File("in/alpha", SamplePresentation(13));
    const std::string beta = scratch.File("in/beta", SamplePresentation(14));
    EXPECT_EQ(Command({"--out", out, "--suffix", "_r", alpha, beta}).out,
              alpha + ": saved as " + out + "alpha_r.ppt\n" + beta + ": saved as " + out +
                  "beta_r.ppt\n");
    EXPECT_EQ(Command({"--out", out, "--suffix", "", alpha}).out,
              alpha + ": saved as " + out + "alpha.ppt\n");
}

// Every failed save left its temporary copy behind without a word; now it is kept on purpose,
// the line says where, and nothing else stays.
TEST_F(RepairCommandTest, ACopyNotSavedIsKeptWhereTheLineSays) {
    const std::string a = scratch.File("in/Deck.ppt", SamplePresentation(15));
    const std::string b = scratch.File("in/Long.ppt", SamplePresentation(16));
    scratch.File("out/Deck_k.ppt", {'o', 'l', 'd'});
    const CommandResult kept = Command({"--out", out, "--suffix", "_k", "--keep-existing", a});
    const CommandResult too_long = Command({"--out", out, "--suffix", std::string(300, 'x'), b});
    EXPECT_EQ(kept.status, cli::kExitSomeFailed);
    EXPECT_EQ(too_long.status, cli::kExitSomeFailed);
    const std::string one = KeptAt(kept.out), two = KeptAt(too_long.out);
    EXPECT_EQ(ReadBytes(one), Repaired(SamplePresentation(15))) << kept.out;
    EXPECT_EQ(ReadBytes(two), Repaired(SamplePresentation(16))) << too_long.out;
    std::vector<std::string> left;
    for (const auto& path : FilesBelow(temp)) {
        if (!path.ends_with(".kept")) left.push_back(path);  // the marks of kept item folders
    }
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected{one, two};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    EXPECT_EQ(FilesBelow(out).size(), 1u);
}

// The command line staged every file before the first save: ten 17 MB files needed room for
// all ten copies in the temporary folder at once.
TEST_F(RepairCommandTest, EachFileIsSavedBeforeTheNextIsCopied) {
    FaultyFileOperations counted(temp);
    std::vector<std::size_t> folders_at_each_copy;
    counted.before_item_folder = [&] {
        folders_at_each_copy.push_back(ItemFoldersIn(counted.real().system().RunFolder()).size());
    };
    std::vector<std::string> sources;
    for (std::uint32_t i = 0; i < 4; ++i)
        sources.push_back(scratch.File("in/f" + std::to_string(i) + ".ppt", SamplePresentation(i)));
    const CommandResult result =
        RunWith(counted, {out, "_r", cli::ExistingPolicy::kAsk, sources}, {});
    EXPECT_EQ(result.status, cli::kExitOk) << result.out;
    EXPECT_EQ(folders_at_each_copy, std::vector<std::size_t>(4, 0));
}

// Several files repaired at once: the same lines in the order of the FILEs, the same saved
// bytes and the same exit status as one at a time, and a first file that takes longest still
// keeps its saved name against a later file of the same name.
TEST_F(RepairCommandTest, SeveralJobsGiveTheSameLinesFilesAndStatusAsOne) {
    std::vector<std::string> all_ok, mixed;
    // A big file first and a small one of the same name right after it: repaired side by side,
    // the small one is ready first, but the big one is saved first.
    mixed.push_back(
        scratch.File("big/deck.ppt", WriteCompoundFile(PresentationStreams(8'000'000, 9))));
    mixed.push_back(scratch.File("small/deck.ppt", SamplePresentation(8, true)));
    for (std::uint32_t i = 0; i < 7; ++i) {
        all_ok.push_back(
            scratch.File("in/f" + std::to_string(i) + ".ppt", SamplePresentation(i, i % 2 == 1)));
        mixed.push_back(all_ok.back());
    }
    all_ok.push_back(scratch.File("in/records.ppt", PresentationWithDamagedRecords(3, true)));
    mixed.push_back(scratch.Path("in/missing.ppt"));
    mixed.push_back(scratch.File("in/noise.ppt", Bytes(5000, 0x5A)));
    mixed.push_back(all_ok.back());

    for (const auto& [sources, status] :
         {std::pair{all_ok, cli::kExitWarning}, std::pair{mixed, cli::kExitSomeFailed}}) {
        std::string one_job_lines;
        std::vector<Bytes> one_job_files;
        for (const int jobs : {1, 2, 4}) {
            SCOPED_TRACE("--jobs " + std::to_string(jobs));
            const std::string folder =
                scratch.Folder("out" + std::to_string(jobs) + "-" + std::to_string(sources.size()));
            std::vector<std::string> args{"--jobs", std::to_string(jobs), "--overwrite", "--out",
                                          folder,   "--suffix",           "_r"};
            args.insert(args.end(), sources.begin(), sources.end());
            const CommandResult result = Command(args);
            EXPECT_EQ(result.status, status) << result.out;
            std::string lines = result.out;
            for (std::size_t at; (at = lines.find(folder)) != std::string::npos;)
                lines.replace(at, folder.size(), "OUT/");
            // Where a copy that could not be saved is kept differs from run to run.
            for (std::size_t at = 0; (at = lines.find("kept at ", at)) != std::string::npos;) {
                const std::size_t end = lines.find(')', at);
                lines.replace(at, end - at, "kept at KEPT");
                ++at;
            }
            std::vector<Bytes> saved;
            for (const std::string& path : FilesBelow(folder)) saved.push_back(ReadBytes(path));
            if (jobs == 1) {
                one_job_lines = lines;
                one_job_files = saved;
                continue;
            }
            EXPECT_EQ(lines, one_job_lines);
            EXPECT_TRUE(saved == one_job_files) << "the saved files differ";
        }
        ASSERT_FALSE(one_job_files.empty());
        if (sources == mixed) {
            EXPECT_EQ(one_job_lines.rfind(mixed[0] + ": saved as OUT/deck_r.ppt\n" + mixed[1] +
                                              ": failed: Unable to save: a file saved moments ago",
                                          0),
                      0u)
                << one_job_lines;
        }
    }
}

// With several jobs, files fail as they do one at a time: one that cannot be opened, one that
// is no compound file, one whose copy cannot be written and one whose save fails, among files
// that are saved (one with a warning), behind a big first file that the others overtake. The
// lines keep the order of the FILEs and say the same, the exit status is the same, the copy
// that could not be saved is kept whole where its line says, and nothing else is left.
TEST_F(RepairCommandTest, SeveralJobsFailAsOneJobDoes) {
    std::vector<std::string> sources;
    sources.push_back(
        scratch.File("in/big.ppt", WriteCompoundFile(PresentationStreams(8'000'000, 9))));
    const std::string unreadable = scratch.File("in/unreadable.ppt", SamplePresentation(21, true));
    sources.push_back(unreadable);
    sources.push_back(scratch.File("in/ok.ppt", SamplePresentation(22)));
    sources.push_back(scratch.File("in/noise.ppt", Bytes(5000, 0x5A)));
    const Bytes unsaved = SamplePresentation(23, true);
    sources.push_back(scratch.File("in/unsaved.ppt", unsaved));
    sources.push_back(scratch.File("in/unwritten.ppt", SamplePresentation(24, true)));
    sources.push_back(scratch.File("in/records.ppt", PresentationWithDamagedRecords(25, true)));
    sources.push_back(scratch.File("in/last.ppt", SamplePresentation(26)));
    InjectedFaults faults([&](FileStep step, const std::string& path) {
        if (step == FileStep::kOpen && path == unreadable) return Fault{FaultKind::kAccessDenied, 0};
        // The destination of the move into the save folder, and the copy in the temporary one.
        if (step == FileStep::kRename && path.ends_with(kSep + std::string("unsaved_r.ppt")))
            return Fault{FaultKind::kIoError, 0};
        // The repair's writes into the copy (the copy itself is made under another name).
        if (step == FileStep::kWrite && path.ends_with(kSep + std::string("unwritten.ppt")))
            return Fault{FaultKind::kNoSpace, 0};
        return Fault{};
    });

    std::string one_job_lines;
    std::vector<Bytes> one_job_files;
    std::vector<std::string> kept;
    for (const int jobs : {1, 2, 4}) {
        SCOPED_TRACE("--jobs " + std::to_string(jobs));
        const std::string folder = scratch.Folder("faults" + std::to_string(jobs));
        std::vector<std::string> args{"--jobs", std::to_string(jobs), "--out", folder,
                                      "--suffix", "_r"};
        args.insert(args.end(), sources.begin(), sources.end());
        const CommandResult result = Command(args);
        EXPECT_EQ(result.status, cli::kExitSomeFailed) << result.out;
        const auto lines = Lines(result.out);
        ASSERT_EQ(lines.size(), sources.size() + 1) << result.out;
        auto failed = [&](std::size_t i) { return lines[i].rfind(sources[i] + ": failed: ", 0) == 0; };
        for (const std::size_t i : {0u, 2u, 6u}) {
            const std::string saved_as = ": saved as " + folder + Utf8(PathOf(sources[i]).stem());
            EXPECT_EQ(lines[i], sources[i] + saved_as + "_r.ppt");
        }
        EXPECT_EQ(lines[7].rfind(sources[6] + ": warning: ", 0), 0u) << lines[7];
        EXPECT_EQ(lines[8], sources[7] + ": saved as " + folder + "last_r.ppt");
        EXPECT_TRUE(failed(1) && lines[1].find("Open File") != std::string::npos) << lines[1];
        EXPECT_TRUE(failed(3)) << lines[3];
        EXPECT_TRUE(failed(4) && lines[4].find("cannot move the repaired copy to " + folder +
                                              "unsaved_r.ppt") != std::string::npos)
            << lines[4];
        EXPECT_TRUE(failed(5) &&
                    lines[5].find("the copy could not be read or written") != std::string::npos)
            << lines[5];
        kept.push_back(KeptAt(lines[4]));
        EXPECT_EQ(ReadBytes(kept.back()), Repaired(unsaved)) << lines[4];
        std::vector<std::string> left;
        for (const auto& path : FilesBelow(temp)) {
            if (!path.ends_with(".kept")) left.push_back(path);
        }
        std::sort(left.begin(), left.end());
        std::vector<std::string> want = kept;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(left, want) << "the temporary folder keeps what nobody was told of";

        std::string same = result.out;
        for (std::size_t at; (at = same.find(folder)) != std::string::npos;)
            same.replace(at, folder.size(), "OUT/");
        same.replace(same.find(kept.back()), kept.back().size(), "KEPT");
        std::vector<Bytes> saved;
        for (const std::string& path : FilesBelow(folder)) saved.push_back(ReadBytes(path));
        EXPECT_EQ(saved.size(), 4u);
        if (jobs == 1) {
            one_job_lines = same;
            one_job_files = saved;
            continue;
        }
        EXPECT_EQ(same, one_job_lines);
        EXPECT_TRUE(saved == one_job_files) << "the saved files differ";
    }
}

// The save folder was found unusable only after every file had been repaired.
TEST_F(RepairCommandTest, AnUnusableSaveFolderIsAUsageErrorBeforeAnyWork) {
    const std::string a = scratch.File("in/a.ppt", SamplePresentation(17));
    const std::string a_file = scratch.File("not-a-folder", {1});
    FaultyFileOperations counted(temp);
    const std::string unwritable = scratch.Folder("unwritable");
    InjectedFaults deny([&](FileStep step, const std::string& path) {
        if (step == FileStep::kCreate && path.rfind(unwritable, 0) == 0)
            return Fault{FaultKind::kAccessDenied, 0};
        return Fault{};
    });
    const std::pair<std::string, std::string> cases[] = {
        {Utf8(scratch.root() / "nope" / "x"), "it does not exist"},
        {a_file, "it is not a folder"},
        {unwritable, "no file can be made in it: "}};
    for (const auto& [folder, why] : cases) {
        SCOPED_TRACE(folder);
        prompts.str("");
        const CommandResult result =
            RunWith(counted, {folder, "_r", cli::ExistingPolicy::kAsk, {a}}, {});
        EXPECT_EQ(result.status, cli::kExitUsage);
        EXPECT_TRUE(result.out.empty());
        EXPECT_NE(prompts.str().find("cannot save into " + folder), std::string::npos)
            << prompts.str();
        EXPECT_NE(prompts.str().find(why), std::string::npos) << prompts.str();
    }
    EXPECT_EQ(counted.copies, 0) << "work was done before the folder was judged";
    EXPECT_TRUE(FilesBelow(unwritable).empty());
}

// "--suffix /../../x" saved outside the save folder.
TEST_F(RepairCommandTest, ASuffixThatLeavesTheFolderIsAUsageError) {
    const std::string a = scratch.File("in/a.ppt", SamplePresentation(18));
    const std::string deep = scratch.Folder("one/two/out");
    const CommandResult given = Command({"--out", deep, "--suffix", "/../../x", a});
    EXPECT_EQ(given.status, cli::kExitUsage);
    const CommandResult saved =
        Run({deep, std::nullopt, cli::ExistingPolicy::kAsk, {a}}, {"", "..\\x"}, false);
    EXPECT_EQ(saved.status, cli::kExitUsage);
    EXPECT_NE(prompts.str().find("(from the saved settings) cannot be used: "), std::string::npos)
        << prompts.str();
    EXPECT_TRUE(FilesBelow(Utf8(scratch.root() / "one")).empty());
}

// "deckwright repair -x.ppt" said only "FILE is required".
TEST_F(RepairCommandTest, AFileNameStartingWithADashIsExplained) {
    const std::string hint = "Use -- before file names that start with -";
    const CommandRun dashed = RunDeckwright({"repair", "--out", out, "-x.ppt"});
    EXPECT_EQ(dashed.status, cli::kExitUsage);
    EXPECT_NE(dashed.err.find(hint), std::string::npos) << dashed.err;
    EXPECT_NE(RunDeckwright({"check", "a.ppt", "-b.ppt"}).err.find(hint), std::string::npos);
    EXPECT_EQ(RunDeckwright({"repair", "--out", out}).err.find(hint), std::string::npos);

    scratch.File("cwd/-x.ppt", SamplePresentation(19));
    const fs::path here = fs::current_path();
    fs::current_path(PathOf(scratch.Folder("cwd")));
    const CommandResult result = Command({"--out", out, "--suffix", "_r", "--", "-x.ppt"});
    fs::current_path(here);
    EXPECT_EQ(result.out, "-x.ppt: saved as " + out + "-x_r.ppt\n");
}

// A "Deckwright" folder (or file, or link) that someone else made in a shared temporary folder
// stopped every run of every user.
TEST_F(RepairCommandTest, NobodyElseCanBlockTheTemporaryFolder) {
    scratch.File("temp/Deckwright", {1});
    const std::string elsewhere = scratch.Folder("elsewhere");
#ifndef _WIN32
    // Even the names this user's runs are given start with something another user can guess.
    for (const std::string& name : {"Deckwright-" + std::to_string(::geteuid()),
                                    "Deckwright-" + std::to_string(::geteuid()) + "-aaaaaaaa"}) {
        fs::create_directory_symlink(PathOf(elsewhere), PathOf(temp + name));
    }
#endif
    const std::string a = scratch.File("in/a.ppt", SamplePresentation(20));
    const CommandResult result = Command({"--out", out, "--suffix", "_r", a});
    EXPECT_EQ(result.status, cli::kExitOk) << result.out;
    EXPECT_TRUE(FilesBelow(elsewhere).empty());
    EXPECT_EQ(ReadBytes(temp + "Deckwright"), (Bytes{1}));
}

#ifndef _WIN32
// /dev/zero was copied until the disk was full; a pipe made every command wait forever.
TEST_F(RepairCommandTest, OnlyRegularFilesAreTakenAndNothingWaits) {
    const std::string pipe = scratch.Path("in/pipe.ppt");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const CommandResult repaired = Command({"--out", out, "/dev/zero", pipe});
    EXPECT_EQ(repaired.out,
              "/dev/zero: failed: Uable to Open File (/dev/zero: it is a device, not a file)\n" +
                  pipe + ": failed: Uable to Open File (" + pipe + ": it is a pipe, not a file)\n");
    EXPECT_NE(RunDeckwright({"check", pipe}).out.find("it is a pipe, not a file"),
              std::string::npos);
    EXPECT_NE(RunDeckwright({"inspect", pipe}).err.find("it is a pipe, not a file"),
              std::string::npos);
}

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
