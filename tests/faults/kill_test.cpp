// The command line killed at a dozen points of a run of ten files, by SIGKILL (nothing of ours
// runs) and by SIGTERM (our clean-up runs): the user's files stay as they were, every saved file
// is whole, and what a killed run leaves is gone after the next start.

#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include "cli/commands.h"

#include "tests/runs/run_test_support.h"

namespace deckwright::testing {
namespace {

// Counts the steps of file work and sends `signal` to the process at step `kill_at`. With
// cross_device, the first move of each file into out fails as between two file systems, so the
// copy is written beside its destination first.
class Killer final : public FileFaults {
  public:
    Killer(std::size_t kill_at, int signal, bool cross_device, std::string out)
        : kill_at_(kill_at), signal_(signal), cross_device_(cross_device), out_(std::move(out)) {}
    // Steps come from several threads at once (jobs, and the writes of a copy).
    Fault Before(FileStep step, const std::string& path) override {
        const std::size_t step_number = ++steps;
        if (step_number == kill_at_) {
            ::kill(::getpid(), signal_);
            // A signal the program handles is handled on a thread of its own: this one waits
            // for it, as a step taking a while would, rather than racing it to the run's end.
            if (signal_ != SIGKILL) std::this_thread::sleep_for(std::chrono::seconds(10));
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (step == FileStep::kWrite && path.rfind(out_, 0) == 0)
            beside_destination.push_back(step_number);
        if (cross_device_ && step == FileStep::kRename && path.rfind(out_, 0) == 0 &&
            !path.ends_with("/b_r.ppt") && moved_.insert(path).second) {
            return {FaultKind::kOtherDevice, 0};
        }
        return {};
    }
    std::atomic<std::size_t> steps{0};
    // The steps that write a copy beside its destination, where a kill leaves half a file.
    std::vector<std::size_t> beside_destination;

  private:
    std::size_t kill_at_;
    int signal_;
    bool cross_device_;
    std::string out_;
    std::mutex mutex_;  // for what follows, and beside_destination
    std::set<std::string> moved_;
};

class KillTest : public ::testing::Test {
  protected:
    KillTest() {
        for (std::uint32_t i = 0; i < 10; ++i) {
            const Bytes input = SamplePresentation(30 + i, i % 2 == 0);
            sources.push_back(scratch.File("in/" + std::string(1, char('a' + i)) + ".ppt", input));
            inputs.push_back(input);
            times.push_back(fs::last_write_time(PathOf(sources.back())));
            Bytes repaired;
            RepairInMemory(input, &repaired);
            expected[out + std::string(1, char('a' + i)) + "_r.ppt"] = repaired;
        }
        WriteBytes(out + "b_r.ppt", {'o', 'l', 'd'});  // --overwrite replaces it
    }

    // Runs "deckwright repair --overwrite" on the ten files in a child process; returns its
    // wait status, and when it was not killed, the steps it took and those that wrote beside a
    // destination.
    int RunChild(std::size_t kill_at, int signal, bool cross_device, std::size_t* steps = nullptr,
                 std::vector<std::size_t>* beside = nullptr) {
        int pipe_fds[2];
        EXPECT_EQ(::pipe(pipe_fds), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(pipe_fds[0]);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::setenv("TMPDIR", temp.c_str(), 1);
            if (signal != SIGKILL) RemoveLeftoversWhenInterrupted();
            Killer killer(kill_at, signal, cross_device, out);
            SetFileFaults(&killer);
            std::vector<std::string> args{"deckwright", "repair",   "--overwrite", "--out",
                                          out,          "--suffix", "_r"};
            args.insert(args.end(), sources.begin(), sources.end());
            std::vector<const char*> argv;
            for (const auto& arg : args) argv.push_back(arg.c_str());
            const int status = cli::RunCommandLine(static_cast<int>(argv.size()), argv.data());
            std::vector<std::size_t> report{killer.steps};
            report.insert(report.end(), killer.beside_destination.begin(),
                          killer.beside_destination.end());
            [[maybe_unused]] const ssize_t written =
                ::write(pipe_fds[1], report.data(), report.size() * sizeof report[0]);
            ::_exit(status);
        }
        ::close(pipe_fds[1]);
        std::vector<std::size_t> report;
        std::size_t value = 0;
        while (::read(pipe_fds[0], &value, sizeof value) == sizeof value) report.push_back(value);
        ::close(pipe_fds[0]);
        if (steps && !report.empty()) *steps = report[0];
        if (beside && !report.empty()) beside->assign(report.begin() + 1, report.end());
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    }

