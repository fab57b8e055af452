// How the command line's cost grows, measured from outside and printed (never asserted):
//   peak resident memory of `deckwright repair` on damaged presentations (header zeroed) of
//   64 MB and 512 MB, against the count of FAT-like sectors they hold: what the memory grows by
//   per FAT-like sector, and per MB of file;
//   the time per file of one `deckwright repair` run over 1,000 and over 10,000 small damaged
//   files, with --jobs 1 and --jobs 2, on the clock and on the processor, beside cp of the
//   same files (neither pushes its copies to the disk): constant per file when the ratios stay
//   near 1.
// Usage: deckwright_scaling DECKWRIGHT [SMALL_FILES] [ROUNDS] [PAUSE]
// SMALL_FILES (default 10000) is the big batch; the small batch is a tenth of it. PAUSE (default
// 35) is the seconds waited before each timed batch, so that the files the last one deleted (its
// temporary folders) no longer count as freed just now (see PrintSmallFiles).
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "bench/command_runs.h"
#include "engine/sector_classifiers.h"

namespace {

using namespace deckwright;
using namespace deckwright::bench;

constexpr double kMiB = 1024.0 * 1024.0;

std::uint64_t CountFatLike(const std::vector<std::uint8_t>& file) {
    std::uint64_t n = 0;
    for (std::size_t at = SECTOR_SIZE; at + SECTOR_SIZE <= file.size(); at += SECTOR_SIZE)
        n += LooksLikeFatSector(Sector(file.data() + at, SECTOR_SIZE));
    return n;
}

// Runs `make` in a child process and waits for it. A spawned command starts out with its
// spawner's peak memory as its own (the kernel carries the peak across the exec), so the big
// files are made by a child and this process stays small.
template <class Make>
void InChild(Make make) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        make();
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
}

void Recreate(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
}

struct MemoryRow {
    std::size_t megabytes = 0;
    std::uint64_t file_bytes = 0, fat_like = 0, peak = 0;
    int status = -1;
};

void PrintMemory(const std::string& deckwright, const fs::path& work, int rounds) {
    const std::uint64_t own = RunCommand({deckwright, "--version"}).peak_bytes;
    std::vector<MemoryRow> rows;
    for (const std::size_t mb : {std::size_t{64}, std::size_t{512}}) {
        MemoryRow row;
        row.megabytes = mb;
        const fs::path in = work / ("damaged" + std::to_string(mb) + ".ppt");
        InChild([&] {
            const std::vector<std::uint8_t> file = DamagedPresentation(mb << 20);
            WriteBytes(in, file);
            std::ofstream(work / "fat_like") << CountFatLike(file);
        });
        row.file_bytes = fs::file_size(in);
        std::ifstream(work / "fat_like") >> row.fat_like;
        for (int r = 0; r < rounds; ++r) {
            Recreate(work / "out");
            const Finished f = RunCommand({deckwright, "repair", "--out", (work / "out").string(),
                                           "--suffix", "_r", in.string()});
            row.status = f.status;
            row.peak = std::max(row.peak, f.peak_bytes);
        }
        fs::remove(in);
        rows.push_back(row);
    }
    std::printf("peak resident memory of deckwright repair, header zeroed (largest of %d runs)\n",
                rounds);
    std::printf("%-28s %10s %10s %8s\n", "file", "FAT-like", "peak", "status");
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    // Every figure below is at least this one (see InChild).
    std::printf("%-28s %10s %9.1fM %8s\n", "(this program, the floor)", "",
                static_cast<double>(self.ru_maxrss) * 1024 / kMiB, "");
    std::printf("%-28s %10s %9.1fM %8s\n", "(deckwright --version)", "", own / kMiB, "");
    for (const MemoryRow& r : rows) {
        const std::string what = std::to_string(r.megabytes) + " MB presentation";
        std::printf("%-28s %10llu %9.1fM %8d\n", what.c_str(),
                    static_cast<unsigned long long>(r.fat_like), r.peak / kMiB, r.status);
    }
    const MemoryRow& small = rows.front();
    const MemoryRow& big = rows.back();
    const double grew = static_cast<double>(big.peak) - static_cast<double>(small.peak);
    std::printf("from %zu MB to %zu MB: %+.1f MB, %.0f bytes per added FAT-like sector, "
                "%.0f bytes per added MB of file\n\n",
                small.megabytes, big.megabytes, grew / kMiB,
                grew / static_cast<double>(big.fat_like - small.fat_like),
                grew / (static_cast<double>(big.file_bytes - small.file_bytes) / kMiB));
}