    // out as a run finds it: one file that the run is to replace.
    void ResetOut() {
        for (const auto& path : FilesBelow(out)) fs::remove(PathOf(path));
        WriteBytes(out + "b_r.ppt", {'o', 'l', 'd'});
    }

    // Source files untouched; every file in out either as it was or saved whole.
    void ExpectNothingLost() {
        for (std::size_t i = 0; i < sources.size(); ++i) {
            EXPECT_EQ(ReadBytes(sources[i]), inputs[i]) << sources[i];
            EXPECT_EQ(fs::last_write_time(PathOf(sources[i])), times[i]) << sources[i];
        }
        for (const auto& path : FilesBelow(out)) {
            if (PathOf(path).filename().string().rfind(".deckwright-", 0) == 0) continue;
            ASSERT_EQ(expected.count(path), 1u) << "unexpected " << path;
            const Bytes now = ReadBytes(path);
            EXPECT_TRUE(now == expected[path] ||
                        (path == out + "b_r.ppt" && now == Bytes{'o', 'l', 'd'}))
                << path << " is half-written";
        }
    }

    // What the next start leaves: its own run folder only, and nothing beside destinations.
    void ExpectTheNextStartCleansUp() {
        {
            FileSystem next(temp);
            std::string folder, error;
            ASSERT_TRUE(next.CreateItemFolder(&folder, &error)) << error;
            EXPECT_EQ(std::distance(fs::directory_iterator(PathOf(temp)), fs::directory_iterator()),
                      1);
            EXPECT_TRUE(PartialFilesBelow(out).empty());
        }
        EXPECT_TRUE(FilesBelow(temp).empty());
        EXPECT_EQ(FoldersBelow(temp), 0u);
    }

    ScratchDir scratch;
    std::string temp = scratch.Folder("temp");
    std::string out = scratch.Folder("out");
    std::vector<std::string> sources;
    std::vector<Bytes> inputs;
    std::vector<fs::file_time_type> times;
    std::map<std::string, Bytes> expected;
};

TEST_F(KillTest, AtADozenPointsOfARunOfTenFiles) {
    // Steps of a whole run, saving across devices (copies written beside their place) or not.
    std::size_t totals[2] = {0, 0};
    std::vector<std::size_t> beside;
    for (const bool cross_device : {false, true}) {
        ResetOut();
        const int clean = RunChild(static_cast<std::size_t>(-1), SIGKILL, cross_device,
                                   &totals[cross_device], &beside);
        ASSERT_TRUE(WIFEXITED(clean) && WEXITSTATUS(clean) == 0) << clean;
        ExpectNothingLost();
        ASSERT_GT(totals[cross_device], 50u);
    }
    ASSERT_GE(beside.size(), 4u);

    // Eight points spread over the run, four while a copy is being written beside its place.
    // The last stops short of the run's end: a busy machine may take a few steps fewer (the
    // system copies a file in fewer pieces), and a run already over cannot be killed.
    struct Point {
        std::size_t at;
        int signal;
        bool cross_device;
    };
    std::vector<Point> points;
    for (std::size_t i = 0; i < 8; ++i) {
        const bool cross_device = i % 2 == 1;
        points.push_back(
            {1 + i * (totals[cross_device] - 1) / 8, i % 3 == 2 ? SIGTERM : SIGKILL, cross_device});
    }
    for (std::size_t i = 0; i < 4; ++i) {
        points.push_back({beside[i * (beside.size() - 1) / 3], i == 2 ? SIGTERM : SIGKILL, true});
    }
    for (const Point& point : points) {
        SCOPED_TRACE("killed by " + std::to_string(point.signal) + " at step " +
                     std::to_string(point.at) + " of " +
                     std::to_string(totals[point.cross_device]) +
                     (point.cross_device ? ", across devices" : ""));
        ResetOut();

        const int status = RunChild(point.at, point.signal, point.cross_device);
        ASSERT_TRUE(WIFSIGNALED(status)) << "not killed: " << status;
        EXPECT_EQ(WTERMSIG(status), point.signal);
        ExpectNothingLost();
        if (point.signal == SIGTERM) {
            // Cleaned up on the way out: nothing waits for the next start.
            EXPECT_TRUE(PartialFilesBelow(out).empty());
            EXPECT_TRUE(FilesBelow(temp).empty());
            EXPECT_EQ(FoldersBelow(temp), 0u);
        }
        ExpectTheNextStartCleansUp();
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace deckwright::testing

#endif