struct BatchRow {
    std::size_t files = 0;
    std::string jobs;
    double best = 1e9, best_cpu = 1e9;
    std::uint64_t peak = 0;
    int status = -1;
};

void PrintSmallFiles(const std::string& deckwright, const fs::path& work, std::size_t many,
                     int rounds, int pause) {
    const fs::path in = work / "small";
    fs::create_directories(in);
    std::vector<std::uint8_t> file =
        testing::WriteCompoundFile(testing::PresentationStreams(12000, 7));
    std::fill_n(file.begin(), SECTOR_SIZE, 0);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < many; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05zu.ppt", i);
        names.push_back((in / name).string());
        WriteBytes(names.back(), file);
    }
    std::vector<BatchRow> rows;
    for (const char* jobs : {"1", "2", "cp"}) {
        for (const std::size_t count : {many / 10, many}) {
            BatchRow row{count, jobs};
            const bool cp = row.jobs == "cp";
            for (int r = 0; r < rounds; ++r) {
                // A fresh folder each time, and nothing deleted until all is timed: some file
                // systems (ext4 without a journal) search past inodes freed in the last half
                // minute for every new one, which would charge a run for the one before.
                const fs::path out = work / ("out-" + row.jobs + "-" + std::to_string(count) +
                                             "-" + std::to_string(r));
                fs::create_directories(out);
                Args args{deckwright, "repair", "--jobs", jobs, "--out", out.string(),
                          "--suffix", "_r"};
                if (cp) args = {"cp"};
                args.insert(args.end(), names.begin(), names.begin() + static_cast<long>(count));
                if (cp) args.push_back(out.string());
                // What the runs before left unwritten is not to be written during this one.
                sync();
                std::this_thread::sleep_for(std::chrono::seconds(pause));
                const auto start = std::chrono::steady_clock::now();
                const Finished f = RunCommand(args);
                const double s =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                row.best = std::min(row.best, s);
                row.best_cpu = std::min(row.best_cpu, f.cpu_seconds);
                row.peak = std::max(row.peak, f.peak_bytes);
                row.status = f.status;
            }
            rows.push_back(row);
        }
    }
    std::printf("one deckwright repair run over small damaged files (%zu bytes each, header "
                "zeroed; best of %d runs, each after a pause of %d s)\n",
                file.size(), rounds, pause);
    std::printf("%-10s %6s %9s %10s %9s %10s %8s %6s   %s\n", "jobs", "files", "run", "per file",
                "cpu", "cpu/file", "peak", "status", "per file against the smaller run");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BatchRow& r = rows[i];
        const auto n = static_cast<double>(r.files);
        std::printf("%-10s %6zu %8.3fs %8.3fms %8.3fs %8.3fms %7.1fM %6d",
                    r.jobs == "cp" ? "(cp)" : r.jobs.c_str(), r.files, r.best, 1000 * r.best / n,
                    r.best_cpu, 1000 * r.best_cpu / n, r.peak / kMiB, r.status);
        if (i % 2 == 1) {
            const BatchRow& fewer = rows[i - 1];
            const auto m = static_cast<double>(fewer.files);
            std::printf("   clock %.2fx, cpu %.2fx", (r.best / n) / (fewer.best / m),
                        (r.best_cpu / n) / (fewer.best_cpu / m));
        }
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: deckwright_scaling DECKWRIGHT [SMALL_FILES] [ROUNDS] [PAUSE]\n";
        return 2;
    }
    const std::string deckwright = fs::absolute(argv[1]).string();
    const std::size_t many = argc > 2 ? std::max(10, std::atoi(argv[2])) : 10000;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const int pause = argc > 4 ? std::max(0, std::atoi(argv[4])) : 35;
    const fs::path work =
        fs::temp_directory_path() / ("deckwright-scaling-" + std::to_string(getpid()));
    fs::create_directories(work);
    PrintMemory(deckwright, work, rounds);
    PrintSmallFiles(deckwright, work, many, rounds, pause);
    fs::remove_all(work);
    return 0;
}
